// Entries of a TAV header table: the 600-byte record, kind trailers,
// security blocks, the volume prefix, and the readers that walk a table.
#pragma once
#include <bit>
#include <cstdint>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/file_stream.h"

namespace orva {

static_assert(std::endian::native == std::endian::little, "TAV images are little-endian");

// Windows error codes used by the byte code without windows.h.
constexpr int32_t kErrorHandleEof = 38;       // ERROR_HANDLE_EOF
constexpr int32_t kErrorDamagedImage = 1392;  // ERROR_FILE_CORRUPT

// Sane limits for counts read from an image.
constexpr int32_t kMaxTavStringUnits = 1 << 20;  // SDDL of a large ACL stays far below
constexpr int32_t kMaxTavBlobBytes = 65535;      // an ACL's size field is 16-bit
constexpr int32_t kMaxMountUnits = 16384;        // the reparse query's buffer size

constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrHidden = 0x2;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrReparsePoint = 0x400;
constexpr uint32_t kTagSymlink = 0xA000000C;
constexpr uint32_t kTagMountPoint = 0xA0000003;

struct FileTime {
  uint32_t low;
  uint32_t high;
};

// Same layout as the platform's WIN32_FIND_DATAW.
struct FindData {
  uint32_t attributes;
  FileTime creationTime;
  FileTime lastAccessTime;
  FileTime lastWriteTime;
  uint32_t sizeHigh;
  uint32_t sizeLow;
  uint32_t reserved0;  // reparse tag when the reparse-point attribute is set
  uint32_t reserved1;
  char16_t fileName[260];
  char16_t alternateFileName[14];

