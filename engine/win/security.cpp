#include "win/security.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <unordered_map>

#include "core/output.h"
#include "core/run_log.h"
#include "core/wide.h"

namespace orva {

namespace {

struct Converted {
  SecurityBlock block;
  int32_t state;
  int32_t ownerError, groupError, sddlError;
};

// Most objects of a tree share a handful of descriptors: convert each once.
class ConversionCache {
 public:
  const Converted* Find(const std::string& key) {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }
  void Put(const std::string& key, const Converted& c) {
    if (map_.size() >= kLimit) map_.clear();
    map_.emplace(key, c);
  }

 private:
  static constexpr size_t kLimit = 4096;
  std::unordered_map<std::string, Converted> map_;
};

ConversionCache& Cache() {
  static ConversionCache cache;
  return cache;
}

std::wstring SidText(PSID sid, int32_t& error) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) {
    error = static_cast<int32_t>(sid ? GetLastError() : ERROR_INVALID_SID);
    return std::wstring();
  }
  std::wstring s(text);
  LocalFree(text);
  error = 0;
  return s;
}

std::vector<uint8_t> AclBytes(PACL acl) {
  if (!acl) return {};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(acl);
  return std::vector<uint8_t>(p, p + acl->AclSize);
}

Converted Convert(PSECURITY_DESCRIPTOR sd, PSID owner, PSID group, PACL dacl, PACL sacl, bool withLabel) {
  Converted c{};
  c.block.ownerSid = SidText(owner, c.ownerError);
  c.block.groupSid = SidText(group, c.groupError);
  c.block.dacl = AclBytes(dacl);
  c.block.sacl = AclBytes(sacl);
  SECURITY_INFORMATION info =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
  if (withLabel) info |= LABEL_SECURITY_INFORMATION;
  wchar_t* sddl = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, info, &sddl, nullptr)) {
    c.block.sddl = sddl;
    LocalFree(sddl);
  } else {
    c.sddlError = static_cast<int32_t>(GetLastError());
  }
  c.state = (c.ownerError || c.groupError || c.sddlError) ? kSecurityNotConverted : kSecurityPresent;
  return c;
}

std::wstring Pair(int32_t code) {
  if (!code) return L"0, No error";
  return Fmt(L"%d, %ls", code, SystemErrorText(code).c_str());
}

}  // namespace

namespace {
constexpr DWORD kQueryBuffer = 4096;
constexpr SECURITY_INFORMATION kAllParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION;
}  // namespace

namespace {

// A copy of a self-relative descriptor, and frees the platform's.
RawSecurity Keep(DWORD err, PSECURITY_DESCRIPTOR sd) {
  RawSecurity raw;
  raw.error = err;
  if (err == ERROR_SUCCESS && sd) {
    const uint8_t* p = static_cast<const uint8_t*>(sd);
    raw.descriptor.assign(p, p + GetSecurityDescriptorLength(sd));
  }
  if (sd) LocalFree(sd);
  return raw;
}

}  // namespace

RawSecurity ReadSecurity(const std::wstring& systemPath) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  DWORD err =
      GetNamedSecurityInfoW(systemPath.c_str(), SE_FILE_OBJECT, kAllParts, nullptr, nullptr, nullptr, nullptr, &sd);
  return Keep(err, sd);
}

RawSecurity ReadSecurity(HANDLE object) {
  // One query into a buffer that fits nearly every descriptor; the library
  // call, which asks twice, when it does not or fails (it gives the error).
  RawSecurity raw;
  raw.descriptor.resize(kQueryBuffer);
  DWORD needed = 0;
  if (GetKernelObjectSecurity(object, kAllParts, raw.descriptor.data(), kQueryBuffer, &needed)) {
    raw.descriptor.resize(GetSecurityDescriptorLength(raw.descriptor.data()));
    return raw;
  }
  PSECURITY_DESCRIPTOR sd = nullptr;
  DWORD err = GetSecurityInfo(object, SE_FILE_OBJECT, kAllParts, nullptr, nullptr, nullptr, nullptr, &sd);
  return Keep(err, sd);
}

