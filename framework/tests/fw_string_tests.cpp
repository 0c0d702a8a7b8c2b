// The texts of the GUI programs under the system's code page: every narrow
// text reads in that code page, whatever its bytes would mean in UTF-8; only
// the sources' literals are UTF-8. Runs under the code page named on its
// command line.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fw_string.h"

namespace {

using orva::fw::CString;
using orva::fw::FromWideText;
using orva::fw::SourceText;
using orva::fw::ToWideText;

struct Text {
  const char* ansi;
  const wchar_t* wide;
};

// Texts of the code page and the characters they are. Most of their bytes
// are well-formed UTF-8 too ("\xC2\xB0" would be the degree sign).
std::vector<Text> CodePageTexts() {
  if (GetACP() == 949)
    return {{"\xC2\xB0", L"\uC9F8"},
            {"\x8C\x63", L"\uB620"},
            {"\xC8\xA9.TAV", L"\uD649.TAV"},
            {"D:\\\xB9\xE9\xBE\xF7 \xB0\xFC\xB8\xAE\\a.tav", L"D:\\\uBC31\uC5C5 \uAD00\uB9AC\\a.tav"},
            {"plain", L"plain"}};
  return {{"\xC2\xB0", L"\u00C2\u00B0"},
          {"\xEB\xB0\xB1", L"\u00EB\u00B0\u00B1"},
          {"caf\xE9", L"caf\u00E9"},
          {"plain", L"plain"}};
}

TEST(ShownText, ReadInTheCodePageAndBack) {
  for (const Text& t : CodePageTexts()) {
    EXPECT_EQ(ToWideText(t.ansi), std::wstring(t.wide)) << t.ansi;
    EXPECT_STREQ(FromWideText(t.wide), t.ansi);
  }
  EXPECT_EQ(ToWideText(""), L"");
  EXPECT_EQ(ToWideText(nullptr), L"");
  EXPECT_STREQ(FromWideText(L""), "");
}

// What the code page lacks becomes '?', never a look-alike (U+0100 would
// fit as 'A' in code page 1252) and never UTF-8.
TEST(ShownText, WhatTheCodePageLacksIsAQuestionMark) {
  const std::vector<Text> cases =
      GetACP() == 949
          ? std::vector<Text>{{"caf?", L"caf\u00E9"}, {"?bc", L"\u0100bc"}, {"\xC2\xB0?", L"\uC9F8\u00E9"}}
          : std::vector<Text>{{"?", L"\uC9F8"}, {"?bc", L"\u0100bc"}, {"caf\xE9 ??", L"caf\u00E9 \uBC31\uC5C5"}};
  for (const Text& t : cases) EXPECT_STREQ(FromWideText(t.wide), t.ansi);
}

TEST(ShownText, SourceLiteralsInTheCodePage) {
  EXPECT_STREQ(SourceText(u8"plain %d"), "plain %d");
  EXPECT_STREQ(SourceText(u8""), "");
  if (GetACP() == 949) {
    EXPECT_STREQ(SourceText(u8"째"), "\xC2\xB0");
    EXPECT_STREQ(SourceText(u8"백업 관리"), "\xB9\xE9\xBE\xF7 \xB0\xFC\xB8\xAE");
    EXPECT_EQ(ToWideText(SourceText(u8"로그파일 지우기 전")), L"\uB85C\uADF8\uD30C\uC77C \uC9C0\uC6B0\uAE30 \uC804");
  } else {
    EXPECT_STREQ(SourceText(u8"째"), "?");
    EXPECT_STREQ(SourceText(u8"café"), "caf\xE9");
    EXPECT_STREQ(SourceText(u8"백업 관리"), "?? ??");
  }
  // A formatted message keeps its Korean text and its numbers.
  CString message;
  message.Format(SourceText(u8"입력값이 %d 이상 이어야 합니다."), 10);
  EXPECT_EQ(ToWideText(message), GetACP() == 949 ? std::wstring(L"\uC785\uB825\uAC12\uC774 10 \uC774\uC0C1 "
                                                                L"\uC774\uC5B4\uC57C \uD569\uB2C8\uB2E4.")
                                                 : std::wstring(L"???? 10 ?? ??? ???."));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // The run's code page is the one its entry names: a run in another would test nothing of it.
  if (argc > 1 && GetACP() != (UINT)atoi(argv[1])) {
    fprintf(stderr, "ANSI code page %u, not %s\n", GetACP(), argv[1]);
    return 1;
  }
  return RUN_ALL_TESTS();
}
