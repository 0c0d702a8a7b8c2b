#include "core/tree_removal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orva::manager {
namespace {

// A file system in memory, a tree of nodes. A link entry stands for a
// junction or symbolic link: listing it would give what it points at, as
// following it would.
class FakeFileSystem : public TreeFileSystem {
 public:
  struct Node {
    TreeEntry entry;
    bool added = false;     // false for a drive or folder that only holds what was added
    std::wstring pointsAt;  // links only
    std::map<std::wstring, std::unique_ptr<Node>, std::less<>> children;  // by name
  };
  Node top;
  std::set<std::wstring> stuck;  // removals that fail
  bool logCalls = true;          // trees thousands of levels deep only count them
  std::vector<std::wstring> calls;
  size_t lists = 0, linksListed = 0;
  // How far below `stackTop` the removal's calls have been, in bytes.
  uintptr_t stackTop = 0;
  size_t stackUsed = 0;

  void Folder(const std::wstring& path, bool readOnly = false) { Add(path, true, false, readOnly); }
  void File(const std::wstring& path, bool readOnly = false) { Add(path, false, false, readOnly); }
  void Link(const std::wstring& path, const std::wstring& target, bool folder) {
    Add(path, folder, true, false)->pointsAt = target;
  }

  bool Stat(const std::wstring& path, TreeEntry& entry) override {
    MarkStack();
    const Node* n = Find(path);
    if (!n || !n->added) return false;
    entry = n->entry;
    return true;
  }
  bool List(const std::wstring& folder, std::vector<TreeEntry>& entries) override {
    MarkStack();
    Log(L"list ", folder);
    ++lists;
    const Node* n = Find(folder);
    if (!n || !n->added) return false;
    if (n->entry.reparsePoint) {
      ++linksListed;
      n = Find(n->pointsAt);
    }
    if (n)
      for (const auto& [name, child] : n->children) entries.push_back(child->entry);
    return true;
  }
  bool RemoveFile(const std::wstring& path, const TreeEntry& entry) override { return Remove(path, entry, false); }
  bool RemoveFolder(const std::wstring& path, const TreeEntry& entry) override { return Remove(path, entry, true); }

  std::set<std::wstring> Paths() const {
    std::set<std::wstring> out;
    Collect(top, L"", out);
    return out;
  }

 private:
  static size_t LastSlash(const std::wstring& path) {
    const size_t at = path.rfind(L'\\');
    return at == std::wstring::npos ? 0 : at;
  }
  Node* Find(const std::wstring& path, bool make = false) {
    Node* n = &top;
    for (size_t at = 0; n && at <= path.size();) {
      size_t end = path.find(L'\\', at);
      if (end == std::wstring::npos) end = path.size();
      const std::wstring_view name = std::wstring_view(path).substr(at, end - at);
      auto it = n->children.find(name);
      if (it == n->children.end()) {
        if (!make) return nullptr;
        it = n->children.emplace(std::wstring(name), std::make_unique<Node>()).first;
        it->second->entry.name = name;
        it->second->entry.folder = true;
      }
      n = it->second.get();
      at = end + 1;
    }
    return n;
  }
  Node* Add(const std::wstring& path, bool folder, bool link, bool readOnly) {
    Node* n = Find(path, true);
    n->added = true;
    n->entry.folder = folder;
    n->entry.reparsePoint = link;
    n->entry.readOnly = readOnly;
    return n;
  }
  bool Remove(const std::wstring& path, const TreeEntry& entry, bool folder) {
    MarkStack();
    Log(folder ? L"rmdir " : L"del ", path);
    Node* parent = Find(path.substr(0, LastSlash(path)));
    if (!parent) return false;
    auto it = parent->children.find(path.substr(LastSlash(path) + 1));
    if (it == parent->children.end() || !it->second->added || stuck.count(path) || it->second->entry.folder != folder)
      return false;
    if (folder && !entry.reparsePoint && !it->second->children.empty()) return false;
    parent->children.erase(it);
    return true;
  }
  void Log(const wchar_t* what, const std::wstring& path) {
    if (logCalls) calls.push_back(what + path);
  }
  void MarkStack() {
    const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (stackTop > here) stackUsed = std::max<size_t>(stackUsed, stackTop - here);
  }
  static void Collect(const Node& n, const std::wstring& path, std::set<std::wstring>& out) {
    for (const auto& [name, child] : n.children) {
      const std::wstring p = path.empty() ? name : path + L"\\" + name;
      if (child->added) out.insert(p);
      Collect(*child, p, out);
    }
  }
};

std::set<std::wstring> Paths(const FakeFileSystem& fs) { return fs.Paths(); }

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

TEST(TreeRemoval, ATreeThousandsOfLevelsDeepGoesWholeOnAStackThatDoesNotGrow) {
  // A replication target mirrors its source, however deep that is.
  const int kLevels = 6000;
  FakeFileSystem fs;
  fs.logCalls = false;
  fs.Folder(L"C:\\Users");
  fs.File(L"C:\\Users\\doc.txt");
  fs.Folder(L"D:\\Copy");
  fs.File(L"D:\\Copy\\held.txt");
  fs.stuck.insert(L"D:\\Copy\\held.txt");
  std::wstring path = L"D:\\Copy";
  for (int level = 1; level <= kLevels; ++level) {
    path += L"\\d";
    fs.Folder(path, level % 1000 == 0);
    if (level % 1000 == 1) fs.File(path + L"\\e.txt", true);
  }
  fs.Link(path + L"\\junction", L"C:\\Users", true);
  fs.File(path + L"\\last.txt", true);
  fs.stackTop = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  EXPECT_EQ(RemoveTree(L"D:\\Copy", fs), (std::vector<std::wstring>{L"D:\\Copy\\held.txt", L"D:\\Copy"}));
  EXPECT_EQ(Paths(fs),
            (std::set<std::wstring>{L"C:\\Users", L"C:\\Users\\doc.txt", L"D:\\Copy", L"D:\\Copy\\held.txt"}));
  EXPECT_EQ(fs.lists, static_cast<size_t>(kLevels) + 1);  // each real folder once
  EXPECT_EQ(fs.linksListed, 0u);
  // The walk keeps its levels on the heap: its stack is the same at any depth.
  EXPECT_LT(fs.stackUsed, 64u * 1024) << "bytes of stack for " << kLevels << " levels";
}

}  // namespace
}  // namespace orva::manager
