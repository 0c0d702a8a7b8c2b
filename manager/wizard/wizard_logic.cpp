#include "wizard/wizard_logic.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::manager {

using service::FieldText;

WizardWorkingState& WizardState() {
  static WizardWorkingState state{};
  return state;
}

namespace {
std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[2048];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}
}  // namespace

std::string WizardSizeText(int64_t bytes) {
  const long long mib = bytes / 1048576;
  if (mib < 1000) return Format("%lld MB", mib);
  return Format("%lld.%.3lld GB", mib / 1000, mib % 1000);
}

bool IsSingleDriveCaption(std::string_view caption) {
  const std::string up = Upper(caption);
  return up.find("XP") != std::string::npos || up.find("VISTA") != std::string::npos ||
         up.find("WINDOWS 7") != std::string::npos;
}

bool IsServerCaption(std::string_view caption) {
  const std::string up = Upper(caption);
  return up.find("SERVER 2003") != std::string::npos || up.find("SERVER 2008") != std::string::npos;
}

std::string JobScheduleText(const JobRecord& job) {
  const std::string kind(FieldText(job.scheduleKind));
  const std::string time(FieldText(job.scheduleTime));
  if (kind == "daily") return Format("%s : %s", "Daily", time.c_str());
  if (kind == "weekly") {
    static const char* const words[7] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
    std::string days;
    for (int i = 0; i < 7; ++i)
      if (job.weekdays[i] == 'y') days += Format("%s ", words[i]);
    return Format("%s : %s, %s", "Weekly", time.c_str(), days.c_str());
  }
  if (kind == "monthly") {
    return Format("%s : %s, %s st", "Monthly", time.c_str(), Format("%d", job.dayOfMonth).c_str());
  }
  return "Once";
}

std::string DefaultBackupName(std::string_view drive, int year, int month, int day, int hour, int minute, int second) {
  return Format("OrvaBackup_%s_%.4d_%.2d%.2d%.2d%.2d_%.2d", Upper(drive).c_str(), year, month, day, hour, minute,
                second);
}

std::vector<std::string> SplitBarList(std::string_view list) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t bar = list.find('|'); bar != std::string_view::npos; bar = list.find('|', start)) {
    out.emplace_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  return out;
}

std::string JoinBarList(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& e : entries) out += e + "|";
  return out;
}

int ReadTimeNumber(std::string_view text) {
  int value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 1000; ++i)
    value = value * 10 + (text[i] - '0');
  return value;
}

NameCheck CheckFullBackupName(std::string_view name, const std::vector<JobRecord>& jobs, const JobRecord* earlier,
                              int earlierCount, bool modifyMode) {
  if (name.empty()) return NameCheck::Empty;
  if (name.size() >= sizeof(JobRecord{}.jobName)) return NameCheck::TooLong;
  if (!service::IsSafeJobName(name)) return NameCheck::BadCharacter;
  if (modifyMode) return NameCheck::Ok;
  for (const JobRecord& job : jobs)
    if (service::JobName(job) == name) return NameCheck::TakenByJob;
  for (int i = 0; i < earlierCount; ++i)
    if (earlier[i].jobType == service::kFullBackup && service::JobName(earlier[i]) == name)
      return NameCheck::TakenInWizard;
  return NameCheck::Ok;
}

int RepositoryIndexForPath(const std::vector<std::string>& repositories, std::string_view imagePath) {
  const size_t slash = imagePath.rfind('\\');
  if (slash == std::string_view::npos) return 0;
  std::string folder = Lower(imagePath.substr(0, slash));
  for (size_t i = 0; i < repositories.size(); ++i) {
    std::string entry = Lower(repositories[i]);
    while (!entry.empty() && entry.back() == '\\') entry.pop_back();
    if (entry == folder) return static_cast<int>(i);
  }
  return 0;
}

