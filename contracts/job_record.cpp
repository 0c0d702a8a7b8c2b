#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::service {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Terminated within the width and without control characters.
bool CheckText(const char* field, size_t width, std::string_view name, std::string& why) {
  const void* end = std::memchr(field, '\0', width);
  if (!end) {
    why = std::string(name) + " has no terminator within its " + std::to_string(width) + " bytes";
    return false;
  }
  for (const char* p = field; p != end; ++p) {
    if (IsControl(static_cast<unsigned char>(*p))) {
      why = std::string(name) + " holds a control character";
      return false;
    }
  }
  return true;
}

bool IsFlag(char c) { return c == 'y' || c == 'n'; }

bool IsTime(std::string_view t) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (t.size() != 5 || t[2] != ':' || !digit(t[0]) || !digit(t[1]) || !digit(t[3]) || !digit(t[4])) return false;
  int hour = (t[0] - '0') * 10 + (t[1] - '0');
  int minute = (t[3] - '0') * 10 + (t[4] - '0');
  return hour <= 23 && minute <= 59;
}

}  // namespace

std::string_view FieldText(const char* field, size_t width) {
  const void* end = std::memchr(field, '\0', width);
  return std::string_view(field, end ? static_cast<const char*>(end) - field : width);
}

bool SetFieldText(char* field, size_t width, std::string_view text) {
  if (text.size() >= width) return false;
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size());
  return true;
}

std::string_view JobTypeName(int32_t jobType) {
  switch (jobType) {
    case kFullBackup:
      return "FULL_BACKUP";
    case kUpdateBackup:
      return "UPDATE_BACKUP";
    case kIncrementalBackup:
      return "INCREMENTAL_BACKUP";
    case kDifferentialBackup:
      return "DIFFERENTIAL_BACKUP";
    case kReplication:
      return "REPLICATION";
    case kReplicationShadow:
      return "REPLICATION_SHADOW";
    case kIsoBackup:
      return "ISOBACKUP";
    default:
      return "";
  }
}

bool IsSafeJobName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (IsControl(static_cast<unsigned char>(c))) return false;
    if (std::string_view("\\/\"'%:*?<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

bool ValidateJobRecord(const JobRecord& r, std::string& why) {
  struct Text {
    const char* field;
    size_t width;
    const char* name;
  };
  const Text texts[] = {
      {r.jobName, sizeof r.jobName, "jobName"},
      {r.driveLetter, sizeof r.driveLetter, "driveLetter"},
      {r.volumeSize, sizeof r.volumeSize, "volumeSize"},
      {r.imagePath, sizeof r.imagePath, "imagePath"},
      {r.baseImagePath, sizeof r.baseImagePath, "baseImagePath"},
      {r.excludeList, sizeof r.excludeList, "excludeList"},
      {r.sourceFolder, sizeof r.sourceFolder, "sourceFolder"},
      {r.targetFolder, sizeof r.targetFolder, "targetFolder"},
      {r.reservedText1, sizeof r.reservedText1, "reservedText1"},
      {r.reservedText2, sizeof r.reservedText2, "reservedText2"},
      {r.scheduleKind, sizeof r.scheduleKind, "scheduleKind"},
      {r.scheduleTime, sizeof r.scheduleTime, "scheduleTime"},
  };
  for (const Text& t : texts) {
    if (!CheckText(t.field, t.width, t.name, why)) return false;
  }
  if (!IsSafeJobName(JobName(r))) {
    why = "jobName is empty or holds a character not allowed in a file name or command line";
    return false;
  }
  if (r.jobType < kFullBackup || r.jobType > kIsoBackup) {
    why = "jobType " + std::to_string(r.jobType) + " is not 300-306";
    return false;
  }
  if (r.runState < kArmed || r.runState > kDisarmed) {
    why = "runState " + std::to_string(r.runState) + " is not 0-2";
    return false;
  }
  std::string_view kind = FieldText(r.scheduleKind);
  if (kind != "once" && kind != "daily" && kind != "weekly" && kind != "monthly") {
    why = "scheduleKind is not once, daily, weekly or monthly";
    return false;
  }
  // A "once" job has no time of day: the dialogs write "none" (or "00:00").
  if (!IsTime(FieldText(r.scheduleTime)) && !(kind == "once" && FieldText(r.scheduleTime) == "none")) {
    why = "scheduleTime is not HH:MM";
    return false;
  }
  bool flags = IsFlag(r.daily) && IsFlag(r.weekly) && IsFlag(r.monthly);
  for (char day : r.weekdays) flags = flags && IsFlag(day);
  if (!flags) {
    why = "a schedule flag is not 'y' or 'n'";
    return false;
  }
  if (r.dayOfMonth < 0 || r.dayOfMonth > 31) {
    why = "dayOfMonth " + std::to_string(r.dayOfMonth) + " is not 0-31";
    return false;
  }
  if (r.compressionLevel < 0 || r.compressionLevel > 9) {
    why = "compressionLevel " + std::to_string(r.compressionLevel) + " is not 0-9";
    return false;
  }
  return true;
}

}  // namespace orva::service
