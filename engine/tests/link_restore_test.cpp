#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/output.h"
#include "core/restore_queues.h"
#include "core/run_log.h"
#include "core/wide.h"
#include "test_util.h"
#include "win/link_restore.h"

using namespace orva;
using orva::test::CaptureOutput;
namespace fs = std::filesystem;

namespace {

void ResetState() {
  Counters() = RunCounters();
  Lists().Clear();
  Queues().Clear();
}

std::string ReadAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A security block as the capture stores it, with the DACL bytes taken
// from the SDDL text.
SecurityBlock Security(const std::wstring& owner, const std::wstring& group, const std::wstring& sddl) {
  SecurityBlock sec{owner, group, {}, {}, sddl};
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) && present && dacl) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(dacl);
      sec.dacl.assign(p, p + dacl->AclSize);
    }
    LocalFree(sd);
  }
  return sec;
}

const wchar_t kAdmins[] = L"S-1-5-32-544";
const wchar_t kSystem[] = L"S-1-5-18";
const wchar_t kSddl[] = L"O:BAG:SYD:P(A;;FA;;;BA)(A;;FA;;;SY)";

std::wstring ErrorText(long code) { return SystemErrorText(code); }

// "code,text," of a refused SDDL text (the code differs between systems).
std::wstring SddlError(const std::wstring& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
    LocalFree(sd);
    return L"converted";
  }
  const long code = static_cast<long>(GetLastError());
  return Fmt(L"%ld,%ls,", code, ErrorText(code).c_str());
}

// A fresh folder that is the current folder while the test runs (the
// batch files go there).
class LinkRestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetState();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("orva_lr_") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    oldCwd_ = cwd;
    SetCurrentDirectoryW(dir_.c_str());
  }
  void TearDown() override {
    SetCurrentDirectoryW(oldCwd_.c_str());
    std::error_code ec;
    fs::remove_all(dir_, ec);
    ResetState();
  }
  std::wstring Path(const std::wstring& name) const { return (dir_ / name).wstring(); }
  void MakeFile(const std::wstring& name) const { std::ofstream(dir_ / name) << "data"; }

  fs::path dir_;
  std::wstring oldCwd_;
};

TEST_F(LinkRestoreTest, SecurityAppliedToARealFileOrReportedWhenMissing) {
  MakeFile(L"f.txt");
  const SecurityBlock sec = Security(kAdmins, kSystem, kSddl);
  ASSERT_FALSE(sec.dacl.empty());
  {
    CaptureOutput out;
    EXPECT_TRUE(ApplySecurityDescriptor(Path(L"f.txt"), sec));
    ApplyEntrySecurity(Path(L"f.txt"), sec);
    EXPECT_EQ(out.console, L"");
    EXPECT_EQ(Counters().securitySkipped, 0);
  }
  // The object is gone: the system's refusal with its code; only the entry
  // form counts, only the descriptor form shows the SDDL text.
  const std::wstring missing = Path(L"gone.txt");
  const std::wstring refused =
      Fmt(L"  Error in applying security information (%ls). (Error : 2,%ls)\n", missing.c_str(), ErrorText(2).c_str());
  CaptureOutput out;
  EXPECT_FALSE(ApplySecurityDescriptor(missing, sec));
  EXPECT_EQ(out.console, refused + L"    Descriptor : " + kSddl + L"\n");
  EXPECT_EQ(Counters().securitySkipped, 0);
  out.console.clear();
  out.log.clear();
  ApplyEntrySecurity(missing, sec);
  EXPECT_EQ(out.console, refused);
  EXPECT_EQ(out.log, refused);
  EXPECT_EQ(Counters().securitySkipped, 1);
}

// The owner, group and DACL as the system reads them back, as text.
std::wstring ReadBack(const std::wstring& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr, &sd))
    return L"unreadable";
  LPWSTR text = nullptr;
  std::wstring result = L"unconvertible";
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, what, &text, nullptr)) {
    result = text;
    LocalFree(text);
  }
  LocalFree(sd);
  return result;
}

