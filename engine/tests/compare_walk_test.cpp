#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "core/compare_walk.h"
#include "core/image_header.h"
#include "core/progress.h"
#include "core/restore_queues.h"
#include "core/restore_walk.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "memory_fs.h"
#include "table_builder.h"
#include "test_util.h"
#include "walk_fixture.h"

using namespace orva;
using namespace orva::test;

namespace {

const std::wstring kRoot = L"S:\\src";
const std::wstring kTarget = L"T:\\out";

struct Node {
  bool dir = false;
  std::string content;
  uint64_t time = 1;
  uint32_t inode = 0;  // names with the same inode are one file
  uint32_t attributes = 0;
  uint32_t tag = 0;
  uint8_t failure = 0;      // the archiver's result: nothing is written
  uint64_t listedTime = 0;  // what the folder's entry shows, when it lags behind
};

// A source tree in memory that archives as the engine does: entry, data,
// and hard links to the first captured name of a file.
class MemorySource : public CompareSource {
 public:
  std::map<std::wstring, Node> nodes;  // relative path ("\a\b") -> node
  std::map<uint32_t, std::wstring> firstNames;
  int captures = 0, identifies = 0;

  void Dir(const std::wstring& rel) { nodes[rel].dir = true; }
  void File(const std::wstring& rel, const std::string& content, uint64_t time, uint32_t inode = 0) {
    Node n;
    n.content = content;
    n.time = time;
    n.inode = inode ? inode : next_++;
    nodes[rel] = n;
  }
  void Link(const std::wstring& rel, const std::wstring& existing) { nodes[rel] = nodes.at(existing); }
  int Links(uint32_t inode) const {
    int n = 0;
    for (auto& [rel, node] : nodes) n += !node.dir && node.inode == inode;
    return n;
  }

  static std::wstring Rel(const std::wstring& path) { return path.substr(kRoot.size()); }
  FindData Find(const std::wstring& rel) const {
    const Node& n = nodes.at(rel);
    FindData fd{};
    fd.attributes = n.dir ? kAttrDirectory : (n.attributes ? n.attributes : 0x20);
    fd.reserved0 = n.tag;
    const uint64_t shown = n.listedTime ? n.listedTime : n.time;
    fd.lastWriteTime = {static_cast<uint32_t>(shown), static_cast<uint32_t>(shown >> 32)};
    fd.sizeLow = static_cast<uint32_t>(n.content.size());
    fd.SetName(rel.substr(rel.rfind(L'\\') + 1));
    return fd;
  }

  int32_t List(const std::wstring& dir, std::vector<FindData>& objects) override {
    const std::wstring rel = Rel(dir);
    if (!rel.empty() && (!nodes.count(rel) || !nodes.at(rel).dir)) return 3;
    for (auto& [path, node] : nodes)
      if (path.size() > rel.size() + 1 && path.compare(0, rel.size() + 1, rel + L"\\") == 0 &&
          path.find(L'\\', rel.size() + 1) == std::wstring::npos)
        objects.push_back(Find(path));
    return 0;
  }
  bool Excluded(const std::wstring& key, const std::wstring&) override { return key == L"excluded"; }
  uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& path, const std::wstring& rel, FileStream& header,
                             FileStream& body) override {
    ++captures;
    const Node& n = nodes.at(Rel(path));
    if (n.failure) return n.failure;
    TavEntryRecord r{};
    r.depth = depth;
    r.findData = Find(Rel(path));
    r.securityState = kSecurityNotRetrieved;
    if (n.dir) {
      r.kind = kKindDirectory;
      WriteEntryRecord(header, r);
      return 0;
    }
    if (Links(n.inode) > 1 && firstNames.count(n.inode)) {
      r.kind = kKindHardLink;
      WriteEntryRecord(header, r);
      WriteTavString(header, firstNames[n.inode]);
      return 0;
    }
    const std::string stored = Deflate(n.content);
    body.Write(stored.data(), static_cast<uint32_t>(stored.size()));
    r.kind = kKindFile;
    WriteEntryRecord(header, r);
    WriteInt64(header, static_cast<int64_t>(stored.size()));
    if (Links(n.inode) > 1) firstNames.emplace(n.inode, rel);
    return 0;
  }
  void CaptureTree(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                   FileStream& body) override {
    std::vector<FindData> objects;
    List(dir, objects);
    for (const FindData& fd : objects) {
      const std::wstring path = dir + L"\\" + fd.Name();
      if (Excluded(rel.empty() ? fd.Name() : rel + L"\\" + fd.Name(), path)) continue;
      const uint8_t zero = 0;
      header.Write(&zero, 1);
      if (ArchiveSingleEntry(depth, path, rel + L"\\" + fd.Name(), header, body) != 0) {
        header.Seek(-1, 1);
        continue;
      }
      if (fd.attributes & kAttrDirectory) CaptureTree(depth + 1, path, rel + L"\\" + fd.Name(), header, body);
    }
  }
  bool Identify(const std::wstring& path, FileIdentity& id, FileTime& lastWrite) override {
    ++identifies;
    auto it = nodes.find(Rel(path));
    if (it == nodes.end()) return false;
    id = {7, 0, it->second.inode};
    lastWrite = {static_cast<uint32_t>(it->second.time), static_cast<uint32_t>(it->second.time >> 32)};
    return true;
  }
  void RegisterFirstName(const FileIdentity& id, const std::wstring& rel) override { firstNames.emplace(id.low, rel); }

