#include "fixed_disks.h"

#include <windows.h>
#include <objbase.h>

#include "wmi_query.h"

namespace orva::platform {
namespace {

using service::kFixedDisk;

// The fixed disks as WMI lists them; COM is initialised by the caller.
std::string QueryWmi(std::vector<DiskInfo>& disks) {
  std::vector<std::string> captions;
  std::string error = WmiStrings(L"SELECT Caption FROM Win32_LogicalDisk WHERE DriveType = 3", L"Caption", captions);
  if (!error.empty()) return error;
  disks.clear();
  for (const auto& drive : captions)
    if (!drive.empty()) disks.push_back({drive, kFixedDisk, GetDriveFreeBytes(drive)});
  return "SUCCESS";
}

}  // namespace

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
    note = WmiError("Failed to initialize COM", init);
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

}  // namespace orva::platform
