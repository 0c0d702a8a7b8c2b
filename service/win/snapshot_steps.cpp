#include "win/snapshot_steps.h"

#include <windows.h>

#include <algorithm>
#include <thread>

#include "contracts/ansi_path.h"
#include "core/output_parsers.h"
#include "core/service_logs.h"
#include "win/probes.h"

namespace orva::service {

std::chrono::milliseconds StepLimit(const SnapshotTool& tool, std::chrono::milliseconds step) {
  return std::min(step, tool.timeout);
}

bool CreateSnapshot(const SnapshotTool& tool, const std::string& volume, const std::string& log,
                    const CancelCheck& cancel, std::string& id, bool& ran) {
  id.clear();
  ran = false;
  DeleteFileA(log.c_str());  // an old log is never judged as this run's
  std::string parameters;
  if (tool.name.empty() || GetFileAttributesA(tool.path.c_str()) == INVALID_FILE_ATTRIBUTES ||
      !BuildCmdParameters(
          {Field(tool.path), Fixed("-p"), Fixed("-nw"), Field(volume + ":"), Fixed(">"), Field(log), Fixed("2>&1")},
          parameters))
    return false;
  bool ended = false;
  for (int i = 0; i < 20 && !ran; ++i) {
    if (cancel && cancel()) return false;
    if (IsProcessRunning(tool.name)) {
      std::this_thread::sleep_for(tool.busyWait);
      continue;
    }
    ended = RunHiddenCommand(parameters, StepLimit(tool, tool.createLimit), cancel).status == RunStatus::kEnded;
    ran = true;
  }
  if (!ran) return false;
  std::this_thread::sleep_for(tool.stepPause);
  // A snapshot the log names is deleted later even when the step failed.
  const bool ok = ParseShadowToolLog(PathFromAnsi(log), kShadowCreate) == 0 && ended;
  const std::string found = ParseSnapshotId(PathFromAnsi(log));
  if (found.size() > 2 && found.front() == '{' && found.back() == '}') id = found;
  return ok;
}

bool ExposeSnapshot(const SnapshotTool& tool, const std::string& id, const std::string& share, const std::string& log,
                    const CancelCheck& cancel) {
  DeleteFileA(log.c_str());
  std::string parameters;
  if (id.empty() ||
      !BuildCmdParameters({Field(tool.path), Field("-er=" + id + "," + share), Fixed(">"), Field(log), Fixed("2>&1")},
                          parameters))
    return false;
  const bool ended =
      RunHiddenCommand(parameters, StepLimit(tool, tool.exposeLimit), cancel).status == RunStatus::kEnded;
  std::this_thread::sleep_for(tool.stepPause);
  return ParseShadowToolLog(PathFromAnsi(log), kShadowExpose) == 0 && ended;
}

void DeleteSnapshot(const SnapshotTool& tool, const std::string& id) {
  std::string parameters;
  if (!id.empty() && BuildCmdParameters({Field(tool.path), Field("-ds=" + id)}, parameters))
    RunHiddenCommand(parameters, StepLimit(tool, tool.deleteLimit));
}

std::string SnapshotShareName(const std::string& jobName, const std::string& letter) {
  const LocalTime now = LogNow();
  return jobName + "_" + letter + "_" + std::to_string(now.minute) + "_" + std::to_string(now.second);
}

}  // namespace orva::service
