#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "core/link_restore_core.h"
#include "core/run_log.h"

using namespace orva;

namespace {
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return U16(b, at) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}
}  // namespace

TEST(MountPointBuffer, LayoutOfTheReparseData) {
  const std::wstring target = L"\\??\\C:\\data\\x";
  const size_t length = target.size() * 2;
  std::vector<uint8_t> b = BuildMountPointBuffer(target);
  ASSERT_EQ(b.size(), length + 20);  // data length + 8
  EXPECT_EQ(U32(b, 0), 0xA0000003u);
  EXPECT_EQ(U16(b, 4), length + 12);
  EXPECT_EQ(U16(b, 6), 0);
  EXPECT_EQ(U16(b, 8), 0);
  EXPECT_EQ(U16(b, 10), length);
  EXPECT_EQ(U16(b, 12), length + 2);
  EXPECT_EQ(U16(b, 14), 0);
  for (size_t i = 0; i < target.size(); ++i) EXPECT_EQ(U16(b, 16 + 2 * i), target[i]) << i;
  EXPECT_EQ(U16(b, 16 + length), 0);  // the name's NUL
  EXPECT_EQ(U16(b, 18 + length), 0);  // the empty print name
}

TEST(MountPointBuffer, TextEndsAtNulAndMustFitTheLimit) {
  EXPECT_EQ(BuildMountPointBuffer(std::wstring(L"\\??\\C:\\a\0junk", 13)), BuildMountPointBuffer(L"\\??\\C:\\a"));
  EXPECT_EQ(BuildMountPointBuffer(L"").size(), 20u);
  // 16,384 bytes hold a header of 16, the text, its NUL and the print name's NUL.
  EXPECT_EQ(BuildMountPointBuffer(std::wstring(8182, L'a')).size(), kMountPointBufferLimit);
  EXPECT_TRUE(BuildMountPointBuffer(std::wstring(8183, L'a')).empty());
}

TEST(SddlFlags, CaseSensitiveSubstrings) {
  struct Case {
    const wchar_t* sddl;
    uint32_t flags;
  };
  const Case cases[] = {
      {L"", 0},
      {L"O:BAG:SYD:(A;;FA;;;BA)", 0x7},
      {L"O:BAG:SYD:P(A;;FA;;;BA)", 0x80000007},
      {L"D:PAI(A;;FA;;;SY)S:P(AU;SA;FA;;;WD)", 0xC000000C},
      {L"S:AI(AU;SA;FA;;;WD)", 0x8},
      {L"o:bag:syd:p", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SecurityFlagsFromSddl(c.sddl), c.flags) << std::string(c.sddl, c.sddl + std::wcslen(c.sddl));
}

TEST(MklinkTargetText, FirstSubstituteOffsetHalfUnits) {
  struct Case {
    const wchar_t* stored;
    uint16_t offset;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"C:\\t\\??\\C:\\t", 8, L"C:\\t"},  // absolute: print name, "\??\", print name
      {L"..\\a..\\a", 8, L"..\\a"},        // relative: print name twice
      {L"C:\\t", 0, L""},
      {L"C:\\t", 8, L"C:\\t"},  // n at the length: whole text
      {L"C:\\t", 0xFFFE, L"C:\\t"},
  };
  for (const Case& c : cases) {
    uint8_t head[24] = {};
    head[8] = static_cast<uint8_t>(c.offset);
    head[9] = static_cast<uint8_t>(c.offset >> 8);
    EXPECT_EQ(MklinkTarget(c.stored, head), c.expected) << c.offset;
  }
}

TEST(MklinkBatchLine, QuotedPercentDoubledBadCharactersRefused) {
  struct Case {
    bool directory;
    const wchar_t* link;
    const wchar_t* target;
    const wchar_t* command;  // empty: refused
  };
  const Case cases[] = {
      {false, L"Z:\\out\\l.txt", L"C:\\t.txt", L"mklink \"Z:\\out\\l.txt\" \"C:\\t.txt\""},
      {true, L"Z:\\out\\d", L"..\\x", L"mklink /D \"Z:\\out\\d\" \"..\\x\""},
      {false, L"Z:\\100%\\l", L"%TEMP%\\t", L"mklink \"Z:\\100%%\\l\" \"%%TEMP%%\\t\""},
      {false, L"Z:\\a&b ^c", L"C:\\t", L"mklink \"Z:\\a&b ^c\" \"C:\\t\""},
      {false, L"Z:\\a\"b", L"C:\\t", L""},
      {true, L"Z:\\a", L"C:\\t\" & del x", L""},
      {false, L"Z:\\a\rb", L"C:\\t", L""},
      {false, L"Z:\\a", L"C:\\t\nx", L""},
  };
  for (const Case& c : cases) {
    std::wstring error = L"stale";
    const std::wstring command = MklinkCommand(c.directory, c.link, c.target, error);
    EXPECT_EQ(command, c.command);
    EXPECT_EQ(error, command.empty() ? L"Invalid character in the link path or target." : L"");
  }
}

TEST(FileExceptionCauses, SystemErrorsMapToTheirCauseText) {
  struct Case {
    long error;
    const wchar_t* text;
  };
  const Case cases[] = {
      {2, L"The file could not be located."},
      {3, L"All or part of the path is invalid."},
      {5, L"The file could not be accessed."},
      {32, L"SHARE.EXE was not loaded, or a shared region was locked."},
      {112, L"The disk is full."},
      {87, L"An unspecified error occurred."},
  };
  for (const Case& c : cases) EXPECT_EQ(FileExceptionText(FileExceptionCause(c.error)), c.text) << c.error;
}