void FinishWizardRecord(JobRecord& r) {
  r.code = r.jobType == service::kFullBackup ? service::kAddJob : service::kModifyJob;
  r.runState = service::kArmed;
  if (r.jobType == service::kFullBackup) SetWizardField(r.baseImagePath, "none");
  if (FieldText(r.excludeList).empty()) SetWizardField(r.excludeList, "none");
  SetWizardField(r.sourceFolder, "none");
  SetWizardField(r.targetFolder, "none");
  SetWizardField(r.reservedText1, "none");
  SetWizardField(r.reservedText2, "none");
  const std::string kind(FieldText(r.scheduleKind));
  const bool known = kind == "daily" || kind == "weekly" || kind == "monthly";
  if (!known) {
    SetWizardField(r.scheduleKind, "once");
    // The service takes only "HH:MM" here, also for a job run once.
    SetWizardField(r.scheduleTime, "00:00");
  }
  r.daily = kind == "daily" ? 'y' : 'n';
  r.weekly = kind == "weekly" ? 'y' : 'n';
  r.monthly = kind == "monthly" ? 'y' : 'n';
  const bool weekly = kind == "weekly";
  for (size_t d = 0; d < sizeof r.weekdays; ++d) r.weekdays[d] = weekly && r.weekdays[d] == 'y' ? 'y' : 'n';
  if (kind != "monthly") r.dayOfMonth = 0;
}

void PrepareModifiedEntry(JobRecord& r) {
  r.code = service::kModifyJob;
  r.runState = FieldText(r.scheduleKind) == "once" ? service::kDisarmed : service::kArmed;
}

std::string WizardSummaryText(const JobRecord* records, int count) {
  std::string s = Format("%s %s \r\n", "Total backup task number : ", Format("%d", count).c_str());
  for (int i = 0; i < count; ++i) {
    const JobRecord& r = records[i];
    s += Format("\r\n[%s]\r\n", "Information");
    s += Format("\t%s %s \r\n\r\n", "Backup Name\t: ", std::string(FieldText(r.jobName)).c_str());
    s += Format("\t%s%s \r\n", "Backup Drive\t: ", std::string(FieldText(r.driveLetter)).c_str());
    s += Format("\t%s%s \r\n", "Volume Size\t: ", std::string(FieldText(r.volumeSize)).c_str());
    switch (r.jobType) {
      case service::kFullBackup:
        s += Format("\t%s\r\n", "Task Type\t: FULL Backup");
        break;
      case service::kUpdateBackup:
        s += Format("\t%s\r\n", "Task Type\t: Update Backup");
        break;
      case service::kIncrementalBackup:
        s += Format("\t%s\r\n", "Task Type\t: Incremental Backup");
        break;
      case service::kDifferentialBackup:
        s += Format("\t%s\r\n", "Task Type\t: Differential Backup");
        break;
      default:
        break;
    }
    s += Format("\t%s%s\r\n", "Backup Path\t: ", std::string(FieldText(r.imagePath)).c_str());
    s += Format("%s\r\n", "[Option]");
    switch (r.compressionLevel) {
      case 0:
        s += Format("\t%s\r\n", "Compression Level\t: None");
        break;
      case 1:
        s += Format("\t%s\r\n", "Compression Level\t: Normal");
        break;
      case 9:
        s += Format("\t%s\r\n", "Compression Level\t: High");
        break;
      default:
        break;
    }
    const std::string_view excludes = FieldText(r.excludeList);
    if (excludes.empty() || excludes == "none") {
      s += Format("\t%s\r\n", "Excluded Folder\t: None ");
    } else {
      s += Format("\t%s\r\n", "Excluded Folder\t: ");
      for (const std::string& folder : SplitBarList(excludes)) s += "\t\t" + folder + "\r\n";
    }
    s += Format("%s\r\n", "[Scheduling]");
    const std::string kind = Upper(FieldText(r.scheduleKind));
    const std::string time(FieldText(r.scheduleTime));
    s += Format("\t%s%s\r\n", "Schedule Type\t: ", kind.c_str());
    if (kind == "DAILY") {
      s += Format("\t%s%s\r\n", "Detailed Information\t: ", time.c_str());
    } else if (kind == "WEEKLY") {
      static const char* const words[7] = {"Mon ", "Tue ", "Wed ", "Thur ", "Fri ", "Sat ", "Sun "};
      std::string days;
      for (int d = 0; d < 7; ++d)
        if (r.weekdays[d] == 'y') days += words[d];
      s += Format("\t%s %s %s\r\n", "Detailed Information\t: ", days.c_str(), time.c_str());
    } else if (kind == "MONTHLY") {
      s += Format("\t%s %sst %s\r\n", "Detailed Information\t: ", Format("%d", r.dayOfMonth).c_str(), time.c_str());
    }
    s += "\r\n";
  }
  return s;
}

}  // namespace orva::manager
