#include "win/privileges.h"

#include <windows.h>

#include "core/output.h"
#include "core/wide.h"

namespace orva {

namespace {

const wchar_t* const kPrivileges[] = {
    L"SeAssignPrimaryTokenPrivilege",
    L"SeAuditPrivilege",
    L"SeBackupPrivilege",
    L"SeChangeNotifyPrivilege",
    L"SeCreateGlobalPrivilege",
    L"SeCreatePagefilePrivilege",
    L"SeCreatePermanentPrivilege",
    L"SeCreateTokenPrivilege",
    L"SeDebugPrivilege",
    L"SeEnableDelegationPrivilege",
    L"SeImpersonatePrivilege",
    L"SeIncreaseBasePriorityPrivilege",
    L"SeIncreaseQuotaPrivilege",
    L"SeLoadDriverPrivilege",
    L"SeLockMemoryPrivilege",
    L"SeMachineAccountPrivilege",
    L"SeManageVolumePrivilege",
    L"SeProfileSingleProcessPrivilege",
    L"SeRemoteShutdownPrivilege",
    L"SeRestorePrivilege",
    L"SeSecurityPrivilege",
    L"SeShutdownPrivilege",
    L"SeSyncAgentPrivilege",
    L"SeSystemProfilePrivilege",
    L"SeSystemtimePrivilege",
    L"SeTakeOwnershipPrivilege",
    L"SeTcbPrivilege",
    L"SeUndockPrivilege",
};
constexpr int kCount = sizeof(kPrivileges) / sizeof(kPrivileges[0]);
static_assert(kCount == 28);

bool g_enabled[kCount] = {};
HANDLE g_token = nullptr;

}  // namespace

bool SetPrivilege(HANDLE token, const wchar_t* name, bool enable, DWORD& error) {
  error = 0;
  LUID luid;
  if (!LookupPrivilegeValueW(nullptr, name, &luid)) {
    error = GetLastError();
    return false;
  }
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid = luid;
  tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (!AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr)) {
    // Taken before the message: writing it may change the thread's last error.
    error = GetLastError();
    SayConsole(Fmt(L"   AdjustTokenPrivileges() error: %u\n", static_cast<unsigned>(error)));
    return false;
  }
  return true;
}

void EnablePrivileges() {
  if (!g_token && !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &g_token)) {
    DWORD err = GetLastError();
    g_token = nullptr;
    PrintMessage(true, true, L"Cannot open a handle of the access token. (Error code : %d, %ls)\n",
                 static_cast<int>(err), SystemErrorText(err).c_str());
    return;
  }
  for (int i = 0; i < kCount; ++i) {
    DWORD err = 0;
    g_enabled[i] = SetPrivilege(g_token, kPrivileges[i], true, err);
    if (!g_enabled[i]) {
      PrintMessage(true, true, L"  Failed to acquire privilege for %ls. (Error code : %d, %ls)\n", kPrivileges[i],
                   static_cast<int>(err), SystemErrorText(err).c_str());
    }
  }
}

void DisablePrivileges() {
  if (!g_token) return;
  for (int i = 0; i < kCount; ++i) {
    DWORD err = 0;
    if (!g_enabled[i] || SetPrivilege(g_token, kPrivileges[i], false, err)) continue;
    PrintMessage(true, true, L"  Failed to disabling privilege for %ls. (Error code : %d, %ls)\n", kPrivileges[i],
                 static_cast<int>(err), SystemErrorText(err).c_str());
  }
}

}  // namespace orva
