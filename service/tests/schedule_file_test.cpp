#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "core/job_table.h"
#include "service_test_util.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orva::service {
namespace {

using test::ReadBytes;
using test::SampleJob;
using test::WriteBytes;

const char kOneJob[] =
    "Schedule Number: 1\r\n"
    "alpha\r\n300\r\n0\r\nC\r\n119.240 GB\r\nD:\\Orvanta\\alpha.tav\r\nnone\r\n1\r\n"
    "C:\\Temp|C:\\pagefile|\r\nnone\r\nnone\r\nnone\r\nnone\r\ndaily\r\n02:30\r\n"
    "y\r\nn\r\nn\r\n"
    "y\r\nn\r\nn\r\nn\r\nn\r\nn\r\nn\r\n"
    "0\r\n";

struct Folder {
  test::TempFolder dir;
  std::vector<std::string> log;
  std::unique_ptr<JobTable> Table() {
    auto table = std::make_unique<JobTable>(dir.Path(), test::kQuick);
    table->SetLogSink([this](std::string_view tag, std::string_view text) {
      log.push_back(std::string(tag) + " " + std::string(text));
    });
    return table;
  }
  std::filesystem::path File() const { return dir / kScheduleFileName; }
};

TEST(ScheduleFile, ExactTextAndByteForByteRoundTrip) {
  Folder f;
  auto table = f.Table();
  JobRecord alpha = SampleJob("alpha");
  ASSERT_TRUE(table->Add(alpha).saved);
  EXPECT_EQ(ReadBytes(f.File()), kOneJob);

  JobRecord monthly = SampleJob("beta", "monthly");
  monthly.jobType = kReplication;
  SetFieldText(monthly.excludeList, "");
  monthly.compressionLevel = 9;
  ASSERT_TRUE(table->Add(monthly).saved);
  const std::string written = ReadBytes(f.File());
  EXPECT_EQ(written.rfind("Schedule Number: 2\r\n", 0), 0u);
  EXPECT_EQ(written.substr(sizeof "Schedule Number: 2\r\n" - 1, sizeof kOneJob - 21),
            std::string(kOneJob).substr(sizeof "Schedule Number: 1\r\n" - 1));
  size_t lines = 0;
  for (size_t i = 0; i < written.size(); ++i) {
    if (written[i] == '\n') {
      ++lines;
      EXPECT_EQ(written[i - 1], '\r');
    }
  }
  EXPECT_EQ(lines, 1u + 2 * kScheduleLinesPerJob);

  auto reloaded = f.Table();
  EXPECT_EQ(reloaded->Load(), LoadStatus::kLoaded);
  EXPECT_EQ(ReadBytes(f.File()), written);
  std::vector<JobRecord> jobs = reloaded->Snapshot();
  ASSERT_EQ(jobs.size(), 2u);
  alpha.code = 0;  // the code is not stored
  EXPECT_EQ(std::memcmp(&jobs[0], &alpha, sizeof alpha), 0);
  EXPECT_EQ(jobs[1].weekly, 'n');
  EXPECT_EQ(jobs[1].dayOfMonth, 15);
  EXPECT_TRUE(f.log.empty());

  JobRecord zeroFlag = alpha;
  zeroFlag.weekly = 0;  // written as "n", though the table never accepts it
  EXPECT_EQ(FormatScheduleFile({zeroFlag}), kOneJob);
}

TEST(ScheduleFile, LoadNormalisesRunStates) {
  Folder f;
  JobRecord once = SampleJob("once", "once"), daily = SampleJob("daily");
  once.runState = kStarted;  // started when the service stopped
  daily.runState = kStarted;
  WriteBytes(f.File(), FormatScheduleFile({once, daily}));
  auto table = f.Table();
  ASSERT_EQ(table->Load(), LoadStatus::kLoaded);
  EXPECT_EQ(table->Find("once")->runState, kDisarmed);
  EXPECT_EQ(table->Find("daily")->runState, kArmed);
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
  EXPECT_NE(ReadBytes(f.File()).find("once\r\n300\r\n2\r\n"), std::string::npos);
}

TEST(ScheduleFile, MissingOrEmptyFileGivesAnEmptyTable) {
  for (bool present : {false, true}) {
    Folder f;
    if (present) WriteBytes(f.File(), "Schedule Number: 0\r\n");
    auto table = f.Table();
    EXPECT_EQ(table->Load(), present ? LoadStatus::kLoaded : LoadStatus::kMissing);
    EXPECT_EQ(table->Count(), 0);
    EXPECT_EQ(ReadBytes(f.File()), "Schedule Number: 0\r\n");
    EXPECT_TRUE(f.log.empty());
  }
}

// The lines of one record as FormatScheduleFile writes them.
std::string RecordLines(const JobRecord& r) {
  const std::string one = FormatScheduleFile({r});
  return one.substr(one.find("\r\n") + 2);
}

std::string WithCount(int count, const std::string& records) {
  std::string text = "Schedule Number: ";
  text += std::to_string(count);
  text += "\r\n";
  return text + records;
}

std::vector<std::string> Names(const std::vector<JobRecord>& jobs) {
  std::vector<std::string> names;
  for (const JobRecord& r : jobs) names.emplace_back(JobName(r));
  return names;
}

TEST(ScheduleFile, OnceJobWithoutATimeLoads) {
  Folder f;
  JobRecord once = SampleJob("clicked", "once");
  SetFieldText(once.scheduleTime, "none");  // as the one-click and wizard dialogs write it
  std::string why;
  EXPECT_TRUE(ValidateJobRecord(once, why)) << why;
  JobRecord daily = SampleJob("daily");
  SetFieldText(daily.scheduleTime, "none");
  EXPECT_FALSE(ValidateJobRecord(daily, why));  // only a "once" job goes without a time
  WriteBytes(f.File(), FormatScheduleFile({once, SampleJob("other", "once")}));
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kLoaded);
  EXPECT_EQ(table->Count(), 2);
  EXPECT_EQ(FieldText(table->Find("clicked")->scheduleTime), "none");
  EXPECT_TRUE(f.log.empty());
  EXPECT_NE(ReadBytes(f.File()).find("once\r\nnone\r\n"), std::string::npos);
}