 private:
  uint32_t next_ = 1000;
};

using Image = WalkImage;

void CaptureFull(MemorySource& src, Image& full) {
  ResetRun();
  src.firstNames.clear();
  src.CaptureTree(0, kRoot, L"", full.header, full.body);
  full.Finish();
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

// Compares the source with the last image of images, writing into next.
WalkOutcome Update(MemorySource& src, const std::vector<Image*>& images, Image& next, UpdateMode mode,
                   std::wstring* console = nullptr) {
  ResetRun();
  src.firstNames.clear();
  UpdateChain chain = ChainOf(images);
  TableIndex index;
  std::wstring damage;
  EXPECT_TRUE(IndexChainTable(chain, index, damage)) << damage;
  CaptureOutput out;
  WalkOutcome o = WalkForUpdate(mode, kRoot, chain, index, src, next.header, next.body);
  next.Finish();
  if (console) *console = out.console;
  return o;
}

// Restores the image (with its chain) into memory.
MemoryFileSystem Restore(Image& image, const std::vector<Image*>& chainImages) {
  ResetRun();
  ChainStreams chain;
  for (Image* i : chainImages) {
    chain.versions.push_back(4000);
    chain.headers.push_back(&i->header);
    chain.bodies.push_back(&i->body);
  }
  MemoryFileSystem fs;
  image.header.SeekToBegin();
  image.body.SeekAbsolute(kPrologueSize);
  CaptureOutput out;
  RestoreResult r = RestoreImageV4(chain, image.header, image.body, image.tableEnd, kTarget, fs);
  EXPECT_FALSE(r.damaged) << r.damage;
  return fs;
}

void ExpectSame(const MemorySource& src, MemoryFileSystem& fs,
                const std::vector<std::vector<std::wstring>>& linked = {}) {
  std::map<std::wstring, std::string> want;
  size_t dirs = 0;
  for (auto& [rel, n] : src.nodes) {
    if (rel == L"\\excluded") continue;
    if (n.dir) {
      ++dirs;
      EXPECT_TRUE(fs.directories.count(kTarget + rel)) << rel;
    } else {
      want[kTarget + rel] = n.content;
      if (!fs.hardLinks.count(kTarget + rel)) {
        EXPECT_EQ(fs.writeTimes[kTarget + rel], n.time) << rel;
      }
    }
  }
  EXPECT_EQ(fs.files, want);
  EXPECT_EQ(fs.directories.size(), dirs + 1);
  // The names of one file: one holds the data, the others link to it.
  for (const auto& group : linked) {
    std::vector<std::wstring> holders;
    for (const auto& rel : group)
      if (!fs.hardLinks.count(kTarget + rel)) holders.push_back(kTarget + rel);
    ASSERT_EQ(holders.size(), 1u) << group[0];
    for (const auto& rel : group)
      if (kTarget + rel != holders[0]) {
        EXPECT_EQ(fs.hardLinks[kTarget + rel], holders[0]) << rel;
      }
  }
}

MemorySource SampleSource() {
  MemorySource s;
  s.File(L"\\keep.txt", "keep", 10);
  s.File(L"\\touch.txt", "before", 11);
  s.File(L"\\gone.txt", "gone", 12);
  s.File(L"\\Case.txt", "case", 13);
  s.File(L"\\to dir", "file first", 14);
  s.Dir(L"\\Old");
  s.File(L"\\Old\\inner.txt", "inner", 15);
  s.Dir(L"\\Old\\Sub");
  s.File(L"\\Old\\Sub\\deep.txt", "deep", 16);
  s.Dir(L"\\Data");
  s.File(L"\\Data\\a first.txt", "shared", 17, 42);
  s.Link(L"\\Data\\b second.txt", L"\\Data\\a first.txt");
  s.Dir(L"\\Data\\Deep");
  s.Dir(L"\\Data\\Deep\\Er");
  s.File(L"\\Data\\Deep\\Er\\c.txt", std::string(100000, 'c'), 18);
  s.File(L"\\excluded", "never", 19);
  return s;
}

void ChangeEverything(MemorySource& s) {
  s.nodes[L"\\touch.txt"].content = "after";
  s.nodes[L"\\touch.txt"].time = 111;
  s.nodes.erase(L"\\gone.txt");
  s.nodes[L"\\case.txt"] = s.nodes[L"\\Case.txt"];
  s.nodes.erase(L"\\Case.txt");
  s.nodes.erase(L"\\to dir");
  s.Dir(L"\\to dir");
  s.File(L"\\to dir\\now.txt", "inside", 112);
  for (auto it = s.nodes.begin(); it != s.nodes.end();)
    it = it->first.rfind(L"\\Old", 0) == 0 ? s.nodes.erase(it) : std::next(it);
  s.Dir(L"\\New");
  s.Dir(L"\\New\\Sub");
  s.File(L"\\New\\Sub\\n.txt", "new", 113);
  s.nodes.erase(L"\\Data\\a first.txt");  // the first name of the pair goes
  s.Link(L"\\Data\\Deep\\Er\\third.txt", L"\\Data\\b second.txt");
  s.nodes[L"\\Data\\Deep\\Er\\c.txt"].content = "changed deep down";
  s.nodes[L"\\Data\\Deep\\Er\\c.txt"].time = 114;
}

}  // namespace

