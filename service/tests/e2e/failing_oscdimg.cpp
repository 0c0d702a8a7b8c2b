// Test helper in OSCDIMG's place: writes the start of an ISO file to its
// last argument and ends with exit code 1, as an OSCDIMG that fails midway.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HANDLE file = CreateFileW(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    static const char partial[4096] = "partial ISO";
    DWORD put = 0;
    WriteFile(file, partial, sizeof partial, &put, nullptr);
    CloseHandle(file);
  }
  return 1;
}
