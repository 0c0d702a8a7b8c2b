// The texts and records that the start-backup, one-click and add-image
// dialogs make: plain functions, so they are tested without windows.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "contracts/job_record.h"
#include "image_header_reader.h"

namespace orva::manager::backup {

using service::JobRecord;

// Whole MiB of a byte count: "%I64d MB" below 1000 MiB, else
// "%I64d.%.3I64d GB" with MiB / 1000 and MiB % 1000.
std::string SizeText(int64_t bytes);

// "OrvaBackup_C_%.4d_%.2d%.2d%.2d%.2d_%.2d" of a local time.
std::string OneClickJobName(int year, int month, int day, int hour, int minute, int second);

// The full backup of drive C: that one click proposes, with its image in
// `repository` (a folder, without a trailing backslash).
JobRecord OneClickRecord(const std::string& jobName, const std::string& usedSpace, const std::string& repository);

// The texts before each "|"; text after the last "|" is no entry.
std::vector<std::string> SplitRepositoryList(const std::string& list);

// Parts of a path: folder with its trailing separator (drive included),
// file name, extension with its dot.
struct PathParts {
  std::string folder, name, extension;
};
PathParts SplitPath(const std::string& path);

// Doubled backslashes made single, but for the two that begin a UNC path.
std::string CollapseBackslashes(const std::string& path);

// The proposed path for another drive: "_C_" in the file name becomes
// "_X_" with the drive's letter.
std::string PathForDrive(const std::string& proposed, char driveLetter);

// The file name and extension of `path` moved into `folder`.
std::string PathInFolder(const std::string& folder, const std::string& path);

// What the one-click dialog's Start makes of the path the user left: the
// path ends in ".TAV" (appended when it does not), the job name is its file
// name. An empty result means the record was filled; otherwise the message
// that refuses the path.
std::string ApplyBackupPath(JobRecord& job, char driveLetter, const std::string& usedSpace, const std::string& path);

// "Full backup", "Update Backup", "Incremental Backup", "Differential Backup".
std::string ImageKindText(int kind);
// "None", "Normal", "High".
std::string CompressionText(int level);
// "%04d.%02d.%02d %02d:%02d:%02d" of the image's start.
std::string StartTimeText(const TavImageHeader& header);
// "%c Drive (Disk %d Partition %d)".
std::string BackupDriveText(const TavImageHeader& header);

// The record that registers an existing full image (and its chain) as a
// job: `firstIncrementKind` is the kind of its first increment file (-1
// without increments). An empty result means the record was filled;
// otherwise why the image cannot be registered.
std::string ExistingImageRecord(const std::string& path, const TavImageHeader& header, int firstIncrementKind,
                                JobRecord& record);

// True when a job of `jobs` already writes the image `path` (letter case ignored).
bool ImageRegistered(const std::vector<JobRecord>& jobs, const std::string& path);

// Messages of the refusals above.
extern const char* const kInvalidBackupPath;
extern const char* const kImageNameUnusable;

}  // namespace orva::manager::backup
