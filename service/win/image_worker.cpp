#include "win/image_worker.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "contracts/progress_block.h"
#include "core/image_jobs.h"
#include "contracts/job_record_check.h"
#include "core/output_parsers.h"
#include "core/service_logs.h"
#include "win/probes.h"
#include "win/snapshot_steps.h"
#include "win/tool_runner.h"

namespace orva::service {

namespace {

constexpr char kEngineName[] = "OrvaImage.exe";
constexpr DWORD kBlockSize = kProgressBlockSize;
constexpr DWORD kControlSize = kProgressControlSize;

struct KindText {
  const char* tag;      // type tag, also the parser's bare tag
  const char* command;  // engine command letter
  const char* starts;   // start line after the drive
  const char* word;     // word of the final line
};
constexpr KindText kKinds[4] = {
    {"FULL_BACKUP", "a", "Full", "full"},
    {"UPDATE_BACKUP", "u", "Update", "update"},
    {"INCREMENTAL_BACKUP", "i", "Incremental", "incremental"},
    {"DIFFERENTIAL_BACKUP", "d", "Differential", "differential"},
};

// The two progress mappings of one run, made before the engine starts.
class ProgressSharing {
 public:
  explicit ProgressSharing(const std::string& name) {
    block_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize, name.c_str());
    control_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kControlSize,
                                  (name + kStatusNameSuffix).c_str());
    if (block_) blockView_ = static_cast<const uint8_t*>(MapViewOfFile(block_, FILE_MAP_ALL_ACCESS, 0, 0, kBlockSize));
    if (control_) controlView_ = static_cast<volatile LONG*>(MapViewOfFile(control_, FILE_MAP_ALL_ACCESS, 0, 0, kControlSize));
  }
  ~ProgressSharing() {
    if (blockView_) UnmapViewOfFile(blockView_);
    if (controlView_) UnmapViewOfFile(const_cast<LONG*>(controlView_));
    if (block_) CloseHandle(block_);
    if (control_) CloseHandle(control_);
  }
  ProgressSharing(const ProgressSharing&) = delete;
  ProgressSharing& operator=(const ProgressSharing&) = delete;

  bool on() const { return blockView_ && controlView_; }
  void Read(int64_t& total, int64_t& processed, int32_t& percent) const {
    std::memcpy(&total, blockView_ + kProgressTotalOffset, sizeof total);
    std::memcpy(&processed, blockView_ + kProgressProcessedOffset, sizeof processed);
    std::memcpy(&percent, blockView_ + kProgressPercentOffset, sizeof percent);
  }
  void Cancel() { InterlockedExchange(controlView_, kControlCancel); }

 private:
  HANDLE block_ = nullptr, control_ = nullptr;
  const uint8_t* blockView_ = nullptr;
  volatile LONG* controlView_ = nullptr;
};

}  // namespace

std::vector<std::string> EngineExclusions(std::string_view list) {
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t bar; (bar = list.find('|', at)) != std::string_view::npos; at = bar + 1) {
    std::string_view item = list.substr(at, bar - at);
    if (size_t colon = item.find(':'); colon != std::string_view::npos) item.remove_prefix(colon + 1);
    while (!item.empty() && item.back() == '\\') item.remove_suffix(1);
    // A root object's key is its bare name; deeper ones keep the backslash.
    if (item.size() > 1 && item[0] == '\\' && item.find('\\', 1) == std::string_view::npos) item.remove_prefix(1);
    if (item.empty() || item == "\\") continue;
    out.push_back("-x!" + std::string(item));
  }
  return out;
}

std::string ElapsedText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[16];
  std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string ProgressMappingName(std::string_view jobName, uint64_t run) {
  std::string name = "Orva_";
  for (char c : jobName) name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
  name += '_' + std::to_string(GetCurrentProcessId()) + '_' + std::to_string(run);
  return name;
}

std::string ShadowToolForCaption(std::string_view caption) {
  if (caption.find("32bit") != std::string_view::npos) return "vshadow.exe";
  if (caption.find("64bit") != std::string_view::npos) return "vshadow_amd64.exe";
  return {};
}

std::string ScriptSettingsPath(const ScriptShadowTool& tool, const std::string& logFolder, const std::string& fileKey) {
  const DWORD attributes = GetFileAttributesA(tool.settingsFolder.c_str());
  const bool there = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return (there ? tool.settingsFolder : logFolder) + "\\OrvaSetVar_" + fileKey + ".cmd";
}

