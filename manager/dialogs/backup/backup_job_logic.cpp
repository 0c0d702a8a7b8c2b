#include "backup_job_logic.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::manager::backup {

using service::SetFieldText;

const char* const kInvalidBackupPath =
    "The backup path is not valid.\nPlease enter the full path of the image file. Its file name can have at "
    "most 49 characters and no % or '.";
const char* const kImageNameUnusable =
    "This backup file cannot be registered.\nIts file name or path is too long or holds a character that a job "
    "name cannot have.";

namespace {

// The service runs a "once" job at its next check whatever the time says,
// but takes only "HH:MM" in the field.
const char kOnceTime[] = "00:00";

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool EndsWith(const std::string& s, const char* tail) {
  size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// A drive path "X:\..." or a UNC path "\\server\share\...".
bool IsFullPath(const std::string& p) {
  if (p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && p[2] == '\\') return true;
  if (p.size() > 2 && p[0] == '\\' && p[1] == '\\') {
    size_t server = p.find('\\', 2);
    return server != std::string::npos && server > 2 && server + 1 < p.size() && p[server + 1] != '\\';
  }
  return false;
}

// The fixed fields of a new "once" job.
void PresetOnce(JobRecord& r) {
  SetFieldText(r.baseImagePath, "none");
  SetFieldText(r.sourceFolder, "none");
  SetFieldText(r.targetFolder, "none");
  SetFieldText(r.reservedText1, "none");
  SetFieldText(r.reservedText2, "none");
  SetFieldText(r.scheduleKind, "once");
  SetFieldText(r.scheduleTime, kOnceTime);
  r.daily = r.weekly = r.monthly = 'n';
  for (char& d : r.weekdays) d = 'n';
}

}  // namespace

std::string SizeText(int64_t bytes) {
  const int64_t mib = bytes / 1048576;
  char text[64];
  if (mib / 1000 >= 1)
    std::snprintf(text, sizeof text, "%" PRId64 ".%.3" PRId64 " GB", mib / 1000, mib % 1000);
  else
    std::snprintf(text, sizeof text, "%" PRId64 " MB", mib);
  return text;
}

std::string OneClickJobName(int year, int month, int day, int hour, int minute, int second) {
  char text[64];
  std::snprintf(text, sizeof text, "OrvaBackup_C_%.4d_%.2d%.2d%.2d%.2d_%.2d", year, month, day, hour, minute, second);
  return text;
}

JobRecord OneClickRecord(const std::string& jobName, const std::string& usedSpace, const std::string& repository) {
  JobRecord r{};
  r.code = service::kAddJob;
  r.jobType = service::kFullBackup;
  r.runState = service::kArmed;
  SetFieldText(r.jobName, jobName.substr(0, sizeof r.jobName - 1));
  SetFieldText(r.driveLetter, "C");
  SetFieldText(r.volumeSize, usedSpace.substr(0, sizeof r.volumeSize - 1));
  std::string path = repository + "\\" + jobName + ".TAV";
  SetFieldText(r.imagePath, path.substr(0, sizeof r.imagePath - 1));
  r.compressionLevel = 1;
  PresetOnce(r);
  return r;
}

std::vector<std::string> SplitRepositoryList(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t bar; (bar = list.find('|', start)) != std::string::npos; start = bar + 1)
    out.push_back(list.substr(start, bar - start));
  return out;
}

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  size_t cut = path.find_last_of("\\/:");
  cut = cut == std::string::npos ? 0 : cut + 1;
  parts.folder = path.substr(0, cut);
  std::string file = path.substr(cut);
  size_t dot = file.rfind('.');
  if (dot == std::string::npos) {
    parts.name = file;
  } else {
    parts.name = file.substr(0, dot);
    parts.extension = file.substr(dot);
  }
  return parts;
}

