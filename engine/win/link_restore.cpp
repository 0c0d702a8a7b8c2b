#include "win/link_restore.h"

#include <windows.h>
#include <winioctl.h>
#include <aclapi.h>
#include <sddl.h>

#include <iterator>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/link_restore_core.h"
#include "core/output.h"
#include "core/restore_queues.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "win/capture.h"

namespace orva {

namespace {

constexpr wchar_t kBatchName[] = L"mklink_command.bat";

void* OpenSecurityObject(const std::wstring& systemPath, uint32_t access, uint32_t flags);

std::wstring ErrorText(DWORD code) { return SystemErrorText(static_cast<long>(code)); }

FILETIME ToFileTime(const FileTime& t) { return FILETIME{t.low, t.high}; }

// The owner and group SIDs converted from their texts, and whether the SDDL
// text converts. A tree shares a handful of descriptors: each is converted once.
class ConvertedSecurity {
 public:
  explicit ConvertedSecurity(const SecurityBlock& sec) : c_(Lookup(sec)) {}

  bool Ok() const { return !c_.ownerError && !c_.groupError && !c_.sddlError; }
  PSID Owner() const { return c_.owner.empty() ? nullptr : const_cast<uint8_t*>(c_.owner.data()); }
  PSID Group() const { return c_.group.empty() ? nullptr : const_cast<uint8_t*>(c_.group.data()); }

  // "Owner(code,text,input), Group(...), Description(...)".
  std::wstring ErrorSummary(const SecurityBlock& sec) const {
    return Part(L"Owner", c_.ownerError, sec.ownerSid) + L", " + Part(L"Group", c_.groupError, sec.groupSid) + L", " +
           Part(L"Description", c_.sddlError, sec.sddl);
  }

 private:
  struct Conversion {
    std::vector<uint8_t> owner, group;
    DWORD ownerError = 0, groupError = 0, sddlError = 0;
  };

  static std::vector<uint8_t> Sid(const std::wstring& text, DWORD& error) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(text.c_str(), &sid)) {
      error = GetLastError();
      return {};
    }
    const uint8_t* p = static_cast<const uint8_t*>(sid);
    std::vector<uint8_t> bytes(p, p + GetLengthSid(sid));
    LocalFree(sid);
    return bytes;
  }

  static const Conversion& Lookup(const SecurityBlock& sec) {
    static std::unordered_map<std::wstring, Conversion> cache;
    std::wstring key = sec.ownerSid + L'\n' + sec.groupSid + L'\n' + sec.sddl;
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    if (cache.size() >= 4096) cache.clear();
    Conversion c;
    c.owner = Sid(sec.ownerSid, c.ownerError);
    c.group = Sid(sec.groupSid, c.groupError);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sec.sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
      LocalFree(descriptor);
    else
      c.sddlError = GetLastError();
    return cache.emplace(std::move(key), std::move(c)).first->second;
  }

  static std::wstring Part(const wchar_t* name, DWORD code, const std::wstring& input) {
    if (!code) return Fmt(L"%ls(0,No error,No error)", name);
    return Fmt(L"%ls(%d,%ls,%ls)", name, static_cast<int>(code), ErrorText(code).c_str(), input.c_str());
  }

  const Conversion& c_;
};

// The stored ACL bytes as an ACL, or none when absent. False when the bytes
// do not hold a whole, valid ACL.
bool AclFrom(std::vector<uint8_t>& bytes, PACL& acl) {
  acl = nullptr;
  if (bytes.empty()) return true;
  if (bytes.size() < sizeof(ACL)) return false;
  PACL candidate = reinterpret_cast<PACL>(bytes.data());
  if (candidate->AclSize > bytes.size() || !IsValidAcl(candidate)) return false;
  acl = candidate;
  return true;
}

void* OpenSecurityObject(const std::wstring& systemPath, uint32_t access, uint32_t flags) {
  return CreateFileW(systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, flags, nullptr);
}

