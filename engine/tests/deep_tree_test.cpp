// Trees thousands of folders deep, as Windows allows them: a full image, its
// increments and differential, a differential update and their restores each
// end well. The source and the target are a chain of folders generated on
// the fly, so that the test holds no path per folder; only the walks do.
#include <gtest/gtest.h>

#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/compare_walk.h"
#include "core/image_header.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_guard.h"
#include "core/run_log.h"
#include "table_builder.h"
#include "test_util.h"
#include "walk_fixture.h"

using namespace orva;
using namespace orva::test;

#if defined(__SANITIZE_ADDRESS__)
// Every object of a deep tree has a path of thousands of characters, made
// and dropped again: a smaller quarantine of freed memory keeps the
// sanitizer's footprint near 300 MB.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32"; }
#endif

namespace {

const std::wstring kSource = L"S:\\src";
const std::wstring kOut = L"T:\\out";
constexpr int kDeep = 5000;

// The level of a path below root ("\d" per folder, by its length) and the
// name of its last component; -1 when the path cannot be one of the chain's.
int LevelOf(const std::wstring& root, const std::wstring& path, wchar_t& last) {
  if (path.size() < root.size() || (path.size() - root.size()) % 2 || path.compare(0, root.size(), root) != 0)
    return -1;
  last = path.size() > root.size() ? path.back() : 0;
  if (last && path[path.size() - 2] != L'\\') return -1;
  return static_cast<int>((path.size() - root.size()) / 2);
}

// Every folder of the chain holds the folder "d" (but the deepest), then the
// file "f", and "n" where one was added.
class ChainSource : public CompareSource {
 public:
  explicit ChainSource(int levels) : levels_(levels) {}
  std::map<int, uint64_t> changed;  // level -> new write time of its "f"
  std::set<int> added;              // levels holding an "n" too
  int throwListAt = -1;             // List throws a failed allocation there
  int throwArchiveAt = -1;          // ArchiveSingleEntry throws there

  std::string Content(int level, wchar_t name) const {
    std::string s = "level " + std::to_string(level) + (name == L'n' ? " new" : "");
    auto it = changed.find(level);
    return it == changed.end() || name == L'n' ? s : s + " changed " + std::to_string(it->second);
  }
  uint64_t Time(int level, wchar_t name) const {
    auto it = changed.find(level);
    return name == L'f' && it != changed.end() ? it->second : 10;
  }
  int Levels() const { return levels_; }

  int32_t List(const std::wstring& dir, std::vector<FindData>& objects) override {
    wchar_t last = 0;
    const int level = LevelOf(kSource, dir, last);
    if (level < 0 || level > levels_) return 3;
    if (level == throwListAt) throw std::bad_alloc();
    if (level < levels_) objects.push_back(Find(level, L'd'));
    objects.push_back(Find(level, L'f'));
    if (added.count(level)) objects.push_back(Find(level, L'n'));
    return 0;
  }
  bool Excluded(const std::wstring&, const std::wstring&) override { return false; }
  uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& path, const std::wstring&, FileStream& header,
                             FileStream& body) override {
    wchar_t name = 0;
    const int level = LevelOf(kSource, path, name) - 1;
    if (level == throwArchiveAt) throw std::runtime_error("archiver broke down");
    Write(depth, level, name, header, body);
    return kArchived;
  }
  // A new subtree: the chain below dir, folders first, as a walk writes it.
  void CaptureTree(int32_t depth, const std::wstring& dir, const std::wstring&, FileStream& header,
                   FileStream& body) override {
    wchar_t last = 0;
    const int top = LevelOf(kSource, dir, last);
    for (int level = top; level < levels_; ++level) Prefixed(depth + level - top, level, L'd', header, body);
    for (int level = levels_; level >= top; --level) {
      Prefixed(depth + level - top, level, L'f', header, body);
      if (added.count(level)) Prefixed(depth + level - top, level, L'n', header, body);
    }
  }
  bool Identify(const std::wstring&, FileIdentity&, FileTime&) override { return false; }
  void RegisterFirstName(const FileIdentity&, const std::wstring&) override {}

 private:
  FindData Find(int level, wchar_t name) const {
    FindData fd{};
    const uint64_t t = name == L'd' ? 1 : Time(level, name);
    fd.attributes = name == L'd' ? kAttrDirectory : 0x20;
    fd.lastWriteTime = {static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32)};
    if (name != L'd') fd.sizeLow = static_cast<uint32_t>(Content(level, name).size());
    fd.SetName(std::wstring(1, name));
    return fd;
  }
  void Write(int32_t depth, int level, wchar_t name, FileStream& header, FileStream& body) {
    TavEntryRecord r{};
    r.depth = depth;
    r.findData = Find(level, name);
    r.securityState = kSecurityNotRetrieved;
    if (name == L'd') {
      r.kind = kKindDirectory;
      WriteEntryRecord(header, r);
      ++Counters().dirsProcessed;
      return;
    }
    const std::string stored = Deflate(Content(level, name));
    body.Write(stored.data(), static_cast<uint32_t>(stored.size()));
    r.kind = kKindFile;
    WriteEntryRecord(header, r);
    WriteInt64(header, static_cast<int64_t>(stored.size()));
    ++Counters().filesProcessed;
  }
  void Prefixed(int32_t depth, int level, wchar_t name, FileStream& header, FileStream& body) {
    const uint8_t zero = 0;
    header.Write(&zero, 1);
    Write(depth, level, name, header, body);
  }
  const int levels_;
};

