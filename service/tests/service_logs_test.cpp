#include <gtest/gtest.h>

#include "core/service_logs.h"
#include "service_test_util.h"

namespace orva::service {
namespace {

using test::ReadBytes;
using test::SampleJob;

struct FixedClock {
  FixedClock() {
    SetLogClock([] { return LocalTime{2024, 1, 31, 8, 5, 9}; });
  }
  ~FixedClock() { SetLogClock({}); }
};

TEST(Logs, LinesAreAppendedWithCrLf) {
  FixedClock clock;
  EXPECT_EQ(FormatLogLine("ADDJOB", "New Job register"), "[2024-01-31 08:05:09][ADDJOB] New Job register\r\n");
  test::TempFolder dir;
  const auto task = dir / kTaskLogName;
  test::WriteBytes(task, "earlier\r\n");
  EXPECT_TRUE(AppendLogFile(task, FormatLogLine("DELETEJOB", "Job is deleted."), test::kQuick));
  EXPECT_TRUE(AppendLogFile(task, "[x][nightly] [FULL_BACKUP] done\r\n", test::kQuick));
  EXPECT_EQ(ReadBytes(task),
            "earlier\r\n[2024-01-31 08:05:09][DELETEJOB] Job is deleted.\r\n[x][nightly] [FULL_BACKUP] done\r\n");

  const auto created = dir / kJobLogName;
  EXPECT_TRUE(AppendLogFile(created, "one\r\n", test::kQuick));
  EXPECT_EQ(ReadBytes(created), "one\r\n");
  std::filesystem::create_directory(dir / "blocked.log");
  EXPECT_FALSE(AppendLogFile(dir / "blocked.log", "lost\r\n", test::kQuick));  // dropped after the tries
}

TEST(Logs, HistoryLines) {
  const struct {
    int32_t type, state;
    const char* line;
  } cases[] = {
      {kFullBackup, kJobSuccess, "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][FULLBACKUP][Success][nightly]\r\n"},
      {kUpdateBackup, kJobFailed,
       "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][DIFFERENTIAL_BACKUP][Failed][nightly]\r\n"},
      {kIncrementalBackup, kJobSuccess, "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][][Success][nightly]\r\n"},
      {kReplication, kJobShadowError,
       "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][REPLICATION][Failed][nightly]\r\n"},
      {kReplicationShadow, kJobMountError,
       "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][REPLICATION_SHADOW][Failed][nightly]\r\n"},
      {kIsoBackup, kJobWarning, "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][][Warning][nightly]\r\n"},
      {kFullBackup, kJobCanceled, "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][FULLBACKUP][Warning][nightly]\r\n"},
      {kFullBackup, kJobAnotherRunning,
       "[2024.01.31 02:30][2024.01.31 03:00][00:30:00][FULLBACKUP][Warning][nightly]\r\n"},
  };
  test::TempFolder dir;
  std::string expected;
  for (const auto& c : cases) {
    JobRecord r = SampleJob("nightly");
    r.jobType = c.type;
    r.jobState = c.state;
    SetFieldText(r.startTime, "2024.01.31 02:30");
    SetFieldText(r.endTime, "2024.01.31 03:00");
    SetFieldText(r.elapsedTime, "00:30:00");
    EXPECT_EQ(HistoryLine(r), c.line);
    EXPECT_TRUE(WriteHistoryLine(dir.Path(), r, test::kQuick));
    expected += c.line;
  }
  EXPECT_EQ(ReadBytes(dir / kHistoryLogName), expected);
}

}  // namespace
}  // namespace orva::service