TEST(CompareWalk, IncrementOfEveryKindOfChangeRestoresTheNewTree) {
  for (UpdateMode mode : {UpdateMode::kReference, UpdateMode::kCopy}) {
    MemorySource src = SampleSource();
    Image full, next;
    CaptureFull(src, full);
    ChangeEverything(src);
    std::wstring console;
    WalkOutcome o = Update(src, {&full}, next, mode, &console);
    EXPECT_FALSE(o.damaged);
    EXPECT_NE(console.find(L"Upd. file : touch.txt\n"), std::wstring::npos);
    EXPECT_NE(console.find(L"New  Obj. : case.txt\n"), std::wstring::npos);
    EXPECT_NE(console.find(L"Upd. file : to dir\n"), std::wstring::npos);  // a file turned folder
    EXPECT_EQ(console.find(L"keep.txt"), std::wstring::npos);
    MemoryFileSystem fs = mode == UpdateMode::kReference ? Restore(next, {&full}) : Restore(next, {});
    ExpectSame(src, fs, {{L"\\Data\\b second.txt", L"\\Data\\Deep\\Er\\third.txt"}});
  }
}

TEST(CompareWalk, UnchangedTreeIsReferencesAlone) {
  MemorySource src = SampleSource();
  Image full, inc1, inc2;
  CaptureFull(src, full);
  src.captures = 0;
  Update(src, {&full}, inc1, UpdateMode::kReference);
  EXPECT_EQ(src.captures, 0);
  EXPECT_EQ(inc1.body.GetLength(), kPrologueSize);
  EXPECT_EQ(inc1.tableEnd % 37, 0);
  EXPECT_EQ(Counters().filesProcessed, 9);
  EXPECT_EQ(Counters().hardLinksProcessed, 1);
  // A second increment copies the references: they still name the full image.
  Update(src, {&full, &inc1}, inc2, UpdateMode::kReference);
  EXPECT_EQ(src.captures, 0);
  EXPECT_EQ(inc2.tableEnd, inc1.tableEnd);
  inc2.header.SeekToBegin();
  CTavArchiveObject o;
  InitArchiveObject(o);
  ASSERT_TRUE(ReadEntryPrefix(o, inc2.header));
  EXPECT_EQ(o.refImageIndex, 0);
  ExpectSame(src, *std::make_unique<MemoryFileSystem>(Restore(inc2, {&full, &inc1})));
}

