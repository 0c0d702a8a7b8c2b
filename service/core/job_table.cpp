#include "core/job_table.h"

#include <charconv>
#include <cstring>

#include "core/job_record_check.h"

namespace orva::service {
namespace {

const char kCountPrefix[] = "Schedule Number:";

void AppendLine(std::string& out, std::string_view text) { out.append(text).append("\r\n"); }
void AppendNumber(std::string& out, int32_t value) { AppendLine(out, std::to_string(value)); }
void AppendFlag(std::string& out, char flag) { AppendLine(out, flag == 'y' ? "y" : "n"); }

// Leading blanks, an optional sign and digits, as "%d" reads them; 0 when
// the line holds no number.
int32_t ReadNumber(std::string_view line, bool* found = nullptr) {
  size_t i = line.find_first_not_of(" \t");
  if (found) *found = false;
  if (i == std::string_view::npos) return 0;
  if (line[i] == '+') ++i;
  int32_t value = 0;
  auto [ptr, ec] = std::from_chars(line.data() + i, line.data() + line.size(), value);
  if (ec != std::errc()) return 0;
  if (found) *found = true;
  return value;
}

}  // namespace

JobRecord MakeListMarker(int32_t code, int32_t count) {
  JobRecord r{};
  r.code = code;
  r.jobType = count;
  r.runState = kListMarker;
  return r;
}

std::string FormatScheduleFile(const std::vector<JobRecord>& records) {
  std::string out;
  AppendLine(out, std::string(kCountPrefix) + " " + std::to_string(records.size()));
  for (const JobRecord& r : records) {
    AppendLine(out, FieldText(r.jobName));
    AppendNumber(out, r.jobType);
    AppendNumber(out, r.runState);
    AppendLine(out, FieldText(r.driveLetter));
    AppendLine(out, FieldText(r.volumeSize));
    AppendLine(out, FieldText(r.imagePath));
    AppendLine(out, FieldText(r.baseImagePath));
    AppendNumber(out, r.compressionLevel);
    AppendLine(out, FieldText(r.excludeList));
    AppendLine(out, FieldText(r.sourceFolder));
    AppendLine(out, FieldText(r.targetFolder));
    AppendLine(out, FieldText(r.reservedText1));
    AppendLine(out, FieldText(r.reservedText2));
    AppendLine(out, FieldText(r.scheduleKind));
    AppendLine(out, FieldText(r.scheduleTime));
    AppendFlag(out, r.daily);
    AppendFlag(out, r.weekly);
    AppendFlag(out, r.monthly);
    for (char day : r.weekdays) AppendFlag(out, day);
    AppendNumber(out, r.dayOfMonth);
  }
  return out;
}

bool ParseScheduleFile(std::string_view bytes, std::vector<JobRecord>& out, std::string& why) {
  out.clear();
  std::vector<JobRecord> records;
  const std::vector<std::string_view> lines = SplitLines(bytes);
  if (lines.empty() || lines[0].substr(0, sizeof kCountPrefix - 1) != kCountPrefix) {
    why = "the first line is not \"Schedule Number: n\"";
    return false;
  }
  bool found = false;
  const int32_t count = ReadNumber(lines[0].substr(sizeof kCountPrefix - 1), &found);
  if (!found || count < 0 || count > kMaxJobs) {
    why = "the job count is not 0-" + std::to_string(kMaxJobs);
    return false;
  }
  if (lines.size() < 1 + static_cast<size_t>(count) * kScheduleLinesPerJob) {
    why = "the file ends before its " + std::to_string(count) + " jobs";
    return false;
  }
  size_t next = 1;
  for (int32_t j = 0; j < count; ++j) {
    JobRecord r{};
    bool fits = true;
    auto text = [&](char* field, size_t width) { fits = SetFieldText(field, width, lines[next++]) && fits; };
    auto number = [&](int32_t& field) { field = ReadNumber(lines[next++]); };
    auto flag = [&](char& field) {
      std::string_view line = lines[next++];
      field = line.empty() ? '\0' : line[0];
    };
    text(r.jobName, sizeof r.jobName);
    number(r.jobType);
    number(r.runState);
    text(r.driveLetter, sizeof r.driveLetter);
    text(r.volumeSize, sizeof r.volumeSize);
    text(r.imagePath, sizeof r.imagePath);
    text(r.baseImagePath, sizeof r.baseImagePath);
    number(r.compressionLevel);
    text(r.excludeList, sizeof r.excludeList);
    text(r.sourceFolder, sizeof r.sourceFolder);
    text(r.targetFolder, sizeof r.targetFolder);
    text(r.reservedText1, sizeof r.reservedText1);
    text(r.reservedText2, sizeof r.reservedText2);
    text(r.scheduleKind, sizeof r.scheduleKind);
    text(r.scheduleTime, sizeof r.scheduleTime);
    flag(r.daily);
    flag(r.weekly);
    flag(r.monthly);
    for (char& day : r.weekdays) flag(day);
    number(r.dayOfMonth);
    const std::string job = "job " + std::to_string(j + 1) + ": ";
    if (!fits) {
      why = job + "a line is too long for its field";
      return false;
    }
    r.runState = FieldText(r.scheduleKind) == "once" ? kDisarmed : kArmed;
    std::string bad;
    if (!ValidateJobRecord(r, bad)) {
      why = job + bad;
      return false;
    }
    for (const JobRecord& earlier : records) {
      if (JobName(earlier) == JobName(r)) {
        why = job + "the name is used twice";
        return false;
      }
    }
    records.push_back(r);
  }
  out = std::move(records);
  return true;
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

RunStart JobTable::StartRun(std::string_view name, bool force, bool exclusive, JobRecord* entry) {
  RunStart status;
  {
    std::lock_guard lock(mutex_);
    int i = IndexOf(name);
    if (i < 0) return RunStart::kUnknown;
    JobRecord& job = jobs_[i];
    if (runs_.count(name)) {
      status = RunStart::kAlreadyRunning;
    } else if (!force && job.runState != kArmed) {
      status = RunStart::kNotArmed;
    } else if (exclusive && !runs_.empty()) {
      status = RunStart::kAnotherRunning;
      job.runState = FieldText(job.scheduleKind) == "once" ? kDisarmed : kArmed;
    } else {
      status = RunStart::kStarted;
      job.runState = kStarted;
      runs_.emplace(name);
    }
    if (entry) *entry = job;
  }
  if (status == RunStart::kStarted || status == RunStart::kAnotherRunning) Save();
  return status;
}

bool JobTable::EndRun(std::string_view name) {
  {
    std::lock_guard lock(mutex_);
    if (auto it = runs_.find(name); it != runs_.end()) runs_.erase(it);
    int i = IndexOf(name);
    if (i < 0) return false;
    jobs_[i].runState = FieldText(jobs_[i].scheduleKind) == "once" ? kDisarmed : kArmed;
  }
  Save();
  return true;
}

std::vector<std::string> JobTable::Runs() const {
  std::lock_guard lock(mutex_);
  return {runs_.begin(), runs_.end()};
}

void JobTable::RequestCancel(std::string_view name) {
  std::lock_guard lock(mutex_);
  cancel_.requested = true;
  cancel_.jobName = std::string(name);
}

bool JobTable::TakeCancel(std::string_view name) {
  std::lock_guard lock(mutex_);
  if (!cancel_.requested || name.empty() || cancel_.jobName != name) return false;
  cancel_.jobName.clear();
  return true;
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

LoadStatus JobTable::Load() {
  LoadStatus status = LoadStatus::kMissing;
  std::string message;
  {
    std::lock_guard save(saveMutex_);
    std::string bytes;
    std::vector<JobRecord> records;
    std::string why;
    switch (ReadWholeFile(SchedulePath(), bytes, retry_)) {
      case ReadResult::kMissing:
        status = LoadStatus::kMissing;
        break;
      case ReadResult::kUnreadable:
        status = LoadStatus::kLocked;
        message = "OrvaSchedule.ovc could not be read; it is left as it is and the table is not saved until it loads";
        break;
      case ReadResult::kOk:
        if (ParseScheduleFile(bytes, records, why)) {
          status = LoadStatus::kLoaded;
          break;
        }
        records.clear();
        if (KeepAside(SchedulePath())) {
          status = LoadStatus::kCorrupt;
          message = "OrvaSchedule.ovc is damaged (" + why + "); kept as OrvaSchedule.ovc.bad";
        } else {
          status = LoadStatus::kCorruptKept;
          message = "OrvaSchedule.ovc is damaged (" + why + ") and could not be renamed; the table is not saved";
        }
        break;
    }
    const bool held = status == LoadStatus::kLocked || status == LoadStatus::kCorruptKept;
    {
      std::lock_guard lock(mutex_);
      jobs_ = std::move(records);
      savesHeld_ = held;
    }
    if (!held && !ReplaceWholeFile(SchedulePath(), FormatScheduleFile(Snapshot()), retry_)) {
      if (!message.empty()) message += "; ";
      message += "OrvaSchedule.ovc could not be rewritten";
    }
  }
  if (!message.empty()) Log(message);
  return status;
}

}  // namespace orva::service
