#include <gtest/gtest.h>

#include <cstring>

#include "core/tav_entry.h"
#include "core/wide.h"
#include "test_util.h"

using namespace orva;
using orva::test::TempFile;

namespace {

TavEntryRecord Record(uint8_t kind, uint8_t security, const std::wstring& name, int32_t depth = 0) {
  TavEntryRecord r;
  std::memset(&r, 0, sizeof r);
  r.depth = depth;
  r.kind = kind;
  r.securityState = security;
  r.findData.SetName(name);
  r.findData.sizeLow = 1234;
  if (kind == kKindDirectory || kind == kKindJunction || kind == kKindDirSymlink)
    r.findData.attributes |= kAttrDirectory;
  return r;
}

SecurityBlock Sec() {
  SecurityBlock b;
  b.ownerSid = L"S-1-5-32-544";
  b.groupSid = L"S-1-5-18";
  b.dacl = {2, 0, 8, 0, 0, 0, 0, 0};
  b.sddl = L"O:BAG:SYD:";
  return b;
}

// Writes one inline entry of each kind with the given security state.
void WriteEntry(FileStream& h, int32_t version, uint8_t kind, uint8_t security, int64_t compressed) {
  if (version >= 4000) {
    CTavArchiveObject o;
    InitArchiveObject(o);
    o.refFlag = o.ownFlag = 0;
    WriteEntryPrefix(o, h);
  }
  WriteEntryRecord(h, Record(kind, security, L"n\uD55C%" + std::to_wstring(kind)));
  const bool sec = security == kSecurityPresent;
  uint8_t head[24] = {1, 2, 3};
  switch (kind) {
    case kKindFile:
      if (sec) WriteSecurityBlock(h, Sec());
      WriteInt64(h, compressed);
      return;
    case kKindHardLink:
      WriteTavString(h, L"\\first\\name");
      break;
    case kKindDirSymlink:
    case kKindFileSymlink:
      WriteLinkTrailer(h, L"..\\x..\\x", head);
      break;
    case kKindJunction:
    case kKindUnknownLink:
      WriteMountTrailer(h, std::u16string(u"\\??\\C:\\T\0\0\0", 12));
      break;
    default:
      break;
  }
  if (sec) WriteSecurityBlock(h, Sec());
}

const uint8_t kKinds[] = {kKindFile,     kKindHardLink,  kKindDirSymlink, kKindFileSymlink,
                          kKindJunction, kKindDirectory, kKindUnknownLink};
const uint8_t kStates[] = {kSecurityPresent, kSecurityNotRetrieved, kSecurityNotConverted};

}  // namespace

