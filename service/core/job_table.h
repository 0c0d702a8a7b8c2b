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
// replaced in one step. A load takes every valid record; when anything of
// the file is refused (a bad record, a damaged count line, missing or extra
// lines) the file as read is first copied to a side file
// ("OrvaSchedule.ovc.bad", or ".bad.1" ... when that exists) and each
// problem is logged. A file that cannot be read at start-up (locked) is left
// alone: saves are held back and the file is tried again on every save and
// every RetryHeldLoad, and once it reads its jobs are merged with the edits
// made meanwhile and saves resume.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"
#include "contracts/schedule_file.h"
#include "core/service_logs.h"
#include "contracts/shared_file.h"

namespace orva::service {

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
  kLoaded,       // the file was read; the table holds its jobs
  kMissing,      // no file: empty table, the next save creates it
  kLocked,       // the file exists but could not be read: empty table, saves held back
  kCorrupt,      // some of it refused: the valid jobs loaded, the file copied aside, saves allowed
  kCorruptKept,  // some of it refused and no side copy could be made: the valid jobs loaded, saves held back
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
  uint64_t run = 0;        // the run it was made for
};

// The JOBLISTBEGIN (204) or JOBLISTEND (205) record: jobType = count,
// runState 3, every other byte zero.
JobRecord MakeListMarker(int32_t code, int32_t count);

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

  // Runs: a run goes on from a successful StartRun until its worker has
  // returned (FinishRun), whatever the entry's runState says meanwhile (a
  // manager may change it); its entry is re-armed by EndRun after the re-arm
  // wait. StartRun decides under the table lock: a job whose run goes on
  // gets no second one; `exclusive` refuses the start while a run of any
  // other job goes on and re-arms the entry as at a job end; otherwise the
  // entry goes to runState 1 (a tick, `force` false, only from 0) and
  // `runId` names the new run. Saves when the entry changed; `entry` is the
  // entry as the decision left it.
  RunStart StartRun(std::string_view name, bool force, bool exclusive, JobRecord* entry = nullptr,
                    uint64_t* runId = nullptr);
  // The worker of the run has returned: the run no longer goes on.
  void FinishRun(std::string_view name, uint64_t runId);
  // After the re-arm wait: forgets the run and re-arms the entry like Rearm.
  // False, and the entry untouched, when the job was deleted meanwhile or a
  // newer run of it has started.
  bool EndRun(std::string_view name, uint64_t runId);
  std::vector<std::string> Runs() const;  // the jobs whose runs go on

  // CANCELJOB: records the request for the run of the name that goes on.
  // False, and nothing recorded, when no run of it goes on.
  bool RequestCancel(std::string_view name);
  // Worker check: true when the request names `name` and was made for the
  // run that goes on now; the name is then emptied, so the request is
  // honoured once.
  bool TakeCancel(std::string_view name);
  CancelRequest Cancel() const;

  // Start-up: empties the table and fills it from the schedule file, then
  // rewrites the file (runState normalised) unless it could not be read or
  // copied aside.
  LoadStatus Load();
  // While saves are held: tries the file once more, and when it reads,
  // merges it with the table and saves. True when saves are not held (any more).
  bool RetryHeldLoad();
  // Rewrites the schedule file from the table (after RetryHeldLoad while
  // saves are held). False when held back or when the write failed (the old
  // file then stays whole).
  bool Save();
  bool SavesHeld() const;
  std::filesystem::path SchedulePath() const { return folder_ / kScheduleFileName; }

 private:
  void Log(std::string_view text) const;
  bool Write();
  // Reads and parses the file; copies it aside when something was refused.
  // `lines` gets what is worth logging.
  LoadStatus ReadScheduleFile(Retry retry, std::vector<JobRecord>& records, std::vector<std::string>& lines);
  int IndexOf(std::string_view name) const;  // under mutex_
  // Takes the file's records in after a held load; under saveMutex_.
  void MergeLocked(const std::vector<JobRecord>& records, std::vector<std::string>& lines);

  const std::filesystem::path folder_;
  const Retry retry_;
  mutable std::mutex mutex_;
  std::vector<JobRecord> jobs_;
  CancelRequest cancel_;
  struct RunInfo {
    uint64_t id = 0;
    bool going = false;  // false: the worker returned, the re-arm wait goes on
  };
  bool AnotherGoingLocked(std::string_view name) const;  // under mutex_
  std::map<std::string, RunInfo, std::less<>> runs_;
  uint64_t lastRun_ = 0;
  std::function<void(const JobRecord&)> broadcast_;
  LogSink log_;
  bool savesHeld_ = false;
  std::set<std::string, std::less<>> deletedWhileHeld_;  // names deleted while saves are held
  std::string heldNote_;  // what was last logged about a file that could not be copied aside
  std::mutex saveMutex_;  // serialises writes of the file; taken before mutex_
};

}  // namespace orva::service
