#include "core/job_table.h"

#include <algorithm>
#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::service {

JobRecord MakeListMarker(int32_t code, int32_t count) {
  JobRecord r{};
  r.code = code;
  r.jobType = count;
  r.runState = kListMarker;
  return r;
}

JobTable::JobTable(std::filesystem::path folder, Retry retry) : folder_(std::move(folder)), retry_(retry) {}

void JobTable::SetLogSink(LogSink sink) {
  std::lock_guard lock(mutex_);
  log_ = std::move(sink);
}

void JobTable::SetBroadcastHook(std::function<void(const JobRecord&)> hook) {
  std::lock_guard lock(mutex_);
  broadcast_ = std::move(hook);
}

void JobTable::Broadcast(const JobRecord& record) const {
  std::function<void(const JobRecord&)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = broadcast_;
  }
  if (hook) hook(record);
}

void JobTable::Log(std::string_view text) const {
  LogSink sink;
  {
    std::lock_guard lock(mutex_);
    sink = log_;
  }
  if (sink) sink("SCHEDULE", text);
}

int JobTable::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < jobs_.size(); ++i) {
    if (JobName(jobs_[i]) == name) return static_cast<int>(i);
  }
  return -1;
}

EditResult JobTable::Add(const JobRecord& record) {
  EditResult result;
  if (!ValidateJobRecord(record, result.why)) {
    result.status = EditStatus::kInvalid;
    return result;
  }
  {
    std::lock_guard lock(mutex_);
    if (IndexOf(JobName(record)) >= 0) {
      result.status = EditStatus::kDuplicate;
      result.why = "a job of this name exists";
      return result;
    }
    if (jobs_.size() >= kMaxJobs) {
      result.status = EditStatus::kFull;
      result.why = "the table holds " + std::to_string(kMaxJobs) + " jobs";
      return result;
    }
    jobs_.push_back(record);
    deletedWhileHeld_.erase(std::string(JobName(record)));
  }
  result.saved = Save();
  Broadcast(record);
  return result;
}

EditResult JobTable::Modify(const JobRecord& record) {
  EditResult result;
  if (!ValidateJobRecord(record, result.why)) {
    result.status = EditStatus::kInvalid;
    return result;
  }
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(JobName(record));
    if (i < 0) {
      result.status = EditStatus::kNotFound;
      result.why = "no job of this name";
      return result;
    }
    jobs_[i] = record;
  }
  result.saved = Save();
  Broadcast(record);
  return result;
}

EditResult JobTable::Delete(const JobRecord& record) {
  EditResult result;
  if (!std::memchr(record.jobName, '\0', sizeof record.jobName) || !IsSafeJobName(JobName(record))) {
    result.status = EditStatus::kInvalid;
    result.why = "jobName is not a valid job name";
    return result;
  }
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(JobName(record));
    if (i < 0) {
      result.status = EditStatus::kNotFound;
      result.why = "no job of this name";
      return result;
    }
    jobs_.erase(jobs_.begin() + i);
    if (auto run = runs_.find(JobName(record)); run != runs_.end() && !run->second.going) runs_.erase(run);
    if (savesHeld_) deletedWhileHeld_.emplace(JobName(record));
  }
  result.saved = Save();
  Broadcast(record);
  return result;
}

int JobTable::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(jobs_.size());
}

std::vector<JobRecord> JobTable::Snapshot() const {
  std::lock_guard lock(mutex_);
  return jobs_;
}

std::optional<JobRecord> JobTable::Find(std::string_view name) const {
  std::lock_guard lock(mutex_);
  int i = IndexOf(name);
  if (i < 0) return std::nullopt;
  return jobs_[i];
}

std::optional<JobRecord> JobTable::TryStart(std::string_view name) {
  std::optional<JobRecord> started;
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(name);
    if (i < 0 || jobs_[i].runState != kArmed) return std::nullopt;
    jobs_[i].runState = kStarted;
    started = jobs_[i];
  }
  Save();
  return started;
}

std::optional<JobRecord> JobTable::ForceStart(std::string_view name) {
  std::optional<JobRecord> started;
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(name);
    if (i < 0) return std::nullopt;
    jobs_[i].runState = kStarted;
    started = jobs_[i];
  }
  Save();
  return started;
}

