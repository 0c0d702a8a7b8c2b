// The rows of the main window's details pane: a summary of the computer, or
// the facts of one job, built from the job table, the repository list and
// what the disk answers.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"

namespace orva::manager {

using service::JobRecord;

struct DetailsRow {
  std::string label;
  int image = 0;  // main image list index
  std::string value;
};

// The pane's questions to the disk. The window answers them through Win32,
// the tests from a table.
class DetailsDisk {
 public:
  virtual ~DetailsDisk() = default;
  // Anything (file or folder) at the path.
  virtual bool PathExists(const std::string& path) = 0;
  // A file, not a folder, at the path.
  virtual bool FileExists(const std::string& path) = 0;
  // Total free bytes of the disk whose root is given ("D:\"); 0 when unknown.
  virtual int64_t FreeBytes(const std::string& root) = 0;
  // Length of the last file a search for the pattern finds; 0 when none.
  virtual int64_t FileSize(const std::string& pattern) = 0;
  // The increment files an image's header lists and the count it records;
  // false when the image does not open.
  virtual bool ImageIncrements(const std::string& path, int32_t& count, std::vector<std::string>& names) = 0;
};

// The folder above the executable's folder: the path cut twice at its last
// backslash; empty when it has fewer than two.
std::string ParentFolder(std::string_view executablePath);

// The entries of a list whose entries each end with "|"; text after the
// last "|" is no entry.
std::vector<std::string> BarEndedEntries(std::string_view list);

// "None", "Normal", "High" for levels 0, 1 and 9; empty for any other.
std::string CompressionText(int32_t level);
// "Once", "Daily", "Weekly", "Monthly"; empty for any other kind.
std::string ScheduleKindText(std::string_view kind);
// The time a job runs: "02:30", "Mon Fri , 02:30", "15 st, 02:30" or "None".
std::string ScheduleText(const JobRecord& job);
// "FULL BACKUP" ... "SNAPSHOT REPLICATION"; empty for an unknown type.
std::string TaskTypeText(int32_t jobType);
// The file a job writes: the image path, or for an ISO job the text before
// "ORVAPE\IMAGE" followed by the job name and ".iso".
std::string BackupPath(const JobRecord& job);

// The operating-system value: the last caption followed by a blank, then
// "[64bit]" (architecture 9) or "[32bit]" (0); a WMI failure shows its own
// text and nothing else.
std::string OsCaptionText(const std::string& wmiError, const std::vector<std::string>& captions, int architecture);

// The summary of the computer.
std::vector<DetailsRow> SystemRows(const std::string& osCaption, const std::vector<JobRecord>& jobs,
                                   const std::string& parentFolder, std::string_view repositories, DetailsDisk& disk);

// The rows of every job of the table named `name`, one after the other.
std::vector<DetailsRow> JobRows(const std::vector<JobRecord>& jobs, std::string_view name,
                                const std::string& parentFolder, DetailsDisk& disk);

}  // namespace orva::manager