TEST(TavString, EncodingAndEmpty) {
  TempFile f("str");
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
  WriteTavString(s, L"");
  WriteTavString(s, L"A\uD55C");
  uint8_t blob[3] = {9, 8, 7};
  WriteTavBlob(s, 3, blob);
  WriteTavBlob(s, 0, nullptr);
  s.Close();
  EXPECT_EQ(f.Bytes(),
            (std::vector<uint8_t>{0, 0, 0, 0, 2, 0, 0, 0, 'A', 0, 0x5C, 0xD5, 3, 0, 0, 0, 9, 8, 7, 0, 0, 0, 0}));

  ASSERT_TRUE(s.Open(f.Path(), L"rb"));
  std::wstring text = L"stale";
  std::vector<uint8_t> bytes{1};
  EXPECT_TRUE(ReadTavString(s, text));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(ReadTavString(s, text));
  EXPECT_EQ(text, L"A\uD55C");
  EXPECT_TRUE(ReadTavBlob(s, bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_TRUE(ReadTavBlob(s, bytes));
  EXPECT_TRUE(bytes.empty());
  s.Close();
}

// The tests run in the "C" locale, which has no byte for U+4E00.
TEST(NarrowText, MarksWhatTheLocaleCannotEncode) {
  bool complete = false;
  EXPECT_EQ(NarrowText(L"plain 100%", &complete), "plain 100%");
  EXPECT_TRUE(complete);
  EXPECT_EQ(NarrowText(L"a\u4E00b\u4E00", &complete), "a?b?");
  EXPECT_FALSE(complete);
  EXPECT_EQ(NarrowText(L""), "");
}

TEST(EntryKind, FromAttributes) {
  const struct {
    uint32_t attributes, tag;
    uint8_t kind;
  } cases[] = {
      {0x20, 0, kKindFile},
      {kAttrDirectory, 0, kKindDirectory},
      {kAttrDirectory | kAttrReparsePoint, kTagSymlink, kKindDirSymlink},
      {kAttrReparsePoint, kTagSymlink, kKindFileSymlink},
      {kAttrDirectory | kAttrReparsePoint, kTagMountPoint, kKindJunction},
      {kAttrReparsePoint, kTagMountPoint, kKindUnknownLink},  // a file cannot be a junction
      {kAttrDirectory | kAttrReparsePoint, 0x80000017, kKindUnknownLink},
      {kAttrReparsePoint, 0x80000017, kKindUnknownLink},
      {kAttrDirectory, kTagSymlink, kKindDirectory},  // the tag only counts with the reparse attribute
  };
  for (const auto& c : cases) {
    FindData fd{};
    fd.attributes = c.attributes;
    fd.reserved0 = c.tag;
    EXPECT_EQ(TavEntryKind(fd), c.kind) << c.attributes << " " << c.tag;
  }
}

// Every kind in every security state, in both formats, read back by the
// table walker: records, positions, lengths and the body offsets.
TEST(EntryTable, EveryKindAndStateRoundTrips) {
  for (int32_t version : {4000, 3000}) {
    TempFile hf("table"), bf("body");
    FileStream h, b;
    ASSERT_TRUE(h.Open(hf.Path(), L"w+b"));
    ASSERT_TRUE(b.Open(bf.Path(), L"w+b"));
    std::vector<int64_t> starts;
    int64_t compressed = 0, bodyLength = 0;
    for (uint8_t kind : kKinds)
      for (uint8_t state : kStates) {
        starts.push_back(h.GetPosition());
        compressed = kind == kKindFile ? compressed + 3 : compressed;
        WriteEntry(h, version, kind, state, kind == kKindFile ? compressed : 0);
        if (kind == kKindFile) bodyLength += compressed;
      }
    starts.push_back(h.GetPosition());
    std::vector<uint8_t> zeros(static_cast<size_t>(bodyLength));
    b.Write(zeros.data(), static_cast<uint32_t>(zeros.size()));

    ChainStreams chain{{version}, {&h}, {&b}, {}};
    ASSERT_TRUE(h.SeekToBegin());
    ASSERT_TRUE(b.SeekToBegin());
    size_t i = 0;
    int64_t expectedData = 0, fileLen = 0;
    for (uint8_t kind : kKinds)
      for (uint8_t state : kStates) {
        TavEntryRecord rec;
        int32_t err = -1;
        CTavArchiveObject o = ReadEntryHeaderWithRecord(chain, version, h, b, rec, err);
        ASSERT_EQ(err, 0) << int(kind) << "/" << int(state);
        EXPECT_EQ(o.depth, 0);
        EXPECT_EQ(rec.kind, kind);
        EXPECT_EQ(rec.securityState, state);
        EXPECT_EQ(o.findData.Name(), L"n\uD55C%" + std::to_wstring(kind));
        EXPECT_EQ(o.refFlag, 0);
        EXPECT_EQ(o.ownEntryOffset, starts[i]);
        EXPECT_EQ(o.ownEntryLength, starts[i + 1] - starts[i]);
        EXPECT_EQ(h.GetPosition(), starts[i + 1]);
        EXPECT_EQ(o.ownDataOffset, expectedData);
        if (kind == kKindFile) {
          fileLen += 3;
          EXPECT_EQ(o.ownDataLength, fileLen);
          expectedData += fileLen;
        } else {
          EXPECT_EQ(o.ownDataLength, 0);
        }
        EXPECT_EQ(b.GetPosition(), expectedData);
        ++i;
      }
    // A directory without security block: 601 bytes with its prefix, 600 without.
    size_t dirNoSec = 5 * 3 + 1;
    EXPECT_EQ(starts[dirNoSec + 1] - starts[dirNoSec], version >= 4000 ? 601 : 600);
    // The clean end of the table.
    TavEntryRecord rec;
    int32_t err = 0;
    EXPECT_EQ(ReadEntryHeaderWithRecord(chain, version, h, b, rec, err).depth, -1);
    EXPECT_EQ(err, kErrorHandleEof);
    h.Close();
    b.Close();
  }
}

TEST(EntryTable, TrailersReadBack) {
  TempFile hf("trailers");
  FileStream h;
  ASSERT_TRUE(h.Open(hf.Path(), L"w+b"));
  uint8_t head[24];
  for (int i = 0; i < 24; ++i) head[i] = static_cast<uint8_t>(i + 100);
  WriteLinkTrailer(h, L"C:\\x\\??\\C:\\x", head);
  WriteMountTrailer(h, std::u16string(u"\\??\\D:\\\0\0", 9));
  WriteSecurityBlock(h, Sec());
  ASSERT_TRUE(h.SeekToBegin());
  std::wstring target;
  uint8_t back[24];
  ASSERT_TRUE(ReadLinkTrailer(h, target, back));
  EXPECT_EQ(target, L"C:\\x\\??\\C:\\x");
  EXPECT_EQ(0, std::memcmp(head, back, 24));
  std::u16string units;
  ASSERT_TRUE(ReadMountTrailer(h, units));
  EXPECT_EQ(units.size(), 9u);
  EXPECT_EQ(MountText(units), L"\\??\\D:\\");
  SecurityBlock sec;
  ASSERT_TRUE(ReadSecurityBlock(h, sec));
  EXPECT_EQ(sec.ownerSid, L"S-1-5-32-544");
  EXPECT_EQ(sec.dacl, Sec().dacl);
  EXPECT_TRUE(sec.sacl.empty());
  EXPECT_EQ(sec.sddl, L"O:BAG:SYD:");
  h.Close();
}

// An increment image whose entries refer to entries of the full image.
TEST(EntryTable, ReferencesIntoTheChain) {
  for (int32_t baseVersion : {4000, 3000}) {
    TempFile h0f("h0"), b0f("b0"), h1f("h1"), b1f("b1");
    FileStream h0, b0, h1, b1;
    ASSERT_TRUE(h0.Open(h0f.Path(), L"w+b"));
    ASSERT_TRUE(b0.Open(b0f.Path(), L"w+b"));
    ASSERT_TRUE(h1.Open(h1f.Path(), L"w+b"));
    ASSERT_TRUE(b1.Open(b1f.Path(), L"w+b"));
    const char body[] = "0123456789abcdefghij";
    b0.Write(body, 20);
    WriteEntry(h0, baseVersion, kKindDirectory, kSecurityPresent, 0);
    WriteEntry(h0, baseVersion, kKindFile, kSecurityPresent, 12);
    WriteEntry(h0, baseVersion, kKindFile, kSecurityNotRetrieved, 8);

    // Locate the entries of image 0 as the comparison walk would.
    ChainStreams chain{{baseVersion, 4000}, {&h0, &h1}, {&b0, &b1}, {}};
    h0.SeekToBegin();
    b0.SeekToBegin();
    std::vector<CTavArchiveObject> base;
    for (int i = 0; i < 3; ++i) {
      int32_t err;
      base.push_back(ReadEntryHeader(chain, 1, err));
      ASSERT_EQ(err, 0);
    }
    // Image 1: a reference to each, then one inline file with 5 bytes of data.
    for (auto o : base) {
      o.ownFlag = 1;
      o.ownImageIndex = 0;
      WriteEntryPrefix(o, h1);
    }
    WriteEntry(h1, 4000, kKindFile, kSecurityNotConverted, 5);
    b1.Write("XXXXX", 5);
    EXPECT_EQ(h1.GetPosition(), 3 * 37 + 1 + 600 + 8);

    h1.SeekToBegin();
    b1.SeekToBegin();
    for (int i = 0; i < 3; ++i) {
      TavEntryRecord rec;
      int32_t err;
      CTavArchiveObject o = ReadEntryHeaderWithRecord(chain, 4000, h1, b1, rec, err);
      ASSERT_EQ(err, 0);
      EXPECT_EQ(o.refFlag, 1);
      EXPECT_EQ(o.refImageIndex, 0);
      EXPECT_EQ(o.refEntryOffset, base[i].ownEntryOffset);
      EXPECT_EQ(o.refEntryLength, base[i].ownEntryLength);
      EXPECT_EQ(o.refDataOffset, base[i].ownDataOffset);
      EXPECT_EQ(o.refDataLength, base[i].ownDataLength);
      EXPECT_EQ(o.ownEntryLength, 37);
      EXPECT_EQ(o.ownDataLength, 0);
      EXPECT_EQ(rec.kind, i == 0 ? kKindDirectory : kKindFile);
      EXPECT_EQ(h0.GetPosition(), base[i].ownEntryOffset + base[i].ownEntryLength);
      EXPECT_EQ(b0.GetPosition(), base[i].ownDataOffset + base[i].ownDataLength);
      EXPECT_EQ(h1.GetPosition(), 37 * (i + 1));
    }
    TavEntryRecord rec;
    int32_t err;
    CTavArchiveObject o = ReadEntryHeaderWithRecord(chain, 4000, h1, b1, rec, err);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(o.refFlag, 0);
    EXPECT_EQ(o.ownDataOffset, 0);
    EXPECT_EQ(o.ownDataLength, 5);
    EXPECT_EQ(b1.GetPosition(), 5);

    // Stepping back over a prefix lands on its first byte.
    h1.SeekAbsolute(37);
    CTavArchiveObject p;
    InitArchiveObject(p);
    p.ownFlag = 0;
    ASSERT_TRUE(ReadEntryPrefix(p, h1));
    EXPECT_EQ(p.refFlag, 1);
    StepBackOverPrefix(p, h1);
    EXPECT_EQ(h1.GetPosition(), 37);
    for (auto* s : {&h0, &b0, &h1, &b1}) s->Close();
  }
}
