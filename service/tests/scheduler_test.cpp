#include "core/scheduler.h"

#include <atomic>
#include <optional>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "service_test_util.h"

namespace orva::service {
namespace {

using namespace std::chrono_literals;
using test::SampleJob;
using test::TempFolder;

LocalTime At(int y, int mo, int d, int h, int mi, int s = 0) { return {y, mo, d, h, mi, s}; }

// Local time with its UTC offset, and a monotonic clock that moves as far as
// UTC does while time passes.
class FakeClock {
 public:
  // Time passes until the clock shows `t` (in the zone `offsetMinutes` ahead
  // of UTC, the current one when not given); a clock set back passes none.
  void Set(const LocalTime& t, std::optional<int> offsetMinutes = {}) {
    std::lock_guard lock(m_);
    const int64_t offset = offsetMinutes ? *offsetMinutes * 60 : offset_;
    const int64_t passed = (Seconds(t) - offset) - (Seconds(t_) - offset_);
    if (passed > 0) monotonicMs_ += passed * 1000;
    t_ = t;
    offset_ = offset;
  }
  // The clock is stepped to `t`: no time passes.
  void Step(const LocalTime& t) {
    std::lock_guard lock(m_);
    t_ = t;
  }
  std::function<WallTime()> Fn() {
    return [this] {
      std::lock_guard lock(m_);
      return WallTime{t_, offset_};
    };
  }
  std::function<int64_t()> Monotonic() {
    return [this] {
      std::lock_guard lock(m_);
      return monotonicMs_;
    };
  }

