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

TEST(ScheduleFile, DamagedFileIsKeptAsideNotOverwritten) {
  const std::string good = kOneJob;
  std::string longName = good;
  longName.replace(longName.find("alpha"), 5, std::string(50, 'a'));
  std::string badType = good;
  badType.replace(badType.find("300"), 3, "399");
  const std::string twins = FormatScheduleFile(std::vector<JobRecord>{SampleJob("x"), SampleJob("x")});
  ASSERT_EQ(twins.rfind("Schedule Number: 2", 0), 0u);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"no count line", "alpha\r\n" + good},
      {"count above 50", "Schedule Number: 51\r\n"},
      {"negative count", "Schedule Number: -1\r\n"},
      {"fewer records than the count", good.substr(0, good.size() - 10)},
      {"name longer than its field", longName},
      {"job type out of range", badType},
      {"one name twice", twins},
      {"empty file", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Folder f;
    WriteBytes(f.File(), c.bytes);
    auto table = f.Table();
    EXPECT_EQ(table->Load(), LoadStatus::kCorrupt);
    EXPECT_EQ(table->Count(), 0);
    EXPECT_EQ(ReadBytes(f.dir / "OrvaSchedule.ovc.bad"), c.bytes);
    ASSERT_EQ(f.log.size(), 1u);
    EXPECT_NE(f.log[0].find("OrvaSchedule.ovc.bad"), std::string::npos) << f.log[0];
    EXPECT_EQ(ReadBytes(f.File()), "Schedule Number: 0\r\n");
    EXPECT_FALSE(table->SavesHeld());
  }
}

TEST(ScheduleFile, UnreadableFileHoldsSavesBack) {
  Folder f;
  std::filesystem::create_directory(f.File());  // exists, cannot be read as a file
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kLocked);
  EXPECT_TRUE(table->SavesHeld());
  ASSERT_EQ(f.log.size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(f.File()));
  EditResult added = table->Add(SampleJob("alpha"));
  EXPECT_TRUE(added.ok());
  EXPECT_FALSE(added.saved);
  EXPECT_TRUE(std::filesystem::is_directory(f.File()));

  // Once the file can be read again, a reload lifts the hold.
  std::filesystem::remove(f.File());
  WriteBytes(f.File(), kOneJob);
  EXPECT_EQ(table->Load(), LoadStatus::kLoaded);
  EXPECT_FALSE(table->SavesHeld());
  EXPECT_TRUE(table->Add(SampleJob("beta")).saved);
}

#ifdef _WIN32
TEST(ScheduleFile, FileLockedByAnotherWriterIsLeftWhole) {
  Folder f;
  WriteBytes(f.File(), kOneJob);
  HANDLE held = CreateFileW(f.File().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  auto table = f.Table();
  EXPECT_EQ(table->Load(), LoadStatus::kLocked);
  EXPECT_TRUE(table->Add(SampleJob("beta")).ok());
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(f.File()), kOneJob);
  EXPECT_FALSE(std::filesystem::exists(f.dir / "OrvaSchedule.ovc.bad"));
}
#endif

TEST(ScheduleFile, FailedRewriteLeavesTheOldFileWhole) {
  Folder f;
  auto table = f.Table();
  ASSERT_TRUE(table->Add(SampleJob("alpha")).saved);
  std::filesystem::create_directory(f.dir / "OrvaSchedule.ovc.tmp");  // the temporary cannot be written
  EditResult added = table->Add(SampleJob("beta"));
  EXPECT_TRUE(added.ok());
  EXPECT_FALSE(added.saved);
  EXPECT_EQ(ReadBytes(f.File()), kOneJob);
  ASSERT_EQ(f.log.size(), 1u);
  std::filesystem::remove(f.dir / "OrvaSchedule.ovc.tmp");
  EXPECT_TRUE(table->Save());
  EXPECT_EQ(ReadBytes(f.File()), FormatScheduleFile(table->Snapshot()));
  EXPECT_FALSE(std::filesystem::exists(f.dir / "OrvaSchedule.ovc.tmp"));
}

}  // namespace
}  // namespace orva::service
