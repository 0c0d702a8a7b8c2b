// The manager's copy of the service's jobs, and the reading of the records
// the service sends: the job list at connection, the echoes of ADDJOB,
// MODIFYJOB and DELETEJOB, and the status records of running jobs.
#pragma once
#include <cstddef>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"

namespace orva::manager {

using service::JobRecord;

inline constexpr size_t kMaxJobs = 50;

// What the job views do after a record has been applied. Called on the
// receiving thread, without the table's lock held.
class JobViews {
 public:
  virtual ~JobViews() = default;
  virtual void Rebuild() {}                                       // the whole job tree from the table
  virtual void Added(const JobRecord& /*entry*/) {}               // a new last entry
  virtual void Modified() {}                                      // an entry replaced: clear and rebuild
  virtual void BackupStatus(const JobRecord& /*status*/) {}       // types 300-303 and 306
  virtual void ReplicationStatus(const JobRecord& /*status*/) {}  // types 304 and 305
};

// At most 50 entries, in the order the service listed them, later additions
// behind them; names unique. Every access holds the one lock.
class ManagerJobTable {
 public:
  std::vector<JobRecord> Entries() const;
  size_t Count() const;
  std::optional<JobRecord> Find(std::string_view name) const;
  // Sets the code of the named entry (before a command sends it); false
  // when there is no such entry.
  bool SetCode(std::string_view name, int32_t code);
  // Replaces the named entry; false when there is no such entry.
  bool Replace(std::string_view name, const JobRecord& record);

  // Apply modes.
  static constexpr int kRefresh = 0, kChange = 1, kStatus = 2;
  // Applies one record as the service sent it and tells the views.
  void ApplyRecord(const JobRecord* record, int mode, JobViews& views);

  // The job list: begins with the announced count (at most 50 kept), then
  // stores entries slot by slot; entries beyond the table are dropped.
  void BeginList(int32_t announced);
  void StoreListEntry(const JobRecord& record);

 private:
  mutable std::mutex lock_;
  std::vector<JobRecord> entries_;  // the announced count's slots during a list
  size_t nextListSlot_ = 0;
};

// Reads the records of one connection in order: list mode between
// JOBLISTBEGIN and JOBLISTEND, then single records by their run state.
class RecordReceiver {
 public:
  RecordReceiver(ManagerJobTable& table, JobViews& views) : table_(table), views_(views) {}
  void Take(const JobRecord& record);
  bool InList() const { return listMode_; }

 private:
  ManagerJobTable& table_;
  JobViews& views_;
  bool listMode_ = false;
};

}  // namespace orva::manager