TEST(ScheduleFile, BadRecordsAreLeftOutAndTheFileIsKeptAside) {
  const JobRecord a = SampleJob("a"), b = SampleJob("b", "weekly"), c = SampleJob("c", "once");
  std::string longName = RecordLines(a);
  longName.replace(0, 1, std::string(50, 'n'));
  JobRecord badType = SampleJob("t");
  badType.jobType = 399;
  JobRecord badTime = SampleJob("h");
  SetFieldText(badTime.scheduleTime, "25:00");
  std::vector<JobRecord> many;
  std::string manyLines;
  for (int i = 0; i <= kMaxJobs; ++i) {
    std::string name = "j";
    name += std::to_string(i);
    many.push_back(SampleJob(name));
    manyLines += RecordLines(many.back());
  }
  many.pop_back();
  const std::string full = WithCount(3, RecordLines(a) + RecordLines(b) + RecordLines(c));
  std::string noCount = "alpha\r\n";  // appended: GCC 12 warns wrongly on "..." + string
  noCount += full;
  const struct {
    const char* what;
    std::string bytes;
    std::vector<JobRecord> loaded;
    const char* problem;  // in a log line
  } cases[] = {
      {"name longer than its field", WithCount(3, RecordLines(a) + longName + RecordLines(b)), {a, b}, "job 2:"},
      {"job type out of range",
       WithCount(3, RecordLines(badType) + RecordLines(a) + RecordLines(b)),
       {a, b},
       "job 1 (t): jobType 399"},
      {"bad time", WithCount(2, RecordLines(a) + RecordLines(badTime)), {a}, "job 2 (h): scheduleTime"},
      {"one name twice", WithCount(3, RecordLines(a) + RecordLines(b) + RecordLines(a)), {a, b}, "job 3 (a):"},
      {"fewer records than the count", full.substr(0, full.size() - 10), {a, b}, "ends before its 3 jobs"},
      {"count above the records", WithCount(5, RecordLines(a)), {a}, "ends before its 5 jobs"},
      {"lines after the records", WithCount(1, RecordLines(a) + RecordLines(b)), {a}, "more lines"},
      {"more than 50 jobs", WithCount(kMaxJobs + 1, manyLines), many, "the table holds 50 jobs"},
      {"no count line", noCount, {}, "Schedule Number"},
      {"negative count", WithCount(-1, RecordLines(a)), {}, "job count"},
      {"empty file", "", {}, "Schedule Number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder f;
    WriteBytes(f.File(), c.bytes);
    auto table = f.Table();
    EXPECT_EQ(table->Load(), LoadStatus::kCorrupt);
    EXPECT_EQ(Names(table->Snapshot()), Names(c.loaded));
    EXPECT_FALSE(table->SavesHeld());
    // The file as read is kept whole beside the rewritten one.
    EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.bad"), c.bytes);
    std::vector<JobRecord> expected = c.loaded;
    for (JobRecord& r : expected) r.code = 0;
    EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(expected));
    ASSERT_FALSE(f.log.empty());
    bool named = false;
    for (const std::string& line : f.log) {
      EXPECT_NE(line.find("OrvaSchedule.ovc.bad"), std::string::npos) << line;
      named = named || line.find(c.problem) != std::string::npos;
    }
    EXPECT_TRUE(named) << f.log[0];
  }
}