// SetSecurityInfo on a handle opened on the object itself, so a reparse
// point is not followed to its target.
DWORD SetSecurityOnObject(const std::wstring& systemPath, SECURITY_INFORMATION flags, PSID owner, PSID group, PACL dacl,
                          PACL sacl) {
  DWORD access = READ_CONTROL;
  if (flags & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION)) access |= WRITE_OWNER;
  if (flags & DACL_SECURITY_INFORMATION) access |= WRITE_DAC;
  if (flags & SACL_SECURITY_INFORMATION) access |= ACCESS_SYSTEM_SECURITY;
  HANDLE h = g_openSecurityObject(systemPath, access, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  DWORD result = SetSecurityInfo(h, SE_FILE_OBJECT, flags, owner, group, dacl, sacl);
  CloseHandle(h);
  return result;
}

enum class Caller { kDescriptor, kEntry };

bool ApplySecurity(const std::wstring& path, const SecurityBlock& sec, Caller caller, bool onObjectItself) {
  ConvertedSecurity converted(sec);
  if (!converted.Ok()) {
    Say(Fmt(L"  Error in converting a security string to a security information (%ls). %ls\n", path.c_str(),
            converted.ErrorSummary(sec).c_str()));
    if (caller == Caller::kEntry) ++Counters().securitySkipped;
    return false;
  }
  const SECURITY_INFORMATION flags = SecurityFlagsFromSddl(sec.sddl);
  // The descriptor converted above only proves the texts valid; the ACLs
  // applied are the stored bytes.
  std::vector<uint8_t> daclBytes = sec.dacl, saclBytes = sec.sacl;
  PACL dacl = nullptr, sacl = nullptr;
  DWORD result = ERROR_SUCCESS;
  if ((flags & DACL_SECURITY_INFORMATION && !AclFrom(daclBytes, dacl)) ||
      (flags & SACL_SECURITY_INFORMATION && !AclFrom(saclBytes, sacl))) {
    result = ERROR_INVALID_ACL;
  } else if (onObjectItself) {
    result = SetSecurityOnObject(SystemPath(path), flags, converted.Owner(), converted.Group(), dacl, sacl);
  } else {
    std::wstring systemPath = SystemPath(path);
    result = SetNamedSecurityInfoW(systemPath.data(), SE_FILE_OBJECT, flags, converted.Owner(), converted.Group(), dacl,
                                   sacl);
  }
  if (result == ERROR_SUCCESS) return true;
  if (caller == Caller::kEntry) {
    ReportEntrySecurityFailure(path, result);
    return false;
  }
  Say(Fmt(L"  Error in applying security information (%ls). (Error : %d,%ls)\n", path.c_str(), static_cast<int>(result),
          ErrorText(result).c_str()));
  Say(Fmt(L"    Descriptor : %ls\n", sec.sddl.c_str()));
  return false;
}

// A failed step of a junction's metadata: message, count and list record.
void DirectoryAttributeFailure(const wchar_t* format, const std::wstring& path, DWORD code) {
  std::wstring text = ErrorText(code);
  Say(Fmt(format, path.c_str(), static_cast<int>(code), text.c_str()));
  ++Counters().dirAttrSkipped;
  Lists().directoryAttributes.push_back({path, path, text});
}

void JunctionFailure(const std::wstring& message, const CTavJunction& junction, const std::wstring& errorText) {
  Say(message);
  ++Counters().junctionsSkipped;
  Lists().junctions.push_back({junction.path, junction.target, errorText});
  ++Counters().securitySkipped;
}