 private:
  static int64_t Seconds(const LocalTime& t) { return MinuteIndex(t) * 60 + t.second; }
  std::mutex m_;
  LocalTime t_{2024, 1, 1, 0, 0, 0};
  int64_t offset_ = 0;
  int64_t monotonicMs_ = 1000000;
};

// Records each run; while held, runs wait until released.
class FakeLauncher : public WorkerLauncher {
 public:
  void RunJob(const WorkerTask& task) override {
    std::unique_lock lock(m_);
    tasks_.push_back(task);
    cv_.notify_all();
    cv_.wait(lock, [this] { return !hold_; });
  }
  void Hold() {
    std::lock_guard lock(m_);
    hold_ = true;
  }
  void Release() {
    std::lock_guard lock(m_);
    hold_ = false;
    cv_.notify_all();
  }
  std::vector<WorkerTask> Tasks() {
    std::lock_guard lock(m_);
    return tasks_;
  }
  // The runs reach the launcher on their own threads.
  std::vector<WorkerTask> WaitTasks(size_t n) {
    std::unique_lock lock(m_);
    cv_.wait_for(lock, std::chrono::seconds(5), [&] { return tasks_.size() >= n; });
    return tasks_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool hold_ = false;
  std::vector<WorkerTask> tasks_;
};

JobRecord Job(const std::string& name, const std::string& kind, const std::string& time = "02:00",
              int32_t type = kFullBackup) {
  JobRecord r = SampleJob(name, kind);
  SetFieldText(r.scheduleTime, time);
  r.jobType = type;
  return r;
}

TEST(Scheduler, MinuteArithmetic) {
  EXPECT_EQ(Weekday(At(2024, 1, 1, 0, 0)), 0);   // Monday
  EXPECT_EQ(Weekday(At(2024, 1, 7, 0, 0)), 6);   // Sunday
  EXPECT_EQ(Weekday(At(2000, 2, 29, 0, 0)), 1);  // Tuesday
  EXPECT_EQ(Weekday(At(1969, 12, 31, 0, 0)), 2);
  EXPECT_EQ(MinuteIndex(At(1970, 1, 2, 0, 0)) - MinuteIndex(At(1970, 1, 1, 23, 59)), 1);
  // Every day of 1999-2001 (2000 is a leap year) survives the round trip.
  const int64_t from = MinuteIndex(At(1999, 1, 1, 0, 0)), to = MinuteIndex(At(2002, 1, 1, 0, 0));
  int days = 0;
  for (int64_t m = from; m < to; m += 1440 + 7, ++days) {
    LocalTime t = FromMinuteIndex(m);
    EXPECT_EQ(MinuteIndex(t), m);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 && t.minute < 60);
  }
  EXPECT_GT(days, 1000);
}

TEST(Scheduler, TheSystemClockReadsLocalTimeAndItsUtcOffsetTogether) {
  const std::time_t before = std::time(nullptr);
  const WallTime wall = SystemWallTime();
  const std::time_t after = std::time(nullptr);
  const int64_t utc = MinuteIndex(wall.local) * 60 + wall.local.second - wall.utcOffsetSeconds;
  EXPECT_GE(utc, static_cast<int64_t>(before));
  EXPECT_LE(utc, static_cast<int64_t>(after));
  // Zones are whole quarter hours from UTC-12 to UTC+14.
  EXPECT_EQ(wall.utcOffsetSeconds % 900, 0);
  EXPECT_LE(wall.utcOffsetSeconds, 14 * 3600);
  EXPECT_GE(wall.utcOffsetSeconds, -12 * 3600);
}

TEST(Scheduler, ScheduleMatchesTheLocalMinute) {
  struct Case {
    const char* kind;
    const char* time;
    const char* weekdays;  // Monday first
    int dayOfMonth;
    LocalTime at;
    ScheduleHit expected;
  };
  const Case cases[] = {
      {"once", "02:00", "nnnnnnn", 0, At(2024, 3, 5, 17, 42), ScheduleHit::kOnce},
      {"daily", "02:00", "nnnnnnn", 0, At(2024, 3, 5, 2, 0, 0), ScheduleHit::kDaily},
      {"daily", "02:00", "nnnnnnn", 0, At(2024, 3, 5, 2, 0, 59), ScheduleHit::kDaily},
      {"daily", "02:00", "nnnnnnn", 0, At(2024, 3, 5, 1, 59, 59), ScheduleHit::kNone},
      {"daily", "02:00", "nnnnnnn", 0, At(2024, 3, 5, 2, 1), ScheduleHit::kNone},
      {"daily", "2:00", "nnnnnnn", 0, At(2024, 3, 5, 2, 0), ScheduleHit::kNone},  // one-digit hour never matches
      {"daily", "00:00", "nnnnnnn", 0, At(2024, 3, 5, 0, 0), ScheduleHit::kDaily},
      {"daily", "23:59", "nnnnnnn", 0, At(2024, 12, 31, 23, 59), ScheduleHit::kDaily},
      {"weekly", "02:00", "ynnnnnn", 0, At(2024, 1, 1, 2, 0), ScheduleHit::kWeekly},  // Monday
      {"weekly", "02:00", "ynnnnnn", 0, At(2024, 1, 2, 2, 0), ScheduleHit::kNone},    // Tuesday
      {"weekly", "02:00", "nnnnnny", 0, At(2024, 1, 7, 2, 0), ScheduleHit::kWeekly},  // Sunday
      {"weekly", "02:00", "nnnnyny", 0, At(2024, 1, 6, 2, 0), ScheduleHit::kNone},    // Saturday
      {"weekly", "02:00", "nnnnnnn", 0, At(2024, 1, 1, 2, 0), ScheduleHit::kNone},    // no day set
      {"weekly", "02:00", "yyyyyyy", 0, At(2024, 1, 3, 2, 1), ScheduleHit::kNone},
      {"monthly", "02:00", "nnnnnnn", 15, At(2024, 6, 15, 2, 0), ScheduleHit::kMonthly},
      {"monthly", "02:00", "nnnnnnn", 15, At(2024, 6, 16, 2, 0), ScheduleHit::kNone},
      {"monthly", "02:00", "nnnnnnn", 31, At(2024, 1, 31, 2, 0), ScheduleHit::kMonthly},
      {"monthly", "02:00", "nnnnnnn", 31, At(2024, 4, 30, 2, 0), ScheduleHit::kNone},  // 30-day month: never
      {"monthly", "02:00", "nnnnnnn", 31, At(2024, 5, 1, 2, 0), ScheduleHit::kNone},   // no roll-over
      {"monthly", "02:00", "nnnnnnn", 29, At(2024, 2, 29, 2, 0), ScheduleHit::kMonthly},
  };
  for (const Case& c : cases) {
    JobRecord job = Job("J", c.kind, c.time);
    for (int i = 0; i < 7; ++i) job.weekdays[i] = c.weekdays[i];
    job.dayOfMonth = c.dayOfMonth;
    EXPECT_EQ(MatchSchedule(job, c.at), c.expected)
        << c.kind << " " << c.time << " " << c.weekdays << " day " << c.dayOfMonth << " at " << c.at.year << "-"
        << c.at.month << "-" << c.at.day << " " << c.at.hour << ":" << c.at.minute;
  }
  // The tests read the flag bytes, not the kind.
  JobRecord mixed = Job("J", "weekly");
  mixed.daily = 'y';
  EXPECT_EQ(MatchSchedule(mixed, At(2024, 1, 2, 2, 0)), ScheduleHit::kDaily);
  mixed.daily = mixed.weekly = 'n';
  EXPECT_EQ(MatchSchedule(mixed, At(2024, 1, 1, 2, 0)), ScheduleHit::kNone);
}

TEST(Scheduler, WorkerChoice) {
  EXPECT_EQ(ChooseWorker(kFullBackup, "Microsoft Windows 7 Professional"), WorkerKind::kScriptedImage);
  EXPECT_EQ(ChooseWorker(kDifferentialBackup, "Microsoft Windows XP Professional"), WorkerKind::kScriptedImage);
  EXPECT_EQ(ChooseWorker(kUpdateBackup, "Microsoft Windows 10 Pro"), WorkerKind::kSnapshotImage);
  EXPECT_EQ(ChooseWorker(kIncrementalBackup, ""), WorkerKind::kSnapshotImage);  // a failed query
  EXPECT_EQ(ChooseWorker(kReplication, "Windows Vista"), WorkerKind::kReplication);
  EXPECT_EQ(ChooseWorker(kReplicationShadow, "windows vista business"), WorkerKind::kNone);
  EXPECT_EQ(ChooseWorker(kReplicationShadow, "Microsoft Windows 11 Pro"), WorkerKind::kShadowReplication);
  EXPECT_EQ(ChooseWorker(kIsoBackup, "Microsoft Windows 10 Pro"), WorkerKind::kIsoMedia);
  EXPECT_EQ(ChooseWorker(299, "Microsoft Windows 10 Pro"), WorkerKind::kNone);
  EXPECT_EQ(RunStamp(kFullBackup, At(2024, 3, 5, 7, 9)), "2024.03.05 07:09");
  EXPECT_EQ(RunStamp(kReplication, At(2024, 3, 5, 7, 9)), "07:09");
}

struct Fixture {
  explicit Fixture(std::string caption = "Microsoft Windows 7 Professional", std::chrono::milliseconds rearm = 0ms)
      : table(folder.Path(), test::kQuick) {
    table.SetBroadcastHook([this](const JobRecord& r) {
      std::lock_guard lock(m);
      sent.push_back(r);
    });
    options.clock = clock.Fn();
    options.monotonicMs = clock.Monotonic();
    options.osCaption = [caption] { return caption; };
    options.rearmDelay = rearm;
    options.makeThread = [this](std::function<void()> body) {
      ++threads;
      return std::thread(std::move(body));
    };
    scheduler = std::make_unique<Scheduler>(table, launcher, options);
  }
  ~Fixture() {
    launcher.Release();
    scheduler.reset();
  }
  void Add(const JobRecord& r) {
    ASSERT_TRUE(table.Add(r).ok());
    std::lock_guard lock(m);
    sent.clear();  // drop the echo
  }
  // The service starts again with the same table.
  void Restart() {
    launcher.Release();
    scheduler.reset();
    scheduler = std::make_unique<Scheduler>(table, launcher, options);
  }
  int32_t RunState(const char* name) { return table.Find(name)->runState; }
  std::vector<JobRecord> Sent() {
    std::lock_guard lock(m);
    return sent;
  }
  // Runs started and starts refused with 99, counted when they happen.
  size_t Fired() {
    size_t refused = 0;
    for (const JobRecord& r : Sent()) refused += r.jobState == kJobAnotherRunning;
    return threads + refused;
  }

