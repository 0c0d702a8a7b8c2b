#include "replication_set_rules.h"

#include <cstdio>
#include <cstring>

#include "contracts/job_record_check.h"

namespace orva::manager {
namespace {

using service::FieldText;
using service::JobRecord;
using service::SetFieldText;

int TimePartValue(std::string_view text) {
  int value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return value;
}

std::string TwoDigits(std::string_view text) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%.2d", TimePartValue(text));
  return buf;
}

}  // namespace

bool TimePartValid(std::string_view text, int max) {
  if (text.size() > 2) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return TimePartValue(text) <= max;
}

std::string BuildReplicationRecord(const ReplicationSetForm& form, bool editMode,
                                   const std::function<bool(std::string_view)>& nameTaken,
                                   const ReplicationGuards& guards, JobRecord& out) {
  std::memset(&out, 0, sizeof out);
  if (form.name.empty()) return "Please enter a replication set.";
  if (form.source.empty()) return "Please add a source folder.";
  if (form.target.empty()) return "Please add a target folder.";
  if (form.name.size() >= sizeof out.jobName)
    return "The replication set name is too long.\nPlease enter at most 49 characters.";
  if (!service::IsSafeJobName(form.name))
    return "A replication set name cannot contain any of \\ / \" ' % : * ? < > |.\nPlease enter another "
           "replication set.";
  if (form.source.size() >= sizeof out.sourceFolder)
    return "The source folder path is too long.\nPlease choose a folder path of at most 99 characters.";
  if (form.target.size() >= sizeof out.targetFolder)
    return "The target folder path is too long.\nPlease choose a folder path of at most 99 characters.";
  if (!editMode && nameTaken && nameTaken(form.name))
    return "This replication set already exists.\nPlease enter another replication set.";
  const std::string problem =
      service::ReplicationFoldersProblem(form.source, form.target, guards.windowsFolder, guards.serviceFolder);
  if (!problem.empty())
    return "These folders cannot be replicated: " + problem +
           ".\nA replication set deletes from its target folder whatever its source folder lacks.";

  out.code = editMode ? service::kModifyJob : service::kAddJob;
  SetFieldText(out.jobName, form.name);
  out.runState = service::kArmed;
  out.jobType = form.shadow ? service::kReplicationShadow : service::kReplication;
  SetFieldText(out.sourceFolder, form.source);
  SetFieldText(out.targetFolder, form.target);
  out.daily = out.weekly = out.monthly = 'n';
  std::memset(out.weekdays, 'n', sizeof out.weekdays);

  if (form.kind != kOnce) {
    if (!TimePartValid(form.hour, 23)) return kHourMessage;
    if (!TimePartValid(form.minute, 59)) return kMinuteMessage;
  }
  // The service reads the time of every kind as "HH:MM"; a "once" set keeps "00:00".
  const std::string time = form.kind == kOnce ? "00:00" : TwoDigits(form.hour) + ":" + TwoDigits(form.minute);
  SetFieldText(out.scheduleTime, time);
  switch (form.kind) {
    case kDaily:
      SetFieldText(out.scheduleKind, "daily");
      out.daily = 'y';
      break;
    case kWeekly:
      SetFieldText(out.scheduleKind, "weekly");
      out.weekly = 'y';
      for (int i = 0; i < 7; ++i) out.weekdays[i] = form.weekdays[i] ? 'y' : 'n';
      break;
    case kMonthly: {
      int day = 0;
      if (form.dayText.empty() || std::sscanf(form.dayText.c_str(), "%d", &day) != 1 || day <= 0 || day >= 32) {
        std::memset(&out, 0, sizeof out);
        return "Please select a day.";
      }
      SetFieldText(out.scheduleKind, "monthly");
      out.monthly = 'y';
      out.dayOfMonth = day;
      break;
    }
    default:
      SetFieldText(out.scheduleKind, "once");
      break;
  }
  std::string why;
  if (!service::ValidateJobRecord(out, why)) {
    std::memset(&out, 0, sizeof out);
    return "The replication set cannot be saved: " + why + ".";
  }
  return {};
}

ReplicationSetForm FormFromRecord(const JobRecord& record) {
  ReplicationSetForm form;
  form.name = std::string(service::JobName(record));
  form.source = std::string(FieldText(record.sourceFolder));
  form.target = std::string(FieldText(record.targetFolder));
  form.shadow = record.jobType == service::kReplicationShadow;
  const std::string_view kind = FieldText(record.scheduleKind);
  if (kind == "once") return form;
  const std::string_view time = FieldText(record.scheduleTime);
  const size_t colon = time.find(':');
  form.hour = std::string(time.substr(0, colon));
  form.minute = colon == std::string_view::npos ? std::string() : std::string(time.substr(colon + 1));
  if (kind == "daily") {
    form.kind = kDaily;
  } else if (kind == "weekly") {
    form.kind = kWeekly;
    for (int i = 0; i < 7; ++i) form.weekdays[i] = record.weekdays[i] == 'y';
  } else if (kind == "monthly") {
    form.kind = kMonthly;
    if (record.dayOfMonth >= 1 && record.dayOfMonth <= static_cast<int>(kDaysOffered))
      form.dayText = std::to_string(record.dayOfMonth);
  }
  return form;
}

}  // namespace orva::manager
