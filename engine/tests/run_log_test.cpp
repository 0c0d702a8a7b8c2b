#include <gtest/gtest.h>

#include "core/run_log.h"
#include "core/run_settings.h"
#include "core/wide.h"
#include "test_util.h"

using namespace orva;
using orva::test::CaptureOutput;
using orva::test::TempFile;

namespace {

struct Fresh {
  Fresh() {
    Counters().fatalErrors = 0;
    ResetRunState();
  }
  ~Fresh() {
    Counters().fatalErrors = 0;
    ResetRunState();
  }
};

std::wstring Verdict() { return VerdictLine(Counters()); }

}  // namespace

TEST(Verdict, Table) {
  Fresh fresh;
  EXPECT_EQ(Verdict(), L"\nEverything is Ok.\n");
  Counters().filesIntended = 4;
  Counters().dirsIntended = 1;
  EXPECT_EQ(Verdict(), L"\nEverything is Ok.\n");  // intended skips are neither warnings nor errors
  Counters().securitySkipped = 1;
  EXPECT_EQ(Counters().Warnings(), 1);
  EXPECT_EQ(Verdict(), L"\nEverything is Ok but there are some warnings.\n");
  Counters().securitySkipped = 0;
  Counters().hardLinksSkipped = 1;
  EXPECT_EQ(Verdict(), L"\nThe imaging process is finished however there were some errors.\n");
  Counters().dirAttrSkipped = 2;
  EXPECT_EQ(Verdict(), L"\nThe imaging process is finished however there were some warnings and errors.\n");
  Counters().fatalErrors = 1;
  EXPECT_EQ(Verdict(), L"\nThere were fatal SYSTEM errors in the imaging process.\n");
  ResetRunState();
  EXPECT_EQ(Counters().fatalErrors, 1);  // the fatal counter is never reset
  EXPECT_EQ(Counters().dirAttrSkipped, 0);
}

TEST(Report, LayoutListsAndEndMarker) {
  Fresh fresh;
  CaptureOutput out;
  Counters().filesProcessed = 12;
  Counters().filesSkipped = 1;
  Counters().filesIntended = 2;
  Counters().junctionsProcessed = 3;
  Lists().files.push_back({L"C:\\a 100%\\b%d.txt", L"", L"No target path."});
  Lists().junctions.push_back({L"C:\\j", L"\\??\\C:\\t", L"Failed to retrieve."});
  LocalStamp start = NowLocal();
  start.epoch -= 25 * 3600 + 61;  // 25 h 1 min 1 s ago
  PrintReport(start);

  const std::wstring& c = out.console;
  EXPECT_EQ(out.log, c);
  EXPECT_NE(c.find(L"  Elapsed Time (HH:MM:SS) = 01:01:01\n"), std::wstring::npos);
  EXPECT_NE(c.find(L"  Elapsed Time (Sec) = 90061\n\n"), std::wstring::npos);
  EXPECT_NE(c.find(L"File                                   12            1(    2)              15\n"),
            std::wstring::npos);
  EXPECT_NE(c.find(L"Junction                                3            0                      3\n"),
            std::wstring::npos);
  EXPECT_NE(c.find(L"Security                              N/A            0                    N/A\n"),
            std::wstring::npos);
  EXPECT_NE(c.find(L"Errors :                                                          1\n"), std::wstring::npos);
  EXPECT_NE(c.find(L"Skipped file list\n 00001  C:\\a 100%\\b%d.txt\n        No target path.\n"
                   L"Skipped file attribute list\n"),
            std::wstring::npos);
  EXPECT_NE(c.find(L"Skipped junction list\n 00001  C:\\j\n        \\??\\C:\\t\n        Failed to retrieve.\n"
                   L"Skipped unknown link list\n"),
            std::wstring::npos);
  const std::wstring tail =
      L"\nThe imaging process is finished however there were some errors.\n\n[End of Orvanta Imaging Process Log File]";
  ASSERT_GE(c.size(), tail.size());
  EXPECT_EQ(c.substr(c.size() - tail.size()), tail);
  EXPECT_NE(c.find(std::wstring(79, L'=') + L"\n\nSummary of imaging process.\n" + std::wstring(69, L'=')),
            std::wstring::npos);
}

