#include "win/service_host.h"

#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "contracts/job_record_check.h"
#include "core/job_table.h"
#include "core/options.h"
#include "core/scheduler.h"
#include "core/service_logs.h"
#include "win/command_server.h"
#include "win/copy_workers.h"
#include "win/folder_access.h"
#include "win/image_worker.h"
#include "drive_mapping.h"
#include "fixed_disks.h"
#include "win/probes.h"

namespace orva::service {

namespace {

constexpr DWORD kAcceptAll = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;  // 3
// The pause between two passes of the main loop.
constexpr DWORD kTickMs = 5000;

struct Host {
  SERVICE_STATUS_HANDLE status = nullptr;
  std::atomic<DWORD> current{0};
  std::mutex reportMutex;  // keeps a state and its report together
  std::atomic<HANDLE> exitEvent{nullptr};
  HANDLE mainDone = nullptr;  // set when the service main has returned
  std::wstring folder;        // with its trailing backslash; set before any thread starts
  std::wstring parent;        // without one
  JobTable* table = nullptr;
  std::atomic<CommandServer*> server{nullptr};
  OptionsRecord options;
  NetworkConnector* connector = nullptr;
};

// Never destroyed: detached threads may still use it while the process ends.
Host& H() {
  static Host* host = new Host;
  return *host;
}

std::mutex g_eventFileMutex;

BOOL SetServiceState(DWORD state, DWORD win32Exit, DWORD serviceExit, DWORD accepted) {
  Host& h = H();
  std::lock_guard lock(h.reportMutex);
  SERVICE_STATUS s{};
  s.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  s.dwCurrentState = state;
  s.dwControlsAccepted = accepted;
  s.dwWin32ExitCode = win32Exit;
  s.dwServiceSpecificExitCode = win32Exit == ERROR_SERVICE_SPECIFIC_ERROR ? serviceExit : 0;
  s.dwCheckPoint = 0;
  s.dwWaitHint = 2000;
  h.current = state;
  return h.status ? SetServiceStatus(h.status, &s) : FALSE;
}

void TaskLogSink(std::string_view tag, std::string_view text) { AppendLogFile(kTaskLogName, FormatLogLine(tag, text)); }

void ReadOptions() {
  Host& h = H();
  if (ReadOptionsFile(h.folder, h.options, TaskLogSink) == OptionsStatus::kLoaded && h.connector)
    h.connector->ConnectAll(h.options, TaskLogSink);
}

void WINAPI ServiceCtrlHandler(DWORD control) {
  Host& h = H();
  if (control == h.current) return;
  const DWORD current = h.current;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      // The port is let go at once, so that a start right after this stop
      // finds it free even while the main loop is still finishing its pass.
      if (CommandServer* server = h.server) server->Stop();
      SetServiceState(SERVICE_STOPPED, 0, 0, kAcceptAll);
      ReportServiceEvent("Orvanta services is stoped.", EVENTLOG_INFORMATION_TYPE);
      if (HANDLE e = h.exitEvent) SetEvent(e);
      break;
    case SERVICE_CONTROL_PAUSE:
      SetServiceState(SERVICE_PAUSE_PENDING, 0, 0, 0);
      SetServiceState(SERVICE_PAUSED, 0, 0, kAcceptAll);
      ReportServiceEvent("Orvanta services is paused.", EVENTLOG_INFORMATION_TYPE);
      break;
    case SERVICE_CONTROL_CONTINUE:
      SetServiceState(SERVICE_CONTINUE_PENDING, 0, 0, 0);
      SetServiceState(SERVICE_RUNNING, 0, 0, kAcceptAll);
      ReportServiceEvent("Orvanta services is resumed.", EVENTLOG_INFORMATION_TYPE);
      break;
    case SERVICE_CONTROL_INTERROGATE:
      SetServiceState(current, 0, 0, kAcceptAll);
      ReportServiceEvent("Orvanta services is interrogated.", EVENTLOG_INFORMATION_TYPE);
      break;
    default:
      SetServiceState(current, 0, 0, kAcceptAll);
      ReportServiceEvent("Successfully orvanta services is started.", EVENTLOG_INFORMATION_TYPE);
      break;
  }
}

// Full backups that the end of the service (or of its engine) cut short:
// their previous images go back before anything else runs.
void PutBackInterruptedImages(const JobTable& table) {
  for (const JobRecord& job : table.Snapshot()) {
    const std::string imagePath(FieldText(job.imagePath));
    if (job.jobType < kFullBackup || job.jobType > kDifferentialBackup ||
        !ImagePathProblem(job.jobType, imagePath).empty())
      continue;
    const std::string note = PutBackInterruptedImage(imagePath);
    if (note.empty()) continue;
    std::string line = "[";
    line.append(JobTypeName(job.jobType)).append("] ").append(note);
    AppendLogFile(kJobLogName, FormatLogLine(JobName(job), line));
  }
}

void TrimJobLog() {
  const std::wstring path = H().folder + L"OrvaJob.log";
  if (QueryFileSize(path) <= kJobLogLimit) return;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
}

// Stops the service at start-up after a failure that leaves it useless.
void StopWithError(DWORD code) {
  Host& h = H();
  if (HANDLE e = h.exitEvent.exchange(nullptr)) CloseHandle(e);
  WSACleanup();
  SetServiceState(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, code, kAcceptAll);
}

void RunService() {
  Host& h = H();
  h.status = RegisterServiceCtrlHandlerA(kServiceName, ServiceCtrlHandler);
  if (!h.status) {
    ReportServiceEvent("Cannot install service control handle!", EVENTLOG_ERROR_TYPE);
    return;
  }
  SetServiceState(SERVICE_START_PENDING, 0, 0, kAcceptAll);
  h.exitEvent = CreateEventA(nullptr, TRUE, FALSE, "ORVA_EXIT_EVENT");
  SetServiceState(SERVICE_RUNNING, 0, 0, kAcceptAll);

  WSADATA wsa;
  if (int err = WSAStartup(MAKEWORD(2, 2), &wsa); err != 0) {
    char text[80];
    snprintf(text, sizeof text, "Socket initialize failed. [Error Code:%d]", err);
    SetLastError(err);
    ReportServiceEvent(text, EVENTLOG_ERROR_TYPE);
  }

  {
    std::wstring f = h.folder;
    if (!f.empty()) f.pop_back();
    size_t cut = f.rfind(L'\\');
    h.parent = cut == std::wstring::npos ? f : f.substr(0, cut);
  }
  // OrvaTask.log and the other bare names resolve in the service folder;
  // the scripts and tool logs go to the Log folder beside it.
  SetCurrentDirectoryW(h.folder.c_str());
  // The service runs the scripts it writes there as LocalSystem.
  if (DWORD error = SecureLogFolder(h.parent + L"\\Log")) {
    SetLastError(error);
    ReportServiceEvent("The Log folder could not be given its access list.", EVENTLOG_ERROR_TYPE);
  }

  TrimJobLog();

  // The service's objects live until the process ends (never destroyed).
  JobTable& table = *new JobTable(h.folder);
  h.table = &table;
  table.SetLogSink(TaskLogSink);
  table.Load();
  PutBackInterruptedImages(table);

  h.connector = new NetworkConnector(*new platform::WinDriveMapper(platform::DriveMapping::kRemembered));
  ReadOptions();
  std::string diskNote;
  std::vector<DiskInfo> disks = platform::QueryFixedDisks(diskNote);
  EnsureDefaultRepository(h.folder, disks, h.options, TaskLogSink);
  ReadOptions();

  // --- Scheduler and job dispatch: the tick runs after ADDJOB and MODIFYJOB
  // and in the main loop; RUNJOB hands the started entry to startJob. Image
  // jobs run in the image worker, replication and ISO jobs in the copy
  // workers; a type without a worker on this system ends at once as failed.
  WorkerLauncher& others = *new NoWorkerLauncher(
      [](const JobRecord& r) { H().table->Broadcast(r); }, {},
      [](std::string_view tag, std::string_view text) { AppendLogFile(kJobLogName, FormatLogLine(tag, text)); });
  ImageWorkerOptions imageOptions;
  imageOptions.serviceFolder = h.folder;
  imageOptions.logFolder = h.parent + L"\\Log";
  imageOptions.windowsFolder = WindowsFolder();
  CopyWorkerOptions copyOptions;
  copyOptions.serviceFolder = imageOptions.serviceFolder;
  copyOptions.logFolder = imageOptions.logFolder;
  copyOptions.toolTimeout = imageOptions.toolTimeout;
  copyOptions.windowsFolder = imageOptions.windowsFolder;
  WorkerLauncher& copies = *new CopyWorkerLauncher(table, copyOptions, others);
  WorkerLauncher& launcher = *new ImageWorkerLauncher(table, imageOptions, copies);
  SchedulerOptions schedulerOptions;
  schedulerOptions.osCaption = [] { return QueryOsCaption(); };
  // Not moved by clock changes, and counts sleep and hibernation (unlike the
  // unbiased interrupt time), so a wake still crosses the slept minutes.
  schedulerOptions.monotonicMs = [] { return static_cast<int64_t>(GetTickCount64()); };
  schedulerOptions.log = TaskLogSink;
  Scheduler& scheduler = *new Scheduler(table, launcher, schedulerOptions);
  CommandHooks hooks;
  hooks.schedulerTick = [&scheduler] { scheduler.Tick(); };
  hooks.startJob = [&scheduler](const JobRecord& entry) { scheduler.RunNow(JobName(entry)); };
  // A service folder without an ANSI name guards every folder (empty).
  std::string serviceFolderText;
  if (!AnsiPath(copyOptions.serviceFolder, serviceFolderText)) serviceFolderText.clear();
  hooks.checkJob = [copyOptions, serviceFolderText](const JobRecord& r) -> std::string {
    return JobPathsProblem(r, copyOptions.windowsFolder, serviceFolderText);
  };
  // --- end of the scheduler wiring
  CommandServer& server = *new CommandServer(table, kTaskLogName, hooks, [](const std::string& text, int type) {
    ReportServiceEvent(text, static_cast<WORD>(type));
  });
  h.server = &server;
  table.SetBroadcastHook([](const JobRecord& r) { H().server.load()->Broadcast(r); });
  if (ListenFailure f = server.Start(); f.stage) {
    char text[128];
    if (std::string_view(f.stage) == "bind")
      snprintf(text, sizeof text, "Always server is running. please check server status.");
    else if (std::string_view(f.stage) == "thread")
      snprintf(text, sizeof text, "No thread could be started for the manager connections.");
    else if (std::string_view(f.stage) == "socket")
      snprintf(text, sizeof text, "Failed to orvanta standard server initialized. [%d]", f.error);
    else
      snprintf(text, sizeof text, "Failed to start socket listening: %d]", f.error);
    SetLastError(f.error);
    ReportServiceEvent(text, EVENTLOG_ERROR_TYPE);
    StopWithError(f.error);
    return;
  }

  const HANDLE stopEvent = h.exitEvent;
  for (;;) {
    if (hooks.schedulerTick) hooks.schedulerTick();
    table.RetryHeldLoad();  // a schedule file that was locked at start-up
    ReadOptions();
    if (stopEvent && WaitForSingleObject(stopEvent, 10) == WAIT_OBJECT_0) break;
    // The pause between passes also ends at once on stop.
    if (stopEvent) {
      if (WaitForSingleObject(stopEvent, kTickMs) == WAIT_OBJECT_0) break;
    } else {
      Sleep(kTickMs);
    }
  }

  server.Stop();
  if (HANDLE e = h.exitEvent.exchange(nullptr)) CloseHandle(e);
  WSACleanup();
  ReportServiceEvent("Successfully service exited.", EVENTLOG_INFORMATION_TYPE);
  SetServiceState(SERVICE_STOPPED, 0, 0, kAcceptAll);
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  RunService();
  SetEvent(H().mainDone);
}

}  // namespace

