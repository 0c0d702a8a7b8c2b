// The Windows side of the repositories: drive mapping through WNet, and the
// fixed disks through WMI (Win32_LogicalDisk) or the drive calls.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/options.h"

namespace orva::service {

class WinDriveMapper : public DriveMapper {
 public:
  std::vector<std::string> DrivesInUse() override;   // GetLogicalDriveStringsA
  uint32_t Connect(const NetworkRepository& repository) override;  // WNetAddConnection3A
  uint32_t Disconnect(const std::string& drive) override;         // WNetCancelConnection2A
};

// Free bytes for the caller on the drive ("C:"); 0 when the query fails.
int64_t GetDriveFreeBytes(const std::string& drive);

// Fixed disks with their free bytes, through WMI. When WMI cannot be used
// (as under Wine, where parts of it are missing) the drive calls give the
// same list. `note` is "SUCCESS", or "WMI ERROR\n..." followed by a line
// saying that the drive calls were used.
std::vector<DiskInfo> QueryFixedDisks(std::string& note);

// Same list from GetLogicalDrives, GetDriveTypeW and GetDiskFreeSpaceExW.
std::vector<DiskInfo> QueryFixedDisksByDriveCalls();

}  // namespace orva::service
