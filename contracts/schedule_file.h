// OrvaSchedule.ovc, the service's schedule file, which the media maker
// reads too: "Schedule Number: %d", then 26 lines per job (CR LF line ends,
// ANSI text).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"

namespace orva::service {

inline constexpr int kMaxJobs = 50;
inline constexpr char kScheduleFileName[] = "OrvaSchedule.ovc";
inline constexpr int kScheduleLinesPerJob = 26;

// Pure schedule-file text: FormatScheduleFile writes the records as they
// are (flag bytes other than 'y' as "n"); ParseScheduleFile reads them back
// with runState normalised (2 for "once", else 0). A record is refused when
// a text line is too long for its field, it fails ValidateJobRecord, its
// name was used by an earlier record or 50 records came before it; the
// others are kept. A bad count line refuses the whole file (`damaged`).
struct ScheduleParse {
  std::vector<JobRecord> records;     // the valid records, in file order
  std::vector<std::string> problems;  // one text per refused record or flaw
  bool damaged = false;               // no record could be read at all
};
std::string FormatScheduleFile(const std::vector<JobRecord>& records);
ScheduleParse ParseScheduleFile(std::string_view bytes);

}  // namespace orva::service