// An entry's security set through a handle as the restore's finisher sets
// it: prepared, set, and reported when refused.
void ApplyThroughHandle(const std::wstring& path, const SecurityBlock& sec, HANDLE handle) {
  PreparedSecurity prepared;
  ASSERT_TRUE(PrepareEntrySecurity(sec, prepared));
  if (uint32_t error = SetPreparedSecurity(handle, prepared)) ReportEntrySecurityFailure(path, error);
}

// Through a handle, the entry's security gives the same result as by name,
// and the handle's own rights decide.
TEST_F(LinkRestoreTest, EntrySecurityThroughTheFilesHandle) {
  MakeFile(L"by_name.txt");
  MakeFile(L"by_handle.txt");
  MakeFile(L"weak_handle.txt");
  const SecurityBlock sec = Security(kAdmins, kSystem, L"O:BAG:SYD:(A;;FA;;;BA)(A;;FR;;;SY)");
  auto open = [&](const wchar_t* name, DWORD access) {
    return CreateFileW(Path(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  };
  HANDLE strong = open(L"by_handle.txt", GENERIC_WRITE | READ_CONTROL | WRITE_DAC | WRITE_OWNER);
  HANDLE weak = open(L"weak_handle.txt", FILE_WRITE_ATTRIBUTES);
  ASSERT_NE(strong, INVALID_HANDLE_VALUE);
  ASSERT_NE(weak, INVALID_HANDLE_VALUE);
  CaptureOutput out;
  ApplyEntrySecurity(Path(L"by_name.txt"), sec);
  ApplyThroughHandle(Path(L"by_handle.txt"), sec, strong);
  EXPECT_EQ(out.console, L"");
  EXPECT_EQ(Counters().securitySkipped, 0);
  ApplyThroughHandle(Path(L"weak_handle.txt"), sec, weak);
  CloseHandle(strong);
  CloseHandle(weak);
  EXPECT_EQ(ReadBack(Path(L"by_handle.txt")), ReadBack(Path(L"by_name.txt")));
  const std::wstring refused = Fmt(L"  Error in applying security information (%ls). (Error : 5,%ls)\n",
                                   Path(L"weak_handle.txt").c_str(), ErrorText(5).c_str());
  EXPECT_EQ(out.console, refused);
  EXPECT_EQ(out.log, refused);
  EXPECT_EQ(Counters().securitySkipped, 1);
}

namespace {
struct Opened {
  std::wstring path;
  uint32_t access, flags;
};
std::vector<Opened> g_opened;
SecurityObjectOpener g_realOpener = nullptr;
void* RecordingOpener(const std::wstring& path, uint32_t access, uint32_t flags) {
  g_opened.push_back({path, access, flags});
  return g_realOpener(path, access, flags);
}
}  // namespace

// A symbolic link's security goes on the link itself: one handle that does
// not follow the link (the call itself on a plain file: Wine makes no links).
TEST_F(LinkRestoreTest, LinkSecuritySetOnTheLinkItself) {
  MakeFile(L"f.txt");
  const SecurityBlock sec = Security(kAdmins, kSystem, kSddl);
  g_opened.clear();
  g_realOpener = g_openSecurityObject;
  g_openSecurityObject = RecordingOpener;
  CaptureOutput out;
  const bool applied = ApplyLinkSecurity(Path(L"f.txt"), sec);
  const bool missing = ApplyLinkSecurity(Path(L"gone.txt"), sec);
  const bool hardLink = ApplySecurityDescriptor(Path(L"f.txt"), sec);  // by name, not through the opener
  g_openSecurityObject = g_realOpener;
  EXPECT_TRUE(applied);
  EXPECT_TRUE(hardLink);
  EXPECT_FALSE(missing);
  ASSERT_EQ(g_opened.size(), 2u);
  for (const Opened& o : g_opened) {
    EXPECT_EQ(o.flags & (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS),
              static_cast<uint32_t>(FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS));
    EXPECT_EQ(o.access & (WRITE_OWNER | WRITE_DAC), static_cast<uint32_t>(WRITE_OWNER | WRITE_DAC));
  }
  EXPECT_NE(g_opened[0].path.find(L"f.txt"), std::wstring::npos);
  // Failures read as ApplySecurityDescriptor's: the caller counts Security.
  const std::wstring gone = Path(L"gone.txt");
  EXPECT_EQ(out.console, Fmt(L"  Error in applying security information (%ls). (Error : 2,%ls)\n", gone.c_str(),
                             ErrorText(2).c_str()) +
                             L"    Descriptor : " + kSddl + L"\n");
  EXPECT_EQ(Counters().securitySkipped, 0);
}

TEST_F(LinkRestoreTest, ConversionFailureNamesEachPart) {
  MakeFile(L"f.txt");
  const std::wstring path = Path(L"f.txt");
  const std::wstring ok = L"0,No error,No error";
  const std::wstring badSid = Fmt(L"1337,%ls,", ErrorText(1337).c_str());
  struct Case {
    SecurityBlock sec;
    std::wstring owner, group, description;
  };
  const Case cases[] = {
      {Security(L"S-bogus", kSystem, kSddl), badSid + L"S-bogus", ok, ok},
      {Security(kAdmins, L"S-1-x", kSddl), ok, badSid + L"S-1-x", ok},
      {SecurityBlock{kAdmins, kSystem, {}, {}, L"D:(bogus)"}, ok, ok, SddlError(L"D:(bogus)") + L"D:(bogus)"},
  };
  int expectedCount = 0;
  for (const Case& c : cases) {
    const std::wstring message =
        Fmt(L"  Error in converting a security string to a security information (%ls). Owner(%ls), Group(%ls), "
            L"Description(%ls)\n",
            path.c_str(), c.owner.c_str(), c.group.c_str(), c.description.c_str());
    CaptureOutput out;
    EXPECT_FALSE(ApplySecurityDescriptor(path, c.sec));
    EXPECT_EQ(Counters().securitySkipped, expectedCount);
    ApplyEntrySecurity(path, c.sec);
    EXPECT_EQ(Counters().securitySkipped, ++expectedCount);
    EXPECT_EQ(out.console, message + message);
    EXPECT_EQ(out.log, message + message);
  }
}

TEST_F(LinkRestoreTest, BatchHoldsTheLastCommandAndRuns) {
  std::wstring status;
  ASSERT_TRUE(RunMklinkBatch(L"echo one", status));
  ASSERT_TRUE(RunMklinkBatch(L"echo two", status));
  EXPECT_EQ(status, L"FINISHED");
  EXPECT_EQ(ReadAll(dir_ / "mklink_command.bat"), "echo two  > result.log");
  EXPECT_EQ(ReadAll(dir_ / "result.log").substr(0, 3), "two");
}

TEST_F(LinkRestoreTest, LinksCountedByWhatExistsAfterMklink) {
  MakeFile(L"t%1.txt");
  fs::create_directories(dir_ / "tdir");
  // Absolute links: print name, "\??\", print name; mklink gets the first part.
  auto queued = [](const std::wstring& link, const std::wstring& target) {
    CTavSymbolicLink r;
    r.path = link;
    r.target = target + L"\\??\\" + target;
    r.reparseHead[8] = static_cast<uint8_t>(target.size() * 2);
    r.reparseHead[9] = static_cast<uint8_t>(target.size() * 2 >> 8);
    return r;  // no stored security
  };
  const std::wstring fileTarget = Path(L"t%1.txt"), dirTarget = Path(L"tdir");
  Queues().fileLinks.push_back(queued(Path(L"bad.txt"), Path(L"t\"x")));
  Queues().fileLinks.push_back(queued(Path(L"l%1.txt"), fileTarget));
  Queues().directoryLinks.push_back(queued(Path(L"ld"), dirTarget));
  CaptureOutput out;
  CreateDirectorySymlinks();
  CreateFileSymlinks();
  EXPECT_TRUE(Queues().fileLinks.empty());
  EXPECT_TRUE(Queues().directoryLinks.empty());
  EXPECT_EQ(out.console, L"");
  // The refused one never reached the batch: it holds the last good command.
  const std::string batch = ReadAll(dir_ / "mklink_command.bat");
  EXPECT_NE(batch.find("mklink \""), std::string::npos);
  EXPECT_NE(batch.find("l%%1.txt\" \""), std::string::npos) << batch;
  EXPECT_NE(batch.find("t%%1.txt\"  > result.log"), std::string::npos) << batch;

  const RunCounters& c = Counters();
  const RunLists& l = Lists();
  ASSERT_EQ(l.fileLinks.size(), 2u - c.fileLinksProcessed);
  EXPECT_EQ(l.fileLinks[0].path, Path(L"bad.txt"));
  EXPECT_EQ(l.fileLinks[0].reason, L"Invalid character in the link path or target.");
  const bool fileMade = GetFileAttributesW(Path(L"l%1.txt").c_str()) != INVALID_FILE_ATTRIBUTES;
  const bool dirMade = GetFileAttributesW(Path(L"ld").c_str()) != INVALID_FILE_ATTRIBUTES;
  EXPECT_EQ(c.fileLinksProcessed, fileMade ? 1 : 0);
  EXPECT_EQ(c.fileLinksSkipped, fileMade ? 1 : 2);
  EXPECT_EQ(c.dirLinksProcessed, dirMade ? 1 : 0);
  EXPECT_EQ(c.dirLinksSkipped, dirMade ? 0 : 1);
  // A made link without stored security counts Security once, silently.
  EXPECT_EQ(c.securitySkipped, (fileMade ? 1 : 0) + (dirMade ? 1 : 0));
  const std::wstring notMade = L"The symbolic link does not exist after mklink ran.";
  if (!fileMade) {
    EXPECT_EQ(l.fileLinks[1].path, Path(L"l%1.txt"));
    EXPECT_EQ(l.fileLinks[1].target, fileTarget);
    EXPECT_EQ(l.fileLinks[1].reason, notMade);
  }
  if (!dirMade) {
    ASSERT_EQ(l.directoryLinks.size(), 1u);
    EXPECT_EQ(l.directoryLinks[0].target, dirTarget);
    EXPECT_EQ(l.directoryLinks[0].reason, notMade);
  }
}

TEST_F(LinkRestoreTest, BatchThatCannotBeWrittenSkipsEveryLink) {
  fs::create_directories(dir_ / "mklink_command.bat");  // a folder in its place
  std::wstring status;
  EXPECT_FALSE(RunMklinkBatch(L"echo x", status));
  EXPECT_EQ(status, L"The file could not be accessed.");
  for (const wchar_t* name : {L"a", L"b"}) {
    CTavSymbolicLink r;
    r.path = Path(name);
    r.target = L"C:\\t";
    r.sec.noSecurity = 0;
    Queues().fileLinks.push_back(r);
  }
  CreateFileSymlinks();
  EXPECT_EQ(Counters().fileLinksSkipped, 2);
  EXPECT_EQ(Counters().fileLinksProcessed, 0);
  EXPECT_EQ(Counters().securitySkipped, 0);
  ASSERT_EQ(Lists().fileLinks.size(), 2u);
  EXPECT_EQ(Lists().fileLinks[1].target, L"");  // head offset 0: no characters
  EXPECT_EQ(Lists().fileLinks[1].reason, L"The file could not be accessed.");
}

TEST_F(LinkRestoreTest, JunctionsSkippedWithTheirReason) {
  fs::create_directories(dir_ / "j");
  fs::create_directories(dir_ / "long");
  const std::wstring target = L"\\??\\" + Path(L"tdir");
  const std::wstring longTarget = L"\\??\\C:\\" + std::wstring(8200, L'a');
  for (auto [name, t] : {std::pair{L"gone", target}, std::pair{L"long", longTarget}, std::pair{L"j", target}}) {
    CTavJunction j;
    j.path = Path(name);
    j.target = t;
    j.findData.attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    Queues().junctions.push_back(j);
  }
  CaptureOutput out;
  CreateJunctions();
  EXPECT_TRUE(Queues().junctions.empty());

  std::wstring expected =
      Fmt(L"  Failed to retrieve handle to create a junction to the directory (%ls). (Error code : 2, %ls)\n",
          Path(L"gone").c_str(), ErrorText(2).c_str()) +
      Fmt(L" Failed to create the junction to the target directory (%ls, %ls). (Error code : 206, %ls)\n",
          Path(L"long").c_str(), longTarget.c_str(), ErrorText(206).c_str());
  // Wine has no mount points: the file system refuses the reparse data.
  const bool made = GetFileAttributesW(Path(L"j").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT;
  DWORD refusal = 0;
  if (!made) {
    const std::wstring& last = Lists().junctions.back().reason;
    for (DWORD code : {50u, 1u, 4390u, 5u})
      if (ErrorText(code) == last) refusal = code;
    ASSERT_NE(refusal, 0u) << "unexpected refusal text";
    expected += Fmt(L" Failed to create the junction to the target directory (%ls, %ls). (Error code : %d, %ls)\n",
                    Path(L"j").c_str(), target.c_str(), static_cast<int>(refusal), ErrorText(refusal).c_str());
  }
  EXPECT_EQ(out.console, expected);
  EXPECT_EQ(out.log, expected);
  EXPECT_EQ(Counters().junctionsProcessed, made ? 1 : 0);
  EXPECT_EQ(Counters().junctionsSkipped, made ? 2 : 3);
  EXPECT_EQ(Counters().securitySkipped, made ? 2 : 3);  // the made one has no stored security
  const std::vector<SkipRecord>& list = Lists().junctions;
  ASSERT_GE(list.size(), 2u);
  EXPECT_EQ(list[0].path, Path(L"gone"));
  EXPECT_EQ(list[0].target, target);
  EXPECT_EQ(list[0].reason, ErrorText(2));
  EXPECT_EQ(list[1].reason, ErrorText(206));
}

TEST_F(LinkRestoreTest, DirectoryMetadataOnTheDirectoryItself) {
  fs::create_directories(dir_ / "d");
  FindData fd{};
  fd.attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN;
  fd.creationTime = {0x11111111, 0x01d00000};
  fd.lastAccessTime = {0x22222222, 0x01d00000};
  fd.lastWriteTime = {0x33333333, 0x01d00000};
  CTavLinkSecurity sec{0, Security(kAdmins, kSystem, kSddl)};
  CaptureOutput out;
  ApplyDirectoryMetadata(Path(L"d"), fd, sec);
  EXPECT_EQ(out.console, L"");
  EXPECT_EQ(Counters().dirAttrSkipped, 0);
  EXPECT_EQ(Counters().securitySkipped, 0);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW(Path(L"d").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY),
            FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, 0x33333333u);
  EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, 0x01d00000u);
  SetFileAttributesW(Path(L"d").c_str(), FILE_ATTRIBUTE_NORMAL);

  // Gone: one directory-attribute failure, then the security one.
  out.console.clear();
  ApplyDirectoryMetadata(Path(L"none"), fd, sec);
  const std::wstring gone = Path(L"none");
  EXPECT_EQ(out.console,
            Fmt(L"  Failed to retrieve the directory's handle (%ls). Cannot change the directory's attribute. (Error "
                L"code : 2, %ls)\n",
                gone.c_str(), ErrorText(2).c_str()) +
                Fmt(L"  Error in applying security information (%ls). (Error : 2,%ls)\n", gone.c_str(),
                    ErrorText(2).c_str()));
  EXPECT_EQ(Counters().dirAttrSkipped, 1);
  EXPECT_EQ(Counters().securitySkipped, 1);
  ASSERT_EQ(Lists().directoryAttributes.size(), 1u);
  EXPECT_EQ(Lists().directoryAttributes[0].path, gone);
  EXPECT_EQ(Lists().directoryAttributes[0].target, gone);
  EXPECT_EQ(Lists().directoryAttributes[0].reason, ErrorText(2));
}

}  // namespace
