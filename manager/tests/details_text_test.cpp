#include "core/details_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "contracts/job_record_check.h"
#include "core/job_view_text.h"

using namespace orva::manager;
using namespace orva::service;

namespace {

// A disk described by tables.
class TableDisk : public DetailsDisk {
 public:
  std::set<std::string> folders, files;
  std::map<std::string, int64_t> free, sizes;
  struct Image {
    int32_t count;
    std::vector<std::string> names;
  };
  std::map<std::string, Image> images;
  std::vector<std::string> freeAsked;

  bool PathExists(const std::string& p) override { return folders.count(p) || files.count(p); }
  bool FileExists(const std::string& p) override { return files.count(p) > 0; }
  int64_t FreeBytes(const std::string& root) override {
    freeAsked.push_back(root);
    auto it = free.find(root);
    return it == free.end() ? 0 : it->second;
  }
  int64_t FileSize(const std::string& p) override {
    auto it = sizes.find(p);
    return it == sizes.end() ? 0 : it->second;
  }
  bool ImageIncrements(const std::string& p, int32_t& count, std::vector<std::string>& names) override {
    auto it = images.find(p);
    if (it == images.end()) return false;
    count = it->second.count;
    names = it->second.names;
    return true;
  }
};

constexpr int64_t kMiB = 1048576;

JobRecord Job(const char* name, int32_t type, const char* kind, const char* time = "02:30") {
  JobRecord r{};
  SetFieldText(r.jobName, name);
  r.jobType = type;
  SetFieldText(r.scheduleKind, kind);
  SetFieldText(r.scheduleTime, time);
  SetFieldText(r.driveLetter, "C");
  SetFieldText(r.imagePath, std::string("D:\\Orvanta\\") + name + ".TAV");
  SetFieldText(r.sourceFolder, "C:\\Data");
  SetFieldText(r.targetFolder, "E:\\Copy");
  std::memset(r.weekdays, 'n', sizeof r.weekdays);
  r.daily = r.weekly = r.monthly = 'n';
  return r;
}

std::vector<std::string> Flat(const std::vector<DetailsRow>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) out.push_back(r.label + "#" + std::to_string(r.image) + "#" + r.value);
  return out;
}

const std::string kParent = "C:\\Program Files";

}  // namespace