  TempFolder folder;
  JobTable table;
  FakeClock clock;
  FakeLauncher launcher;
  std::mutex m;
  std::vector<JobRecord> sent;
  std::atomic<size_t> threads{0};
  SchedulerOptions options;
  std::unique_ptr<Scheduler> scheduler;
};

TEST(Scheduler, TicksFireEachScheduledMinuteOnceAndLateTicksCatchUp) {
  Fixture f;
  f.Add(Job("Daily", "daily", "02:00"));
  JobRecord monday = Job("Monday", "weekly", "00:01", kReplication);  // may run beside the image job
  f.Add(monday);
  // The clock of each tick and the runs started so far (runs end and re-arm
  // at once).
  struct Step {
    LocalTime at;
    size_t daily, monday;
  };
  const Step steps[] = {
      {At(2024, 1, 6, 2, 5), 0, 0},  // first tick: only its own minute counts
      {At(2024, 1, 7, 1, 59, 55), 0, 0},
      {At(2024, 1, 7, 2, 0, 0), 1, 0},  // Sunday 02:00
      {At(2024, 1, 7, 2, 0, 5), 1, 0},  // same minute, already re-armed: no second run
      {At(2024, 1, 7, 2, 0, 59), 1, 0},
      {At(2024, 1, 7, 2, 1, 0), 1, 0},
      {At(2024, 1, 7, 23, 58), 1, 0},
      {At(2024, 1, 8, 2, 3, 10), 2, 1},  // one late tick crosses Monday 00:01 and 02:00
      {At(2024, 1, 8, 2, 3, 40), 2, 1},
      {At(2024, 1, 8, 1, 30), 2, 1},  // clock stepped back: the minutes are not
                                      // fired again
      {At(2024, 1, 8, 2, 4), 2, 1},
      {At(2024, 1, 9, 2, 0), 3, 1},
  };
  for (const Step& s : steps) {
    f.clock.Set(s.at);
    f.scheduler->Tick();
    ASSERT_TRUE(f.scheduler->WaitIdle(5s));
    size_t daily = 0, weekly = 0;
    for (const WorkerTask& t : f.launcher.Tasks()) (JobName(t.record) == "Daily" ? daily : weekly)++;
    EXPECT_EQ(daily, s.daily) << s.at.day << " " << s.at.hour << ":" << s.at.minute;
    EXPECT_EQ(weekly, s.monday) << s.at.day << " " << s.at.hour << ":" << s.at.minute;
  }
  EXPECT_EQ(f.RunState("Daily"), kArmed);
  EXPECT_EQ(f.RunState("Monday"), kArmed);
}

TEST(Scheduler, ArmedOnceJobStartsAtTheFirstTickAndTheTaskIsItsOwnCopy) {
  Fixture f;
  JobRecord once = Job("Once", "once", "17:00", kIncrementalBackup);
  f.Add(once);
  f.launcher.Hold();
  f.clock.Set(At(2024, 1, 1, 9, 0));
  f.scheduler->Tick();
  ASSERT_EQ(f.launcher.WaitTasks(1).size(), 1u);
  EXPECT_EQ(f.RunState("Once"), kStarted);
  // The table may change while the run goes on; the task keeps its copy.
  JobRecord changed = once;
  SetFieldText(changed.imagePath, "E:\\Other.tav");
  changed.runState = kStarted;
  ASSERT_TRUE(f.table.Modify(changed).ok());
  const WorkerTask task = f.launcher.Tasks()[0];
  EXPECT_EQ(task.kind, WorkerKind::kScriptedImage);
  EXPECT_EQ(task.backupKind, 2);
  EXPECT_EQ(task.record.runState, kStarted);
  EXPECT_EQ(FieldText(task.record.imagePath), FieldText(once.imagePath));
  f.launcher.Release();
  ASSERT_TRUE(f.scheduler->WaitIdle(5s));
  EXPECT_EQ(f.RunState("Once"), kDisarmed);
}

TEST(Scheduler, ARunningJobGetsNoSecondRun) {
  Fixture f;
  f.Add(Job("A", "daily", "02:00"));
  f.launcher.Hold();
  EXPECT_EQ(f.scheduler->RunNow("A"), RunStart::kStarted);
  EXPECT_EQ(f.scheduler->RunNow("A"), RunStart::kAlreadyRunning);
  // A manager re-arms the running entry: the tick still finds the run.
  JobRecord armed = *f.table.Find("A");
  armed.runState = kArmed;
  ASSERT_TRUE(f.table.Modify(armed).ok());
  f.clock.Set(At(2024, 1, 1, 2, 0));
  f.scheduler->Tick();
  EXPECT_EQ(f.launcher.WaitTasks(1).size(), 1u);
  EXPECT_EQ(f.table.Runs(), std::vector<std::string>{"A"});
  EXPECT_EQ(f.scheduler->RunNow("Nobody"), RunStart::kUnknown);
  f.launcher.Release();
  ASSERT_TRUE(f.scheduler->WaitIdle(5s));
  EXPECT_TRUE(f.table.Runs().empty());
  EXPECT_EQ(f.RunState("A"), kArmed);
  EXPECT_EQ(f.scheduler->RunNow("A"), RunStart::kStarted);  // after the end it runs again
  ASSERT_TRUE(f.scheduler->WaitIdle(5s));
}

TEST(Scheduler, ABackupThatRunsAloneIsRefusedWith99BesideAnotherRun) {
  struct Case {
    const char* caption;
    int32_t running, second;
    const char* secondKind;
    RunStart expected;
  };
  const Case cases[] = {
      {"Microsoft Windows 7 Professional", kFullBackup, kUpdateBackup, "daily", RunStart::kAnotherRunning},
      {"Microsoft Windows XP", kReplication, kFullBackup, "once", RunStart::kAnotherRunning},
      {"Microsoft Windows 10 Pro", kFullBackup, kIsoBackup, "weekly", RunStart::kAnotherRunning},
      {"Microsoft Windows 7 Professional", kFullBackup, kReplication, "daily", RunStart::kStarted},
      {"Microsoft Windows 10 Pro", kFullBackup, kIncrementalBackup, "daily", RunStart::kStarted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.caption) + " " + std::to_string(c.running) + " then " + std::to_string(c.second));
    Fixture f(c.caption);
    f.clock.Set(At(2024, 5, 6, 2, 0));
    f.Add(Job("First", "daily", "02:00", c.running));
    JobRecord second = Job("Second", c.secondKind, "02:00", c.second);
    second.runState = kArmed;
    f.Add(second);
    f.launcher.Hold();
    f.scheduler->Tick();  // both are due this minute; First is ahead in the table
    EXPECT_EQ(f.table.Find("First")->runState, kStarted);
    const size_t runs = f.launcher.WaitTasks(c.expected == RunStart::kStarted ? 2 : 1).size();
    if (c.expected == RunStart::kAnotherRunning) {
      EXPECT_EQ(runs, 1u);
      const std::vector<JobRecord> sent = f.Sent();
      ASSERT_EQ(sent.size(), 1u);
      EXPECT_EQ(JobName(sent[0]), "Second");
      EXPECT_EQ(sent[0].jobState, kJobAnotherRunning);
      EXPECT_EQ(sent[0].runState, kStarted);
      EXPECT_EQ(FieldText(sent[0].elapsedTime), "00:00:00");
      EXPECT_EQ(FieldText(sent[0].startTime), RunStamp(c.second, At(2024, 5, 6, 2, 0)));
      EXPECT_EQ(FieldText(sent[0].startTime), FieldText(sent[0].endTime));
      EXPECT_EQ(f.RunState("Second"), std::string(c.secondKind) == "once" ? kDisarmed : kArmed);
      // RUNJOB meets the same rule.
      EXPECT_EQ(f.scheduler->RunNow("Second"), RunStart::kAnotherRunning);
    } else {
      EXPECT_EQ(runs, 2u);
      EXPECT_EQ(f.RunState("Second"), kStarted);
    }
    f.launcher.Release();
    ASSERT_TRUE(f.scheduler->WaitIdle(5s));
  }
}

TEST(Scheduler, JobEndRearmsAfterTheDelay) {
  for (const char* kind : {"once", "daily", "weekly", "monthly"}) {
    SCOPED_TRACE(kind);
    TempFolder folder;
    JobTable table(folder.Path(), test::kQuick);
    std::vector<JobRecord> sent;
    std::mutex m;
    table.SetBroadcastHook([&](const JobRecord& r) {
      std::lock_guard lock(m);
      sent.push_back(r);
    });
    ASSERT_TRUE(table.Add(Job("J", kind, "02:00", kReplication)).ok());
    NoWorkerLauncher launcher([&](const JobRecord& r) { table.Broadcast(r); }, [] { return At(2024, 2, 3, 4, 5); });
    SchedulerOptions o;
    o.rearmDelay = 60000ms;
    Scheduler scheduler(table, launcher, o);
    ASSERT_EQ(scheduler.RunNow("J"), RunStart::kStarted);
    // The stand-in reports a failed run at once; the entry stays started
    // through the wait, also on disk.
    EXPECT_FALSE(scheduler.WaitIdle(50ms));
    // The report comes from the run's thread: wait for it, not for a time.
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard lock(m);
        if (sent.size() >= 2) break;
      }
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(table.Find("J")->runState, kStarted);
    EXPECT_NE(test::ReadBytes(table.SchedulePath()).find("\r\nJ\r\n304\r\n1\r\n"), std::string::npos);
    {
      std::lock_guard lock(m);
      ASSERT_EQ(sent.size(), 2u);  // the echo, then the report
      EXPECT_EQ(sent[1].jobState, kJobFailed);
      EXPECT_EQ(sent[1].runState, kStarted);
      EXPECT_EQ(FieldText(sent[1].endTime), "04:05");
    }
    scheduler.Shutdown();  // ends the wait: re-armed now
    const int32_t expected = std::string(kind) == "once" ? kDisarmed : kArmed;
    EXPECT_EQ(table.Find("J")->runState, expected);
    EXPECT_NE(test::ReadBytes(table.SchedulePath()).find("\r\nJ\r\n304\r\n" + std::to_string(expected) + "\r\n"),
              std::string::npos);
    EXPECT_TRUE(table.Runs().empty());
  }
}