int32_t SecurityCapture::Capture(const std::wstring& displayPath, const std::wstring& systemPath, bool withLabel) {
  return Take(displayPath, ReadSecurity(systemPath), withLabel);
}

int32_t SecurityCapture::CaptureFromHandle(const std::wstring& displayPath, HANDLE object, bool withLabel) {
  return Take(displayPath, ReadSecurity(object), withLabel);
}

int32_t SecurityCapture::Take(const std::wstring& displayPath, const RawSecurity& raw, bool withLabel) {
  if (raw.error != ERROR_SUCCESS || raw.descriptor.empty())
    return Take(displayPath, raw.error, nullptr, nullptr, nullptr, nullptr, nullptr, withLabel);
  PSECURITY_DESCRIPTOR sd = LocalAlloc(LMEM_FIXED, raw.descriptor.size());
  if (!sd) return Take(displayPath, GetLastError(), nullptr, nullptr, nullptr, nullptr, nullptr, withLabel);
  std::memcpy(sd, raw.descriptor.data(), raw.descriptor.size());
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr, sacl = nullptr;
  BOOL defaulted = FALSE, daclPresent = FALSE, saclPresent = FALSE;
  GetSecurityDescriptorOwner(sd, &owner, &defaulted);
  GetSecurityDescriptorGroup(sd, &group, &defaulted);
  if (!GetSecurityDescriptorDacl(sd, &daclPresent, &dacl, &defaulted) || !daclPresent) dacl = nullptr;
  if (!GetSecurityDescriptorSacl(sd, &saclPresent, &sacl, &defaulted) || !saclPresent) sacl = nullptr;
  return Take(displayPath, ERROR_SUCCESS, sd, owner, group, dacl, sacl, withLabel);
}

int32_t SecurityCapture::Take(const std::wstring& displayPath, unsigned long err, void* descriptor, void* owner,
                              void* group, void* dacl, void* sacl, bool withLabel) {
  path = displayPath;
  block = SecurityBlock();
  PSECURITY_DESCRIPTOR sd = descriptor;
  if (err != ERROR_SUCCESS || !sd) {
    if (sd) LocalFree(sd);
    retrieveError = static_cast<int32_t>(err ? err : ERROR_INVALID_SECURITY_DESCR);
    state = kSecurityNotRetrieved;
    return state;
  }
  DWORD length = GetSecurityDescriptorLength(sd);
  std::string key(withLabel ? "L" : "-");
  key.append(static_cast<const char*>(sd), length);
  const Converted* hit = Cache().Find(key);
  Converted c = hit ? *hit : Convert(sd, owner, group, static_cast<PACL>(dacl), static_cast<PACL>(sacl), withLabel);
  if (!hit) Cache().Put(key, c);
  LocalFree(sd);
  block = c.block;
  state = c.state;
  ownerError = c.ownerError;
  groupError = c.groupError;
  sddlError = c.sddlError;
  return state;
}

void SecurityCapture::Report(bool walkerText, const std::wstring& shownName) const {
  if (state == kSecurityPresent) return;
  ++Counters().securitySkipped;
  if (state == kSecurityNotRetrieved) {
    std::wstring text = SystemErrorText(retrieveError);
    Say(Fmt(walkerText ? L"  Failed to retrieve security information for %ls. (Warning code : %d, %ls)\n"
                       : L"  Failed to retrieve security infomation for %ls. (Warning code : %d, %ls)\n",
            (shownName.empty() ? path : shownName).c_str(), retrieveError, text.c_str()));
    Lists().securityWarnings.push_back({path, L" ", text});
    return;
  }
  std::wstring message =
      Fmt(L"  Error in converting SID to string for %ls. (Error codes : SID Owner(%ls), SID Group(%ls), Security "
          L"descriptor (%ls))\n",
          path.c_str(), Pair(ownerError).c_str(), Pair(groupError).c_str(), Pair(sddlError).c_str());
  Say(message);
  Lists().securityWarnings.push_back({path, L"", message});
}

bool SecurityCapture::Write(FileStream& header) const {
  return state != kSecurityPresent || WriteSecurityBlock(header, block);
}

}  // namespace orva
