// System probes of the service: folder and page-file sizes, the disk and
// partition numbers of a drive, running tools and the system caption (which
// picks the image route and the shadow-copy tool).
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "os_caption.h"
#include "system_text.h"

namespace orva::service {

// The caption and the error texts come from the platform library.
using platform::CaptionCache;
using platform::FormatSystemMessage;
using platform::QueryOsCaption;
using platform::QueryOsCaptionUncached;

// Length of every file below `folder`, at any depth; 0 for a missing folder.
// Each call keeps its own total (no process-wide accumulator), so two
// workers sizing at once do not add into each other's result.
int64_t GetFolderSize(const std::filesystem::path& folder);

// Length of the page file in the root of drive `letter`; 0 when none.
int64_t GetPagefileSize(char letter);

// "%.2d%.2d" of the device and partition numbers.
std::string FormatDiskNumber(long device, long partition);
// The disk number text of drive `letter`; "9999" when it cannot be had.
std::string GetDiskNumberText(char letter);

// Whether any process's executable path contains `name` (case-sensitive).
bool IsProcessRunning(std::string_view name);

// The ANSI text of a path; false when a character has no ANSI form. A path
// from a record's text is made with PathFromAnsi, never from the narrow text.
bool AnsiPath(const std::filesystem::path& path, std::string& out);
// Writes `text` into a file made new at the ANSI path: whatever has that
// name is deleted first and the file is created exclusively, so that a file
// or a link left there is never written through. False, with the system's
// reason, when the old file cannot be deleted or the new one not written.
bool WriteNewFile(const std::string& path, std::string_view text, std::string& why);
// True when a file (not a folder) exists at the path.
bool FileExists(const std::string& path);

// The Windows folder ("C:\\Windows"); empty when it cannot be had.
std::string WindowsFolder();

// The dotted IPv4 text of the first address of this machine's host name;
// empty when it cannot be had.
std::string HostAddress();

}  // namespace orva::service
