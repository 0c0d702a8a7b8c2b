#include <gtest/gtest.h>

#include "core/image_header.h"
#include "core/tav_entry.h"
#include "test_util.h"

using namespace orva;
using orva::test::CaptureOutput;
using orva::test::TempFile;

namespace {

TavImageHeader SampleHeader() {
  TavImageHeader h;
  h.imagePath = L"D:\\Backup\\Job1.TAV";
  h.startYear = 2026;
  h.startMonth = 1;
  h.startDay = 2;
  h.startHour = 3;
  h.startMinute = 4;
  h.startSecond = 5;
  h.finishYear = 2027;
  h.finishMonth = 12;
  h.finishDay = 31;
  h.finishHour = 23;
  h.finishMinute = 59;
  h.finishSecond = 58;
  h.imageType = 2;
  h.compressionLevel = 9;
  h.diskNumber = 0xFF;
  h.partitionNumber = 0xFF;
  h.driveLetter = '*';
  h.sourceTotal = -1;
  h.comment = L"No comment";
  return h;
}

// Builds a complete image: prologue, body, a table of tableBytes, header.
int64_t BuildImage(const TempFile& f, int bodyBytes, int tableBytes, TavImageHeader& header) {
  TempFile wf("work");
  FileStream image, work;
  image.Open(f.Path(), L"w+b");
  work.Open(wf.Path(), L"w+b");
  WritePrologue(image, TavImagePrologue{4000, 0, 0});
  std::vector<uint8_t> body(static_cast<size_t>(bodyBytes), 0xB0), table(static_cast<size_t>(tableBytes), 0x7A);
  if (bodyBytes) image.Write(body.data(), static_cast<uint32_t>(body.size()));
  if (tableBytes) work.Write(table.data(), static_cast<uint32_t>(table.size()));
  int64_t L = work.GetLength();
  header.imageSize = image.GetLength() + L + header.GetSerializedSize();
  header.Write(work);
  EXPECT_TRUE(AttachHeaderToBody(image, work, L));
  image.Close();
  work.Close();
  return L;
}

}  // namespace

TEST(ImageHeader, SerializedSizeAndLayout) {
  TavImageHeader h;
  EXPECT_EQ(h.GetSerializedSize(), 4 + 36 + 4 + 4);
  h = SampleHeader();
  h.increments = {L"a", L"bc"};
  EXPECT_EQ(h.GetSerializedSize(), (4 + 2 * 18) + 36 + (4 + 2 * 10) + 4 + (4 + 2) + (4 + 4));

  TempFile f("layout");
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
  h.Write(s);
  s.Close();
  std::vector<uint8_t> b = f.Bytes();
  ASSERT_EQ(static_cast<int64_t>(b.size()), h.GetSerializedSize());
  size_t p = 4 + 36;  // after the path
  EXPECT_EQ(b[p] | (b[p + 1] << 8), 2026);
  EXPECT_EQ(b[p + 7] | (b[p + 8] << 8), 2027);  // the second year at an odd offset
  EXPECT_EQ(b[p + 14], 2);                      // image type
  EXPECT_EQ(b[p + 15], 9);
  EXPECT_EQ(b[p + 16], 0);
  EXPECT_EQ(b[p + 17], 0xFF);
  EXPECT_EQ(b[p + 18], 0xFF);
  EXPECT_EQ(b[p + 19], '*');
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[p + 20 + i], 0xFF);  // source total -1
}

TEST(ImageHeader, EmptySourceImage) {
  TempFile f("empty");
  TavImageHeader h = SampleHeader();
  int64_t L = BuildImage(f, 0, 0, h);
  EXPECT_EQ(L, 0);
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"rb"));
  TavImagePrologue p;
  ASSERT_TRUE(ReadPrologue(s, p));
  EXPECT_EQ(p.version, 4000);
  EXPECT_EQ(p.headerOffset, 0);
  EXPECT_EQ(p.headerLength, 0);
  EXPECT_EQ(s.GetLength(), h.imageSize);
  TavImageHeader back;
  ASSERT_TRUE(back.ReadAt(s, 20));
  EXPECT_EQ(back.imagePath, L"Job1.TAV");  // only the name is kept
  EXPECT_EQ(back.imageSize, h.imageSize);
  s.Close();
}