TEST(Scheduler, AJobThatRunsAloneStartsAtOnceAfterAnotherRunHasEnded) {
  for (bool deleted : {false, true}) {
    SCOPED_TRACE(deleted ? "deleted after its run" : "kept");
    Fixture f("Microsoft Windows 7 Professional", 60000ms);
    f.Add(Job("First", "once"));
    f.Add(Job("Iso", "once", "02:00", kIsoBackup));
    ASSERT_EQ(f.scheduler->RunNow("First"), RunStart::kStarted);
    ASSERT_EQ(f.launcher.WaitTasks(1).size(), 1u);
    // The worker has returned; the re-arm wait of a minute goes on.
    for (int i = 0; i < 500 && !f.table.Runs().empty(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(f.table.Runs().empty());
    EXPECT_EQ(f.RunState("First"), kStarted);
    if (deleted) {
      ASSERT_TRUE(f.table.Delete(*f.table.Find("First")).ok());
    }
    EXPECT_EQ(f.scheduler->RunNow("Iso"), RunStart::kStarted);
    ASSERT_EQ(f.launcher.WaitTasks(2).size(), 2u);
    for (const JobRecord& r : f.Sent()) {
      EXPECT_NE(r.jobState, kJobAnotherRunning) << JobName(r);
    }
  }
}

TEST(Scheduler, ARunWithoutAThreadIsNotStartedAndTheServiceGoesOn) {
  TempFolder folder;
  JobTable table(folder.Path(), test::kQuick);
  ASSERT_TRUE(table.Add(Job("J", "daily")).ok());
  FakeLauncher launcher;
  std::vector<std::string> log;
  SchedulerOptions o;
  o.osCaption = [] { return std::string("Microsoft Windows 7 Professional"); };
  o.rearmDelay = 0ms;
  o.log = [&](std::string_view, std::string_view text) { log.emplace_back(text); };
  bool refuse = true;
  o.makeThread = [&](std::function<void()> body) {
    if (refuse) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(body));
  };
  Scheduler scheduler(table, launcher, o);
  EXPECT_EQ(scheduler.RunNow("J"), RunStart::kStarted);
  EXPECT_TRUE(launcher.Tasks().empty());
  EXPECT_TRUE(table.Runs().empty());
  EXPECT_EQ(table.Find("J")->runState, kArmed);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("No thread"), std::string::npos) << log[0];
  EXPECT_TRUE(scheduler.WaitIdle(1s));
  refuse = false;
  EXPECT_EQ(scheduler.RunNow("J"), RunStart::kStarted);
  EXPECT_EQ(launcher.WaitTasks(1).size(), 1u);
  ASSERT_TRUE(scheduler.WaitIdle(5s));
}

