// The backup wizard's rules that need no window: drive and schedule texts,
// names, the working records and how a record is finished for the service.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"

namespace orva::manager {

using service::JobRecord;

inline constexpr int kWizardMaxRecords = 10;

// The records the wizard pages are defining; lives for the whole process.
struct WizardWorkingState {
  JobRecord WizardRecordList[kWizardMaxRecords];
  int wizardRecordCount = 0;
  int wizardRecordIndex = 0;
  int wizardModifyMode = 0;
  std::string osCaption;
};
WizardWorkingState& WizardState();

// "%I64d MB" below 1000 MiB, else "%I64d.%.3I64d GB" of the MiB.
std::string WizardSizeText(int64_t bytes);

// Upper-cased caption holds "XP", "VISTA" or "WINDOWS 7": one drive only.
bool IsSingleDriveCaption(std::string_view caption);
// Upper-cased caption holds "SERVER 2003" or "SERVER 2008": drives get check boxes.
bool IsServerCaption(std::string_view caption);

// The schedule text of a job in the job list ("Daily : 10:00", "Once", ...).
std::string JobScheduleText(const JobRecord& job);

// "OrvaBackup_C_2026_12101641_05" for drive "c" at that local time.
std::string DefaultBackupName(std::string_view drive, int year, int month, int day, int hour, int minute, int second);

// The entries of a list whose entries each end with "|"; the text after the
// last "|" is no entry.
std::vector<std::string> SplitBarList(std::string_view list);
// Each entry followed by "|".
std::string JoinBarList(const std::vector<std::string>& entries);

// An hour or minute text as the option page reads it: leading digits, an
// empty or non-numeric text reads as 0.
int ReadTimeNumber(std::string_view text);

// Why a full-backup name cannot be used ("" when it can): empty, too long for
// the record, a character the service refuses, or already taken by a job of
// `jobs` (new jobs only) or by an earlier record of this run.
enum class NameCheck { Ok, Empty, TooLong, BadCharacter, TakenByJob, TakenInWizard };
NameCheck CheckFullBackupName(std::string_view name, const std::vector<JobRecord>& jobs, const JobRecord* earlier,
                              int earlierCount, bool modifyMode);

// The repository entry whose folder holds `imagePath` (its folder part
// before the last "\"), compared without case; 0 when none does.
int RepositoryIndexForPath(const std::vector<std::string>& repositories, std::string_view imagePath);

// Fills what the summary finishes: code, run state, the "none" texts, the
// flags, weekdays and day of the kinds not chosen.
void FinishWizardRecord(JobRecord& record);

// The table entry that a Modify run's finished record becomes: MODIFYJOB,
// and a job run once stays disarmed (run state 2) after the change.
void PrepareModifiedEntry(JobRecord& record);

// The summary page's text of the first `count` records.
std::string WizardSummaryText(const JobRecord* records, int count);

// Sets a text field, cut to its width when too long.
template <size_t N>
void SetWizardField(char (&field)[N], std::string_view text) {
  size_t n = text.size() < N - 1 ? text.size() : N - 1;
  for (size_t i = 0; i < N; ++i) field[i] = i < n ? text[i] : '\0';
}

}  // namespace orva::manager
