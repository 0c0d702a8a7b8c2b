// The service's text logs: OrvaJob.log and OrvaTask.log lines
// ("[yyyy-mm-dd hh:mm:ss][tag] text" CR LF) and the OrvaHistory.log line of a
// finished run. All text is ANSI code page bytes.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "contracts/job_record.h"
#include "contracts/shared_file.h"

namespace orva::service {

inline constexpr char kJobLogName[] = "OrvaJob.log";
inline constexpr char kTaskLogName[] = "OrvaTask.log";
inline constexpr char kHistoryLogName[] = "OrvaHistory.log";

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The clock of every log line; tests install a fixed one. An empty function
// restores the system's local time.
void SetLogClock(std::function<LocalTime()> clock);
LocalTime LogNow();

// "[2024-01-31 08:05:09][ADDJOB] New Job register\r\n" for the clock's time.
std::string FormatLogLine(std::string_view tag, std::string_view text);
std::string FormatLogLine(std::string_view tag, std::string_view text, const LocalTime& at);

// Appends one line to the file: created when missing, never truncated,
// opened exclusively; retried as given (120 tries 500 ms apart by default).
// False when the line was dropped.
bool AppendLogFile(const std::filesystem::path& path, std::string_view line, Retry retry = kLogRetry);

// "[start][end][elapsed][kind][result][name]\r\n" of a finished run.
std::string HistoryLine(const JobRecord& record);
// Appends HistoryLine to OrvaHistory.log in the folder (20 tries by default).
bool WriteHistoryLine(const std::filesystem::path& folder, const JobRecord& record, Retry retry = kFileRetry);

// Where the table and options code report what a caller should log: a tag
// and a text, handed on by the caller to FormatLogLine and AppendLogFile.
using LogSink = std::function<void(std::string_view tag, std::string_view text)>;

}  // namespace orva::service
