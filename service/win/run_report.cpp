#include "win/run_report.h"

#include <cstdio>

#include "contracts/job_record_check.h"
#include "core/scheduler.h"
#include "core/service_logs.h"

namespace orva::service {

std::string ElapsedText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[16];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

RunReport::RunReport(JobTable& table, const JobRecord& record, const std::filesystem::path& serviceFolder,
                     std::string tag)
    : table(table), r(record), name(JobName(record)), jobLog(serviceFolder / kJobLogName), tag(std::move(tag)) {}

void RunReport::Log(const std::string& text) const { LogLine(tag + " " + text); }

void RunReport::LogLine(const std::string& line) const { AppendLogFile(jobLog, FormatLogLine(name, line)); }

void RunReport::Broadcast() const { table.Broadcast(r); }

std::string RunReport::Elapsed() const {
  return ElapsedText(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
}

void RunReport::Begin(bool stampStart) {
  r.jobState = kJobCreating;
  r.percent = 0;
  r.totalBytes = r.bytesToCopy = r.transferRate = r.bytesLeft = 0;
  SetFieldText(r.startTime, stampStart ? RunStamp(r.jobType, LogNow()) : "");
  SetFieldText(r.endTime, "");
  SetFieldText(r.elapsedTime, "");
  Broadcast();
}

void RunReport::Report(int32_t state) {
  r.jobState = state;
  Broadcast();
}

bool RunReport::CancelAsked() {
  if (!cancelled && table.TakeCancel(name)) cancelled = true;
  return cancelled;
}

void RunReport::ForgetLateCancel() {
  if (!cancelled) table.TakeCancel(name);
}

}  // namespace orva::service
