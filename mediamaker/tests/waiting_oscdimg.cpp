// An OSCDIMG that waits to be let go, for the media maker's tests: it writes
// the file "held" into the folder ORVA_OSCDIMG_HOLD names, waits until a file
// "go" appears there (ten minutes at most), then runs the OSCDIMG that
// ORVA_OSCDIMG_NEXT names with its own arguments and exits with its exit code.
#include <windows.h>
#include <string>

#include "run_and_wait.h"

namespace {

// One argument as the C runtime reads it back.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t hold[MAX_PATH] = {}, next[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"ORVA_OSCDIMG_HOLD", hold, MAX_PATH) ||
      !GetEnvironmentVariableW(L"ORVA_OSCDIMG_NEXT", next, MAX_PATH))
    return 2;
  std::wstring folder = hold;
  HANDLE h = CreateFileW((folder + L"\\held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 3;
  CloseHandle(h);
  for (int i = 0; i < 6000 && GetFileAttributesW((folder + L"\\go").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(100);
  std::wstring line = Quoted(next);
  for (int i = 1; i < argc; ++i) line += L" " + Quoted(argv[i]);
  return RunAndWait(next, line, 5);
}