// Each old entry is read once, however deep the tree: a folder's contents
// are passed over, not read, while its parent's entries are gathered.
TEST(CompareWalk, DeepTreeReadsEveryOldEntryOnce) {
  MemorySource src;
  std::wstring rel;
  for (int level = 0; level < 60; ++level) {
    rel += L"\\d";
    src.Dir(rel);
    for (int i = 0; i < 5; ++i) src.File(rel + L"\\f" + std::to_wstring(i), "x", 5);
  }
  Image full, inc;
  CaptureFull(src, full);
  WalkOutcome o = Update(src, {&full}, inc, UpdateMode::kReference);
  // 360 entries; a folder's last child is followed by the entry that ends
  // its level (read once more by each folder that is still open then).
  EXPECT_LE(o.entriesRead, 360 + 60);
  EXPECT_EQ(inc.tableEnd, 360 * 37);
  ExpectSame(src, *std::make_unique<MemoryFileSystem>(Restore(inc, {&full})));
}

TEST(CompareWalk, ChainOfIncrementsKeepsHardLinksWhole) {
  MemorySource src = SampleSource();
  Image full, inc1, inc2;
  CaptureFull(src, full);
  ChangeEverything(src);
  Update(src, {&full}, inc1, UpdateMode::kReference);
  // A new name for the pair: it links to the first name carried over.
  src.Link(L"\\Data\\Deep\\fourth.txt", L"\\Data\\b second.txt");
  src.identifies = 0;
  Update(src, {&full, &inc1}, inc2, UpdateMode::kReference);
  EXPECT_EQ(src.identifies, 2);  // the first name and the carried link, no other file
  MemoryFileSystem fs = Restore(inc2, {&full, &inc1});
  ExpectSame(src, fs, {{L"\\Data\\b second.txt", L"\\Data\\Deep\\Er\\third.txt", L"\\Data\\Deep\\fourth.txt"}});
}

// A file of several names changed through one of them: the folder entries
// of the others may still show the old time. The file itself decides.
TEST(CompareWalk, LaggingFolderEntryOfALinkedFile) {
  MemorySource src = SampleSource();
  Image full, inc;
  CaptureFull(src, full);
  for (const wchar_t* name : {L"\\Data\\a first.txt", L"\\Data\\b second.txt"}) {
    src.nodes[name].content = "shared, changed";
    src.nodes[name].time = 500;
  }
  src.nodes[L"\\Data\\a first.txt"].listedTime = 17;  // its entry lags
  Update(src, {&full}, inc, UpdateMode::kReference);
  MemoryFileSystem fs = Restore(inc, {&full});
  EXPECT_EQ(fs.files[kTarget + L"\\Data\\a first.txt"], "shared, changed");
  EXPECT_EQ(fs.files[kTarget + L"\\Data\\b second.txt"], "shared, changed");
}

TEST(CompareWalk, ReparseFileAndFailedCaptureKeepTheTableInStep) {
  MemorySource src = SampleSource();
  src.nodes[L"\\keep.txt"].attributes = 0x20 | kAttrReparsePoint;  // read through, stored as a file
  src.nodes[L"\\keep.txt"].tag = 0x80000013;
  Image full, next;
  CaptureFull(src, full);
  src.nodes[L"\\touch.txt"].time = 99;
  src.nodes[L"\\touch.txt"].failure = kArchiveOpenFailed;
  src.File(L"\\locked.txt", "x", 5);
  src.nodes[L"\\locked.txt"].failure = kArchiveReadFailed;
  src.captures = 0;
  std::wstring console;
  Update(src, {&full}, next, UpdateMode::kReference, &console);
  EXPECT_EQ(src.captures, 2);  // the reparse file is carried over
  // The archiver's result is the reason shown.
  EXPECT_NE(console.find(L"Upd. file : touch.txt\nCncl Obj. : (03/10) touch.txt\n"), std::wstring::npos) << console;
  EXPECT_NE(console.find(L"New  Obj. : locked.txt\nCncl Obj. : (05/10) locked.txt\n"), std::wstring::npos);
  MemoryFileSystem fs = Restore(next, {&full});
  EXPECT_FALSE(fs.files.count(kTarget + L"\\touch.txt"));
  EXPECT_EQ(fs.files[kTarget + L"\\keep.txt"], "keep");
  EXPECT_EQ(fs.files[kTarget + L"\\Data\\Deep\\Er\\c.txt"], std::string(100000, 'c'));
}

