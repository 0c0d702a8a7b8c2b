#include <gtest/gtest.h>

#include <vector>

#include "core/run_settings.h"

using namespace orva;

namespace {

struct Parsed {
  bool ok;
  std::wstring error;
  RunSettings s;
};

Parsed Parse(std::vector<const wchar_t*> args, int32_t levelBefore = 0) {
  args.insert(args.begin(), L"OrvaImage.exe");
  Parsed p;
  p.s.compressionLevel = levelBefore;
  p.ok = ParseCommandLine(static_cast<int>(args.size()), args.data(), p.s, p.error);
  return p;
}

}  // namespace

TEST(CommandLine, ErrorTable) {
  const struct {
    std::vector<const wchar_t*> args;
    const wchar_t* error;
  } cases[] = {
      {{}, L""},
      {{L"A", L"img"}, L"Error in 1-th argument : the command A is not supported."},
      {{L"ax"}, L"Error in 1-th argument : the command ax is not supported."},
      {{L"-a"}, L"Error in 1-th argument : the command -a is not supported."},
      {{L"a", L"img", L"src", L"-mX"}, L"Error in 4-th argument : the detail option -mX is not supported."},
      {{L"a", L"img", L"-m"}, L"Error in 3-th argument : the detail option -m is not supported."},
      {{L"a", L"-MX5"}, L"Error in 2-th argument : the switch -MX5 is not supported."},
      {{L"a", L"-x"}, L"Error in 2-th argument : the detail option -x is not supported."},
      {{L"a", L"-x?abc"}, L"Error in 2-th argument : the detail option -x?abc is not supported."},
      {{L"a", L"-"}, L"Error in 2-th argument : the switch - is not supported."},
      {{L"a", L"-q"}, L"Error in 2-th argument : the switch -q is not supported."},
      {{L"x", L"img", L"src"},
       L"Error in 3-th argument : the source drive name src is not allowed in the extraction mode."},
      {{L"x", L"img", L"-oC:\\t", L"more"},
       L"Error in 4-th argument : the source drive name more is not allowed in the extraction mode."},
      {{L"a", L"i%sg", L"-z%d"}, L"Error in 3-th argument : the switch -z%d is not supported."},
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.args);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.error, c.error);
  }
  EXPECT_TRUE(Parse({L"A"}).s.command.empty());
}

TEST(CommandLine, CommandsAndPositionals) {
  for (const wchar_t* c : {L"a", L"u", L"w", L"x", L"i", L"d", L"r"}) {
    Parsed p = Parse({c, L"img.TAV"});
    EXPECT_TRUE(p.ok) << c;
    EXPECT_EQ(p.s.command, c);
  }
  Parsed p = Parse({L"a", L"D:\\Backup\\Job.TAV", L"C:\\", L"third", L"/o"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.s.imagePath, L"D:\\Backup\\Job.TAV");
  EXPECT_EQ(p.s.source, L"C:\\");  // third and later positionals are ignored, '/' is no switch
}

TEST(CommandLine, CompressionLevel) {
  const struct {
    const wchar_t* arg;
    int32_t level;
  } cases[] = {{L"-mx0", 0}, {L"-mx1", 1},  {L"-mx3", 1}, {L"-mx4", 9}, {L"-mx5", 9},  {L"-mx9", 9},
               {L"-mx", 0},  {L"-mx12", 1}, {L"-mxz", 0}, {L"-ma5", 7}, {L"-msfoo", 7}};
  for (const auto& c : cases) {
    Parsed p = Parse({L"a", L"img", c.arg}, 7);
    ASSERT_TRUE(p.ok) << c.arg;
    EXPECT_EQ(p.s.compressionLevel, c.level) << c.arg;
  }
}

TEST(CommandLine, Switches) {
  Parsed p =
      Parse({L"a", L"img", L"src", L"-x!hiberfil.sys", L"-x!", L"-x!\"System Volume Information\"", L"-oD:\\out\\",
             L"-iJob1", L"-wC:\\work\\", L"-cMicrosoft Windows 7 Professional", L"-v3000.9", L"-tzip", L"-a1", L"-uq"});
  ASSERT_TRUE(p.ok) << std::string(p.error.begin(), p.error.end());
  EXPECT_EQ(p.s.exclusions, (std::vector<std::wstring>{L"hiberfil.sys", L"", L"\"System Volume Information\""}));
  EXPECT_EQ(p.s.targetFolder, L"D:\\out");
  EXPECT_EQ(p.s.mappingName, L"Job1");
  EXPECT_TRUE(p.s.shareProgress);
  EXPECT_TRUE(p.s.useWorkFolder);
  EXPECT_EQ(p.s.workFolder, L"C:\\work");
  EXPECT_EQ(p.s.comment, L"Microsoft Windows 7 Professional");
  EXPECT_EQ(p.s.formatVersion, 3000);

  Parsed bare = Parse({L"a", L"img", L"-i", L"-w", L"-o"});
  ASSERT_TRUE(bare.ok);
  EXPECT_FALSE(bare.s.shareProgress);
  EXPECT_TRUE(bare.s.useWorkFolder);
  EXPECT_TRUE(bare.s.workFolder.empty());
  EXPECT_TRUE(bare.s.targetFolder.empty());
  EXPECT_EQ(bare.s.formatVersion, 4000);
  EXPECT_EQ(bare.s.comment, L"No comment");
  EXPECT_EQ(Parse({L"a", L"img", L"-vabc"}).s.formatVersion, 0);
}

TEST(CommandLine, SourceDescriptor) {
  const struct {
    const wchar_t* arg;
    const wchar_t* drive;
    int32_t disk, partition;
    int64_t total;
  } cases[] = {
      {L"-d00C0001123456789", L"C", 0, 1, 123456789},
      {L"-d01C0001123456789", L"*", -1, -1, -1},
      {L"-d00D9999000000000042", L"D", 99, 99, 42},
      {L"-d00E0203000000000000", L"E", 2, 3, 0},
      {L"-d00F01", L"F", 1, 0, 0},
      {L"-d", L"", 0, 0, 0},
      {L"-d00C00019223372036854775807", L"C", 0, 1, INT64_MAX},
  };
  for (const auto& c : cases) {
    Parsed p = Parse({L"a", L"img", L"src", c.arg});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.s.driveLetter, c.drive) << c.arg;
    EXPECT_EQ(p.s.diskNumber, c.disk) << c.arg;
    EXPECT_EQ(p.s.partitionNumber, c.partition) << c.arg;
    EXPECT_EQ(p.s.byteTotal, c.total) << c.arg;
  }
}

TEST(CommandLine, ParseDecimalSaturates) {
  EXPECT_EQ(ParseDecimal(L" 42x"), 42);
  EXPECT_EQ(ParseDecimal(L"-7"), -7);
  EXPECT_EQ(ParseDecimal(L"abc"), 0);
  EXPECT_EQ(ParseDecimal(L"99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseDecimal(L"-99999999999999999999999"), INT64_MIN);
}
