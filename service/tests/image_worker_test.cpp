#include "win/image_worker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "service_test_util.h"

namespace orva::service {
namespace {

TEST(ImageWorker, ExclusionsTakeTheEnginesKeyForm) {
  EXPECT_EQ(EngineExclusions("C:\\Temp|C:\\Data\\Sub|D:\\Logs\\|"),
            (std::vector<std::string>{"-x!Temp", "-x!\\Data\\Sub", "-x!Logs"}));
  // Text after the last bar is no item; an empty list gives nothing.
  EXPECT_EQ(EngineExclusions("C:\\Temp|C:\\Data"), std::vector<std::string>{"-x!Temp"});
  EXPECT_TRUE(EngineExclusions("").empty());
  EXPECT_TRUE(EngineExclusions("C:\\|").empty());
}

TEST(ImageWorker, ElapsedTextDropsWholeDays) {
  EXPECT_EQ(ElapsedText(0), "00:00:00");
  EXPECT_EQ(ElapsedText(3723), "01:02:03");
  EXPECT_EQ(ElapsedText(25 * 3600 + 5), "01:00:05");
}

TEST(ImageWorker, MappingNamesAreSafeAndPerRun) {
  const std::string a = ProgressMappingName("My job\\1", 1), b = ProgressMappingName("My job\\1", 2);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("Orva_My_job_1_", 0), 0u) << a;
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-"), std::string::npos);
}

TEST(ImageWorker, ShadowToolFollowsTheCaptionsWordSize) {
  EXPECT_EQ(ShadowToolForCaption("Microsoft Windows 10 Pro [64bit]"), "vshadow_amd64.exe");
  EXPECT_EQ(ShadowToolForCaption("Microsoft Windows Server 2008 R2 [32bit]"), "vshadow.exe");
  EXPECT_EQ(ShadowToolForCaption("WMI ERROR\nFailed to connect"), "");
}


// The files a full backup finds at its image path and at "<image>.old", and
// what is left of them after the worker's preparation.
namespace files {

std::string Prologue(int32_t version, int64_t offset, int64_t length) {
  std::string p(20, '\0');
  std::memcpy(&p[0], &version, 4);
  std::memcpy(&p[4], &offset, 8);
  std::memcpy(&p[12], &length, 8);
  return p;
}

const std::string kMissing = "<missing>";
const std::string kComplete = Prologue(3000, 4, 6) + "body" + "table!";   // a whole format-3000 image
const std::string kOtherComplete = Prologue(3000, 0, 0);                  // an empty source's image
const std::string kUnfinished = Prologue(4000, 0, 0) + "part of a body";
const std::string kDamaged = Prologue(4000, 400, 6) + "body";
const std::string kForeign = "notes of the user\r\n";

void Put(const std::string& path, const std::string& bytes) {
  std::remove(path.c_str());
  if (bytes != kMissing) std::ofstream(path, std::ios::binary) << bytes;
}

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return kMissing;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace files

TEST(ImageWorker, FullBackupMakesRoomOnlyFromTavFiles) {
  using namespace files;
  const struct {
    std::string image, old;
    bool goesOn, aside;
    std::string imageAfter, oldAfter;
  } cases[] = {
      {kMissing, kMissing, true, false, kMissing, kMissing},
      {kComplete, kMissing, true, true, kMissing, kComplete},
      {kComplete, kOtherComplete, true, true, kMissing, kComplete},
      {kComplete, kUnfinished, true, true, kMissing, kComplete},
      {kComplete, kForeign, false, false, kComplete, kForeign},
      {kUnfinished, kComplete, true, true, kMissing, kComplete},
      {kDamaged, kMissing, true, false, kMissing, kMissing},
      {kUnfinished, kForeign, true, false, kMissing, kForeign},
      {kForeign, kMissing, false, false, kForeign, kMissing},
      {kForeign, kComplete, false, false, kForeign, kComplete},
  };
  test::TempFolder dir;
  const std::string image = (dir.Path() / "Img.TAV").string(), old = image + ".old";
  int i = 0;
  for (const auto& c : cases) {
    Put(image, c.image);
    Put(old, c.old);
    bool aside = !c.aside;
    const std::string why = MakeRoomForFullImage(image, aside);
    EXPECT_EQ(why.empty(), c.goesOn) << i << ": " << why;
    EXPECT_EQ(aside, c.aside) << i;
    EXPECT_EQ(Get(image), c.imageAfter) << i;
    EXPECT_EQ(Get(old), c.oldAfter) << i;
    ++i;
  }
}

TEST(ImageWorker, PreviousImageGoesBackOverNothingOrAnUnfinishedOne) {
  using namespace files;
  const struct {
    std::string image, old;
    bool back;
  } cases[] = {
      {kUnfinished, kComplete, true}, {"", kComplete, true},           {kMissing, kComplete, true},
      {kComplete, kOtherComplete, false}, {kDamaged, kComplete, false}, {kForeign, kComplete, false},
      {kMissing, kUnfinished, false}, {kUnfinished, kForeign, false},   {kMissing, kMissing, false},
  };
  test::TempFolder dir;
  const std::string image = (dir.Path() / "Img.TAV").string(), old = image + ".old";
  int i = 0;
  for (const auto& c : cases) {
    Put(image, c.image);
    Put(old, c.old);
    const std::string note = PutBackInterruptedImage(image);
    EXPECT_EQ(!note.empty(), c.back) << i << ": " << note;
    EXPECT_EQ(Get(image), c.back ? c.old : c.image) << i;
    EXPECT_EQ(Get(old), c.back ? kMissing : c.old) << i;
    ++i;
  }
}

}  // namespace
}  // namespace orva::service