TEST(Scheduler, AJobWithoutAWorkerOnThisSystemIsNotLeftStarted) {
  Fixture f("Microsoft Windows Vista Business");
  f.Add(Job("Shadow", "daily", "02:00", kReplicationShadow));
  EXPECT_EQ(f.scheduler->RunNow("Shadow"), RunStart::kStarted);
  EXPECT_TRUE(f.launcher.Tasks().empty());
  EXPECT_EQ(f.RunState("Shadow"), kArmed);
  EXPECT_TRUE(f.table.Runs().empty());
}

// What the main loop, a manager and the machine's clock do, in order. Every
// event but kRunHeld and kEndRun ends with a tick, as the loop and the ADDJOB
// and MODIFYJOB dispatch do.
enum class Do {
  kTick,       // time passes until the clock shows `at`
  kStepClock,  // the clock is stepped to `at`: no time passes
  kAdd,        // ADDJOB of the script's jobs
  kRearm,      // MODIFYJOB of the first job with runState 0
  kRunHeld,    // RUNJOB of `job` (the first job when none); its run goes on
  kEndRun,     // the held run ends and its entry is re-armed
  kRestart,    // the service starts again with the same table
};
struct Event {
  LocalTime at;
  Do what;
  size_t fired;  // runs started and starts refused with 99 so far, all jobs
  std::optional<int> utcOffsetMinutes = {};
  const char* job = nullptr;
};
struct Script {
  const char* name;
  std::vector<JobRecord> jobs;
  bool addedLater;  // the jobs come with kAdd
  std::vector<Event> events;
};

