#include "image_header_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>

#include "core/image_header.h"
#include "core/tav_entry.h"
#include "core/wide.h"

namespace fs = std::filesystem;

namespace {

// A file in the temp folder, removed when the test ends.
class TempPath {
 public:
  explicit TempPath(const std::string& name)
      : path_(fs::temp_directory_path() / ("orva_ihr_" + name + "_" + std::to_string(Counter()++))) {
    fs::remove(path_);
  }
  ~TempPath() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  std::string Path() const { return path_.string(); }
  std::wstring WidePath() const { return path_.wstring(); }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out(static_cast<size_t>(fs::file_size(path_)));
    FileStream f;
    f.Open(Path().c_str(), "rb");
    if (!out.empty()) f.Read(out.data(), static_cast<uint32_t>(out.size()));
    f.Close();
    return out;
  }
  void Write(const std::vector<uint8_t>& bytes) const {
    FileStream f;
    ASSERT_TRUE(f.Open(Path().c_str(), "wb"));
    if (!bytes.empty()) f.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    f.Close();
  }

 private:
  static int& Counter() {
    static int n = 0;
    return n;
  }
  fs::path path_;
};

orva::TavImageHeader SampleHeader() {
  orva::TavImageHeader h;
  h.imagePath = L"D:\\Backup\\Job 1.TAV";
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
  h.diskNumber = 1;
  h.partitionNumber = 3;
  h.driveLetter = '*';
  h.sourceTotal = -1;
  h.imageSize = 123456789012;
  h.comment = L"Windows 7 Professional [64bit]";
  h.increments = {L"D:\\Backup\\Job 1_0001.TAV", L"E:\\Other folder\\Job 1_0002.TAV"};
  return h;
}

// Writes an image with the engine's own writers: prologue, body, a header
// table and (format 4000) the image header. Returns where the header begins.
int64_t WriteImage(const TempPath& image, const orva::TavImageHeader& h, int32_t version = 4000, bool finish = true) {
  TempPath workPath("work");
  FileStream out, work;
  EXPECT_TRUE(out.Open(image.Path().c_str(), "w+b"));
  EXPECT_TRUE(work.Open(workPath.Path().c_str(), "w+b"));
  orva::WritePrologue(out, orva::TavImagePrologue{version, 0, 0});
  std::vector<uint8_t> body(300, 0xB0), table(77, 0x7A);
  out.Write(body.data(), static_cast<uint32_t>(body.size()));
  work.Write(table.data(), static_cast<uint32_t>(table.size()));
  int64_t headerAt = out.GetLength() + static_cast<int64_t>(table.size());
  if (version >= 4000) h.Write(work);
  if (finish) {
    EXPECT_TRUE(orva::AttachHeaderToBody(out, work, static_cast<int64_t>(table.size())));
  }
  out.Close();
  work.Close();
  return headerAt;
}

ImageHeaderStatus ReadHeader(const std::string& path, TavImageHeader& h) {
  FileStream f;
  EXPECT_TRUE(f.Open(path.c_str(), "rb"));
  ImageHeaderStatus status = ReadImageHeader(f, h);
  f.Close();
  return status;
}

void ExpectEmpty(const TavImageHeader& h) {
  EXPECT_EQ(h.imagePath, L"");
  EXPECT_EQ(h.startYear, 0);
  EXPECT_EQ(h.finishYear, 0);
  EXPECT_EQ(h.finishSecond, 0);
  EXPECT_EQ(h.imageType, 0);
  EXPECT_EQ(h.compressionLevel, 0);
  EXPECT_EQ(h.driveLetter, 0);
  EXPECT_EQ(h.sourceTotal, 0);
  EXPECT_EQ(h.imageSize, 0);
  EXPECT_EQ(h.comment, L"");
  EXPECT_TRUE(h.increments.empty());
}

