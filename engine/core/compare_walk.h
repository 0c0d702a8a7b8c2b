// The comparison walk of the update runs: the source tree against the table
// of the last image of a chain. Unchanged objects become references to (or
// copies of) their old entries, the rest is captured anew. The file system
// side is behind CompareSource, so the decisions also build natively.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/file_stream.h"
#include "core/tav_entry.h"

namespace orva {

struct FileIdentity {
  uint32_t serial = 0, high = 0, low = 0;
  bool operator==(const FileIdentity& o) const { return serial == o.serial && high == o.high && low == o.low; }
};

// Result bytes of the single-entry archivers: 0 the entry is written, else
// why nothing was.
enum ArchiveResult : uint8_t {
  kArchived = 0,
  kArchiveNotFound = 1,       // the object's look-up found nothing
  kArchiveNotAccessible = 2,  // any other look-up error
  kArchiveOpenFailed = 3,
  kArchiveDeflateInitFailed = 4,
  kArchiveReadFailed = 5,
  kArchiveDeflateFailed = 6,
  kArchiveWriteFailed = 7,
  kArchiveInputLeft = 8,  // deflate left input unconsumed
  // The link archivers.
  kLinkOpenFailed = 1,
  kLinkQueryFailed = 2,
};

class CompareSource {
 public:
  virtual ~CompareSource() = default;
  // The folder's objects in enumeration order, without "." and "..";
  // returns 0 or the system error of the enumeration.
  virtual int32_t List(const std::wstring& dir, std::vector<FindData>& objects) = 0;
  // -x! patterns and the run's own files.
  virtual bool Excluded(const std::wstring& key, const std::wstring& path) = 0;
  // The single-entry archiver: one object's entry (after the prefix the
  // walk wrote) and data; for a folder the entry alone. 0, or the reason
  // (ArchiveResult) nothing was written.
  virtual uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& path, const std::wstring& rel,
                                     FileStream& header, FileStream& body) = 0;
  // The contents of a new folder, as the capture walker writes them.
  virtual void CaptureTree(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                           FileStream& body) = 0;
  // The file's identity and its last write time as the file itself holds
  // it (a folder's entry for one of several names may lag behind).
  virtual bool Identify(const std::wstring& path, FileIdentity& id, FileTime& lastWrite) = 0;
  // Later names of the file are captured as hard links to rel.
  virtual void RegisterFirstName(const FileIdentity& id, const std::wstring& rel) = 0;
};

// The images a run compares with, oldest first; the walk reads the table of
// the last one. headers hold each member's table alone.
struct UpdateChain {
  ChainStreams members;
  std::vector<int64_t> bodyEnds;   // end of each member's body (20 + header offset)
  std::vector<int64_t> tableEnds;  // length of each member's table
};

// What one pass over the last member's table learns.
struct TableIndex {
  struct Span {
    int64_t headerEnd, bodyEnd;
  };
  std::unordered_map<int64_t, Span> subtreeEnds;  // folder entry offset -> end of its contents
  std::unordered_set<std::wstring> linkTargets;   // first names that hard links of the table name
  int64_t entries = 0;
  int64_t fileBytes = 0;  // sizes of the files the table holds: the tree as it was
};

// Reads the last member's table once, checking every entry, every reference
// and every data range. False with a description of the first damage.
bool IndexChainTable(const UpdateChain& chain, TableIndex& index, std::wstring& damage);

enum class UpdateMode { kReference, kCopy };

struct WalkOutcome {
  bool damaged = false;
  std::wstring damage;
  int64_t entriesRead = 0;  // old entries read; each at most once
};

// Writes the new table (and body) for the source tree.
WalkOutcome WalkForUpdate(UpdateMode mode, const std::wstring& source, const UpdateChain& chain,
                          const TableIndex& index, CompareSource& fs, FileStream& header, FileStream& body);

bool EqualFileTimes(uint32_t low1, uint32_t high1, uint32_t low2, uint32_t high2);
// Copies length bytes from offset of from to the current position of to.
bool CopyByteRange(FileStream& from, FileStream& to, int64_t offset, int64_t length);

}  // namespace orva