TEST(LogFile, EveryLineReachesTheDiskAndPercentStaysLiteral) {
  TempFile f("runlog");
  LogFile log;
  ASSERT_TRUE(log.Open(f.Path()));
  log.WriteLine(L"first 100%s\n");
  EXPECT_EQ(f.Bytes().size(), 13u);  // on disk before the next line, with CR LF
  log.WriteLine(L"second");
  log.Close();
  std::vector<uint8_t> b = f.Bytes();
  EXPECT_EQ(std::string(b.begin(), b.end()), "first 100%s\r\nsecond");
  // A new run replaces the old log.
  ASSERT_TRUE(log.Open(f.Path()));
  log.Close();
  EXPECT_TRUE(f.Bytes().empty());
}

TEST(FileExceptionText, Causes) {
  EXPECT_EQ(FileExceptionText(13), L"The disk is full.");
  EXPECT_EQ(FileExceptionTextWithCode(13, 112), L"The disk is full (OS error = 112).");
  EXPECT_EQ(FileExceptionTextWithCode(0, 0), L"No error occurred (OS error = 0).");
  EXPECT_EQ(FileExceptionText(15), L"");
  EXPECT_EQ(FileExceptionTextWithCode(15, 5), L"Unknown file exception (OS error = unknown).");
}

TEST(LogHeader, ParameterLinesByCommand) {
  RunSettings saved = Settings();
  CaptureOutput out;
  Settings().command = L"a";
  Settings().source = L"C:\\Data";
  Settings().imagePath = L"D:\\B\\Job.TAV";
  Settings().compressionLevel = 9;
  Settings().exclusions = {L"hiberfil.sys", L"\\Windows\\Temp"};
  PrintLogHeader(ParameterLines());
  EXPECT_EQ(out.log,
            L"Orvanta Imaging Process Log File\nOrvanta Image Archiver version : Version 4.2.1.16.3.1\n\n"
            L"Imaging parameters\n  Command : a\n  Source folder or drive : C:\\Data\n"
            L"  Image file name : D:\\B\\Job.TAV\n  Compression level : 9\n  Excluded files and directories :\n"
            L"     hiberfil.sys\n     \\Windows\\Temp\n");
  Settings().command = L"x";
  Settings().targetFolder = L"E:\\out";
  EXPECT_EQ(ParameterLines(), (std::vector<std::wstring>{L"  Command : x\n", L"  Target folder : E:\\out\n",
                                                         L"  Image file name : D:\\B\\Job.TAV\n"}));
  Settings().command = L"d";
  EXPECT_EQ(ParameterLines()[2], L"  Full backup image file name : D:\\B\\Job.TAV\n");
  Settings() = saved;
}

// Work left behind catches up before any later message, once, on the sink
// it was set for only (a quiet sink swallows nothing of it).
TEST(OutputCatchUp, RunsBeforeLaterMessagesOnItsOwnSink) {
  CaptureOutput out;
  int pending = 2;
  SetOutputCatchUp([&] {
    for (; pending > 0; --pending) Say(Fmt(L"late %d\n", pending));  // its own messages do not recurse
  });
  {
    CaptureOutput quiet;
    Say(L"quiet\n");
    EXPECT_EQ(quiet.console, L"quiet\n");
  }
  SetOutputSink(&out);
  EXPECT_EQ(pending, 2);
  Say(L"next\n");
  PrintMessage(true, true, L"printed\n");
  SetOutputCatchUp(nullptr);
  pending = 1;
  SayLog(L"after\n");
  EXPECT_EQ(out.console, L"late 2\nlate 1\nnext\nprinted\n");
  EXPECT_EQ(out.log, L"late 2\nlate 1\nnext\nprinted\nafter\n");
}
