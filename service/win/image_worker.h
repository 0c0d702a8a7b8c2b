// Image jobs (types 300-303): on XP, Vista and 7 the engine OrvaImage.exe
// runs from a script that the shadow-copy tool starts while a snapshot of
// the source volume exists; on later systems the worker makes a persistent
// snapshot, exposes it as a share of this machine, runs the engine on the
// share's path and deletes the snapshot. The worker follows the engine through the two progress mappings,
// passes a cancel request on through the control word, judges the engine's
// captured output and writes the job log and the history line.
//
// Both tools are taken from the service's own folder by full path, the
// shadow-copy tool of the script form chosen by the OS caption; the script
// and the tools' output go to the Log folder, the snapshot settings file
// there too or, on 64-bit systems, to the 32-bit system folder; one set per
// job and drive, each removed or replaced per run.
//
// An image path that is not a full path of a ".TAV" file is refused before
// anything is done. A full backup replaces or deletes only TAV files, keeps
// the previous image at "<image>.old" until the new one is complete, and
// puts it back when an earlier run did not finish.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/image_jobs.h"
#include "core/job_table.h"
#include "core/scheduler.h"
#include "win/run_report.h"

namespace orva::service {

struct ImageWorkerOptions {
  std::filesystem::path serviceFolder;  // OrvaImage.exe, vshadow.exe, OrvaJob.log, OrvaHistory.log
  std::filesystem::path logFolder;      // scripts and tool output
  std::string windowsFolder;            // the 32-bit system folder of a 64-bit system lies below it
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

// A mapping name that is safe for -i and unique per run: "Orva_<job>_<n>"
// with characters other than letters, digits, '-' and '_' turned into '_'.
std::string ProgressMappingName(std::string_view jobName, uint64_t run);

// The shadow-copy tool of the exposed-snapshot route for an OS caption:
// "vshadow.exe" for "32bit", "vshadow_amd64.exe" for "64bit", else empty.
std::string ShadowToolForCaption(std::string_view caption);

// The settings file of a script run: in the tool's settings folder when that
// folder exists (a 64-bit system without its 32-bit system folder has none),
// else in the Log folder.
std::string ScriptSettingsPath(const ScriptShadowTool& tool, const std::string& logFolder, const std::string& fileKey);

// A full backup moved its previous image to "<image>.old" and did not finish
// (the service or the engine ended in the middle): when "<image>.old" is a
// complete image and the image path holds nothing or an unfinished image,
// the previous image is put back. Returns the job-log text of what was done
// (empty when nothing was to do).
std::string PutBackInterruptedImage(const std::string& imagePath);

// Makes room for a full backup's new image: a complete image goes to
// "<image>.old" (replacing a TAV file there), an unfinished or damaged one is
// deleted. A file that is not a TAV image, at the path or in the way at
// "<image>.old", is left untouched and the run must stop. Returns why it
// stops (empty when it may go on); `previousAside` tells whether
// "<image>.old" holds the previous image.
std::string MakeRoomForFullImage(const std::string& imagePath, bool& previousAside);

// Runs the image types; hands every other kind to `others`.
class ImageWorkerLauncher : public WorkerLauncher {
 public:
  ImageWorkerLauncher(JobTable& table, ImageWorkerOptions options, WorkerLauncher& others);
  void RunJob(const WorkerTask& task) override;

 private:
  JobTable& table_;
  const ImageWorkerOptions options_;
  WorkerLauncher& others_;
  std::atomic<uint64_t> runs_{0};
};

}  // namespace orva::service
