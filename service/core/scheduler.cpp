#include "core/scheduler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <exception>
#include <vector>

#include "contracts/job_record_check.h"
#include "contracts/local_time.h"

namespace orva::service {
namespace {

// Days since 1970-01-01 of a civil date; years counted from March so that
// the leap day is the last day of its year.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool IsImageType(int32_t type) { return type >= kFullBackup && type <= kDifferentialBackup; }

// "[name] text", built by appending (GCC 12 warns wrongly on "[" + string).
std::string JobLine(std::string_view name, std::string_view text) {
  std::string line = "[";
  line += name;
  line += "] ";
  line += text;
  return line;
}

}  // namespace

int64_t MinuteIndex(const LocalTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
}

LocalTime FromMinuteIndex(int64_t minute) {
  LocalTime t;
  const int64_t days = FloorDiv(minute, 1440);
  const int64_t within = minute - days * 1440;
  CivilFromDays(days, t.year, t.month, t.day);
  t.hour = static_cast<int>(within / 60);
  t.minute = static_cast<int>(within % 60);
  return t;
}

WallTime SystemWallTime() {
  const std::time_t t = std::time(nullptr);
  const std::tm tm = LocalTimeOf(t);
  WallTime wall;
  wall.local = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  wall.utcOffsetSeconds = MinuteIndex(wall.local) * 60 + wall.local.second - static_cast<int64_t>(t);
  return wall;
}

int Weekday(const LocalTime& t) {
  // 1970-01-01 was a Thursday.
  const int64_t days = DaysFromCivil(t.year, t.month, t.day);
  return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

ScheduleHit MatchSchedule(const JobRecord& job, const LocalTime& minute) {
  if (FieldText(job.scheduleKind) == "once") return ScheduleHit::kOnce;
  char now[8];
  std::snprintf(now, sizeof now, "%.2d:%.2d", minute.hour, minute.minute);
  if (FieldText(job.scheduleTime) != now) return ScheduleHit::kNone;
  if (job.daily == 'y') return ScheduleHit::kDaily;
  if (job.weekly == 'y' && job.weekdays[Weekday(minute)] == 'y') return ScheduleHit::kWeekly;
  if (job.monthly == 'y' && job.dayOfMonth == minute.day) return ScheduleHit::kMonthly;
  return ScheduleHit::kNone;
}

bool IsOlderWindows(std::string_view osCaption) {
  std::string upper(osCaption);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* mark : {"XP", "VISTA", "WINDOWS 7"})
    if (upper.find(mark) != std::string::npos) return true;
  return false;
}

WorkerKind ChooseWorker(int32_t jobType, std::string_view osCaption) {
  const bool older = IsOlderWindows(osCaption);
  if (IsImageType(jobType)) return older ? WorkerKind::kScriptedImage : WorkerKind::kSnapshotImage;
  switch (jobType) {
    case kReplication:
      return WorkerKind::kReplication;
    case kReplicationShadow:
      return older ? WorkerKind::kNone : WorkerKind::kShadowReplication;
    case kIsoBackup:
      return WorkerKind::kIsoMedia;
    default:
      return WorkerKind::kNone;
  }
}

bool RunsAlone(WorkerKind kind) { return kind == WorkerKind::kScriptedImage || kind == WorkerKind::kIsoMedia; }

std::string RunStamp(int32_t jobType, const LocalTime& at) {
  char text[40];
  if (IsImageType(jobType))
    std::snprintf(text, sizeof text, "%.2d.%.2d.%.2d %.2d:%.2d", at.year, at.month, at.day, at.hour, at.minute);
  else
    std::snprintf(text, sizeof text, "%.2d:%.2d", at.hour, at.minute);
  return text;
}

// A run that ended at once: stamps of now, no bytes, no elapsed time.
static JobRecord EndedAtOnce(JobRecord record, int32_t jobState, const LocalTime& now) {
  record.runState = kStarted;
  record.jobState = jobState;
  record.totalBytes = record.bytesToCopy = record.transferRate = record.bytesLeft = 0;
  const std::string stamp = RunStamp(record.jobType, now);
  SetFieldText(record.startTime, stamp);
  SetFieldText(record.endTime, stamp);
  SetFieldText(record.elapsedTime, "00:00:00");
  return record;
}

NoWorkerLauncher::NoWorkerLauncher(std::function<void(const JobRecord&)> broadcast, std::function<LocalTime()> clock,
                                   LogSink log)
    : broadcast_(std::move(broadcast)), clock_(std::move(clock)), log_(std::move(log)) {}

void NoWorkerLauncher::RunJob(const WorkerTask& task) {
  JobRecord record = EndedAtOnce(task.record, kJobFailed, clock_ ? clock_() : LogNow());
  record.percent = 0;
  if (log_)
    log_(JobTypeName(record.jobType),
         JobLine(JobName(record), "This service has no worker for the job yet; the run failed."));
  if (broadcast_) broadcast_(record);
}

Scheduler::Scheduler(JobTable& table, WorkerLauncher& launcher, SchedulerOptions options)
    : table_(table), launcher_(launcher), options_(std::move(options)) {}

Scheduler::~Scheduler() { Shutdown(); }

LocalTime Scheduler::Now() const { return options_.clock ? options_.clock().local : LogNow(); }

int64_t Scheduler::MonotonicMs() const {
  if (options_.monotonicMs) return options_.monotonicMs();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Scheduler::Log(std::string_view text) const {
  if (options_.log) options_.log("SCHEDULER", text);
}

std::string Scheduler::Caption() {
  std::lock_guard lock(captionMutex_);
  if (caption_.empty() && options_.osCaption) caption_ = options_.osCaption();  // a failed query is asked again
  return caption_;
}

void Scheduler::Tick() {
  std::lock_guard tick(tickMutex_);
  const WallTime wall = options_.clock ? options_.clock() : SystemWallTime();
  const int64_t monotonic = MonotonicMs();
  const TickMark mark{MinuteIndex(wall.local) * 60 + wall.local.second, wall.utcOffsetSeconds, monotonic};
  const int64_t now = FloorDiv(mark.localSecond, 60);

  // Crossed minutes count only when the clock moved as far as time really
  // passed; UTC does not move with summer time, so its skipped hour is
  // crossed and its repeated hour is not. A clock set back crosses nothing.
  int64_t first = now;
  if (lastTick_) {
    const int64_t utcMovedMs =
        ((mark.localSecond - mark.utcOffsetSeconds) - (lastTick_->localSecond - lastTick_->utcOffsetSeconds)) * 1000;
    if (utcMovedMs - (monotonic - lastTick_->monotonicMs) <= kClockStepMs)
      first = std::max(FloorDiv(lastTick_->localSecond, 60) + 1, now - kMaxCatchUpMinutes + 1);
  }
  lastTick_ = mark;
  first = std::min(first, now);  // the current minute is always tested

  std::vector<LocalTime> minutes;
  for (int64_t m = first; m <= now; ++m) minutes.push_back(FromMinuteIndex(m));

  std::map<std::string, int64_t, std::less<>> fired;
  for (const JobRecord& job : table_.Snapshot()) {
    const std::string name(JobName(job));
    std::optional<int64_t> firedFor;
    if (auto it = firedFor_.find(name); it != firedFor_.end()) firedFor = it->second;
    bool due = false;
    if (job.runState == kArmed) {
      due = FieldText(job.scheduleKind) == "once";
      // A start refused with 99 also counts as fired: the job waits for its
      // next time.
      for (size_t i = 0; !due && i < minutes.size(); ++i) {
        const int64_t m = first + static_cast<int64_t>(i);
        if (m != firedFor && MatchSchedule(job, minutes[i]) != ScheduleHit::kNone) {
          due = true;
          firedFor = m;
        }
      }
    }
    if (firedFor) fired[name] = *firedFor;
    if (due) Start(name, false);
  }
  firedFor_.swap(fired);  // deleted jobs are forgotten
}

RunStart Scheduler::RunNow(std::string_view name) { return Start(name, true); }

RunStart Scheduler::Start(std::string_view name, bool force) {
  const std::optional<JobRecord> found = table_.Find(name);
  if (!found) return RunStart::kUnknown;
  const std::string caption = Caption();
  JobRecord entry{};
  uint64_t runId = 0;
  const RunStart status =
      table_.StartRun(name, force, RunsAlone(ChooseWorker(found->jobType, caption)), &entry, &runId);
  if (status == RunStart::kAnotherRunning) {
    table_.Broadcast(EndedAtOnce(entry, kJobAnotherRunning, Now()));
    return status;
  }
  if (status != RunStart::kStarted) return status;

  WorkerTask task;
  task.kind = ChooseWorker(entry.jobType, caption);
  task.backupKind = IsImageType(entry.jobType) ? entry.jobType - kFullBackup : 0;
  task.osCaption = caption;
  task.record = entry;
  if (task.kind == WorkerKind::kNone) {
    std::string text = "No worker for ";
    text += JobTypeName(entry.jobType);
    text += " jobs on this system; not started.";
    Log(JobLine(name, text));
    table_.FinishRun(name, runId);
    table_.EndRun(name, runId);
    return status;
  }

  std::unique_lock lock(runsMutex_);
  ReapLocked();
  if (!stopping_) {
    Run& run = runs_.emplace_back();
    ++active_;
    try {
      run.thread = options_.makeThread ? options_.makeThread([this, task, &run, runId] { RunBody(task, &run, runId); })
                                       : std::thread(&Scheduler::RunBody, this, task, &run, runId);
      return status;
    } catch (const std::exception&) {
      // No thread for the run: the job is not started, the service goes on.
      runs_.pop_back();
      --active_;
    }
    lock.unlock();
    Log(JobLine(name, "No thread could be started for the run; not started."));
  } else {
    lock.unlock();
  }
  table_.FinishRun(name, runId);
  table_.EndRun(name, runId);
  return status;
}

void Scheduler::RunBody(WorkerTask task, Run* run, uint64_t runId) {
  try {
    launcher_.RunJob(task);
  } catch (const std::exception& e) {
    Log(JobLine(JobName(task.record), std::string("The worker failed: ") + e.what()));
  } catch (...) {
    Log(JobLine(JobName(task.record), "The worker failed."));
  }
  // The run is over: it no longer keeps a job that runs alone from
  // starting. Its entry stays started through the re-arm wait, so that the
  // scheduled minute does not fire it again.
  table_.FinishRun(JobName(task.record), runId);
  {
    std::unique_lock lock(runsMutex_);
    runsChanged_.wait_for(lock, options_.rearmDelay, [this] { return stopping_; });
  }
  table_.EndRun(JobName(task.record), runId);
  std::lock_guard lock(runsMutex_);
  run->done = true;
  --active_;
  runsChanged_.notify_all();
}

void Scheduler::ReapLocked() {
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (it->done) {
      it->thread.join();
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
}

bool Scheduler::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(runsMutex_);
  const bool idle = runsChanged_.wait_for(lock, timeout, [this] { return active_ == 0; });
  if (idle) ReapLocked();
  return idle;
}

void Scheduler::Shutdown() {
  std::list<Run> runs;
  {
    std::lock_guard lock(runsMutex_);
    stopping_ = true;
    runsChanged_.notify_all();
    runs.swap(runs_);
  }
  for (Run& run : runs)
    if (run.thread.joinable()) run.thread.join();
}

}  // namespace orva::service
