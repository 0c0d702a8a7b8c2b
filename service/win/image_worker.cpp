#include "win/image_worker.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "contracts/ansi_path.h"
#include "contracts/progress_block.h"
#include "core/image_jobs.h"
#include "contracts/job_record_check.h"
#include "core/output_parsers.h"
#include "core/service_logs.h"
#include "win/probes.h"
#include "win/run_report.h"
#include "win/snapshot_steps.h"
#include "win/tool_runner.h"

namespace orva::service {

namespace {

constexpr char kEngineName[] = "OrvaImage.exe";

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
const KindText& KindOf(int backupKind) { return kKinds[backupKind >= 0 && backupKind < 4 ? backupKind : 0]; }

// The two progress mappings of one run, made before the engine starts.
class ProgressSharing {
 public:
  explicit ProgressSharing(const std::string& name) {
    block_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProgressBlock), name.c_str());
    control_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kProgressControlSize,
                                  (name + kStatusNameSuffix).c_str());
    if (block_) blockView_ = MapViewOfFile(block_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProgressBlock));
    if (control_)
      controlView_ =
          static_cast<volatile LONG*>(MapViewOfFile(control_, FILE_MAP_ALL_ACCESS, 0, 0, kProgressControlSize));
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
  ProgressBlock Read() const {
    ProgressBlock block{};
    std::memcpy(&block, blockView_, sizeof block);
    return block;
  }
  void Cancel() { InterlockedExchange(controlView_, kControlCancel); }

 private:
  HANDLE block_ = nullptr, control_ = nullptr;
  const void* blockView_ = nullptr;
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
    return "[ERROR] A full backup of " + imagePath +
           " did not finish, and its previous image could not be put back: " + FormatSystemMessage(GetLastError()) +
           " It stays at " + previous;
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

namespace {

// Deletes the run's persistent snapshot (and its share) when the run ends,
// however it ends. Nothing to do while it has no identifier.
class SnapshotGuard {
 public:
  explicit SnapshotGuard(const SnapshotTool& tool) : tool_(tool) {}
  ~SnapshotGuard() { DeleteSnapshot(tool_, id); }
  SnapshotGuard(const SnapshotGuard&) = delete;
  SnapshotGuard& operator=(const SnapshotGuard&) = delete;

  std::string id;

 private:
  const SnapshotTool& tool_;
};

// Removes the run's script and settings file when the run ends.
class ScriptFilesGuard {
 public:
  explicit ScriptFilesGuard(std::initializer_list<std::string> paths) : paths_(paths) {}
  ~ScriptFilesGuard() {
    for (const std::string& path : paths_)
      if (!path.empty()) DeleteFileA(path.c_str());
  }
  ScriptFilesGuard(const ScriptFilesGuard&) = delete;
  ScriptFilesGuard& operator=(const ScriptFilesGuard&) = delete;

 private:
  std::vector<std::string> paths_;
};

// A full backup's previous image, kept at "<image>.old" from MakeRoom until
// the run is judged: it goes once the new image is complete and comes back
// otherwise, also when the run ends without a judgement.
class PreviousImageGuard {
 public:
  explicit PreviousImageGuard(std::string imagePath)
      : image_(std::move(imagePath)), previous_(PreviousImagePath(image_)) {}
  ~PreviousImageGuard() { Settle(false); }
  PreviousImageGuard(const PreviousImageGuard&) = delete;
  PreviousImageGuard& operator=(const PreviousImageGuard&) = delete;

  // Why the run must stop (empty when it may go on).
  std::string MakeRoom() { return MakeRoomForFullImage(image_, aside_); }
  // Returns the job-log text of a previous image that could not be put back.
  std::string Settle(bool newImageKept) {
    if (!aside_) return {};
    aside_ = false;
    if (newImageKept) {
      DeleteFileA(previous_.c_str());
    } else if (!MoveFileExA(previous_.c_str(), image_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      return "Failed to put the previous image back; it stays at " + previous_;
    }
    return {};
  }

 private:
  const std::string image_, previous_;
  bool aside_ = false;
};

// The files of a run by their ANSI paths, as the command lines need them.
struct RunFiles {
  std::string engine, engineLog;                        // both routes
  std::string shadowTool, script, settings, shadowLog;  // the script route
  bool complete = false;                                // every path the route needs has an ANSI form
};

// The engine's command line (the script route writes it into the script)
// and the parameters of the command the runner starts.
struct RunCommands {
  std::string engineLine, toolParameters;
};

// One image run, step by step. Each step that stops the run logs why; the
// path check and the snapshot steps also leave the job's final state.
class ImageRun {
 public:
  ImageRun(JobTable& table, const ImageWorkerOptions& options, const WorkerTask& task, uint64_t runNumber);
  void Run();