TEST(CompareWalk, FailedRangeCopyIsCapturedFromTheSource) {
  MemorySource src = SampleSource();
  Image full, next;
  CaptureFull(src, full);
  // The body ends before the data of the last files: their copies fail.
  UpdateChain chain = ChainOf({&full});
  TableIndex index;
  std::wstring damage;
  ASSERT_TRUE(IndexChainTable(chain, index, damage));
  const int64_t cut = full.body.GetLength() - 50;
  std::vector<char> bytes(static_cast<size_t>(cut));
  full.body.SeekToBegin();
  full.body.Read(bytes.data(), static_cast<uint32_t>(cut));
  TempFile shortFile("cw_short");
  FileStream shortBody;
  shortBody.Open(shortFile.Path(), L"w+b");
  shortBody.Write(bytes.data(), static_cast<uint32_t>(cut));
  chain.members.bodies[0] = &shortBody;
  ResetRun();
  src.captures = 0;
  CaptureOutput out;
  WalkForUpdate(UpdateMode::kCopy, kRoot, chain, index, src, next.header, next.body);
  next.Finish();
  EXPECT_GE(src.captures, 1);
  EXPECT_NE(out.console.find(L"File replication error"), std::wstring::npos);
  MemoryFileSystem fs = Restore(next, {});
  ExpectSame(src, fs);
  shortBody.Close();
}

TEST(CompareWalk, DamagedTablesAreRefusedWhole) {
  struct Case {
    const char* what;
    std::function<void(TableBuilder&, FileStream&)> build;
  } cases[] = {
      {"depth jump",
       [](TableBuilder& t, FileStream&) {
         t.File(0, L"a", "a");
         t.File(1, L"b", "b");
       }},
      {"reference into itself",
       [](TableBuilder& t, FileStream& h) {
         t.Directory(0, L"d");
         CTavArchiveObject o;
         InitArchiveObject(o);
         o.refFlag = 1;
         o.refImageIndex = 0;
         o.refEntryOffset = 0;
         o.refEntryLength = 601;
         o.refDataOffset = 20;
         o.refDataLength = 0;
         WriteEntryPrefix(o, h);
       }},
      {"data beyond the body", [](TableBuilder& t, FileStream&) { t.FileStored(0, L"a", "", 1); }},
      {"unknown kind",
       [](TableBuilder& t, FileStream& h) {
         t.Directory(0, L"d");
         TavEntryRecord r{};
         r.kind = 99;
         r.securityState = 2;
         const uint8_t zero = 0;
         h.Write(&zero, 1);
         WriteEntryRecord(h, r);
       }},
      {"entry cut short",
       [](TableBuilder& t, FileStream& h) {
         t.Directory(0, L"d");
         h.Write("\0\1\2", 3);
       }},
  };
  for (const Case& c : cases) {
    Image img;
    TableBuilder t(img.header, img.body);
    c.build(t, img.header);
    img.Finish();
    UpdateChain chain = ChainOf({&img});
    if (std::string(c.what) == "data beyond the body") {
      // A stored length past the end of the body.
      img.header.SeekAbsolute(img.tableEnd - 8);
      WriteInt64(img.header, 1 << 20);
      img.header.Flush();
    }
    TableIndex index;
    std::wstring damage;
    EXPECT_FALSE(IndexChainTable(chain, index, damage)) << c.what;
    EXPECT_NE(damage.find(L"the entry at offset"), std::wstring::npos) << c.what;
  }
}

