#include "win/capture.h"

#include <windows.h>
#include <winioctl.h>
#include <winternl.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/deflate_pool.h"
#include "core/exclusion.h"
#include "core/output.h"
#include "core/progress.h"
#include "core/reparse.h"
#include "core/run_log.h"
#include "core/run_settings.h"
#include "core/tav_entry.h"
#include "core/wide.h"
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
    return std::hash<uint64_t>()((static_cast<uint64_t>(f.high) << 32 | f.low) ^
                                 (static_cast<uint64_t>(f.serial) << 17));
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

// The identity of a file as far as the hard-link test needs it. The volume
// serial and file index are asked only of a file with more than one name:
// the serial is a volume query, and the full query also works out the
// file's whole name, both dear under Wine when made for every file. The
// basic query fails where the full one does (a file the system cannot
// describe), and the full query then gives the same error as before.
bool QueryFileIdentity(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
  using QueryFn = LONG(WINAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  static const QueryFn query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  constexpr ULONG kFileBasicInformation = 4, kFileStandardInformation = 5;
  struct Standard {
    LARGE_INTEGER allocation, end;
    ULONG links;
    BOOLEAN deletePending, directory;
  };
  alignas(8) uint8_t basic[64];
  Standard standard{};
  IO_STATUS_BLOCK io{};
  if (query && query(h, &io, basic, sizeof basic, kFileBasicInformation) >= 0 &&
      query(h, &io, &standard, sizeof standard, kFileStandardInformation) >= 0 && standard.links < 2) {
    info = BY_HANDLE_FILE_INFORMATION{};
    info.nNumberOfLinks = standard.links;
    return true;
  }
  return GetFileInformationByHandle(h, &info) != 0;
}

using DataFailure = DeflateFailure;
using DataResult = DeflateOutcome;

// The single-entry archiver's result byte for a failed data capture.
uint8_t ResultOf(DataFailure f) {
  switch (f) {
    case DataFailure::kNone:
      return kArchived;
    case DataFailure::kOpen:
      return kArchiveOpenFailed;
    case DataFailure::kDeflateInit:
      return kArchiveDeflateInitFailed;
    case DataFailure::kRead:
      return kArchiveReadFailed;
    case DataFailure::kDeflate:
      return kArchiveDeflateFailed;
    case DataFailure::kWrite:
      return kArchiveWriteFailed;
    case DataFailure::kAvailIn:
      return kArchiveInputLeft;
    case DataFailure::kStopped:  // a stopped run leaves no entry
      break;
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

DeflateReadFn ReaderOf(HANDLE h) {
  return [h](uint8_t* buffer, uint32_t& got, uint32_t& error) {
    DWORD n = 0;
    const bool ok = ReadChunk(h, buffer, n);
    got = n;
    if (!ok) error = GetLastError();
    return ok;
  };
}

// withSecurity: the handle can also read the owner, ACLs and the SACL.
HANDLE OpenForData(const std::wstring& systemPath, bool withSecurity = false) {
  const DWORD access = GENERIC_READ | (withSecurity ? READ_CONTROL | ACCESS_SYSTEM_SECURITY : 0);
  return CreateFileW(systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// A folder held open while its files are captured, so that they are opened
// by name relative to it: the system then resolves one name, not the whole
// path, and a deep tree costs no more than a flat one.
class Folder {
 public:
  explicit Folder(const std::wstring& systemPath)
      : h_(CreateFileW(systemPath.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {}
  ~Folder() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// OpenForData for a name in an open folder; INVALID_HANDLE_VALUE and the
// system error (as CreateFileW would set it) when it fails, or when the call
// is missing (result false: open by path instead).
bool OpenForDataAt(HANDLE folder, const std::wstring& name, bool withSecurity, HANDLE& file) {
  using CreateFn = LONG(WINAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG,
                                 ULONG, ULONG, ULONG, void*, ULONG);
  using ErrorFn = ULONG(WINAPI*)(LONG);
  static const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  static const CreateFn create =
      reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
  static const ErrorFn toError =
      reinterpret_cast<ErrorFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  if (!create || !toError || folder == INVALID_HANDLE_VALUE || name.size() * sizeof(wchar_t) > 0xFFFE) return false;
  constexpr ULONG kOpen = 1;                   // FILE_OPEN
  constexpr ULONG kSynchronous = 0x00000020;   // FILE_SYNCHRONOUS_IO_NONALERT
  constexpr ULONG kSequential = 0x00000004;    // FILE_SEQUENTIAL_ONLY
  constexpr ULONG kBackupIntent = 0x00004000;  // FILE_OPEN_FOR_BACKUP_INTENT
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  const ACCESS_MASK access =
      GENERIC_READ | SYNCHRONIZE | FILE_READ_ATTRIBUTES | (withSecurity ? READ_CONTROL | ACCESS_SYSTEM_SECURITY : 0);
  file = INVALID_HANDLE_VALUE;
  HANDLE h = nullptr;
  const LONG status =
      create(&h, access, &attributes, &io, nullptr, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpen,
             kSynchronous | kSequential | kBackupIntent, nullptr, 0);
  if (status < 0) {
    SetLastError(toError(status));
    return true;
  }
  file = h;
  return true;
}

// One file's data as one zlib stream appended to the body. On failure the
// body is moved back over what this file wrote.
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
  static DeflateState state;
  r = DeflateStream(
      state, Settings().compressionLevel, Buf().in.get(), Buf().out.get(), ReaderOf(file.get()),
      [&body](const uint8_t* data, uint32_t size, uint32_t& error) {
        if (body.Write(data, size) == size) return true;
        error = static_cast<uint32_t>(body.WriteError());
        return false;
      },
      poll ? DeflatePollFn([] {
        WaitWhilePaused();
        return true;
      })
           : DeflatePollFn());
  if (r.failure == DataFailure::kDeflateInit) r.error = GetLastError();
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
    case DataFailure::kStopped:
      return;
  }
  if (older && !OlderDataText(r).empty()) message = OlderDataText(r);
  Say(message);
  SkipFile(path, reason);
}

struct LinkTrailer {
  std::wstring target;  // kinds 12, 13
  uint8_t head[kReparseHeadSize]{};
  std::u16string units;  // kinds 14, 0
  std::wstring Text(uint8_t kind) const {
    return kind == kKindDirSymlink || kind == kKindFileSymlink ? target : MountText(units);
  }
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
  std::shared_ptr<Folder> folder;  // the walker's, for opens relative to it
  std::wstring dir, sys, rel;
  int32_t depth = 0;
  WIN32_FIND_DATAW pending;
  bool hasPending = false;
};

// Starts enumerating a directory: 0, or the system error.
DWORD StartFrame(Frame& f) {
  std::memset(&f.pending, 0, sizeof f.pending);
  f.find = FindFirstFileW(Join(f.sys, L"*").c_str(), &f.pending);
  if (f.find != INVALID_HANDLE_VALUE) {
    f.hasPending = true;
    return 0;
  }
  const DWORD err = GetLastError();
  return err ? err : ERROR_FILE_NOT_FOUND;
}

void ReportFrameFailure(const std::wstring& dir, DWORD err) {
  std::wstring message = Fmt(L" Cannot access the directory %ls. (Error code # : %d, %ls)\n", dir.c_str(),
                             static_cast<int>(err), ErrorText(err).c_str());
  Say(message);
  ++Counters().dirsSkipped;
  Lists().directories.push_back({dir, L"", message});
}

// Starts enumerating a directory; false (after any message) when it cannot.
bool OpenFrame(Frame& f, bool report) {
  const DWORD err = StartFrame(f);
  if (err == 0) return true;
  if (err != ERROR_FILE_NOT_FOUND && report) ReportFrameFailure(f.dir, err);
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

std::wstring KeyOf(const std::wstring& rel, const std::wstring& name) {
  return rel.empty() ? name : rel + L"\\" + name;
}

// Format 3000 tests the bare name, so a pattern acts in every folder.
std::wstring ExclusionKey(const WalkOptions& o, const std::wstring& rel, const std::wstring& name) {
  return o.bareNameExclusion ? name : KeyOf(rel, name);
}

// The kind a found object is captured as: a reparse file that is not a
// symbolic link is read through and stored as a file.
uint8_t CapturedKind(const WIN32_FIND_DATAW& fd) {
  const bool isReparse = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!isReparse) return kKindDirectory;
    return fd.dwReserved0 == kTagSymlink      ? kKindDirSymlink
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
void WriteLink(int32_t depth, const WIN32_FIND_DATAW& fd, uint8_t kind, const std::wstring& full, const LinkTrailer& t,
               const SecurityCapture& sec, FileStream& header, const WalkOptions& o) {
  TavEntryRecord rec = MakeRecord(depth, fd, kind, sec.state);
  WritePrefix(header, o);
  if (kind == kKindUnknownLink) {
    if (header.Write(&rec, sizeof rec) == 0) {
      DWORD err = GetLastError();
      Say(Fmt(
          L"  SYSTEM Error : Failed to write header information to the header file of %ls (Error code : %d, %ls).\n",
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

// What the capture of a file learns before it writes anything: its
// security, its identity and (in the walker's pipeline) its data stream.
// Reading these is safe on any thread; reporting them is the writer's.
struct FileWork {
  RawSecurity security;
  enum Identity { kKnown, kNoHandle, kNoInformation } identity = kKnown;
  DWORD identityError = 0;
  BY_HANDLE_FILE_INFORMATION info{};
  HANDLE data = INVALID_HANDLE_VALUE;  // open for the data until it is read
  bool deflated = false;               // the stream was made into the pool
  DataResult result;                   // of that stream
  ~FileWork() {
    if (data != INVALID_HANDLE_VALUE) CloseHandle(data);
  }
  HANDLE TakeData() {
    HANDLE h = data;
    data = INVALID_HANDLE_VALUE;
    return h;
  }
};

// One open serves the security, the identity and the data; the opens by
// name are the way back when it fails, and tell why.
void GatherFile(const std::wstring& sys, FileWork& w, HANDLE folder = INVALID_HANDLE_VALUE,
                const std::wstring& name = std::wstring()) {
  if (!OpenForDataAt(folder, name, true, w.data)) w.data = OpenForData(sys, true);
  if (w.data != INVALID_HANDLE_VALUE) {
    w.security = ReadSecurity(w.data);
  } else {
    w.data = OpenForData(sys);
    w.security = ReadSecurity(sys);
  }
  if (w.data != INVALID_HANDLE_VALUE && !QueryFileIdentity(w.data, w.info)) {
    CloseHandle(w.TakeData());
  }
  if (w.data == INVALID_HANDLE_VALUE) {
    Handle h(CreateFileW(sys.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.Valid()) {
      w.identity = FileWork::kNoHandle;
      w.identityError = GetLastError();
    } else if (!QueryFileIdentity(h.get(), w.info)) {
      w.identity = FileWork::kNoInformation;
      w.identityError = GetLastError();
    }
  }
}

// A file whose data stream can be made before the writer gets to it: one
// name only (a further name becomes a hard link, known only in walk order).
bool DeflatesAhead(const FileWork& w) { return w.identity == FileWork::kKnown && w.info.nNumberOfLinks < 2; }

// Reports and writes a gathered file in walk order. drain hands the stream
// made in the pool to the body and gives its result; without it the data is
// captured here. Returns 0 once the entry (a file or a hard link) is
// written, else the archiver's result byte; the walker's or the archiver's
// texts as the options say.
uint8_t CommitFile(int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full, const std::wstring& sys,
                   const std::wstring& rel, FileStream& header, FileStream& body, const WalkOptions& o, FileWork& w,
                   const std::function<DataResult()>& drain) {
  const bool walker = !o.archiverTexts;
  SecurityCapture sec;
  sec.Take(full, w.security, o.labelInSddl);
  sec.Report(walker, o.olderMessages ? fd.cFileName : L"");
  if (w.identity != FileWork::kKnown) {
    const DWORD err = w.identityError;
    if (!walker) {
      // The archiver cannot open the file at all.
      DataResult r;
      r.failure = DataFailure::kOpen;
      r.error = err;
      ReportDataFailure(r, full, false);
      return kArchiveOpenFailed;
    }
    Say(Fmt(
        w.identity == FileWork::kNoHandle
            ? L"  Failed to retrieve the file handle of \"%ls\". Failed to identify hard link. (Error code : %d, %ls)\n"
            : L"  Failed to retrieve file information of %ls. Failed to identify hard link. (Error code : %d, %ls)\n",
        full.c_str(), static_cast<int>(err), ErrorText(err).c_str()));
    SkipFile(full, L"Failed to identiry.");
    return kArchiveOpenFailed;
  }
  const BY_HANDLE_FILE_INFORMATION& info = w.info;
  const FileId id{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  if (info.nNumberOfLinks > 1) {
    auto it = HardLinks().find(id);
    if (it != HardLinks().end()) {
      if (w.data != INVALID_HANDLE_VALUE) CloseHandle(w.TakeData());
      WritePrefix(header, o);
      WriteEntryRecord(header, MakeRecord(depth, fd, kKindHardLink, sec.state));
      WriteTavString(header, it->second);
      sec.Write(header);
      ++Counters().hardLinksProcessed;
      Lists().processedHardLinks.push_back({full, it->second, L"No error."});
      return kArchived;
    }
  }
  DataResult r = drain ? drain() : CaptureData(sys, body, o.pollControl, w.TakeData());
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

// The one capture of a file, for the single-entry archiver and for a file
// the walker's pool gave back.
uint8_t CaptureFile(int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full, const std::wstring& sys,
                    const std::wstring& rel, FileStream& header, FileStream& body, const WalkOptions& o) {
  FileWork w;
  GatherFile(sys, w);
  return CommitFile(depth, fd, full, sys, rel, header, body, o, w, nullptr);
}

// The walker's files are read and compressed by a pool of workers, ahead of
// the walk's writer; everything the walk reports or writes is a step run in
// walk order, so the image, the texts and the counts are those of one object
// after the other.
class CapturePipeline {
 public:
  CapturePipeline(FileStream& header, FileStream& body, const WalkOptions& o)
      : header_(header),
        body_(body),
        o_(o),
        pool_(o.workers ? o.workers : DeflatePool::DefaultWorkers(), kBudget),
        window_(8 * pool_.Workers()) {}

  // Steps that read or write nothing of a file: run in their turn.
  void Then(std::function<void()> step) {
    steps_.push_back({std::move(step), nullptr});
    Advance(false);
  }

  void File(int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full, const std::wstring& sys,
            const std::wstring& rel, std::shared_ptr<Folder> folder) {
    auto w = std::make_shared<FileWork>();
    const int level = Settings().compressionLevel;
    const bool poll = o_.pollControl;
    volatile int32_t* control = Progress().control;
    const std::wstring name = fd.cFileName;
    auto job = pool_.Submit([w, sys, name, folder, level, poll, control](DeflatePool::Context& ctx) {
      GatherFile(sys, *w, folder ? folder->get() : INVALID_HANDLE_VALUE, name);
      if (!DeflatesAhead(*w)) return;
      w->deflated = true;
      Handle file(w->data != INVALID_HANDLE_VALUE ? w->TakeData() : OpenForData(sys));
      if (!file.Valid()) {
        w->result.failure = DataFailure::kOpen;
        w->result.error = GetLastError();
        return;
      }
      w->result = DeflateStream(
          ctx.State(), level, ctx.In(), ctx.Out(), ReaderOf(file.get()),
          [&ctx](const uint8_t* data, uint32_t size, uint32_t&) { return ctx.Put(data, size); },
          poll ? DeflatePollFn([&ctx, control] { return MayGoOn(ctx, control); }) : DeflatePollFn(), &ctx);
      if (w->result.failure == DataFailure::kDeflateInit) w->result.error = GetLastError();
    });
    steps_.push_back({[this, job, w, depth, fd, full, sys, rel] { Commit(*job, *w, depth, fd, full, sys, rel); }, job});
    Advance(false);
  }

  void Finish() { Advance(true); }

 private:
  static constexpr size_t kBudget = 24u << 20;  // compressed bytes held ahead of the writer
  static constexpr size_t kMaxSteps = 4096;

  struct Step {
    std::function<void()> run;
    std::shared_ptr<DeflatePool::Job> job;
  };

  // A worker's pause and cancel check: it waits while the run is paused and
  // gives up on a cancel, which the writer then reports.
  static bool MayGoOn(DeflatePool::Context& ctx, volatile int32_t* control) {
    for (;;) {
      const int32_t word = control ? *control : kControlRun;
      if (word == kControlCancel || ctx.Stopped()) return false;
      if (word != kControlPause) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // Runs the steps whose turn has come: all of them at the end; else up to
  // the first file still being worked on, unless too much waits behind it.
  void Advance(bool all) {
    while (!steps_.empty()) {
      Step& front = steps_.front();
      if (!all && front.job && !pool_.Done(*front.job) && pool_.Pending() < window_ && steps_.size() < kMaxSteps)
        return;
      std::function<void()> run = std::move(front.run);
      steps_.pop_front();
      run();
    }
  }

  void Commit(DeflatePool::Job& job, FileWork& w, int32_t depth, const WIN32_FIND_DATAW& fd, const std::wstring& full,
              const std::wstring& sys, const std::wstring& rel) {
    int64_t written = 0;
    DWORD writeError = 0;
    const bool drained = pool_.Drain(
        job,
        [&](const uint8_t* data, uint32_t size) {
          if (body_.Write(data, size) == size) {
            written += size;
            return true;
          }
          writeError = static_cast<DWORD>(body_.WriteError());
          return false;
        },
        o_.pollControl ? std::function<void()>([] { WaitWhilePaused(); }) : nullptr);
    if (w.deflated && w.result.failure == DataFailure::kStopped && drained) {
      // Stopped by a cancel: the writer reports it; a run that goes on
      // captures the file again here.
      if (o_.pollControl) WaitWhilePaused();
      body_.Seek(-written, 1);
      CaptureFile(depth, fd, full, sys, rel, header_, body_, o_);
      return;
    }
    std::function<DataResult()> take;
    if (w.deflated) {
      take = [&] {
        DataResult r = w.result;
        if (!drained) {
          r.failure = DataFailure::kWrite;
          r.error = writeError;
        }
        r.compressed = written;
        if (r.failure != DataFailure::kNone) body_.Seek(-written, 1);
        return r;
      };
    }
    CommitFile(depth, fd, full, sys, rel, header_, body_, o_, w, take);
  }

  FileStream& header_;
  FileStream& body_;
  const WalkOptions o_;
  DeflatePool pool_;
  const size_t window_;
  std::deque<Step> steps_;
};

}  // namespace

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
    if (!h.Valid() || !QueryFileIdentity(h.get(), info)) continue;
    const int64_t size = static_cast<int64_t>((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
    if (info.nNumberOfLinks < 2) {
      total += size;
    } else if (HardLinks()
                   .emplace(FileId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}, L"temp")
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
  CapturePipeline pipeline(header, body, o);
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
      pipeline.Then([full, isDir] { IntendedSkip(full, isDir); });
      continue;
    }
    if (o.pollControl) WaitWhilePaused();
    const uint8_t kind = CapturedKind(fd);
    if (kind == kKindFile) {
      if (!f.folder) stack.back().folder = std::make_shared<Folder>(f.sys);
      pipeline.File(level, fd, full, sys, childRel, stack.back().folder);
      continue;
    }
    pipeline.Then([&header, &o, level, fd, full, sys, kind] {
      SecurityCapture sec;
      sec.Capture(full, sys, o.labelInSddl);
      sec.Report(true, o.olderMessages ? fd.cFileName : L"");
      if (kind == kKindDirectory) {
        WriteDirectory(level, fd, sec, header, o);
        return;
      }
      LinkTrailer t;
      if (ReadLink(kind, fd, full, sys, o, t) == kArchived) WriteLink(level, fd, kind, full, t, sec, header, o);
    });
    if (kind != kKindDirectory) continue;
    Frame child;
    child.dir = full;
    child.sys = sys;
    child.rel = childRel;
    child.depth = level + 1;
    const DWORD err = StartFrame(child);
    if (err == 0) {
      stack.push_back(std::move(child));
    } else if (err != ERROR_FILE_NOT_FOUND) {
      pipeline.Then([full, err] { ReportFrameFailure(full, err); });
    }
  }
  pipeline.Finish();
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
