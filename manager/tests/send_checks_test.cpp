#include "core/send_checks.h"

#include <gtest/gtest.h>

#include "contracts/job_record_check.h"
#include "contracts/tests/sample_job.h"

namespace orva::manager {
namespace {

using service::JobRecord;
using service::SetFieldText;

constexpr char kWindows[] = "C:\\Windows";
constexpr char kService[] = "C:\\Program Files\\Orvanta\\bin";

std::string Refusal(const JobRecord& r) {
  return SendRefusal(
      r, [](std::string_view name) { return name == "Known"; }, kWindows, kService);
}

TEST(SendChecks, RecordsTheServiceWouldDropAreRefusedWithTheReason) {
  struct Case {
    const char* what;
    std::function<void(JobRecord&)> change;
    const char* says;  // empty: sent
  };
  auto replication = [](const char* source, const char* target) {
    return [=](JobRecord& r) {
      r.jobType = service::kReplication;
      SetFieldText(r.imagePath, "none");
      SetFieldText(r.sourceFolder, source);
      SetFieldText(r.targetFolder, target);
    };
  };
  const Case cases[] = {
      {"a new job", [](JobRecord&) {}, ""},
      {"a change of a known job", [](JobRecord& r) { r.code = service::kModifyJob, SetFieldText(r.jobName, "Known"); },
       ""},
      {"a name already taken", [](JobRecord& r) { SetFieldText(r.jobName, "Known"); }, "already exists"},
      {"a change of an unknown job", [](JobRecord& r) { r.code = service::kModifyJob; }, "no job named"},
      {"a relative image folder", [](JobRecord& r) { SetFieldText(r.imagePath, "Repo\\New.TAV"); }, "not a full path"},
      {"an image that is no .TAV file", [](JobRecord& r) { SetFieldText(r.imagePath, "D:\\Repo\\New.doc"); }, ".TAV"},
      {"a quote in a name", [](JobRecord& r) { SetFieldText(r.jobName, "Ne\"w"); }, "jobName"},
      {"a % in a name", [](JobRecord& r) { SetFieldText(r.jobName, "New%PATH%"); }, "jobName"},
      {"a bad schedule time", [](JobRecord& r) { SetFieldText(r.scheduleTime, "25:00"); }, "scheduleTime"},
      {"a mirror", replication("D:\\Data", "E:\\Copy"), ""},
      {"a mirror into the Windows folder", replication("D:\\Data", "C:\\Windows\\Copy"), "C:\\Windows"},
      {"a mirror into the service folder", replication("D:\\Data", "C:\\Program Files\\Orvanta"), "Orvanta"},
      {"a mirror onto a drive root", replication("D:\\Data", "E:\\"), "root"},
      {"a relative mirror", replication("Data", "E:\\Copy"), "not a full path"},
      {"a % in a target", replication("D:\\Data", "E:\\Copy\\%USERPROFILE%"), "'%'"},
      {"a bare drive source", replication("D:", "E:\\Copy"), "bare drive"},
      {"a mirror into the Log folder", replication("D:\\Data", "C:\\Program Files\\Orvanta\\Log\\x"), "Log"},
      {"a snapshot copy from a share",
       [&](JobRecord& r) {
         replication("\\\\host\\share\\Data", "E:\\Copy")(r);
         r.jobType = service::kReplicationShadow;
       },
       "lettered"},
      {"an image job without a drive letter", [](JobRecord& r) { SetFieldText(r.driveLetter, ""); }, "driveLetter"},
      {"an image job of drive *", [](JobRecord& r) { SetFieldText(r.driveLetter, "*"); }, "driveLetter"},
      {"a taken name before anything else",
       [](JobRecord& r) { SetFieldText(r.jobName, "Known"), SetFieldText(r.imagePath, "x.doc"); }, "already exists"},
  };
  for (const Case& c : cases) {
    JobRecord r = service::test::SampleJob("New");
    c.change(r);
    const std::string why = Refusal(r);
    if (*c.says == 0) {
      EXPECT_EQ(why, "") << c.what;
    } else {
      EXPECT_NE(why.find(c.says), std::string::npos) << c.what << ": " << why;
    }
  }
}

TEST(SendChecks, OtherCodesAreNotLookedAt) {
  JobRecord r = service::test::SampleJob("Known");
  SetFieldText(r.imagePath, "relative.doc");
  for (int code : {service::kDeleteJob, service::kRunJob, service::kCancelJob}) {
    r.code = code;
    EXPECT_EQ(Refusal(r), "") << code;
  }
}

TEST(SendChecks, TheMessageNamesTheJobAndTheReason) {
  const JobRecord r = service::test::SampleJob("New");
  EXPECT_EQ(SendRefusalMessage(r, "a job named \"New\" already exists"),
            "The job \"New\" was not sent to the service, which would refuse it:\na job named \"New\" already exists.");
}

}  // namespace
}  // namespace orva::manager
