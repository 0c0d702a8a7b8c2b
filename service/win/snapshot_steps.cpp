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

bool RemoveEarlierFile(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace {

bool IsSnapshotId(const std::string& id) { return id.size() > 2 && id.front() == '{' && id.back() == '}'; }

// Deletes the snapshot an earlier run's create log names; true when the
// tool says it deleted one.
bool DeleteEarlierSnapshot(const SnapshotTool& tool, const std::string& createLog, std::string& id) {
  id = ParseSnapshotId(PathFromAnsi(createLog));
  if (!IsSnapshotId(id)) return false;
  const std::string log = createLog + ".delete.log";
  std::string parameters;
  if (!RemoveEarlierFile(log) ||
      !BuildCmdParameters({Field(tool.path), Field("-ds=" + id), Fixed(">"), Field(log), Fixed("2>&1")}, parameters))
    return false;
  const bool ended = RunHiddenCommand(parameters, StepLimit(tool, tool.deleteLimit)).status == RunStatus::kEnded;
  const bool clean = ParseShadowToolLog(PathFromAnsi(log), kShadowDelete, Retry{1, std::chrono::milliseconds(0)}) == 0;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  const bool marked =
      GetFileAttributesExA(log.c_str(), GetFileExInfoStandard, &data) &&
      (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);  // the parse keeps nothing without the marker
  return ended && clean && marked;
}

}  // namespace

bool CreateSnapshot(const SnapshotTool& tool, const std::string& volume, const std::string& log,
                    const CancelCheck& cancel, std::string& id, bool& ran,
                    const std::function<void(const std::string&)>& note) {
  id.clear();
  ran = false;
  std::string earlier;
  if (DeleteEarlierSnapshot(tool, log, earlier) && note)
    note("Deleted the snapshot " + earlier + " that an earlier run left behind.");
  // An old log is never judged as this run's.
  if (!RemoveEarlierFile(log)) {
    if (note) note("[ERROR] The log of an earlier run cannot be removed: " + log);
    return false;
  }
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
  if (IsSnapshotId(found)) id = found;
  return ok;
}

bool ExposeSnapshot(const SnapshotTool& tool, const std::string& id, const std::string& share, const std::string& log,
                    const CancelCheck& cancel) {
  std::string parameters;
  if (id.empty() || !RemoveEarlierFile(log) ||
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
