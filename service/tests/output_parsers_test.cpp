#include <gtest/gtest.h>

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

const std::string kHead = "Orvanta Image Archiver, Version 4.2.1.16.3.1\r\nStarted backup process.\r\n";

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
    Judged j = Engine(dir, kHead + "\r\n" + c.verdictLine + "\r\n\r\n[End of Orvanta Imaging Process Log File]");
    EXPECT_EQ(j.verdict, c.verdict) << c.verdictLine;
    EXPECT_EQ(j.kept, kHead + "\r\n" + c.verdictLine + "\r\n") << "trimmed after the verdict";
    EXPECT_NE(j.jobLog.find(c.jobLine), std::string::npos) << j.jobLog;
    EXPECT_EQ(j.jobLog.rfind("[2026-12-10 09:08:07][Job1] ", 0), 0u) << j.jobLog;
  }
}

TEST(EngineLog, NoVerdictOrNoFileIsAFailure) {
  TempFolder a, b;
  Judged cut = Engine(a, kHead + "  3%,  1000 bytes processed\r\n");
  EXPECT_EQ(cut.verdict, kEngineFailure);
  EXPECT_EQ(cut.kept, kHead + "  3%,  1000 bytes processed\r\n");
  Judged missing = Engine(b, "", false);
  EXPECT_EQ(missing.verdict, kEngineFailure);
  EXPECT_NE(missing.jobLog.find("[ERROR]"), std::string::npos);
  // A 7-Zip line is dropped and decides nothing.
  TempFolder c;
  Judged zip = Engine(c, "7-Zip (A) Everything is Ok\r\nThere were fatal SYSTEM errors in the imaging process.\r\n");
  EXPECT_EQ(zip.verdict, kEngineFailure);
  EXPECT_EQ(zip.kept, "There were fatal SYSTEM errors in the imaging process.\r\n");
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
  const struct {
    std::string text;
    int32_t verdict;
    const char* line;
  } cases[] = {
      {head + ended, 0, "[REPLICATION] [Success] Finished to replicate."},
      {head + ended + "\r\n  \r\n", 0, "[Success]"},  // blank lines after the summary
      {head + "\xC1\xBE\xB7\xE1 : 2026\r\n", 0, "[Success]"},
      {head + "2026/12/10 09:08:07 ERROR 32 (0x00000020) Copying File C:\\Data\\a.txt\r\n" + ended, 2,
       "[REPLICATION] [Warning] The replication process finished abnormally with some warnings."},
      // An error outside the watched codes is a warning all the same.
      {head + "2026/12/10 09:08:07 ERROR 5 (0x00000005) Copying File C:\\Data\\b.txt\r\n" + ended, 2, "[Warning]"},
      {head + ended + "    New File    12   late.txt\r\n", 1,
       "[REPLICATION] [ERROR] The replication process finished abnormally."},
      {"", 1, "[ERROR] The replication process finished abnormally."},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    WriteBytes(dir / "Replicate_R.log", c.text);
    EXPECT_EQ(ParseRobocopyLog(dir / "Replicate_R.log", "R", "[REPLICATION]", dir / "OrvaJob.log", kQuick), c.verdict)
        << c.text;
    EXPECT_NE(ReadBytes(dir / "OrvaJob.log").find(c.line), std::string::npos) << ReadBytes(dir / "OrvaJob.log");
    EXPECT_EQ(ReadBytes(dir / "Replicate_R.log"), c.text) << "only read";
  }
}

TEST(RobocopyLog, MissingLogGivesTwoErrorLines) {
  TempFolder dir;
  EXPECT_EQ(ParseRobocopyLog(dir / "none.log", "R", "[REPLICATION_SHADOW]", dir / "OrvaJob.log", kQuick), 1);
  const std::string lines = ReadBytes(dir / "OrvaJob.log");
  EXPECT_NE(lines.find("[REPLICATION_SHADOW] [ERROR] " + (dir / "none.log").string() +
                       " Cannot find and open the replication log file."),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find(" Terminated the replication process."), std::string::npos) << lines;
}