bool JobTable::Rearm(std::string_view name) {
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(name);
    if (i < 0) return false;
    jobs_[i].runState = FieldText(jobs_[i].scheduleKind) == "once" ? kDisarmed : kArmed;
  }
  Save();
  return true;
}

bool JobTable::AnotherGoingLocked(std::string_view name) const {
  for (const auto& [runName, run] : runs_)
    if (run.going && runName != name) return true;
  return false;
}

RunStart JobTable::StartRun(std::string_view name, bool force, bool exclusive, JobRecord* entry, uint64_t* runId) {
  RunStart status;
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(name);
    if (i < 0) return RunStart::kUnknown;
    JobRecord& job = jobs_[i];
    auto run = runs_.find(name);
    if (run != runs_.end() && run->second.going) {
      status = RunStart::kAlreadyRunning;
    } else if (!force && job.runState != kArmed) {
      status = RunStart::kNotArmed;
    } else if (exclusive && AnotherGoingLocked(name)) {
      status = RunStart::kAnotherRunning;
      job.runState = FieldText(job.scheduleKind) == "once" ? kDisarmed : kArmed;
    } else {
      // A run of this job still waiting for its re-arm is replaced: its
      // EndRun then leaves the entry to this run.
      status = RunStart::kStarted;
      job.runState = kStarted;
      runs_.insert_or_assign(std::string(name), RunInfo{++lastRun_, true});
      if (runId) *runId = lastRun_;
    }
    if (entry) *entry = job;
  }
  if (status == RunStart::kStarted || status == RunStart::kAnotherRunning) Save();
  return status;
}

void JobTable::FinishRun(std::string_view name, uint64_t runId) {
  std::lock_guard lock(mutex_);
  if (auto run = runs_.find(name); run != runs_.end() && run->second.id == runId) run->second.going = false;
  if (cancel_.run == runId) cancel_.jobName.clear();  // a request that came too late is not kept
}

bool JobTable::EndRun(std::string_view name, uint64_t runId) {
  {
    std::lock_guard lock(mutex_);
    auto run = runs_.find(name);
    if (run == runs_.end() || run->second.id != runId) return false;  // deleted, or a newer run holds the entry
    runs_.erase(run);
    int i = IndexOf(name);
    if (i < 0) return false;
    jobs_[i].runState = FieldText(jobs_[i].scheduleKind) == "once" ? kDisarmed : kArmed;
  }
  Save();
  return true;
}

std::vector<std::string> JobTable::Runs() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> going;
  for (const auto& [name, run] : runs_)
    if (run.going) going.push_back(name);
  return going;
}

bool JobTable::RequestCancel(std::string_view name) {
  std::lock_guard lock(mutex_);
  auto run = runs_.find(name);
  if (run == runs_.end() || !run->second.going) return false;
  cancel_.requested = true;
  cancel_.jobName = std::string(name);
  cancel_.run = run->second.id;
  return true;
}

bool JobTable::TakeCancel(std::string_view name) {
  std::lock_guard lock(mutex_);
  if (!cancel_.requested || name.empty() || cancel_.jobName != name) return false;
  cancel_.jobName.clear();
  // Only the run the request was made for is cancelled.
  auto run = runs_.find(name);
  return run != runs_.end() && run->second.going && run->second.id == cancel_.run;
}

CancelRequest JobTable::Cancel() const {
  std::lock_guard lock(mutex_);
  return cancel_;
}

bool JobTable::SavesHeld() const {
  std::lock_guard lock(mutex_);
  return savesHeld_;
}

bool JobTable::Save() {
  if (SavesHeld() && !RetryHeldLoad()) return false;
  return Write();
}

bool JobTable::Write() {
  bool ok = false;
  {
    std::lock_guard save(saveMutex_);
    std::vector<JobRecord> jobs;
    {
      std::lock_guard lock(mutex_);
      if (savesHeld_) return false;
      jobs = jobs_;
    }
    ok = ReplaceWholeFile(SchedulePath(), FormatScheduleFile(jobs), retry_);
  }
  if (!ok) Log("OrvaSchedule.ovc could not be written; the previous file is kept");
  return ok;
}