 private:
  void Log(const std::string& text) const { report_.Log(driveTag_ + text); }
  void LogError(const std::string& text) const { report_.Log("[ERROR] " + driveTag_ + text); }
  RunFiles FindFiles() const;

  bool ImagePathAccepted();
  bool SnapshotExposed(SnapshotGuard& snapshot);
  bool EndCancelled();
  void MeasureVolume();
  std::optional<RunCommands> BuildCommands() const;
  bool PrepareFiles(PreviousImageGuard& previous, const RunCommands& commands);
  RunStatus RunEngine(const std::string& toolParameters);
  RunStatus PrepareAndRun(PreviousImageGuard& previous);
  void EndUnstarted(PreviousImageGuard& previous);
  void Judge(RunStatus status, PreviousImageGuard& previous);

  const ImageWorkerOptions& options_;
  RunReport report_;
  JobRecord& r_;
  const KindText& kind_;
  const bool exposed_;
  const bool full_;
  const std::string caption_;
  const char drive_;
  const std::string driveText_, driveTag_, imagePath_, fileKey_, mapping_;
  const RunFiles files_;
  SnapshotTool snapTool_;
  std::string source_;  // the exposed route's share path
};

ImageRun::ImageRun(JobTable& table, const ImageWorkerOptions& options, const WorkerTask& task, uint64_t runNumber)
    : options_(options),
      report_(table, task.record, options.serviceFolder, std::string("[") + KindOf(task.backupKind).tag + "]"),
      r_(report_.r),
      kind_(KindOf(task.backupKind)),
      exposed_(task.kind == WorkerKind::kSnapshotImage),
      full_(task.backupKind == 0),
      caption_(task.osCaption),
      drive_(static_cast<char>(std::toupper(static_cast<unsigned char>(task.record.driveLetter[0])))),
      driveText_(1, drive_),
      driveTag_("[" + driveText_ + " Drive] "),
      imagePath_(FieldText(task.record.imagePath)),
      fileKey_(report_.name + "_" + driveText_),
      mapping_(ProgressMappingName(report_.name, runNumber)),
      files_(FindFiles()) {
  snapTool_.name = ShadowToolForCaption(caption_);
  snapTool_.timeout = options_.toolTimeout;
  snapTool_.busyWait = options_.toolBusyWait;
  snapTool_.stepPause = options_.stepPause;
}

RunFiles ImageRun::FindFiles() const {
  RunFiles f;
  f.complete = AnsiPath(options_.serviceFolder / kEngineName, f.engine) &&
               AnsiPath(options_.logFolder / PathFromAnsi("OrvaImage_" + fileKey_ + ".log"), f.engineLog);
  if (exposed_) return f;
  std::string logFolder;
  if (!AnsiPath(options_.logFolder, logFolder)) logFolder.clear();
  const ScriptShadowTool tool = ChooseScriptShadowTool(caption_, options_.windowsFolder, logFolder);
  f.complete = f.complete && !logFolder.empty() && AnsiPath(options_.serviceFolder / tool.program, f.shadowTool) &&
               AnsiPath(options_.logFolder / PathFromAnsi("OrvaImageBackup_" + fileKey_ + ".cmd"), f.script) &&
               AnsiPath(options_.logFolder / PathFromAnsi("OrvaShadow_" + fileKey_ + ".log"), f.shadowLog);
  f.settings = ScriptSettingsPath(tool, logFolder, fileKey_);
  return f;
}

void ImageRun::Run() {
  report_.Begin(true);
  Log(std::string(kind_.starts) + " backup process starts");
  {
    // Destroyed in reverse: the previous image is settled, then the
    // snapshot goes, then the script files.
    ScriptFilesGuard scriptFiles{files_.script, files_.settings};
    SnapshotGuard snapshot(snapTool_);
    PreviousImageGuard previous(imagePath_);
    if (ImagePathAccepted() && SnapshotExposed(snapshot)) {
      const RunStatus status = PrepareAndRun(previous);
      report_.ForgetLateCancel();
      if (status == RunStatus::kNotStarted) {
        EndUnstarted(previous);
      } else {
        Judge(status, previous);
      }
    } else {
      report_.ForgetLateCancel();
    }
  }
  Log(std::string("Finished to ") + kind_.word + " backup process.");
  WriteHistoryLine(options_.serviceFolder, r_);
  report_.Broadcast();
}

// A record that did not come through ADDJOB (the schedule file) is checked here.
bool ImageRun::ImagePathAccepted() {
  if (const std::string problem = DriveLetterProblem(r_.jobType, FieldText(r_.driveLetter)); !problem.empty()) {
    LogError("The job was refused: " + problem + ".");
    report_.Report(kJobFailed);
    return false;
  }
  const std::string problem = ImagePathProblem(r_.jobType, imagePath_);
  if (problem.empty()) return true;
  LogError("The image path was refused: " + problem + ": " + imagePath_);
  report_.Report(kJobFailed);
  return false;
}

// The exposed-snapshot route makes, exposes and later deletes a persistent
// snapshot step by step; the engine then reads it through the share.
bool ImageRun::SnapshotExposed(SnapshotGuard& snapshot) {
  if (!exposed_) return true;
  const CancelCheck cancel = [this] { return report_.CancelAsked(); };
  std::string createLog, exposeLog;
  bool ran = false;
  const bool created =
      !snapTool_.name.empty() && AnsiPath(options_.serviceFolder / snapTool_.name, snapTool_.path) &&
      AnsiPath(options_.logFolder / PathFromAnsi("OrvaShadow_" + fileKey_ + ".log"), createLog) &&
      AnsiPath(options_.logFolder / PathFromAnsi("OrvaShadow_Mount_" + fileKey_ + ".log"), exposeLog) &&
      CreateSnapshot(snapTool_, driveText_, createLog, cancel, snapshot.id, ran,
                     [this](const std::string& text) { report_.Log(text); });
  if (report_.CancelAsked()) return EndCancelled();
  if (!created) {
    LogError("Failed to create a snapshot.");
    report_.Report(kJobShadowError);
    return false;
  }
  Log("Created a snapshot successfully.");
  report_.Report(kJobMounting);
  const std::string share = SnapshotShareName(report_.name, driveText_);
  if (snapshot.id.empty()) {
    // Without its identifier the snapshot can be neither exposed nor deleted.
    report_.LogLine((full_ ? std::string("[FULLBACKUP] ") : report_.tag + " ") + "[ERROR] " + driveTag_ +
                    "Failed to identify a snapshot ID.");
    report_.Report(kJobShadowError);
    return false;
  }
  Log("Successfully identified a snapshot.");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const bool exposed = ExposeSnapshot(snapTool_, snapshot.id, share, exposeLog, cancel);
  if (report_.CancelAsked()) return EndCancelled();
  if (!exposed) {
    LogError("Failed to mount the snapshot.");
    report_.Report(kJobShadowError);
    return false;
  }
  Log("Succeeded to mount the snapshot for drive.");
  source_ = "\\\\" + HostAddress() + "\\" + share;
  return true;
}

bool ImageRun::EndCancelled() {
  r_.percent = 100;
  report_.Report(kJobCanceled);
  return false;
}

// Volume size and the byte estimate for the engine's descriptor.
void ImageRun::MeasureVolume() {
  const std::string root = driveText_ + ":\\";
  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  if (GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree)) {
    r_.totalBytes = static_cast<int64_t>(total.QuadPart - totalFree.QuadPart);
  } else {
    LogError("Failed to identify volume size of the target drive.");
  }
  r_.bytesToCopy = r_.totalBytes - GetFolderSize(PathFromAnsi(root + "System Volume Information")) -
                   GetFolderSize(PathFromAnsi(root + "RECYCLER")) -
                   (exposed_ ? GetFolderSize(PathFromAnsi(root + "$Recycle.Bin")) : 0) - GetPagefileSize(drive_);
}

// Everything the command lines need, checked before anything is written.
// The script route names the snapshot's root by the settings file's
// variable (our own token); the exposed route by the share's path.
std::optional<RunCommands> ImageRun::BuildCommands() const {
  if (!files_.complete || imagePath_.empty() || !IsSafeField(imagePath_)) return std::nullopt;
  char descriptor[64];
  std::snprintf(descriptor, sizeof descriptor, "00%c%s%.12lld", drive_, GetDiskNumberText(drive_).c_str(),
                static_cast<long long>(r_.bytesToCopy > 0 ? r_.bytesToCopy : 0));
  std::vector<std::string> fields = {files_.engine,     kind_.command,
                                     imagePath_,        exposed_ ? source_ : std::string("%SHADOW_DEVICE_1%\\\\"),
                                     "-i" + mapping_,   std::string("-d") + descriptor,
                                     "-x!hiberfil.sys", "-x!System Volume Information",
                                     "-x!RECYCLER",     "-x!$Recycle.Bin",
                                     "-x!pagefile.sys"};
  for (std::string& x : EngineExclusions(FieldText(r_.excludeList))) fields.push_back(std::move(x));
  fields.push_back("-mx" + std::to_string(r_.compressionLevel));
  fields.push_back("-c" + caption_);
  std::vector<CmdPiece> pieces;
  for (size_t i = 0; i < fields.size(); ++i)
    pieces.push_back(i == 3 && !exposed_ ? Fixed("\"%SHADOW_DEVICE_1%\\\\\"") : Field(fields[i]));
  pieces.push_back(Fixed(">"));
  pieces.push_back(Field(files_.engineLog));
  RunCommands c;
  if (exposed_) {
    pieces.push_back(Fixed("2>&1"));
    if (!BuildCmdParameters(pieces, c.toolParameters)) return std::nullopt;
    return c;
  }
  if (!BuildCommandLine(pieces, c.engineLine) ||
      !BuildCmdParameters(
          {Field(files_.shadowTool), Field("-script=" + files_.settings), Field("-exec=" + files_.script),
           Field(driveText_ + ":"), Fixed(">"), Field(files_.shadowLog), Fixed("2>&1")},
          c.toolParameters))
    return std::nullopt;
  return c;
}

// Clears the way for this run's outputs; false (logged) when it must stop.
bool ImageRun::PrepareFiles(PreviousImageGuard& previous, const RunCommands& commands) {
  // An old output must never be judged as this run's.
  for (const std::string* old : {&files_.engineLog, &files_.shadowLog, &files_.settings}) {
    if ((old != &files_.engineLog && exposed_) || RemoveEarlierFile(*old)) continue;
    LogError("The log of an earlier run cannot be removed: " + *old);
    return false;
  }
  // A full backup that did not finish before puts its previous image back;
  // this one keeps the previous image aside until the new one is complete,
  // and touches no file that is not a TAV image.
  if (const std::string note = PutBackInterruptedImage(imagePath_); !note.empty()) Log(note);
  if (full_) {
    if (const std::string why = previous.MakeRoom(); !why.empty()) {
      LogError(why);
      return false;
    }
  }
  if (exposed_) return true;
  const std::string scriptText = "@echo off\r\ncall " + QuoteField(files_.settings) +
                                 "\r\nif not defined SHADOW_DEVICE_1 exit /b 1\r\n" + commands.engineLine + "\r\n";
  std::string why;
  if (!WriteNewFile(files_.script, scriptText, why)) {
    LogError("Failed to write the image backup script: " + why);
    return false;
  }
  return true;
}

// The engine's run, followed through the progress mappings; a cancel is
// passed on through the control word, then the tree is ended after a grace.
RunStatus ImageRun::RunEngine(const std::string& toolParameters) {
  using Clock = std::chrono::steady_clock;
  ProgressSharing sharing(mapping_);
  const Clock::time_point launch = Clock::now();
  Clock::time_point nextPoll = launch, cancelAt{};
  auto pass = [&] {
    if (sharing.on()) {
      const ProgressBlock block = sharing.Read();
      r_.totalBytes = r_.bytesToCopy = block.totalBytes;
      r_.bytesLeft = block.totalBytes - block.processedBytes;
      const int32_t percent = block.currentPercent;
      r_.percent = percent < 0 ? 0 : percent > 99 ? 99 : percent;
      const int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - launch).count();
      if (seconds > 0) r_.transferRate = block.processedBytes / 1048576 / seconds;
    }
    SetFieldText(r_.elapsedTime, report_.Elapsed());
    SetFieldText(r_.endTime, "");
    report_.Report(kJobImaging);
  };
  // Asked by the runner every 100 ms: the poll passes and the cancel.
  auto check = [&]() -> bool {
    const Clock::time_point now = Clock::now();
    if (!report_.cancelled && report_.CancelAsked()) {
      cancelAt = now;
      if (sharing.on()) sharing.Cancel();
    }
    if (now >= nextPoll) {
      pass();
      nextPoll = now + options_.pollInterval;
    }
    return report_.cancelled && (!sharing.on() || now - cancelAt >= options_.cancelGrace);
  };
  check();
  const RunResult result = RunHiddenCommand(toolParameters, options_.toolTimeout, check, [&](uint32_t pid) {
    if (!exposed_) r_.processId = static_cast<int32_t>(pid);
  });
  if (result.status == RunStatus::kNotStarted) LogError("Failed to start image backup process for drive.");
  if (result.status == RunStatus::kTimedOut) LogError("The image backup process passed its time limit and was ended.");
  return result.status;
}