JobRecord Disarmed(JobRecord r) {
  r.runState = kDisarmed;
  return r;
}
JobRecord Weekly(JobRecord r, int weekday) {
  r.weekdays[weekday] = 'y';
  return r;
}
JobRecord Monthly(JobRecord r, int day) {
  r.dayOfMonth = day;
  return r;
}

void RunScript(const Script& script) {
  SCOPED_TRACE(script.name);
  Fixture f;
  if (!script.addedLater) {
    for (const JobRecord& job : script.jobs) f.Add(job);
  }
  bool held = false;
  for (const Event& e : script.events) {
    const std::string name(e.job ? std::string_view(e.job) : JobName(script.jobs[0]));
    if (e.what == Do::kStepClock)
      f.clock.Step(e.at);
    else
      f.clock.Set(e.at, e.utcOffsetMinutes);
    switch (e.what) {
      case Do::kAdd:
        for (const JobRecord& job : script.jobs) ASSERT_TRUE(f.table.Add(job).ok());
        break;
      case Do::kRearm: {
        JobRecord armed = *f.table.Find(name);
        armed.runState = kArmed;
        ASSERT_TRUE(f.table.Modify(armed).ok());
        break;
      }
      case Do::kRunHeld:
        held = true;
        f.launcher.Hold();
        f.scheduler->RunNow(name);
        break;
      case Do::kEndRun:
        held = false;
        f.launcher.Release();
        ASSERT_TRUE(f.scheduler->WaitIdle(5s));
        break;
      case Do::kRestart:
        f.Restart();
        break;
      default:
        break;
    }
    if (e.what != Do::kRunHeld && e.what != Do::kEndRun) f.scheduler->Tick();
    EXPECT_EQ(f.Fired(), e.fired) << e.at.year << "-" << e.at.month << "-" << e.at.day << " " << e.at.hour << ":"
                                  << e.at.minute << ":" << e.at.second;
    if (!held) {
      ASSERT_TRUE(f.scheduler->WaitIdle(5s));  // ended runs are re-armed at once
    }
  }
}