std::string CollapseBackslashes(const std::string& path) {
  std::string out;
  size_t i = 0, kept = 0;
  if (path.compare(0, 2, "\\\\") == 0) {
    out = "\\\\";
    kept = 2;
    for (i = 2; i < path.size() && path[i] == '\\'; ++i) {
    }
  }
  for (; i < path.size(); ++i) {
    if (path[i] == '\\' && out.size() > kept && out.back() == '\\') continue;
    out += path[i];
  }
  return out;
}

std::string PathForDrive(const std::string& proposed, char driveLetter) {
  PathParts p = SplitPath(proposed);
  const std::string mark = std::string("_") + driveLetter + "_";
  for (size_t at = 0; (at = p.name.find("_C_", at)) != std::string::npos; at += mark.size())
    p.name.replace(at, 3, mark);
  return CollapseBackslashes(p.folder + p.name + p.extension);
}

std::string PathInFolder(const std::string& folder, const std::string& path) {
  PathParts p = SplitPath(path);
  return CollapseBackslashes(folder + "\\" + p.name + p.extension);
}

std::string ApplyBackupPath(JobRecord& job, char driveLetter, const std::string& usedSpace, const std::string& path) {
  std::string image = path;
  if (!EndsWith(image, ".TAV")) image += ".TAV";
  const std::string name = SplitPath(image).name;
  JobRecord changed = job;
  const char drive[2] = {driveLetter, 0};
  if (!IsFullPath(image) || name.empty() || !SetFieldText(changed.driveLetter, drive) ||
      !SetFieldText(changed.volumeSize, usedSpace) || !SetFieldText(changed.imagePath, image) ||
      !SetFieldText(changed.jobName, name))
    return kInvalidBackupPath;
  std::string why;
  if (!service::ValidateJobRecord(changed, why)) return kInvalidBackupPath;
  job = changed;
  return "";
}

std::string ImageKindText(int kind) {
  switch (kind) {
    case 0:
      return "Full backup";
    case 1:
      return "Update Backup";
    case 2:
      return "Incremental Backup";
    case 3:
      return "Differential Backup";
    default:
      return "";
  }
}

std::string CompressionText(int level) {
  if (level == 0) return "None";
  if (level == 1) return "Normal";
  return "High";
}

std::string StartTimeText(const TavImageHeader& h) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", h.startYear, h.startMonth, h.startDay, h.startHour,
                h.startMinute, h.startSecond);
  return text;
}

std::string BackupDriveText(const TavImageHeader& h) {
  char text[64];
  std::snprintf(text, sizeof text, "%c Drive (Disk %d Partition %d)", h.driveLetter ? h.driveLetter : ' ', h.diskNumber,
                h.partitionNumber);
  return text;
}

std::string ExistingImageRecord(const std::string& path, const TavImageHeader& header, int firstIncrementKind,
                                JobRecord& record) {
  JobRecord r{};
  r.code = service::kAddJob;
  r.runState = service::kDisarmed;
  PresetOnce(r);
  r.compressionLevel = header.compressionLevel == 0 ? 0 : header.compressionLevel == 1 ? 1 : 9;
  if (firstIncrementKind < 0) {
    r.jobType = service::kFullBackup;
  } else if (firstIncrementKind <= 3) {
    r.jobType = service::kFullBackup + firstIncrementKind;
  } else {
    return kImageNameUnusable;
  }
  const char drive[2] = {static_cast<char>(std::toupper(header.driveLetter)), 0};
  std::string why;
  if (!SetFieldText(r.jobName, SplitPath(path).name) || !SetFieldText(r.imagePath, path) ||
      !SetFieldText(r.driveLetter, drive) || !service::ValidateJobRecord(r, why))
    return kImageNameUnusable;
  record = r;
  return "";
}

bool ImageRegistered(const std::vector<JobRecord>& jobs, const std::string& path) {
  const std::string wanted = Upper(path);
  for (const JobRecord& j : jobs)
    if (Upper(std::string(service::FieldText(j.imagePath))) == wanted) return true;
  return false;
}

}  // namespace orva::manager::backup