std::wstring GetModuleFolder() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  path.resize(n);
  size_t cut = path.rfind(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

ULONGLONG QueryFileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void ReportServiceEvent(const std::string& message, WORD type) {
  const DWORD lastError = GetLastError();
  std::string first = kServiceName;
  if (type == EVENTLOG_ERROR_TYPE) {
    char text[96];
    snprintf(text, sizeof text, "%s [ERROR CODE : %d]", kServiceName, static_cast<int>(lastError));
    first = text;
  }
  if (HANDLE source = RegisterEventSourceA(nullptr, kServiceName)) {
    const char* strings[2] = {first.c_str(), message.c_str()};
    ReportEventA(source, type, 0, 0, nullptr, 2, 0, strings, nullptr);
    DeregisterEventSource(source);
  }
  std::lock_guard lock(g_eventFileMutex);
  AppendLogFile(std::filesystem::path(H().folder) / kEventLogFileName, FormatLogLine(first, message),
                Retry{40, std::chrono::milliseconds(50)});
}

int RunServiceProcess() {
  H().folder = GetModuleFolder();
  H().mainDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  char name[] = "OrvaStanardServer";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) return 1;
  // The stop control reports STOPPED at once and the dispatcher then
  // returns; give the service main a moment to finish its shutdown.
  WaitForSingleObject(H().mainDone, 15000);
  return 0;
}

}  // namespace orva::service
