// Removing a folder tree entry by entry through the file system's own calls,
// never through a command line (which would expand "%NAME%" in a folder
// name). A link inside the tree (a junction or a symbolic link, any reparse
// point) is removed as the link itself and never followed, so nothing
// outside the tree is touched.
#pragma once
#include <string>
#include <vector>

namespace orva::manager {

struct TreeEntry {
  std::wstring name;  // the last part of the path
  bool folder = false;
  bool reparsePoint = false;
  bool readOnly = false;
};

// The file system calls the removal makes; Windows has one implementation,
// the tests another.
class TreeFileSystem {
 public:
  virtual ~TreeFileSystem() = default;
  // What the path itself is (its own attributes, not a link's target);
  // false when nothing is there.
  virtual bool Stat(const std::wstring& path, TreeEntry& entry) = 0;
  // The entries of a folder without "." and ".."; false when it cannot be read.
  virtual bool List(const std::wstring& folder, std::vector<TreeEntry>& entries) = 0;
  // Removes a file, or a link to a file, with its read-only mark.
  virtual bool RemoveFile(const std::wstring& path, const TreeEntry& entry) = 0;
  // Removes an empty folder, or a link to a folder, with its read-only mark.
  virtual bool RemoveFolder(const std::wstring& path, const TreeEntry& entry) = 0;
};

enum class RemovalStep {
  kRemoveFile,
  kRemoveLinkToFile,
  kRemoveLinkToFolder,  // the link goes; what it points at stays
  kEmptyThenRemove,     // a real folder: its entries first
};
RemovalStep StepFor(const TreeEntry& entry);

// Removes `root` and everything below it. Returns the paths that could not
// be removed (a folder that kept entries comes after them); empty when the
// whole tree is gone or was never there.
std::vector<std::wstring> RemoveTree(const std::wstring& root, TreeFileSystem& fs);

}  // namespace orva::manager
