#include <gtest/gtest.h>

#include "contracts/job_record_check.h"

namespace orva::service {
namespace {

constexpr char kWindows[] = "C:\\Windows";
constexpr char kService[] = "C:\\Program Files\\Orvanta\\";

TEST(JobPaths, ImagePathsMustBeFullPathsOfTavFiles) {
  const struct {
    int32_t type;
    const char* path;
    bool ok;
  } cases[] = {
      {300, "D:\\Orvanta\\Daily.TAV", true},
      {301, "d:\\orvanta\\daily.tav", true},
      {302, "\\\\nas\\backup\\Daily.Tav", true},
      {303, "E:\\\\Daily.TAV", true},  // a drive-root repository doubles the separator
      {306, "D:\\Iso\\ORVAPE\\IMAGE\\C.TAV", true},
      {300, "D:/Orvanta/Daily.TAV", true},
      {300, "E:\\Orvanta\\PROGRA~1.TAV", true},  // short forms are compared nowhere here
      {300, "D:\\Orvanta\\Daily.TAV.", true},    // Windows drops the final dot
      {300, "D:\\Orvanta\\Daily.txt", false},
      {300, "D:\\Orvanta\\Daily.TAV.txt", false},
      {300, "D:\\Orvanta\\Daily", false},
      {300, "D:\\Orvanta\\.TAV", false},
      {300, "C:\\Windows\\system32\\config\\SAM", false},
      {300, "", false},
      {300, "Daily.TAV", false},
      {300, "Orvanta\\Daily.TAV", false},
      {300, "\\Orvanta\\Daily.TAV", false},
      {300, "D:Daily.TAV", false},
      {300, "D:\\", false},
      {300, "\\\\nas\\backup", false},
      {300, "\\\\nas\\Daily.TAV", false},
      {300, "D:\\Orvanta\\..\\Windows\\Daily.TAV", false},
      {300, "D:\\Orvanta\\.\\Daily.TAV", false},
      {300, "D:\\Orvanta\\...\\Daily.TAV", false},
      {300, "D:\\Orvanta\\.. \\Daily.TAV", false},
      {300, "D:/Orvanta/../Daily.TAV", false},
      {300, "\\\\?\\D:\\Orvanta\\Daily.TAV", false},
      {300, "\\\\.\\D:\\Orvanta\\Daily.TAV", false},
      {300, "D:\\Orvanta\\notes.txt:x.TAV", false},  // a stream of another file
      {300, "D:\\Orvanta\\a*.TAV", false},
      {300, "D:\\Orvanta\\CON.TAV", false},
      {300, "D:\\Orvanta\\lpt1.tav", false},
      {306, "D:\\Iso\\..\\ORVAPE\\IMAGE\\C.TAV", false},
      {304, "anything", true},  // no image
      {305, "", true},
  };
  for (const auto& c : cases) {
    const std::string why = ImagePathProblem(c.type, c.path);
    EXPECT_EQ(why.empty(), c.ok) << c.type << " " << c.path << ": " << why;
  }
}

TEST(JobPaths, IsoStagingKeepsClearOfTheServiceAndWindows) {
  const struct {
    const char* path;
    bool ok;
  } cases[] = {
      {"D:\\Iso\\ORVAPE\\IMAGE\\C.TAV", true},
      {"D:\\ORVAPE\\IMAGE\\C.TAV", true},  // a root of another drive
      {"C:\\Media\\Iso\\ORVAPE\\IMAGE\\x\\C.TAV", true},
      {"C:\\Program Files\\Orvanta\\ORVAPE\\IMAGE\\C.TAV", false},  // the recovery tree itself
      {"c:\\program files\\orvanta\\ORVAPE\\IMAGE\\C.TAV", false},
      {"C:\\Program Files\\Orvanta\\Sub\\ORVAPE\\IMAGE\\C.TAV", false},
      {"C:\\Program Files\\ORVAPE\\IMAGE\\C.TAV", false},  // above the service folder
      {"C:\\ORVAPE\\IMAGE\\C.TAV", false},
      {"C:\\Windows\\ORVAPE\\IMAGE\\C.TAV", false},
      {"C:\\Windows\\Temp\\ORVAPE\\IMAGE\\C.TAV", false},
      {"C:\\PROGRA~1\\Orvanta\\ORVAPE\\IMAGE\\C.TAV", false},
      {"\\\\host\\C$\\Program Files\\Orvanta\\ORVAPE\\IMAGE\\C.TAV", false},
      {"D:\\Iso\\image.TAV", false},
      {"D:\\Iso\\orvape\\image\\C.TAV", false},  // the folder names are matched as written
      {"D:\\Iso\\MYORVAPE\\IMAGE\\C.TAV", false},
      {"D:\\Iso\\ORVAPE\\IMAGES\\C.TAV", false},
      {"D:\\Iso\\ORVAPE\\IMAGE", false},
  };
  for (const auto& c : cases) {
    const std::string why = IsoStagingProblem(c.path, kWindows, kService);
    EXPECT_EQ(why.empty(), c.ok) << c.path << ": " << why;
  }
  EXPECT_FALSE(IsoStagingProblem("D:\\Iso\\ORVAPE\\IMAGE\\C.TAV", kWindows, "").empty());
}

TEST(JobPaths, ReplicationTargetsAsWindowsReadsThem) {
  const struct {
    const char* source;
    const char* target;
    bool ok;
  } cases[] = {
      {"C:\\Data", "D:\\Mirror", true},
      {"C:\\Data", "D:\\Mirror\\", true},
      {"C:\\Data", "\\\\nas\\backup\\Data", true},
      {"C:\\Data", "\\\\nas\\D$\\Mirror", true},
      {"C:\\Data", "C:\\Data.Copy", true},
      {"C:\\Data", "C:\\Win", true},
      {"C:\\Data", "C:\\Program Files\\Other", true},
      // drive and share roots
      {"C:\\Data", "D:\\\\", false},
      {"C:\\Data", "D:\\.", false},
      {"C:\\Data", "\\\\nas\\backup\\", false},
      {"C:\\Data", "\\\\nas\\D$", false},
      // the Windows folder, however written
      {"C:\\Data", "C:\\WINDOWS\\", false},
      {"C:\\Data", "C:\\Windows.", false},
      {"C:\\Data", "C:\\Windows \\Temp", false},
      {"C:\\Data", "C:/Windows/Temp", false},
      {"C:\\Data", "C:\\\\Windows", false},
      {"C:\\Data", "\\\\host\\C$\\Windows", false},
      {"C:\\Data", "\\\\host\\ADMIN$\\Temp", false},
      {"C:\\Data", "\\\\?\\C:\\Windows", false},
      {"C:\\Data", "\\\\.\\C:\\Windows", false},
      // the service folder and its parents
      {"C:\\Data", "C:\\Program Files\\Orvanta\\Log", false},
      {"C:\\Data", "C:\\Program Files", false},
      {"C:\\Data", "C:\\PROGRA~1\\Orvanta", false},
      {"C:\\Data", "c:\\program files\\orvanta..", false},
      // inside or above the source
      {"C:\\Data", "C:\\Data", false},
      {"C:\\Data", "C:\\DATA\\", false},
      {"C:\\Data", "C:\\Data.", false},
      {"C:\\Data", "C:\\Data\\Sub\\Copy", false},
      {"C:\\Data\\Sub", "C:\\Data", false},
      {"C:\\Data", "\\\\host\\C$\\Data\\Copy", false},
      {"\\\\nas\\share\\Data", "\\\\NAS\\SHARE\\Data\\Copy", false},
      // not full paths, dots
      {"C:\\Data", "D:\\Mirror\\..\\..\\Windows", false},
      {"C:\\Data", "D:Mirror", false},
      {"C:\\Data", "", false},
      {"", "D:\\Mirror", false},
      {"C:\\Data\\..", "D:\\Mirror", false},
      {"C:\\Data", "D:\\Mirror\\NUL", false},
  };
  for (const auto& c : cases) {
    const std::string why = ReplicationFoldersProblem(c.source, c.target, kWindows, kService);
    EXPECT_EQ(why.empty(), c.ok) << c.source << " -> " << c.target << ": " << why;
  }
  // A guard that is not known guards everything.
  EXPECT_FALSE(ReplicationFoldersProblem("C:\\Data", "D:\\Mirror", "", kService).empty());
  EXPECT_FALSE(ReplicationFoldersProblem("C:\\Data", "D:\\Mirror", kWindows, "Orvanta").empty());
}

TEST(JobPaths, RecordRulesFollowTheJobType) {
  JobRecord r{};
  r.jobType = kFullBackup;
  SetFieldText(r.driveLetter, "C");
  SetFieldText(r.imagePath, "D:\\Repo\\..\\x.TAV");
  EXPECT_FALSE(JobPathsProblem(r, kWindows, kService).empty());
  SetFieldText(r.imagePath, "D:\\Repo\\x.TAV");
  EXPECT_EQ(JobPathsProblem(r, kWindows, kService), "");
  r.jobType = kIsoBackup;
  EXPECT_FALSE(JobPathsProblem(r, kWindows, kService).empty());
  SetFieldText(r.imagePath, "C:\\Program Files\\Orvanta\\ORVAPE\\IMAGE\\x.TAV");
  EXPECT_FALSE(JobPathsProblem(r, kWindows, kService).empty());
  r.jobType = kReplication;
  SetFieldText(r.sourceFolder, "C:\\Data");
  SetFieldText(r.targetFolder, "C:\\Windows\\Data");
  EXPECT_FALSE(JobPathsProblem(r, kWindows, kService).empty());
  SetFieldText(r.targetFolder, "D:\\Data");
  EXPECT_EQ(JobPathsProblem(r, kWindows, kService), "");
}

// The records that were stored and then failed at every run, or ran on
// something else than meant; each check through the record rules, and the
// field each one names.
TEST(JobPaths, RecordsThatCannotRunAreRefusedWithTheirField) {
  const struct {
    int32_t type;
    const char* drive;
    const char* source;
    const char* target;
    const char* image;
    const char* field;  // named in the reason; nullptr when the record may run
  } cases[] = {
      {304, "", "C:\\Data", "D:\\Mirror", "none", nullptr},
      {305, "", "C:\\Data", "D:\\Mirror", "none", nullptr},
      {305, "", "c:/Data", "D:\\Mirror", "none", nullptr},
      {304, "", "C:\\", "D:\\Mirror", "none", nullptr},
      {305, "", "C:\\", "D:\\Mirror", "none", nullptr},
      {304, "", "C:\\Program Files\\Logs", "D:\\Mirror", "none", nullptr},
      {304, "", "C:\\Data", "C:\\Program Files\\Login", "none", nullptr},
      {300, "C", "none", "none", "D:\\Repo\\x.TAV", nullptr},
      {303, "z", "none", "none", "D:\\Repo\\x.TAV", nullptr},
      {306, "D", "none", "none", "E:\\Iso\\ORVAPE\\IMAGE\\D.TAV", nullptr},
      // '%' in a folder
      {304, "", "C:\\100%\\Data", "D:\\Mirror", "none", "source folder"},
      {304, "", "C:\\Data", "D:\\%TEMP%", "none", "target folder"},
      {305, "", "C:\\%x", "D:\\Mirror", "none", "source folder"},
      // a bare drive as source, either type
      {304, "", "C:", "D:\\Mirror", "none", "source folder"},
      {305, "", "c:", "D:\\Mirror", "none", "source folder"},
      // the service's Log folder (beside the service folder), in it and above it
      {304, "", "C:\\Data", "C:\\Program Files\\Log", "none", "target folder"},
      {304, "", "C:\\Data", "c:\\program files\\LOG\\Mirror", "none", "target folder"},
      {305, "", "C:\\Data", "C:\\Program Files\\Log.\\x", "none", "target folder"},
      {304, "", "C:\\Data", "\\\\host\\C$\\Program Files\\Log", "none", "target folder"},
      // a shadow replication of a share or a relative folder
      {305, "", "\\\\nas\\share\\Data", "D:\\Mirror", "none", "source folder"},
      {305, "", "\\\\host\\C$\\Data", "D:\\Mirror", "none", "source folder"},
      {305, "", "Data", "D:\\Mirror", "none", "source folder"},
      // the drive letter of an image job
      {300, "", "none", "none", "D:\\Repo\\x.TAV", "driveLetter"},
      {301, "1", "none", "none", "D:\\Repo\\x.TAV", "driveLetter"},
      {302, ":", "none", "none", "D:\\Repo\\x.TAV", "driveLetter"},
      {306, "\xB9", "none", "none", "E:\\Iso\\ORVAPE\\IMAGE\\D.TAV", "driveLetter"},
  };
  for (const auto& c : cases) {
    JobRecord r{};
    r.jobType = c.type;
    SetFieldText(r.driveLetter, c.drive);
    SetFieldText(r.sourceFolder, c.source);
    SetFieldText(r.targetFolder, c.target);
    SetFieldText(r.imagePath, c.image);
    const std::string why = JobPathsProblem(r, kWindows, kService);
    if (!c.field) {
      EXPECT_EQ(why, "") << c.type << " " << c.source << " -> " << c.target;
    } else {
      EXPECT_NE(why.find(c.field), std::string::npos) << c.type << " " << c.source << " -> " << c.target << ": " << why;
    }
  }
}

TEST(JobPaths, EachCheckAlone) {
  EXPECT_EQ(FolderPercentProblem("C:\\Data", "D:\\Mirror"), "");
  EXPECT_NE(FolderPercentProblem("C:\\Data", "D:\\a%b"), "");
  EXPECT_EQ(BareDriveSourceProblem("C:\\"), "");
  EXPECT_NE(BareDriveSourceProblem("C:").find("write C:\\ "), std::string::npos);  // says what to write
  EXPECT_EQ(LogFolderOf("C:\\Program Files\\Orvanta\\"), "C:\\Program Files\\Log");
  EXPECT_EQ(LogFolderOf("D:\\Orvanta"), "D:\\Log");
  EXPECT_EQ(LogFolderOf("Orvanta"), "");
  EXPECT_EQ(TargetLogFolderProblem("D:\\Log", kService), "");
  EXPECT_NE(TargetLogFolderProblem("C:\\Program Files\\Log", kService), "");
  EXPECT_NE(TargetLogFolderProblem("D:\\Mirror", "Orvanta"), "");  // a Log folder not known guards everything
  EXPECT_EQ(ShadowSourceProblem(kReplication, "\\\\nas\\share"), "");
  EXPECT_NE(ShadowSourceProblem(kReplicationShadow, "\\\\nas\\share"), "");
  EXPECT_EQ(DriveLetterProblem(kReplication, ""), "");
  EXPECT_NE(DriveLetterProblem(kFullBackup, "CD"), "");
  EXPECT_EQ(DriveLetterProblem(kIsoBackup, "C"), "");
}

}  // namespace
}  // namespace orva::service