LocalTime Dec10(int h, int mi, int s = 0) { return At(2026, 12, 10, h, mi, s); }
LocalTime Dec11(int h, int mi, int s = 0) { return At(2026, 12, 11, h, mi, s); }
LocalTime Oct25(int h, int mi, int s = 0) { return At(2026, 10, 25, h, mi, s); }  // summer time ends at 03:00

TEST(Scheduler, AJobArmedInsideItsMinuteStillFiresThen) {
  const Script scripts[] = {
      {"added after the minute's first tick",
       {Job("Daily", "daily", "10:00")},
       true,
       {{Dec10(10, 0, 2), Do::kTick, 0},
        {Dec10(10, 0, 30), Do::kAdd, 1},
        {Dec10(10, 0, 45), Do::kTick, 1},
        {Dec10(10, 1, 0), Do::kTick, 1},
        {Dec11(10, 0, 3), Do::kTick, 2}}},
      {"re-armed by MODIFYJOB inside its minute",
       {Disarmed(Job("Daily", "daily", "10:00"))},
       false,
       {{Dec10(9, 59, 57), Do::kTick, 0},
        {Dec10(10, 0, 2), Do::kTick, 0},
        {Dec10(10, 0, 30), Do::kRearm, 1},
        {Dec10(10, 0, 50), Do::kTick, 1}}},
      {"RUNJOB just before the minute, re-armed inside it",
       {Job("Daily", "daily", "10:00")},
       false,
       {{Dec10(9, 59, 55), Do::kTick, 0},
        {Dec10(9, 59, 58), Do::kRunHeld, 1},
        {Dec10(10, 0, 3), Do::kTick, 1},
        {Dec10(10, 0, 40), Do::kEndRun, 1},
        {Dec10(10, 0, 58), Do::kTick, 2},
        {Dec10(10, 1, 3), Do::kTick, 2}}},
      {"added in the repeated hour when summer time ends",
       {Job("Night", "daily", "02:40")},
       true,
       {{Oct25(1, 59, 50), Do::kTick, 0, 120},
        {Oct25(2, 30), Do::kTick, 0},
        {Oct25(2, 59, 55), Do::kTick, 0},
        {Oct25(2, 0, 0), Do::kTick, 0, 60},
        {Oct25(2, 10), Do::kAdd, 0},
        {Oct25(2, 40, 0), Do::kTick, 1},
        {Oct25(2, 40, 30), Do::kTick, 1},
        {Oct25(3, 0), Do::kTick, 1}}},
  };
  for (const Script& script : scripts) RunScript(script);
}

