// Damaged images: every count is bounded, nothing crashes or loops, and the
// readers say so.
#include <gtest/gtest.h>

#include <cstring>

#include "core/image_header.h"
#include "core/tav_entry.h"
#include "test_util.h"

using namespace orva;
using orva::test::CaptureOutput;
using orva::test::TempFile;

namespace {

void Put32(std::vector<uint8_t>& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}
void Put64(std::vector<uint8_t>& b, int64_t v) {
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}

std::vector<uint8_t> Record(uint8_t kind, uint8_t security) {
  std::vector<uint8_t> b(600, 0);
  b[596] = kind;
  b[597] = security;
  return b;
}

// An inline entry: format 4000 puts the prefix byte 0 before the record.
std::vector<uint8_t> Entry(int32_t version, uint8_t kind, uint8_t security) {
  std::vector<uint8_t> b;
  if (version >= 4000) b.push_back(0);
  auto r = Record(kind, security);
  b.insert(b.end(), r.begin(), r.end());
  return b;
}

// Reads the table; returns the error of the first entry that fails.
int32_t ReadAll(const std::vector<uint8_t>& table, int32_t version, int* entries) {
  TempFile hf("dmg"), bf("dmgbody");
  hf.Write(table);
  bf.Write(std::vector<uint8_t>(64, 0));
  FileStream h, b;
  h.Open(hf.Path(), L"rb");
  b.Open(bf.Path(), L"rb");
  ChainStreams chain{{version}, {&h}, {&b}, {}};
  int32_t err = 0;
  *entries = 0;
  for (int guard = 0; guard < 100; ++guard) {
    TavEntryRecord rec;
    CTavArchiveObject o = ReadEntryHeaderWithRecord(chain, version, h, b, rec, err);
    if (o.depth == -1) break;
    ++*entries;
  }
  h.Close();
  b.Close();
  return err;
}

}  // namespace

TEST(DamagedTable, CountsAndTruncation) {
  for (int32_t version : {4000, 3000}) {
    SCOPED_TRACE(version);
    auto entry = [version](uint8_t kind, uint8_t security) { return Entry(version, kind, security); };
    struct Case {
      const char* name;
      std::vector<uint8_t> table;
      int goodEntries;
    };
    std::vector<Case> cases;
    {
      auto t = entry(kKindDirectory, 2);
      t.resize(300);
      cases.push_back({"record cut short", t, 0});
    }
    {
      auto t = entry(kKindFile, 2);
      Put32(t, 7);  // half of the compressed length
      cases.push_back({"compressed length cut short", t, 0});
    }
    {
      auto t = entry(kKindFile, 2);
      Put64(t, -5);
      cases.push_back({"negative compressed length", t, 0});
    }
    {
      auto t = entry(kKindHardLink, 2);
      Put32(t, -1);
      cases.push_back({"negative string count", t, 0});
    }
    {
      auto t = entry(kKindHardLink, 2);
      Put32(t, 0x7FFFFFFF);
      cases.push_back({"huge string count", t, 0});
    }
    {
      auto t = entry(kKindHardLink, 2);
      Put32(t, 1000);
      t.insert(t.end(), 20, 'a');
      cases.push_back({"string longer than the table", t, 0});
    }
    {
      auto t = entry(kKindJunction, 2);
      Put32(t, -3);
      cases.push_back({"negative junction units", t, 0});
    }
    {
      auto t = entry(kKindJunction, 2);
      Put32(t, 1 << 30);
      cases.push_back({"huge junction units", t, 0});
    }
    {
      auto t = entry(kKindDirectory, 0);
      Put32(t, 0);
      Put32(t, 0);
      Put32(t, 0x10000000);  // DACL blob beyond any ACL
      cases.push_back({"huge blob count", t, 0});
    }
    {
      auto t = entry(kKindFileSymlink, 2);
      Put32(t, 0);
      t.insert(t.end(), 10, 0);  // 24 reparse bytes expected
      cases.push_back({"reparse head cut short", t, 0});
    }
    {
      auto t = entry(kKindDirectory, 2);
      auto bad = entry(77, 2);
      t.insert(t.end(), bad.begin(), bad.end());
      cases.push_back({"unknown kind after a good entry", t, 1});
    }
    if (version >= 4000) {
      std::vector<uint8_t> t{1};
      Put32(t, 5);  // image index outside the chain
      for (int i = 0; i < 4; ++i) Put64(t, 0);
      cases.push_back({"reference outside the chain", t, 0});
    }
    if (version >= 4000) {
      std::vector<uint8_t> t{1};
      Put32(t, 0);
      Put64(t, -600);
      for (int i = 0; i < 3; ++i) Put64(t, 0);
      cases.push_back({"negative reference offset", t, 0});
    }
    if (version >= 4000) {
      std::vector<uint8_t> t{1, 0, 0};
      cases.push_back({"prefix cut short", t, 0});
    }
    for (const auto& c : cases) {
      CaptureOutput out;
      int entries = 0;
      int32_t err = ReadAll(c.table, version, &entries);
      EXPECT_EQ(err, kErrorDamagedImage) << c.name;
      EXPECT_EQ(entries, c.goodEntries) << c.name;
    }
  }
}

