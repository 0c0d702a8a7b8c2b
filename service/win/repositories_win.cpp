#include "win/repositories_win.h"

#include <windows.h>
#include <winnetwk.h>
#include <wbemidl.h>

#include <cstdio>
#include <cstring>
#include <string_view>

namespace orva::service {
namespace {

std::string HexError(const char* what, HRESULT hr) {
  char text[160];
  std::snprintf(text, sizeof text, "WMI ERROR\n%s. Error code = %lx", what, static_cast<unsigned long>(hr));
  return text;
}

std::string WideToAnsi(const wchar_t* text) {
  if (!text || !*text) return {};
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

template <typename T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// The WMI query itself; COM is initialised by the caller.
std::string QueryWmi(std::vector<DiskInfo>& disks) {
  HRESULT hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) return HexError("Failed to initialize security", hr);
  IWbemLocator* locator = nullptr;
  hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                        reinterpret_cast<void**>(&locator));
  if (FAILED(hr)) return HexError("Failed to create IWbemLocator object", hr);
  IWbemServices* services = nullptr;
  BSTR space = SysAllocString(L"ROOT\\CIMV2");
  hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
  SysFreeString(space);
  Release(locator);
  if (FAILED(hr)) return HexError("Could not connect", hr);
  hr = CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) {
    Release(services);
    return HexError("Could not set proxy blanket", hr);
  }
  IEnumWbemClassObject* rows = nullptr;
  BSTR language = SysAllocString(L"WQL");
  BSTR query = SysAllocString(L"SELECT Caption FROM Win32_LogicalDisk WHERE DriveType = 3");
  hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &rows);
  SysFreeString(language);
  SysFreeString(query);
  if (FAILED(hr)) {
    Release(services);
    return HexError("Query for Disk Information Query failed", hr);
  }
  disks.clear();
  for (;;) {
    IWbemClassObject* row = nullptr;
    ULONG got = 0;
    if (rows->Next(WBEM_INFINITE, 1, &row, &got) != WBEM_S_NO_ERROR || got == 0) break;
    VARIANT caption;
    VariantInit(&caption);
    if (SUCCEEDED(row->Get(L"Caption", 0, &caption, nullptr, nullptr)) && caption.vt == VT_BSTR) {
      std::string drive = WideToAnsi(caption.bstrVal);
      if (!drive.empty()) disks.push_back({drive, kFixedDisk, GetDriveFreeBytes(drive)});
    }
    VariantClear(&caption);
    Release(row);
  }
  Release(rows);
  Release(services);
  return "SUCCESS";
}

}  // namespace

std::vector<std::string> WinDriveMapper::DrivesInUse() {
  std::vector<std::string> drives;
  char buffer[256] = {};
  DWORD size = GetLogicalDriveStringsA(sizeof buffer - 1, buffer);
  if (size == 0 || size >= sizeof buffer) return drives;
  for (const char* root = buffer; *root; root += std::strlen(root) + 1) {
    std::string_view text(root);
    drives.emplace_back(text.substr(0, text.find('\\')));
  }
  return drives;
}

uint32_t WinDriveMapper::Connect(const NetworkRepository& repo) {
  std::string local = repo.drive, remote = repo.share;
  NETRESOURCEA resource{};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpLocalName = local.data();
  resource.lpRemoteName = remote.data();
  const std::string user = repo.QualifiedUser();
  DWORD result = WNetAddConnection3A(nullptr, &resource, repo.password.c_str(), user.c_str(), CONNECT_UPDATE_PROFILE);
  return result == NO_ERROR ? 0 : static_cast<uint32_t>(result);
}

uint32_t WinDriveMapper::Disconnect(const std::string& drive) {
  DWORD result = WNetCancelConnection2A(drive.c_str(), CONNECT_UPDATE_PROFILE, FALSE);
  return result == NO_ERROR ? 0 : static_cast<uint32_t>(result);
}

int64_t GetDriveFreeBytes(const std::string& drive) {
  std::string root = drive;
  if (!root.empty() && root.back() != '\\') root += '\\';
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExA(root.c_str(), &available, &total, &free)) return 0;
  return static_cast<int64_t>(free.QuadPart);
}

std::vector<DiskInfo> QueryFixedDisksByDriveCalls() {
  std::vector<DiskInfo> disks;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const std::string drive = std::string(1, static_cast<char>('A' + i)) + ":";
    const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
    if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
    disks.push_back({drive, kFixedDisk, GetDriveFreeBytes(drive)});
  }
  return disks;
}

std::vector<DiskInfo> QueryFixedDisks(std::string& note) {
  std::vector<DiskInfo> disks;
  const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
    note = HexError("Failed to initialize COM", init);
  } else {
    note = QueryWmi(disks);
    if (SUCCEEDED(init)) CoUninitialize();
  }
  if (note != "SUCCESS" || disks.empty()) {
    if (note == "SUCCESS") note = "WMI ERROR\nThe query returned no fixed disk";
    note += "\nFixed disks taken from the drive calls instead";
    disks = QueryFixedDisksByDriveCalls();
  }
  return disks;
}

}  // namespace orva::service
