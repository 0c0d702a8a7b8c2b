#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "drive_mapping.h"
#include "fixed_disks.h"

namespace orva::platform {
namespace {

TEST(DrivesAndDisks, FixedDisksAndDrivesInUse) {
  std::string note;
  std::vector<DiskInfo> disks = QueryFixedDisks(note);
  EXPECT_TRUE(note == "SUCCESS" || note.rfind("WMI ERROR\n", 0) == 0) << note;
  ASSERT_FALSE(disks.empty()) << note;  // Wine's C: is a fixed disk
  for (const DiskInfo& d : disks) {
    EXPECT_EQ(d.drive.size(), 2u);
    EXPECT_EQ(d.type, service::kFixedDisk);
  }
  EXPECT_TRUE(service::ChooseDefaultRepository(disks).has_value());
  WinDriveMapper mapper(DriveMapping::kSession);
  std::vector<std::string> inUse = mapper.DrivesInUse();
  EXPECT_NE(std::find(inUse.begin(), inUse.end(), "C:"), inUse.end());
  std::printf("fixed disks: %zu; %s\n", disks.size(), note.c_str());
}

TEST(DrivesAndDisks, FailedMappingIsReportedNotThrown) {
  const service::NetworkRepository repo{"Q:", "\\\\no-such-host.invalid\\share", "user", "pw"};
  for (DriveMapping mapping : {DriveMapping::kSession, DriveMapping::kRemembered}) {
    WinDriveMapper mapper(mapping);
    EXPECT_NE(mapper.Connect(repo), 0u);
  }
}

}  // namespace
}  // namespace orva::platform
