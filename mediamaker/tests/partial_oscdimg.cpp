// An OSCDIMG that runs out of room: it writes the start of an image to the
// target (its last argument) and exits with 1. For the media maker's tests.
// When ORVA_OSCDIMG_HIDE names a folder, it first renames that folder to
// "<folder>.away": the image files moved out of it cannot go back.
#include <windows.h>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  wchar_t hide[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"ORVA_OSCDIMG_HIDE", hide, MAX_PATH) &&
      !MoveFileW(hide, (std::wstring(hide) + L".away").c_str()))
    return 4;
  HANDLE h = CreateFileW(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 3;
  static const char part[4096] = "CD001 partial";
  DWORD written = 0;
  WriteFile(h, part, sizeof part, &written, nullptr);
  CloseHandle(h);
  return 1;
}
