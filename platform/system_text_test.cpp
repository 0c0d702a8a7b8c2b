#include <gtest/gtest.h>

#include <windows.h>

#include "system_text.h"

namespace orva::platform {
namespace {

TEST(SystemText, AnsiFormAndWhatItLost) {
  bool lossy = true;
  EXPECT_EQ(WideToAnsi(L"C:\\Data\\file.txt", &lossy), "C:\\Data\\file.txt");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(WideToAnsi(L"", &lossy), "");
  EXPECT_FALSE(lossy);
  WideToAnsi(L"\u4E2D\u6587", &lossy);  // no form in the western code page
  EXPECT_TRUE(lossy);
  EXPECT_EQ(WideToAnsi(std::wstring_view(L"ab\0cd", 5)).size(), 5u);
}

TEST(SystemText, ErrorMessages) {
  const std::string raw = FormatSystemMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(raw.empty());
  const std::string trimmed = SystemErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(raw.rfind(trimmed, 0), 0u);
  EXPECT_NE(trimmed.back(), '\n');
  EXPECT_NE(trimmed.back(), ' ');
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "Error");
}

}  // namespace
}  // namespace orva::platform