LoadStatus JobTable::ReadScheduleFile(Retry retry, std::vector<JobRecord>& records, std::vector<std::string>& lines) {
  std::string bytes;
  switch (ReadWholeFile(SchedulePath(), bytes, retry)) {
    case ReadResult::kMissing:
      return LoadStatus::kMissing;
    case ReadResult::kUnreadable:
      return LoadStatus::kLocked;
    case ReadResult::kOk:
      break;
  }
  ScheduleParse parsed = ParseScheduleFile(bytes);
  records = std::move(parsed.records);
  if (parsed.problems.empty()) return LoadStatus::kLoaded;
  // The file is rewritten without what was refused: first the file as read
  // goes to a side file, so nothing of it is lost.
  const std::filesystem::path aside = KeepCopyAside(SchedulePath(), bytes);
  const std::string kept =
      aside.empty() ? std::string() : " (the file as read is kept as " + aside.filename().string() + ")";
  for (const std::string& problem : parsed.problems)
    lines.push_back("OrvaSchedule.ovc: " + problem + (parsed.damaged ? "; no job was read" : "; left out") + kept);
  if (aside.empty()) {
    lines.push_back("OrvaSchedule.ovc could not be copied aside; it is left as it is and not written until it can be");
    return LoadStatus::kCorruptKept;
  }
  return LoadStatus::kCorrupt;
}

LoadStatus JobTable::Load() {
  LoadStatus status;
  std::vector<std::string> lines;
  {
    std::lock_guard save(saveMutex_);
    std::vector<JobRecord> records;
    status = ReadScheduleFile(retry_, records, lines);
    const bool held = status == LoadStatus::kLocked || status == LoadStatus::kCorruptKept;
    if (status == LoadStatus::kLocked)
      lines.push_back("OrvaSchedule.ovc could not be read; it is left as it is and tried again until it can be read");
    {
      std::lock_guard lock(mutex_);
      jobs_ = held && status == LoadStatus::kLocked ? std::vector<JobRecord>() : std::move(records);
      savesHeld_ = held;
      deletedWhileHeld_.clear();
      heldNote_.clear();
      if (status == LoadStatus::kCorruptKept)
        for (const std::string& line : lines) heldNote_ += line + "\n";
    }
    if (!held && !ReplaceWholeFile(SchedulePath(), FormatScheduleFile(Snapshot()), retry_))
      lines.push_back("OrvaSchedule.ovc could not be rewritten");
  }
  for (const std::string& line : lines) Log(line);
  return status;
}

bool JobTable::RetryHeldLoad() {
  std::vector<std::string> lines;
  bool resumed = false;
  {
    std::lock_guard save(saveMutex_);
    {
      std::lock_guard lock(mutex_);
      if (!savesHeld_) return true;
    }
    std::vector<JobRecord> records;
    const LoadStatus status = ReadScheduleFile(Retry{1, std::chrono::milliseconds(0)}, records, lines);
    if (status == LoadStatus::kLocked) return false;
    if (status == LoadStatus::kCorruptKept) {
      // Said once, not on every try.
      std::string note;
      for (const std::string& line : lines) note += line + "\n";
      if (note == heldNote_) lines.clear();
      heldNote_ = note;
    } else {
      heldNote_.clear();
      resumed = true;
      MergeLocked(records, lines);
    }
  }
  for (const std::string& line : lines) Log(line);
  return resumed && Write();
}

void JobTable::MergeLocked(const std::vector<JobRecord>& records, std::vector<std::string>& lines) {
  // The file's jobs first, then what managers changed meanwhile: an entry
  // added or modified since wins over the file's, and a job deleted since
  // stays deleted.
  std::lock_guard lock(mutex_);
  std::vector<JobRecord> merged;
  std::set<std::string, std::less<>> taken;
  for (const JobRecord& r : records) {
    const std::string name(JobName(r));
    if (deletedWhileHeld_.count(name)) continue;
    const int i = IndexOf(name);
    merged.push_back(i >= 0 ? jobs_[i] : r);
    taken.insert(name);
  }
  for (const JobRecord& r : jobs_) {
    if (taken.count(JobName(r))) continue;
    if (merged.size() < kMaxJobs) {
      merged.push_back(r);
    } else {
      lines.push_back("OrvaSchedule.ovc: job " + std::string(JobName(r)) + " left out: the table holds " +
                      std::to_string(kMaxJobs) + " jobs");
    }
  }
  jobs_ = std::move(merged);
  savesHeld_ = false;
  deletedWhileHeld_.clear();
  lines.push_back("OrvaSchedule.ovc could be read again; the table is saved again");
}

}  // namespace orva::service
