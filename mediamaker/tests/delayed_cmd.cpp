// A command processor that starts with delayed expansion on, as a system can
// be set up to do (Wine's own reads no such setting). A test prefix puts it in
// the place of cmd.exe: it runs the command processor copied beside it as
// cmd_real.exe with /v:on and its own arguments, and exits with its exit code.
#include <windows.h>
#include <string>

#include "run_and_wait.h"

int wmain() {
  // The arguments as given: the command line after the program's own name.
  const wchar_t* rest = GetCommandLineW();
  bool quoted = false;
  for (; *rest && (quoted || (*rest != L' ' && *rest != L'\t')); ++rest)
    if (*rest == L'"') quoted = !quoted;
  wchar_t self[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::wstring real = self;
  real = real.substr(0, real.rfind(L'\\') + 1) + L"cmd_real.exe";
  std::wstring line = L"\"" + real + L"\" /v:on" + rest;
  return RunAndWait(real.c_str(), line, 3);
}
