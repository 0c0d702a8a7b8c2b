#include "core/tree_removal.h"

namespace orva::manager {
namespace {

// Removes one entry at `path`; a real folder after its contents. Failures
// are added to `failed`; true when the entry is gone.
bool RemoveEntry(const std::wstring& path, const TreeEntry& entry, TreeFileSystem& fs,
                 std::vector<std::wstring>& failed) {
  bool gone = false;
  switch (StepFor(entry)) {
    case RemovalStep::kRemoveFile:
    case RemovalStep::kRemoveLinkToFile:
      gone = fs.RemoveFile(path, entry);
      break;
    case RemovalStep::kRemoveLinkToFolder:
      gone = fs.RemoveFolder(path, entry);
      break;
    case RemovalStep::kEmptyThenRemove: {
      std::vector<TreeEntry> entries;
      if (fs.List(path, entries)) {
        for (const TreeEntry& child : entries) RemoveEntry(path + L"\\" + child.name, child, fs, failed);
      }
      gone = fs.RemoveFolder(path, entry);
      break;
    }
  }
  if (!gone) failed.push_back(path);
  return gone;
}

}  // namespace

RemovalStep StepFor(const TreeEntry& entry) {
  if (entry.reparsePoint) return entry.folder ? RemovalStep::kRemoveLinkToFolder : RemovalStep::kRemoveLinkToFile;
  return entry.folder ? RemovalStep::kEmptyThenRemove : RemovalStep::kRemoveFile;
}

std::vector<std::wstring> RemoveTree(const std::wstring& root, TreeFileSystem& fs) {
  std::vector<std::wstring> failed;
  std::wstring path = root;
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  TreeEntry entry;
  if (path.empty() || !fs.Stat(path, entry)) return failed;
  if (!entry.folder) {
    failed.push_back(path);  // a file where a folder should be stays
    return failed;
  }
  RemoveEntry(path, entry, fs, failed);
  return failed;
}

}  // namespace orva::manager
