#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

#include "core/output_parsers.h"
#include "core/service_logs.h"
#include "service_test_util.h"

using namespace orva::service;
using namespace orva::service::test;

namespace {

struct Judged {
  EngineVerdict verdict;
  std::string kept;
  std::string jobLog;
};

Judged Engine(const TempFolder& dir, const std::string& output, bool present = true) {
  SetLogClock([] { return LocalTime{2026, 12, 10, 9, 8, 7}; });
  if (present) WriteBytes(dir / "engine.log", output);
  Judged j;
  j.verdict = ParseImageEngineLog(dir / "engine.log", "Job1", "FULL_BACKUP", "C", dir / "OrvaJob.log", kQuick);
  j.kept = present ? ReadBytes(dir / "engine.log") : "";
  j.jobLog = ReadBytes(dir / "OrvaJob.log");
  SetLogClock(nullptr);
  return j;
}

// The engine's banner, its first line on the console, which the reader drops.
const std::string kBanner = "Orvanta Image Archiver, Version 4.2.1.16.3.1\r\n";
const std::string kHead = "Orvanta Imaging Process Log File\r\nStarted backup process.\r\n";

}  // namespace

TEST(EngineLog, Verdicts) {
  const struct {
    const char* verdictLine;
    EngineVerdict verdict;
    const char* jobLine;
  } cases[] = {
      {"Everything is Ok.", kEngineSuccess, "FULL_BACKUP [Success] [C Drive] Succeeded to backup drive."},
      {"Everything is Ok but there are some warnings.", kEngineSuccess, "[Success]"},
      {"The imaging process is finished however there were some errors.", kEngineWarning, "[Warning]"},
      {"The imaging process is finished however there were some warnings and errors.", kEngineWarning, "[Warning]"},
      {"There were fatal SYSTEM errors in the imaging process.", kEngineFailure,
       "FULL_BACKUP [ERROR] [C Drive] Failed to backup drive."},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    Judged j =
        Engine(dir, kBanner + kHead + "\r\n" + c.verdictLine + "\r\n\r\n[End of Orvanta Imaging Process Log File]");
    EXPECT_EQ(j.verdict, c.verdict) << c.verdictLine;
    EXPECT_EQ(j.kept, kHead + "\r\n" + c.verdictLine + "\r\n") << "trimmed after the verdict";
    EXPECT_NE(j.jobLog.find(c.jobLine), std::string::npos) << j.jobLog;
    EXPECT_EQ(j.jobLog.rfind("[2026-12-10 09:08:07][Job1] ", 0), 0u) << j.jobLog;
  }
}

TEST(EngineLog, NoVerdictOrNoFileIsAFailure) {
  TempFolder a, b;
  Judged cut = Engine(a, kBanner + kHead + "  3%,  1000 bytes processed\r\n");
  EXPECT_EQ(cut.verdict, kEngineFailure);
  EXPECT_EQ(cut.kept, kHead + "  3%,  1000 bytes processed\r\n");
  Judged missing = Engine(b, "", false);
  EXPECT_EQ(missing.verdict, kEngineFailure);
  EXPECT_NE(missing.jobLog.find("[ERROR]"), std::string::npos);
  // A banner line is dropped and decides nothing, whatever follows on it.
  TempFolder c;
  Judged banner = Engine(
      c, "Orvanta Image Archiver Everything is Ok.\r\nThere were fatal SYSTEM errors in the imaging process.\r\n");
  EXPECT_EQ(banner.verdict, kEngineFailure);
  EXPECT_EQ(banner.kept, "There were fatal SYSTEM errors in the imaging process.\r\n");
}

TEST(EngineLog, OnlyAWholeVerdictLineDecides) {
  // A failed file's line may name a file after any verdict text; the
  // engine's own verdict comes after its lists.
  std::string body = kHead +
                     "  Failed to open \"C:\\Data\\Everything is Ok.txt\". (Error code : 32, The process cannot access "
                     "the file because it is being used by another process.)\r\n";
  for (int i = 0; i < 46; ++i)
    body += "  C:\\Data\\There were fatal SYSTEM errors in the imaging process." + std::to_string(i) + "\r\n";
  body += "  Everything is Ok.\r\nNot Everything is Ok.\r\n";
  for (const auto& [verdictLine, verdict] :
       {std::pair{"The imaging process is finished however there were some errors.", kEngineWarning},
        std::pair{"There were fatal SYSTEM errors in the imaging process.", kEngineFailure},
        std::pair{"Everything is Ok but there are some warnings.", kEngineSuccess}}) {
    TempFolder dir;
    Judged j =
        Engine(dir, kBanner + body + "\r\n" + verdictLine + " \t\r\n\r\n[End of Orvanta Imaging Process Log File]");
    EXPECT_EQ(j.verdict, verdict) << verdictLine;
    EXPECT_EQ(j.kept, body + "\r\n" + verdictLine + " \t\r\n") << "every line up to the verdict stays";
  }
}

