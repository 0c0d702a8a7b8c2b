// Replication sets (304: a robocopy mirror of a folder; 305: the same from a
// persistent snapshot exposed as a share) and ISO backups (306: an image of
// a volume written into a copy of the recovery tree, made into a bootable
// ISO by OSCDIMG, all from a script run under the shadow-copy tool).
//
// The tools are taken from the service's folder (a robocopy.exe there is
// preferred to the system's); logs and scripts go to the Log folder and are
// removed or replaced before each step.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/job_table.h"
#include "core/scheduler.h"

namespace orva::service {

struct CopyWorkerOptions {
  std::filesystem::path serviceFolder;
  std::filesystem::path logFolder;
  std::string windowsFolder;  // kept out of every mirror's target
  std::chrono::milliseconds toolTimeout{std::chrono::hours(24)};
  std::chrono::milliseconds pollInterval{1000};
  std::chrono::milliseconds toolBusyWait{2000};
  std::chrono::milliseconds stepPause{1000};
};

// The ISO job's byte estimate scaled by its compression level: 42 % at
// level 1, 33 % at level 3, unchanged otherwise.
int64_t ScaleIsoEstimate(int64_t estimate, int32_t level);

// Runs types 304-306; hands every other kind to `others`.
class CopyWorkerLauncher : public WorkerLauncher {
 public:
  CopyWorkerLauncher(JobTable& table, CopyWorkerOptions options, WorkerLauncher& others);
  void RunJob(const WorkerTask& task) override;

 private:
  void RunReplication(const WorkerTask& task, bool fromSnapshot);
  void RunIso(const WorkerTask& task);
  std::string Robocopy() const;

  JobTable& table_;
  const CopyWorkerOptions options_;
  WorkerLauncher& others_;
  uint64_t runs_ = 0;
};

}  // namespace orva::service
