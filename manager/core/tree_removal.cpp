#include "core/tree_removal.h"

namespace orva::manager {
namespace {

// A folder being emptied: its own entry, its entries and the next one to
// remove, and the length of the walk's path at the folder.
struct Level {
  TreeEntry folder;
  std::vector<TreeEntry> entries;
  size_t next = 0;
  size_t pathLength = 0;
};

// Removes the entry at `path`, a real folder after its contents. The walk
// keeps one level per folder on the heap and one path that grows and shrinks
// with it, so a tree thousands of levels deep takes no more stack than a flat
// one. Failures are added to `failed`.
void RemoveEntry(std::wstring path, TreeEntry entry, TreeFileSystem& fs, std::vector<std::wstring>& failed) {
  std::vector<Level> levels;
  for (;;) {
    switch (StepFor(entry)) {
      case RemovalStep::kRemoveFile:
      case RemovalStep::kRemoveLinkToFile:
        if (!fs.RemoveFile(path, entry)) failed.push_back(path);
        break;
      case RemovalStep::kRemoveLinkToFolder:
        if (!fs.RemoveFolder(path, entry)) failed.push_back(path);
        break;
      case RemovalStep::kEmptyThenRemove: {
        Level level;
        level.pathLength = path.size();
        if (!fs.List(path, level.entries)) level.entries.clear();
        level.folder = std::move(entry);
        levels.push_back(std::move(level));
        break;
      }
    }
    // The next entry of the deepest folder not yet emptied; each emptied
    // folder goes on the way up.
    for (;;) {
      if (levels.empty()) return;
      Level& level = levels.back();
      path.resize(level.pathLength);
      if (level.next < level.entries.size()) {
        entry = level.entries[level.next++];
        path += L'\\';
        path += entry.name;
        break;
      }
      if (!fs.RemoveFolder(path, level.folder)) failed.push_back(path);
      levels.pop_back();
    }
  }
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
