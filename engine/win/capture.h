// Capture of a source tree into an image body and a header table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"
#include "core/tav_entry.h"

namespace orva {

// The full \\?\ form of a path the user gave, for the wide file calls.
std::wstring SystemPath(const std::wstring& userPath);

// Files of the run itself (image, work file, run log): never captured.
void SetOwnFiles(const std::vector<std::wstring>& userPaths);
void ClearHardLinks();

// What sets the walk of a format-3000 image apart from format 4000.
struct WalkOptions {
  bool entryPrefix = true;         // the one-byte volume prefix before each entry
  bool pollControl = true;         // pause and cancel through the control word
  bool labelInSddl = true;         // the SDDL text covers the mandatory label
  bool bareNameExclusion = false;  // exclusions test the object's own name, in every folder
  bool olderMessages = false;      // the format-3000 wording of some messages
  unsigned workers = 0;            // threads compressing files; 0: one per core, at most 8
};
WalkOptions WalkOptionsFor(int32_t formatVersion);

// Byte total of the subtree as the walk would capture it.
int64_t ComputeSourceSize(const std::wstring& source, const WalkOptions& options = WalkOptions());

// Appends the entries and data of the tree below dir; rel is its relative
// path ("" for the source root).
void WalkDirectory(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                   FileStream& body);
// The same for a format-3000 image.
void WalkDirectoryV3(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                     FileStream& body);
// Either walk, as its options say.
void WalkTree(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header, FileStream& body,
              const WalkOptions& options);

// One object as the walker captures it (prefix, entry and data), for the
// update runs; a folder's entry alone, its contents are not walked.
// Writes nothing when the object cannot be captured.
void CaptureEntry(int32_t depth, const FindData& fd, const std::wstring& full, const std::wstring& rel,
                  FileStream& header, FileStream& body);
// Later names of that file are captured as hard links to rel.
void RegisterFirstName(uint32_t volumeSerial, uint32_t indexHigh, uint32_t indexLow, const std::wstring& rel);
// One of the run's own files (SetOwnFiles).
bool IsRunFile(const std::wstring& path);

}  // namespace orva
