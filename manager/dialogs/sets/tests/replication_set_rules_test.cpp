// The rules of the replication set dialog.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "contracts/job_record_check.h"
#include "replication_set_rules.h"

namespace orva::manager {
namespace {

using service::FieldText;
using service::JobRecord;

const ReplicationGuards kGuards{"C:\\Windows", "C:\\Program Files\\Orvanta\\bin"};

ReplicationSetForm Form(int kind = kOnce) {
  ReplicationSetForm f;
  f.name = "Docs";
  f.source = "D:\\Docs";
  f.target = "E:\\Mirror\\Docs";
  f.kind = kind;
  return f;
}

std::string Build(const ReplicationSetForm& f, JobRecord& r, bool edit = false,
                  std::function<bool(std::string_view)> taken = {}) {
  return BuildReplicationRecord(f, edit, taken, kGuards, r);
}

void ExpectValid(const JobRecord& r) {
  std::string why;
  EXPECT_TRUE(service::ValidateJobRecord(r, why)) << why;
}

TEST(ReplicationSetRules, OnceSetIsArmedWithAllFlagsOff) {
  JobRecord r;
  ASSERT_EQ(Build(Form(), r), "");
  EXPECT_EQ(r.code, service::kAddJob);
  EXPECT_EQ(r.jobType, service::kReplication);
  EXPECT_EQ(r.runState, 0);
  EXPECT_EQ(FieldText(r.jobName), "Docs");
  EXPECT_EQ(FieldText(r.sourceFolder), "D:\\Docs");
  EXPECT_EQ(FieldText(r.targetFolder), "E:\\Mirror\\Docs");
  EXPECT_EQ(FieldText(r.scheduleKind), "once");
  EXPECT_EQ(FieldText(r.scheduleTime), "00:00");  // the service reads every time as HH:MM
  EXPECT_EQ(r.daily, 'n');
  EXPECT_EQ(r.weekly, 'n');
  EXPECT_EQ(r.monthly, 'n');
  EXPECT_EQ(std::string(r.weekdays, 7), "nnnnnnn");
  EXPECT_EQ(r.dayOfMonth, 0);
  EXPECT_EQ(r.compressionLevel, 0);
  EXPECT_EQ(FieldText(r.imagePath), "");
  EXPECT_EQ(FieldText(r.startTime), "");
  ExpectValid(r);
}

TEST(ReplicationSetRules, ChecksComeInOrder) {
  JobRecord r;
  ReplicationSetForm f;
  EXPECT_EQ(Build(f, r), "Please enter a replication set.");
  f.name = "Docs";
  EXPECT_EQ(Build(f, r), "Please add a source folder.");
  f.source = "D:\\Docs";
  EXPECT_EQ(Build(f, r), "Please add a target folder.");
  f.target = "E:\\Copy";
  auto taken = [](std::string_view n) { return n == "Docs"; };
  EXPECT_EQ(Build(f, r, false, taken), "This replication set already exists.\nPlease enter another replication set.");
  EXPECT_EQ(Build(f, r, true, taken), "");  // editing keeps its own name
  EXPECT_EQ(r.code, service::kModifyJob);
}

TEST(ReplicationSetRules, TargetsThatAMirrorWouldDamageAreRefused) {
  JobRecord r;
  for (const char* target :
       {"E:\\", "E:", "C:\\Windows\\Temp", "C:\\Program Files", "D:\\Docs\\Copy", "D:\\", "\\\\nas\\share", "Mirror"}) {
    ReplicationSetForm f = Form();
    f.target = target;
    const std::string message = Build(f, r);
    EXPECT_EQ(message.rfind("These folders cannot be replicated: ", 0), 0u) << target << ": " << message;
    EXPECT_EQ(r.code, 0) << target;  // nothing left behind
  }
  ReplicationSetForm f = Form();
  f.target = "\\\\nas\\share\\Docs";
  EXPECT_EQ(Build(f, r), "");
}

TEST(ReplicationSetRules, NamesAndPathsMustFitAndBeSafe) {
  JobRecord r;
  ReplicationSetForm f = Form();
  f.name = std::string(49, 'n');
  EXPECT_EQ(Build(f, r), "");
  f.name = std::string(50, 'n');
  EXPECT_NE(Build(f, r).find("too long"), std::string::npos);
  f.name = "a:b";
  EXPECT_NE(Build(f, r).find("cannot contain"), std::string::npos);
  f = Form();
  f.source = "D:\\" + std::string(96, 's');
  EXPECT_EQ(Build(f, r), "");
  f.source += "s";
  EXPECT_NE(Build(f, r).find("source folder path is too long"), std::string::npos);
  f = Form();
  f.target = "E:\\" + std::string(97, 't');
  EXPECT_NE(Build(f, r).find("target folder path is too long"), std::string::npos);
}

TEST(ReplicationSetRules, WeeklyTimeIsStoredWithTwoDigits) {
  ReplicationSetForm f = Form(kWeekly);
  f.hour = "7";
  f.minute = "5";
  f.weekdays[0] = f.weekdays[4] = true;
  JobRecord r;
  ASSERT_EQ(Build(f, r), "");
  EXPECT_EQ(FieldText(r.scheduleKind), "weekly");
  EXPECT_EQ(FieldText(r.scheduleTime), "07:05");
  EXPECT_EQ(std::string(r.weekdays, 7), "ynnnynn");
  EXPECT_EQ(r.weekly, 'y');
  EXPECT_EQ(r.daily, 'n');
  ExpectValid(r);
}

TEST(ReplicationSetRules, DailyAndMonthly) {
  ReplicationSetForm f = Form(kDaily);
  f.hour = "23";
  f.minute = "59";
  f.weekdays[2] = true;  // ignored outside weekly
  JobRecord r;
  ASSERT_EQ(Build(f, r), "");
  EXPECT_EQ(FieldText(r.scheduleTime), "23:59");
  EXPECT_EQ(r.daily, 'y');
  EXPECT_EQ(std::string(r.weekdays, 7), "nnnnnnn");
  ExpectValid(r);

  f.kind = kMonthly;
  f.dayText = "";
  EXPECT_EQ(Build(f, r), "Please select a day.");
  f.dayText = "0";
  EXPECT_EQ(Build(f, r), "Please select a day.");
  f.dayText = "32";
  EXPECT_EQ(Build(f, r), "Please select a day.");
  f.dayText = "31";
  ASSERT_EQ(Build(f, r), "");
  EXPECT_EQ(r.dayOfMonth, 31);
  EXPECT_EQ(r.monthly, 'y');
  EXPECT_EQ(r.daily, 'n');
  ExpectValid(r);
}

TEST(ReplicationSetRules, TimeParts) {
  EXPECT_TRUE(TimePartValid("", 23));
  EXPECT_TRUE(TimePartValid("7", 23));
  EXPECT_TRUE(TimePartValid("23", 23));
  EXPECT_FALSE(TimePartValid("24", 23));
  EXPECT_TRUE(TimePartValid("59", 59));
  EXPECT_FALSE(TimePartValid("60", 59));
  EXPECT_FALSE(TimePartValid("1a", 59));
  EXPECT_FALSE(TimePartValid("123", 59));
  JobRecord r;
  ReplicationSetForm f = Form(kDaily);
  f.hour = "24";
  EXPECT_EQ(Build(f, r), kHourMessage);
  f.hour = "";  // reads as 0
  f.minute = "";
  ASSERT_EQ(Build(f, r), "");
  EXPECT_EQ(FieldText(r.scheduleTime), "00:00");
}

TEST(ReplicationSetRules, AStoredSetGivesItsForm) {
  JobRecord r;
  ReplicationSetForm f = Form(kMonthly);
  f.shadow = true;
  f.hour = "18";
  f.minute = "45";
  f.dayText = "15";
  ASSERT_EQ(Build(f, r), "");
  EXPECT_EQ(r.jobType, service::kReplicationShadow);
  ReplicationSetForm back = FormFromRecord(r);
  EXPECT_EQ(back.name, "Docs");
  EXPECT_TRUE(back.shadow);
  EXPECT_EQ(back.kind, kMonthly);
  EXPECT_EQ(back.hour, "18");
  EXPECT_EQ(back.minute, "45");
  EXPECT_EQ(back.dayText, "15");

  f = Form(kWeekly);
  f.weekdays[6] = true;
  ASSERT_EQ(Build(f, r), "");
  back = FormFromRecord(r);
  EXPECT_EQ(back.kind, kWeekly);
  EXPECT_TRUE(back.weekdays[6]);
  EXPECT_FALSE(back.weekdays[0]);

  ASSERT_EQ(Build(Form(), r), "");
  back = FormFromRecord(r);
  EXPECT_EQ(back.kind, kOnce);
  EXPECT_EQ(back.hour, "00");
}

}  // namespace
}  // namespace orva::manager
