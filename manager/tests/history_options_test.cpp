#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "core/history.h"
#include "core/repository_options.h"

namespace orva::manager {
namespace {

namespace fs = std::filesystem;
constexpr service::Retry kOnce{1, std::chrono::milliseconds(0)};

struct Folder {
  Folder() : path(fs::temp_directory_path() / ("orva_mgr_" + std::to_string(std::random_device{}()))) {
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

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

TEST(Options, LabelsFindTheirLines) {
  OptionsRecord o;
  ParseOptionsByLabel(
      "Repository Directory:\r\nD:\\Orvanta|\r\nNetwork Repository Directory:\r\nZ:|\\\\nas\\b|u|p|\r\n", o);
  EXPECT_EQ(o.repositories, "D:\\Orvanta|");
  EXPECT_EQ(o.network, "Z:|\\\\nas\\b|u|p|");

  OptionsRecord lower{"keep|", "keep2|", ""};
  ParseOptionsByLabel("repository directory:\r\nD:\\X|\r\n", lower);
  EXPECT_EQ(lower.repositories, "keep|");

  // The network label first: its next line is taken as the repository list.
  OptionsRecord swapped{"", "old|", ""};
  ParseOptionsByLabel("Network Repository Directory:\r\nZ:|s|u|p|\r\n", swapped);
  EXPECT_EQ(swapped.repositories, "Z:|s|u|p|");
  EXPECT_EQ(swapped.network, "old|");

  OptionsRecord overlong{"keep|", "", ""};
  ParseOptionsByLabel("Repository Directory:\r\n" + std::string(2000, 'x') + "\r\n", overlong);
  EXPECT_EQ(overlong.repositories, "keep|");
}

TEST(Options, WriteGivesFourLinesAndReadsBack) {
  Folder dir;
  const fs::path file = dir.path / "OrvaOption.ovc";
  OptionsRecord o{"D:\\Orvanta|", "", "Y:|"};
  ASSERT_EQ(SaveOptionsFile(file, o), 0);
  EXPECT_EQ(Read(file), "Repository Directory:\r\nD:\\Orvanta|\r\nNetwork Repository Directory:\r\n\r\n");
  OptionsRecord back;
  EXPECT_EQ(LoadOptionsFile(file, back), 0);
  EXPECT_EQ(back.repositories, o.repositories);
  EXPECT_EQ(LoadOptionsFile(dir.path / "none.ovc", back), 1);
}

TEST(Options, DefaultRepositoryIsTheDiskWithMostRoom) {
  using service::kFixedDisk;
  EXPECT_EQ(DefaultRepository({{"C:", kFixedDisk, 10}, {"D:", kFixedDisk, 30}, {"E:", kFixedDisk, 30}}), "D:\\Orvanta");
  EXPECT_EQ(DefaultRepository({{"C:", kFixedDisk, 0}}), std::nullopt);
  EXPECT_EQ(DefaultRepository({}), std::nullopt);
}

}  // namespace
}  // namespace orva::manager