TEST(ScheduleFile, AnEarlierSideFileIsNeverReplaced) {
  Folder f;
  const std::string first = WithCount(2, RecordLines(SampleJob("a")) + "broken\r\n");
  WriteBytes(f.File(), first);
  EXPECT_EQ(f.Table()->Load(), LoadStatus::kCorrupt);
  const std::string second = WithCount(1, RecordLines(SampleJob("a")) + "more\r\n");
  WriteBytes(f.File(), second);
  EXPECT_EQ(f.Table()->Load(), LoadStatus::kCorrupt);
  EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.bad"), first);
  EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.bad.1"), second);
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile({[] {
              JobRecord r = SampleJob("a");
              r.code = 0;
              return r;
            }()}));
}

TEST(ScheduleFile, WithoutASideCopyTheFileIsLeftAsItIs) {
  Folder f;
  const std::string bytes = WithCount(2, RecordLines(SampleJob("a")) + "broken\r\n");
  WriteBytes(f.File(), bytes);
  for (int n = 0; n < kMaxAsideCopies; ++n) {  // every side name taken
    std::string name = "OrvaSchedule.ovc.bad";
    if (n > 0) name.append(".").append(std::to_string(n));
    std::filesystem::create_directory(f.dir.Path() / name);
  }
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kCorruptKept);
  EXPECT_EQ(Names(table->Snapshot()), std::vector<std::string>{"a"});
  EXPECT_TRUE(table->SavesHeld());
  EXPECT_TRUE(table->Add(SampleJob("b")).ok());
  EXPECT_EQ(ReadBytes(f.File()), bytes);
  // Once a side copy can be made, saves resume.
  std::filesystem::remove(f.dir / "OrvaSchedule.ovc.bad.7");
  EXPECT_TRUE(table->Save());
  EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.bad.7"), bytes);
  EXPECT_EQ(Names(table->Snapshot()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
}

TEST(ScheduleFile, UnreadableFileIsRetriedAndMergedWithTheEditsMadeMeanwhile) {
  Folder f;
  std::filesystem::create_directory(f.File());  // exists, cannot be read as a file
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kLocked);
  EXPECT_TRUE(table->SavesHeld());
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(f.File()));
  EditResult added = table->Add(SampleJob("beta"));
  EXPECT_TRUE(added.ok());
  EXPECT_FALSE(added.saved);
  JobRecord gamma = SampleJob("gamma");
  ASSERT_TRUE(table->Add(gamma).ok());
  ASSERT_TRUE(table->Delete(gamma).ok());
  JobRecord alpha = SampleJob("alpha");
  alpha.compressionLevel = 7;
  ASSERT_TRUE(table->Add(alpha).ok());
  EXPECT_FALSE(table->RetryHeldLoad());
  EXPECT_TRUE(std::filesystem::is_directory(f.File()));

  // The file frees: its jobs come first, an entry added meanwhile wins over
  // the file's, and a job deleted meanwhile stays deleted.
  std::filesystem::remove(f.File());
  WriteBytes(f.File(), WithCount(3, RecordLines(SampleJob("delta")) + RecordLines(SampleJob("alpha")) +
                                        RecordLines(SampleJob("gamma"))));
  EXPECT_TRUE(table->RetryHeldLoad());
  EXPECT_FALSE(table->SavesHeld());
  EXPECT_EQ(Names(table->Snapshot()), (std::vector<std::string>{"delta", "alpha", "beta"}));
  EXPECT_EQ(table->Find("alpha")->compressionLevel, 7);
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
  EXPECT_TRUE(table->Add(SampleJob("epsilon")).saved);
}

