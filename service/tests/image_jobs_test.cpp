#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/file_stream.h"
#include "core/image_header.h"
#include "core/image_jobs.h"
#include "service_test_util.h"

namespace orva::service {
namespace {

TEST(ImageJobs, ScriptShadowToolByCaption) {
  const struct {
    const char* caption;
    const char* program;
    const char* settings;
  } cases[] = {
      {"Microsoft Windows XP Professional [32bit]", "vshadow_xp.exe", "L:\\Log"},
      {"Microsoft Windows XP Professional x64 Edition [64bit]", "vshadow_xp.exe", "L:\\Log"},
      {"Microsoft Windows Vista Business [32bit]", "vshadow.exe", "L:\\Log"},
      {"Microsoft Windows 7 Professional [64bit]", "vshadow_amd64.exe", "C:\\Windows\\syswow64"},
      {"Microsoft Windows 10 Pro [64bit]", "vshadow_amd64.exe", "C:\\Windows\\syswow64"},
      {"Microsoft Windows 7 Ultimate [32bit]", "vshadow.exe", "L:\\Log"},
      {"microsoft windows xp [32bit]", "vshadow.exe", "L:\\Log"},  // the test is case-sensitive
      {"WMI ERROR\nFailed to connect", "vshadow.exe", "L:\\Log"},
      {"", "vshadow.exe", "L:\\Log"},
  };
  for (const auto& c : cases) {
    const ScriptShadowTool tool = ChooseScriptShadowTool(c.caption, "C:\\Windows\\", "L:\\Log");
    EXPECT_EQ(tool.program, c.program) << c.caption;
    EXPECT_EQ(tool.settingsFolder, c.settings) << c.caption;
  }
  EXPECT_EQ(ChooseScriptShadowTool("Windows 7 [64bit]", "", "L:\\Log").settingsFolder, "L:\\Log");
}

// Image files made here with the engine's own writers.
class ImageFiles : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir.Path() / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  // A format-4000 image: prologue, body, header table, image header.
  std::string Image4000(const std::string& name, bool finish, size_t cut = 0) {
    const std::string path = (dir.Path() / name).string();
    FileStream image, work;
    EXPECT_TRUE(image.Open(path.c_str(), "w+b"));
    EXPECT_TRUE(work.Open((path + ".work").c_str(), "w+b"));
    WritePrologue(image, TavImagePrologue{4000, 0, 0});
    image.WriteAll("compressed body", 15);
    work.WriteAll("header table 600", 16);
    TavImageHeader header;
    header.imagePath = L"Img.TAV";
    header.comment = L"Windows";
    header.increments = {L"Img_0001.TAV"};
    header.Write(work);
    if (finish) {
      EXPECT_TRUE(AttachHeaderToBody(image, work, 16));
    }
    image.Close();
    work.Close();
    std::remove((path + ".work").c_str());
    if (cut) {
      std::ifstream in(path, std::ios::binary);
      std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      in.close();
      Write(name, all.substr(0, all.size() - cut));
    }
    return path;
  }
  static std::string Prologue(int32_t version, int64_t offset, int64_t length) {
    std::string p(20, '\0');
    std::memcpy(&p[0], &version, 4);
    std::memcpy(&p[4], &offset, 8);
    std::memcpy(&p[12], &length, 8);
    return p;
  }
  test::TempFolder dir;
};

TEST_F(ImageFiles, StatesFromThePrologueAndTheImageHeader) {
  const struct {
    std::string path;
    ImageFileState state;
  } cases[] = {
      {(dir.Path() / "missing.TAV").string(), ImageFileState::kMissing},
      {Image4000("whole.TAV", true), ImageFileState::kComplete},
      {Image4000("unfinished.TAV", false), ImageFileState::kUnfinished},
      {Image4000("cut.TAV", true, 3), ImageFileState::kDamaged},
      {Write("empty.TAV", ""), ImageFileState::kUnfinished},
      {Write("bare4000.TAV", Prologue(4000, 0, 0)), ImageFileState::kUnfinished},
      {Write("empty3000.TAV", Prologue(3000, 0, 0)), ImageFileState::kComplete},
      {Write("whole3000.TAV", Prologue(3000, 4, 6) + "body" + "table!"), ImageFileState::kComplete},
      {Write("unfinished3000.TAV", Prologue(3000, 0, 0) + "body"), ImageFileState::kUnfinished},
      {Write("long3000.TAV", Prologue(3000, 4, 6) + "body" + "table!" + "x"), ImageFileState::kDamaged},
      {Write("past.TAV", Prologue(4000, 400, 6) + "body"), ImageFileState::kDamaged},
      {Write("negative.TAV", Prologue(4000, -4, 6) + "body"), ImageFileState::kDamaged},
      {Write("text.TAV", "These are my notes, not an image.\r\n"), ImageFileState::kForeign},
      {Write("short.TAV", "TAV"), ImageFileState::kForeign},
      {Write("version.TAV", Prologue(4001, 0, 0)), ImageFileState::kForeign},
      {dir.Path().string(), ImageFileState::kForeign},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReadImageFileState(c.path), c.state) << c.path << ": " << ImageFileStateText(ReadImageFileState(c.path));
}

TEST(ImageJobs, PreviousImageGoesBackOnlyOverNothingOrAnUnfinishedImage) {
  using S = ImageFileState;
  const struct {
    S image, previous;
    bool back;
  } cases[] = {
      {S::kMissing, S::kComplete, true},    {S::kUnfinished, S::kComplete, true}, {S::kComplete, S::kComplete, false},
      {S::kDamaged, S::kComplete, false},   {S::kForeign, S::kComplete, false},   {S::kMissing, S::kUnfinished, false},
      {S::kUnfinished, S::kDamaged, false}, {S::kMissing, S::kForeign, false},    {S::kMissing, S::kMissing, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ShouldPutBackPreviousImage(c.image, c.previous), c.back)
        << ImageFileStateText(c.image) << " / " << ImageFileStateText(c.previous);
  EXPECT_TRUE(MayReplaceImage(S::kDamaged));
  EXPECT_FALSE(MayReplaceImage(S::kForeign));
  EXPECT_FALSE(MayReplaceImage(S::kMissing));
  EXPECT_EQ(PreviousImagePath("D:\\R\\Img.TAV"), "D:\\R\\Img.TAV.old");
}

}  // namespace
}  // namespace orva::service