// A restore target that keeps what each level received, not its paths.
class ChainTarget : public RestoreFileSystem {
 public:
  explicit ChainTarget(int levels) : made(levels + 1), files(levels + 1), times(levels + 1) {}
  std::vector<bool> made;                             // folder of each level
  std::vector<std::map<wchar_t, std::string>> files;  // files of each level by name
  std::vector<std::map<wchar_t, uint64_t>> times;
  int strays = 0;  // paths that are not the chain's

  int32_t MakeDirectory(const std::wstring& path) override {
    wchar_t last = 0;
    const int level = LevelOf(kOut, path, last);
    if (level < 0 || level >= static_cast<int>(made.size()) || (level > 0 && last != L'd')) return ++strays, 5;
    if (made[level]) return 183;
    if (level > 0 && !made[level - 1]) return 3;
    made[level] = true;
    return 0;
  }
  int32_t MakeFile(const std::wstring& path) override {
    wchar_t last = 0;
    const int level = LevelOf(kOut, path, last) - 1;
    if (level < 0 || level >= static_cast<int>(made.size()) || last == L'd') return ++strays, 5;
    if (!made[level]) return 3;
    open_ = &files[level][last];
    open_->clear();
    return 0;
  }
  int32_t Write(const void* data, uint32_t size) override {
    open_->append(static_cast<const char*>(data), size);
    return 0;
  }
  int32_t CloseFile() override { return 0; }
  void RemoveFile(const std::wstring&) override { ++strays; }
  int32_t MakeHardLink(const std::wstring&, const std::wstring&) override { return ++strays, 2; }
  int32_t SetTimes(const std::wstring& path, bool directory, const FindData& fd, bool& handleError) override {
    handleError = false;
    wchar_t last = 0;
    const int level = LevelOf(kOut, path, last) - 1;
    if (!directory && level >= 0 && level < static_cast<int>(times.size()))
      times[level][last] = (static_cast<uint64_t>(fd.lastWriteTime.high) << 32) | fd.lastWriteTime.low;
    return 0;
  }
  int32_t SetShortName(const std::wstring&, bool, const FindData&) override { return 0; }
  int32_t SetAttributes(const std::wstring&, uint32_t) override { return 0; }
  void ApplyEntrySecurity(const std::wstring&, const SecurityBlock&) override {}
  bool ApplySecurityDescriptor(const std::wstring&, const SecurityBlock&) override { return true; }

 private:
  std::string* open_ = nullptr;
};

using Image = WalkImage;

std::wstring Verdict() { return VerdictLine(Counters()); }

// a: the whole source into full; its verdict.
std::wstring Capture(ChainSource& src, Image& full) {
  ResetRun();
  src.CaptureTree(0, kSource, L"", full.header, full.body);
  full.Finish();
  return Verdict();
}

UpdateChain ChainOf(const std::vector<Image*>& images) {
  UpdateChain c;
  for (Image* i : images) {
    c.members.versions.push_back(4000);
    c.members.headers.push_back(&i->header);
    c.members.bodies.push_back(&i->body);
    c.bodyEnds.push_back(i->body.GetLength());
    c.tableEnds.push_back(i->tableEnd);
  }
  return c;
}

// i, d (references) and w (copies): the source against the last of images.
std::wstring Update(ChainSource& src, const std::vector<Image*>& images, Image& next, UpdateMode mode) {
  ResetRun();
  UpdateChain chain = ChainOf(images);
  TableIndex index;
  std::wstring damage;
  EXPECT_TRUE(IndexChainTable(chain, index, damage)) << damage;
  CaptureOutput out;
  const WalkOutcome o = WalkForUpdate(mode, kSource, chain, index, src, next.header, next.body);
  next.Finish();
  EXPECT_FALSE(o.damaged) << o.damage;
  return Verdict();
}

