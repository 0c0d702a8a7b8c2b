// The access list of the Log folder, where the service writes the scripts
// it runs as LocalSystem: only SYSTEM and the Administrators may change what
// lies there, Users may read it.
#pragma once
#include <windows.h>

#include <string>

namespace orva::service {

// Owner Administrators; SYSTEM and Administrators full control, Users read,
// each inherited by the files and folders inside; nothing inherited from
// the folder above (a protected list).
inline constexpr wchar_t kLogFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

// Creates the folder with that access list, or gives an existing folder the
// list in place of its own and of the inherited one. A link or a file in its
// place is refused. 0 on success, else the system error code.
DWORD SecureLogFolder(const std::wstring& path);

}  // namespace orva::service
