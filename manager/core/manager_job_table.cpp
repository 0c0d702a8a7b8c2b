#include "core/manager_job_table.h"

#include <algorithm>
#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::manager {

using namespace orva::service;

namespace {

bool SameName(const JobRecord& a, std::string_view name) { return JobName(a) == name; }

}  // namespace

std::vector<JobRecord> ManagerJobTable::Entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

size_t ManagerJobTable::Count() const {
  std::lock_guard guard(lock_);
  return entries_.size();
}

std::optional<JobRecord> ManagerJobTable::Find(std::string_view name) const {
  std::lock_guard guard(lock_);
  for (const JobRecord& e : entries_)
    if (SameName(e, name)) return e;
  return std::nullopt;
}

bool ManagerJobTable::SetCode(std::string_view name, int32_t code) {
  std::lock_guard guard(lock_);
  for (JobRecord& e : entries_) {
    if (SameName(e, name)) {
      e.code = code;
      return true;
    }
  }
  return false;
}

bool ManagerJobTable::Replace(std::string_view name, const JobRecord& record) {
  std::lock_guard guard(lock_);
  for (JobRecord& e : entries_) {
    if (SameName(e, name)) {
      e = record;
      return true;
    }
  }
  return false;
}

void ManagerJobTable::BeginList(int32_t announced) {
  std::lock_guard guard(lock_);
  const size_t count = announced < 0 ? 0 : std::min<size_t>(static_cast<size_t>(announced), kMaxJobs);
  entries_.assign(count, JobRecord{});
  nextListSlot_ = 0;
}

void ManagerJobTable::StoreListEntry(const JobRecord& record) {
  std::lock_guard guard(lock_);
  if (nextListSlot_ < entries_.size()) entries_[nextListSlot_] = record;
  ++nextListSlot_;
}

void ManagerJobTable::ApplyRecord(const JobRecord* record, int mode, JobViews& views) {
  if (mode == kRefresh) {
    views.Rebuild();
    return;
  }
  if (!record) return;
  const std::string_view name = JobName(*record);
  if (mode == kChange) {
    switch (record->code) {
      case kAddJob: {
        {
          std::lock_guard guard(lock_);
          // One entry per name, and never more than the table holds.
          if (entries_.size() >= kMaxJobs ||
              std::any_of(entries_.begin(), entries_.end(), [&](const JobRecord& e) { return SameName(e, name); }))
            return;
          entries_.push_back(*record);
        }
        views.Added(*record);
        return;
      }
      case kModifyJob: {
        {
          std::lock_guard guard(lock_);
          for (JobRecord& e : entries_)
            if (SameName(e, name)) e = *record;
        }
        views.Modified();
        return;
      }
      case kDeleteJob: {
        std::lock_guard guard(lock_);
        entries_.erase(
            std::remove_if(entries_.begin(), entries_.end(), [&](const JobRecord& e) { return SameName(e, name); }),
            entries_.end());
        return;
      }
      default:
        return;
    }
  }
  if (mode == kStatus) {
    const bool backup =
        (record->jobType >= kFullBackup && record->jobType <= kDifferentialBackup) || record->jobType == kIsoBackup;
    const bool replication = record->jobType == kReplication || record->jobType == kReplicationShadow;
    if (!backup && !replication) return;
    {
      std::lock_guard guard(lock_);
      for (JobRecord& e : entries_)
        if (SameName(e, name)) e = *record;
    }
    if (backup)
      views.BackupStatus(*record);
    else
      views.ReplicationStatus(*record);
  }
}

void RecordReceiver::Take(const JobRecord& record) {
  if (listMode_) {
    if (record.code == kJobListEnd) {
      listMode_ = false;
      table_.ApplyRecord(nullptr, ManagerJobTable::kRefresh, views_);
    } else {
      table_.StoreListEntry(record);
    }
    return;
  }
  switch (record.runState) {
    case kStarted:
      table_.ApplyRecord(&record, ManagerJobTable::kStatus, views_);
      break;
    case kArmed:
      table_.ApplyRecord(&record, ManagerJobTable::kChange, views_);
      break;
    case kDisarmed:
      if (record.code != kJobListBegin) table_.ApplyRecord(&record, ManagerJobTable::kChange, views_);
      break;
    default:
      break;
  }
  if (record.code == kJobListBegin) {
    listMode_ = true;
    table_.BeginList(record.jobType);
  }
}

}  // namespace orva::manager
