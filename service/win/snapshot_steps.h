// The persistent-snapshot steps of the shadow-copy tool, each run through a
// hidden command interpreter with its output in a log of the Log folder and
// judged from that log: create, expose as a share of this machine, delete.
#pragma once
#include <chrono>
#include <functional>
#include <string>

#include "win/tool_runner.h"

namespace orva::service {

// Each step has a limit of its own: a tool that hangs in one of them must
// not hold the run (and every other image job) for the engine's 24 hours.
inline constexpr std::chrono::minutes kSnapshotCreateLimit{10};
inline constexpr std::chrono::minutes kSnapshotExposeLimit{5};
inline constexpr std::chrono::minutes kSnapshotDeleteLimit{5};

struct SnapshotTool {
  std::string path;                                           // full path of the tool
  std::string name;                                           // its file name, looked for among running processes
  std::chrono::milliseconds timeout{std::chrono::hours(24)};  // the run's limit; no step lasts longer
  std::chrono::milliseconds createLimit{kSnapshotCreateLimit};
  std::chrono::milliseconds exposeLimit{kSnapshotExposeLimit};
  std::chrono::milliseconds deleteLimit{kSnapshotDeleteLimit};
  std::chrono::milliseconds busyWait{2000};   // between checks for a busy tool
  std::chrono::milliseconds stepPause{1000};  // after each step, before its log is read
};

// The limit of a step: its own, or the run's when that is shorter.
std::chrono::milliseconds StepLimit(const SnapshotTool& tool, std::chrono::milliseconds step);

// Makes a persistent snapshot of `volume` ("X"), waiting (20 checks) while
// another instance of the tool runs. True when the log shows no error; `id`
// gets the braced identifier of any snapshot the log names (so that a
// snapshot is deleted even when the step is judged failed). `ran` tells
// whether the tool was run at all. A step that outlasts its limit is ended
// and judged failed. Before the log of an earlier run goes, the snapshot it
// names is deleted (that run never got to its own delete step); `note` gets
// a job-log text for that, and for an old log that cannot be removed, which
// fails the step.
bool CreateSnapshot(const SnapshotTool& tool, const std::string& volume, const std::string& log,
                    const CancelCheck& cancel, std::string& id, bool& ran,
                    const std::function<void(const std::string&)>& note = {});

// Removes a file an earlier run left; true when it is gone (or never was).
bool RemoveEarlierFile(const std::string& path);

// Exposes snapshot `id` as share `share`; true when the log shows no error.
bool ExposeSnapshot(const SnapshotTool& tool, const std::string& id, const std::string& share, const std::string& log,
                    const CancelCheck& cancel);

// Deletes snapshot `id` (and its share); its output is not judged. Does
// nothing for an empty identifier.
void DeleteSnapshot(const SnapshotTool& tool, const std::string& id);

// "<job>_<letter>_<minute>_<second>" of the local time now.
std::string SnapshotShareName(const std::string& jobName, const std::string& letter);

}  // namespace orva::service
