#include "core/details_text.h"

#include "contracts/job_record_check.h"
#include "core/job_view_text.h"

namespace orva::manager {

using namespace service;

namespace {

enum RowImage {
  kRowComputer = 0,
  kRowBackup = 1,
  kRowNoRepository = 3,
  kRowReplication = 4,
  kRowSchedule = 6,
  kRowMissing = 8,
  kRowPresent = 9,
  kRowTime = 10,
  kRowLog = 11,
  kRowDrive = 12,
  kRowSource = 13,
  kRowTarget = 14,
  kRowExcluded = 17,
};

// A log row: the file is looked for below the parent folder.
DetailsRow LogRow(const std::string& text, const std::string& parentFolder, DetailsDisk& disk) {
  return {"Log ", disk.FileExists(parentFolder + "\\" + text) ? kRowLog : kRowMissing, text};
}

void AddJobRows(const JobRecord& job, const std::string& parentFolder, DetailsDisk& disk,
                std::vector<DetailsRow>& rows) {
  const std::string name(JobName(job));
  const bool image = IsBackupType(job.jobType), replication = IsReplicationType(job.jobType);
  rows.push_back({"Task Type ", replication ? kRowReplication : kRowBackup, TaskTypeText(job.jobType)});
  rows.push_back({"Schedule ", kRowSchedule, ScheduleKindText(FieldText(job.scheduleKind))});
  rows.push_back({"Time ", kRowTime, ScheduleText(job)});

  if (image) {
    const std::string drive(FieldText(job.driveLetter));
    const std::string path = BackupPath(job);
    rows.push_back({"Backup Drive ", kRowDrive, drive});
    rows.push_back({"Compression Level ", kRowBackup, CompressionText(job.compressionLevel)});
    rows.push_back({"Backup Path ", disk.FileExists(path) ? kRowPresent : kRowMissing, path});
    rows.push_back({"Image Size ", kRowBackup, SizeText(disk.FileSize(path))});
    int32_t count = 0;
    std::vector<std::string> increments;
    if (disk.ImageIncrements(path, count, increments)) {
      if (job.jobType == kUpdateBackup || job.jobType == kIncrementalBackup || job.jobType == kDifferentialBackup)
        rows.push_back({"Backup Count", kRowBackup, std::to_string(count)});
      for (const std::string& increment : increments)
        if (!disk.FileExists(increment)) rows.push_back({"Backup Status", kRowMissing, "Not exist " + increment});
    }
    for (const std::string& folder : BarEndedEntries(FieldText(job.excludeList)))
      rows.push_back({"Excluded Folder", kRowExcluded, folder});
    rows.push_back(LogRow("Log\\OrvaImage_" + name + "_" + drive + ".log", parentFolder, disk));
  } else if (replication) {
    rows.push_back({"Source Path ", kRowSource, std::string(FieldText(job.sourceFolder))});
    rows.push_back({"Target Path ", kRowTarget, std::string(FieldText(job.targetFolder))});
    if (job.jobType == kReplicationShadow) {
      // The service names the snapshot logs after the source's volume.
      const std::string_view source = FieldText(job.sourceFolder);
      const size_t colon = source.find(':');
      const std::string volume(colon == std::string_view::npos ? std::string_view() : source.substr(0, colon));
      rows.push_back(LogRow("Log\\Replicate_Shadow_" + name + "_" + volume + ".log", parentFolder, disk));
      rows.push_back(LogRow("Log\\Replicate_Shadow_Mount_" + name + "_" + volume + ".log", parentFolder, disk));
    }
    rows.push_back(LogRow("Log\\Replicate_" + name + ".log", parentFolder, disk));
  }
}

}  // namespace

std::string ParentFolder(std::string_view executablePath) {
  std::string_view folder = executablePath;
  for (int i = 0; i < 2; ++i) {
    const size_t cut = folder.rfind('\\');
    if (cut == std::string_view::npos) return {};
    folder = folder.substr(0, cut);
  }
  return std::string(folder);
}

std::vector<std::string> BarEndedEntries(std::string_view list) {
  std::vector<std::string> entries;
  for (size_t at = 0, bar; (bar = list.find('|', at)) != std::string_view::npos; at = bar + 1)
    entries.emplace_back(list.substr(at, bar - at));
  return entries;
}

std::string CompressionText(int32_t level) {
  switch (level) {
    case 0:
      return "None";
    case 1:
      return "Normal";
    case 9:
      return "High";
  }
  return {};
}

std::string ScheduleKindText(std::string_view kind) {
  if (kind == "once") return "Once";
  if (kind == "daily") return "Daily";
  if (kind == "weekly") return "Weekly";
  if (kind == "monthly") return "Monthly";
  return {};
}

std::string ScheduleText(const JobRecord& job) {
  const std::string_view kind = FieldText(job.scheduleKind);
  const std::string time(FieldText(job.scheduleTime));
  if (kind == "daily") return time;
  if (kind == "weekly") {
    static const char* const kDays[7] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
    std::string days;
    for (int d = 0; d < 7; ++d)
      if (job.weekdays[d] == 'y') days += kDays[d];
    return days + ", " + time;
  }
  if (kind == "monthly") return std::to_string(job.dayOfMonth) + " st, " + time;
  return "None";
}

std::string TaskTypeText(int32_t jobType) {
  switch (jobType) {
    case kFullBackup:
      return "FULL BACKUP";
    case kUpdateBackup:
      return "UPDATE BACKUP";
    case kIncrementalBackup:
      return "Incremental Backup";
    case kDifferentialBackup:
      return "Differential Backup";
    case kIsoBackup:
      return "ISO IMAGE";
    case kReplication:
      return "REPLICATION";
    case kReplicationShadow:
      return "SNAPSHOT REPLICATION";
  }
  return {};
}

std::string BackupPath(const JobRecord& job) {
  if (job.jobType == kIsoBackup) return IsoStagingRoot(FieldText(job.imagePath)) + std::string(JobName(job)) + ".iso";
  return std::string(FieldText(job.imagePath));
}

std::string OsCaptionText(const std::string& wmiError, const std::vector<std::string>& captions, int architecture) {
  if (!wmiError.empty()) return wmiError;
  std::string text;
  if (!captions.empty()) text = captions.back() + " ";
  if (architecture == 9)
    text += "[64bit]";
  else if (architecture == 0)
    text += "[32bit]";
  return text;
}

std::vector<DetailsRow> SystemRows(const std::string& osCaption, const std::vector<JobRecord>& jobs,
                                   const std::string& parentFolder, std::string_view repositories, DetailsDisk& disk) {
  std::vector<DetailsRow> rows;
  int scheduled = 0;
  for (const JobRecord& job : jobs)
    if (FieldText(job.scheduleKind) != "once") ++scheduled;
  rows.push_back({"Operating System", kRowComputer, osCaption});
  rows.push_back({"Total Tasks", kRowComputer, std::to_string(jobs.size())});
  rows.push_back({"Scheduled Tasks", kRowSchedule, std::to_string(scheduled)});
  rows.push_back({"Log Path", kRowLog, parentFolder + "\\Log"});
  const std::vector<std::string> folders = BarEndedEntries(repositories);
  if (folders.empty()) {
    rows.push_back({"Repository Directory", kRowNoRepository, "There is no assigned image repository."});
    return rows;
  }
  for (const std::string& folder : folders) {
    const std::string free = SizeText(disk.FreeBytes(folder.substr(0, 2) + "\\"));
    rows.push_back({"Repository Directory", disk.PathExists(folder) ? kRowPresent : kRowMissing,
                    folder + " ( " + free + " Available)"});
  }
  return rows;
}

std::vector<DetailsRow> JobRows(const std::vector<JobRecord>& jobs, std::string_view name,
                                const std::string& parentFolder, DetailsDisk& disk) {
  std::vector<DetailsRow> rows;
  for (const JobRecord& job : jobs)
    if (JobName(job) == name) AddJobRows(job, parentFolder, disk, rows);
  return rows;
}

}  // namespace orva::manager
