// The fixed disks of this machine and their free bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "contracts/options_file.h"

namespace orva::platform {

using service::DiskInfo;

// Free bytes for the caller on the drive ("C:"); 0 when the query fails.
int64_t GetDriveFreeBytes(const std::string& drive);

// Fixed disks with their free bytes, through WMI (Win32_LogicalDisk). When
// WMI cannot be used (as under Wine, where parts of it are missing) the
// drive calls give the same list. `note` is "SUCCESS", or "WMI ERROR\n..."
// followed by a line saying that the drive calls were used.
std::vector<DiskInfo> QueryFixedDisks(std::string& note);

// Same list from GetLogicalDrives, GetDriveTypeW and GetDiskFreeSpaceExW.
std::vector<DiskInfo> QueryFixedDisksByDriveCalls();

}  // namespace orva::platform
