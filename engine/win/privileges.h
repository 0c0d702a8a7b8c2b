#pragma once
#include <windows.h>

namespace orva {
// One privilege of the token on or off. False after a failed lookup or
// adjustment, with the system error of the call that failed in error; a
// failed adjustment is also said on the console.
bool SetPrivilege(HANDLE token, const wchar_t* name, bool enable, DWORD& error);
void EnablePrivileges();
void DisablePrivileges();
}  // namespace orva
