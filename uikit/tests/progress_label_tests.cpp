// The label of a progress cell; also built natively, under the sanitizers.
#include <gtest/gtest.h>

#include <string>

#include "progress_label.h"

using namespace orva::ui;

TEST(ProgressLabel, PercentSignsAndTheCallersFormat) {
  EXPECT_EQ(ProgressLabelText("", 50), "50%");
  EXPECT_EQ(ProgressLabelText(nullptr, 0), "0%");
  EXPECT_EQ(ProgressLabelText("Scanning", 40), "Scanning");
  EXPECT_EQ(ProgressLabelText("Backup %d%%", 7), "Backup 7%");
  EXPECT_EQ(ProgressLabelText("%3d|%-3d|%03i", 5), "  5|5  |005");
  EXPECT_EQ(ProgressLabelText("100%", 3), "100%");
}

TEST(ProgressLabel, StatusTextsWithOtherConversionsAreShownAsWritten) {
  // Status texts come from the service: "%s" or "%n" in them must not be read as arguments.
  EXPECT_EQ(ProgressLabelText("%s copied %n %d", 9), "%s copied %n 9");
  EXPECT_EQ(ProgressLabelText("%99999d", 9), "%99999d");
  EXPECT_EQ(ProgressLabelText("%", 1), "%");
}

TEST(ProgressLabel, AFormatWithEndlessFlagsIsShownAsWritten) {
  EXPECT_EQ(ProgressLabelText("[%-+-+-+-+3d]", 5), "[+5 ]");
  for (size_t flags : {9, 80, 300}) {
    std::string format = "Copy %" + std::string(flags, '-') + "4d done";
    EXPECT_EQ(ProgressLabelText(format.c_str(), 42), format) << flags;
  }
}

TEST(ProgressLabel, AConversionLongerThan64CharactersIsShownAsWritten) {
  const std::string zeros200(200, '0');
  const struct {
    std::string format;
    std::string label;
  } cases[] = {
      // Leading zeros are flags, then width digits that add nothing.
      {"%" + std::string(20, '0') + "5d", "00042"},
      {"%" + std::string(61, '0') + "5d", "00042"},  // 64 characters
      {"%" + std::string(62, '0') + "5d", "%" + std::string(62, '0') + "5d"},
      {"%" + zeros200 + "5d", "%" + zeros200 + "5d"},
      {"%-" + zeros200 + "3i|", "%-" + zeros200 + "3i|"},
      {"%." + zeros200 + "5d", "%." + zeros200 + "5d"},
      // The text goes on after it.
      {"Copy %" + zeros200 + "5d, %d%%", "Copy %" + zeros200 + "5d, 42%"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgressLabelText(c.format.c_str(), 42), c.label) << c.format;
}
