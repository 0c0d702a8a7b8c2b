#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "contracts/local_time.h"
#include "contracts/options_file.h"
#include "contracts/progress_block.h"
#include "contracts/schedule_file.h"
#include "contracts/shared_file.h"
#include "sample_job.h"

namespace orva::service {
namespace {

namespace fs = std::filesystem;
constexpr Retry kQuick{2, std::chrono::milliseconds(0)};

class SharedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("orva_contracts_" + std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  fs::path dir_;
};

TEST_F(SharedFiles, ReplaceAppendReadAndKeepAside) {
  const fs::path file = dir_ / "OrvaSchedule.ovc";
  std::string bytes = "left";
  EXPECT_EQ(ReadWholeFile(file, bytes, kQuick), ReadResult::kMissing);
  EXPECT_TRUE(bytes.empty());
  ASSERT_TRUE(ReplaceWholeFile(file, "one\r\n", kQuick));
  ASSERT_TRUE(AppendToFile(file, "two\n", kQuick));
  ASSERT_EQ(ReadWholeFile(file, bytes, kQuick), ReadResult::kOk);
  EXPECT_EQ(bytes, "one\r\ntwo\n");
  EXPECT_EQ(SplitLines(bytes), (std::vector<std::string_view>{"one", "two"}));
  ASSERT_TRUE(ReplaceWholeFile(file, "three", kQuick));
  EXPECT_EQ(Read(file), "three");
  for (const auto& entry : fs::directory_iterator(dir_))
    EXPECT_EQ(entry.path().filename(), "OrvaSchedule.ovc");  // no temporary left behind

  EXPECT_EQ(KeepCopyAside(file, "first"), fs::path(file.string() + ".bad"));
  EXPECT_EQ(KeepCopyAside(file, "second"), fs::path(file.string() + ".bad.1"));
  EXPECT_EQ(Read(file.string() + ".bad"), "first");
  fs::path aside;
  ASSERT_TRUE(KeepAside(file, &aside));
  EXPECT_EQ(Read(aside), "three");
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(SharedFiles, LinesAreReadInPiecesAndRewrittenWhole) {
  const fs::path file = dir_ / "tool.log";
  std::vector<std::string> lines;
  auto collect = [&](std::string_view line) {
    lines.emplace_back(line);
    return true;
  };
  EXPECT_EQ(ForEachLine(file, kQuick, collect), ReadResult::kMissing);
  // Lines across the reader's pieces, a line longer than the limit (cut
  // there), CR LF and LF ends, a last line without an end.
  const std::string across(300 * 1024, 'a'), overlong(kMaxLineBytes + 10, 'b'), exact(kMaxLineBytes, 'c');
  const std::string text = "one\r\n" + across + "\r\n" + overlong + "\r\n" + exact + "\r\n\r\nlast";
  ASSERT_TRUE(ReplaceWholeFile(file, text, kQuick));
  ASSERT_EQ(ForEachLine(file, kQuick, collect), ReadResult::kOk);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", across.substr(0, kMaxLineBytes), overlong.substr(0, kMaxLineBytes),
                                             exact, "", "last"}));
  int seen = 0;
  ForEachLine(file, kQuick, [&](std::string_view) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);  // stopped when asked

  {
    FileReplacement dropped(file, kQuick);
    dropped.Write("never");
  }
  EXPECT_EQ(Read(file), text);
  FileReplacement kept(file, kQuick);
  for (int i = 0; i < 20000; ++i) kept.Write("line " + std::to_string(i) + "\r\n");
  ASSERT_TRUE(kept.Commit());
  EXPECT_EQ(Read(file).substr(0, 14), "line 0\r\nline 1");
  EXPECT_EQ(Read(file).size(), fs::file_size(file));
  for (const auto& entry : fs::directory_iterator(dir_)) EXPECT_EQ(entry.path().filename(), "tool.log");
}

TEST_F(SharedFiles, OpensSayWhetherTheyLock) {
#ifdef _WIN32
  const bool locks = true;
#else
  const bool locks = false;  // the POSIX side takes no lock
#endif
  EXPECT_EQ(OpensAreExclusive(), locks);
}

TEST(ScheduleFormat, WrittenTextReadsBackAsTheRecords) {
  JobRecord once = test::SampleJob("once", "once");
  once.runState = kStarted;
  const std::string text = FormatScheduleFile({test::SampleJob("alpha"), once});
  EXPECT_EQ(text.rfind("Schedule Number: 2\r\nalpha\r\n300\r\n0\r\n", 0), 0u);
  const ScheduleParse parse = ParseScheduleFile(text);
  ASSERT_EQ(parse.records.size(), 2u);
  EXPECT_TRUE(parse.problems.empty());
  EXPECT_EQ(JobName(parse.records[1]), "once");
  EXPECT_EQ(parse.records[1].runState, kDisarmed);
  EXPECT_TRUE(ParseScheduleFile("Schedule Number: x\r\n").damaged);
}

TEST(OptionsFormat, FourLinesAndTheirLimits) {
  const OptionsRecord options{"D:\\Orvanta|", "Z:|\\\\nas\\backup|user|secret|", "ignored"};
  const std::string text = FormatOptionsFile(options);
  EXPECT_EQ(text,
            "Repository Directory:\r\nD:\\Orvanta|\r\nNetwork Repository Directory:\r\n"
            "Z:|\\\\nas\\backup|user|secret|\r\n");
  OptionsRecord read;
  std::string why;
  ASSERT_TRUE(ParseOptionsFile(text, read, why));
  EXPECT_EQ(read.repositories, options.repositories);
  EXPECT_EQ(read.network, options.network);
  EXPECT_TRUE(read.disconnect.empty());
  const auto groups = ParseNetworkList(read.network + "Y:|\\\\half");
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].QualifiedUser(), "nas\\user");
  EXPECT_FALSE(ParseOptionsFile("x\r\n" + std::string(kRepositoryListMax + 1, 'a'), read, why));
  EXPECT_FALSE(ParseOptionsFile("x\r\nD:\\a\tb|\r\n", read, why));
}

TEST(ProgressBlockLayout, FiguresWhereTheServiceReadsThem) {
  ProgressBlock block{};
  block.totalBytes = 1000;
  block.processedBytes = 250;
  block.currentPercent = 25;
  unsigned char bytes[kProgressBlockSize];
  std::memcpy(bytes, &block, sizeof bytes);
  int64_t total = 0, processed = 0;
  int32_t percent = 0;
  std::memcpy(&total, bytes + kProgressTotalOffset, sizeof total);
  std::memcpy(&processed, bytes + kProgressProcessedOffset, sizeof processed);
  std::memcpy(&percent, bytes + kProgressPercentOffset, sizeof percent);
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(processed, 250);
  EXPECT_EQ(percent, 25);
  EXPECT_EQ(std::string(kStatusNameSuffix), "_Status");
}

TEST(LocalTime, ReadsTheCalendar) {
  const std::tm tm = LocalTimeOf(std::time(nullptr));
  EXPECT_GE(tm.tm_year + 1900, 2020);
  EXPECT_GE(tm.tm_mon, 0);
  EXPECT_LE(tm.tm_mon, 11);
}

}  // namespace
}  // namespace orva::service
