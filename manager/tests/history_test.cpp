#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/history.h"
#include "temp_folder.h"

namespace orva::manager {
namespace {

namespace fs = std::filesystem;
constexpr service::Retry kOnce{1, std::chrono::milliseconds(0)};

const std::string kHistory =
    "[2026.12.10 09:00][2026.12.10 09:05][00:05:00][FULLBACKUP][Success][Img]\r\n"
    "[10:00][10:01][00:01:00][REPLICATION][Failed][Rep]\r\n"
    "[2026.12.10 11:00][2026.12.10 11:02][00:02:00][][Warning][Iso]\r\n"
    "[12:00][12:01][00:01:00][REPLICATION][success][Img2]\r\n"
    "[13:00][13:01][00:01:00][FULLBACKUP]\r\n";

TEST(History, RowsByModeAndResult) {
  auto all = HistoryRows(kHistory, "", 0);
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].start, "2026.12.10 09:00");
  EXPECT_EQ(all[0].result, "Succeed");
  EXPECT_EQ(all[0].image, 0);
  EXPECT_EQ(all[0].name, "Img");
  EXPECT_EQ(all[1].image, 1);
  EXPECT_EQ(all[2].result, "Warning");
  EXPECT_EQ(all[2].image, 2);
  EXPECT_EQ(all[3].result, "success");  // no match: shown as it stands
  EXPECT_EQ(all[4].result, "");         // four fields: no result, no name
  EXPECT_EQ(all[4].name, "");

  auto one = HistoryRows(kHistory, "Img", 1);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].name, "");
  EXPECT_TRUE(HistoryRows(kHistory, "MYHOST", 1).empty());
}

TEST(History, SplitDropsTextOutsideBrackets) {
  const auto f = SplitHistoryLine("x[a]y[b][c] [d][e][f][g]");
  EXPECT_EQ(f[0], "a");
  EXPECT_EQ(f[1], "b");
  EXPECT_EQ(f[5], "f");
  EXPECT_EQ(SplitHistoryLine("no brackets")[0], "");
}

TEST(History, RemoveKeepsOtherLinesAndNeverEmptiesAnUnreadableFile) {
  Folder dir;
  const fs::path file = dir.path / kHistoryFileName;
  Write(file, kHistory);
  ASSERT_TRUE(RemoveHistoryLines(file, "Img", kOnce));  // "Img2" is another job
  EXPECT_EQ(Read(file), kHistory.substr(kHistory.find("[10:00]")));
  EXPECT_TRUE(RemoveHistoryLines(dir.path / "missing.log", "Img", kOnce));
  EXPECT_FALSE(fs::exists(dir.path / "missing.log"));

  std::vector<HistoryRow> rows(1);
  EXPECT_FALSE(LoadHistory(dir.path / "missing.log", "", 0, rows, kOnce));
  EXPECT_EQ(rows.size(), 1u);  // untouched
  EXPECT_TRUE(LoadHistory(file, "", 0, rows, kOnce));
  EXPECT_EQ(rows.size(), 4u);
}

}  // namespace
}  // namespace orva::manager