TEST(DamagedTable, WholeTablesEndCleanly) {
  for (int32_t version : {4000, 3000}) {
    std::vector<uint8_t> t = Entry(version, kKindDirectory, 2);
    auto file = Entry(version, kKindFile, 2);
    Put64(file, 0);
    t.insert(t.end(), file.begin(), file.end());
    int entries = 0;
    EXPECT_EQ(ReadAll(t, version, &entries), kErrorHandleEof) << version;
    EXPECT_EQ(entries, 2) << version;
    // Read with the other format's layout, the same bytes are damage.
    EXPECT_EQ(ReadAll(t, version == 3000 ? 4000 : 3000, &entries), kErrorDamagedImage) << version;
  }
}

TEST(DamagedTable, ReferenceToAReference) {
  // Entry 0 refers to offset 0 of image 0, which is itself a reference.
  std::vector<uint8_t> t{1};
  Put32(t, 0);
  for (int i = 0; i < 4; ++i) Put64(t, 0);
  int entries = 0;
  EXPECT_EQ(ReadAll(t, 4000, &entries), kErrorDamagedImage);
}

TEST(DamagedPrologue, OffsetsMustFitTheFile) {
  struct Case {
    const char* name;
    int64_t offset, length;
    size_t fileBytes;
    bool ok;
  };
  const Case cases[] = {
      {"fits exactly", 10, 5, 35, true},         {"empty image", 0, 0, 20, true},
      {"negative offset", -1, 5, 100, false},    {"negative length", 0, -1, 100, false},
      {"beyond the end", 70, 20, 100, false},    {"overflowing sum", INT64_MAX - 5, 10, 100, false},
      {"huge length", 0, INT64_MAX, 100, false},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> b;
    Put32(b, 4000);
    Put64(b, c.offset);
    Put64(b, c.length);
    b.resize(c.fileBytes, 0);
    TempFile f("prologue");
    f.Write(b);
    FileStream s;
    s.Open(f.Path(), L"r+b");
    TavImagePrologue p;
    EXPECT_EQ(ReadPrologue(s, p), c.ok) << c.name;
    TempFile w("prologue_work");
    FileStream ws;
    ws.Open(w.Path(), L"w+b");
    EXPECT_EQ(CopyHeaderTable(s, ws), c.ok) << c.name;
    if (!c.ok) {
      EXPECT_FALSE(CopyHeaderTail(s, ws)) << c.name;
      EXPECT_FALSE(UpdateImageSize(s, 1)) << c.name;
      EXPECT_FALSE(UpdateIncrementList(s, 0, {}, L"")) << c.name;
    }
    ws.Close();
    s.Close();
  }
  TempFile shortFile("short");
  shortFile.Write({0xA0, 0x0F, 0, 0, 1});
  FileStream s;
  s.Open(shortFile.Path(), L"rb");
  TavImagePrologue p;
  EXPECT_FALSE(ReadPrologue(s, p));
  s.Close();
}

TEST(DamagedImageHeader, CountsAreBounded) {
  struct Case {
    const char* name;
    std::vector<uint8_t> header;
  };
  std::vector<Case> cases;
  auto base = [] {
    std::vector<uint8_t> h;
    Put32(h, 0);                 // path
    h.resize(h.size() + 36, 0);  // fixed fields
    Put32(h, 0);                 // comment
    return h;
  };
  {
    std::vector<uint8_t> h;
    Put32(h, -2);
    cases.push_back({"negative path count", h});
  }
  {
    std::vector<uint8_t> h;
    Put32(h, 0x40000000);
    cases.push_back({"huge path count", h});
  }
  {
    auto h = base();
    Put32(h, -1);
    cases.push_back({"negative increment count", h});
  }
  {
    auto h = base();
    Put32(h, 0x7FFFFFFF);
    cases.push_back({"huge increment count", h});
  }
  {
    auto h = base();
    Put32(h, 3);
    Put32(h, 1);
    h.push_back('a');
    h.push_back(0);
    cases.push_back({"fewer names than counted", h});
  }
  {
    std::vector<uint8_t> h;
    Put32(h, 0);
    h.resize(h.size() + 20, 0);
    cases.push_back({"fixed fields cut short", h});
  }
  for (const auto& c : cases) {
    std::vector<uint8_t> image;
    Put32(image, 4000);
    Put64(image, 0);
    Put64(image, 0);
    image.insert(image.end(), c.header.begin(), c.header.end());
    TempFile f("hdr");
    f.Write(image);
    FileStream s;
    s.Open(f.Path(), L"r+b");
    TavImageHeader h;
    EXPECT_FALSE(h.ReadAt(s, 20)) << c.name;
    s.Close();
  }
}