TEST(ImageHeader, InPlaceRewrites) {
  TempFile f("rewrite");
  TavImageHeader h = SampleHeader();
  h.increments = {L"D:\\Backup\\Job1.TAV.1"};
  BuildImage(f, 1000, 2345, h);
  const int64_t at = 20 + 1000 + 2345;

  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"r+b"));
  TavImageHeader back;
  ASSERT_TRUE(back.ReadAt(s, at));
  EXPECT_EQ(back.increments, (std::vector<std::wstring>{L"Job1.TAV.1"}));
  TavImageHeader full;
  ASSERT_TRUE(full.ReadAt(s, at, true));
  EXPECT_EQ(full.imagePath, L"D:\\Backup\\Job1.TAV");
  EXPECT_EQ(full.increments, (std::vector<std::wstring>{L"D:\\Backup\\Job1.TAV.1"}));
  EXPECT_FALSE(full.ReadAt(s, at + 1, true));  // a damaged record leaves the one read before
  EXPECT_EQ(full.imagePath, L"D:\\Backup\\Job1.TAV");
  EXPECT_EQ(back.startMinute, 4);
  EXPECT_EQ(back.finishSecond, 58);
  EXPECT_EQ(back.sourceTotal, -1);

  ASSERT_TRUE(UpdateImageSize(s, 987654321012LL));
  ASSERT_TRUE(back.ReadAt(s, at));
  EXPECT_EQ(back.imageSize, 987654321012LL);
  EXPECT_EQ(back.comment, L"No comment");

  ASSERT_TRUE(UpdateIncrementList(s, 3, {L"a", L"b", L"c"}, L"new"));
  ASSERT_TRUE(back.ReadAt(s, at));
  EXPECT_EQ(back.increments, (std::vector<std::wstring>{L"b", L"c", L"new"}));

  ASSERT_TRUE(UpdateIncrementList(s, 0, {}, L"ignored"));
  ASSERT_TRUE(back.ReadAt(s, at));
  EXPECT_TRUE(back.increments.empty());

  TavImageHeader list;
  list.increments = {L"x\\y\\one.TAV.1", L"two.TAV.2"};
  ASSERT_TRUE(UpdateIncrementListFromHeader(s, list));
  ASSERT_TRUE(back.ReadAt(s, at));
  EXPECT_EQ(back.increments, (std::vector<std::wstring>{L"one.TAV.1", L"two.TAV.2"}));
  EXPECT_EQ(back.imageSize, 987654321012LL);  // the rest of the header is untouched

  EXPECT_FALSE(UpdateIncrementList(s, 2, {L"only one"}, L"new"));  // the caller's array is too short
  s.Close();
}

TEST(ImageHeader, CopyTableAndTail) {
  TempFile f("copy"), t1("t1"), t2("t2");
  TavImageHeader h = SampleHeader();
  BuildImage(f, 300, 700, h);
  FileStream s, w1, w2;
  ASSERT_TRUE(s.Open(f.Path(), L"rb"));
  ASSERT_TRUE(w1.Open(t1.Path(), L"w+b"));
  ASSERT_TRUE(w2.Open(t2.Path(), L"w+b"));
  EXPECT_TRUE(CopyHeaderTable(s, w1));
  EXPECT_TRUE(CopyHeaderTail(s, w2));
  EXPECT_EQ(w1.GetLength(), 700);
  EXPECT_EQ(w2.GetLength(), 700 + h.GetSerializedSize());
  TavImageHeader back;
  ASSERT_TRUE(back.ReadAt(w2, 700));
  EXPECT_EQ(back.comment, L"No comment");
  for (auto* x : {&s, &w1, &w2}) x->Close();
}

TEST(ImageHeader, AttachFailureLeavesPrologueUnpatched) {
  TempFile f("attach");
  FileStream image, work;
  ASSERT_TRUE(image.Open(f.Path(), L"w+b"));
  WritePrologue(image, TavImagePrologue{4000, 0, 0});
  // A work stream that cannot be read: nothing is attached.
  CaptureOutput out;
  EXPECT_FALSE(AttachHeaderToBody(image, work, 10));
  EXPECT_NE(out.console.find(L"There was an error attaching header file to body file.\n"), std::wstring::npos);
  image.Close();
  std::vector<uint8_t> b = f.Bytes();
  ASSERT_EQ(b.size(), 20u);
  for (size_t i = 4; i < 20; ++i) EXPECT_EQ(b[i], 0);
}

TEST(FileStream, LargeOffsetsAndConventions) {
  TempFile f("large");
  FileStream s;
  ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
  const int64_t far = (5LL << 30) + 7;  // beyond 4 GiB: a sparse hole on most file systems
  EXPECT_EQ(s.Seek(far, 0), 0);
  EXPECT_EQ(s.Write("Z", 1), 1u);
  EXPECT_EQ(s.GetPosition(), far + 1);
  EXPECT_EQ(s.Seek(-1, 1), 0);
  EXPECT_EQ(s.GetPosition(), far);
  EXPECT_EQ(s.SeekAbsolute(100), 0);
  EXPECT_EQ(s.GetLength(), far + 1);
  EXPECT_EQ(s.GetPosition(), 100);  // GetLength keeps the position
  EXPECT_TRUE(s.SeekToBegin());
  EXPECT_EQ(s.SeekToEnd(), 0);
  EXPECT_EQ(s.GetPosition(), far + 1);
  char rec[600];
  EXPECT_TRUE(s.SeekAbsolute(far - 10) == 0);
  EXPECT_EQ(s.ReadItems(rec, 600, 1), 0u);  // fewer than 600 bytes remain
  s.Close();
  FileStream none;
  EXPECT_FALSE(none.Open(f.Path() + L"_missing", L"rb"));
  EXPECT_EQ(none.GetPosition(), -1);
}

// A stream that goes out of scope open writes out what its own buffer holds
// and closes, before that buffer is freed.
TEST(FileStream, ClosesItsFileWhenDestroyed) {
  TempFile f("closed_by_destructor");
  {
    FileStream s;
    ASSERT_TRUE(s.Open(f.Path(), L"w+b"));
    s.SetBuffer(1 << 16);
    EXPECT_EQ(s.Write("abc", 3), 3u);
  }
  EXPECT_EQ(f.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c'}));
}