std::string PutBackInterruptedImage(const std::string& imagePath) {
  const std::string previous = PreviousImagePath(imagePath);
  const ImageFileState image = ReadImageFileState(imagePath);
  if (!ShouldPutBackPreviousImage(image, ReadImageFileState(previous))) return {};
  if (!MoveFileExA(previous.c_str(), imagePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return "[ERROR] A full backup of " + imagePath + " did not finish, and its previous image could not be put back: " +
           FormatSystemMessage(GetLastError()) + " It stays at " + previous;
  return std::string("A full backup of ") + imagePath + " did not finish (" + ImageFileStateText(image) +
         " was left); its previous image was put back.";
}

std::string MakeRoomForFullImage(const std::string& imagePath, bool& previousAside) {
  previousAside = false;
  const std::string previous = PreviousImagePath(imagePath);
  const ImageFileState image = ReadImageFileState(imagePath);
  const ImageFileState aside = ReadImageFileState(previous);
  if (image == ImageFileState::kMissing) return {};
  if (!MayReplaceImage(image))
    return "The file at the image path is not a TAV image; it was left as it is: " + imagePath;
  if (image != ImageFileState::kComplete) {
    // Nothing of value; a whole previous image already aside stays there.
    if (!DeleteFileA(imagePath.c_str()))
      return "Failed to delete the unfinished image " + imagePath + ": " + FormatSystemMessage(GetLastError());
    previousAside = aside == ImageFileState::kComplete;
    return {};
  }
  if (aside != ImageFileState::kMissing && !MayReplaceImage(aside))
    return "The file " + previous + " is not a TAV image; it was left as it is and the previous image was kept.";
  if (!MoveFileExA(imagePath.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
    return "Failed to move the previous image aside: " + FormatSystemMessage(GetLastError());
  previousAside = true;
  return {};
}

ImageWorkerLauncher::ImageWorkerLauncher(JobTable& table, ImageWorkerOptions options, WorkerLauncher& others)
    : table_(table), options_(std::move(options)), others_(others) {}

void ImageWorkerLauncher::RunJob(const WorkerTask& task) {
  if (task.kind == WorkerKind::kScriptedImage || task.kind == WorkerKind::kSnapshotImage) {
    RunImage(task);
  } else {
    others_.RunJob(task);
  }
}

void ImageWorkerLauncher::RunImage(const WorkerTask& task) {
  using Clock = std::chrono::steady_clock;
  JobRecord r = task.record;
  const bool exposedRoute = task.kind == WorkerKind::kSnapshotImage;
  const KindText& kind = kKinds[task.backupKind >= 0 && task.backupKind < 4 ? task.backupKind : 0];
  const std::string name(JobName(r));
  const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(r.driveLetter[0])));
  const std::string driveText(1, drive);
  const std::filesystem::path jobLog = options_.serviceFolder / kJobLogName;
  const std::string tag = std::string("[") + kind.tag + "] ";
  const std::string driveTag = "[" + driveText + " Drive] ";
  const std::string caption = QueryOsCaption();

  auto log = [&](const std::string& text) { AppendLogFile(jobLog, FormatLogLine(name, text)); };
  auto broadcast = [&] { table_.Broadcast(r); };
  auto stamp = [&] { return RunStamp(r.jobType, LogNow()); };

  const Clock::time_point jobStart = Clock::now();
  auto elapsed = [&] {
    return ElapsedText(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - jobStart).count());
  };

  r.jobState = kJobCreating;
  r.percent = 0;
  r.totalBytes = r.bytesToCopy = r.transferRate = r.bytesLeft = 0;
  SetFieldText(r.startTime, stamp());
  SetFieldText(r.endTime, "");
  SetFieldText(r.elapsedTime, "");
  broadcast();
  log(tag + driveTag + kind.starts + " backup process starts");

  bool cancelled = false;
  auto cancelAsked = [&] {
    if (!cancelled && table_.TakeCancel(name)) cancelled = true;
    return cancelled;
  };

  // A record that did not come through ADDJOB (the schedule file) is checked here.
  const std::string imagePath(FieldText(r.imagePath));
  const std::string pathProblem = ImagePathProblem(r.jobType, imagePath);
  if (!pathProblem.empty()) {
    log(tag + "[ERROR] " + driveTag + "The image path was refused: " + pathProblem + ": " + imagePath);
    r.jobState = kJobFailed;
    broadcast();
  }

  // The exposed-snapshot route makes, exposes and later deletes a persistent
  // snapshot step by step; the engine then reads it through the share.
  const std::string fileKey = name + "_" + driveText;
  SnapshotTool snapTool;
  snapTool.name = ShadowToolForCaption(caption);
  snapTool.timeout = options_.toolTimeout;
  snapTool.busyWait = options_.toolBusyWait;
  snapTool.stepPause = options_.stepPause;
  std::string createLog, exposeLog, snapshotId, source;
  bool snapshotFailed = false;
  if (exposedRoute && pathProblem.empty()) {
    const bool pathsOk = !snapTool.name.empty() && AnsiPath(options_.serviceFolder / snapTool.name, snapTool.path) &&
                         AnsiPath(options_.logFolder / ("OrvaShadow_" + fileKey + ".log"), createLog) &&
                         AnsiPath(options_.logFolder / ("OrvaShadow_Mount_" + fileKey + ".log"), exposeLog);
    bool ran = false;
    snapshotFailed = !pathsOk || !CreateSnapshot(snapTool, driveText, createLog, cancelAsked, snapshotId, ran);
    if (cancelAsked()) {
      snapshotFailed = true;
    } else if (snapshotFailed) {
      log(tag + "[ERROR] " + driveTag + "Failed to create a snapshot.");
      r.jobState = kJobShadowError;
      broadcast();
    } else {
      log(tag + driveTag + "Created a snapshot successfully.");
      r.jobState = kJobMounting;
      broadcast();
      const std::string share = SnapshotShareName(name, driveText);
      if (!snapshotId.empty()) {
        log(tag + driveTag + "Successfully identified a snapshot.");
      } else {
        // Without its identifier the snapshot can be neither exposed nor deleted.
        log(std::string(task.backupKind == 0 ? "[FULLBACKUP] " : tag) + "[ERROR] " + driveTag +
            "Failed to identify a snapshot ID.");
        snapshotFailed = true;
        r.jobState = kJobShadowError;
        broadcast();
      }
      if (!snapshotFailed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const bool exposed = ExposeSnapshot(snapTool, snapshotId, share, exposeLog, cancelAsked);
        if (cancelAsked()) {
          snapshotFailed = true;
        } else if (!exposed) {
          log(tag + "[ERROR] " + driveTag + "Failed to mount the snapshot.");
          snapshotFailed = true;
          r.jobState = kJobShadowError;
          broadcast();
        } else {
          log(tag + driveTag + "Succeeded to mount the snapshot for drive.");
          source = "\\\\" + HostAddress() + "\\" + share;
        }
      }
    }
  }
  const bool stopped = snapshotFailed || !pathProblem.empty();
  if (!stopped) {
    r.jobState = kJobImaging;
    broadcast();
  }

  // Volume size and the byte estimate for the engine's descriptor.
  const std::string root = driveText + ":\\";
  if (!stopped) {
    ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree)) {
      r.totalBytes = static_cast<int64_t>(total.QuadPart - totalFree.QuadPart);
    } else {
      log(tag + "[ERROR] " + driveTag + "Failed to identify volume size of the target drive.");
    }
    r.bytesToCopy = r.totalBytes - GetFolderSize(root + "System Volume Information") -
                    GetFolderSize(root + "RECYCLER") - (exposedRoute ? GetFolderSize(root + "$Recycle.Bin") : 0) -
                    GetPagefileSize(drive);
  }

  // Everything the command lines need, checked before anything is written.
  const std::string mapping = ProgressMappingName(name, ++runs_);
  std::string engine, shadowTool, script, settings, engineLog, shadowLog, logFolder;
  bool pathsOk = AnsiPath(options_.serviceFolder / kEngineName, engine) &&
                 AnsiPath(options_.logFolder / ("OrvaImage_" + fileKey + ".log"), engineLog);
  if (!exposedRoute) {
    const ScriptShadowTool tool =
        ChooseScriptShadowTool(caption, options_.windowsFolder, AnsiPath(options_.logFolder, logFolder) ? logFolder : "");
    pathsOk = pathsOk && !logFolder.empty() && AnsiPath(options_.serviceFolder / tool.program, shadowTool) &&
              AnsiPath(options_.logFolder / ("OrvaImageBackup_" + fileKey + ".cmd"), script) &&
              AnsiPath(options_.logFolder / ("OrvaShadow_" + fileKey + ".log"), shadowLog);
    settings = ScriptSettingsPath(tool, logFolder, fileKey);
  }

  char descriptor[64];
  std::snprintf(descriptor, sizeof descriptor, "00%c%s%.12lld", drive, GetDiskNumberText(drive).c_str(),
                static_cast<long long>(r.bytesToCopy > 0 ? r.bytesToCopy : 0));

  // The script route names the snapshot's root by the settings file's
  // variable (our own token); the exposed route by the share's path.
  std::string engineLine, toolParameters, refused;
  if (pathsOk && !stopped) {
    std::vector<std::string> fields = {engine,
                                       kind.command,
                                       imagePath,
                                       exposedRoute ? source : std::string("%SHADOW_DEVICE_1%\\\\"),
                                       "-i" + mapping,
                                       std::string("-d") + descriptor,
                                       "-x!hiberfil.sys",
                                       "-x!System Volume Information",
                                       "-x!RECYCLER",
                                       "-x!$Recycle.Bin",
                                       "-x!pagefile.sys"};
    for (std::string& x : EngineExclusions(FieldText(r.excludeList))) fields.push_back(std::move(x));
    fields.push_back("-mx" + std::to_string(r.compressionLevel));
    fields.push_back("-c" + caption);
    std::vector<CmdPiece> pieces;
    for (size_t i = 0; i < fields.size(); ++i) pieces.push_back(i == 3 && !exposedRoute ? Fixed("\"%SHADOW_DEVICE_1%\\\\\"") : Field(fields[i]));
    pieces.push_back(Fixed(">"));
    pieces.push_back(Field(engineLog));
    if (exposedRoute) {
      pieces.push_back(Fixed("2>&1"));
      BuildCmdParameters(pieces, toolParameters, &refused);
    } else if (BuildCommandLine(pieces, engineLine, &refused) &&
               !BuildCmdParameters({Field(shadowTool), Field("-script=" + settings), Field("-exec=" + script),
                                    Field(driveText + ":"), Fixed(">"), Field(shadowLog), Fixed("2>&1")},
                                   toolParameters, &refused)) {
      toolParameters.clear();
    }
  }

  const bool full = task.backupKind == 0;
  const std::string oldImage = PreviousImagePath(imagePath);
  bool movedAside = false;
  RunStatus status = RunStatus::kNotStarted;
  bool started = false;

  if (stopped) {
    // Reported above; the run ends here.
  } else if (!pathsOk || !refused.empty() || toolParameters.empty() || !IsSafeField(imagePath) ||
             imagePath.empty()) {
    log(tag + "[ERROR] " + driveTag +
        "A job field cannot be passed to the image backup command line (it holds '\"' or '%' or is empty).");
  } else if (!FileExists(engine) || (!exposedRoute && !FileExists(shadowTool))) {
    log(tag + "[ERROR] " + driveTag + "Failed to start image backup process for drive.");
  } else {
    // An old output must never be judged as this run's.
    DeleteFileA(engineLog.c_str());
    if (!exposedRoute) {
      DeleteFileA(shadowLog.c_str());
      DeleteFileA(settings.c_str());
    }
    // A full backup that did not finish before puts its previous image
    // back; this one keeps the previous image aside until the new one is
    // complete, and touches no file that is not a TAV image.
    bool ready = true;
    if (const std::string note = PutBackInterruptedImage(imagePath); !note.empty()) log(tag + driveTag + note);
    if (full) {
      if (const std::string why = MakeRoomForFullImage(imagePath, movedAside); !why.empty()) {
        log(tag + "[ERROR] " + driveTag + why);
        ready = false;
      }
    }
    if (ready && !exposedRoute) {
      const std::string scriptText = "@echo off\r\ncall " + QuoteField(settings) +
                                     "\r\nif not defined SHADOW_DEVICE_1 exit /b 1\r\n" + engineLine + "\r\n";
      std::ofstream out(options_.logFolder / ("OrvaImageBackup_" + fileKey + ".cmd"), std::ios::binary | std::ios::trunc);
      out << scriptText;
      out.close();
      if (!out) {
        log(tag + "[ERROR] " + driveTag + "Failed to write the image backup script.");
        ready = false;
      }
    }
    if (ready) {
      ProgressSharing sharing(mapping);
      Clock::time_point launch = Clock::now(), nextPoll = launch, cancelAt{};
      auto pass = [&] {
        if (sharing.on()) {
          int64_t blockTotal = 0, processed = 0;
          int32_t percent = 0;
          sharing.Read(blockTotal, processed, percent);
          r.totalBytes = r.bytesToCopy = blockTotal;
          r.bytesLeft = blockTotal - processed;
          r.percent = percent < 0 ? 0 : percent > 99 ? 99 : percent;
          const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - launch).count();
          if (seconds > 0) r.transferRate = processed / 1048576 / seconds;
        }
        SetFieldText(r.elapsedTime, elapsed());
        SetFieldText(r.endTime, "");
        r.jobState = kJobImaging;
        broadcast();
      };
      // Asked by the runner every 100 ms: the poll passes and the cancel.
      auto check = [&]() -> bool {
        const Clock::time_point now = Clock::now();
        if (!cancelled && table_.TakeCancel(name)) {
          cancelled = true;
          cancelAt = now;
          if (sharing.on()) sharing.Cancel();
        }
        if (now >= nextPoll) {
          pass();
          nextPoll = now + options_.pollInterval;
        }
        return cancelled && (!sharing.on() || now - cancelAt >= options_.cancelGrace);
      };
      check();
      const RunResult result =
          RunHiddenCommand(toolParameters, options_.toolTimeout, check, [&](uint32_t pid) {
            if (!exposedRoute) r.processId = static_cast<int32_t>(pid);
          });
      status = result.status;
      started = status != RunStatus::kNotStarted;
      if (!started) log(tag + "[ERROR] " + driveTag + "Failed to start image backup process for drive.");
      if (status == RunStatus::kTimedOut)
        log(tag + "[ERROR] " + driveTag + "The image backup process passed its time limit and was ended.");
    }
  }
  // A request for this job that came too late is not kept for a later run.
  if (!cancelled) table_.TakeCancel(name);

  if (started) {
    SetFieldText(r.endTime, stamp());
    SetFieldText(r.elapsedTime, elapsed());
    log(tag + driveTag + "Finished to Image backup process.");
    r.percent = 100;
    if (cancelled) {
      r.jobState = kJobCanceled;
    } else if (status == RunStatus::kTimedOut) {
      r.jobState = kJobFailed;
    } else {
      const bool engineRan = FileExists(engineLog);
      r.jobState = ParseImageEngineLog(engineLog, name, kind.tag, driveText, jobLog);
      if (!engineRan && !exposedRoute)
        log(tag + "[ERROR] " + driveTag + "The snapshot of the drive could not be made; see " + shadowLog);
    }
  } else if (cancelled) {
    r.jobState = kJobCanceled;
    r.percent = 100;
  } else if (!stopped) {
    r.jobState = kJobFailed;
  }

  // An image finished with warnings is complete (some objects skipped): it
  // replaces the old one. A failed or cancelled full run leaves no unfinished
  // image behind and puts the old one back.
  bool good = r.jobState == kJobSuccess || r.jobState == kJobWarning;
  if (full && started && good && ReadImageFileState(imagePath) != ImageFileState::kComplete) {
    log(tag + "[ERROR] " + driveTag + "The engine reported success but the new image is not complete: " + imagePath);
    r.jobState = kJobFailed;
    good = false;
  }
  if (full && started && !good && MayReplaceImage(ReadImageFileState(imagePath))) DeleteFileA(imagePath.c_str());
  if (movedAside) {
    if (good) {
      DeleteFileA(oldImage.c_str());
    } else if (!MoveFileExA(oldImage.c_str(), imagePath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      log(tag + "[ERROR] " + driveTag + "Failed to put the previous image back; it stays at " + oldImage);
    }
  }
  if (started || cancelled) broadcast();

  // The snapshot goes on every path.
  if (exposedRoute) DeleteSnapshot(snapTool, snapshotId);
  if (!script.empty()) DeleteFileA(script.c_str());
  if (!settings.empty()) DeleteFileA(settings.c_str());
  log(tag + driveTag + "Finished to " + kind.word + " backup process.");
  WriteHistoryLine(options_.serviceFolder, r);
  broadcast();
}

}  // namespace orva::service
