// Reads every file of a tree once, the least a capture has to do: the
// baseline of scripts/bench_capture.sh.  Usage: readtree <folder>
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

static unsigned long long g_bytes, g_files, g_failed;
static std::vector<char> g_buffer(65536);

static void ReadTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = dir + L"\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ReadTree(path);
      continue;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      ++g_failed;
      continue;
    }
    DWORD got = 0;
    while (ReadFile(file, g_buffer.data(), (DWORD)g_buffer.size(), &got, nullptr) && got) g_bytes += got;
    CloseHandle(file);
    ++g_files;
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: readtree <folder>\n");
    return 2;
  }
  std::wstring root = argv[1];
  if (root.compare(0, 4, L"\\\\?\\") != 0) root = L"\\\\?\\" + root;
  while (root.size() > 7 && root.back() == L'\\') root.pop_back();
  ReadTree(root);
  printf("%llu files, %llu bytes, %llu failed\n", g_files, g_bytes, g_failed);
  return g_failed ? 1 : 0;
}