TEST(EngineLog, TheBannerIsDroppedAndEveryOtherLineKept) {
  // The engine's console output as it begins: its banner, then its run log's
  // header, whose version line begins with the banner's words too.
  const std::string header =
      "Orvanta Imaging Process Log File\r\n"
      "Orvanta Image Archiver version : Version 4.2.1.16.3.1\r\n"
      "\r\n"
      "Imaging parameters\r\n"
      "  Command : a\r\n";
  const std::string kept = "Orvanta Imaging Process Log File\r\n\r\nImaging parameters\r\n  Command : a\r\n";
  const std::string failed =
      "  Failed to open \"C:\\Orvanta Image Archiver\\Everything is Ok.\". (Error code : 5, Access is denied.)\r\n";
  const struct {
    std::string output;
    EngineVerdict verdict;
    std::string kept;
  } cases[] = {
      {kBanner + header + "Everything is Ok.\r\n", kEngineSuccess, kept + "Everything is Ok.\r\n"},
      // Without a verdict every line stays but the banner's.
      {kBanner + header + "  3%,  1000 bytes processed\r\n", kEngineFailure, kept + "  3%,  1000 bytes processed\r\n"},
      // The words elsewhere in a line are a name: the line stays.
      {kBanner + failed + "Everything is Ok but there are some warnings.\r\n", kEngineSuccess,
       failed + "Everything is Ok but there are some warnings.\r\n"},
      // Every banner line goes, not only the first.
      {kBanner + "Started backup process.\r\n" + kBanner + "Everything is Ok.\r\n", kEngineSuccess,
       "Started backup process.\r\nEverything is Ok.\r\n"},
      {kBanner, kEngineFailure, ""},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    Judged j = Engine(dir, c.output);
    EXPECT_EQ(j.verdict, c.verdict) << c.output;
    EXPECT_EQ(j.kept, c.kept) << c.output;
  }
}

TEST(ShadowLog, StepsAndErrors) {
  const std::string create =
      "ERROR: before the marker does not count\r\nList of created shadow copies: \r\n"
      "* SNAPSHOT ID = {11111111-2222-3333-4444-555555555555} ...\r\n";
  const struct {
    std::string text;
    int32_t step;
    int32_t result;
    std::string kept;
  } cases[] = {
      {create, kShadowCreate, 0, create.substr(create.find("List"))},
      {create + "ERROR: after it\r\n", kShadowCreate, 1, create.substr(create.find("List")) + "ERROR: after it\r\n"},
      {"no marker at all\r\nERROR: x\r\n", kShadowCreate, 0, ""},
      {"x\r\n(Option: Expose a shadow copy)\r\nok\r\n", kShadowExpose, 0, "(Option: Expose a shadow copy)\r\nok\r\n"},
      {"(Option: Delete a shadow copy)\r\nERROR: gone\r\n", kShadowDelete, 1,
       "(Option: Delete a shadow copy)\r\nERROR: gone\r\n"},
      {create, 7, 0, ""},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteBytes(dir / "shadow.log", c.text);
    EXPECT_EQ(ParseShadowToolLog(dir / "shadow.log", c.step, kQuick), c.result) << c.text;
    EXPECT_EQ(ReadBytes(dir / "shadow.log"), c.kept);
  }
  TempFolder none;
  EXPECT_EQ(ParseShadowToolLog(none / "missing.log", kShadowCreate, kQuick), 1);  // no log: the step failed
}

TEST(ShadowLog, SnapshotId) {
  TempFolder dir;
  const struct {
    std::string text;
    std::string id;
  } cases[] = {
      {"   * SNAPSHOT ID = {aaaa-bbbb} ...\r\n", "{aaaa-bbbb}"},
      {"SNAPSHOT ID = {aaaa-bbbb}\r\n", ""},
      {"  SNAPSHOT ID = {first}\r\n  SNAPSHOT ID = {second}\r\n", "{second}"},
      {"  SNAPSHOT ID = {first}\r\n  SNAPSHOT ID count\r\n", ""},
      {"nothing\r\n", ""},
  };
  for (const auto& c : cases) {
    WriteBytes(dir / "create.log", c.text);
    EXPECT_EQ(ParseSnapshotId(dir / "create.log"), c.id) << c.text;
  }
  EXPECT_EQ(ParseSnapshotId(dir / "absent.log"), "ERROR");
}

