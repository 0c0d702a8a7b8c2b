// Capture of a source tree into an image body and a header table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_stream.h"

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

// One named object, for the update runs: the entry without its prefix.
// Results as in ArchiveFileEntry: 0 success, 1 not found, 2 not accessible,
// 3 open failed, 4 deflate start failed, 5 read failed, 6 deflate error,
// 7 body write failed, 8 input left over.
uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, FileStream& header,
                           FileStream& body);

}  // namespace orva
