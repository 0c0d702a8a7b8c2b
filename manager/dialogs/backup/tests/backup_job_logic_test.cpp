// The records and texts of the start-backup, one-click and add-image dialogs.
#include <gtest/gtest.h>

#include "backup_job_logic.h"
#include "contracts/job_record_check.h"

using namespace orva::manager::backup;
using orva::service::FieldText;
using orva::service::JobRecord;
using orva::service::ValidateJobRecord;

namespace {
std::string Why(const JobRecord& r) {
  std::string why;
  return ValidateJobRecord(r, why) ? "" : why;
}
}  // namespace

TEST(BackupJobLogic, SizeTextSwitchesToGigabytesAtAThousandMebibytes) {
  EXPECT_EQ(SizeText(0), "0 MB");
  EXPECT_EQ(SizeText(999LL * 1048576 + 1048575), "999 MB");
  EXPECT_EQ(SizeText(1000LL * 1048576), "1.000 GB");
  EXPECT_EQ(SizeText(1536LL * 1048576), "1.536 GB");
  EXPECT_EQ(SizeText(122100LL * 1048576), "122.100 GB");
}

TEST(BackupJobLogic, OneClickRecordProposesAFullBackupOfDriveC) {
  const std::string name = OneClickJobName(2011, 1, 1, 9, 5, 3);
  EXPECT_EQ(name, "OrvaBackup_C_2011_01010905_03");
  JobRecord r = OneClickRecord(name, "12.345 GB", "D:\\Orvanta");
  EXPECT_EQ(r.code, 200);
  EXPECT_EQ(r.jobType, 300);
  EXPECT_EQ(r.runState, 0);
  EXPECT_EQ(FieldText(r.jobName), name);
  EXPECT_EQ(FieldText(r.driveLetter), "C");
  EXPECT_EQ(FieldText(r.volumeSize), "12.345 GB");
  EXPECT_EQ(FieldText(r.imagePath), "D:\\Orvanta\\OrvaBackup_C_2011_01010905_03.TAV");
  EXPECT_EQ(FieldText(r.baseImagePath), "none");
  EXPECT_EQ(FieldText(r.excludeList), "");
  EXPECT_EQ(r.compressionLevel, 1);
  EXPECT_EQ(FieldText(r.scheduleKind), "once");
  EXPECT_EQ(r.daily, 'n');
  EXPECT_EQ(r.weekly, 'n');
  EXPECT_EQ(r.monthly, 'n');
  for (char d : r.weekdays) EXPECT_EQ(d, 'n');
  EXPECT_EQ(FieldText(r.sourceFolder), "none");
  EXPECT_EQ(FieldText(r.reservedText2), "none");
  EXPECT_EQ(r.dayOfMonth, 0);
  EXPECT_EQ(Why(r), "");
}

TEST(BackupJobLogic, RepositoryListEntriesEndWithABar) {
  EXPECT_EQ(SplitRepositoryList("D:\\Images|X:|E:\\Last"), (std::vector<std::string>{"D:\\Images", "X:"}));
  EXPECT_EQ(SplitRepositoryList("D:\\A|E:\\B|"), (std::vector<std::string>{"D:\\A", "E:\\B"}));
  EXPECT_TRUE(SplitRepositoryList("").empty());
}

TEST(BackupJobLogic, PathsForAnotherDriveAndAnotherFolder) {
  EXPECT_EQ(PathForDrive("D:\\Orvanta\\OrvaBackup_C_2011_01010905_03.TAV", 'D'),
            "D:\\Orvanta\\OrvaBackup_D_2011_01010905_03.TAV");
  // Only the file name changes; doubled separators become one.
  EXPECT_EQ(PathForDrive("D:\\My_C_Files\\\\OrvaBackup_C_1.TAV", 'E'), "D:\\My_C_Files\\OrvaBackup_E_1.TAV");
  EXPECT_EQ(PathInFolder("E:\\", "D:\\Orvanta\\Job.TAV"), "E:\\Job.TAV");
  EXPECT_EQ(PathInFolder("\\\\server\\share\\img", "D:\\Orvanta\\Job.TAV"), "\\\\server\\share\\img\\Job.TAV");
  EXPECT_EQ(CollapseBackslashes("C:\\\\a\\\\\\b"), "C:\\a\\b");
  PathParts p = SplitPath("D:\\a.b\\name.tav.TAV");
  EXPECT_EQ(p.folder, "D:\\a.b\\");
  EXPECT_EQ(p.name, "name.tav");
  EXPECT_EQ(p.extension, ".TAV");
}