  uint64_t Size() const { return (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow; }
  std::wstring Name() const;
  std::wstring AlternateName() const;
  void SetName(const std::wstring& name);           // truncated to 259 units
  void SetAlternateName(const std::wstring& name);  // truncated to 13 units
};
static_assert(sizeof(FindData) == 592);
static_assert(offsetof(FindData, creationTime) == 4);
static_assert(offsetof(FindData, lastAccessTime) == 12);
static_assert(offsetof(FindData, lastWriteTime) == 20);
static_assert(offsetof(FindData, sizeHigh) == 28);
static_assert(offsetof(FindData, sizeLow) == 32);
static_assert(offsetof(FindData, reserved0) == 36);
static_assert(offsetof(FindData, reserved1) == 40);
static_assert(offsetof(FindData, fileName) == 44);
static_assert(offsetof(FindData, alternateFileName) == 564);

enum TavKind : uint8_t {
  kKindUnknownLink = 0,
  kKindFile = 10,
  kKindHardLink = 11,
  kKindDirSymlink = 12,
  kKindFileSymlink = 13,
  kKindJunction = 14,
  kKindDirectory = 15,
};

enum SecurityState : uint8_t {
  kSecurityPresent = 0,
  kSecurityNotRetrieved = 2,
  kSecurityNotConverted = 3,
};

struct TavEntryRecord {
  int32_t depth;
  FindData findData;
  uint8_t kind;
  uint8_t securityState;
  uint8_t pad[2];
};
static_assert(sizeof(TavEntryRecord) == 600);
static_assert(offsetof(TavEntryRecord, findData) == 4);
static_assert(offsetof(TavEntryRecord, kind) == 596);
static_assert(offsetof(TavEntryRecord, securityState) == 597);

uint8_t TavEntryKind(const FindData& fd);

// The security block that follows a record whose security state is 0.
struct SecurityBlock {
  std::wstring ownerSid;
  std::wstring groupSid;
  std::vector<uint8_t> dacl;
  std::vector<uint8_t> sacl;
  std::wstring sddl;
};

// Location of one entry, as the readers return it.
struct CTavArchiveObject {
  int32_t depth;
  FindData findData;
  uint8_t refFlag;
  int32_t refImageIndex;
  int64_t refEntryOffset, refEntryLength, refDataOffset, refDataLength;
  uint8_t ownFlag;
  int32_t ownImageIndex;
  int64_t ownEntryOffset, ownEntryLength, ownDataOffset, ownDataLength;
};
static_assert(sizeof(CTavArchiveObject) == 680);

void InitArchiveObject(CTavArchiveObject& obj);

// Primitive encodings. Readers refuse negative counts, counts above their
// limit and short reads; a refused read leaves the stream where it stopped.
bool WriteTavString(FileStream& s, const std::wstring& text);
bool WriteTavBlob(FileStream& s, uint32_t count, const void* bytes);
bool ReadTavString(FileStream& s, std::wstring& out, int32_t maxUnits = kMaxTavStringUnits);
bool ReadTavBlob(FileStream& s, std::vector<uint8_t>& out, int32_t maxBytes = kMaxTavBlobBytes);
bool SkipTavString(FileStream& s, int32_t maxUnits = kMaxTavStringUnits);
bool SkipTavBlob(FileStream& s, int32_t maxBytes = kMaxTavBlobBytes);
bool ReadInt32(FileStream& s, int32_t& v);
bool ReadInt64(FileStream& s, int64_t& v);
bool WriteInt32(FileStream& s, int32_t v);
bool WriteInt64(FileStream& s, int64_t v);

bool WriteSecurityBlock(FileStream& s, const SecurityBlock& block);
bool ReadSecurityBlock(FileStream& s, SecurityBlock& block);
bool SkipSecurityBlock(FileStream& s);

// Kind trailers.
bool WriteLinkTrailer(FileStream& s, const std::wstring& target, const uint8_t head[24]);
bool ReadLinkTrailer(FileStream& s, std::wstring& target, uint8_t head[24]);
// Junctions and unknown links: N units, the mount-point text NUL-padded to N.
bool WriteMountTrailer(FileStream& s, const std::u16string& units);
bool ReadMountTrailer(FileStream& s, std::u16string& units);
// The mount-point text: units up to the first NUL.
std::wstring MountText(const std::u16string& units);

bool WriteEntryRecord(FileStream& s, const TavEntryRecord& rec);

void WriteEntryPrefix(const CTavArchiveObject& obj, FileStream& header);
bool ReadEntryPrefix(CTavArchiveObject& obj, FileStream& header);
void StepBackOverPrefix(const CTavArchiveObject& obj, FileStream& header);

// The images of an increment chain, oldest (the full image) first.
struct ChainStreams {
  std::vector<int32_t> versions;
  std::vector<FileStream*> headers;
  std::vector<FileStream*> bodies;
  std::vector<std::wstring> paths;  // for messages; may be empty
};

// One entry as read from a table, with its trailer and security.
struct TavEntry {
  CTavArchiveObject where;
  TavEntryRecord record;
  std::wstring text;     // hard-link first name, link target
  uint8_t head[24]{};    // symbolic links: head of the reparse buffer
  std::u16string units;  // junctions and other reparse points
  bool hasSecurity = false;
  SecurityBlock security;
  int64_t dataLength = 0;  // files: the stored stream's length
  FileStream* header = nullptr;
  FileStream* data = nullptr;  // positioned at the entry's data
  int64_t dataOffset = 0;
  // Read through a reference, the entry is not the one the reference
  // records: see ReadTavEntry.
  bool damagedReference = false;
};

// Reads the next entry with its texts (keepTexts) or skipping them. On
// failure the depth is -1 and error holds a system error code
// (kErrorHandleEof at the clean end of a table, kErrorDamagedImage for an
// entry that cannot be valid). The data stream is left at the entry's data.
// An entry read through a reference must read back whole with exactly the
// entry length the reference records, and store exactly its data length;
// one that does not fails with damagedReference set and its record as far
// as it was read: the table it was referred from is read past the
// reference, and only that entry is lost.
bool ReadTavEntry(const ChainStreams& chain, int32_t version, FileStream& header, FileStream& body, bool keepTexts,
                  TavEntry& entry, int32_t& error);

// Reads the next entry. On failure depth is -1 and error holds a system
// error code (kErrorDamagedImage for an entry that cannot be valid).
CTavArchiveObject ReadEntryHeaderWithRecord(const ChainStreams& chain, int32_t version, FileStream& header,
                                            FileStream& body, TavEntryRecord& record, int32_t& error);
CTavArchiveObject ReadEntryHeader(const ChainStreams& chain, int32_t position, int32_t& error);

// Element of the skipped, intended-skip and processed lists.
struct CTavObject {
  std::wstring path;
  std::wstring reason;
  std::wstring message;
};

struct CTavHardLink {
  uint32_t volumeSerial = 0;
  uint32_t indexHigh = 0;
  uint32_t indexLow = 0;
  std::wstring relativePath;
};

struct CTavLinkSecurity {
  uint8_t noSecurity = 1;
  SecurityBlock security;
};

struct CTavJunction {
  std::wstring path;
  std::wstring target;
  FindData findData{};
  CTavLinkSecurity sec;
};

struct CTavSymbolicLink {
  std::wstring path;
  std::wstring target;
  uint8_t reparseHead[24]{};
  CTavLinkSecurity sec;
};
using CTavSymbolicLinkFile = CTavSymbolicLink;
using CTavSymbolicLinkDirectory = CTavSymbolicLink;

}  // namespace orva