TEST(RobocopyLog, Verdicts) {
  const std::string head = "-------\r\n  Source : C:\\Data\\\r\n    New File    12   a.txt\r\n";
  const std::string ended = "   Ended : Thursday, December 10, 2026 9:08:07 AM\r\n";
  const std::string korean = "\xC1\xBE\xB7\xE1 : 2026\r\n";
  const struct {
    std::string text;
    int32_t verdict;
    const char* line;
    std::optional<uint32_t> exitCode = std::nullopt;
  } cases[] = {
      {head + ended, 0, "[REPLICATION] [Success] Finished to replicate."},
      {head + ended + "\r\n  \r\n", 0, "[Success]"},  // blank lines after the summary
      {head + korean, 0, "[Success]"},
      {head + "2026/12/10 09:08:07 ERROR 32 (0x00000020) Copying File C:\\Data\\a.txt\r\n" + ended, 2,
       "[REPLICATION] [Warning] The replication process finished abnormally with some warnings."},
      // An error outside the watched codes is a warning all the same.
      {head + "2026/12/10 09:08:07 ERROR 5 (0x00000005) Copying File C:\\Data\\b.txt\r\n" + ended, 2, "[Warning]"},
      {head + "2026/12/10 09:08:07 ERROR 112 (0x00000070) Copying File C:\\Data\\b.txt\r\n" + ended, 2, "[Warning]"},
      // Error lines in another language are known by their code.
      {head + "2026/12/10 09:08:07 \xBF\xC0\xB7\xF9 5 (0x00000005) \xC6\xC4\xC0\xCF C:\\Data\\b.txt\r\n" + korean, 2,
       "[Warning]", 9u},
      {head + "2026/12/10 09:08:07 FEHLER 5 (0x00000005) Kopieren C:\\Data\\b.txt\r\n" + korean, 2, "[Warning]"},
      // A folder or file name that looks like an error line decides nothing.
      {head + "\t                   3\tC:\\Data\\ERROR 5 (0x00000005) old\\\r\n" +
           "\t    New File  \t\t      12\tERROR 2 (0x00000002) 0x00000020.txt\r\n" + ended,
       0, "[Success]", 1u},
      {head + "2026/12/10 09:08:07 ERROR 5 (0x00000006) not a code pair\r\n" + ended, 0, "[Success]"},
      // The exit code tells failed copies whatever the log's language.
      {head + korean, 2,
       "[REPLICATION] [ERROR] Robocopy ended with exit code 8: some files or folders were not copied.", 8u},
      {head + ended, 2, "[Warning]", 11u},
      {head + ended, 1, "[REPLICATION] [ERROR] Robocopy ended with exit code 16: a fatal error.", 16u},
      {head + ended, 0, "[Success]", 3u},
      {head + ended + "    New File    12   late.txt\r\n", 1,
       "[REPLICATION] [ERROR] The replication process finished abnormally."},
      {"", 1, "[ERROR] The replication process finished abnormally."},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteBytes(dir / "Replicate_R.log", c.text);
    EXPECT_EQ(ParseRobocopyLog(dir / "Replicate_R.log", "R", "[REPLICATION]", c.exitCode, dir / "OrvaJob.log", kQuick),
              c.verdict)
        << c.text;
    EXPECT_NE(ReadBytes(dir / "OrvaJob.log").find(c.line), std::string::npos) << ReadBytes(dir / "OrvaJob.log");
    EXPECT_EQ(ReadBytes(dir / "Replicate_R.log"), c.text) << "only read";
  }
}

// A log of more than 2^31 bytes (a replication of millions of files) is
// judged like any other; the hole in the middle is sparse where the file
// system allows, and one line of zero bytes that the reader cuts.
TEST(RobocopyLog, ALogPastTwoGigabytes) {
  TempFolder dir;
  const auto log = dir / "Replicate_Big.log";
  WriteBytes(log, "2026/12/10 09:08:07 ERROR 5 (0x00000005) Copying File C:\\Data\\b.txt\r\nAccess is denied.\r\n");
  std::filesystem::resize_file(log, (uint64_t{1} << 31) + 4096);
  {
    std::ofstream out(log, std::ios::binary | std::ios::app);
    out << "\r\n   Ended : Thursday, December 10, 2026 9:08:07 AM\r\n";
  }
  ASSERT_GT(std::filesystem::file_size(log), uint64_t{1} << 31);
  EXPECT_EQ(ParseRobocopyLog(log, "Big", "[REPLICATION]", 1u, dir / "OrvaJob.log", kQuick), 2);
  EXPECT_NE(ReadBytes(dir / "OrvaJob.log").find("[Warning]"), std::string::npos) << ReadBytes(dir / "OrvaJob.log");
}

#ifdef _WIN32
// A viewer or the tool itself may still hold the log open as the run ends.
TEST(RobocopyLog, ALogHeldOpenByOthersIsRead) {
  TempFolder dir;
  const auto log = dir / "Replicate_R.log";
  WriteBytes(log, "    New File    12   a.txt\r\n   Ended : Thursday, December 10, 2026 9:08:07 AM\r\n");
  for (DWORD access : {DWORD(GENERIC_READ), DWORD(GENERIC_WRITE)}) {
    HANDLE other = CreateFileW(log.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ParseRobocopyLog(log, "R", "[REPLICATION]", 1u, dir / "OrvaJob.log", kQuick), 0) << access;
    CloseHandle(other);
  }
}
#endif

TEST(RobocopyLog, MissingLogGivesTwoErrorLines) {
  TempFolder dir;
  EXPECT_EQ(ParseRobocopyLog(dir / "none.log", "R", "[REPLICATION_SHADOW]", 1u, dir / "OrvaJob.log", kQuick), 1);
  const std::string lines = ReadBytes(dir / "OrvaJob.log");
  EXPECT_NE(lines.find("[REPLICATION_SHADOW] [ERROR] " + (dir / "none.log").string() +
                       " Cannot find and open the replication log file."),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find(" Terminated the replication process."), std::string::npos) << lines;
}
