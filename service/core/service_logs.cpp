#include "core/service_logs.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "contracts/job_record_check.h"
#include "contracts/local_time.h"

namespace orva::service {
namespace {

std::mutex& ClockMutex() {
  static std::mutex m;
  return m;
}
std::function<LocalTime()>& ClockSlot() {
  static std::function<LocalTime()> clock;
  return clock;
}

LocalTime SystemNow() {
  std::time_t now = std::time(nullptr);
  const std::tm tm = LocalTimeOf(now);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string_view HistoryKind(int32_t jobType) {
  switch (jobType) {
    case kFullBackup:
      return "FULLBACKUP";
    case kUpdateBackup:
      return "DIFFERENTIAL_BACKUP";  // what the managers expect for 301
    case kReplication:
      return "REPLICATION";
    case kReplicationShadow:
      return "REPLICATION_SHADOW";
    default:
      return "";
  }
}

std::string_view HistoryResult(int32_t jobState) {
  switch (jobState) {
    case kJobSuccess:
      return "Success";
    case kJobFailed:
    case kJobShadowError:
    case kJobMountError:
      return "Failed";
    default:
      return "Warning";
  }
}

}  // namespace

void SetLogClock(std::function<LocalTime()> clock) {
  std::lock_guard lock(ClockMutex());
  ClockSlot() = std::move(clock);
}

LocalTime LogNow() {
  std::function<LocalTime()> clock;
  {
    std::lock_guard lock(ClockMutex());
    clock = ClockSlot();
  }
  return clock ? clock() : SystemNow();
}

std::string FormatLogLine(std::string_view tag, std::string_view text, const LocalTime& at) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d-%02d-%02d %02d:%02d:%02d][", at.year, at.month, at.day, at.hour, at.minute,
                at.second);
  std::string line = stamp;
  line.append(tag).append("] ").append(text).append("\r\n");
  return line;
}

std::string FormatLogLine(std::string_view tag, std::string_view text) { return FormatLogLine(tag, text, LogNow()); }

bool AppendLogFile(const std::filesystem::path& path, std::string_view line, Retry retry) {
  return AppendToFile(path, line, retry);
}

std::string HistoryLine(const JobRecord& r) {
  std::string line;
  for (std::string_view field : {FieldText(r.startTime), FieldText(r.endTime), FieldText(r.elapsedTime),
                                 HistoryKind(r.jobType), HistoryResult(r.jobState), JobName(r)}) {
    line.append("[").append(field).append("]");
  }
  return line + "\r\n";
}

bool WriteHistoryLine(const std::filesystem::path& folder, const JobRecord& record, Retry retry) {
  return AppendToFile(folder / kHistoryLogName, HistoryLine(record), retry);
}

}  // namespace orva::service
