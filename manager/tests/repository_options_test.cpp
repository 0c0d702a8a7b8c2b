#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/repository_options.h"
#include "temp_folder.h"

namespace orva::manager {
namespace {

namespace fs = std::filesystem;

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
