#include "drive_mapping.h"

#include <windows.h>
#include <winnetwk.h>

#include <cstring>
#include <string_view>

namespace orva::platform {

namespace {
DWORD FlagsOf(DriveMapping mapping) { return mapping == DriveMapping::kRemembered ? CONNECT_UPDATE_PROFILE : 0; }
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

uint32_t WinDriveMapper::Connect(const service::NetworkRepository& repo) {
  std::string local = repo.drive, remote = repo.share;
  NETRESOURCEA resource{};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpLocalName = local.data();
  resource.lpRemoteName = remote.data();
  const std::string user = repo.QualifiedUser();
  DWORD result = WNetAddConnection3A(nullptr, &resource, repo.password.c_str(), user.c_str(), FlagsOf(mapping_));
  return result == NO_ERROR ? 0 : static_cast<uint32_t>(result);
}

uint32_t WinDriveMapper::Disconnect(const std::string& drive) {
  DWORD result = WNetCancelConnection2A(drive.c_str(), FlagsOf(mapping_), FALSE);
  return result == NO_ERROR ? 0 : static_cast<uint32_t>(result);
}

}  // namespace orva::platform
