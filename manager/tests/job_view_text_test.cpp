#include "core/job_view_text.h"

#include <gtest/gtest.h>

#include <cstring>

#include "contracts/job_record_check.h"

using namespace orva::manager;
using namespace orva::service;

namespace {

JobRecord Job(int32_t type, const char* kind, const char* time = "09:30") {
  JobRecord r{};
  SetFieldText(r.jobName, "Job");
  r.jobType = type;
  SetFieldText(r.scheduleKind, kind);
  SetFieldText(r.scheduleTime, time);
  SetFieldText(r.imagePath, "D:\\Orvanta\\Job.tav");
  SetFieldText(r.sourceFolder, "C:\\Data");
  SetFieldText(r.targetFolder, "E:\\Copy");
  std::memset(r.weekdays, 'n', sizeof r.weekdays);
  return r;
}

std::vector<std::string> Texts(const std::vector<DetailLine>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.text + "/" + std::to_string(l.image));
  return out;
}

JobRecord Status(int32_t type, int32_t state, int32_t percent, const char* kind = "daily") {
  JobRecord r = Job(type, kind);
  r.jobState = state;
  r.percent = percent;
  return r;
}

}  // namespace

TEST(JobViewText, DetailLinesOfEachSchedule) {
  JobRecord weekly = Job(kFullBackup, "weekly");
  weekly.weekdays[0] = weekly.weekdays[4] = 'y';
  EXPECT_EQ(Texts(JobDetailLines(weekly)),
            (std::vector<std::string>{"Schedule  : Weekly/6", "Type : FULL BACKUP/1", "Time : Mon Fri , 09:30/10",
                                      "Path : D:\\Orvanta\\Job.tav/9"}));
  JobRecord monthly = Job(kIncrementalBackup, "monthly", "23:00");
  monthly.dayOfMonth = 3;
  EXPECT_EQ(JobDetailLines(monthly)[2].text, "Time : 3 st, 23:00");
  EXPECT_EQ(JobDetailLines(monthly)[1].text, "Type : Incremental Backup");
  EXPECT_EQ(Texts(JobDetailLines(Job(kReplicationShadow, "once"))),
            (std::vector<std::string>{"Schedule  : Once/6", "Type : SNAPSHOT REPLICATION/4", "Source : C:\\Data/13",
                                      "Target : E:\\Copy/14"}));
  EXPECT_EQ(JobDetailLines(Job(kIsoBackup, "daily"))[2].text, "Time : 09:30");
  EXPECT_EQ(JobDetailLines(Job(kFullBackup, "hourly"))[0].text, "Schedule  : ");
}

TEST(JobViewText, KindImages) {
  EXPECT_EQ(JobKindImage(Job(kFullBackup, "once")), 1);
  EXPECT_EQ(JobKindImage(Job(kIsoBackup, "daily")), 15);
  EXPECT_EQ(JobKindImage(Job(kReplication, "once")), 4);
  EXPECT_EQ(JobKindImage(Job(kReplicationShadow, "weekly")), 16);
}

TEST(JobViewText, BackupStatusTexts) {
  auto v = PickBackupStatus(Status(kFullBackup, kJobCreating, 0));
  EXPECT_EQ(v.text, "Creating");
  EXPECT_TRUE(v.addsRow);
  EXPECT_EQ(v.treeImage, -1);
  v = PickBackupStatus(Status(kFullBackup, kJobAnotherRunning, 0, "once"));
  EXPECT_EQ(v.text, "Another backup job is running. Not started.");
  EXPECT_TRUE(v.addsRow);
  EXPECT_EQ(v.treeImage, 1);
  v = PickBackupStatus(Status(kFullBackup, kJobSuccess, 100, "once"));
  EXPECT_EQ(v.text, "Finish");
  EXPECT_EQ(v.treeImage, 1);
  EXPECT_EQ(PickBackupStatus(Status(kFullBackup, kJobSuccess, 100)).treeImage, 15);
  EXPECT_EQ(PickBackupStatus(Status(kFullBackup, kJobWarning, 100)).text, "Finished with some warning");
  EXPECT_FALSE(PickBackupStatus(Status(kFullBackup, kJobWarning, 100)).addsRow);
  EXPECT_EQ(PickBackupStatus(Status(kUpdateBackup, kJobImaging, 0)).text, "Updating");
  EXPECT_EQ(PickBackupStatus(Status(kDifferentialBackup, kJobImaging, 0)).text, "Updating");
  EXPECT_EQ(PickBackupStatus(Status(kIsoBackup, kJobImaging, 0)).text, "Scanning");
  v = PickBackupStatus(Status(kFullBackup, kJobImaging, 40));
  EXPECT_EQ(v.text, "");
  EXPECT_EQ(v.progress, 40);
  v = PickBackupStatus(Status(kFullBackup, kJobMountError, 30));
  EXPECT_EQ(v.text, "Mount Error");
  EXPECT_EQ(v.treeImage, 3);
  EXPECT_EQ(v.progress, 100);
}