void Put32(std::vector<uint8_t>& b, int64_t at, int32_t v) { std::memcpy(&b[static_cast<size_t>(at)], &v, 4); }
void Put64(std::vector<uint8_t>& b, int64_t at, int64_t v) { std::memcpy(&b[static_cast<size_t>(at)], &v, 8); }

}  // namespace

TEST(ImageHeaderReader, ReadsEveryFieldOfAnImage) {
  TempPath image("full");
  WriteImage(image, SampleHeader());
  TavImageHeader h;
  ASSERT_EQ(ReadHeader(image.Path(), h), ImageHeaderStatus::kRead);
  EXPECT_EQ(ToAnsiText(h.imagePath), "D:\\Backup\\Job 1.TAV");
  EXPECT_EQ(h.startYear, 2026);
  EXPECT_EQ(h.startMonth, 1);
  EXPECT_EQ(h.startDay, 2);
  EXPECT_EQ(h.startHour, 3);
  EXPECT_EQ(h.startMinute, 4);
  EXPECT_EQ(h.startSecond, 5);
  EXPECT_EQ(h.finishYear, 2027);
  EXPECT_EQ(h.finishMonth, 12);
  EXPECT_EQ(h.finishDay, 31);
  EXPECT_EQ(h.finishHour, 23);
  EXPECT_EQ(h.finishMinute, 59);
  EXPECT_EQ(h.finishSecond, 58);
  EXPECT_EQ(h.imageType, 2);
  EXPECT_EQ(h.compressionLevel, 9);
  EXPECT_EQ(h.diskNumber, 1);
  EXPECT_EQ(h.partitionNumber, 3);
  EXPECT_EQ(h.driveLetter, '*');
  EXPECT_EQ(h.sourceTotal, -1);
  EXPECT_EQ(h.imageSize, 123456789012);
  EXPECT_EQ(ToAnsiText(h.comment), "Windows 7 Professional [64bit]");
  EXPECT_EQ(h.increments.size(), 2u);
  EXPECT_EQ(AnsiIncrements(h),
            (std::vector<std::string>{"D:\\Backup\\Job 1_0001.TAV", "E:\\Other folder\\Job 1_0002.TAV"}));
}

TEST(ImageHeaderReader, ImagesWithoutAHeaderToRead) {
  struct Case {
    const char* name;
    int32_t version;
    bool finish;
    ImageHeaderStatus status;
  };
  for (const Case& c : {Case{"unfinished 4000", 4000, false, ImageHeaderStatus::kUnfinished},
                        Case{"unfinished 3000", 3000, false, ImageHeaderStatus::kUnfinished},
                        Case{"format 3000", 3000, true, ImageHeaderStatus::kNoImageHeader},
                        Case{"unknown format", 17, true, ImageHeaderStatus::kDamaged}}) {
    SCOPED_TRACE(c.name);
    TempPath image("noheader");
    WriteImage(image, SampleHeader(), c.version, c.finish);
    TavImageHeader h;
    EXPECT_EQ(ReadHeader(image.Path(), h), c.status);
    ExpectEmpty(h);
    EXPECT_EQ(ImageTotalSize(image.Path().c_str()), 0);
  }
}

TEST(ImageHeaderReader, AReusedRecordForgetsTheImageReadBefore) {
  TempPath full("full"), unfinished("unfinished");
  WriteImage(full, SampleHeader());
  WriteImage(unfinished, SampleHeader(), 4000, false);
  TavImageHeader h;
  ASSERT_EQ(ReadHeader(full.Path(), h), ImageHeaderStatus::kRead);
  EXPECT_EQ(ReadHeader(unfinished.Path(), h), ImageHeaderStatus::kUnfinished);
  ExpectEmpty(h);
}