TEST(Scheduler, AClockStepIsNoTimePassedAndRunsNothingTwice) {
  const Script scripts[] = {
      {"started with the clock two hours slow, then synchronised",
       {Job("Daily", "daily", "09:00")},
       false,
       {{Dec10(9, 0, 1), Do::kTick, 1},
        {Dec10(8, 5, 0), Do::kRestart, 1},
        {Dec10(8, 5, 30), Do::kTick, 1},
        {Dec10(10, 6, 0), Do::kStepClock, 1},
        {Dec10(10, 6, 5), Do::kTick, 1},
        {Dec11(9, 0, 2), Do::kTick, 2}}},
      {"started at 2000-01-01, then synchronised",
       {Job("Daily", "daily", "08:00"), Weekly(Job("Thursday", "weekly", "12:00", kReplication), 3),
        Monthly(Job("Tenth", "monthly", "06:30", kIsoBackup), 10)},
       false,
       {{At(2000, 1, 1, 0, 0, 10), Do::kTick, 0},
        {At(2000, 1, 1, 0, 0, 40), Do::kTick, 0},
        {Dec10(13, 0, 0), Do::kStepClock, 0},
        {Dec10(13, 0, 5), Do::kTick, 0},
        {Dec11(8, 0, 1), Do::kTick, 1}}},
      {"set back two days, then restored",
       {Job("Daily", "daily", "09:45")},
       false,
       {{Dec10(9, 44, 58), Do::kTick, 0},
        {Dec10(9, 45, 3), Do::kTick, 1},
        {Dec10(10, 0, 0), Do::kTick, 1},
        {At(2026, 12, 8, 10, 0, 5), Do::kTick, 1},
        {At(2026, 12, 8, 10, 0, 35), Do::kTick, 1},
        {Dec10(10, 1, 0), Do::kStepClock, 1},
        {Dec10(10, 1, 5), Do::kTick, 1}}},
      // Kept: these fire as they always did.
      {"a small correction of the clock still crosses its minutes",
       {Job("Daily", "daily", "10:00")},
       false,
       {{Dec10(9, 59, 30), Do::kTick, 0}, {Dec10(10, 1, 10), Do::kStepClock, 1}}},
      {"a wake from sleep crosses the slept minutes once",
       {Job("Daily", "daily", "03:00")},
       false,
       {{Dec10(23, 0), Do::kTick, 0}, {Dec11(7, 0), Do::kTick, 1}, {Dec11(7, 0, 5), Do::kTick, 1}}},
      {"the hour skipped when summer time begins is crossed once",
       {Job("Night", "daily", "02:30")},
       false,
       {{At(2026, 3, 29, 1, 59, 55), Do::kTick, 0, 60},
        {At(2026, 3, 29, 3, 0, 0), Do::kTick, 1, 120},
        {At(2026, 3, 29, 3, 0, 30), Do::kTick, 1},
        {At(2026, 3, 29, 3, 30), Do::kTick, 1}}},
      {"the repeated hour when summer time ends fires once",
       {Job("Night", "daily", "02:40")},
       false,
       {{Oct25(2, 39, 58), Do::kTick, 0, 120},
        {Oct25(2, 40, 3), Do::kTick, 1},
        {Oct25(2, 59, 58), Do::kTick, 1},
        {Oct25(2, 0, 3), Do::kTick, 1, 60},
        {Oct25(2, 40, 0), Do::kTick, 1},
        {Oct25(2, 40, 30), Do::kTick, 1},
        {Oct25(3, 0), Do::kTick, 1}}},
      {"a service started again inside the minute tests it again",
       {Job("Daily", "daily", "10:00")},
       false,
       {{Dec10(10, 0, 2), Do::kTick, 1}, {Dec10(10, 0, 40), Do::kRestart, 2}}},
      {"refused with 99 until its next time",
       {Job("Daily", "daily", "10:00"), Job("Solo", "once", "none")},
       false,
       {{Dec10(9, 59, 50), Do::kRunHeld, 1, {}, "Solo"},
        {Dec10(10, 0, 2), Do::kTick, 2},
        {Dec10(10, 0, 20), Do::kEndRun, 2},
        {Dec10(10, 0, 40), Do::kTick, 2},
        {Dec11(10, 0, 1), Do::kTick, 3}}},
  };
  for (const Script& script : scripts) RunScript(script);
}

}  // namespace
}  // namespace orva::service