TEST(JobViewText, AddedRowsMarkOnlyRunningJobsAsRunning) {
  EXPECT_EQ(RowAddedImage(PickBackupStatus(Status(kFullBackup, kJobCreating, 0))), 2);
  EXPECT_EQ(RowAddedImage(PickBackupStatus(Status(kFullBackup, kJobImaging, 40))), 2);
  EXPECT_EQ(RowAddedImage(PickBackupStatus(Status(kFullBackup, kJobAnotherRunning, 0))), -1);
  // A final record that arrives with no row (after "Clear", or first seen
  // after connecting) leaves the job's idle image.
  EXPECT_EQ(RowAddedImage(PickBackupStatus(Status(kFullBackup, kJobSuccess, 100))), -1);
}

TEST(JobViewText, ReplicationMarkCyclesThroughSixTexts) {
  std::string mark = "Replicating";
  std::vector<std::string> seen;
  for (int i = 0; i < 7; ++i) {
    seen.push_back(mark);
    mark = NextReplicatingMark(mark);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Replicating", "Replicating.", "Replicating..", "Replicating...",
                                            "Replicating....", "Replicating.....", "Replicating"}));
  EXPECT_EQ(NextReplicatingMark("Finish"), "Replicating");
  EXPECT_TRUE(PickReplicationStatus(Status(kReplication, kJobCopying, 0)).addsRow);
  EXPECT_EQ(PickReplicationStatus(Status(kReplication, kJobSuccess, 0, "once")).treeImage, 4);
  EXPECT_EQ(PickReplicationStatus(Status(kReplication, kJobShadowError, 0)).text, "Error");
}

TEST(JobViewText, EveryFinalStateOfAReplicationEndsItsRunningDisplay) {
  struct Case {
    int32_t state;
    const char* kind;
    const char* text;
    int image;
    bool addsRow;
  };
  const Case finals[] = {
      {kJobSuccess, "once", "Finish", kImgReplOnce, false},
      {kJobSuccess, "daily", "Finish", kImgReplRecurring, false},
      {kJobFailed, "daily", "Error", kImgError, false},
      {kJobShadowError, "daily", "Error", kImgError, false},
      {kJobMountError, "daily", "Mount Error", kImgError, false},
      {kJobWarning, "daily", "Finished with some warning", kImgReplOnce, false},
      {kJobCanceled, "once", "Canceled", kImgReplOnce, false},
      {kJobCanceled, "weekly", "Canceled", kImgReplRecurring, false},
      {kJobAnotherRunning, "daily", "Another backup job is running. Not started.", kImgReplRecurring, true},
  };
  for (const Case& c : finals) {
    const ReplicationStatusView v = PickReplicationStatus(Status(kReplicationShadow, c.state, 100, c.kind));
    EXPECT_EQ(v.text, c.text) << c.state;
    EXPECT_EQ(v.treeImage, c.image) << c.state;
    EXPECT_TRUE(v.finished && !v.running) << c.state;
    EXPECT_EQ(v.addsRow, c.addsRow) << c.state;
    EXPECT_NE(v.treeImage, kImgReplRunning);
    EXPECT_NE(v.treeImage, kImgReplRun);
  }
  for (int32_t state : {kJobCreating, kJobMounting, kJobImaging, kJobCopying}) {
    const ReplicationStatusView v = PickReplicationStatus(Status(kReplication, state, 40));
    EXPECT_TRUE(v.running && !v.finished && v.addsRow) << state;
    EXPECT_EQ(v.treeImage, kImgReplRunning) << state;
  }
}

