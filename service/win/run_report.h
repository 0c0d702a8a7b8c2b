// What every worker keeps of the run it carries out: its own copy of the job
// record (which it reports to the managers), the job log, the run's clock and
// the cancel request it has taken.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "contracts/job_record.h"
#include "core/job_table.h"

namespace orva::service {

// "hh:mm:ss" of a span, whole days dropped.
std::string ElapsedText(int64_t seconds);

class RunReport {
 public:
  // `tag` leads every line of Log ("[REPLICATION]", "[FULL_BACKUP]").
  RunReport(JobTable& table, const JobRecord& record, const std::filesystem::path& serviceFolder, std::string tag);
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  // A job-log line "<tag> <text>" under the job's name.
  void Log(const std::string& text) const;
  // A job-log line as it is, under the job's name.
  void LogLine(const std::string& line) const;
  void Broadcast() const;
  // "hh:mm:ss" since the run began.
  std::string Elapsed() const;
  // The first report: state 3, no figures, no times but the start when asked.
  void Begin(bool stampStart);
  // Sets the job's state and reports it.
  void Report(int32_t state);
  // Takes a cancel request made for this run; once taken it stays.
  bool CancelAsked();
  // A request that came too late is not kept for a later run.
  void ForgetLateCancel();

  JobTable& table;
  JobRecord r;
  const std::string name;
  const std::filesystem::path jobLog;
  const std::string tag;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  bool cancelled = false;
};

}  // namespace orva::service
