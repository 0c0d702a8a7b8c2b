#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/output.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "test_util.h"
#include "win/restore_fs.h"

using namespace orva;
using orva::test::CaptureOutput;
namespace fs = std::filesystem;

namespace {

SecurityBlock AdminsOnly() {
  const wchar_t sddl[] = L"O:BAG:SYD:P(A;;FA;;;BA)(A;;FA;;;SY)";
  SecurityBlock sec{L"S-1-5-32-544", L"S-1-5-18", {}, {}, sddl};
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl)
      sec.dacl.assign(reinterpret_cast<uint8_t*>(dacl), reinterpret_cast<uint8_t*>(dacl) + dacl->AclSize);
    LocalFree(sd);
  }
  return sec;
}

class RestoreFsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Counters() = RunCounters();
    Lists().Clear();
    dir_ = fs::temp_directory_path() / "orva_restore_fs";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    for (auto& entry : fs::recursive_directory_iterator(dir_))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ec;
    fs::remove_all(dir_, ec);
    Counters() = RunCounters();
    Lists().Clear();
  }
  std::wstring Path(int i) const { return (dir_ / Fmt(L"f%02d.txt", i)).wstring(); }

  // A file as the walk restores one, up to its last steps.
  void Make(RestoreFileSystem& rfs, const std::wstring& path) {
    ASSERT_EQ(rfs.MakeFile(path), 0);
    ASSERT_EQ(rfs.Write("data", 4), 0);
    ASSERT_EQ(rfs.CloseFile(), 0);
    FindData fd{};
    fd.lastWriteTime = {0x12345678, 0x01d00000};
    bool handleError = false;
    ASSERT_EQ(rfs.SetTimes(path, false, fd, handleError), 0);
  }

  fs::path dir_;
};

// Files finished behind the walk report in the order they were made, before
// any later message, also past the number held at once; their attributes
// and times are in place once reported.
TEST_F(RestoreFsTest, FinishedFilesReportInOrderBeforeLaterMessages) {
  CaptureOutput out;
  auto rfs = MakeWindowsRestoreFileSystem();
  const SecurityBlock sec = AdminsOnly();
  std::wstring expected;
  const int files = 70;
  for (int i = 0; i < files; ++i) {
    Make(*rfs, Path(i));
    const uint32_t attributes = i % 3 == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
    rfs->FinishFile(Path(i), i % 2 ? &sec : nullptr, attributes,
                    [i](int32_t error) { Say(Fmt(L"finished %d (%d)\n", i, error)); });
    expected += Fmt(L"finished %d (0)\n", i);
  }
  Say(L"next entry\n");
  EXPECT_EQ(out.console, expected + L"next entry\n");
  EXPECT_EQ(Counters().securitySkipped, 0);
  for (int i = 0; i < files; ++i) {
    const DWORD attributes = GetFileAttributesW(Path(i).c_str());
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, i % 3 == 0) << i;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW(Path(i).c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, 0x01d00000u) << i;
  }
}

// The same name made again while the first is still being finished: the
// first is finished and reported first (so that, on Windows, its read-only
// attribute stands in the way as it did when every step was done in turn);
// another name does not wait.
TEST_F(RestoreFsTest, TheSameNameAgainWaitsForTheFirst) {
  CaptureOutput out;
  auto rfs = MakeWindowsRestoreFileSystem();
  Make(*rfs, Path(1));
  int32_t reported = -1;
  rfs->FinishFile(Path(1), nullptr, FILE_ATTRIBUTE_READONLY, [&](int32_t error) { reported = error; });
  Make(*rfs, Path(2));
  EXPECT_EQ(reported, -1);
  const std::wstring first = Path(1);
  rfs->MakeFile(first.substr(0, first.size() - 4) + L".TXT");
  EXPECT_EQ(reported, 0);
  rfs->CloseFile();
  rfs->Settle();
  EXPECT_EQ(out.console, L"");
}

}  // namespace
