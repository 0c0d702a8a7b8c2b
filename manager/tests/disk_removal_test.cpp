#include "core/disk_removal.h"

#include <gtest/gtest.h>

#include <set>

namespace orva::manager {
namespace {

DiskRemovalPlan Plan(int type, const std::vector<std::string>& increments, std::set<std::string> present) {
  return PlanImageRemoval("D:\\Repo\\Job.TAV", type, increments,
                          [&](const std::string& p) { return present.count(p) > 0; });
}

TEST(DiskRemoval, FullImageTakesImageAndOnlyTheCompanionsThatExist) {
  const auto plan = Plan(300, {"D:\\Repo\\Job_0001.TAV"}, {"D:\\Repo\\Job.TAV.tmp", "D:\\Repo\\Job.TAV_i.log"});
  EXPECT_EQ(plan.remove, (std::vector<std::string>{"D:\\Repo\\Job.TAV", "D:\\Repo\\Job.TAV.tmp"}));
  EXPECT_TRUE(plan.kept.empty());
}

TEST(DiskRemoval, ChainTakesLogsThenTheChainsOwnIncrementsInListOrder) {
  const auto plan = Plan(302, {"D:\\Repo\\Job_0001.TAV", "job_0002.tav", "D:\\REPO\\JOB_0003.TAV"},
                         {"D:\\Repo\\Job.TAV_a.log", "D:\\Repo\\Job.TAV_i.log", "D:\\Repo\\Job.TAV_d.log"});
  EXPECT_EQ(plan.remove,
            (std::vector<std::string>{"D:\\Repo\\Job.TAV", "D:\\Repo\\Job.TAV_a.log", "D:\\Repo\\Job.TAV_i.log",
                                      "D:\\Repo\\Job.TAV_d.log", "D:\\Repo\\Job_0001.TAV", "D:\\Repo\\job_0002.tav",
                                      "D:\\Repo\\JOB_0003.TAV"}));
  EXPECT_TRUE(plan.kept.empty());
}

TEST(DiskRemoval, NamesOutsideTheChainAreKept) {
  const std::vector<std::string> foreign = {
      "C:\\Windows\\system32\\kernel32.dll",  // another folder
      "D:\\Repo\\Other_0001.TAV",             // another chain
      "D:\\Repo\\sub\\Job_0001.TAV",          // a folder below
      "D:\\Repo\\..\\Job_0001.TAV",           // a way out of the folder
      "D:\\Repo/../Job_0001.TAV",
      "D:\\Repo\\Job_01.TAV",  // not the chain's numbering
      "D:\\Repo\\Job_0001.TAV.bak",
      "E:Job_0001.TAV",     // another drive's current folder
      "D:\\Repo\\Job.TAV",  // the image itself is no increment
      "",
  };
  for (int type : {301, 302, 303}) {
    const auto plan = Plan(type, foreign, {});
    EXPECT_EQ(plan.remove, std::vector<std::string>{"D:\\Repo\\Job.TAV"}) << type;
    EXPECT_EQ(plan.kept, foreign) << type;
  }
}

TEST(DiskRemoval, OnlyAFileThatReadsAsATavImageIsDeleted) {
  struct Case {
    const char* path;
    ImageFileFound found;
    bool deleteFiles, deleteJob;
    const char* says;
  };
  const Case cases[] = {
      {"D:\\Repo\\Job.TAV", ImageFileFound::kImage, true, true, ""},
      {"D:\\Repo\\job.tav", ImageFileFound::kImage, true, true, ""},
      {"D:\\Repo\\Job.TAV", ImageFileFound::kMissing, false, true, ""},
      {"D:\\Docs\\Letter.doc", ImageFileFound::kMissing, false, true, ""},
      // Something else at the path: nothing goes, the job stays, the user is told.
      {"D:\\Repo\\Job.TAV", ImageFileFound::kNotAnImage, false, false, "it is not a TAV image"},
      {"D:\\Docs\\Letter.doc", ImageFileFound::kNotAnImage, false, false, ".TAV"},
      {"D:\\Docs\\Letter.doc", ImageFileFound::kImage, false, false, ".TAV"},
      {"Repo\\Job.TAV", ImageFileFound::kImage, false, false, "not a full path"},
  };
  for (const Case& c : cases) {
    const ImageRemovalDecision d = DecideImageRemoval(c.path, c.found);
    EXPECT_EQ(d.deleteFiles, c.deleteFiles) << c.path;
    EXPECT_EQ(d.deleteJob, c.deleteJob) << c.path;
    EXPECT_NE(d.why.find(c.says), std::string::npos) << c.path << ": " << d.why;
    if (!c.deleteJob) {
      EXPECT_NE(d.why.find(c.path), std::string::npos) << d.why;
    }
  }
}

TEST(DiskRemoval, OtherTypesDeleteNothing) {
  for (int type : {304, 305, 306, 0}) EXPECT_TRUE(Plan(type, {"D:\\Repo\\Job_0001.TAV"}, {}).remove.empty());
}

}  // namespace
}  // namespace orva::manager
