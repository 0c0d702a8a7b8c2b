// Network drives through WNet: the drives in use, and connections made
// and cancelled either for this session or remembered in the user profile.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "contracts/options_file.h"

namespace orva::platform {

enum class DriveMapping { kSession, kRemembered };

class WinDriveMapper : public service::DriveMapper {
 public:
  // kRemembered passes CONNECT_UPDATE_PROFILE to the connect and the cancel.
  explicit WinDriveMapper(DriveMapping mapping) : mapping_(mapping) {}
  std::vector<std::string> DrivesInUse() override;                          // GetLogicalDriveStringsA
  uint32_t Connect(const service::NetworkRepository& repository) override;  // WNetAddConnection3A
  uint32_t Disconnect(const std::string& drive) override;                   // WNetCancelConnection2A

 private:
  DriveMapping mapping_;
};

}  // namespace orva::platform