RunStatus ImageRun::PrepareAndRun(PreviousImageGuard& previous) {
  report_.Report(kJobImaging);
  MeasureVolume();
  const std::optional<RunCommands> commands = BuildCommands();
  if (!commands) {
    LogError("A job field cannot be passed to the image backup command line (it holds '\"' or '%' or is empty).");
    return RunStatus::kNotStarted;
  }
  if (!FileExists(files_.engine) || (!exposed_ && !FileExists(files_.shadowTool))) {
    LogError("Failed to start image backup process for drive.");
    return RunStatus::kNotStarted;
  }
  if (!PrepareFiles(previous, *commands)) return RunStatus::kNotStarted;
  return RunEngine(commands->toolParameters);
}

// No engine ran: a cancel taken before ends the run as cancelled, anything
// else as failed; the previous image comes back.
void ImageRun::EndUnstarted(PreviousImageGuard& previous) {
  if (report_.cancelled) {
    r_.percent = 100;
    r_.jobState = kJobCanceled;
  } else {
    r_.jobState = kJobFailed;
  }
  if (const std::string why = previous.Settle(false); !why.empty()) LogError(why);
  if (report_.cancelled) report_.Broadcast();
}

// An image finished with warnings is complete (some objects skipped): it
// replaces the old one. A failed or cancelled full run leaves no unfinished
// image behind and puts the old one back.
void ImageRun::Judge(RunStatus status, PreviousImageGuard& previous) {
  SetFieldText(r_.endTime, RunStamp(r_.jobType, LogNow()));
  SetFieldText(r_.elapsedTime, report_.Elapsed());
  Log("Finished to Image backup process.");
  r_.percent = 100;
  if (report_.cancelled) {
    r_.jobState = kJobCanceled;
  } else if (status == RunStatus::kTimedOut) {
    r_.jobState = kJobFailed;
  } else {
    const bool engineRan = FileExists(files_.engineLog);
    r_.jobState =
        ParseImageEngineLog(PathFromAnsi(files_.engineLog), report_.name, kind_.tag, driveText_, report_.jobLog);
    if (!engineRan && !exposed_) LogError("The snapshot of the drive could not be made; see " + files_.shadowLog);
  }
  bool good = r_.jobState == kJobSuccess || r_.jobState == kJobWarning;
  if (full_ && good && ReadImageFileState(imagePath_) != ImageFileState::kComplete) {
    LogError("The engine reported success but the new image is not complete: " + imagePath_);
    r_.jobState = kJobFailed;
    good = false;
  }
  if (full_ && !good && MayReplaceImage(ReadImageFileState(imagePath_))) DeleteFileA(imagePath_.c_str());
  if (const std::string why = previous.Settle(good); !why.empty()) LogError(why);
  report_.Broadcast();
}

}  // namespace

ImageWorkerLauncher::ImageWorkerLauncher(JobTable& table, ImageWorkerOptions options, WorkerLauncher& others)
    : table_(table), options_(std::move(options)), others_(others) {}

void ImageWorkerLauncher::RunJob(const WorkerTask& task) {
  if (task.kind == WorkerKind::kScriptedImage || task.kind == WorkerKind::kSnapshotImage) {
    ImageRun(table_, options_, task, ++runs_).Run();
  } else {
    others_.RunJob(task);
  }
}

}  // namespace orva::service