TEST(BackupJobLogic, StartTakesThePathAndNamesTheJobAfterIt) {
  JobRecord r = OneClickRecord("OrvaBackup_C_2011_01010905_03", "1 MB", "D:\\Orvanta");
  EXPECT_EQ(ApplyBackupPath(r, 'D', "3 MB", "E:\\Backups\\Monday"), "");
  EXPECT_EQ(FieldText(r.imagePath), "E:\\Backups\\Monday.TAV");
  EXPECT_EQ(FieldText(r.jobName), "Monday");
  EXPECT_EQ(FieldText(r.driveLetter), "D");
  EXPECT_EQ(FieldText(r.volumeSize), "3 MB");
  EXPECT_EQ(ApplyBackupPath(r, 'C', "3 MB", "E:\\Backups\\Tuesday.tav"), "");
  EXPECT_EQ(FieldText(r.imagePath), "E:\\Backups\\Tuesday.tav.TAV");
  EXPECT_EQ(FieldText(r.jobName), "Tuesday.tav");
  EXPECT_EQ(Why(r), "");

  // Refused, the record unchanged.
  const JobRecord before = r;
  for (const char* bad :
       {"Monday", "\\Monday.TAV", "E:\\Backups\\.TAV", "E:\\Backups\\100%.TAV", "E:\\Backups\\it's.TAV"}) {
    EXPECT_EQ(ApplyBackupPath(r, 'C', "3 MB", bad), kInvalidBackupPath) << bad;
    EXPECT_EQ(memcmp(&r, &before, sizeof r), 0) << bad;
  }
  EXPECT_EQ(ApplyBackupPath(r, 'C', "3 MB", "E:\\" + std::string(50, 'n')), kInvalidBackupPath);
  EXPECT_EQ(ApplyBackupPath(r, 'C', "3 MB", "E:\\" + std::string(49, 'n')), "");
  EXPECT_EQ(ApplyBackupPath(r, 'C', "3 MB", "E:\\" + std::string(520, 'f') + "\\a"), kInvalidBackupPath);
}

TEST(BackupJobLogic, ExistingImagesBecomeDisarmedJobsOfTheirChainsKind) {
  TavImageHeader h;
  h.compressionLevel = 4;
  h.driveLetter = 'd';
  JobRecord r{};
  ASSERT_EQ(ExistingImageRecord("E:\\Repo\\Sub\\Server.TAV", h, -1, r), "");
  EXPECT_EQ(r.code, 200);
  EXPECT_EQ(r.runState, 2);
  EXPECT_EQ(r.jobType, 300);
  EXPECT_EQ(r.compressionLevel, 9);
  EXPECT_EQ(FieldText(r.jobName), "Server");
  EXPECT_EQ(FieldText(r.imagePath), "E:\\Repo\\Sub\\Server.TAV");
  EXPECT_EQ(FieldText(r.driveLetter), "D");
  EXPECT_EQ(FieldText(r.scheduleKind), "once");
  EXPECT_EQ(FieldText(r.baseImagePath), "none");
  EXPECT_EQ(FieldText(r.volumeSize), "");
  EXPECT_EQ(Why(r), "");

  h.compressionLevel = 0;
  h.driveLetter = '*';
  for (int kind = 0; kind <= 3; ++kind) {
    ASSERT_EQ(ExistingImageRecord("E:\\Repo\\Server.TAV", h, kind, r), "");
    EXPECT_EQ(r.jobType, 300 + kind);
    EXPECT_EQ(r.compressionLevel, 0);
    EXPECT_EQ(FieldText(r.driveLetter), "*");
  }
  h.compressionLevel = 1;
  ASSERT_EQ(ExistingImageRecord("E:\\Repo\\Server.TAV", h, 2, r), "");
  EXPECT_EQ(r.compressionLevel, 1);

  JobRecord untouched{};
  EXPECT_EQ(ExistingImageRecord("E:\\Repo\\Server.TAV", h, 7, untouched), kImageNameUnusable);
  EXPECT_EQ(ExistingImageRecord("E:\\Repo\\" + std::string(50, 'x') + ".TAV", h, -1, untouched), kImageNameUnusable);
  EXPECT_EQ(ExistingImageRecord("E:\\Repo\\100%.TAV", h, -1, untouched), kImageNameUnusable);
  EXPECT_EQ(untouched.code, 0);
}

TEST(BackupJobLogic, RegisteredImagesAreFoundWhateverTheirCase) {
  std::vector<JobRecord> jobs(2);
  orva::service::SetFieldText(jobs[1].imagePath, "e:\\repo\\server.tav");
  EXPECT_TRUE(ImageRegistered(jobs, "E:\\Repo\\Server.TAV"));
  EXPECT_FALSE(ImageRegistered(jobs, "E:\\Repo\\Other.TAV"));
}

TEST(BackupJobLogic, DetailTexts) {
  TavImageHeader h;
  h.startYear = 2010;
  h.startMonth = 3;
  h.startDay = 5;
  h.startHour = 14;
  h.startMinute = 7;
  h.startSecond = 9;
  h.driveLetter = 'C';
  h.diskNumber = 0;
  h.partitionNumber = 2;
  EXPECT_EQ(StartTimeText(h), "2010.03.05 14:07:09");
  EXPECT_EQ(BackupDriveText(h), "C Drive (Disk 0 Partition 2)");
  EXPECT_EQ(ImageKindText(1), "Update Backup");
  EXPECT_EQ(ImageKindText(3), "Differential Backup");
  EXPECT_EQ(CompressionText(0), "None");
  EXPECT_EQ(CompressionText(1), "Normal");
  EXPECT_EQ(CompressionText(9), "High");
}
