#include <gtest/gtest.h>

#include "win/repositories_win.h"

namespace orva::service {
namespace {

TEST(RepositoriesWin, FixedDisksAndDrivesInUse) {
  std::string note;
  std::vector<DiskInfo> disks = QueryFixedDisks(note);
  EXPECT_TRUE(note == "SUCCESS" || note.rfind("WMI ERROR\n", 0) == 0) << note;
  ASSERT_FALSE(disks.empty()) << note;  // Wine's C: is a fixed disk
  for (const DiskInfo& d : disks) {
    EXPECT_EQ(d.drive.size(), 2u);
    EXPECT_EQ(d.type, kFixedDisk);
  }
  EXPECT_TRUE(ChooseDefaultRepository(disks).has_value());
  WinDriveMapper mapper;
  std::vector<std::string> inUse = mapper.DrivesInUse();
  EXPECT_NE(std::find(inUse.begin(), inUse.end(), "C:"), inUse.end());
  std::printf("fixed disks: %zu; %s\n", disks.size(), note.c_str());
}

TEST(RepositoriesWin, FailedMappingIsReportedNotThrown) {
  WinDriveMapper mapper;
  NetworkRepository repo{"Q:", "\\\\no-such-host.invalid\\share", "user", "pw"};
  EXPECT_NE(mapper.Connect(repo), 0u);
}

}  // namespace
}  // namespace orva::service
