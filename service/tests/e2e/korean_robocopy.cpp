// Test helper in robocopy's place: copies nothing, writes the log of a copy
// that failed on one file as a Korean robocopy does (code page 949 bytes)
// to the file of its /log: switch, and ends with exit code 8 (some files
// were not copied).
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  const wchar_t* log = nullptr;
  for (int i = 1; i < argc; ++i)
    if (_wcsnicmp(argv[i], L"/log:", 5) == 0) log = argv[i] + 5;
  if (!log) return 16;
  static const char text[] =
      "\t                   1\tC:\\Data\\\r\n"
      "2026/12/10 09:08:07 \xBF\xC0\xB7\xF9 5 (0x00000005) \xC6\xC4\xC0\xCF \xBA\xB9\xBB\xE7 C:\\Data\\a.txt\r\n"
      "\xBE\xD7\xBC\xBC\xBD\xBA\xB0\xA1 \xB0\xC5\xBA\xCE\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.\r\n"
      "\r\n"
      "   \xC1\xBE\xB7\xE1 : 2026\xB3\xE2 12\xBF\xF9 10\xC0\xCF \xB8\xF1\xBF\xE4\xC0\xCF \xBF\xC0\xC0\xFC 9:08:07\r\n";
  HANDLE file = CreateFileW(log, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 16;
  DWORD put = 0;
  WriteFile(file, text, sizeof text - 1, &put, nullptr);
  CloseHandle(file);
  return 8;
}
