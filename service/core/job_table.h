// The service's job table (at most 50 jobs, keyed by job name) with its
// schedule file OrvaSchedule.ovc, the cancel request and the broadcast hook.
//
// Threads: one mutex guards the entries, the runs, the cancel request and
// the hook. Every method takes it briefly and none holds it while calling
// out: file writes, log sinks and the broadcast hook run after it has been
// released. Saves are serialised among themselves and each writes the table
// as it stands when the write starts, so the newest state always wins.
//
// Schedule file: "Schedule Number: %d", then 26 lines per job (CR LF line
// ends, ANSI text). It is rewritten whole through a temporary file and
// replaced in one step. A file that exists but cannot be read, or that is
// corrupt, is never overwritten: a corrupt one is renamed to
// "OrvaSchedule.ovc.bad"; while an unreadable (locked) one is in place,
// saves are held back until a later Load succeeds. Each case gives one
// log line through the log sink.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/job_record.h"
#include "core/service_logs.h"
#include "core/shared_file.h"

namespace orva::service {

inline constexpr int kMaxJobs = 50;
inline constexpr char kScheduleFileName[] = "OrvaSchedule.ovc";
inline constexpr int kScheduleLinesPerJob = 26;

enum class EditStatus {
  kOk,         // the table changed
  kInvalid,    // the record failed ValidateJobRecord; nothing changed
  kFull,       // ADDJOB with 50 jobs in the table; nothing changed
  kDuplicate,  // ADDJOB of a name already in the table; nothing changed
  kNotFound,   // MODIFYJOB or DELETEJOB of an unknown name; nothing changed
};

struct EditResult {
  EditStatus status = EditStatus::kOk;
  bool saved = false;  // the schedule file was rewritten
  std::string why;     // for the task log when status is not kOk
  bool ok() const { return status == EditStatus::kOk; }
};

enum class LoadStatus {
  kLoaded,     // the file was read; the table holds its jobs
  kMissing,    // no file: empty table, the next save creates it
  kLocked,     // the file exists but could not be read: empty table, saves held back
  kCorrupt,    // bad content: empty table, file renamed to ".bad", saves allowed
  kCorruptKept,// bad content and the rename failed: empty table, saves held back
};

// What StartRun decided.
enum class RunStart {
  kStarted,         // the entry is at runState 1 and a run of it is recorded
  kUnknown,         // no entry of the name
  kNotArmed,        // a tick found the entry not armed (runState 0); nothing changed
  kAlreadyRunning,  // a run of this job exists; nothing changed
  kAnotherRunning,  // an exclusive job beside a run of another job: the entry was re-armed
};

struct CancelRequest {
  bool requested = false;  // set by the first CANCELJOB, never cleared
  std::string jobName;     // emptied by the worker that honours it
};

// The JOBLISTBEGIN (204) or JOBLISTEND (205) record: jobType = count,
// runState 3, every other byte zero.
JobRecord MakeListMarker(int32_t code, int32_t count);

// Pure schedule-file text: FormatScheduleFile writes the records as they
// are (flag bytes other than 'y' as "n"); ParseScheduleFile reads them back
// with runState normalised (2 for "once", else 0), refusing the whole file
// (false, `why` set) when the count line is bad, the count is above 50, lines
// are missing, a text line is too long for its field, a record fails
// ValidateJobRecord or a name appears twice. `records` is empty on failure.
std::string FormatScheduleFile(const std::vector<JobRecord>& records);
bool ParseScheduleFile(std::string_view bytes, std::vector<JobRecord>& records, std::string& why);

class JobTable {
 public:
  // `folder` holds OrvaSchedule.ovc. `retry` is the open policy for it.
  explicit JobTable(std::filesystem::path folder, Retry retry = kFileRetry);
  JobTable(const JobTable&) = delete;
  JobTable& operator=(const JobTable&) = delete;

  // Receives the lines worth logging (tag "SCHEDULE"); the caller appends
  // them to the task log. Never gets a password or a record's raw bytes.
  void SetLogSink(LogSink sink);
  // The client list: called with each echo. Set it once before serving.
  void SetBroadcastHook(std::function<void(const JobRecord&)> hook);
  // Sends the record to every client through the hook (status reports).
  void Broadcast(const JobRecord& record) const;

  // ADDJOB: validates, refuses a 51st job or a duplicate name, appends the
  // record whole (its code and runState as received), saves, then echoes
  // the record through the hook. Refusals change, save and echo nothing.
  EditResult Add(const JobRecord& record);
  // MODIFYJOB: validates and replaces the entry of the record's name, then
  // saves and echoes. An unknown name gives kNotFound: no change, no save,
  // no echo.
  EditResult Modify(const JobRecord& record);
  // DELETEJOB: removes the entry of the name (later entries move down),
  // saves and echoes the record. Only the name is checked (IsSafeJobName).
  EditResult Delete(const JobRecord& record);

  int Count() const;
  std::vector<JobRecord> Snapshot() const;  // entries 0..count-1, in order
  std::optional<JobRecord> Find(std::string_view name) const;

  // Scheduler tick: if the entry of the name is armed (runState 0), sets it
  // to 1, saves, and returns the entry as started. Test and set are one step.
  std::optional<JobRecord> TryStart(std::string_view name);
  // RUNJOB: sets the entry of the name to 1 whatever it was, saves, returns it.
  std::optional<JobRecord> ForceStart(std::string_view name);
  // Job end: runState 2 for a "once" job, else 0; saves. False for an
  // unknown name.
  bool Rearm(std::string_view name);

  // Runs that exist: a job is "running" from a successful StartRun until its
  // EndRun, whatever its runState says meanwhile (a manager may change it).
  // StartRun decides under the table lock: a job with a run gets no second
  // one; `exclusive` refuses the start while a run of any other job exists
  // and re-arms the entry as at a job end; otherwise the entry goes to
  // runState 1 (a tick, `force` false, only from 0). Saves when the entry
  // changed; `entry` is the entry as the decision left it.
  RunStart StartRun(std::string_view name, bool force, bool exclusive, JobRecord* entry = nullptr);
  // Forgets the run and re-arms the entry like Rearm (if it still exists).
  bool EndRun(std::string_view name);
  std::vector<std::string> Runs() const;

  // CANCELJOB: sets the flag and the name.
  void RequestCancel(std::string_view name);
  // Worker check: true when the flag is set and the name equals `name`; the
  // name is then emptied, so the request is honoured once.
  bool TakeCancel(std::string_view name);
  CancelRequest Cancel() const;

  // Start-up: empties the table and fills it from the schedule file, then
  // rewrites the file (runState normalised) unless the read failed.
  LoadStatus Load();
  // Rewrites the schedule file from the table. False when held back or when
  // the write failed (the old file then stays whole).
  bool Save();
  bool SavesHeld() const;
  std::filesystem::path SchedulePath() const { return folder_ / kScheduleFileName; }

 private:
  void Log(std::string_view text) const;
  int IndexOf(std::string_view name) const;  // under mutex_

  const std::filesystem::path folder_;
  const Retry retry_;
  mutable std::mutex mutex_;
  std::vector<JobRecord> jobs_;
  CancelRequest cancel_;
  std::set<std::string, std::less<>> runs_;
  std::function<void(const JobRecord&)> broadcast_;
  LogSink log_;
  bool savesHeld_ = false;
  std::mutex saveMutex_;  // serialises writes of the file; taken before mutex_
};

}  // namespace orva::service