// The link exists and is a reparse point.
bool LinkExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void CreateSymlinks(bool directory) {
  std::vector<CTavSymbolicLink> records;
  records.swap(directory ? Queues().directoryLinks : Queues().fileLinks);
  RunCounters& counters = Counters();
  int32_t& processed = directory ? counters.dirLinksProcessed : counters.fileLinksProcessed;
  int32_t& skipped = directory ? counters.dirLinksSkipped : counters.fileLinksSkipped;
  std::vector<SkipRecord>& skippedList = directory ? Lists().directoryLinks : Lists().fileLinks;

  for (const CTavSymbolicLink& link : records) {
    const std::wstring target = MklinkTarget(link.target, link.reparseHead);
    std::wstring reason;
    const std::wstring command = MklinkCommand(directory, link.path, target, reason);
    if (!command.empty() && RunMklinkBatch(command, reason)) {
      if (LinkExists(link.path)) {
        ++processed;
        if (link.sec.noSecurity != 0)
          ++counters.securitySkipped;
        else if (!ApplyLinkSecurity(link.path, link.sec.security))
          ++counters.securitySkipped;
        continue;
      }
      reason = L"The symbolic link does not exist after mklink ran.";
    }
    ++skipped;
    skippedList.push_back({link.path, target, reason});
  }
}

}  // namespace

bool ApplySecurityDescriptor(const std::wstring& path, const SecurityBlock& sec) {
  return ApplySecurity(path, sec, Caller::kDescriptor, false);
}

void ApplyEntrySecurity(const std::wstring& path, const SecurityBlock& sec) {
  ApplySecurity(path, sec, Caller::kEntry, false);
}

bool PrepareEntrySecurity(const SecurityBlock& sec, PreparedSecurity& prepared) {
  ConvertedSecurity converted(sec);
  const SECURITY_INFORMATION flags = SecurityFlagsFromSddl(sec.sddl);
  if (!converted.Ok() || (flags & SACL_SECURITY_INFORMATION)) return false;
  std::vector<uint8_t> dacl = sec.dacl;
  PACL acl = nullptr;
  if ((flags & DACL_SECURITY_INFORMATION) && !AclFrom(dacl, acl)) return false;
  prepared.flags = flags;
  auto bytes = [](PSID sid) {
    const uint8_t* p = static_cast<const uint8_t*>(sid);
    return sid ? std::vector<uint8_t>(p, p + GetLengthSid(sid)) : std::vector<uint8_t>();
  };
  prepared.owner = bytes(converted.Owner());
  prepared.group = bytes(converted.Group());
  prepared.dacl = acl ? std::move(dacl) : std::vector<uint8_t>();
  return true;
}

uint32_t SetPreparedSecurity(void* handle, PreparedSecurity& prepared) {
  auto pointer = [](std::vector<uint8_t>& bytes) { return bytes.empty() ? nullptr : bytes.data(); };
  return SetSecurityInfo(handle, SE_FILE_OBJECT, prepared.flags, pointer(prepared.owner), pointer(prepared.group),
                         reinterpret_cast<PACL>(pointer(prepared.dacl)), nullptr);
}

void ReportEntrySecurityFailure(const std::wstring& path, uint32_t error) {
  Say(Fmt(L"  Error in applying security information (%ls). (Error : %d,%ls)\n", path.c_str(), static_cast<int>(error),
          ErrorText(error).c_str()));
  ++Counters().securitySkipped;
}

bool ApplyLinkSecurity(const std::wstring& path, const SecurityBlock& sec) {
  return ApplySecurity(path, sec, Caller::kDescriptor, true);
}

SecurityObjectOpener g_openSecurityObject = OpenSecurityObject;

