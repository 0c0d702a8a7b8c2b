// The test tools that stand in front of another program run it with a command
// line of theirs and end with its exit code.
#pragma once
#include <windows.h>
#include <string>

// The program's exit code, or notStarted when it cannot be started.
inline int RunAndWait(const wchar_t* program, std::wstring line, int notStarted) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return notStarted;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}
