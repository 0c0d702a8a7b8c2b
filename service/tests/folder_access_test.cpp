#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>

#include "service_test_util.h"
#include "win/folder_access.h"

namespace orva::service {
namespace {

// The access list itself (Wine does not read a changed list back from the
// file system, so the list is checked here and the call by its result).
TEST(FolderAccess, TheLogFolderListGivesUsersNoWayToChangeIt) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFolderSddl, SDDL_REVISION_1, &sd, nullptr));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(sd, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);  // nothing inherited from above
  BOOL present = FALSE, defaulted = FALSE;
  PSID owner = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorOwner(sd, &owner, &defaulted));
  EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(dacl->AceCount, 3);
  const struct {
    WELL_KNOWN_SID_TYPE who;
    bool full;
  } expected[] = {{WinLocalSystemSid, true}, {WinBuiltinAdministratorsSid, true}, {WinBuiltinUsersSid, false}};
  const DWORD changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES | DELETE |
                        FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER;
  for (DWORD i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    void* raw = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &raw));
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_TRUE(IsWellKnownSid(&ace->SidStart, expected[i].who));
    if (expected[i].full) {
      EXPECT_EQ(ace->Mask & FILE_ALL_ACCESS, static_cast<DWORD>(FILE_ALL_ACCESS));
    } else {
      EXPECT_EQ(ace->Mask & FILE_GENERIC_READ, static_cast<DWORD>(FILE_GENERIC_READ));
      EXPECT_EQ(ace->Mask & changes, 0u);
    }
  }
  LocalFree(sd);
}

TEST(FolderAccess, TheCallAndItsFailures) {
  test::TempFolder dir;
  const std::filesystem::path log = dir / "Log";
  EXPECT_EQ(SecureLogFolder(log.wstring()), 0u);  // made with the list
  EXPECT_TRUE(std::filesystem::is_directory(log));
  EXPECT_EQ(SecureLogFolder(log.wstring()), 0u);  // an existing folder gets it in place of its own
  EXPECT_NE(SecureLogFolder((dir / "missing" / "Log").wstring()), 0u);
  std::ofstream(dir / "file") << "not a folder";
  EXPECT_EQ(SecureLogFolder((dir / "file").wstring()), static_cast<DWORD>(ERROR_DIRECTORY));
}

}  // namespace
}  // namespace orva::service
