// Checks and names of a JobRecord received from a manager or read from the
// schedule file.
#pragma once
#include <string>
#include <string_view>

#include "contracts/job_record.h"

namespace orva::service {

// True when the record may enter the job table; otherwise `why` says which
// field is wrong. Checks every text field for a terminator within its width
// and for control characters, the job type (300-306), the run state (0-2),
// the schedule kind and time ("HH:MM", or "none" for a "once" job), the
// 'y'/'n' flags, the day of the month (0-31), the compression level (0-9)
// and the job name (non-empty, usable in a file name and on a command line).
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

// Why a replication set may not mirror `source` into `target` (empty when it
// may): a mirror deletes from its target what the source lacks, so the
// target is no drive or share root, neither holds nor lies in the Windows
// folder or the service folder, and source and target are two folders
// apart, neither inside the other. Both must be full paths ("X:\..." or
// "\\server\share\...") of plain names: no "." or ".." parts, devices,
// namespace prefixes or names that may be short forms ("PROGRA~1"). Paths
// are compared as Windows reads them: case, '/', doubled separators and the
// dots and blanks that end a name are ignored, and "\\host\C$\x" counts
// as "C:\x". A guard folder that is empty or unreadable refuses every target.
// It also makes the three checks below: '%', a bare drive, the Log folder.
std::string ReplicationFoldersProblem(std::string_view source, std::string_view target, std::string_view windowsFolder,
                                      std::string_view serviceFolder);

// Why a replication folder cannot be passed to the copy's command line
// (empty when it can): a '%' there would be read as a variable.
std::string FolderPercentProblem(std::string_view source, std::string_view target);

// Why a source may not be a bare drive ("C:"): the copy tool reads it as the
// current folder on that drive (the service's own folder), a snapshot copy
// as the whole volume. "C:\" says which is meant.
std::string BareDriveSourceProblem(std::string_view source);

// The service's Log folder: "Log" beside the service folder, in its parent
// folder (empty when the service folder has no parent).
std::string LogFolderOf(std::string_view serviceFolder);

// Why a replication target may not be used (empty when it may): it is,
// holds or lies in the service's Log folder, whose scripts and tool logs the
// mirror would delete, its own log among them.
std::string TargetLogFolderProblem(std::string_view target, std::string_view serviceFolder);

// Why a shadow replication (305) cannot snapshot its source (empty when it
// can, and for every other type): the source lies on a lettered volume
// ("X:\..."), not on a share.
std::string ShadowSourceProblem(int32_t jobType, std::string_view source);

// Why an image job (300-303, 306) cannot run on its drive letter (empty when
// it can, and for every other type): one letter A-Z (either case).
std::string DriveLetterProblem(int32_t jobType, std::string_view driveLetter);

// The staging folder of an ISO job: its image path up to the first
// "ORVAPE\IMAGE" (case-sensitive); empty when the path has none.
std::string IsoStagingRoot(std::string_view imagePath);

// Why an image job (300-303, 306) may not write its image at `imagePath`
// (empty when it may, and for every other type): the path must be a full
// local or UNC path of plain names (as above, short forms allowed) whose
// file name ends in ".TAV" (any case).
std::string ImagePathProblem(int32_t jobType, std::string_view imagePath);

// Why an ISO job may not stage at `imagePath` (empty when it may). Its
// staging root is the path up to "ORVAPE\IMAGE\" taken as whole names; the
// script mirrors the service's recovery tree into "<root>ORVAPE" and removes
// that tree at the end. So the root is neither the service folder nor above
// it, and the tree follows the rule of a replication target with the
// recovery tree as its source.
std::string IsoStagingProblem(std::string_view imagePath, std::string_view windowsFolder,
                              std::string_view serviceFolder);

// Every path rule of a record for its type: drive letter, replication
// folders, shadow source, image path, ISO staging. Empty when the record may
// be stored and run.
std::string JobPathsProblem(const JobRecord& record, std::string_view windowsFolder, std::string_view serviceFolder);

// The job name of a record (up to its terminator).
inline std::string_view JobName(const JobRecord& record) { return FieldText(record.jobName); }

}  // namespace orva::service
