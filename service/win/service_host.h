// The service host of OrvaServer: the dispatcher entry, the service main
// with its start-up order and main loop, the control handler and the event
// texts.
#pragma once
#include <windows.h>

#include <filesystem>
#include <string>

namespace orva::service {

inline constexpr char kServiceName[] = "OrvaStanardServer";
// Every event text is also appended here (in the service folder): Wine's
// event log keeps nothing.
inline constexpr char kEventLogFileName[] = "OrvaServer_Event.log";
inline constexpr ULONGLONG kJobLogLimit = 5'120'000;

// Hands the service to the service control manager; returns the process
// exit code (1 when the program was not started as a service).
int RunServiceProcess();

// Writes one event text (type EVENTLOG_ERROR_TYPE or
// EVENTLOG_INFORMATION_TYPE) to the event log and to the event log file.
void ReportServiceEvent(const std::string& message, WORD type);

// The executable's folder, with its trailing backslash.
std::wstring GetModuleFolder();
// Length of the file, 0 when it does not exist.
ULONGLONG QueryFileSize(const std::wstring& path);

}  // namespace orva::service
