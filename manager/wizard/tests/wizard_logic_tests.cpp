// The wizard's rules without windows: texts, names, finishing records.
#include <gtest/gtest.h>

#include "contracts/job_record_check.h"
#include "wizard/wizard_logic.h"

using namespace orva::manager;
using orva::service::FieldText;

namespace {
JobRecord Job(const char* name, int type, const char* drive, const char* kind = "once") {
  JobRecord r{};
  SetWizardField(r.jobName, name);
  r.jobType = type;
  SetWizardField(r.driveLetter, drive);
  SetWizardField(r.scheduleKind, kind);
  return r;
}
}  // namespace

TEST(WizardLogic, SizeTexts) {
  EXPECT_EQ(WizardSizeText(0), "0 MB");
  EXPECT_EQ(WizardSizeText(999LL * 1048576 + 5), "999 MB");
  EXPECT_EQ(WizardSizeText(1000LL * 1048576), "1.000 GB");
  EXPECT_EQ(WizardSizeText(61035LL * 1048576), "61.035 GB");
}

TEST(WizardLogic, CaptionModes) {
  EXPECT_TRUE(IsSingleDriveCaption("Microsoft Windows 7 Professional [64bit]"));
  EXPECT_TRUE(IsSingleDriveCaption("Microsoft Windows xp [32bit]"));
  EXPECT_FALSE(IsSingleDriveCaption("Microsoft Windows Server 2008 R2 [64bit]"));
  EXPECT_TRUE(IsServerCaption("Microsoft(R) Windows(R) Server 2003 [32bit]"));
  EXPECT_FALSE(IsServerCaption("WMI ERROR\nCould not connect. Error code = 80004005"));
  EXPECT_FALSE(IsSingleDriveCaption("WMI ERROR\nCould not connect. Error code = 80004005"));
}

TEST(WizardLogic, ScheduleTexts) {
  JobRecord daily = Job("a", 300, "C", "daily");
  SetWizardField(daily.scheduleTime, "10:30");
  EXPECT_EQ(JobScheduleText(daily), "Daily : 10:30");
  JobRecord weekly = Job("a", 300, "C", "weekly");
  SetWizardField(weekly.scheduleTime, "09:05");
  for (char& d : weekly.weekdays) d = 'n';
  weekly.weekdays[0] = weekly.weekdays[4] = 'y';
  EXPECT_EQ(JobScheduleText(weekly), "Weekly : 09:05, Mon  Fri  ");
  JobRecord monthly = Job("a", 300, "C", "monthly");
  SetWizardField(monthly.scheduleTime, "23:59");
  monthly.dayOfMonth = 3;
  EXPECT_EQ(JobScheduleText(monthly), "Monthly : 23:59, 3 st");
  EXPECT_EQ(JobScheduleText(Job("a", 300, "C", "once")), "Once");
  EXPECT_EQ(JobScheduleText(Job("a", 300, "C", "whatever")), "Once");
}

TEST(WizardLogic, DefaultNameAndLists) {
  EXPECT_EQ(DefaultBackupName("c", 2026, 12, 10, 9, 5, 7), "OrvaBackup_C_2026_12100905_07");
  EXPECT_EQ(SplitBarList("D:\\Orvanta|E:\\Img|rest"), (std::vector<std::string>{"D:\\Orvanta", "E:\\Img"}));
  EXPECT_TRUE(SplitBarList("none").empty());
  EXPECT_EQ(JoinBarList({"C:\\A", "C:\\B"}), "C:\\A|C:\\B|");
  EXPECT_EQ(JoinBarList({}), "");
  EXPECT_EQ(ReadTimeNumber("7"), 7);
  EXPECT_EQ(ReadTimeNumber(""), 0);
  EXPECT_EQ(ReadTimeNumber("x1"), 0);
  EXPECT_EQ(ReadTimeNumber("24"), 24);
  EXPECT_EQ(RepositoryIndexForPath({"D:\\Orvanta", "E:\\Img\\"}, "e:\\img\\Job.TAV"), 1);
  EXPECT_EQ(RepositoryIndexForPath({"D:\\Orvanta", "E:\\Img"}, "F:\\x\\Job.TAV"), 0);
}

TEST(WizardLogic, NameChecks) {
  std::vector<JobRecord> jobs{Job("Taken", 300, "C")};
  JobRecord earlier[1] = {Job("Mine", 300, "D")};
  EXPECT_EQ(CheckFullBackupName("", jobs, nullptr, 0, false), NameCheck::Empty);
  EXPECT_EQ(CheckFullBackupName("Taken", jobs, nullptr, 0, false), NameCheck::TakenByJob);
  EXPECT_EQ(CheckFullBackupName("Taken", jobs, nullptr, 0, true), NameCheck::Ok);
  EXPECT_EQ(CheckFullBackupName("Mine", jobs, earlier, 1, false), NameCheck::TakenInWizard);
  EXPECT_EQ(CheckFullBackupName("a:b", jobs, nullptr, 0, false), NameCheck::BadCharacter);
  EXPECT_EQ(CheckFullBackupName(std::string(50, 'x'), jobs, nullptr, 0, false), NameCheck::TooLong);
  EXPECT_EQ(CheckFullBackupName(std::string(49, 'x'), jobs, nullptr, 0, false), NameCheck::Ok);
}

