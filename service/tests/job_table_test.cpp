#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "core/job_table.h"
#include "service_test_util.h"

namespace orva::service {
namespace {

using test::SampleJob;

struct Table {
  test::TempFolder folder;
  JobTable table{folder.Path(), test::kQuick};
  std::vector<std::string> echoes;
  Table() {
    table.SetBroadcastHook([this](const JobRecord& r) { echoes.emplace_back(JobName(r)); });
  }
  std::string File() const { return test::ReadBytes(table.SchedulePath()); }
};

TEST(JobTable, AddModifyDeleteSaveAndEcho) {
  Table t;
  ASSERT_TRUE(t.table.Add(SampleJob("alpha")).ok());
  ASSERT_TRUE(t.table.Add(SampleJob("beta")).ok());
  ASSERT_TRUE(t.table.Add(SampleJob("gamma")).ok());
  EXPECT_EQ(t.File().rfind("Schedule Number: 3\r\nalpha\r\n", 0), 0u);

  JobRecord changed = SampleJob("beta", "once");
  changed.code = kModifyJob;
  changed.runState = kDisarmed;
  EditResult modified = t.table.Modify(changed);
  EXPECT_TRUE(modified.ok() && modified.saved);
  std::optional<JobRecord> stored = t.table.Find("beta");
  ASSERT_TRUE(stored);
  EXPECT_EQ(std::memcmp(&*stored, &changed, sizeof changed), 0);  // stored whole

  ASSERT_TRUE(t.table.Delete(SampleJob("alpha")).ok());
  std::vector<JobRecord> left = t.table.Snapshot();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(JobName(left[0]), "beta");
  EXPECT_EQ(JobName(left[1]), "gamma");
  EXPECT_EQ(t.File(), FormatScheduleFile(left));
  EXPECT_EQ(t.echoes, (std::vector<std::string>{"alpha", "beta", "gamma", "beta", "alpha"}));

  // Unknown names change, save and echo nothing.
  const std::string before = t.File();
  EXPECT_EQ(t.table.Modify(SampleJob("nobody")).status, EditStatus::kNotFound);
  EXPECT_EQ(t.table.Delete(SampleJob("nobody")).status, EditStatus::kNotFound);
  EXPECT_EQ(t.File(), before);
  EXPECT_EQ(t.echoes.size(), 5u);
}

TEST(JobTable, FiftyFirstJobAndDuplicateNamesAreRefused) {
  Table t;
  for (int i = 0; i < kMaxJobs; ++i) ASSERT_TRUE(t.table.Add(SampleJob("job" + std::to_string(i))).ok());
  const std::string full = t.File();
  EXPECT_EQ(t.table.Add(SampleJob("job50")).status, EditStatus::kFull);
  EXPECT_EQ(t.table.Delete(SampleJob("job7")).status, EditStatus::kOk);
  EXPECT_EQ(t.table.Add(SampleJob("job8")).status, EditStatus::kDuplicate);
  EXPECT_EQ(t.table.Count(), kMaxJobs - 1);
  EXPECT_EQ(t.echoes.size(), static_cast<size_t>(kMaxJobs + 1));
  EXPECT_NE(t.File(), full);
}

TEST(JobTable, BadRecordsAreRefusedAndChangeNothing) {
  struct Case {
    const char* what;
    std::function<void(JobRecord&)> spoil;
  };
  const Case cases[] = {
      {"empty name", [](JobRecord& r) { r.jobName[0] = 0; }},
      {"name of 50 bytes", [](JobRecord& r) { std::memset(r.jobName, 'a', sizeof r.jobName); }},
      {"name with a backslash", [](JobRecord& r) { SetFieldText(r.jobName, "a\\b"); }},
      {"name with a slash", [](JobRecord& r) { SetFieldText(r.jobName, "a/b"); }},
      {"name with a quote", [](JobRecord& r) { SetFieldText(r.jobName, "a\"b"); }},
      {"name with a percent", [](JobRecord& r) { SetFieldText(r.jobName, "%TEMP%"); }},
      {"name with a colon", [](JobRecord& r) { SetFieldText(r.jobName, "C:x"); }},
      {"name with a wildcard", [](JobRecord& r) { SetFieldText(r.jobName, "a*"); }},
      {"name with a pipe", [](JobRecord& r) { SetFieldText(r.jobName, "a|b"); }},
      {"name with a redirection", [](JobRecord& r) { SetFieldText(r.jobName, "a>b"); }},
      {"name with a line end", [](JobRecord& r) { SetFieldText(r.jobName, "a\r\nb"); }},
      {"unterminated image path", [](JobRecord& r) { std::memset(r.imagePath, 'x', sizeof r.imagePath); }},
      {"unterminated drive", [](JobRecord& r) { std::memcpy(r.driveLetter, "CD", 2); }},
      {"control character in excludes", [](JobRecord& r) { SetFieldText(r.excludeList, "C:\\a\tb|"); }},
      {"job type 299", [](JobRecord& r) { r.jobType = 299; }},
      {"job type 307", [](JobRecord& r) { r.jobType = 307; }},
      {"run state 3", [](JobRecord& r) { r.runState = kListMarker; }},
      {"schedule kind hourly", [](JobRecord& r) { SetFieldText(r.scheduleKind, "hourly"); }},
      {"schedule kind in capitals", [](JobRecord& r) { SetFieldText(r.scheduleKind, "Daily"); }},
      {"hour 24", [](JobRecord& r) { SetFieldText(r.scheduleTime, "24:00"); }},
      {"minute 60", [](JobRecord& r) { SetFieldText(r.scheduleTime, "12:60"); }},
      {"one-digit hour", [](JobRecord& r) { SetFieldText(r.scheduleTime, "9:05"); }},
      {"daily flag Y", [](JobRecord& r) { r.daily = 'Y'; }},
      {"zero weekday flag", [](JobRecord& r) { r.weekdays[6] = 0; }},
      {"day of month 32", [](JobRecord& r) { r.dayOfMonth = 32; }},
      {"day of month -1", [](JobRecord& r) { r.dayOfMonth = -1; }},
      {"compression 10", [](JobRecord& r) { r.compressionLevel = 10; }},
      {"compression -1", [](JobRecord& r) { r.compressionLevel = -1; }},
  };
  Table t;
  ASSERT_TRUE(t.table.Add(SampleJob("keep")).ok());
  const std::string file = t.File();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobRecord bad = SampleJob("keep");
    c.spoil(bad);
    std::string why;
    EXPECT_FALSE(ValidateJobRecord(bad, why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(t.table.Modify(bad).status, EditStatus::kInvalid);
    SetFieldText(bad.jobName, "fresh");
    if (std::string_view(c.what).find("name") == std::string_view::npos) {
      EXPECT_EQ(t.table.Add(bad).status, EditStatus::kInvalid);
    }
  }
  EXPECT_EQ(t.table.Count(), 1);
  EXPECT_EQ(t.File(), file);
  EXPECT_EQ(t.echoes.size(), 1u);

  JobRecord longest = SampleJob(std::string(49, 'n'));
  std::string why;
  EXPECT_TRUE(ValidateJobRecord(longest, why)) << why;
  for (const char* kind : {"once", "daily", "weekly", "monthly"})
    EXPECT_TRUE(ValidateJobRecord(SampleJob("k", kind), why)) << kind << ": " << why;
}

TEST(JobTable, RunStatesAndCancelRequest) {
  Table t;
  ASSERT_TRUE(t.table.Add(SampleJob("daily")).ok());
  ASSERT_TRUE(t.table.Add(SampleJob("once", "once")).ok());

  ASSERT_TRUE(t.table.TryStart("daily"));
  EXPECT_EQ(t.table.Find("daily")->runState, kStarted);
  EXPECT_FALSE(t.table.TryStart("daily"));  // already started
  EXPECT_FALSE(t.table.TryStart("nobody"));
  EXPECT_NE(t.File().find("daily\r\n300\r\n1\r\n"), std::string::npos);  // on disk before dispatch
  EXPECT_TRUE(t.table.ForceStart("daily"));                              // RUNJOB starts regardless
  EXPECT_TRUE(t.table.Rearm("daily"));
  EXPECT_EQ(t.table.Find("daily")->runState, kArmed);

  ASSERT_TRUE(t.table.TryStart("once"));
  EXPECT_TRUE(t.table.Rearm("once"));
  EXPECT_EQ(t.table.Find("once")->runState, kDisarmed);
  EXPECT_FALSE(t.table.TryStart("once"));
  EXPECT_FALSE(t.table.Rearm("nobody"));

  EXPECT_FALSE(t.table.Cancel().requested);
  uint64_t run = 0;
  ASSERT_EQ(t.table.StartRun("daily", true, false, nullptr, &run), RunStart::kStarted);
  EXPECT_TRUE(t.table.RequestCancel("daily"));
  EXPECT_FALSE(t.table.TakeCancel("once"));
  EXPECT_TRUE(t.table.TakeCancel("daily"));
  EXPECT_FALSE(t.table.TakeCancel("daily"));  // honoured once
  EXPECT_TRUE(t.table.Cancel().requested);
  EXPECT_EQ(t.table.Cancel().jobName, "");
  t.table.FinishRun("daily", run);
  EXPECT_TRUE(t.table.EndRun("daily", run));
}

TEST(JobTable, CancelReachesOnlyTheRunItWasMadeFor) {
  Table t;
  ASSERT_TRUE(t.table.Add(SampleJob("daily")).ok());
  // No run: the request is dropped and a later run is not cancelled.
  EXPECT_FALSE(t.table.RequestCancel("daily"));
  EXPECT_FALSE(t.table.RequestCancel("nobody"));
  uint64_t first = 0, second = 0;
  ASSERT_EQ(t.table.StartRun("daily", true, false, nullptr, &first), RunStart::kStarted);
  EXPECT_FALSE(t.table.TakeCancel("daily"));
  // A request that reaches the run after its worker has looked for the last
  // time is not kept for the next run.
  EXPECT_TRUE(t.table.RequestCancel("daily"));
  t.table.FinishRun("daily", first);
  EXPECT_FALSE(t.table.RequestCancel("daily"));  // over, waiting for its re-arm
  ASSERT_EQ(t.table.StartRun("daily", true, false, nullptr, &second), RunStart::kStarted);
  EXPECT_NE(first, second);
  EXPECT_FALSE(t.table.TakeCancel("daily"));
  // A request for the old run, made just before the new one started, is
  // not honoured by it either.
  EXPECT_TRUE(t.table.RequestCancel("daily"));
  uint64_t third = 0;
  t.table.FinishRun("daily", second);
  ASSERT_EQ(t.table.StartRun("daily", true, false, nullptr, &third), RunStart::kStarted);
  EXPECT_FALSE(t.table.TakeCancel("daily"));
}

TEST(JobTable, AnEndedRunNoLongerCountsAndItsReArmNeverTouchesALaterRun) {
  Table t;
  JobRecord iso = SampleJob("iso");
  iso.jobType = kIsoBackup;
  ASSERT_TRUE(t.table.Add(SampleJob("image")).ok());
  ASSERT_TRUE(t.table.Add(iso).ok());
  uint64_t image = 0;
  ASSERT_EQ(t.table.StartRun("image", true, true, nullptr, &image), RunStart::kStarted);
  EXPECT_EQ(t.table.StartRun("iso", true, true), RunStart::kAnotherRunning);
  EXPECT_EQ(t.table.Find("iso")->runState, kArmed);
  // The worker returned; the entry waits for its re-arm, still started.
  t.table.FinishRun("image", image);
  EXPECT_TRUE(t.table.Runs().empty());
  EXPECT_EQ(t.table.Find("image")->runState, kStarted);
  EXPECT_EQ(t.table.StartRun("image", false, true), RunStart::kNotArmed);  // no tick fires it again
  uint64_t isoRun = 0;
  EXPECT_EQ(t.table.StartRun("iso", true, true, nullptr, &isoRun), RunStart::kStarted);
  EXPECT_EQ(t.table.Runs(), std::vector<std::string>{"iso"});
  t.table.FinishRun("iso", isoRun);

  // RUNJOB of the job during its re-arm wait starts a new run; the old
  // run's re-arm then leaves the entry to it.
  uint64_t again = 0;
  ASSERT_EQ(t.table.StartRun("image", true, true, nullptr, &again), RunStart::kStarted);
  EXPECT_FALSE(t.table.EndRun("image", image));
  EXPECT_EQ(t.table.Find("image")->runState, kStarted);
  EXPECT_EQ(t.table.Runs(), std::vector<std::string>{"image"});
  t.table.FinishRun("image", again);
  EXPECT_TRUE(t.table.EndRun("image", again));
  EXPECT_EQ(t.table.Find("image")->runState, kArmed);

  // Deleted during the re-arm wait and added again: the old re-arm does
  // not touch the new entry.
  EXPECT_TRUE(t.table.EndRun("iso", isoRun));
  uint64_t last = 0;
  ASSERT_EQ(t.table.StartRun("iso", true, true, nullptr, &last), RunStart::kStarted);
  t.table.FinishRun("iso", last);
  ASSERT_TRUE(t.table.Delete(iso).ok());
  JobRecord fresh = iso;
  fresh.runState = kDisarmed;
  ASSERT_TRUE(t.table.Add(fresh).ok());
  EXPECT_FALSE(t.table.EndRun("iso", last));
  EXPECT_EQ(t.table.Find("iso")->runState, kDisarmed);
}

TEST(JobTable, ConcurrentEditsKeepTheLimitAndTheFile) {
  Table t;
  t.table.SetBroadcastHook({});
  std::atomic<int> added{0}, full{0};
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k) {
    threads.emplace_back([&, k] {
      for (int i = 0; i < 20; ++i) {
        EditResult r = t.table.Add(SampleJob(std::to_string(k * 100 + i)));
        (r.ok() ? added : full)++;
        t.table.TryStart("0");
        t.table.Rearm("0");
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(added, kMaxJobs);
  EXPECT_EQ(full, 80 - kMaxJobs);
  EXPECT_EQ(t.File(), FormatScheduleFile(t.table.Snapshot()));
}

TEST(JobTable, ListMarkers) {
  JobRecord begin = MakeListMarker(kJobListBegin, 0);
  EXPECT_EQ(begin.code, kJobListBegin);
  EXPECT_EQ(begin.jobType, 0);
  EXPECT_EQ(begin.runState, kListMarker);
  EXPECT_EQ(JobTypeName(kIncrementalBackup), "INCREMENTAL_BACKUP");
  EXPECT_EQ(JobTypeName(kIsoBackup), "ISOBACKUP");
  EXPECT_EQ(JobTypeName(299), "");
}

}  // namespace
}  // namespace orva::service

namespace orva::service {

TEST(ReplicationFolders, TargetsThatAMirrorWouldDamageAreRefused) {
  const struct {
    const char* source;
    const char* target;
    bool ok;
  } cases[] = {
      {"C:\\Data", "D:\\Mirror\\Data", true},
      {"C:\\Data", "\\\\nas\\backup\\Data", true},
      {"C:\\Data", "C:\\Data2", true},  // a sibling, not nested
      {"C:\\Data", "D:\\", false},
      {"C:\\Data", "d:", false},
      {"C:\\Data", "\\\\nas\\backup", false},
      {"C:\\Data", "c:/data", false},
      {"C:\\Data", "C:\\Data\\Copy", false},
      {"C:\\Data\\Sub", "C:\\Data", false},
      {"C:\\Data", "C:\\Windows", false},
      {"C:\\Data", "c:\\windows\\temp", false},
      {"C:\\Data", "C:\\Program Files", false},  // holds the service
      {"C:\\Data", "C:\\Program Files\\Orvanta", false},
      {"C:\\Data", "D:\\Mirror\\..\\Other", false},
      {"C:\\Data", "Mirror", false},
      {"Data", "D:\\Mirror", false},
  };
  for (const auto& c : cases) {
    const std::string why = ReplicationFoldersProblem(c.source, c.target, "C:\\Windows", "C:\\Program Files\\Orvanta");
    EXPECT_EQ(why.empty(), c.ok) << c.source << " -> " << c.target << ": " << why;
  }
  EXPECT_EQ(IsoStagingRoot("D:\\Iso\\ORVAPE\\IMAGE\\C.tav"), "D:\\Iso\\");
  EXPECT_EQ(IsoStagingRoot("D:\\Iso\\orvape\\image\\C.tav"), "");
}

}  // namespace orva::service