TEST(DetailsText, SizeTextTurnsAtAThousandMegabytes) {
  const struct {
    int64_t bytes;
    const char* text;
  } cases[] = {
      {kMiB - 1, "0 MB"},        {999 * kMiB, "999 MB"},        {1000 * kMiB - 1, "999 MB"},
      {1005 * kMiB, "1.005 GB"}, {123456 * kMiB, "123.456 GB"}, {int64_t(4000000) * kMiB, "4000.000 GB"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(DetailsText, ScheduleTexts) {
  JobRecord weekly = Job("W", kFullBackup, "weekly");
  weekly.weekdays[0] = weekly.weekdays[4] = 'y';
  JobRecord allWeek = Job("A", kFullBackup, "weekly", "23:59");
  std::memset(allWeek.weekdays, 'y', sizeof allWeek.weekdays);
  JobRecord noDay = Job("N", kFullBackup, "weekly");
  JobRecord monthly = Job("M", kFullBackup, "monthly");
  monthly.dayOfMonth = 15;
  const struct {
    JobRecord job;
    const char* text;
  } cases[] = {
      {Job("D", kFullBackup, "daily", "21:05"), "21:05"},
      {weekly, "Mon Fri , 02:30"},
      {allWeek, "Mon Tue Wed Thu Fri Sat Sun , 23:59"},
      {noDay, ", 02:30"},
      {monthly, "15 st, 02:30"},
      {Job("O", kFullBackup, "once"), "None"},
      {Job("H", kFullBackup, "hourly"), "None"},
  };
  for (const auto& c : cases) EXPECT_EQ(ScheduleText(c.job), c.text) << JobName(c.job);
}

TEST(DetailsText, SmallTexts) {
  EXPECT_EQ(CompressionText(0), "None");
  EXPECT_EQ(CompressionText(1), "Normal");
  EXPECT_EQ(CompressionText(9), "High");
  EXPECT_EQ(CompressionText(5), "");
  EXPECT_EQ(ScheduleKindText("monthly"), "Monthly");
  EXPECT_EQ(ScheduleKindText("Daily"), "");
  EXPECT_EQ(ParentFolder("C:\\Program Files\\Orvanta\\OrvaManager.exe"), "C:\\Program Files");
  EXPECT_EQ(ParentFolder("C:\\OrvaManager.exe"), "");
  EXPECT_EQ(BarEndedEntries("a|b||c"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_TRUE(BarEndedEntries("no bar").empty());
}

TEST(DetailsText, OsCaptionShowsTheWmiFailureNotAnotherName) {
  EXPECT_EQ(OsCaptionText("", {"Microsoft Windows 7", "Microsoft Windows 10 Pro"}, 9),
            "Microsoft Windows 10 Pro [64bit]");
  EXPECT_EQ(OsCaptionText("", {"Microsoft Windows XP"}, 0), "Microsoft Windows XP [32bit]");
  EXPECT_EQ(OsCaptionText("", {"Microsoft Windows 10"}, 12), "Microsoft Windows 10 ");
  const std::string failed = "WMI ERROR\nCould not connect. Error code = 80004005";
  EXPECT_EQ(OsCaptionText(failed, {"Microsoft Windows 10 Pro"}, 9), failed);
}

TEST(DetailsText, SystemSummaryWithRepositoriesOnTheirOwnDrives) {
  TableDisk disk;
  disk.folders = {"D:\\Orvanta"};
  disk.free = {{"D:\\", 999 * kMiB}, {"E:\\", 1000 * kMiB}};
  std::vector<JobRecord> jobs = {Job("A", kFullBackup, "once"), Job("B", kReplication, "daily"),
                                 Job("C", kFullBackup, "weekly"), Job("D", kFullBackup, "hourly")};
  EXPECT_EQ(Flat(SystemRows("Microsoft Windows 10 Pro [64bit]", jobs, kParent, "D:\\Orvanta|E:\\Images|F:\\x", disk)),
            (std::vector<std::string>{"Operating System#0#Microsoft Windows 10 Pro [64bit]", "Total Tasks#0#4",
                                      "Scheduled Tasks#6#3", "Log Path#11#C:\\Program Files\\Log",
                                      "Repository Directory#9#D:\\Orvanta ( 999 MB Available)",
                                      "Repository Directory#8#E:\\Images ( 1.000 GB Available)"}));
  EXPECT_EQ(disk.freeAsked, (std::vector<std::string>{"D:\\", "E:\\"}));
}

TEST(DetailsText, SystemSummaryWithoutRepository) {
  TableDisk disk;
  const auto rows = Flat(SystemRows("WMI ERROR\nx", {}, kParent, "", disk));
  EXPECT_EQ(rows, (std::vector<std::string>{"Operating System#0#WMI ERROR\nx", "Total Tasks#0#0", "Scheduled Tasks#6#0",
                                            "Log Path#11#C:\\Program Files\\Log",
                                            "Repository Directory#3#There is no assigned image repository."}));
  // An entry without its closing bar is none.
  EXPECT_EQ(SystemRows("", {}, kParent, "D:\\Orvanta", disk).back().value, "There is no assigned image repository.");
}

TEST(DetailsText, ImageJobRows) {
  TableDisk disk;
  JobRecord full = Job("Full", kFullBackup, "weekly");
  full.weekdays[0] = full.weekdays[4] = 'y';
  full.compressionLevel = 9;
  SetFieldText(full.excludeList, "C:\\Temp|C:\\Cache|C:\\Tail");
  disk.files = {"D:\\Orvanta\\Full.TAV", kParent + "\\Log\\OrvaImage_Full_C.log"};
  disk.sizes = {{"D:\\Orvanta\\Full.TAV", 123456 * kMiB + 5}};
  disk.images = {{"D:\\Orvanta\\Full.TAV", {0, {}}}};
  EXPECT_EQ(Flat(JobRows({full}, "Full", kParent, disk)),
            (std::vector<std::string>{
                "Task Type #1#FULL BACKUP", "Schedule #6#Weekly", "Time #10#Mon Fri , 02:30", "Backup Drive #12#C",
                "Compression Level #1#High", "Backup Path #9#D:\\Orvanta\\Full.TAV", "Image Size #1#123.456 GB",
                "Excluded Folder#17#C:\\Temp", "Excluded Folder#17#C:\\Cache", "Log #11#Log\\OrvaImage_Full_C.log"}));
}

TEST(DetailsText, IncrementRowsAndMissingFiles) {
  TableDisk disk;
  JobRecord inc = Job("Inc", kIncrementalBackup, "monthly");
  inc.dayOfMonth = 15;
  inc.compressionLevel = 1;
  const std::string image = "D:\\Orvanta\\Inc.TAV";
  disk.files = {image, "D:\\Orvanta\\Inc_0001.TAV"};
  disk.sizes = {{image, 999 * kMiB}};
  disk.images = {{image, {3, {"D:\\Orvanta\\Inc_0001.TAV", "D:\\Orvanta\\Inc_0002.TAV", "X:\\Inc_0003.TAV"}}}};
  EXPECT_EQ(Flat(JobRows({inc}, "Inc", kParent, disk)),
            (std::vector<std::string>{
                "Task Type #1#Incremental Backup", "Schedule #6#Monthly", "Time #10#15 st, 02:30", "Backup Drive #12#C",
                "Compression Level #1#Normal", "Backup Path #9#" + image, "Image Size #1#999 MB", "Backup Count#1#3",
                "Backup Status#8#Not exist D:\\Orvanta\\Inc_0002.TAV", "Backup Status#8#Not exist X:\\Inc_0003.TAV",
                "Log #8#Log\\OrvaImage_Inc_C.log"}));

  // An image that does not open: no count and no status rows.
  JobRecord update = Job("Upd", kUpdateBackup, "daily", "21:00");
  update.compressionLevel = 4;
  EXPECT_EQ(
      Flat(JobRows({update}, "Upd", kParent, disk)),
      (std::vector<std::string>{"Task Type #1#UPDATE BACKUP", "Schedule #6#Daily", "Time #10#21:00",
                                "Backup Drive #12#C", "Compression Level #1#", "Backup Path #8#D:\\Orvanta\\Upd.TAV",
                                "Image Size #1#0 MB", "Log #8#Log\\OrvaImage_Upd_C.log"}));
}

TEST(DetailsText, RowsPerJobType) {
  TableDisk disk;
  const std::string log = kParent + "\\Log\\";
  disk.files = {log + "Replicate_Rep.log", log + "Replicate_Shadow_Snap_C.log", log + "Replicate_Snap.log",
                "D:\\Images\\Iso.iso"};
  disk.sizes = {{"D:\\Images\\Iso.iso", 2500 * kMiB}};
  disk.images = {{"D:\\Orvanta\\Diff.TAV", {1, {"D:\\Orvanta\\Diff_0001.TAV"}}}};
  JobRecord iso = Job("Iso", kIsoBackup, "once");
  SetFieldText(iso.imagePath, "D:\\Images\\ORVAPE\\IMAGE\\Iso.TAV");
  JobRecord isoElsewhere = Job("Iso2", kIsoBackup, "once");
  JobRecord snap = Job("Snap", kReplicationShadow, "daily", "06:00");
  const std::vector<JobRecord> jobs = {
      Job("Rep", kReplication, "once"), snap, iso, isoElsewhere, Job("Diff", kDifferentialBackup, "once"),
      Job("Odd", 299, "once")};
  const struct {
    const char* name;
    std::vector<std::string> rows;
  } cases[] = {
      {"Rep",
       {"Task Type #4#REPLICATION", "Schedule #6#Once", "Time #10#None", "Source Path #13#C:\\Data",
        "Target Path #14#E:\\Copy", "Log #11#Log\\Replicate_Rep.log"}},
      {"Snap",
       {"Task Type #4#SNAPSHOT REPLICATION", "Schedule #6#Daily", "Time #10#06:00", "Source Path #13#C:\\Data",
        "Target Path #14#E:\\Copy", "Log #11#Log\\Replicate_Shadow_Snap_C.log",
        "Log #8#Log\\Replicate_Shadow_Mount_Snap_C.log", "Log #11#Log\\Replicate_Snap.log"}},
      {"Iso",
       {"Task Type #1#ISO IMAGE", "Schedule #6#Once", "Time #10#None", "Backup Drive #12#C",
        "Compression Level #1#None", "Backup Path #9#D:\\Images\\Iso.iso", "Image Size #1#2.500 GB",
        "Log #8#Log\\OrvaImage_Iso_C.log"}},
      {"Iso2",
       {"Task Type #1#ISO IMAGE", "Schedule #6#Once", "Time #10#None", "Backup Drive #12#C",
        "Compression Level #1#None", "Backup Path #8#Iso2.iso", "Image Size #1#0 MB",
        "Log #8#Log\\OrvaImage_Iso2_C.log"}},
      {"Diff",
       {"Task Type #1#Differential Backup", "Schedule #6#Once", "Time #10#None", "Backup Drive #12#C",
        "Compression Level #1#None", "Backup Path #8#D:\\Orvanta\\Diff.TAV", "Image Size #1#0 MB", "Backup Count#1#1",
        "Backup Status#8#Not exist D:\\Orvanta\\Diff_0001.TAV", "Log #8#Log\\OrvaImage_Diff_C.log"}},
      {"Odd", {"Task Type #1#", "Schedule #6#Once", "Time #10#None"}},
      {"Nobody", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Flat(JobRows(jobs, c.name, kParent, disk)), c.rows) << c.name;
}

TEST(DetailsText, EveryJobOfTheNameShows) {
  TableDisk disk;
  const std::vector<JobRecord> jobs = {Job("Twin", kReplication, "once"), Job("Other", kReplication, "once"),
                                       Job("Twin", 299, "daily", "01:00")};
  EXPECT_EQ(Flat(JobRows(jobs, "Twin", kParent, disk)),
            (std::vector<std::string>{"Task Type #4#REPLICATION", "Schedule #6#Once", "Time #10#None",
                                      "Source Path #13#C:\\Data", "Target Path #14#E:\\Copy",
                                      "Log #8#Log\\Replicate_Twin.log", "Task Type #1#", "Schedule #6#Daily",
                                      "Time #10#01:00"}));
}