#ifdef _WIN32
TEST(ScheduleFile, FileLockedByAnotherWriterIsLeftWholeUntilItFrees) {
  Folder f;
  WriteBytes(f.File(), kOneJob);
  HANDLE held = CreateFileW(f.File().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kLocked);
  EXPECT_FALSE(table->Add(SampleJob("beta")).saved);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(f.File()), kOneJob);
  EXPECT_FALSE(std::filesystem::exists(f.dir / "OrvaSchedule.ovc.bad"));
  // The next save finds the file free: saves resume with both jobs.
  EXPECT_TRUE(table->Save());
  EXPECT_EQ(Names(table->Snapshot()), (std::vector<std::string>{"alpha", "beta"}));
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
}

TEST(ScheduleFile, FailedReplaceLeavesTheOldFileWhole) {
  Folder f;
  auto table = f.Table();
  ASSERT_TRUE(table->Add(SampleJob("alpha")).saved);
  HANDLE held = CreateFileW(f.File().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EditResult added = table->Add(SampleJob("beta"));
  CloseHandle(held);
  EXPECT_TRUE(added.ok());
  EXPECT_FALSE(added.saved);
  EXPECT_EQ(ReadBytes(f.File()), kOneJob);
  ASSERT_EQ(f.log.size(), 1u);
}
#endif

TEST(ScheduleFile, FailedRewriteLeavesNoTemporaryAndOthersTemporariesAlone) {
  Folder f;
  auto table = f.Table();
  // A temporary of another writer (the manager's, or an older program's).
  WriteBytes(f.dir / "OrvaSchedule.ovc.tmp", "another writer's");
  ASSERT_TRUE(table->Add(SampleJob("alpha")).saved);
  std::filesystem::remove(f.File());
  std::filesystem::create_directories(f.File() / "sub");  // the file cannot be replaced
  EditResult added = table->Add(SampleJob("beta"));
  EXPECT_TRUE(added.ok());
  EXPECT_FALSE(added.saved);
  ASSERT_EQ(f.log.size(), 1u);
  std::filesystem::remove_all(f.File());
  EXPECT_TRUE(table->Save());
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(f.dir.Path()))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"OrvaSchedule.ovc", "OrvaSchedule.ovc.tmp"}));
  EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.tmp"), "another writer's");
}

}  // namespace
}  // namespace orva::service