bool RunMklinkBatch(const std::wstring& command, std::wstring& status) {
  status = L"FINISHED";
  HANDLE file =
      CreateFileW(kBatchName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    status = FileExceptionText(FileExceptionCause(static_cast<long>(GetLastError())));
    return false;
  }
  const std::string line = EncodeConsoleText(command + L"  > result.log");
  DWORD written = 0;
  const bool ok =
      WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
  const DWORD writeError = ok ? 0 : (GetLastError() ? GetLastError() : ERROR_DISK_FULL);
  CloseHandle(file);
  if (!ok) {
    status = FileExceptionText(FileExceptionCause(static_cast<long>(writeError)));
    return false;
  }

  // Started by its full path through the system's cmd, never found by a
  // search of the current folder or PATH.
  wchar_t batchPath[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(kBatchName, static_cast<DWORD>(std::size(batchPath)), batchPath, nullptr);
  wchar_t systemDir[MAX_PATH];
  UINT m = GetSystemDirectoryW(systemDir, MAX_PATH);
  if (n == 0 || n >= std::size(batchPath) || m == 0 || m >= MAX_PATH) {
    status = L"FAILED_TO_CREATE_PROCESS";
    return false;
  }
  std::wstring interpreter = std::wstring(systemDir) + L"\\cmd.exe";
  std::wstring commandLine = L"\"" + interpreter + L"\" /d /s /c \"\"" + batchPath + L"\"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    status = L"FAILED_TO_CREATE_PROCESS";
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  status = L"FINISHED";
  return true;
}

void ApplyDirectoryMetadata(const std::wstring& path, const FindData& findData, const CTavLinkSecurity& sec) {
  const std::wstring systemPath = SystemPath(path);
  HANDLE h = CreateFileW(systemPath.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // Times and attributes both need the handle.
    DirectoryAttributeFailure(
        L"  Failed to retrieve the directory's handle (%ls). Cannot change the directory's "
        L"attribute. (Error code : %d, %ls)\n",
        path, GetLastError());
  } else {
    const FILETIME created = ToFileTime(findData.creationTime);
    const FILETIME accessed = ToFileTime(findData.lastAccessTime);
    const FILETIME written = ToFileTime(findData.lastWriteTime);
    if (!SetFileTime(h, &created, &accessed, &written))
      DirectoryAttributeFailure(L"  Failed to change the directory's time attribute (%ls). (Error code : %d, %ls)\n",
                                path, GetLastError());
    // Attributes through the handle: a junction must not be followed. Zero
    // would mean "unchanged", so no settable bit means NORMAL.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes =
        findData.attributes &
        (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
         FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (!basic.FileAttributes) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof(basic)))
      DirectoryAttributeFailure(L"  Failed to change the directory attribute (%ls). (Warning code : %d, %ls)\n", path,
                                GetLastError());
    CloseHandle(h);
  }
  if (sec.noSecurity == 0) ApplySecurity(path, sec.security, Caller::kEntry, true);
}

void CreateJunctions() {
  std::vector<CTavJunction> records;
  records.swap(Queues().junctions);
  for (const CTavJunction& junction : records) {
    std::vector<uint8_t> buffer = BuildMountPointBuffer(junction.target);
    HANDLE h = CreateFileW(SystemPath(junction.path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      const std::wstring text = ErrorText(code);
      JunctionFailure(Fmt(L"  Failed to retrieve handle to create a junction to the directory (%ls). (Error code : "
                          L"%d, %ls)\n",
                          junction.path.c_str(), static_cast<int>(code), text.c_str()),
                      junction, text);
      continue;
    }
    DWORD code = ERROR_SUCCESS;
    if (buffer.empty()) {
      code = ERROR_FILENAME_EXCED_RANGE;  // the target does not fit a reparse buffer
    } else {
      DWORD returned = 0;
      if (!DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                           &returned, nullptr))
        code = GetLastError();
    }
    CloseHandle(h);
    if (code == ERROR_SUCCESS) {
      ++Counters().junctionsProcessed;
      ApplyDirectoryMetadata(junction.path, junction.findData, junction.sec);
      continue;
    }
    const std::wstring text = ErrorText(code);
    JunctionFailure(Fmt(L" Failed to create the junction to the target directory (%ls, %ls). (Error code : %d, %ls)\n",
                        junction.path.c_str(), junction.target.c_str(), static_cast<int>(code), text.c_str()),
                    junction, text);
  }
}

void CreateDirectorySymlinks() { CreateSymlinks(true); }

void CreateFileSymlinks() { CreateSymlinks(false); }

}  // namespace orva