TEST(ImageHeaderReader, DamagedImagesReadAsDamagedAndLeaveTheRecordEmpty) {
  TempPath good("good");
  const orva::TavImageHeader sample = SampleHeader();
  const int64_t at = WriteImage(good, sample);
  const std::vector<uint8_t> bytes = good.Bytes();
  const int64_t size = static_cast<int64_t>(bytes.size());
  const int64_t pathUnits = static_cast<int64_t>(sample.imagePath.size());
  const int64_t fixedAt = at + 4 + 2 * pathUnits;
  const int64_t commentAt = fixedAt + 36;
  const int64_t countAt = commentAt + 4 + 2 * static_cast<int64_t>(sample.comment.size());
  auto get32 = [&](int64_t at) {
    int32_t v;
    std::memcpy(&v, &bytes[static_cast<size_t>(at)], 4);
    return v;
  };
  ASSERT_EQ(get32(at), pathUnits);
  ASSERT_EQ(get32(commentAt), static_cast<int32_t>(sample.comment.size()));
  ASSERT_EQ(get32(countAt), 2);
  const int64_t max = std::numeric_limits<int64_t>::max();
  using Edit = std::function<void(std::vector<uint8_t>&)>;
  auto cut = [](int64_t n) { return [n](std::vector<uint8_t>& b) { b.resize(static_cast<size_t>(n)); }; };
  struct Case {
    const char* name;
    Edit edit;
  };
  const Case cases[] = {
      {"empty file", cut(0)},
      {"shorter than the prologue", cut(13)},
      {"negative offset", [](auto& b) { Put64(b, 4, -5); }},
      {"negative length", [](auto& b) { Put64(b, 12, -1); }},
      {"offset beyond the file", [&](auto& b) { Put64(b, 4, size); }},
      {"offset and length overflow",
       [&](auto& b) {
         Put64(b, 4, max);
         Put64(b, 12, max);
       }},
      {"header beyond the file", [&](auto& b) { Put64(b, 12, size - 20 - 300); }},
      {"huge path count", [&](auto& b) { Put32(b, at, 0x7fffffff); }},
      {"negative path count", [&](auto& b) { Put32(b, at, -1); }},
      {"path count beyond the file", [&](auto& b) { Put32(b, at, 30000); }},
      {"huge comment count", [&](auto& b) { Put32(b, commentAt, 0x7fffffff); }},
      {"huge increment count", [&](auto& b) { Put32(b, countAt, 0x7fffffff); }},
      {"increment count beyond the file", [&](auto& b) { Put32(b, countAt, 3); }},
      {"negative increment count", [&](auto& b) { Put32(b, countAt, -2); }},
      {"cut inside the path", cut(at + 10)},
      {"cut inside the dates and sizes", cut(fixedAt + 20)},
      {"cut before the increment count", cut(countAt + 2)},
      {"cut inside the last increment", cut(size - 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempPath image("damaged");
    std::vector<uint8_t> b = bytes;
    c.edit(b);
    image.Write(b);
    TavImageHeader h;
    EXPECT_EQ(ReadHeader(image.Path(), h), ImageHeaderStatus::kDamaged);
    ExpectEmpty(h);
    EXPECT_EQ(ImageTotalSize(image.Path().c_str()), 0);
  }
}

TEST(ImageHeaderReader, ReadStringCases) {
  auto units = [](std::initializer_list<char16_t> u) {
    std::vector<uint8_t> b(u.size() * 2);
    std::memcpy(b.data(), u.begin(), b.size());
    return b;
  };
  struct Case {
    const char* name;
    int32_t count;
    std::vector<uint8_t> data;
    bool ok;
    std::string text;  // the target afterwards; it starts as "old"
    int64_t consumed;
  };
  const Case cases[] = {
      {"plain", 3, units({u'a', u'b', u'c'}), true, "abc", 10},
      {"empty", 0, units({u'x'}), true, "", 4},
      {"negative", -1, units({u'x'}), false, "old", 4},
      {"cut short", 5, units({u'a', u'b'}), false, "old", 8},
      {"above the longest path", 32768, units({u'a'}), false, "old", 4},
      {"huge", 0x7fffffff, units({u'a'}), false, "old", 4},
      {"ends at a NUL", 4, units({u'a', u'b', 0, u'c'}), true, "ab", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempPath file("string");
    std::vector<uint8_t> b(4);
    Put32(b, 0, c.count);
    b.insert(b.end(), c.data.begin(), c.data.end());
    file.Write(b);
    FileStream f;
    ASSERT_TRUE(f.Open(file.Path().c_str(), "rb"));
    std::string target = "old";
    EXPECT_EQ(ReadAnsiString(f, target), c.ok);
    EXPECT_EQ(target, c.text);
    if (c.ok) {
      EXPECT_EQ(f.GetPosition(), c.consumed);
    }
    f.Close();
  }
}

TEST(ImageHeaderReader, CharactersOutsideTheCodePageTurnIntoItsReplacement) {
  TempPath image("emoji");
  orva::TavImageHeader sample = SampleHeader();
  sample.imagePath = L"C:\\a";
  sample.imagePath += orva::FromUnits(u"\xD83D\xDE00", 2);  // U+1F600
  sample.imagePath += L"b.TAV";
  WriteImage(image, sample);
  TavImageHeader h;
  ASSERT_EQ(ReadHeader(image.Path(), h), ImageHeaderStatus::kRead);
  const std::string path = ToAnsiText(h.imagePath);
  ASSERT_GE(path.size(), 10u);
  EXPECT_EQ(path.substr(0, 4), "C:\\a");
  EXPECT_EQ(path.substr(path.size() - 5), "b.TAV");
  EXPECT_NE(path.find('?'), std::string::npos);
  EXPECT_EQ(ToAnsiText(h.comment), "Windows 7 Professional [64bit]");
  EXPECT_EQ(h.imageSize, sample.imageSize);
}

TEST(ImageTotalSize, SumsTheRecordedSizesOfTheChain) {
  TempPath full("full"), first("inc1"), second("inc2"), third("inc3"), damaged("damaged");
  auto header = [](int64_t size, std::vector<std::wstring> increments) {
    orva::TavImageHeader h = SampleHeader();
    h.imageSize = size;
    h.increments = std::move(increments);
    return h;
  };
  // The increment lists of increment files are not followed.
  WriteImage(first, header(2000, {third.WidePath()}));
  WriteImage(third, header(40000, {}));
  WriteImage(damaged, header(500000, {}));
  std::vector<uint8_t> b = damaged.Bytes();
  b.resize(b.size() - 1);
  damaged.Write(b);

  const int64_t max = std::numeric_limits<int64_t>::max();
  struct Case {
    const char* name;
    int64_t fullSize;
    int64_t secondSize;  // 0: the file is missing
    std::vector<std::wstring> increments;
    int64_t total;
  };
  const Case cases[] = {
      {"no increments", 1000, 0, {}, 1000},
      {"whole chain", 1000, 300, {first.WidePath(), second.WidePath()}, 3300},
      {"second increment deleted", 1000, 0, {first.WidePath(), second.WidePath()}, 3000},
      {"damaged and unfinished members", 1000, -1, {damaged.WidePath(), second.WidePath(), first.WidePath()}, 3000},
      {"negative sizes count as nothing", -1000, -5, {second.WidePath(), first.WidePath()}, 2000},
      {"sum saturates", max - 10, max - 20, {second.WidePath(), first.WidePath()}, max},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(second.Path());
    if (c.secondSize == -1)
      WriteImage(second, header(777, {}), 4000, false);
    else if (c.secondSize != 0)
      WriteImage(second, header(c.secondSize, {}));
    WriteImage(full, header(c.fullSize, c.increments));
    EXPECT_EQ(ImageTotalSize(full.Path().c_str()), c.total);
  }
  EXPECT_EQ(ImageTotalSize((full.Path() + ".missing").c_str()), 0);

  // Every member is closed again, also those that failed to read.
  for (const TempPath* p : {&full, &first, &second, &third, &damaged}) {
    std::error_code ec;
    fs::remove(p->Path(), ec);
    EXPECT_FALSE(ec) << p->Path();
  }
}
