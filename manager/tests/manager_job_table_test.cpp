#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "contracts/job_record_check.h"
#include "core/manager_job_table.h"

namespace orva::manager {
namespace {

using namespace orva::service;

JobRecord Rec(int32_t code, const std::string& name, int32_t runState = 0, int32_t jobType = kFullBackup) {
  JobRecord r{};
  r.code = code;
  SetFieldText(r.jobName, name);
  r.runState = runState;
  r.jobType = jobType;
  return r;
}

std::string Numbered(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "J%d", i);
  return name;
}

JobRecord ListBegin(int32_t count) {
  JobRecord r{};
  r.code = kJobListBegin;
  r.jobType = count;
  r.runState = kListMarker;
  return r;
}

JobRecord ListEnd() {
  JobRecord r{};
  r.code = kJobListEnd;
  return r;
}

struct Recorder : JobViews {
  void Rebuild() override { events.push_back("rebuild"); }
  void Added(const JobRecord& e) override { events.push_back("added " + std::string(JobName(e))); }
  void Modified() override { events.push_back("modified"); }
  void BackupStatus(const JobRecord& s) override { events.push_back("backup " + std::string(JobName(s))); }
  void ReplicationStatus(const JobRecord& s) override { events.push_back("replication " + std::string(JobName(s))); }
  std::vector<std::string> events;
};

struct Fixture {
  ManagerJobTable table;
  Recorder views;
  RecordReceiver receiver{table, views};
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& e : table.Entries()) out.emplace_back(JobName(e));
    return out;
  }
  void List(const std::vector<std::string>& names) {
    receiver.Take(ListBegin(static_cast<int32_t>(names.size())));
    for (const auto& n : names) receiver.Take(Rec(kAddJob, n));
    receiver.Take(ListEnd());
  }
};

TEST(ManagerJobTable, ListFillsTheTableAndTheCountComesFromItsBeginning) {
  Fixture f;
  f.List({"A", "B", "C"});
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(f.views.events, std::vector<std::string>{"rebuild"});

  Fixture empty;
  empty.List({});
  EXPECT_EQ(empty.table.Count(), 0u);
  EXPECT_EQ(empty.views.events, std::vector<std::string>{"rebuild"});

  // Two announced, one sent: the count is the announced one.
  Fixture shortList;
  shortList.receiver.Take(ListBegin(2));
  shortList.receiver.Take(Rec(kAddJob, "Only"));
  shortList.receiver.Take(ListEnd());
  EXPECT_EQ(shortList.table.Count(), 2u);
}

TEST(ManagerJobTable, ListNeverWritesPastTheTable) {
  Fixture f;
  f.receiver.Take(ListBegin(1000000));
  for (int i = 0; i < 60; ++i) f.receiver.Take(Rec(kAddJob, Numbered(i)));
  f.receiver.Take(ListEnd());
  EXPECT_EQ(f.table.Count(), kMaxJobs);
  EXPECT_EQ(f.Names().back(), "J49");
  Fixture negative;
  negative.receiver.Take(ListBegin(-5));
  negative.receiver.Take(Rec(kAddJob, "X"));
  negative.receiver.Take(ListEnd());
  EXPECT_EQ(negative.table.Count(), 0u);
}

TEST(ManagerJobTable, EchoesAddModifyAndDelete) {
  Fixture f;
  f.List({"A", "B", "C"});
  f.receiver.Take(Rec(kAddJob, "D"));
  f.receiver.Take(Rec(kAddJob, "D"));  // a name stays unique
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"A", "B", "C", "D"}));
  JobRecord changed = Rec(kModifyJob, "B", kDisarmed);
  changed.compressionLevel = 9;
  f.receiver.Take(changed);
  EXPECT_EQ(f.table.Find("B")->compressionLevel, 9);
  f.receiver.Take(Rec(kDeleteJob, "A"));
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"B", "C", "D"}));
  f.receiver.Take(Rec(kDeleteJob, "D"));
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"B", "C"}));
  f.receiver.Take(Rec(kDeleteJob, "nobody"));
  EXPECT_EQ(f.Names(), (std::vector<std::string>{"B", "C"}));
  f.receiver.Take(Rec(kDeleteJob, "b"));  // names are case-sensitive
  EXPECT_EQ(f.table.Count(), 2u);
  EXPECT_EQ(f.views.events, (std::vector<std::string>{"rebuild", "added D", "modified"}));
}

TEST(ManagerJobTable, StatusRecordsReplaceTheirEntryAndReachTheirRow) {
  Fixture f;
  f.List({"Img", "Rep"});
  JobRecord s = Rec(kAddJob, "Img", kStarted, kFullBackup);
  s.percent = 42;
  f.receiver.Take(s);
  EXPECT_EQ(f.table.Find("Img")->percent, 42);
  EXPECT_EQ(f.table.Find("Img")->runState, kStarted);
  f.receiver.Take(Rec(kAddJob, "Rep", kStarted, kReplicationShadow));
  f.receiver.Take(Rec(kAddJob, "Iso", kStarted, kIsoBackup));  // not in the table: its row only
  f.receiver.Take(Rec(kAddJob, "Odd", kStarted, 299));         // no such type: nothing
  EXPECT_EQ(f.table.Count(), 2u);
  EXPECT_EQ(f.views.events, (std::vector<std::string>{"rebuild", "backup Img", "replication Rep", "backup Iso"}));
}

TEST(ManagerJobTable, RecordsThatChangeNothing) {
  Fixture f;
  f.List({"A"});
  f.receiver.Take(Rec(kAddJob, "Z", kListMarker));  // run state 3 outside a list
  f.receiver.Take(Rec(kRunJob, "A", kArmed));
  f.receiver.Take(Rec(kCancelJob, "A", kDisarmed));
  EXPECT_EQ(f.Names(), std::vector<std::string>{"A"});
  EXPECT_EQ(f.views.events, std::vector<std::string>{"rebuild"});
  EXPECT_TRUE(f.table.SetCode("A", kDeleteJob));
  EXPECT_EQ(f.table.Find("A")->code, kDeleteJob);
  EXPECT_FALSE(f.table.SetCode("B", kDeleteJob));

  // A list beginning with run state 2 is not applied as a change; it begins a list.
  JobRecord begin = ListBegin(5);
  begin.runState = kDisarmed;
  f.receiver.Take(begin);
  EXPECT_TRUE(f.receiver.InList());
  EXPECT_EQ(f.views.events, std::vector<std::string>{"rebuild"});
}

TEST(ManagerJobTable, AddBeyondFiftyIsDropped) {
  Fixture f;
  f.List({});
  for (int i = 0; i < 55; ++i) f.receiver.Take(Rec(kAddJob, Numbered(i)));
  EXPECT_EQ(f.table.Count(), kMaxJobs);
}

}  // namespace
}  // namespace orva::manager
