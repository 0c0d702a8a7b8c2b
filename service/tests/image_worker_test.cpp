#include "win/image_worker.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace orva::service