// x: the image with the images it refers to; its verdict, and the tree
// checked against the source.
std::wstring Extract(const ChainSource& src, Image& image, const std::vector<Image*>& chainImages) {
  ResetRun();
  ChainStreams chain;
  for (Image* i : chainImages) {
    chain.versions.push_back(4000);
    chain.headers.push_back(&i->header);
    chain.bodies.push_back(&i->body);
  }
  ChainTarget target(src.Levels());
  image.header.SeekToBegin();
  image.body.SeekAbsolute(kPrologueSize);
  CaptureOutput out;
  const RestoreResult r = RestoreImageV4(chain, image.header, image.body, image.tableEnd, kOut, target, 0);
  EXPECT_FALSE(r.damaged) << r.damage;
  EXPECT_EQ(target.strays, 0);
  int wrong = 0;
  for (int level = 0; level <= src.Levels(); ++level) {
    std::map<wchar_t, std::string> want{{L'f', src.Content(level, L'f')}};
    if (src.added.count(level)) want[L'n'] = src.Content(level, L'n');
    wrong += !target.made[level] || target.files[level] != want || target.times[level][L'f'] != src.Time(level, L'f');
  }
  EXPECT_EQ(wrong, 0);
  return Verdict();
}

const std::wstring kOk = L"\nEverything is Ok.\n";

}  // namespace

TEST(DeepTree, EveryRunOfAChainThousandsOfFoldersDeepEndsWell) {
  ChainSource src(kDeep);
  Image full, inc1, inc2, diff, update;
  EXPECT_EQ(Capture(src, full), kOk);
  EXPECT_EQ(Counters().dirsProcessed, kDeep);

  src.changed = {{kDeep, 20}, {kDeep / 2, 21}};
  src.added = {kDeep};
  EXPECT_EQ(Update(src, {&full}, inc1, UpdateMode::kReference), kOk);  // i
  EXPECT_EQ(Counters().dirsProcessed, kDeep);
  src.changed[3] = 22;
  src.added.insert(1);
  EXPECT_EQ(Update(src, {&full, &inc1}, inc2, UpdateMode::kReference), kOk);  // i again
  EXPECT_EQ(Update(src, {&full}, diff, UpdateMode::kReference), kOk);         // d
  EXPECT_EQ(Update(src, {&full}, update, UpdateMode::kCopy), kOk);            // w

  EXPECT_EQ(Extract(src, inc2, {&full, &inc1}), kOk);
  EXPECT_EQ(Counters().dirsProcessed, kDeep + 1);  // with the target folder
  EXPECT_EQ(Extract(src, diff, {&full}), kOk);
  EXPECT_EQ(Extract(src, update, {}), kOk);
}

// What a run cannot handle, met deep in the walk: a failed allocation or an
// exception out of the file system. The run ends with the fatal verdict and
// without its work files; the images it read are as they were.
TEST(DeepTree, ExceptionInTheWalkEndsTheRunFatallyWithoutWorkFiles) {
  struct Case {
    const char* what;
    int listAt, archiveAt;
    const wchar_t* said;
  } cases[] = {
      {"failed allocation", 300, -1, L"(out of memory)"},
      {"exception of the archiver", -1, 400, L"(archiver broke down)"},
  };
  for (const Case& c : cases) {
    ChainSource src(500);
    Image full, inc;
    Capture(src, full);
    const std::vector<uint8_t> before = full.bodyFile.Bytes();
    src.changed = {{400, 30}};
    src.throwListAt = c.listAt;
    src.throwArchiveAt = c.archiveAt;
    TempFile work("deep_work"), copy("deep_copy");
    work.Write({1, 2, 3});
    copy.Write({4});
    ClearWorkFiles();
    AddWorkFile(work.Path());
    AddWorkFile(copy.Path());
    ResetRun();
    UpdateChain chain = ChainOf({&full});
    TableIndex index;
    std::wstring damage;
    ASSERT_TRUE(IndexChainTable(chain, index, damage)) << damage;
    CaptureOutput out;
    const bool report = GuardRun([&] {
      WalkForUpdate(UpdateMode::kReference, kSource, chain, index, src, inc.header, inc.body);
      return true;
    });
    EXPECT_TRUE(report) << c.what;
    EXPECT_EQ(Counters().fatalErrors, 1) << c.what;
    PrintReport(NowLocal());
    EXPECT_NE(out.console.find(std::wstring(L"  SYSTEM Error : The imaging process cannot go on ") + c.said),
              std::wstring::npos)
        << c.what;
    EXPECT_NE(out.console.find(L"\nThere were fatal SYSTEM errors in the imaging process.\n"), std::wstring::npos)
        << c.what;
    EXPECT_TRUE(work.Bytes().empty() && copy.Bytes().empty()) << c.what;
    FileStream probe;
    EXPECT_FALSE(probe.Open(work.Path(), L"rb")) << c.what;
    EXPECT_EQ(full.bodyFile.Bytes(), before) << c.what;
  }
  // A cancel is no failure: it passes on, and the work files stay.
  TempFile work("deep_cancel");
  work.Write({1});
  ClearWorkFiles();
  AddWorkFile(work.Path());
  EXPECT_THROW(GuardRun([]() -> bool { throw RunCancelled(); }), RunCancelled);
  EXPECT_EQ(work.Bytes().size(), 1u);
  ClearWorkFiles();
}
