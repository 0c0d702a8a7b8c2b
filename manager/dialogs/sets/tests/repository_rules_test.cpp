// The rules of the repository dialog.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "repository_rules.h"

namespace orva::manager {
namespace {

TEST(RepositoryRules, ListsSplitAtBars) {
  EXPECT_EQ(SplitRepositoryList("D:\\Images|Z:|"), (std::vector<std::string>{"D:\\Images", "Z:"}));
  EXPECT_EQ(SplitRepositoryList("D:\\Images|E:\\Last"), (std::vector<std::string>{"D:\\Images"}));
  EXPECT_TRUE(SplitRepositoryList("").empty());
}

TEST(RepositoryRules, FreeDrivesLeaveOutThoseInUse) {
  std::vector<std::string> free = FreeDriveLetters({"C:", "d:", "Z:\\"});
  EXPECT_EQ(free.size(), 23u);
  EXPECT_EQ(free.front(), "A:");
  EXPECT_EQ(free.back(), "Y:");
  EXPECT_EQ(std::count(free.begin(), free.end(), "D:"), 0);
}

TEST(RepositoryRules, LocalAdd) {
  RepositoryEditor e("D:|", "");
  EXPECT_EQ(e.AddLocal(""), "Local repository path is not assigned.\nPlease try again.");
  EXPECT_EQ(e.AddLocal("d:\\"), "This is already registered");
  EXPECT_EQ(e.AddLocal("E:\\Images"), "");
  EXPECT_EQ(e.AddLocal("e:\\images"), "This is already registered");
  EXPECT_EQ(e.AddLocal("F:\\a|b"), "An image repository entry cannot contain \"|\".\nPlease try again.");
  EXPECT_EQ(e.AddLocal("G:\\"), "");
  EXPECT_EQ(e.Lines(), (std::vector<std::string>{"D:", "E:\\Images", "G:"}));
  service::OptionsRecord o;
  ASSERT_EQ(e.BuildOptions(o), "");
  EXPECT_EQ(o.repositories, "D:|E:\\Images|G:|");
}

TEST(RepositoryRules, NetworkChecksInOrder) {
  NetworkInput in;
  EXPECT_EQ(NetworkInputProblem(in), "Network repository path is not assigned.\nPlease try again.");
  in.share = "\\\\nas\\images";
  EXPECT_EQ(NetworkInputProblem(in), "Please enter a username.");
  in.user = "bob";
  EXPECT_EQ(NetworkInputProblem(in), "Please enter a password.");
  in.password = "s3cret";
  EXPECT_EQ(NetworkInputProblem(in), "Please select a drive letter.");
  in.drive = "X:";
  EXPECT_EQ(NetworkInputProblem(in), "");
  in.share = "nas\\images";
  EXPECT_NE(NetworkInputProblem(in).find("\\\\server\\share"), std::string::npos);
  in.share = "\\\\nas\\images";
  in.password = "a|b";
  const std::string message = NetworkInputProblem(in);
  EXPECT_NE(message, "");
  EXPECT_EQ(message.find("a|b"), std::string::npos);  // a password never shows
}

TEST(RepositoryRules, TwoSharesThenRemoveOne) {
  RepositoryEditor e("D:\\Images|", "");
  ASSERT_EQ(e.AddNetwork({"\\\\nas\\one", "bob", "pw1", "X:"}), "");
  ASSERT_EQ(e.AddNetwork({"\\\\nas\\two", "amy", "pw2", "Y:"}), "");
  service::OptionsRecord o;
  ASSERT_EQ(e.BuildOptions(o), "");
  EXPECT_EQ(o.repositories, "D:\\Images|X:|Y:|");
  EXPECT_EQ(o.network, "X:|\\\\nas\\one|bob|pw1|Y:|\\\\nas\\two|amy|pw2|");
  EXPECT_EQ(o.disconnect, "");

  EXPECT_TRUE(e.Remove(1));
  EXPECT_FALSE(e.Remove(0));  // a local folder
  EXPECT_FALSE(e.Remove(5));
  ASSERT_EQ(e.BuildOptions(o), "");
  EXPECT_EQ(o.repositories, "Y:|");
  EXPECT_EQ(o.network, "Y:|\\\\nas\\two|amy|pw2|");
  EXPECT_EQ(o.disconnect, "X:|\\\\nas\\one|bob|pw1|");

  // Added again: no longer to be disconnected.
  ASSERT_EQ(e.AddNetwork({"\\\\nas\\three", "bob", "pw3", "X:"}), "");
  ASSERT_EQ(e.BuildOptions(o), "");
  EXPECT_EQ(o.disconnect, "");
}

TEST(RepositoryRules, ListsThatWouldNotFitAreRefused) {
  RepositoryEditor e("", "");
  int added = 0;
  for (int i = 0; i < 200; ++i) {
    char path[32];
    std::snprintf(path, sizeof path, "D:\\Repository%03d", i);
    if (!e.AddLocal(path).empty()) break;
    ++added;
  }
  EXPECT_LT(added, 200);
  service::OptionsRecord o;
  ASSERT_EQ(e.BuildOptions(o), "");
  EXPECT_LE(o.repositories.size(), service::kRepositoryListMax);
  EXPECT_EQ(e.AddLocal("D:\\OneMore"), "The image repository list is full.\nPlease remove an image repository first.");
}

TEST(RepositoryRules, ConfirmText) {
  RepositoryEditor empty("", "");
  EXPECT_EQ(empty.ConfirmText(), "Please add an image repository.\nDo you want to continue?");
  RepositoryEditor two("D:\\Images|Z:|", "");
  EXPECT_EQ(two.ConfirmText(),
            "Below are the registered image repositories.\n\n\tD:\\Images\n\tZ:\n\nDo you want to continue?");
}

}  // namespace
}  // namespace orva::manager
