// Capture of a source tree into an image body and a header table.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/compare_walk.h"
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
  bool archiverTexts = false;      // the single-entry archivers' wording of the data and security failures
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

// The single-entry archivers of the update runs: the entry of one object
// and its data, without the prefix (the caller writes it first). They share
// the walker's capture of a file and of a link. Result 0 once the entry is
// written; otherwise nothing stays in either stream and the result says why
// (ArchiveResult).
// Looks the object up by name and archives it by its kind; a folder's entry
// alone, its contents are not walked.
uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, FileStream& header,
                           FileStream& body);
// A file (or a hard link to a name captured before) with its data stream.
uint8_t ArchiveFileEntry(int32_t depth, const std::wstring& rel, const std::wstring& full, FileStream& header,
                         FileStream& body);
// Links with the find data of their look-up: kLinkOpenFailed, kLinkQueryFailed.
uint8_t ArchiveFileLinkEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, const FindData& fd,
                             FileStream& header);
uint8_t ArchiveDirectoryLinkEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, const FindData& fd,
                                  FileStream& header);
uint8_t ArchiveJunctionEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, const FindData& fd,
                             FileStream& header);
// Later names of that file are captured as hard links to rel.
void RegisterFirstName(uint32_t volumeSerial, uint32_t indexHigh, uint32_t indexLow, const std::wstring& rel);
// One of the run's own files (SetOwnFiles).
bool IsRunFile(const std::wstring& path);

}  // namespace orva
