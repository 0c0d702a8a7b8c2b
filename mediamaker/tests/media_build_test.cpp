// The build script's texts and the checks of what goes into it.
#include <gtest/gtest.h>

#include "contracts/schedule_file.h"
#include "core/media_build.h"

using namespace orva::media;

namespace {

JobRecord Job(const char* name, int type, const char* image) {
  JobRecord r{};
  snprintf(r.jobName, sizeof r.jobName, "%s", name);
  r.jobType = type;
  snprintf(r.driveLetter, sizeof r.driveLetter, "C");
  snprintf(r.volumeSize, sizeof r.volumeSize, "100 GB");
  snprintf(r.imagePath, sizeof r.imagePath, "%s", image);
  snprintf(r.baseImagePath, sizeof r.baseImagePath, "none");
  snprintf(r.reservedText1, sizeof r.reservedText1, "none");
  snprintf(r.reservedText2, sizeof r.reservedText2, "none");
  snprintf(r.scheduleKind, sizeof r.scheduleKind, "once");
  snprintf(r.scheduleTime, sizeof r.scheduleTime, "10:00");
  r.daily = r.weekly = r.monthly = 'n';
  for (char& d : r.weekdays) d = 'n';
  r.dayOfMonth = 1;
  r.runState = 2;
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0, end;
  while ((end = text.find("\r\n", start)) != std::string::npos) {
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return out;
}

}  // namespace

TEST(Schedule, ReadsTheServicesFileWithBlanksAndKeepsTheRunState) {
  std::vector<JobRecord> jobs = {Job("Daily system", 300, "D:\\Repo\\Daily system.TAV"), Job("Mirror", 304, "none"),
                                 Job("Disc", 306, "D:\\Repo\\Disc.TAV")};
  jobs[0].runState = 0;
  std::vector<JobRecord> read = ReadSchedule(orva::service::FormatScheduleFile(jobs));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_STREQ(read[0].jobName, "Daily system");
  EXPECT_STREQ(read[0].imagePath, "D:\\Repo\\Daily system.TAV");
  EXPECT_EQ(read[0].runState, 0);
  EXPECT_EQ(read[2].jobType, 306);
  EXPECT_EQ(read[0].weekdays[6], 'n');
  EXPECT_TRUE(IsImageBackup(read[0]));
  EXPECT_FALSE(IsImageBackup(read[1]));
  EXPECT_TRUE(IsImageBackup(read[2]));
}

TEST(Schedule, CutsLongLinesStopsAtFiftyAndAtMissingLines) {
  std::string text = "Schedule Number: 60\r\n";
  for (int j = 0; j < 60; ++j) {
    text += std::string(j == 0 ? 200 : 3, 'N') + "\r\n300\r\n0\r\nC\r\n1 GB\r\n" + std::string(j == 0 ? 900 : 4, 'P') +
            "\r\nnone\r\n1\r\n\r\n\r\n\r\nnone\r\nnone\r\nonce\r\n10:00\r\n";
    for (int f = 0; f < 10; ++f) text += "n\r\n";
    text += "1\r\n";
  }
  std::vector<JobRecord> read = ReadSchedule(text);
  ASSERT_EQ(read.size(), 50u);
  EXPECT_EQ(std::string(read[0].jobName), std::string(49, 'N'));
  EXPECT_EQ(std::string(read[0].imagePath), std::string(511, 'P'));
  EXPECT_EQ(ReadSchedule("Schedule Number: 2\r\nOnly\r\n300\r\n").size(), 0u);
  EXPECT_EQ(ReadSchedule("nothing").size(), 0u);
  EXPECT_EQ(ReadSchedule("").size(), 0u);
}

TEST(Texts, ChainAndDiskSizes) {
  const int64_t mib = 1048576;
  EXPECT_EQ(ChainSizeText(999 * mib), "( 999 MB )");
  EXPECT_EQ(ChainSizeText(1000 * mib), "( 1.000 GB )");
  EXPECT_EQ(ChainSizeText((int64_t)(4.6 * 1073741824.0)), "( 4.710 GB )");
  EXPECT_EQ(ChainSizeText(0), "( 0 MB )");
  EXPECT_EQ(DiskSizeText(8004304896LL), "7.633 GB");
  EXPECT_EQ(DiskSizeText(500 * mib), "500 MB");
  EXPECT_EQ(DiskSizeText(mib - 1), "0 MB");
  EXPECT_TRUE(FitsOnDvd((int64_t)(4.6 * 1073741824.0)));
  EXPECT_TRUE(FitsOnDvd(5046586572LL));
  EXPECT_FALSE(FitsOnDvd(5046586573LL));
}

TEST(Texts, CopyProgress) {
  EXPECT_EQ(CopyProgressText(1000, 1000), "[100 %] Transffered: 1000, TotalSize: 1000");
  EXPECT_EQ(CopyProgressText(250, 1000), "[25 %] Transffered: 250, TotalSize: 1000");
  EXPECT_EQ(CopyProgressText(0, 0), "[100 %] Transffered: 0, TotalSize: 0");
  EXPECT_NEAR(CopyPercent(UINT64_MAX / 2, UINT64_MAX), 50, 1);  // no overflow
  EXPECT_EQ(CopyPercent(5, 3), 100);
}

TEST(Paths, FoldersOfTheInstallation) {
  EXPECT_EQ(ExeFolderOf("C:\\Orvanta\\bin\\OrvaMediaMaker.exe"), "C:\\Orvanta\\bin\\");
  EXPECT_EQ(ParentFolderOf("C:\\Orvanta\\bin\\"), "C:\\Orvanta");
  EXPECT_EQ(ParentFolderOf("C:\\bin\\"), "C:");
  EXPECT_EQ(ExeFolderOf("nothing"), "");
  EXPECT_EQ(ParentFolderOf(""), "");
}

TEST(Paths, IsoNames) {
  EXPECT_EQ(DefaultIsoPath("D:\\Repo\\Daily.TAV"), "D:\\REPO\\DAILY.iso");
  EXPECT_EQ(DefaultIsoPath("D:\\Repo\\daily.tav"), "D:\\REPO\\DAILY.iso");
  EXPECT_EQ(DefaultIsoPath("D:\\Repo\\Daily.img"), "");
  EXPECT_EQ(NormaliseIsoPath("d:\\media\\backup"), "D:\\MEDIA\\BACKUP.ISO");
  EXPECT_EQ(NormaliseIsoPath("D:\\x.iso"), "D:\\X.ISO");
  EXPECT_EQ(NormaliseIsoPath("D:\\iso.iso\\out"), "D:\\ISO.ISO\\OUT");
  EXPECT_EQ(IsoPathInFolder("E:\\", "Daily"), "E:\\Daily.iso");
  EXPECT_EQ(IsoPathInFolder("E:\\Media", "Daily"), "E:\\Media\\Daily.iso");
  // A share keeps the double backslash it starts with; doubled ones after it become single.
  EXPECT_EQ(IsoPathInFolder("\\\\server\\share", "Daily"), "\\\\server\\share\\Daily.iso");
  EXPECT_EQ(IsoPathInFolder("\\\\server\\share\\", "Daily"), "\\\\server\\share\\Daily.iso");
  EXPECT_EQ(FolderOf("E:\\DAILY.ISO"), "E:\\");
  EXPECT_EQ(FolderOf("E:\\Media\\DAILY.ISO"), "E:\\Media\\");
  EXPECT_EQ(FileNameOf("D:\\Repo\\Daily_i1.TAV"), "Daily_i1.TAV");
}

TEST(Paths, UsbTargetsAndOverlaps) {
  EXPECT_EQ(UsbImageTarget("E:", "Daily"), "E:\\ORVANTA\\Daily.TAV");
  EXPECT_EQ(UsbImageTarget("E:\\", "Daily"), "E:\\ORVANTA\\Daily.TAV");
  EXPECT_EQ(UsbImageTarget("Z:\\usb\\", "Daily"), "Z:\\usb\\ORVANTA\\Daily.TAV");
  EXPECT_TRUE(IsSameOrBelow("c:\\orvanta\\bin\\orvape\\x", "C:\\Orvanta\\bin\\ORVAPE"));
  EXPECT_TRUE(IsSameOrBelow("C:\\Orvanta\\bin\\ORVAPE\\", "C:\\Orvanta\\bin\\ORVAPE"));
  EXPECT_FALSE(IsSameOrBelow("C:\\Orvanta\\bin\\ORVAPE2", "C:\\Orvanta\\bin\\ORVAPE"));
  EXPECT_FALSE(IsSameOrBelow("C:\\Orvanta", "C:\\Orvanta\\bin\\ORVAPE"));
}

TEST(Paths, DrivesOfPaths) {
  EXPECT_EQ(DriveOf("c:\\Windows"), "C:");
  EXPECT_EQ(DriveOf("E:"), "E:");
  EXPECT_EQ(DriveOf("E:\\sub\\"), "E:");
  EXPECT_EQ(DriveOf("\\\\Server\\Share\\sub"), "\\\\server\\share");
  EXPECT_EQ(DriveOf("\\\\Server\\Share"), "\\\\server\\share");
  EXPECT_EQ(DriveOf("\\\\Server"), "");
  EXPECT_EQ(DriveOf("usb"), "");
  EXPECT_EQ(DriveOf(""), "");
}

TEST(Checks, QuotesPercentsAndControlsNeverReachTheScript) {
  EXPECT_EQ(CheckScriptText("D:\\Media & more\\(x)^!.ISO", "The ISO image name"), "");
  EXPECT_NE(CheckScriptText("D:\\Me\"dia\\X.ISO", "The ISO image name").find("\""), std::string::npos);
  EXPECT_NE(CheckScriptText("D:\\%TEMP%\\X.ISO", "The ISO image name").find("%"), std::string::npos);
  EXPECT_NE(CheckScriptText("D:\\a\nb", "x"), "");
  EXPECT_NE(CheckScriptText("", "The USB path"), "");
  EXPECT_EQ(CheckFullPath("D:\\X.ISO", "n"), "");
  EXPECT_EQ(CheckFullPath("\\\\server\\share\\X.ISO", "n"), "");
  EXPECT_NE(CheckFullPath("X.ISO", "n"), "");
  EXPECT_NE(CheckFullPath("D:X.ISO", "n"), "");
  EXPECT_NE(CheckFullPath("\\X.ISO", "n"), "");
  EXPECT_EQ(CheckFileName("Daily system", "n"), "");
  EXPECT_NE(CheckFileName("a\\b", "n"), "");
  EXPECT_NE(CheckFileName("a:b", "n"), "");
}

TEST(Script, IsoFormPacksUnderAWorkNameAndKeepsTheImagesUnlessTheImageIsWhole) {
  IsoScript s;
  s.exeFolder = "C:\\Orvanta\\bin\\";
  s.isoFolder = "E:\\Media\\";
  s.isoPath = "E:\\MEDIA\\DAILY.ISO";
  s.copyLog = "C:\\Orvanta\\Log\\OrvaISOPECopy.log";
  s.imageFiles = {"D:\\Repo\\Daily.TAV", "D:\\Repo\\Daily_1.TAV", "D:\\Other\\Daily_2.TAV", "D:\\Repo\\Daily_3.TAV"};
  std::vector<std::string> lines = Lines(MakeIsoScript(s));
  std::vector<std::string> want = {
      "@echo off",
      "setlocal EnableExtensions DisableDelayedExpansion",
      "robocopy \"C:\\Orvanta\\bin\\\\ORVAPE\" \"E:\\Media\\\\ORVAPE\" /mir /w:1 /r:1 /tee "
      "/log:\"C:\\Orvanta\\Log\\OrvaISOPECopy.log\"",
      "if errorlevel 8 goto failed",
      "move /y \"D:\\Repo\\Daily.TAV\" \"E:\\Media\\\\ORVAPE\\ORVANTA\\\" ",
      "if not exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily.TAV\" goto failed",
      "move /y \"D:\\Repo\\Daily_1.TAV\" \"E:\\Media\\\\ORVAPE\\ORVANTA\\\" ",
      "if not exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_1.TAV\" goto failed",
      "move /y \"D:\\Other\\Daily_2.TAV\" \"E:\\Media\\\\ORVAPE\\ORVANTA\\\" ",
      "if not exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_2.TAV\" goto failed",
      "move /y \"D:\\Repo\\Daily_3.TAV\" \"E:\\Media\\\\ORVAPE\\ORVANTA\\\" ",
      "if not exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_3.TAV\" goto failed",
      "\"C:\\Orvanta\\bin\\\\OSCDIMG.EXE\" -m -lOrvanta -b\"C:\\Orvanta\\bin\\\\etfsboot.com\" -n "
      "\"E:\\Media\\\\ORVAPE\" \"E:\\MEDIA\\DAILY.ISO.PART\"",
      "if errorlevel 1 goto failed",
      "if not errorlevel 0 goto failed",
      "if not exist \"E:\\MEDIA\\DAILY.ISO.PART\" goto failed",
      "move /y \"E:\\MEDIA\\DAILY.ISO.PART\" \"E:\\MEDIA\\DAILY.ISO\" ",
      "if exist \"E:\\MEDIA\\DAILY.ISO.PART\" goto failed",
      "if not exist \"E:\\MEDIA\\DAILY.ISO\" goto failed",
      "rd /s /q \"E:\\Media\\\\ORVAPE\" ",
      "exit /b 0",
      ":failed",
      "if exist \"E:\\MEDIA\\DAILY.ISO.PART\" del /f /q \"E:\\MEDIA\\DAILY.ISO.PART\"",
      "if exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily.TAV\" move /y \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily.TAV\" "
      "\"D:\\Repo\\\"",
  };
  ASSERT_GT(lines.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(lines[i], want[i]) << "line " << i;
  EXPECT_EQ(lines[want.size() + 1],
            "if exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_2.TAV\" move /y "
            "\"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_2.TAV\" \"D:\\Other\\\"");
  // The staging folder goes only when no image file is left in it.
  EXPECT_EQ(lines[lines.size() - 3], "if exist \"E:\\Media\\\\ORVAPE\\ORVANTA\\Daily_3.TAV\" exit /b 1");
  EXPECT_EQ(lines[lines.size() - 2], "if exist \"E:\\Media\\\\ORVAPE\" rd /s /q \"E:\\Media\\\\ORVAPE\"");
  EXPECT_EQ(lines.back(), "exit /b 1");
}

TEST(Script, IsoFormWithoutABackupPacksTheRecoveryEnvironmentOnly) {
  IsoScript s{"C:\\O\\", "E:\\", "E:\\X.ISO", "C:\\Log\\l.log", {}};
  std::string text = MakeIsoScript(s);
  EXPECT_EQ(text.find("ORVANTA"), std::string::npos);
  EXPECT_NE(text.find("\"E:\\\\ORVAPE\" \"E:\\X.ISO.PART\""), std::string::npos);
}

TEST(Script, UsbFormQuotesTheMediumsRoot) {
  for (const char* usb : {"E:", "E:\\"}) {
    std::vector<std::string> lines = Lines(MakeUsbScript({"C:\\Orvanta\\bin\\", usb, "C:\\Orvanta\\Log\\c.log"}));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "setlocal EnableExtensions DisableDelayedExpansion");
    EXPECT_EQ(lines[2],
              "robocopy \"C:\\Orvanta\\bin\\\\ORVAPE\" \"E:\\\\\" /e /w:1 /r:1 /tee "
              "/log:\"C:\\Orvanta\\Log\\c.log\"");
    EXPECT_EQ(lines[3], "if errorlevel 8 exit /b 1");
    EXPECT_EQ(lines[4], "exit /b 0");
  }
}
