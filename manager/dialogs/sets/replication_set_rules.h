// What the replication set dialog makes of its controls: the checks with
// their messages and the JobRecord of a replication set, and the reverse
// for a set being edited. No windows here.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "contracts/job_record.h"

namespace orva::manager {

enum ScheduleKind { kOnce = 0, kDaily = 1, kWeekly = 2, kMonthly = 3 };

// The dialog's controls as texts and states.
struct ReplicationSetForm {
  std::string name;
  std::string source;
  std::string target;
  bool shadow = false;
  int kind = kOnce;
  std::string hour = "00";
  std::string minute = "00";
  bool weekdays[7] = {};  // Monday first
  std::string dayText;    // the selected entry of the day combo; empty when none
};

// The folders that a mirror's target may neither hold nor lie in.
struct ReplicationGuards {
  std::string windowsFolder;
  std::string serviceFolder;
};

inline constexpr size_t kDaysOffered = 31;

// Checks an hour (0-23) or a minute (0-59) as typed: digits only, at most
// two; empty reads as 0.
bool TimePartValid(std::string_view text, int max);
inline constexpr char kHourMessage[] = "Please enter 2 digit hour number from 00 to 23.";
inline constexpr char kMinuteMessage[] = "Please enter 2 digit minute number from 00 to 59.";

// Builds the record of the form: ADDJOB for a new set (refused when
// `nameTaken` says the name exists), MODIFYJOB when editing. Returns the
// message to show, empty when `out` holds a record that ValidateJobRecord
// accepts.
std::string BuildReplicationRecord(const ReplicationSetForm& form, bool editMode,
                                   const std::function<bool(std::string_view)>& nameTaken,
                                   const ReplicationGuards& guards, service::JobRecord& out);

// The form that shows a stored set.
ReplicationSetForm FormFromRecord(const service::JobRecord& record);

}  // namespace orva::manager
