#include "win/copy_workers.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "contracts/ansi_path.h"
#include "contracts/job_record_check.h"
#include "core/image_jobs.h"
#include "core/output_parsers.h"
#include "core/service_logs.h"
#include "win/image_worker.h"
#include "win/probes.h"
#include "win/run_report.h"
#include "win/snapshot_steps.h"
#include "win/tool_runner.h"

namespace orva::service {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<uint64_t> g_isoRuns{0};

// Removes the files an earlier run left; the first that stays, or "".
std::string FirstNotRemoved(std::initializer_list<std::string> paths) {
  for (const std::string& path : paths)
    if (!path.empty() && !RemoveEarlierFile(path)) return path;
  return {};
}

// OSCDIMG's exit code as the script noted it; false when it never ran.
bool ReadIsoResult(const std::string& path, long& code) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (!std::getline(in, text, '.')) return false;
  char* end = nullptr;
  code = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && end && *end == '\0';
}

// The new ISO takes the previous one's place once OSCDIMG has made it whole;
// "" then, else why not.
std::string MakeIsoWhole(const std::string& work, const std::string& iso, const std::string& result) {
  long code = 0;
  if (!ReadIsoResult(result, code)) return "OSCDIMG did not run; no ISO file was made.";
  if (code != 0) return "OSCDIMG ended with exit code " + std::to_string(code) + "; no ISO file was made.";
  if (!FileExists(work)) return "OSCDIMG ended with exit code 0 but made no file: " + work;
  if (!MoveFileExA(work.c_str(), iso.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return "The new ISO file could not take the previous one's place (error " + std::to_string(GetLastError()) +
           "): " + work;
  return {};
}

void RemoveStagingTree(const std::string& tree, std::chrono::milliseconds timeout) {
  std::string parameters;
  if (GetFileAttributesA(tree.c_str()) != INVALID_FILE_ATTRIBUTES &&
      BuildCmdParameters({Fixed("rd /s /q"), Field(tree)}, parameters))
    RunHiddenCommand(parameters, std::min<std::chrono::milliseconds>(timeout, std::chrono::minutes(30)));
}

}  // namespace

int64_t ScaleIsoEstimate(int64_t estimate, int32_t level) {
  if (level == 1) return estimate * 42 / 100;
  if (level == 3) return estimate * 33 / 100;
  return estimate;
}

CopyWorkerLauncher::CopyWorkerLauncher(JobTable& table, CopyWorkerOptions options, WorkerLauncher& others)
    : table_(table), options_(std::move(options)), others_(others) {}

void CopyWorkerLauncher::RunJob(const WorkerTask& task) {
  switch (task.kind) {
    case WorkerKind::kReplication:
      return RunReplication(task, false);
    case WorkerKind::kShadowReplication:
      return RunReplication(task, true);
    case WorkerKind::kIsoMedia:
      return RunIso(task);
    default:
      return others_.RunJob(task);
  }
}

std::string CopyWorkerLauncher::Robocopy() const {
  std::string own;
  if (AnsiPath(options_.serviceFolder / "robocopy.exe", own) && FileExists(own)) return own;
  return "robocopy";
}

void CopyWorkerLauncher::RunReplication(const WorkerTask& task, bool fromSnapshot) {
  RunReport run(table_, task.record, options_.serviceFolder, fromSnapshot ? "[REPLICATION_SHADOW]" : "[REPLICATION]");
  JobRecord& r = run.r;
  const std::string& name = run.name;
  const std::string& tag = run.tag;
  const std::filesystem::path& jobLog = run.jobLog;
  const std::string source(FieldText(r.sourceFolder)), target(FieldText(r.targetFolder));
  auto log = [&](const std::string& text) { run.Log(text); };
  auto broadcast = [&] { run.Broadcast(); };
  auto elapsed = [&] { return run.Elapsed(); };

  run.Begin(fromSnapshot);
  log(fromSnapshot ? "Replication process started for directory " + source + "."
                   : "Replication started for directory " + source + ".");
  if (!fromSnapshot) SetFieldText(r.startTime, RunStamp(r.jobType, LogNow()));
  const int64_t sourceSize = GetFolderSize(PathFromAnsi(source)), targetSize = GetFolderSize(PathFromAnsi(target));
  r.totalBytes = r.bytesToCopy = sourceSize;
  r.transferRate = targetSize;
  log("SourceFolder = " + source + " Size = " + std::to_string(sourceSize));
  log("TargetFolder = " + target + " Size = " + std::to_string(targetSize));

  auto cancelAsked = [&] { return run.CancelAsked(); };
  auto finish = [&] {
    run.ForgetLateCancel();
    WriteHistoryLine(options_.serviceFolder, r);
    broadcast();
  };
  auto fail = [&](int32_t state, const std::string& line) {
    log(line);
    r.jobState = state;
    SetFieldText(r.endTime, RunStamp(r.jobType, LogNow()));
    SetFieldText(r.elapsedTime, elapsed());
    finish();
  };

  std::string robocopyLog, robocopySource = source;
  std::string serviceFolder;
  if (!AnsiPath(options_.serviceFolder, serviceFolder)) serviceFolder.clear();  // guards every folder
  // A record that did not come through ADDJOB (the schedule file) is checked here.
  std::string folderProblem = ReplicationFoldersProblem(source, target, options_.windowsFolder, serviceFolder);
  if (folderProblem.empty()) folderProblem = ShadowSourceProblem(r.jobType, source);
  const bool logOk = AnsiPath(options_.logFolder / PathFromAnsi("Replicate_" + name + ".log"), robocopyLog) &&
                     IsSafeField(robocopyLog);
  if (!folderProblem.empty() || !logOk) {
    fail(kJobFailed, "[ERROR] The replication cannot run: " +
                         (folderProblem.empty() ? std::string("its log path cannot be written") : folderProblem) + ".");
    log("Finished to replicate " + source + ".");
    return;
  }
  // A log an earlier run left would be judged as this run's.
  if (!RemoveEarlierFile(robocopyLog)) {
    fail(kJobFailed, "[ERROR] The log of an earlier run cannot be removed: " + robocopyLog);
    log("Finished to replicate " + source + ".");
    return;
  }

  // The snapshot steps: create, expose; the copy then reads the share.
  SnapshotTool tool;
  std::string snapshotId;
  if (fromSnapshot) {
    const std::string volume = source.substr(0, source.find(':'));
    const std::string volumeTag = "[" + volume + " Volume] ";
    tool.name = "vshadow.exe";
    tool.timeout = options_.toolTimeout;
    tool.busyWait = options_.toolBusyWait;
    tool.stepPause = options_.stepPause;
    std::string createLog, exposeLog;
    const bool pathsOk =
        AnsiPath(options_.serviceFolder / tool.name, tool.path) &&
        AnsiPath(options_.logFolder / PathFromAnsi("Replicate_Shadow_" + name + "_" + volume + ".log"), createLog) &&
        AnsiPath(options_.logFolder / PathFromAnsi("Replicate_Shadow_Mount_" + name + "_" + volume + ".log"),
                 exposeLog);
    bool ran = false;
    const bool created = pathsOk && CreateSnapshot(tool, volume, createLog, cancelAsked, snapshotId, ran, log);
    bool cancelled = false;
    std::string failure;  // the line logged when a step failed
    if (cancelAsked()) {
      cancelled = true;
    } else if (!created) {
      failure = "[Error] " + volumeTag + "Failed to create a snapshot.";
    } else {
      log(volumeTag + "Created a snapshot successfully.");
      r.jobState = kJobMounting;
      broadcast();
      const std::string share = SnapshotShareName(name, std::string(FieldText(r.driveLetter)));
      if (snapshotId.empty()) {
        failure = "[ERROR] " + volumeTag + "Failed to identify a snaphot ID.";
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const bool exposed = ExposeSnapshot(tool, snapshotId, share, exposeLog, cancelAsked);
        if (cancelAsked()) {
          cancelled = true;
        } else if (!exposed) {
          failure = "[Error] " + volumeTag + "Failed to mount the snapshot. ";
        } else {
          log(volumeTag + "Succeeded to mount the snapshot. ");
          const size_t colon = source.find(':');
          const std::string below = colon + 2 <= source.size() ? source.substr(colon + 2) : std::string();
          robocopySource = "\\\\" + HostAddress() + "\\" + share + (below.empty() ? "" : "\\" + below);
        }
      }
    }
    if (cancelled || !failure.empty()) {
      DeleteSnapshot(tool, snapshotId);
      if (cancelled) {
        r.jobState = kJobCanceled;
        finish();
      } else {
        log(failure);
        r.jobState = kJobShadowError;
        broadcast();
        finish();
      }
      log("Finished to replicate " + source + ".");
      return;
    }
  }

  std::string parameters, refused;
  const std::string logSwitch = "/log:" + QuoteField(robocopyLog);
  const bool built = fromSnapshot ? BuildCmdParameters({Field(Robocopy()), Field(robocopySource), Field(target),
                                                        Fixed("/mir /np /tee /w:1 /r:1 /NJH"), Fixed(logSwitch)},
                                                       parameters, &refused)
                                  : BuildCmdParameters({Field(Robocopy()), Field(source), Field(target),
                                                        Fixed("/np /mir /tee /w:1 /r:1 /njh"), Fixed(logSwitch)},
                                                       parameters, &refused);
  Clock::time_point nextPoll = Clock::now();
  auto check = [&]() -> bool {
    if (cancelAsked()) return true;
    if (Clock::now() >= nextPoll) {
      r.transferRate = GetFolderSize(PathFromAnsi(target));
      SetFieldText(r.elapsedTime, elapsed());
      SetFieldText(r.endTime, "");
      r.jobState = fromSnapshot ? kJobCopying : kJobCreating;
      broadcast();
      nextPoll = Clock::now() + options_.pollInterval;
    }
    return false;
  };
  RunResult result;
  if (built)
    result = RunHiddenCommand(parameters, options_.toolTimeout, check, [&](uint32_t) {
      log(fromSnapshot ? "Replication process started." : "Replication process start.");
    });
  if (result.status == RunStatus::kNotStarted) {
    DeleteSnapshot(tool, snapshotId);
    fail(kJobFailed, fromSnapshot ? "[ERROR] Failed to replication process started."
                                  : "[ERROR] Failed to start replication process.");
    log("Finished to replicate " + source + ".");
    return;
  }
  SetFieldText(r.endTime, RunStamp(r.jobType, LogNow()));
  if (result.status == RunStatus::kCancelled) {
    log("[ERROR] The replication was canceled; the target folder may be incomplete.");
    r.jobState = kJobCanceled;
  } else if (result.status == RunStatus::kTimedOut) {
    log("[ERROR] The replication process passed its time limit and was ended.");
    r.jobState = kJobFailed;
  } else {
    const int32_t verdict = ParseRobocopyLog(PathFromAnsi(robocopyLog), name, tag, result.exitCode, jobLog);
    r.jobState = verdict == 0 ? kJobSuccess : verdict == 2 ? kJobWarning : kJobFailed;
  }
  finish();
  DeleteSnapshot(tool, snapshotId);
  log("Finished to replicate " + source + ".");
}

void CopyWorkerLauncher::RunIso(const WorkerTask& task) {
  RunReport run(table_, task.record, options_.serviceFolder, "[ISOBACKUP]");
  JobRecord& r = run.r;
  const std::string& name = run.name;
  const std::filesystem::path& jobLog = run.jobLog;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(r.driveLetter[0])));
  const std::string volume(1, letter);
  const std::string volumeTag = "[" + volume + " Volume] ";
  auto log = [&](const std::string& text) { run.Log(text); };
  auto broadcast = [&] { run.Broadcast(); };
  auto elapsed = [&] { return run.Elapsed(); };

  run.Begin(true);
  log(volumeTag + "ISO backup starts");
  r.jobState = kJobImaging;
  broadcast();

  // Volume figures and the estimate.
  const std::string root = volume + ":\\";
  ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
  int64_t estimate = 0;
  if (GetDiskFreeSpaceExA(root.c_str(), &freeToCaller, &total, &totalFree)) {
    r.totalBytes = static_cast<int64_t>(total.QuadPart - totalFree.QuadPart);
  } else {
    log("[ERROR] " + volumeTag + "Failed to identify volume size of the target drive.");
  }
  estimate = r.totalBytes - GetFolderSize(PathFromAnsi(root + "System Volume Information")) -
             GetFolderSize(PathFromAnsi(root + "RECYCLER")) - GetPagefileSize(letter);
  const std::string excludes(FieldText(r.excludeList));
  for (size_t at = 0, bar; (bar = excludes.find('|', at)) != std::string::npos; at = bar + 1)
    estimate -= GetFolderSize(PathFromAnsi(excludes.substr(at, bar - at)));
  r.bytesToCopy = ScaleIsoEstimate(estimate, r.compressionLevel);

  const std::string imagePath(FieldText(r.imagePath));
  std::string serviceFolder, engine, oscdimg, bootFile, script, settings, engineLog, peLog, shadowLog, tool, logFolder;
  bool pathsOk = AnsiPath(options_.serviceFolder, serviceFolder);
  // A record that did not come through ADDJOB (the schedule file) is checked here.
  const std::string driveProblem = DriveLetterProblem(r.jobType, FieldText(r.driveLetter));
  std::string pathProblem = driveProblem.empty() ? ImagePathProblem(r.jobType, imagePath) : driveProblem;
  if (pathProblem.empty() && pathsOk) pathProblem = IsoStagingProblem(imagePath, options_.windowsFolder, serviceFolder);
  // The staging root ends with its backslash; its tree is "<root>ORVAPE".
  const std::string staging = pathProblem.empty() ? IsoStagingRoot(imagePath) : std::string();
  const std::string stagingTree = staging + "ORVAPE";
  const std::string fileKey = name + "_" + volume;
  const ScriptShadowTool shadow = ChooseScriptShadowTool(task.osCaption, options_.windowsFolder,
                                                         AnsiPath(options_.logFolder, logFolder) ? logFolder : "");
  pathsOk = pathsOk && !logFolder.empty() && AnsiPath(options_.serviceFolder / "OrvaImage.exe", engine) &&
            AnsiPath(options_.serviceFolder / "OSCDIMG.EXE", oscdimg) &&
            AnsiPath(options_.serviceFolder / "etfsboot.com", bootFile) &&
            AnsiPath(options_.serviceFolder / shadow.program, tool) &&
            AnsiPath(options_.logFolder / PathFromAnsi("OrvaImageBackup_" + fileKey + ".cmd"), script) &&
            AnsiPath(options_.logFolder / PathFromAnsi("OrvaImage_" + fileKey + ".log"), engineLog) &&
            AnsiPath(options_.logFolder / PathFromAnsi("OrvaISOPECopy_" + fileKey + ".log"), peLog) &&
            AnsiPath(options_.logFolder / PathFromAnsi("OrvaShadow_" + fileKey + ".log"), shadowLog);
  settings = ScriptSettingsPath(shadow, logFolder, fileKey);
  const std::string iso = staging + name + ".iso";
  // OSCDIMG writes beside the ISO; the new file takes the previous one's place
  // only once it is whole. The script notes OSCDIMG's exit code for the worker.
  const std::string work = iso + ".tmp";
  std::string isoResult;
  pathsOk = pathsOk && AnsiPath(options_.logFolder / PathFromAnsi("OrvaISOResult_" + fileKey + ".log"), isoResult);
  const std::string mapping = ProgressMappingName(name, 1000000 + ++g_isoRuns);

  // The script's lines; every field is checked and quoted.
  std::vector<std::string> lines;
  std::string refused, line;
  auto add = [&](std::initializer_list<CmdPiece> pieces) {
    if (!refused.empty()) return;
    if (BuildCommandLine(pieces, line, &refused)) lines.push_back(line);
  };
  std::vector<std::string> userExcludes = EngineExclusions(excludes);
  if (pathsOk && !staging.empty()) {
    add({Fixed("call"), Field(settings)});
    lines.push_back("if not defined SHADOW_DEVICE_1 exit /b 1");
    add({Field(Robocopy()), Field(serviceFolder + "\\ORVAPE"), Field(stagingTree), Fixed("/mir /w:1 /r:1 /tee"),
         Fixed("/log:" + QuoteField(peLog))});
    const std::string mappingSwitch = "-i" + mapping;
    std::vector<CmdPiece> enginePieces = {Field(engine),        Fixed("a"),
                                          Field(imagePath),     Fixed("\"%SHADOW_DEVICE_1%\\\\\""),
                                          Field(mappingSwitch), Field("-x!System Volume Information"),
                                          Field("-x!RECYCLER"), Field("-x!pagefile.sys")};
    for (const std::string& x : userExcludes) enginePieces.push_back(Field(x));
    const std::string level = "-mx" + std::to_string(r.compressionLevel);
    enginePieces.push_back(Field(level));
    enginePieces.push_back(Fixed(">"));
    enginePieces.push_back(Field(engineLog));
    if (refused.empty() && BuildCommandLine(enginePieces, line, &refused)) lines.push_back(line);
    add({Field(oscdimg), Fixed("-m"), Fixed("-lOrvanta"), Fixed("-b" + QuoteField(bootFile)), Fixed("-n"),
         Field(stagingTree), Field(work)});
    // "N." so that no digit stands right before the redirection.
    add({Fixed("echo %ERRORLEVEL%.>"), Field(isoResult)});
  }
  std::string parameters;
  if (refused.empty() && pathsOk && !staging.empty())
    BuildCmdParameters({Field(tool), Field("-script=" + settings), Field("-exec=" + script), Field(volume + ":"),
                        Fixed(">"), Field(shadowLog), Fixed("2>&1")},
                       parameters, &refused);

  bool started = false;
  RunStatus status = RunStatus::kNotStarted;
  const ImageFileState existing = pathProblem.empty() ? ReadImageFileState(imagePath) : ImageFileState::kMissing;
  if (!pathProblem.empty()) {
    log("[ERROR] " + volumeTag +
        (driveProblem.empty() ? "The image path was refused: " + pathProblem + ": " + imagePath
                              : "The job was refused: " + driveProblem + "."));
  } else if (existing != ImageFileState::kMissing && !MayReplaceImage(existing)) {
    log("[ERROR] " + volumeTag + "The file at the image path is not a TAV image; it was left as it is: " + imagePath);
  } else if (!pathsOk || !refused.empty() || parameters.empty() || !IsSafeField(imagePath)) {
    log("[ERROR] " + volumeTag +
        "A job field cannot be passed to the ISO backup command line (it holds '\"' or '%' or is empty)." +
        (refused.empty() ? std::string() : " " + refused));
  } else if (const std::string stuck = FirstNotRemoved({engineLog, shadowLog, settings, isoResult, work});
             !stuck.empty()) {
    // A file an earlier run left would be judged as this run's.
    log("[ERROR] " + volumeTag + "A file of an earlier run cannot be removed: " + stuck);
  } else {
    if (existing != ImageFileState::kMissing) DeleteFileA(imagePath.c_str());
    std::string text = "@echo off\r\n";
    for (const std::string& l : lines) text += l + "\r\n";
    std::string why;
    if (!WriteNewFile(script, text, why)) {
      log("[ERROR] " + volumeTag + "Failed to write the ISO backup script: " + why);
    } else {
      Clock::time_point nextPoll = Clock::now();
      auto check = [&]() -> bool {
        if (run.CancelAsked()) return true;
        if (Clock::now() >= nextPoll) {
          SetFieldText(r.elapsedTime, elapsed());
          SetFieldText(r.endTime, "");
          r.jobState = kJobImaging;
          broadcast();
          nextPoll = Clock::now() + options_.pollInterval;
        }
        return false;
      };
      const RunResult result = RunHiddenCommand(parameters, options_.toolTimeout, check, [&](uint32_t) {
        log(volumeTag + "Image backup process started for volume.");
      });
      status = result.status;
      started = status != RunStatus::kNotStarted;
      if (!started) log("[ERROR] " + volumeTag + "Failed to start image backup process for volume.");
    }
  }
  run.ForgetLateCancel();

  SetFieldText(r.endTime, RunStamp(r.jobType, LogNow()));
  SetFieldText(r.elapsedTime, elapsed());
  if (started) {
    log(volumeTag + "Finished to image backup process.");
    r.percent = 100;
    if (run.cancelled) {
      r.jobState = kJobCanceled;
    } else if (status == RunStatus::kTimedOut) {
      log("[ERROR] " + volumeTag + "The ISO backup process passed its time limit and was ended.");
      r.jobState = kJobFailed;
    } else {
      r.jobState = ParseImageEngineLog(PathFromAnsi(engineLog), name, "[ISOBACKUP]", volume, jobLog);
      if (r.jobState == kJobSuccess || r.jobState == kJobWarning) {
        const std::string problem = MakeIsoWhole(work, iso, isoResult);
        if (problem.empty()) {
          RemoveStagingTree(stagingTree, options_.toolTimeout);
        } else {
          log("[ERROR] " + volumeTag + problem);
          log("[ERROR] " + volumeTag + "The previous ISO file was kept: " + iso);
          log("[ERROR] " + volumeTag + "The new image stays in the staging folder: " + stagingTree);
          r.jobState = kJobFailed;
        }
      } else {
        RemoveStagingTree(stagingTree, options_.toolTimeout);  // it holds no good image
      }
    }
    // An unfinished ISO is of no use; the previous one stays.
    DeleteFileA(work.c_str());
  } else {
    r.jobState = kJobFailed;
  }
  if (!script.empty()) DeleteFileA(script.c_str());
  if (!settings.empty()) DeleteFileA(settings.c_str());
  WriteHistoryLine(options_.serviceFolder, r);
  broadcast();
}

}  // namespace orva::service
