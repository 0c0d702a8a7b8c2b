#include "win/tool_runner.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace orva::service {
namespace {

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::wstring InterpreterPath() {
  wchar_t folder[MAX_PATH] = {};
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L"cmd.exe";
  return std::wstring(folder) + L"\\cmd.exe";
}

// Without a job object: end the process and everything it started, children
// first, found through their parent ids.
void EndTreeByParents(DWORD root) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  std::vector<std::pair<DWORD, DWORD>> links;  // (pid, parent)
  if (snap != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
      links.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
    CloseHandle(snap);
  }
  std::vector<DWORD> tree{root};
  for (size_t i = 0; i < tree.size(); ++i)
    for (auto [pid, parent] : links)
      if (parent == tree[i] && pid != root && std::find(tree.begin(), tree.end(), pid) == tree.end())
        tree.push_back(pid);
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, *it);
    if (!h) continue;
    TerminateProcess(h, 1);
    CloseHandle(h);
  }
}

HANDLE MakeKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

}  // namespace

RunResult RunHiddenCommand(const std::string& parameters, std::chrono::milliseconds timeout, const CancelCheck& cancel,
                           const std::function<void(uint32_t)>& started) {
  RunResult result;
  std::wstring line = L"\"" + InterpreterPath() + L"\" " + AnsiToWide(parameters);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &process))
    return result;

  HANDLE job = MakeKillOnCloseJob();
  if (job && !AssignProcessToJobObject(job, process.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  result.treeContained = job != nullptr;
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  if (started) started(static_cast<uint32_t>(process.dwProcessId));

  const ULONGLONG start = GetTickCount64();
  const ULONGLONG limit = static_cast<ULONGLONG>(std::max<int64_t>(0, timeout.count()));
  result.status = RunStatus::kEnded;
  for (;;) {
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= limit) {
      result.status = RunStatus::kTimedOut;
    } else {
      const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(limit - elapsed, 100));
      if (WaitForSingleObject(process.hProcess, slice) == WAIT_OBJECT_0) break;
      if (cancel && cancel()) result.status = RunStatus::kCancelled;
    }
    if (result.status != RunStatus::kEnded) {
      if (job) {
        TerminateJobObject(job, 1);
      } else {
        EndTreeByParents(process.dwProcessId);
      }
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  DWORD code = 0;
  if (result.status == RunStatus::kEnded && GetExitCodeProcess(process.hProcess, &code)) result.exitCode = code;
  // Closing the job ends whatever the command left running.
  if (job) CloseHandle(job);
  CloseHandle(process.hProcess);
  return result;
}

bool IsSafeField(std::string_view field) {
  return field.find_first_of(std::string_view("\"%\r\n\0", 5)) == std::string_view::npos;
}

std::string QuoteField(std::string_view field) {
  if (!IsSafeField(field)) return {};
  size_t trailing = 0;
  while (trailing < field.size() && field[field.size() - 1 - trailing] == '\\') ++trailing;
  std::string out;
  out.reserve(field.size() + trailing + 2);
  out += '"';
  out += field;
  out.append(trailing, '\\');
  out += '"';
  return out;
}

bool BuildCommandLine(std::initializer_list<CmdPiece> pieces, std::string& line, std::string* refused) {
  return BuildCommandLine(std::vector<CmdPiece>(pieces), line, refused);
}

bool BuildCommandLine(const std::vector<CmdPiece>& pieces, std::string& line, std::string* refused) {
  line.clear();
  std::string out;
  for (const CmdPiece& piece : pieces) {
    if (!out.empty()) out += ' ';
    if (piece.fixed) {
      out += piece.text;
      continue;
    }
    if (!IsSafeField(piece.text)) {
      if (refused) *refused = std::string(piece.text);
      return false;
    }
    out += QuoteField(piece.text);
  }
  line = std::move(out);
  return true;
}

bool BuildCmdParameters(std::initializer_list<CmdPiece> pieces, std::string& parameters, std::string* refused) {
  return BuildCmdParameters(std::vector<CmdPiece>(pieces), parameters, refused);
}

bool BuildCmdParameters(const std::vector<CmdPiece>& pieces, std::string& parameters, std::string* refused) {
  parameters.clear();
  std::string line;
  if (!BuildCommandLine(pieces, line, refused)) return false;
  parameters = "/c \"" + line + "\"";
  return true;
}

}  // namespace orva::service
