#include "core/tree_removal.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace orva::manager {
namespace {

// A file system in memory. A link entry stands for a junction or symbolic
// link: listing it would give what it points at, as following it would.
class FakeFileSystem : public TreeFileSystem {
 public:
  struct Node {
    TreeEntry entry;
    std::wstring pointsAt;  // links only
  };
  std::map<std::wstring, Node> nodes;  // by full path
  std::set<std::wstring> stuck;        // removals that fail
  std::vector<std::wstring> calls;

  void Folder(const std::wstring& path, bool readOnly = false) { Add(path, true, false, readOnly); }
  void File(const std::wstring& path, bool readOnly = false) { Add(path, false, false, readOnly); }
  void Link(const std::wstring& path, const std::wstring& target, bool folder) {
    Add(path, folder, true, false);
    nodes[path].pointsAt = target;
  }

  bool Stat(const std::wstring& path, TreeEntry& entry) override {
    auto it = nodes.find(path);
    if (it == nodes.end()) return false;
    entry = it->second.entry;
    return true;
  }
  bool List(const std::wstring& folder, std::vector<TreeEntry>& entries) override {
    calls.push_back(L"list " + folder);
    auto it = nodes.find(folder);
    if (it == nodes.end()) return false;
    const std::wstring real = it->second.pointsAt.empty() ? folder : it->second.pointsAt;
    for (const auto& [path, node] : nodes)
      if (path.size() > real.size() && path.compare(0, real.size(), real) == 0 && path[real.size()] == L'\\' &&
          path.find(L'\\', real.size() + 1) == std::wstring::npos)
        entries.push_back(node.entry);
    return true;
  }
  bool RemoveFile(const std::wstring& path, const TreeEntry& entry) override { return Remove(path, entry, false); }
  bool RemoveFolder(const std::wstring& path, const TreeEntry& entry) override { return Remove(path, entry, true); }

 private:
  void Add(const std::wstring& path, bool folder, bool link, bool readOnly) {
    Node n;
    n.entry.name = path.substr(path.rfind(L'\\') + 1);
    n.entry.folder = folder;
    n.entry.reparsePoint = link;
    n.entry.readOnly = readOnly;
    nodes[path] = n;
  }
  bool Remove(const std::wstring& path, const TreeEntry& entry, bool folder) {
    calls.push_back((folder ? L"rmdir " : L"del ") + path);
    auto it = nodes.find(path);
    if (it == nodes.end() || stuck.count(path) || it->second.entry.folder != folder) return false;
    if (folder && !entry.reparsePoint)
      for (const auto& [p, n] : nodes)
        if (p.size() > path.size() && p.compare(0, path.size(), path) == 0 && p[path.size()] == L'\\') return false;
    nodes.erase(it);
    return true;
  }
};

std::set<std::wstring> Paths(const FakeFileSystem& fs) {
  std::set<std::wstring> out;
  for (const auto& [path, node] : fs.nodes) out.insert(path);
  return out;
}

TEST(TreeRemoval, StepForEachKindOfEntry) {
  struct Case {
    bool folder, reparse;
    RemovalStep step;
  };
  for (const Case& c :
       {Case{false, false, RemovalStep::kRemoveFile}, Case{true, false, RemovalStep::kEmptyThenRemove},
        Case{true, true, RemovalStep::kRemoveLinkToFolder}, Case{false, true, RemovalStep::kRemoveLinkToFile}}) {
    TreeEntry e;
    e.folder = c.folder;
    e.reparsePoint = c.reparse;
    EXPECT_EQ(StepFor(e), c.step) << c.folder << c.reparse;
  }
}

TEST(TreeRemoval, TakesTheWholeTreeWithItsReadOnlyEntriesAndNamesAsTheyStand) {
  FakeFileSystem fs;
  fs.Folder(L"D:\\Copies");
  fs.Folder(L"D:\\Copies\\%USERPROFILE%");
  fs.File(L"D:\\Copies\\%USERPROFILE%\\a.txt", true);
  fs.Folder(L"D:\\Copies\\%USERPROFILE%\\sub", true);
  fs.File(L"D:\\Copies\\%USERPROFILE%\\sub\\b.txt");
  fs.Folder(L"D:\\Copies\\victim");
  fs.File(L"D:\\Copies\\victim\\keep.txt");
  EXPECT_TRUE(RemoveTree(L"D:\\Copies\\%USERPROFILE%\\", fs).empty());
  EXPECT_EQ(Paths(fs), (std::set<std::wstring>{L"D:\\Copies", L"D:\\Copies\\victim", L"D:\\Copies\\victim\\keep.txt"}));
}

TEST(TreeRemoval, LinksInsideGoAsLinksAndWhatTheyPointAtStays) {
  FakeFileSystem fs;
  fs.Folder(L"D:\\Copy");
  fs.Link(L"D:\\Copy\\junction", L"C:\\Users", true);
  fs.Link(L"D:\\Copy\\file.lnk", L"C:\\Users\\doc.txt", false);
  fs.Folder(L"C:\\Users");
  fs.File(L"C:\\Users\\doc.txt");
  EXPECT_TRUE(RemoveTree(L"D:\\Copy", fs).empty());
  EXPECT_EQ(Paths(fs), (std::set<std::wstring>{L"C:\\Users", L"C:\\Users\\doc.txt"}));
  for (const std::wstring& call : fs.calls) EXPECT_NE(call, L"list D:\\Copy\\junction");
}

TEST(TreeRemoval, ATargetThatIsALinkLosesOnlyTheLink) {
  FakeFileSystem fs;
  fs.Link(L"D:\\Copy", L"C:\\Users", true);
  fs.Folder(L"C:\\Users");
  fs.File(L"C:\\Users\\doc.txt");
  EXPECT_TRUE(RemoveTree(L"D:\\Copy", fs).empty());
  EXPECT_EQ(Paths(fs), (std::set<std::wstring>{L"C:\\Users", L"C:\\Users\\doc.txt"}));
  EXPECT_EQ(fs.calls, std::vector<std::wstring>{L"rmdir D:\\Copy"});
}

TEST(TreeRemoval, WhatCouldNotGoIsReportedAndTheRestGoes) {
  FakeFileSystem fs;
  fs.Folder(L"D:\\Copy");
  fs.Folder(L"D:\\Copy\\a");
  fs.File(L"D:\\Copy\\a\\held.txt");
  fs.File(L"D:\\Copy\\a\\free.txt");
  fs.File(L"D:\\Copy\\b.txt");
  fs.stuck.insert(L"D:\\Copy\\a\\held.txt");
  EXPECT_EQ(RemoveTree(L"D:\\Copy", fs),
            (std::vector<std::wstring>{L"D:\\Copy\\a\\held.txt", L"D:\\Copy\\a", L"D:\\Copy"}));
  EXPECT_EQ(Paths(fs), (std::set<std::wstring>{L"D:\\Copy", L"D:\\Copy\\a", L"D:\\Copy\\a\\held.txt"}));
}

TEST(TreeRemoval, NothingThereOrAFileInPlaceOfTheFolder) {
  FakeFileSystem fs;
  EXPECT_TRUE(RemoveTree(L"D:\\Missing", fs).empty());
  fs.File(L"D:\\Copy");
  EXPECT_EQ(RemoveTree(L"D:\\Copy", fs), std::vector<std::wstring>{L"D:\\Copy"});
  EXPECT_EQ(Paths(fs), std::set<std::wstring>{L"D:\\Copy"});
  EXPECT_TRUE(fs.calls.empty());
}

}  // namespace
}  // namespace orva::manager