TEST(CompareWalk, CopyByteRange) {
  TempFile a("cbr_a"), b("cbr_b");
  FileStream from, to;
  from.Open(a.Path(), L"w+b");
  to.Open(b.Path(), L"w+b");
  std::string data(2500000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  from.Write(data.data(), static_cast<uint32_t>(data.size()));
  EXPECT_TRUE(CopyByteRange(from, to, 5, 0));
  EXPECT_EQ(to.GetLength(), 0);
  EXPECT_TRUE(CopyByteRange(from, to, 0, 2500000));
  EXPECT_TRUE(CopyByteRange(from, to, 100, 10));
  CaptureOutput out;
  EXPECT_FALSE(CopyByteRange(from, to, 2499990, 20));  // the source ends first
  EXPECT_NE(out.console.find(L"File replication error"), std::wstring::npos);
  to.Flush();
  std::string got(static_cast<size_t>(to.GetLength()), '\0');
  to.SeekToBegin();
  to.Read(got.data(), static_cast<uint32_t>(got.size()));
  EXPECT_EQ(got.substr(0, 2500000), data);
  EXPECT_EQ(got.substr(2500000, 10), data.substr(100, 10));
  EXPECT_TRUE(EqualFileTimes(1, 2, 1, 2));
  EXPECT_FALSE(EqualFileTimes(1, 2, 1, 3));
  EXPECT_FALSE(EqualFileTimes(0, 2, 1, 2));
  from.Close();
  to.Close();
}

namespace {

// Where the entry of name lies in an image's table: its first byte and its
// length there, the reference's own bytes for an entry referred to.
struct Located {
  int64_t offset = -1, length = 0;
};
Located Locate(Image& image, const ChainStreams& chain, const std::wstring& name) {
  image.header.SeekToBegin();
  image.body.SeekAbsolute(kPrologueSize);
  TavEntry e;
  int32_t error = 0;
  while (image.header.GetPosition() < image.tableEnd &&
         ReadTavEntry(chain, 4000, image.header, image.body, false, e, error)) {
    if (!e.where.refFlag) image.body.SeekAbsolute(e.dataOffset + e.dataLength);
    if (e.record.findData.Name() == name) return {e.where.ownEntryOffset, e.where.ownEntryLength};
  }
  return {};
}

void XorByte(FileStream& s, int64_t at, uint8_t mask) {
  uint8_t b = 0;
  s.SeekAbsolute(at);
  s.Read(&b, 1);
  b ^= mask;
  s.SeekAbsolute(at);
  s.Write(&b, 1);
  s.Flush();
}

void AddToInt64(FileStream& s, int64_t at, int64_t delta) {
  int64_t v = 0;
  s.SeekAbsolute(at);
  ReadInt64(s, v);
  s.SeekAbsolute(at);
  WriteInt64(s, v + delta);
  s.Flush();
}

}  // namespace

// A chain a, i, i whose last image reaches most entries of the full image
// only through references. A reference leads only to the entry it records:
// an entry that does not read back with the reference's entry length and
// data length is that entry's damage, reported with the image that holds
// it and skipped, and the rest of the tree restores. A run on top of the
// chain refuses it.
TEST(CompareWalk, AReferenceLeadsOnlyToTheEntryItRecords) {
  const std::wstring sddl = L"O:BAG:SYD:";  // the fixture's security text
  struct Case {
    const char* what;
    const wchar_t* damaged;  // the entry that does not read back, if any
    std::function<void(Image& full, Image& last, const Located& inFull, const Located& reference)> damage;
  };
  // A file entry ends with its SDDL text and its stored length, a folder's
  // with the text.
  auto sddlCount = [&](const Located& at, bool file) {
    return at.offset + at.length - (file ? 8 : 0) - 2 * static_cast<int64_t>(sddl.size()) - 4;
  };
  const int64_t kEntryLength = 1 + 4 + 8, kDataLength = 1 + 4 + 8 + 8 + 8;
  const Case cases[] = {
      {"sound", nullptr, nullptr},
      {"SDDL count of a file entry", L"f05",
       [&](Image& full, Image&, const Located& in, const Located&) {
         XorByte(full.header, sddlCount(in, true), 0xFF);
       }},
      {"SDDL count of a folder entry", L"sub",
       [&](Image& full, Image&, const Located& in, const Located&) {
         XorByte(full.header, sddlCount(in, false), 0xFF);
       }},
      {"recorded entry length one more", L"f05",
       [&](Image&, Image& last, const Located&, const Located& r) {
         AddToInt64(last.header, r.offset + kEntryLength, 1);
       }},
      {"recorded entry length one less", L"f05",
       [&](Image&, Image& last, const Located&, const Located& r) {
         AddToInt64(last.header, r.offset + kEntryLength, -1);
       }},
      {"recorded data length one more", L"f05",
       [&](Image&, Image& last, const Located&, const Located& r) {
         AddToInt64(last.header, r.offset + kDataLength, 1);
       }},
      {"recorded data length one less", L"f05",
       [&](Image&, Image& last, const Located&, const Located& r) {
         AddToInt64(last.header, r.offset + kDataLength, -1);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Thirty files and a folder, with security, written by the fixture
    // writer; the same tree in the source.
    MemorySource src;
    Image full, inc1, inc2;
    {
      TableBuilder t(full.header, full.body);
      t.WithSecurity(true);
      for (int i = 0; i < 30; ++i) {
        const std::wstring name = Fmt(L"f%02d", i);
        const std::string content = "file " + std::to_string(i) + std::string(i * 100, 'x');
        t.File(0, name, content, 100 + i);
        src.File(L"\\" + name, content, 100 + i);
        if (i == 10) {
          t.Directory(0, L"sub", 5);
          t.File(1, L"inner", "inner", 6);
          src.Dir(L"\\sub");
          src.File(L"\\sub\\inner", "inner", 6);
        }
      }
      full.Finish();
    }
    src.nodes[L"\\f01"].content = "changed once";
    src.nodes[L"\\f01"].time = 201;
    Update(src, {&full}, inc1, UpdateMode::kReference);
    src.nodes[L"\\f02"].content = "changed twice";
    src.nodes[L"\\f02"].time = 202;
    Update(src, {&full, &inc1}, inc2, UpdateMode::kReference);

    ChainStreams chain;
    for (Image* i : {&full, &inc1}) {
      chain.versions.push_back(4000);
      chain.headers.push_back(&i->header);
      chain.bodies.push_back(&i->body);
    }
    chain.paths = {L"D:\\img\\Job.TAV", L"D:\\img\\Job_0001.TAV"};
    if (c.damage) {
      const Located in = Locate(full, ChainStreams{}, c.damaged);
      const Located reference = Locate(inc2, chain, c.damaged);
      ASSERT_GE(in.offset, 0);
      ASSERT_EQ(reference.length, 37);  // reached only through a reference
      c.damage(full, inc2, in, reference);
    }

    // x Job_0002.TAV
    ResetRun();
    MemoryFileSystem fs;
    inc2.header.SeekToBegin();
    inc2.body.SeekAbsolute(kPrologueSize);
    CaptureOutput out;
    const RestoreResult r = RestoreImageV4(chain, inc2.header, inc2.body, inc2.tableEnd, kTarget, fs);
    const std::wstring verdict = VerdictLine(Counters());
    EXPECT_FALSE(r.damaged) << r.damage;
    std::map<std::wstring, std::string> want;
    for (auto& [rel, n] : src.nodes)
      if (!n.dir) want[kTarget + rel] = n.content;
    if (!c.damaged) {
      EXPECT_EQ(verdict, L"\nEverything is Ok.\n");
      EXPECT_EQ(fs.files, want);
    } else {
      const std::wstring path = kTarget + L"\\" + c.damaged;
      EXPECT_NE(out.console.find(L"  The entry of " + path +
                                 L" in the image D:\\img\\Job.TAV is not the one its reference records: skipped.\n"),
                std::wstring::npos)
          << std::string(out.console.begin(), out.console.end());
      EXPECT_NE(out.log.find(path), std::wstring::npos);
      EXPECT_EQ(verdict, L"\nThe imaging process is finished however there were some errors.\n");
      const bool folder = std::wstring(c.damaged) == L"sub";
      EXPECT_EQ(Counters().dirsSkipped, folder ? 1 : 0);
      EXPECT_EQ(Counters().filesSkipped, folder ? 0 : 1);
      // Only the damaged entry is lost (a folder with its contents).
      want.erase(path);
      if (folder) want.erase(path + L"\\inner");
      EXPECT_EQ(fs.files, want);
    }

    // i on top of the chain refuses it; x Job.TAV reads the damage inline.
    UpdateChain onTop = ChainOf({&full, &inc1, &inc2});
    TableIndex index;
    std::wstring damage;
    EXPECT_EQ(IndexChainTable(onTop, index, damage), c.damaged == nullptr);
    if (c.damaged) {
      EXPECT_NE(damage.find(L"refers to an entry that is not the one it records"), std::wstring::npos);
    }
    ResetRun();
    MemoryFileSystem fullFs;
    full.header.SeekToBegin();
    full.body.SeekAbsolute(kPrologueSize);
    const RestoreResult fullRestore =
        RestoreImageV4(ChainStreams{}, full.header, full.body, full.tableEnd, kTarget, fullFs);
    const bool entryDamaged = c.damaged && std::string(c.what).rfind("SDDL", 0) == 0;
    EXPECT_EQ(fullRestore.damaged, entryDamaged) << fullRestore.damage;
  }
}
