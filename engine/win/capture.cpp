#include "win/capture.h"

#include <windows.h>
#include <winioctl.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "core/exclusion.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/reparse.h"
#include "core/run_log.h"
#include "core/run_settings.h"
#include "core/tav_entry.h"
#include "core/wide.h"
#include "orva_platform.h"
#include "win/security.h"

namespace orva {

static_assert(sizeof(WIN32_FIND_DATAW) == sizeof(FindData));

namespace {

constexpr uint32_t kChunk = 65536;

struct FileId {
  uint32_t serial, high, low;
  bool operator==(const FileId& o) const { return serial == o.serial && high == o.high && low == o.low; }
};
struct FileIdHash {
  size_t operator()(const FileId& f) const {
    return std::hash<uint64_t>()((static_cast<uint64_t>(f.high) << 32 | f.low) ^ (static_cast<uint64_t>(f.serial) << 17));
  }
};

// First captured name (relative path) of each file with more than one name.
std::unordered_map<FileId, std::wstring, FileIdHash>& HardLinks() {
  static std::unordered_map<FileId, std::wstring, FileIdHash> map;
  return map;
}

std::unordered_set<std::wstring>& OwnFiles() {
  static std::unordered_set<std::wstring> set;
  return set;
}

bool IsOwnFile(const std::wstring& systemPath) {
  return !OwnFiles().empty() && OwnFiles().count(ToUpper(systemPath)) != 0;
}

std::wstring Join(const std::wstring& dir, const std::wstring& name) {
  if (!dir.empty() && dir.back() == L'\\') return dir + name;
  return dir + L"\\" + name;
}

std::wstring ErrorText(DWORD code) { return SystemErrorText(static_cast<long>(code)); }

// The 64 KiB buffers of the data capture, allocated once.
struct Buffers {
  std::unique_ptr<uint8_t[]> in{new uint8_t[kChunk]};
  std::unique_ptr<uint8_t[]> out{new uint8_t[kChunk]};
  std::unique_ptr<uint8_t[]> reparse{new uint8_t[kReparseBufferSize]};
};
Buffers& Buf() {
  static Buffers b;
  return b;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (Valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE OpenReparseObject(const std::wstring& systemPath) {
  return CreateFileW(systemPath.c_str(), 0, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool QueryReparse(HANDLE h, DWORD& returned) {
  returned = 0;
  return DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, Buf().reparse.get(),
                         static_cast<DWORD>(kReparseBufferSize), &returned, nullptr) != 0;
}

enum class DataFailure { kNone, kOpen, kDeflateInit, kRead, kDeflate, kWrite, kAvailIn };

struct DataResult {
  DataFailure failure = DataFailure::kNone;
  DWORD error = 0;
  int64_t compressed = 0;
};

// The single-entry archiver's result byte for a failed data capture.
uint8_t ResultOf(DataFailure f) {
  switch (f) {
    case DataFailure::kNone: return kArchived;
    case DataFailure::kOpen: return kArchiveOpenFailed;
    case DataFailure::kDeflateInit: return kArchiveDeflateInitFailed;
    case DataFailure::kRead: return kArchiveReadFailed;
    case DataFailure::kDeflate: return kArchiveDeflateFailed;
    case DataFailure::kWrite: return kArchiveWriteFailed;
    case DataFailure::kAvailIn: return kArchiveInputLeft;
  }
  return kArchiveOpenFailed;
}

// Fills the buffer; fewer bytes than asked only at the end of the file.
bool ReadChunk(HANDLE h, uint8_t* buf, DWORD& got) {
  got = 0;
  while (got < kChunk) {
    DWORD n = 0;
    if (!ReadFile(h, buf + got, kChunk - got, &n, nullptr)) return false;
    if (n == 0) break;
    got += n;
  }
  return true;
}

// One file's data as one zlib stream appended to the body. On failure the
// body is moved back over what this file wrote.
// withSecurity: the handle can also read the owner, ACLs and the SACL.
HANDLE OpenForData(const std::wstring& systemPath, bool withSecurity = false) {
  const DWORD access = GENERIC_READ | (withSecurity ? READ_CONTROL | ACCESS_SYSTEM_SECURITY : 0);
  return CreateFileW(systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// opened: a handle from OpenForData, which this takes over; else the file is opened here.
DataResult CaptureData(const std::wstring& systemPath, FileStream& body, bool poll,
                       HANDLE opened = INVALID_HANDLE_VALUE) {
  DataResult r;
  Handle file(opened != INVALID_HANDLE_VALUE ? opened : OpenForData(systemPath));
  if (!file.Valid()) {
    r.failure = DataFailure::kOpen;
    r.error = GetLastError();
    return r;
  }
  // One deflate state serves every file of the run; a reset is far cheaper
  // than a new state per small file.
  static z_stream z{};
  static int ready = -1;  // level the state was made for
  if (ready != Settings().compressionLevel) {
    if (ready >= 0) deflateEnd(&z);
    z = z_stream{};
    ready = deflateInit(&z, Settings().compressionLevel) == Z_OK ? Settings().compressionLevel : -1;
  } else if (deflateReset(&z) != Z_OK) {
    deflateEnd(&z);
    z = z_stream{};
    ready = deflateInit(&z, Settings().compressionLevel) == Z_OK ? Settings().compressionLevel : -1;
  }
  if (ready < 0) {
    r.failure = DataFailure::kDeflateInit;
    r.error = GetLastError();
    return r;
  }
  uint8_t* in = Buf().in.get();
  uint8_t* out = Buf().out.get();
  int flush = Z_NO_FLUSH;
  do {
    DWORD got = 0;
    if (!ReadChunk(file.get(), in, got)) {
      r.failure = DataFailure::kRead;
      r.error = GetLastError();
      break;
    }
    flush = got < kChunk ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = in;
    z.avail_in = got;
    do {
      if (poll) WaitWhilePaused();
      z.next_out = out;
      z.avail_out = kChunk;
      if (deflate(&z, flush) == Z_STREAM_ERROR) {
        r.failure = DataFailure::kDeflate;
        break;
      }
      uint32_t produced = kChunk - z.avail_out;
      if (produced && body.Write(out, produced) != produced) {
        r.failure = DataFailure::kWrite;
        r.error = GetLastError();
        break;
      }
      r.compressed += produced;
    } while (z.avail_out == 0);
    if (r.failure != DataFailure::kNone) break;
    if (z.avail_in != 0) {
      r.failure = DataFailure::kAvailIn;
      break;
    }
  } while (flush != Z_FINISH);
  if (r.failure != DataFailure::kNone) body.Seek(-r.compressed, 1);
  return r;
}

TavEntryRecord MakeRecord(int32_t depth, const WIN32_FIND_DATAW& fd, uint8_t kind, int32_t security) {
  TavEntryRecord rec;
  std::memset(&rec, 0, sizeof rec);
  rec.depth = depth;
  std::memcpy(&rec.findData, &fd, sizeof rec.findData);
  rec.kind = kind;
  rec.securityState = static_cast<uint8_t>(security);
  return rec;
}

// Format 3000 writes no prefix: the record comes first; the single-entry
// archivers' caller has written it already.
void WritePrefix(FileStream& header, const WalkOptions& o) {
  const uint8_t zero = 0;
  if (o.entryPrefix) header.Write(&zero, 1);
}

void SkipFile(const std::wstring& path, const std::wstring& reason) {
  ++Counters().filesSkipped;
  Lists().files.push_back({path, L"", reason});
}

// Counts and lists a link that could not be read, by its tag.
void SkipLinkByTag(uint32_t tag, const std::wstring& path, const std::wstring& reason) {
  if (tag == kTagSymlink) {
    ++Counters().fileLinksSkipped;
    Lists().fileLinks.push_back({path, L"", reason});
  } else if (tag == kTagMountPoint) {
    ++Counters().junctionsSkipped;
    Lists().junctions.push_back({path, L"", reason});
  } else {
    ++Counters().unknownSkipped;
    Lists().unknownLinks.push_back({path, L"", reason});
  }
}

// The format-3000 walker's texts, which name no file; empty where it says
// what the format-4000 walker says.
std::wstring OlderDataText(const DataResult& r) {
  const long code = static_cast<long>(r.error);
  switch (r.failure) {
    case DataFailure::kRead:
      return Fmt(L"  Zip error : Fail to read (Error code : %ld, %ls).\n", code, ErrorText(r.error).c_str());
    case DataFailure::kDeflate:
      return L"  Zip error : Error in deflate(). (Error code : Z_STREAM_ERROR).\n";
    case DataFailure::kWrite:
      return Fmt(L"  Zip error : Failed to write (Error code : %ld, %ls).\n", code, ErrorText(r.error).c_str());
    case DataFailure::kAvailIn:
      return L"  Zip error : Error in deflate(). (Error code : avail_in).\n";
    default:
      return L"";
  }
}

// The texts of the data-capture failures: the walker's and the single-entry
// archiver's; older: the format-3000 walker's.
void ReportDataFailure(const DataResult& r, const std::wstring& path, bool walker, bool older = false) {
  const long code = static_cast<long>(r.error);
  const std::wstring text = ErrorText(r.error);
  std::wstring message, reason;
  switch (r.failure) {
    case DataFailure::kOpen:
      message = Fmt(walker ? L"  Failed to open \"%ls\". (Error code : %ld, %ls)\n"
                           : L"  Archiving error : Failed to open the file \"%ls\". (Error code : %ld, %ls)\n",
                    path.c_str(), code, text.c_str());
      reason = walker ? L"No target path." : L"File open error.";
      break;
    case DataFailure::kDeflateInit:
      message = walker ? std::wstring(L"  Zip error : Failed to initialize deflateinit().\n")
                       : Fmt(L"  Archiving error : Failed to initialize deflateinit (%ls).\n", path.c_str());
      reason = L"Zip error.";
      break;
    case DataFailure::kRead:
      message = Fmt(walker ? L"  Archiving error : Failed to read the file %ls (Error code : %ld, %ls).\n"
                           : L"  Archiving error : Fail to read the file %ls (Error code : %ld, %ls).\n",
                    path.c_str(), code, text.c_str());
      reason = L"Read error.";
      break;
    case DataFailure::kDeflate:
      message = Fmt(walker ? L"  Archiving error : Error in deflating the file %ls. (Error code : Z_STREAM_ERROR).\n"
                           : L"  Archiving error : Error in deflate() at %ls. (Error code : Z_STREAM_ERROR).\n",
                    path.c_str());
      reason = L"Zip error.";
      break;
    case DataFailure::kWrite:
      message = Fmt(walker ? L"  Archiving error : Failed to write the file %ls (Error code : %ld, %ls).\n"
                           : L"  Archiving error : Writing error at %ls (Error code : %ld, %ls).\n",
                    path.c_str(), code, text.c_str());
      reason = L"No target path.";
      break;
    case DataFailure::kAvailIn:
      message = Fmt(walker ? L"  Archiving error : Error in deflating for the file %ls (Error code : avail_in).\n"
                           : L"  Archiving error : Error in deflate() at %ls. (Error code : avail_in).\n",
                    path.c_str());
      reason = L"Zip error.";
      break;
    case DataFailure::kNone:
      return;
  }
  if (older && !OlderDataText(r).empty()) message = OlderDataText(r);
  Say(message);
  SkipFile(path, reason);
}

struct LinkTrailer {
  std::wstring target;        // kinds 12, 13
  uint8_t head[kReparseHeadSize]{};
  std::u16string units;       // kinds 14, 0
  std::wstring Text(uint8_t kind) const { return kind == kKindDirSymlink || kind == kKindFileSymlink ? target : MountText(units); }
};

LinkTrailer FormTrailer(uint8_t kind, DWORD returned) {
  LinkTrailer t;
  const uint8_t* buf = Buf().reparse.get();
  if (kind == kKindDirSymlink || kind == kKindFileSymlink) {
    t.target = SymlinkStoredTarget(buf, returned);
    std::memcpy(t.head, buf, kReparseHeadSize);
  } else {
    t.units = MountPointUnits(buf, returned);
  }
  return t;
}

// Record, trailer and security block of a link entry (no prefix).
bool WriteLinkEntry(FileStream& header, const TavEntryRecord& rec, const LinkTrailer& t, const SecurityCapture& sec) {
  bool ok = WriteEntryRecord(header, rec);
  if (rec.kind == kKindDirSymlink || rec.kind == kKindFileSymlink)
    ok = WriteLinkTrailer(header, t.target, t.head) && ok;
  else
    ok = WriteMountTrailer(header, t.units) && ok;
  return sec.Write(header) && ok;
}

struct Frame {
  HANDLE find = INVALID_HANDLE_VALUE;
  std::wstring dir, sys, rel;
  int32_t depth = 0;
  WIN32_FIND_DATAW pending;
  bool hasPending = false;
};

// Starts enumerating a directory; false (after any message) when it cannot.
bool OpenFrame(Frame& f, bool report) {
  std::memset(&f.pending, 0, sizeof f.pending);
  f.find = FindFirstFileW(Join(f.sys, L"*").c_str(), &f.pending);
  if (f.find != INVALID_HANDLE_VALUE) {
    f.hasPending = true;
    return true;
  }
  DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || !report) return false;
  std::wstring message = Fmt(L" Cannot access the directory %ls. (Error code # : %d, %ls)\n", f.dir.c_str(),
                             static_cast<int>(err), ErrorText(err).c_str());
  Say(message);
  ++Counters().dirsSkipped;
  Lists().directories.push_back({f.dir, L"", message});
  return false;
}

// The next object of the top frame; false when the directory is done.
bool NextObject(Frame& f, WIN32_FIND_DATAW& fd) {
  if (f.hasPending) {
    f.hasPending = false;
    fd = f.pending;
    return true;
  }
  std::memset(&fd, 0, sizeof fd);
  return FindNextFileW(f.find, &fd) != 0;
}

bool IsDots(const wchar_t* n) { return (n[0] == L'.' && n[1] == 0) || (n[0] == L'.' && n[1] == L'.' && n[2] == 0); }

std::wstring KeyOf(const std::wstring& rel, const std::wstring& name) { return rel.empty() ? name : rel + L"\\" + name; }

// Format 3000 tests the bare name, so a pattern acts in every folder.
std::wstring ExclusionKey(const WalkOptions& o, const std::wstring& rel, const std::wstring& name) {
  return o.bareNameExclusion ? name : KeyOf(rel, name);
}

void IntendedSkip(const std::wstring& path, bool directory) {
  if (directory) {
    ++Counters().dirsIntended;
    Lists().intendedDirectories.push_back({path, L"Intended skip.", L""});
  } else {
    ++Counters().filesIntended;
    Lists().intendedFiles.push_back({path, L"Intended skip.", L""});
  }
}

// The kind a found object is captured as: a reparse file that is not a
// symbolic link is read through and stored as a file.
uint8_t CapturedKind(const WIN32_FIND_DATAW& fd) {
  const bool isReparse = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!isReparse) return kKindDirectory;
    return fd.dwReserved0 == kTagSymlink ? kKindDirSymlink
           : fd.dwReserved0 == kTagMountPoint ? kKindJunction
                                              : kKindUnknownLink;
  }
  return isReparse && fd.dwReserved0 == kTagSymlink ? kKindFileSymlink : kKindFile;
}

// Reads the reparse data of a link (kinds 12, 13, 14, 0) into its trailer.
// 0, or 1 (no handle) and 2 (no reparse data) after the message and count.
uint8_t ReadLink(uint8_t kind, const WIN32_FIND_DATAW& fd, const std::wstring& full, const std::wstring& sys,
                 const WalkOptions& o, LinkTrailer& t) {
  const bool fileLink = kind == kKindFileSymlink;
  auto skipped = [&](const wchar_t* reason) {
    if (fileLink) {
      ++Counters().fileLinksSkipped;
      Lists().fileLinks.push_back({full, L"", reason});
    } else {
      SkipLinkByTag(fd.dwReserved0, full, reason);
    }
  };
  Handle h(OpenReparseObject(sys));
  if (!h.Valid()) {
    DWORD err = GetLastError();
    Say(Fmt(fileLink ? L"  Failed to retrieve the handle of the symbolic link file (%ls). (Error code : %d, %ls)\n"
                     : L"  Failed to retrieve the handle of the link directory (%ls). (Error code : %d, %ls)\n",
            full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
    skipped(fileLink ? L"Failed to retrieve." : L"Failed to identify.");
    return kLinkOpenFailed;
  }
  DWORD returned = 0;
  if (!QueryReparse(h.get(), returned)) {
    DWORD err = GetLastError();
    if (!fileLink)
      Say(Fmt(L"  Failed to retrieve the reparse point data of the link directory (%ls). (Error code : %d, %ls)\n",
              full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
    else if (o.olderMessages || o.archiverTexts)
      Say(Fmt(L"  Failed to retrieve the reparse point of the symbolic link. (Error code : %d, %ls)\n",
              static_cast<int>(err), ErrorText(err).c_str()));
    else
      Say(Fmt(L"  Failed to retrieve the reparse point for the symbolic link %ls. (Error code : %d, %ls)\n",
              full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
    skipped(L"Failed to retrieve.");
    return kLinkQueryFailed;
  }
  t = FormTrailer(kind, returned);
  return kArchived;
}

// Prefix (as the options say), record, trailer and security block of a link
// whose reparse data was read; counts and lists it as processed.
void WriteLink(int32_t depth, const WIN32_FIND_DATAW& fd, uint8_t kind, const std::wstring& full,
               const LinkTrailer& t, const SecurityCapture& sec, FileStream& header, const WalkOptions& o) {
  TavEntryRecord rec = MakeRecord(depth, fd, kind, sec.state);
  WritePrefix(header, o);
  if (kind == kKindUnknownLink) {
    if (header.Write(&rec, sizeof rec) == 0) {
      DWORD err = GetLastError();
      Say(Fmt(L"  SYSTEM Error : Failed to write header information to the header file of %ls (Error code : %d, %ls).\n",
              full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
      SkipFile(full, L"Failed to write header.");
    }
    WriteMountTrailer(header, t.units);
    sec.Write(header);
  } else {
    WriteLinkEntry(header, rec, t, sec);
  }
  const std::wstring target = t.Text(kind);
  if (kind == kKindFileSymlink) {
    ++Counters().fileLinksProcessed;
    Lists().processedFileLinks.push_back({full, target, L"No error."});
  } else if (kind == kKindDirSymlink) {
    ++Counters().dirLinksProcessed;
    Lists().processedDirLinks.push_back({full, target, L"No error."});
  } else if (kind == kKindJunction) {
    ++Counters().junctionsProcessed;
    Lists().processedJunctions.push_back({full, target, L"No error."});
  } else {
    ++Counters().unknownProcessed;
    Lists().unknownLinks.push_back(
        {full, target, Fmt(L"Type number in decimal = %d", static_cast<int>(fd.dwReserved0))});
  }
}

// The one capture of a file, for the walker and the single-entry archiver
// alike: security, hard-link check, data stream, entry. Returns 0 once the
// entry (a file or a hard link) is written, else the archiver's result byte;
// the walker's or the archiver's texts as the options say.
uint8_t CaptureFile(int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full, const std::wstring& sys,
                    const std::wstring& rel, FileStream& header, FileStream& body, const WalkOptions& o) {
  const bool walker = !o.archiverTexts;
  // One open serves the security, the identity and the data; the opens by
  // name are the way back when it fails, and tell why.
  SecurityCapture sec;
  HANDLE data = OpenForData(sys, true);
  if (data != INVALID_HANDLE_VALUE) {
    sec.CaptureFromHandle(full, data, o.labelInSddl);
  } else {
    data = OpenForData(sys);
    sec.Capture(full, sys, o.labelInSddl);
  }
  sec.Report(walker, o.olderMessages ? fd.cFileName : L"");
  BY_HANDLE_FILE_INFORMATION info{};
  if (data != INVALID_HANDLE_VALUE && !GetFileInformationByHandle(data, &info)) {
    CloseHandle(data);
    data = INVALID_HANDLE_VALUE;
  }
  if (data == INVALID_HANDLE_VALUE) {
    Handle h(CreateFileW(sys.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const bool opened = h.Valid();
    if (!opened || !GetFileInformationByHandle(h.get(), &info)) {
      DWORD err = GetLastError();
      if (!walker) {
        // The archiver cannot open the file at all.
        DataResult r;
        r.failure = DataFailure::kOpen;
        r.error = err;
        ReportDataFailure(r, full, false);
        return kArchiveOpenFailed;
      }
      Say(Fmt(opened ? L"  Failed to retrieve file information of %ls. Failed to identify hard link. (Error code : %d, %ls)\n"
                     : L"  Failed to retrieve the file handle of \"%ls\". Failed to identify hard link. (Error code : %d, %ls)\n",
              full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
      SkipFile(full, L"Failed to identiry.");
      return kArchiveOpenFailed;
    }
  }
  const FileId id{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  if (info.nNumberOfLinks > 1) {
    auto it = HardLinks().find(id);
    if (it != HardLinks().end()) {
      if (data != INVALID_HANDLE_VALUE) CloseHandle(data);
      WritePrefix(header, o);
      WriteEntryRecord(header, MakeRecord(depth, fd, kKindHardLink, sec.state));
      WriteTavString(header, it->second);
      sec.Write(header);
      ++Counters().hardLinksProcessed;
      Lists().processedHardLinks.push_back({full, it->second, L"No error."});
      return kArchived;
    }
  }
  DataResult r = CaptureData(sys, body, o.pollControl, data);
  if (r.failure != DataFailure::kNone) {
    ReportDataFailure(r, full, walker, o.olderMessages);
    return ResultOf(r.failure);
  }
  WritePrefix(header, o);
  WriteEntryRecord(header, MakeRecord(depth, fd, kKindFile, sec.state));
  sec.Write(header);
  WriteInt64(header, r.compressed);
  if (info.nNumberOfLinks > 1) HardLinks().emplace(id, rel);
  const uint64_t size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  ProgressStep(static_cast<int64_t>(size), fd.cFileName);
  ++Counters().filesProcessed;
  return kArchived;
}

// A folder's entry alone: record and security block.
void WriteDirectory(int32_t depth, const WIN32_FIND_DATAW& fd, const SecurityCapture& sec, FileStream& header,
                    const WalkOptions& o) {
  WritePrefix(header, o);
  WriteEntryRecord(header, MakeRecord(depth, fd, kKindDirectory, sec.state));
  sec.Write(header);
  ++Counters().dirsProcessed;
}

// The options of the single-entry archivers: no prefix (the comparison walk
// writes it), their own texts, the format-4000 security text.
WalkOptions ArchiverOptions() {
  WalkOptions o;
  o.entryPrefix = false;
  o.archiverTexts = true;
  return o;
}

// The object at a full path, looked up again by name. 0, or 1 (not found)
// and 2 (other error) after the message, counted as a skipped file.
uint8_t LookUp(const std::wstring& full, const std::wstring& sys, const wchar_t* otherError, WIN32_FIND_DATAW& fd) {
  std::memset(&fd, 0, sizeof fd);
  HANDLE find = FindFirstFileW(sys.c_str(), &fd);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    return kArchived;
  }
  const DWORD err = GetLastError();
  const bool missing = err == ERROR_FILE_NOT_FOUND;
  const std::wstring message = Fmt(missing ? L"Cannot find the file %ls. (Error code # : %d, %ls)\n" : otherError,
                                   full.c_str(), static_cast<int>(err), ErrorText(err).c_str());
  Say(message);
  SkipFile(full, message);
  return missing ? kArchiveNotFound : kArchiveNotAccessible;
}

uint8_t ArchiveLink(uint8_t kind, int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full,
                    FileStream& header) {
  const WalkOptions o = ArchiverOptions();
  const std::wstring sys = SystemPath(full);
  LinkTrailer t;
  const uint8_t result = ReadLink(kind, fd, full, sys, o, t);
  if (result != kArchived) return result;
  SecurityCapture sec;
  sec.Capture(full, sys, o.labelInSddl);
  sec.Report(false);
  WriteLink(depth, fd, kind, full, t, sec, header, o);
  return kArchived;
}

uint8_t ArchiveLink(uint8_t kind, int32_t depth, const std::wstring& full, const FindData& data, FileStream& header) {
  WIN32_FIND_DATAW fd;
  std::memcpy(&fd, &data, sizeof fd);
  return ArchiveLink(kind, depth, fd, full, header);
}

}  // namespace

std::wstring SystemPath(const std::wstring& userPath) {
  if (userPath.rfind(L"\\\\?\\", 0) == 0 || userPath.rfind(L"\\\\.\\", 0) == 0) return userPath;
  DWORD n = GetFullPathNameW(userPath.c_str(), 0, nullptr, nullptr);
  if (n == 0) return userPath;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(userPath.c_str(), n, full.data(), nullptr);
  full.resize(n);
  std::wstring sys = platform::LongPath(full);
  // A folder path without its trailing backslash, so that names join with one.
  if (sys.size() > 7 && sys.back() == L'\\' && sys[sys.size() - 2] != L':') sys.pop_back();
  return sys;
}

void SetOwnFiles(const std::vector<std::wstring>& userPaths) {
  OwnFiles().clear();
  for (const auto& p : userPaths)
    if (!p.empty()) OwnFiles().insert(ToUpper(SystemPath(p)));
}

void ClearHardLinks() { HardLinks().clear(); }

int64_t ComputeSourceSize(const std::wstring& source, const WalkOptions& o) {
  const auto& patterns = Settings().exclusions;
  int64_t total = 0;
  std::vector<Frame> stack(1);
  stack[0].dir = source;
  stack[0].sys = SystemPath(source);
  if (!OpenFrame(stack[0], false)) return 0;
  WIN32_FIND_DATAW fd;
  while (!stack.empty()) {
    if (!NextObject(stack.back(), fd)) {
      FindClose(stack.back().find);
      stack.pop_back();
      continue;
    }
    if (IsDots(fd.cFileName)) continue;
    const Frame& f = stack.back();
    const std::wstring sys = Join(f.sys, fd.cFileName);
    const std::wstring rel = f.rel + L"\\" + fd.cFileName;
    if (IsExcluded(ExclusionKey(o, f.rel, fd.cFileName), patterns) || IsOwnFile(sys)) continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Frame child;
      child.dir = Join(f.dir, fd.cFileName);
      child.sys = sys;
      child.rel = rel;
      if (OpenFrame(child, false)) stack.push_back(std::move(child));
      continue;
    }
    Handle h(CreateFileW(sys.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || !GetFileInformationByHandle(h.get(), &info)) continue;
    const int64_t size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    if (info.nNumberOfLinks < 2) {
      total += size;
    } else if (HardLinks().emplace(FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}, L"temp")
                   .second) {
      total += size;
    }
  }
  return total;
}

void WalkDirectory(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                   FileStream& body) {
  WalkTree(depth, dir, rel, header, body, WalkOptionsFor(4000));
}

void WalkDirectoryV3(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header,
                     FileStream& body) {
  WalkTree(depth, dir, rel, header, body, WalkOptionsFor(3000));
}

WalkOptions WalkOptionsFor(int32_t formatVersion) {
  WalkOptions o;
  if (formatVersion < 4000) {
    o.entryPrefix = false;
    o.pollControl = false;
    o.labelInSddl = false;
    o.bareNameExclusion = true;
    o.olderMessages = true;
  }
  return o;
}

void WalkTree(int32_t depth, const std::wstring& dir, const std::wstring& rel, FileStream& header, FileStream& body,
              const WalkOptions& o) {
  const auto& patterns = Settings().exclusions;
  std::vector<Frame> stack(1);
  stack[0].dir = dir;
  stack[0].sys = SystemPath(dir);
  stack[0].rel = rel;
  stack[0].depth = depth;
  if (!OpenFrame(stack[0], true)) return;
  WIN32_FIND_DATAW fd;
  while (!stack.empty()) {
    if (!NextObject(stack.back(), fd)) {
      FindClose(stack.back().find);
      stack.pop_back();
      continue;
    }
    if (IsDots(fd.cFileName)) continue;
    const Frame& f = stack.back();
    const std::wstring full = Join(f.dir, fd.cFileName);
    const std::wstring sys = Join(f.sys, fd.cFileName);
    const std::wstring childRel = f.rel + L"\\" + fd.cFileName;
    const int32_t level = f.depth;
    const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;

    if (IsExcluded(ExclusionKey(o, f.rel, fd.cFileName), patterns) || IsOwnFile(sys)) {
      IntendedSkip(full, isDir);
      continue;
    }
    if (o.pollControl) WaitWhilePaused();
    const uint8_t kind = CapturedKind(fd);
    if (kind == kKindFile) {
      CaptureFile(level, fd, full, sys, childRel, header, body, o);
      continue;
    }
    SecurityCapture sec;
    sec.Capture(full, sys, o.labelInSddl);
    sec.Report(true, o.olderMessages ? fd.cFileName : L"");
    if (kind != kKindDirectory) {
      LinkTrailer t;
      if (ReadLink(kind, fd, full, sys, o, t) == kArchived) WriteLink(level, fd, kind, full, t, sec, header, o);
      continue;
    }
    WriteDirectory(level, fd, sec, header, o);
    Frame child;
    child.dir = full;
    child.sys = sys;
    child.rel = childRel;
    child.depth = level + 1;
    if (OpenFrame(child, true)) stack.push_back(std::move(child));
  }
}

uint8_t ArchiveSingleEntry(int32_t depth, const std::wstring& full, const std::wstring& rel, FileStream& header,
                           FileStream& body) {
  const std::wstring sys = SystemPath(full);
  WIN32_FIND_DATAW fd;
  const uint8_t found = LookUp(full, sys, L"Cannot access the object %ls. (Error code # : %d, %ls)\n", fd);
  if (found != kArchived) return found;
  const WalkOptions o = ArchiverOptions();
  const uint8_t kind = CapturedKind(fd);
  switch (kind) {
    case kKindFile:
      return CaptureFile(depth, fd, full, sys, rel, header, body, o);
    case kKindDirectory: {
      SecurityCapture sec;
      sec.Capture(full, sys, o.labelInSddl);
      sec.Report(false);
      WriteDirectory(depth, fd, sec, header, o);
      return kArchived;
    }
    default:
      // Links, junctions and other folder reparse points.
      return ArchiveLink(kind, depth, fd, full, header);
  }
}

uint8_t ArchiveFileEntry(int32_t depth, const std::wstring& rel, const std::wstring& full, FileStream& header,
                         FileStream& body) {
  const std::wstring sys = SystemPath(full);
  WIN32_FIND_DATAW fd;
  const uint8_t found = LookUp(full, sys, L"Cannot access the file %ls. (Error code # : %d, %ls)\n", fd);
  if (found != kArchived) return found;
  return CaptureFile(depth, fd, full, sys, rel, header, body, ArchiverOptions());
}

uint8_t ArchiveFileLinkEntry(int32_t depth, const std::wstring& full, const std::wstring&, const FindData& fd,
                             FileStream& header) {
  return ArchiveLink(kKindFileSymlink, depth, full, fd, header);
}

uint8_t ArchiveDirectoryLinkEntry(int32_t depth, const std::wstring& full, const std::wstring&, const FindData& fd,
                                  FileStream& header) {
  return ArchiveLink(kKindDirSymlink, depth, full, fd, header);
}

uint8_t ArchiveJunctionEntry(int32_t depth, const std::wstring& full, const std::wstring&, const FindData& fd,
                             FileStream& header) {
  return ArchiveLink(kKindJunction, depth, full, fd, header);
}

void RegisterFirstName(uint32_t volumeSerial, uint32_t indexHigh, uint32_t indexLow, const std::wstring& rel) {
  HardLinks().emplace(FileId{volumeSerial, indexHigh, indexLow}, rel);
}

bool IsRunFile(const std::wstring& path) { return !OwnFiles().empty() && IsOwnFile(SystemPath(path)); }

}  // namespace orva
