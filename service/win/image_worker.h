// Image jobs (types 300-303): on XP, Vista and 7 the engine OrvaImage.exe
// runs from a script that the shadow-copy tool starts while a snapshot of
// the source volume exists; on later systems the worker makes a persistent
// snapshot, exposes it as a share of this machine, runs the engine on the
// share's path and deletes the snapshot. The worker follows the engine through the two progress mappings,
// passes a cancel request on through the control word, judges the engine's
// captured output and writes the job log and the history line.
//
// Both tools are taken from the service's own folder by full path; the
// script, the snapshot settings file and the tools' output go to the Log
// folder, one set per job and drive, each removed or replaced per run.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/job_table.h"
#include "core/scheduler.h"

namespace orva::service {

struct ImageWorkerOptions {
  std::filesystem::path serviceFolder;  // OrvaImage.exe, vshadow.exe, OrvaJob.log, OrvaHistory.log
  std::filesystem::path logFolder;      // scripts and tool output
  std::chrono::milliseconds toolTimeout{std::chrono::hours(24)};
  std::chrono::milliseconds pollInterval{1000};
  // After a cancel the engine gets this long to stop by itself (it reads the
  // control word between objects) before the whole tree is ended.
  std::chrono::milliseconds cancelGrace{10000};
  // Exposed-snapshot route: the wait between checks for a busy shadow-copy
  // tool, and the pause after each of its steps.
  std::chrono::milliseconds toolBusyWait{2000};
  std::chrono::milliseconds stepPause{1000};
};

// The engine's exclusion switches (each "-x!<key>") of an exclusion list of
// "X:\path|" items: the drive prefix is dropped, a root object keeps its bare
// name ("C:\Temp" -> "Temp"), a deeper one its path from the root with the
// leading backslash ("C:\Data\Sub" -> "\Data\Sub"). Text after the last bar
// is not an item.
std::vector<std::string> EngineExclusions(std::string_view excludeList);

// "hh:mm:ss" of a span, whole days dropped.
std::string ElapsedText(int64_t seconds);

// A mapping name that is safe for -i and unique per run: "Orva_<job>_<n>"
// with characters other than letters, digits, '-' and '_' turned into '_'.
std::string ProgressMappingName(std::string_view jobName, uint64_t run);

// The shadow-copy tool of the exposed-snapshot route for an OS caption:
// "vshadow.exe" for "32bit", "vshadow_amd64.exe" for "64bit", else empty.
std::string ShadowToolForCaption(std::string_view caption);

// Runs the image types; hands every other kind to `others`.
class ImageWorkerLauncher : public WorkerLauncher {
 public:
  ImageWorkerLauncher(JobTable& table, ImageWorkerOptions options, WorkerLauncher& others);
  void RunJob(const WorkerTask& task) override;

 private:
  void RunImage(const WorkerTask& task);

  JobTable& table_;
  const ImageWorkerOptions options_;
  WorkerLauncher& others_;
  std::atomic<uint64_t> runs_{0};
};

}  // namespace orva::service
