#include "win/tree_removal_win.h"

#include <windows.h>

#include "contracts/ansi_path.h"
#include "core/tree_removal.h"

namespace orva::manager {
namespace {

// Long paths take the "\\?\" form, which Windows reads as it stands.
std::wstring Long(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  if (path.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

TreeEntry EntryOf(const wchar_t* name, DWORD attributes) {
  TreeEntry e;
  e.name = name;
  e.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  e.reparsePoint = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  e.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return e;
}

class WinTreeFileSystem : public TreeFileSystem {
 public:
  bool Stat(const std::wstring& path, TreeEntry& entry) override {
    // The attributes of the name itself: a link's own, never its target's.
    const DWORD a = GetFileAttributesW(Long(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    entry = EntryOf(path.substr(path.find_last_of(L"\\/") + 1).c_str(), a);
    return true;
  }
  bool List(const std::wstring& folder, std::vector<TreeEntry>& entries) override {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Long(folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      entries.push_back(EntryOf(fd.cFileName, fd.dwFileAttributes));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return true;
  }
  bool RemoveFile(const std::wstring& path, const TreeEntry& entry) override {
    const std::wstring p = Long(path);
    if (entry.readOnly && !entry.reparsePoint) ClearReadOnly(p);  // a link keeps its own marks
    return DeleteFileW(p.c_str()) != 0;
  }
  bool RemoveFolder(const std::wstring& path, const TreeEntry& entry) override {
    // RemoveDirectory takes a junction or folder link away without
    // touching what it points at.
    const std::wstring p = Long(path);
    if (entry.readOnly && !entry.reparsePoint) ClearReadOnly(p);  // a link keeps its own marks
    return RemoveDirectoryW(p.c_str()) != 0;
  }

 private:
  static void ClearReadOnly(const std::wstring& p) {
    const DWORD a = GetFileAttributesW(p.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(p.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
  }
};

}  // namespace

std::vector<std::string> RemoveFolderTree(const std::string& folder) {
  std::wstring path = PathFromAnsi(folder).wstring();
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  WinTreeFileSystem fs;
  std::vector<std::string> failed;
  for (const std::wstring& p : RemoveTree(path, fs)) {
    std::string text;
    failed.push_back(AnsiFromPath(p, text) ? text : "?");
  }
  return failed;
}

}  // namespace orva::manager
