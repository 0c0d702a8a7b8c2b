#include "win/folder_access.h"

#include <aclapi.h>
#include <sddl.h>

namespace orva::service {

DWORD SecureLogFolder(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFolderSddl, SDDL_REVISION_1, &descriptor, nullptr))
    return GetLastError();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  DWORD error = 0;
  if (!CreateDirectoryW(path.c_str(), &attributes)) {
    error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
      const DWORD found = GetFileAttributesW(path.c_str());
      if (found == INVALID_FILE_ATTRIBUTES) {
        error = GetLastError();
      } else if (!(found & FILE_ATTRIBUTE_DIRECTORY) || (found & FILE_ATTRIBUTE_REPARSE_POINT)) {
        error = ERROR_DIRECTORY;
      } else {
        // An existing folder (made by an earlier start, or by someone
        // else): its own entries and the inherited ones are replaced.
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        PSID owner = nullptr;
        GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
        GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
        std::wstring name = path;
        error = SetNamedSecurityInfoW(
            name.data(), SE_FILE_OBJECT,
            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, owner,
            nullptr, dacl, nullptr);
      }
    }
  }
  LocalFree(descriptor);
  return error;
}

}  // namespace orva::service
