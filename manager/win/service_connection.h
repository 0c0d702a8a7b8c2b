// The manager's one connection to the backup service: made once at start,
// records sent whole, and a receiving thread that applies every record the
// service sends to the job table. The manager never reconnects: a refused
// connection or a closed one ends the process.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <string>

#include "core/manager_job_table.h"

namespace orva::manager {

// How the connection speaks to the user: a message with its caption; for
// kYesNo the answer (true for Yes).
struct ConnectionPrompts {
  enum Kind { kOk, kYesNo };
  std::function<bool(const std::string& text, const std::string& caption, Kind kind)> show;
  // Ends the process (tests replace it).
  std::function<void(UINT exitCode)> exit = [](UINT code) { ExitProcess(code); };
  // Runs "cmd.exe" with the parameters and waits for it.
  std::function<void(const std::string& parameters)> runCommand;
};

// Connects to the service at host:port. On a refused connection asks
// whether to start the service; either answer ends the process (exit 1),
// after starting "StartOrvaService.cmd" for Yes. Returns INVALID_SOCKET when
// no socket could be made (the message already shown).
SOCKET ConnectToService(const char* host, unsigned short port, const ConnectionPrompts& prompts);

// Runs "cmd.exe" with the parameters, shown, and waits for it to end.
int RunCmdAndWait(const std::string& parameters);

// Sends the whole record (however many calls that takes); a failure is
// shown as "Data Send Error. [ERROR CODE:%d]" and gives false.
bool SendJobRecord(SOCKET socket, const service::JobRecord& record, const ConnectionPrompts& prompts);

// Receives whole records from the socket and hands them to the receiver,
// in order, until the service closes the connection (then shows "Server
// connection is closed." and ends the process with exit code 0) or the
// wait fails. A close that arrives with data is handled after the data.
DWORD ReceiveRecords(SOCKET socket, RecordReceiver& receiver, const ConnectionPrompts& prompts);

}  // namespace orva::manager
