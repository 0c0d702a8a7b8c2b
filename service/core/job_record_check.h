// Checks and names of a JobRecord received from a manager or read from the
// schedule file.
#pragma once
#include <string>
#include <string_view>

#include "core/job_record.h"

namespace orva::service {

// True when the record may enter the job table; otherwise `why` says which
// field is wrong. Checks every text field for a terminator within its width
// and for control characters, the job type (300-306), the run state (0-2),
// the schedule kind and time ("HH:MM"), the 'y'/'n' flags, the day of the
// month (0-31), the compression level (0-9) and the job name (non-empty,
// usable in a file name and on a command line).
bool ValidateJobRecord(const JobRecord& record, std::string& why);

// True for a non-empty name without path separators, quotes, control
// characters or any of % : * ? < > |.
bool IsSafeJobName(std::string_view name);

// "FULL_BACKUP" ... "ISOBACKUP"; empty for an unknown type.
std::string_view JobTypeName(int32_t jobType);

// The text of a fixed-width field up to its terminator (or the whole width).
std::string_view FieldText(const char* field, size_t width);
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return FieldText(field, N);
}
// Copies the text into the field with its terminator and zero padding; false
// (field untouched) when the text does not fit.
bool SetFieldText(char* field, size_t width, std::string_view text);
template <size_t N>
bool SetFieldText(char (&field)[N], std::string_view text) {
  return SetFieldText(field, N, text);
}

// The job name of a record (up to its terminator).
inline std::string_view JobName(const JobRecord& record) { return FieldText(record.jobName); }

}  // namespace orva::service