TEST(JobViewText, ARunWithoutAnyReportIsGivenUpAfterItsLimit) {
  PendingRuns runs;
  runs.Asked("A", 1000);
  runs.Asked("B", 5000);
  runs.Asked("C", 6000);
  runs.Answered("B");  // its first status record came
  EXPECT_TRUE(runs.TakeUnanswered(1000 + kRunAnswerLimitMs - 1).empty());
  EXPECT_EQ(runs.TakeUnanswered(1000 + kRunAnswerLimitMs), std::vector<std::string>{"A"});
  EXPECT_TRUE(runs.TakeUnanswered(1000 + kRunAnswerLimitMs).empty());  // told once
  runs.Asked("C", 20000);                                              // asked again: the wait starts again
  EXPECT_TRUE(runs.TakeUnanswered(6000 + kRunAnswerLimitMs).empty());
  EXPECT_EQ(runs.TakeUnanswered(20000 + kRunAnswerLimitMs), std::vector<std::string>{"C"});
  EXPECT_TRUE(runs.Empty());
}

TEST(JobViewText, SizeTexts) {
  EXPECT_EQ(SizeText(0), "0 MB");
  EXPECT_EQ(SizeText(999LL * 1048576 + 5), "999 MB");
  EXPECT_EQ(SizeText(1000LL * 1048576), "1.000 GB");
  EXPECT_EQ(SizeText(12345LL * 1048576), "12.345 GB");
  EXPECT_EQ(TransferText(0, 0), "");
  EXPECT_EQ(TransferText(1234LL * 1048576, 35), "1.234 GB, 35 MB/s");
  EXPECT_EQ(TransferText(5LL * 1048576, -1), "5 MB, 0 MB/s");
}

TEST(MainLayoutTest, PanesFollowTheClientArea) {
  MainLayout layout;
  Box t[MainLayout::kCount];
  t[MainLayout::kDetailsCaption] = {420, 48, 570, 63};
  t[MainLayout::kRefreshCheck] = {645, 47, 720, 63};
  t[MainLayout::kRefreshEdit] = {723, 45, 759, 65};
  t[MainLayout::kSecLabel] = {765, 48, 795, 63};
  t[MainLayout::kDetails] = {420, 70, 830, 250};
  t[MainLayout::kHistoryCaption] = {420, 256, 570, 272};
  t[MainLayout::kHistory] = {420, 278, 830, 460};
  t[MainLayout::kTree] = {10, 48, 410, 460};
  t[MainLayout::kRunningCaption] = {10, 468, 160, 484};
  t[MainLayout::kRunning] = {10, 490, 830, 640};
  layout.Measure(t, 840, 650);
  Box same[MainLayout::kCount];
  layout.Apply(840, 650, same);
  for (int i = 0; i < MainLayout::kCount; ++i) EXPECT_EQ(same[i], t[i]) << i;

  Box out[MainLayout::kCount];
  layout.Apply(1000, 700, out);
  EXPECT_EQ(out[MainLayout::kDetails], (Box{580, 70, 990, 250}));
  EXPECT_EQ(out[MainLayout::kHistory], (Box{580, 278, 990, 510}));
  EXPECT_EQ(out[MainLayout::kTree], (Box{10, 48, 570, 510}));
  EXPECT_EQ(out[MainLayout::kRunning], (Box{10, 540, 990, 690}));
  EXPECT_EQ(out[MainLayout::kRunningCaption], (Box{10, 518, 160, 534}));
  EXPECT_EQ(out[MainLayout::kRefreshEdit], (Box{883, 45, 919, 65}));
  EXPECT_EQ(out[MainLayout::kHistoryCaption], (Box{580, 256, 730, 272}));
}

TEST(MainLayoutTest, MinimumSizeMovesTheDraggedEdge) {
  Box w{100, 100, 600, 800};
  EnforceMinimumSize(w, 1);  // left edge dragged
  EXPECT_EQ(w, (Box{-50, 100, 600, 800}));
  w = {100, 100, 600, 500};
  EnforceMinimumSize(w, 8);  // bottom-right
  EXPECT_EQ(w, (Box{100, 100, 750, 700}));
  w = {100, 100, 900, 500};
  EnforceMinimumSize(w, 5);  // top-right
  EXPECT_EQ(w, (Box{100, -100, 900, 500}));
}

TEST(MainLayoutTest, ColumnWidths) {
  EXPECT_EQ(FitColumnWidths(1000, {30, 28, 10, 16}, 17, 2), (std::vector<int>{300, 280, 100, 160, 139}));
  EXPECT_EQ(FitColumnWidths(400, {30}, 0, 0), (std::vector<int>{120, 280}));
  EXPECT_EQ(FitColumnWidths(10, {90}, 17, 2), (std::vector<int>{9, 0}));
}
