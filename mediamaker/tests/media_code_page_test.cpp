// The build texts of paths in a two-byte code page (949, Korean): the second
// byte of a character may be an ASCII letter's ("\x8C\x63" is one syllable,
// its second byte a "c") and is never upper-cased into another syllable.
#include <gtest/gtest.h>

#include "core/media_build.h"

namespace orva::media {
namespace {

LeadBytes CodePage949() {
  LeadBytes lead;
  for (int b = 0x81; b <= 0xFE; ++b) lead.set(b);
  return lead;
}

TEST(MediaCodePage, UpperCaseKeepsTwoByteCharacters) {
  const LeadBytes lead = CodePage949();
  struct Case {
    const char* text;
    const char* upper;
  } cases[] = {
      {"d:\\repo\\\x8C\x63.tav", "D:\\REPO\\\x8C\x63.TAV"},
      {"\x8C\x63\x8C\x63x", "\x8C\x63\x8C\x63X"},  // a letter after two characters
      {"a\xB0\x61z", "A\xB0\x61Z"},                // "\xB0\x61" another syllable
      {"\xC2\xB0z", "\xC2\xB0Z"},                  // a character without an ASCII byte
      {"\x8C", "\x8C"},                            // a lead byte that ends the text
  };
  for (const Case& c : cases) EXPECT_EQ(ToUpperAscii(c.text, lead), c.upper) << c.text;
  // A single-byte code page has no two-byte characters: every ASCII letter.
  EXPECT_EQ(ToUpperAscii("caf\xE9 \x8C\x63"), "CAF\xE9 \x8C\x43");
}

TEST(MediaCodePage, IsoNamesKeepTwoByteCharacters) {
  const LeadBytes lead = CodePage949();
  EXPECT_EQ(DefaultIsoPath("D:\\Repo\\\x8C\x63 c.tav", lead), "D:\\REPO\\\x8C\x63 C.iso");
  EXPECT_EQ(DefaultIsoPath("D:\\\x8C\x63\\Daily.TAV", lead), "D:\\\x8C\x63\\DAILY.iso");
  EXPECT_EQ(NormaliseIsoPath("d:\\media\\\x8C\x63", lead), "D:\\MEDIA\\\x8C\x63.ISO");
  EXPECT_EQ(NormaliseIsoPath("d:\\\x8C\x63.iso", lead), "D:\\\x8C\x63.ISO");
  EXPECT_EQ(NormaliseIsoPath("d:\\\x8C\x69so", lead), "D:\\\x8C\x69SO.ISO");  // "\x8C\x69" is no "i"
}

}  // namespace
}  // namespace orva::media