TEST(WizardLogic, FinishedOnceRecordPassesTheService) {
  JobRecord r = Job("OrvaBackup_C_2026_12100905_07", 300, "C", "once");
  SetWizardField(r.volumeSize, "61.035 GB");
  SetWizardField(r.imagePath, "D:\\Orvanta\\OrvaBackup_C_2026_12100905_07.TAV");
  r.compressionLevel = 1;
  r.dayOfMonth = 12;
  r.weekdays[2] = 'y';
  r.runState = 2;
  FinishWizardRecord(r);
  EXPECT_EQ(r.code, 200);
  EXPECT_EQ(r.runState, 0);
  EXPECT_EQ(FieldText(r.baseImagePath), "none");
  EXPECT_EQ(FieldText(r.excludeList), "none");
  EXPECT_EQ(FieldText(r.sourceFolder), "none");
  EXPECT_EQ(FieldText(r.reservedText2), "none");
  EXPECT_EQ(FieldText(r.scheduleTime), "00:00");
  EXPECT_EQ(r.daily, 'n');
  EXPECT_EQ(r.weekly, 'n');
  EXPECT_EQ(r.monthly, 'n');
  EXPECT_EQ(std::string(r.weekdays, 7), "nnnnnnn");
  EXPECT_EQ(r.dayOfMonth, 0);
  std::string why;
  EXPECT_TRUE(orva::service::ValidateJobRecord(r, why)) << why;
}

TEST(WizardLogic, FinishedUpdateKeepsItsBase) {
  JobRecord r = Job("Base", 302, "D", "weekly");
  SetWizardField(r.baseImagePath, "D:\\Orvanta\\Base.TAV");
  SetWizardField(r.excludeList, "D:\\Temp|");
  SetWizardField(r.scheduleTime, "09:05");
  for (char& d : r.weekdays) d = 'n';
  r.weekdays[0] = r.weekdays[4] = 'y';
  r.dayOfMonth = 5;
  FinishWizardRecord(r);
  EXPECT_EQ(r.code, 201);
  EXPECT_EQ(FieldText(r.baseImagePath), "D:\\Orvanta\\Base.TAV");
  EXPECT_EQ(FieldText(r.excludeList), "D:\\Temp|");
  EXPECT_EQ(r.weekly, 'y');
  EXPECT_EQ(std::string(r.weekdays, 7), "ynnnynn");
  EXPECT_EQ(r.dayOfMonth, 0);
  std::string why;
  EXPECT_TRUE(orva::service::ValidateJobRecord(r, why)) << why;
}

TEST(WizardLogic, SummaryText) {
  JobRecord r = Job("Weekly_C", 300, "C", "weekly");
  SetWizardField(r.volumeSize, "40 MB");
  SetWizardField(r.imagePath, "D:\\O\\Weekly_C.TAV");
  SetWizardField(r.scheduleTime, "09:05");
  SetWizardField(r.excludeList, "C:\\A|C:\\B|");
  r.compressionLevel = 9;
  for (char& d : r.weekdays) d = 'n';
  r.weekdays[0] = r.weekdays[4] = 'y';
  FinishWizardRecord(r);
  const std::string text = WizardSummaryText(&r, 1);
  EXPECT_EQ(text,
            "Total backup task number :  1 \r\n"
            "\r\n[Information]\r\n"
            "\tBackup Name\t:  Weekly_C \r\n\r\n"
            "\tBackup Drive\t: C \r\n"
            "\tVolume Size\t: 40 MB \r\n"
            "\tTask Type\t: FULL Backup\r\n"
            "\tBackup Path\t: D:\\O\\Weekly_C.TAV\r\n"
            "[Option]\r\n"
            "\tCompression Level\t: High\r\n"
            "\tExcluded Folder\t: \r\n\t\tC:\\A\r\n\t\tC:\\B\r\n"
            "[Scheduling]\r\n"
            "\tSchedule Type\t: WEEKLY\r\n"
            "\tDetailed Information\t:  Mon Fri  09:05\r\n"
            "\r\n");
  JobRecord once = Job("Once_D", 301, "D", "once");
  FinishWizardRecord(once);
  const std::string second = WizardSummaryText(&once, 1);
  EXPECT_NE(second.find("\tExcluded Folder\t: None \r\n"), std::string::npos);
  EXPECT_NE(second.find("\tSchedule Type\t: ONCE\r\n\r\n"), std::string::npos);
  EXPECT_NE(second.find("Task Type\t: Update Backup"), std::string::npos);
}

TEST(WizardLogic, ModifiedEntry) {
  JobRecord once = Job("a", 300, "C", "once");
  once.code = 200;
  PrepareModifiedEntry(once);
  EXPECT_EQ(once.code, 201);
  EXPECT_EQ(once.runState, 2);
  JobRecord daily = Job("a", 301, "C", "daily");
  daily.runState = 2;
  PrepareModifiedEntry(daily);
  EXPECT_EQ(daily.code, 201);
  EXPECT_EQ(daily.runState, 0);
}
