// The scheduler tick, RUNJOB and the dispatch of a started job to its
// worker thread.
//
// Every tick tests the current local minute and the minutes it crossed since
// the previous tick (the first tick only the current one), so a late tick
// still fires the minutes it crossed. Each entry remembers the minute it last
// fired for, so a job armed, re-armed or added inside its minute still fires
// then, and no job fires twice for one scheduled minute (nor in the repeated
// hour when summer time ends). Crossed minutes count only as far as time
// really passed, measured on a clock that nobody sets: a clock stepped
// forward starts over at the current minute, a summer-time change moves
// local time by the change of its UTC offset, and a wake from sleep crosses
// the slept span.
// Starting is decided by JobTable::StartRun under the table lock, against
// the runs that exist: a job with a run gets no second one, and a job whose
// worker runs alone is refused (jobState 99 broadcast, entry re-armed) while
// any other run goes on. Each run gets its own thread and its own copy of the
// record; when the worker returns the run is over, and its entry is re-armed
// after the re-arm delay (a minute, so that the scheduled minute has passed).
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "contracts/job_record.h"
#include "core/job_table.h"
#include "core/service_logs.h"

namespace orva::service {

// Local clock arithmetic at minute granularity (proleptic Gregorian).
int64_t MinuteIndex(const LocalTime& t);  // seconds ignored
LocalTime FromMinuteIndex(int64_t minute);
int Weekday(const LocalTime& t);  // 0 Monday ... 6 Sunday

// Which of the tick's four tests fires the job at this local minute. The
// runState is not looked at. "once" fires at any time; the daily, weekly
// and monthly tests look at their flag bytes (not at scheduleKind) and need
// scheduleTime to be exactly "HH:MM" of the minute.
enum class ScheduleHit { kNone, kOnce, kDaily, kWeekly, kMonthly };
ScheduleHit MatchSchedule(const JobRecord& job, const LocalTime& minute);

enum class WorkerKind {
  kNone,               // no worker for this type on this system
  kScriptedImage,      // 300-303 on XP, Vista and 7
  kSnapshotImage,      // 300-303 on later systems
  kReplication,        // 304
  kShadowReplication,  // 305, not on XP, Vista and 7
  kIsoMedia,           // 306
};
// True when the upper-cased caption names XP, VISTA or WINDOWS 7.
bool IsOlderWindows(std::string_view osCaption);
WorkerKind ChooseWorker(int32_t jobType, std::string_view osCaption);
// Workers that never run beside another run.
bool RunsAlone(WorkerKind kind);

// The start and end stamp of a run: "yyyy.mm.dd hh:mm" for image jobs,
// "hh:mm" for the others.
std::string RunStamp(int32_t jobType, const LocalTime& at);

struct WorkerTask {
  WorkerKind kind = WorkerKind::kNone;
  int backupKind = 0;  // jobType - 300 for image jobs
  std::string osCaption;
  JobRecord record{};  // the worker's own copy (runState 1)
};

// Carries out one run on the calling thread (the run's own thread) and
// returns when it has ended; the scheduler then re-arms the job.
class WorkerLauncher {
 public:
  virtual ~WorkerLauncher() = default;
  virtual void RunJob(const WorkerTask& task) = 0;
};

// Stand-in until the real workers exist: reports the run as failed
// (jobState 1, stamps of now, elapsed "00:00:00") and logs one line.
class NoWorkerLauncher : public WorkerLauncher {
 public:
  NoWorkerLauncher(std::function<void(const JobRecord&)> broadcast, std::function<LocalTime()> clock = {},
                   LogSink log = {});
  void RunJob(const WorkerTask& task) override;

 private:
  std::function<void(const JobRecord&)> broadcast_;
  std::function<LocalTime()> clock_;
  LogSink log_;
};

// Local time and how far it is ahead of UTC, read at one moment.
struct WallTime {
  LocalTime local;
  int64_t utcOffsetSeconds = 0;  // changes with summer time
};
// The system's local time and UTC offset, from one reading of the clock.
WallTime SystemWallTime();

struct SchedulerOptions {
  // The ticks' clock; SystemWallTime() when empty. Run stamps take its local
  // time (LogNow() when empty).
  std::function<WallTime()> clock;
  // Milliseconds of a clock that nobody sets and that goes on through sleep
  // and hibernation (the service passes GetTickCount64); steady_clock when
  // empty.
  std::function<int64_t()> monotonicMs;
  std::function<std::string()> osCaption;  // asked when a job starts; "" when empty
  std::chrono::milliseconds rearmDelay{60000};
  LogSink log;  // task-log lines (tag "SCHEDULER")
  // Starts a run's thread; std::thread when empty. A throw means no thread:
  // the run is not started.
  std::function<std::thread(std::function<void()>)> makeThread;
};

class Scheduler {
 public:
  // A tick may look this far back; older crossed minutes are dropped.
  static constexpr int64_t kMaxCatchUpMinutes = 24 * 60;
  // A clock that moved this much further than the time that really passed
  // was stepped forward (a time synchronisation, a clock set by hand): the
  // tick starts over at the current minute, as after a clock set back.
  // Smaller corrections still cross their minutes.
  static constexpr int64_t kClockStepMs = 2 * 60 * 1000;

  Scheduler(JobTable& table, WorkerLauncher& launcher, SchedulerOptions options = {});
  ~Scheduler();  // Shutdown()
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  // One pass over the table; ticks never overlap.
  void Tick();
  // RUNJOB: starts the entry of the name whatever its runState, unless a
  // run of it exists.
  RunStart RunNow(std::string_view name);

  // Ends the re-arm waits at once and joins every run thread.
  void Shutdown();
  // Waits until no run is left (a run ends after its re-arm); false on timeout.
  bool WaitIdle(std::chrono::milliseconds timeout);

 private:
  struct Run {
    std::thread thread;
    bool done = false;
  };

  LocalTime Now() const;
  int64_t MonotonicMs() const;
  std::string Caption();
  RunStart Start(std::string_view name, bool force);
  void RunBody(WorkerTask task, Run* run, uint64_t runId);
  void ReapLocked();  // under runsMutex_
  void Log(std::string_view text) const;

  JobTable& table_;
  WorkerLauncher& launcher_;
  const SchedulerOptions options_;

  // The previous tick's clocks; under tickMutex_.
  struct TickMark {
    int64_t localSecond = 0;
    int64_t utcOffsetSeconds = 0;
    int64_t monotonicMs = 0;
  };
  std::mutex tickMutex_;
  std::optional<TickMark> lastTick_;
  // The local minute each entry last fired for, by job name; under tickMutex_.
  std::map<std::string, int64_t, std::less<>> firedFor_;

  std::mutex captionMutex_;
  std::string caption_;

  std::mutex runsMutex_;
  std::condition_variable runsChanged_;
  std::list<Run> runs_;
  int active_ = 0;
  bool stopping_ = false;
};

}  // namespace orva::service
