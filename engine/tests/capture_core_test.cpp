#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/exclusion.h"
#include "core/reparse.h"
#include "core/tav_entry.h"
#include "core/wide.h"

using namespace orva;

namespace {

// A symbolic-link reparse buffer as the platform returns it: print name
// first, then the substitute name.
std::vector<uint8_t> SymlinkBuffer(const std::u16string& print, const std::u16string& substitute, uint32_t flags) {
  std::vector<uint8_t> b(20 + 2 * (print.size() + substitute.size()), 0);
  auto put16 = [&](size_t at, uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
  };
  put32(0, 0xA000000C);
  put16(4, static_cast<uint16_t>(b.size() - 8));
  put16(8, static_cast<uint16_t>(2 * print.size()));  // substitute name offset
  put16(10, static_cast<uint16_t>(2 * substitute.size()));
  put16(12, 0);  // print name offset
  put16(14, static_cast<uint16_t>(2 * print.size()));
  put32(16, flags);
  std::memcpy(b.data() + 20, print.data(), 2 * print.size());
  std::memcpy(b.data() + 20 + 2 * print.size(), substitute.data(), 2 * substitute.size());
  return b;
}

std::vector<uint8_t> MountBuffer(const std::u16string& substitute, const std::u16string& print) {
  std::vector<uint8_t> b(16 + 2 * (substitute.size() + 1 + print.size() + 1), 0);
  b[0] = 0x03;
  b[3] = 0xA0;
  b[8] = 0;
  b[10] = static_cast<uint8_t>(2 * substitute.size());
  b[12] = static_cast<uint8_t>(2 * (substitute.size() + 1));
  b[14] = static_cast<uint8_t>(2 * print.size());
  std::memcpy(b.data() + 16, substitute.data(), 2 * substitute.size());
  std::memcpy(b.data() + 16 + 2 * (substitute.size() + 1), print.data(), 2 * print.size());
  return b;
}

}  // namespace

TEST(Reparse, SymlinkTargets) {
  auto rel = SymlinkBuffer(u"..\\x", u"..\\x", 1);
  EXPECT_EQ(SymlinkStoredTarget(rel.data(), rel.size()), L"..\\x..\\x");
  auto abs = SymlinkBuffer(u"C:\\x", u"\\??\\C:\\x", 0);
  EXPECT_EQ(SymlinkStoredTarget(abs.data(), abs.size()), L"C:\\x\\??\\C:\\x");
  auto korean = SymlinkBuffer(u"D:\\\uD55C\uAE00", u"\\??\\D:\\\uD55C\uAE00", 0);
  EXPECT_EQ(SymlinkStoredTarget(korean.data(), korean.size()), L"D:\\\uD55C\uAE00\\??\\D:\\\uD55C\uAE00");
}

TEST(Reparse, LengthsFromTheBufferAreBounded) {
  auto b = SymlinkBuffer(u"C:\\x", u"\\??\\C:\\x", 0);
  b[8] = 0xFE;
  b[9] = 0xFF;  // substitute offset far beyond the data
  std::wstring t = SymlinkStoredTarget(b.data(), b.size());
  EXPECT_EQ(t.size(), (b.size() - 20) / 2 * 2 + 4);  // all the units there are, twice, plus "\??\"
  EXPECT_EQ(SymlinkStoredTarget(b.data(), 10), L"");
  std::vector<uint8_t> tiny(18, 0xFF);
  EXPECT_EQ(MountPointUnits(tiny.data(), 0).size(), 0u);
  EXPECT_EQ(MountPointUnits(tiny.data(), tiny.size()).size(), 18u);
}

TEST(Reparse, MountPointUnits) {
  auto b = MountBuffer(u"\\??\\C:\\Target", u"C:\\Target");
  std::u16string units = MountPointUnits(b.data(), b.size());
  ASSERT_EQ(units.size(), b.size());  // N is the returned byte count
  EXPECT_EQ(MountText(units), L"\\??\\C:\\Target");
  for (size_t i = 13; i < units.size(); ++i) EXPECT_EQ(units[i], u'\0') << i;
}

TEST(Exclusion, KeysMatchWholePatterns) {
  const std::vector<std::wstring> patterns = {L"hiberfil.sys", L"System Volume Information", L"Data\\Sub",
                                              L"\\Windows\\Temp"};
  const struct {
    const wchar_t* key;
    bool excluded;
  } cases[] = {
      {L"hiberfil.sys", true},
      {L"HIBERFIL.SYS", true},
      {L"HIB", false},
      {L"h", false},
      {L"System Volume Information", true},
      {L"System", false},
      {L"Data", false},
      {L"\\Data\\Sub", true},
      {L"\\data\\sub", true},
      {L"\\Data\\Sub\\deeper", false},
      {L"\\Windows\\Temp", true},
      {L"Windows", false},
      {L"\\Other\\hiberfil.sys", false},
      {L"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsExcluded(c.key, patterns), c.excluded) << std::string(c.key, c.key + wcslen(c.key));
  EXPECT_FALSE(IsExcluded(L"x", {L""}));
  EXPECT_TRUE(IsExcluded(L"\uD55C\uAE00", {L"\uD55C\uAE00"}));
}
