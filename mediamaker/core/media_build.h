// The media maker's portable side: reading the service's schedule file,
// size texts, the checks of every path that goes into the build script, and
// the text of the script itself (ISO image or USB disk).
#pragma once
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/job_record.h"

namespace orva::media {

using orva::service::JobRecord;

inline constexpr int kMaxJobs = 50;
inline constexpr char kScheduleFileName[] = "OrvaSchedule.ovc";
inline constexpr char kScriptName[] = "OrvaImageCreate.cmd";
inline constexpr char kCopyLogName[] = "OrvaISOPECopy.log";
// Above this many bytes a chain does not fit on a DVD (4.7 x 2^30).
inline constexpr double kIsoLimitBytes = 4.7 * 1073741824.0;

// Reads the schedule file's text: "Schedule Number: n", then 26 lines per
// job. At most 50 records; whole lines are read (names and paths may hold
// blanks), a line longer than its field is cut to the field. Missing lines
// end the reading; the records read so far are kept.
std::vector<JobRecord> ReadSchedule(std::string_view text);
// The image backups (full, update, incremental, differential, ISO).
bool IsImageBackup(const JobRecord& r);

// "( 512 MB )" below 1000 MiB, else "( 1.000 GB )" (thousands of MiB).
std::string ChainSizeText(int64_t bytes);
// The same numbers without the brackets, for the disk list.
std::string DiskSizeText(int64_t bytes);
bool FitsOnDvd(int64_t bytes);
// The progress of one file copy: "[p %] Transffered: c, TotalSize: t"; an
// empty file counts as done.
int CopyPercent(uint64_t copied, uint64_t total);
std::string CopyProgressText(uint64_t copied, uint64_t total);

// Folders of the installation: the program's folder with its trailing
// backslash, and the parent of that folder without one.
std::string ExeFolderOf(const std::string& modulePath);
std::string ParentFolderOf(const std::string& exeFolder);

// The lead bytes of the system's code page: such a byte and the byte after it
// are one character (code page 949: 0x81-0xFE). A single-byte code page has none.
using LeadBytes = std::bitset<256>;
// The ASCII letters upper-cased; a two-byte character keeps its bytes (the
// second byte of one in code page 949 may be an ASCII letter's).
std::string ToUpperAscii(std::string s, const LeadBytes& lead = LeadBytes());
// The default ISO name of an image: the image path upper-cased, cut before
// its first ".TAV", then ".iso". Empty when there is no ".TAV".
std::string DefaultIsoPath(const std::string& imagePath, const LeadBytes& lead = LeadBytes());
// The ISO name in a chosen folder: "folder\job.iso" with doubled backslashes
// made single, but for the two that begin a share's path ("\\server\share").
std::string IsoPathInFolder(const std::string& folder, const std::string& jobName);
// Upper-cased, ".ISO" appended when it occurs nowhere.
std::string NormaliseIsoPath(const std::string& typed, const LeadBytes& lead = LeadBytes());
// Drive and directory of a path, ending in a backslash ("" when there is none).
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// "E:" / "E:\" / "E:\sub\" -> "E:" / "E:" / "E:\sub".
std::string TrimTrailingBackslashes(std::string path);
// Where the USB copy puts the backup's image: "usb\ORVANTA\job.TAV".
std::string UsbImageTarget(const std::string& usbPath, const std::string& jobName);

// The drive of a full path: "C:" (upper case) or a share's "\\server\share"
// (lower case); empty for other texts.
std::string DriveOf(const std::string& path);

// Case-insensitive (ASCII) test that `path` is `folder` or lies below it.
bool IsSameOrBelow(const std::string& path, const std::string& folder);

// Empty when `value` may stand between double quotes in the script; else the
// reason, naming `what`. A '"' would end the quoting and a '%' would be
// expanded by the command processor; control characters end the line.
std::string CheckScriptText(const std::string& value, const std::string& what);
// Empty when `path` is a full path: "X:\..." or "\\server\share\...".
std::string CheckFullPath(const std::string& path, const std::string& what);
// Empty when `name` can be a file name (no \ / : * ? " < > | or controls).
std::string CheckFileName(const std::string& name, const std::string& what);

struct IsoScript {
  std::string exeFolder;  // with trailing backslash
  std::string isoFolder;  // with trailing backslash
  std::string isoPath;
  std::string copyLog;
  std::vector<std::string> imageFiles;  // the image, then its increments
};

struct UsbScript {
  std::string exeFolder;  // with trailing backslash
  std::string usbPath;
  std::string copyLog;
};

// The name OSCDIMG writes the ISO image under until it is whole.
std::string IsoWorkPath(const std::string& isoPath);

// The script texts (CR LF line ends). Every field must have passed
// CheckScriptText. The ISO script packs under the work name and only a whole
// image (OSCDIMG's exit code 0 and the file there) replaces the ISO image and
// lets the staging folder go; on any failure it deletes the partial image and
// moves the image files back where they were. Both end with exit code 0 on
// success and 1 on failure: the progress dialog reads it from the process.
std::string MakeIsoScript(const IsoScript& s);
std::string MakeUsbScript(const UsbScript& s);

}  // namespace orva::media
