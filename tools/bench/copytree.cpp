// Copies a tree the plainest way Win32 allows: each file created, written
// and given its times through one handle.  The baseline of the restore in
// scripts/bench_capture.sh.  Usage: copytree <from> <to>
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

static unsigned long long g_files, g_failed;
static std::vector<char> g_buffer(65536);

static std::wstring Long(std::wstring p) {
  if (p.compare(0, 4, L"\\\\?\\") != 0) p = L"\\\\?\\" + p;
  while (p.size() > 7 && p.back() == L'\\') p.pop_back();
  return p;
}

static void CopyTree(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    std::wstring src = from + L"\\" + name, dst = to + L"\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CopyTree(src, dst);
      continue;
    }
    HANDLE in = CreateFileW(src.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    HANDLE out = CreateFileW(dst.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
      ++g_failed;
    } else {
      DWORD got = 0, put = 0;
      while (ReadFile(in, g_buffer.data(), (DWORD)g_buffer.size(), &got, nullptr) && got)
        WriteFile(out, g_buffer.data(), got, &put, nullptr);
      SetFileTime(out, &fd.ftCreationTime, &fd.ftLastAccessTime, &fd.ftLastWriteTime);
      ++g_files;
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: copytree <from> <to>\n");
    return 2;
  }
  CopyTree(Long(argv[1]), Long(argv[2]));
  printf("%llu files, %llu failed\n", g_files, g_failed);
  return g_failed ? 1 : 0;
}
