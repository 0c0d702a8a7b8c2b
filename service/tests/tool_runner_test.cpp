#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "service_test_util.h"
#include "win/probes.h"
#include "win/snapshot_steps.h"
#include "win/tool_runner.h"
#include "wmi_query.h"

namespace orva::service {
namespace {

using namespace std::chrono_literals;
using platform::RunWithin;
using platform::WmiStrings;
using test::TempFolder;

std::string SelfPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits until the hanging child has written its process id.
DWORD WaitForChildPid(const std::filesystem::path& file, int ms = 10000) {
  for (int i = 0; i < ms / 50; ++i) {
    std::string text = ReadText(file);
    if (!text.empty() && text.back() == '\n') return static_cast<DWORD>(std::stoul(text));
    Sleep(50);
  }
  return 0;
}

bool ProcessEndsWithin(DWORD pid, DWORD ms) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!h) return true;  // already gone
  const bool ended = WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

// cmd.exe starts this program, which hangs: the runner must end it, not only
// the interpreter.
std::string HangingCommand(const std::filesystem::path& pidFile) {
  std::string parameters;
  EXPECT_TRUE(BuildCmdParameters({Field(SelfPath()), Fixed("--hang"), Field(pidFile.string())}, parameters));
  return parameters;
}

TEST(ToolRunner, CommandThatEndsWritesItsOutput) {
  TempFolder dir;
  const auto out = dir / "out dir";  // a blank in the path needs the quoting
  std::filesystem::create_directories(out);
  std::string parameters;
  ASSERT_TRUE(
      BuildCmdParameters({Fixed("echo"), Fixed("hello"), Fixed(">"), Field((out / "x.txt").string())}, parameters));
  const auto start = std::chrono::steady_clock::now();
  RunResult r = RunHiddenCommand(parameters, 30s);
  EXPECT_EQ(r.status, RunStatus::kEnded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_EQ(ReadText(out / "x.txt").substr(0, 5), "hello");
}

TEST(ToolRunner, HungToolIsEndedWithItsChildren) {
  struct Case {
    const char* name;
    std::chrono::milliseconds timeout;
    bool cancel;
    RunStatus expected;
  };
  const Case cases[] = {
      {"time limit", 1500ms, false, RunStatus::kTimedOut},
      {"cancel", 60s, true, RunStatus::kCancelled},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Under load Wine may take longer than a short limit to start the child;
    // such a try shows nothing and is made again with a longer limit.
    for (std::chrono::milliseconds limit = c.timeout;; limit *= 4) {
      TempFolder dir;
      const auto pidFile = dir / "child.pid";
      std::atomic<DWORD> child{0};
      CancelCheck cancel;
      if (c.cancel) cancel = [&] { return (child = WaitForChildPid(pidFile)) != 0; };
      const auto start = std::chrono::steady_clock::now();
      RunResult r = RunHiddenCommand(HangingCommand(pidFile), limit, cancel);
      const auto took = std::chrono::steady_clock::now() - start;
      EXPECT_EQ(r.status, c.expected);
      EXPECT_LT(took, limit + 30s);
      // The tree is ended when the runner returns: a pid not written by now never will be.
      const DWORD pid = child ? child.load() : WaitForChildPid(pidFile, 1000);
      if (!pid && limit < 20s) continue;
      ASSERT_NE(pid, 0u) << "the child never started";
      EXPECT_TRUE(ProcessEndsWithin(pid, 5000)) << "the tool's child outlived the runner";
      std::printf("%s: ended after %lld ms, job object: %s\n", c.name,
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
                  r.treeContained ? "yes" : "no");
      break;
    }
  }
}

// This program stands in for a shadow-copy tool that hangs in every step.
TEST(SnapshotSteps, EachStepEndsAtItsOwnLimit) {
  EXPECT_EQ(StepLimit(SnapshotTool{}, SnapshotTool{}.createLimit), std::chrono::milliseconds(kSnapshotCreateLimit));
  EXPECT_LT(SnapshotTool{}.createLimit, SnapshotTool{}.timeout);
  EXPECT_LT(SnapshotTool{}.exposeLimit, SnapshotTool{}.timeout);
  EXPECT_LT(SnapshotTool{}.deleteLimit, SnapshotTool{}.timeout);
  SnapshotTool shorter;
  shorter.timeout = 1s;
  EXPECT_EQ(StepLimit(shorter, shorter.createLimit), 1s);

  TempFolder dir;
  const auto pidFile = dir / "tool.pid";
  SetEnvironmentVariableA("ORVA_TEST_TOOL_PIDFILE", pidFile.string().c_str());
  SnapshotTool tool;
  tool.path = SelfPath();
  tool.name = "no_such_tool_4711.exe";  // never seen as busy
  tool.stepPause = 0ms;
  const std::string log = (dir / "step.log").string();
  const struct {
    const char* step;
    std::function<bool()> run;
  } steps[] = {
      {"create",
       [&] {
         std::string id;
         bool ran = false;
         return CreateSnapshot(tool, "C", log, {}, id, ran) || !ran;
       }},
      {"expose", [&] { return ExposeSnapshot(tool, "{1}", "Share", log, {}); }},
      {"delete",
       [&] {
         DeleteSnapshot(tool, "{1}");
         return false;
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    // A limit shorter than Wine's start of the tool under load is tried again longer.
    for (std::chrono::milliseconds limit = 1500ms;; limit *= 4) {
      tool.createLimit = tool.exposeLimit = tool.deleteLimit = limit;  // the run's own limit stays 24 hours
      std::filesystem::remove(pidFile);
      const auto start = std::chrono::steady_clock::now();
      EXPECT_FALSE(step.run());
      EXPECT_LT(std::chrono::steady_clock::now() - start, limit + 60s);
      const DWORD pid = WaitForChildPid(pidFile, 1000);
      if (!pid && limit < 20s) continue;
      ASSERT_NE(pid, 0u) << "the tool never started";
      EXPECT_TRUE(ProcessEndsWithin(pid, 5000)) << "the hung tool was left running";
      break;
    }
  }
  SetEnvironmentVariableA("ORVA_TEST_TOOL_PIDFILE", nullptr);
}

TEST(Wmi, AQueryThatDoesNotAnswerIsGivenUp) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto ran = std::make_shared<std::atomic<int>>(0);
  EXPECT_TRUE(RunWithin([ran] { ++*ran; }, 30s));
  EXPECT_EQ(ran->load(), 1);
  // A query that hangs: the caller is back after the limit, the thread ends
  // by itself later.
  EXPECT_FALSE(RunWithin(
      [release, ran] {
        while (!*release) Sleep(10);
        ++*ran;
      },
      200ms));
  EXPECT_EQ(ran->load(), 1);
  *release = true;
  for (int i = 0; i < 500 && ran->load() < 2; ++i) Sleep(10);
  EXPECT_EQ(ran->load(), 2);
  // A real query gives a result or a "WMI ERROR" text, never a hang.
  std::vector<std::string> captions;
  const std::string error = WmiStrings(L"SELECT * FROM Win32_OperatingSystem", L"Caption", captions, 30s);
  EXPECT_TRUE(error.empty() || error.rfind("WMI ERROR\n", 0) == 0) << error;
}

TEST(ToolRunner, FieldsAreQuotedAndUnsafeFieldsRefused) {
  struct Case {
    std::string field;
    std::string quoted;  // empty: refused
  };
  const Case cases[] = {
      {"C:\\Orva\\Log\\out.log", "\"C:\\Orva\\Log\\out.log\""},
      {"C:\\Program Files\\x y", "\"C:\\Program Files\\x y\""},
      {"C:\\", "\"C:\\\\\""},  // \" would read as a quote
      {"a&b|c>d^e", "\"a&b|c>d^e\""},
      {"", "\"\""},
      {"job\"name", ""},
      {"%PATH%", ""},
      {"50%", ""},
      {"two\r\nlines", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(QuoteField(c.field), c.quoted);
    EXPECT_EQ(IsSafeField(c.field), !c.quoted.empty());
    std::string parameters = "stale", refused;
    const bool built =
        BuildCmdParameters({Fixed("OrvaImage.exe"), Fixed("a"), Field(c.field), Fixed(">"), Field("C:\\Log\\o.log")},
                           parameters, &refused);
    EXPECT_EQ(built, !c.quoted.empty());
    if (built) {
      EXPECT_EQ(parameters, "/c \"OrvaImage.exe a " + c.quoted + " > \"C:\\Log\\o.log\"\"");
    } else {
      EXPECT_EQ(parameters, "");
      EXPECT_EQ(refused, c.field);
    }
  }
  // Our own tokens go in as written.
  std::string line;
  ASSERT_TRUE(BuildCommandLine({Fixed("%SHADOW_DEVICE_1%\\"), Field("-iJob 1")}, line));
  EXPECT_EQ(line, "%SHADOW_DEVICE_1%\\ \"-iJob 1\"");
}

TEST(ToolRunner, ArgumentsArriveIntactThroughTheInterpreter) {
  TempFolder dir;
  const auto pidFile = dir / "args.txt";
  const std::string tricky = "a&b |c> d^e";
  std::string parameters;
  ASSERT_TRUE(BuildCmdParameters(
      {Field(SelfPath()), Fixed("--echo"), Field(pidFile.string()), Field(tricky), Field("C:\\")}, parameters));
  EXPECT_EQ(RunHiddenCommand(parameters, 30s).status, RunStatus::kEnded);
  EXPECT_EQ(ReadText(pidFile), tricky + "\n" + "C:\\\n");
}

TEST(Probes, CaptionIsQueriedOnceAndNamesTheArchitecture) {
  std::atomic<int> queries{0};
  CaptionCache cache([&] {
    ++queries;
    Sleep(50);
    return std::string("Microsoft Windows 7 Professional [64bit]");
  });
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] { EXPECT_EQ(cache.Get(), "Microsoft Windows 7 Professional [64bit]"); });
  for (auto& t : threads) t.join();
  EXPECT_EQ(cache.Get(), "Microsoft Windows 7 Professional [64bit]");
  EXPECT_EQ(queries.load(), 1);

  // The process-wide caption: a second query (and a second COM security
  // set-up in the process) gives the same text.
  const std::string& caption = QueryOsCaption();
  EXPECT_EQ(&QueryOsCaption(), &caption);
  EXPECT_EQ(QueryOsCaptionUncached(), caption);
  EXPECT_EQ(caption.rfind("WMI ERROR", 0), std::string::npos) << caption;
  EXPECT_TRUE(caption.size() > 8 && caption.substr(caption.size() - 8) == " [64bit]") << caption;
  std::printf("caption: %s\n", caption.c_str());
}

TEST(Probes, FolderSizeDiskNumberAndProcesses) {
  TempFolder dir;
  std::filesystem::create_directories(dir.Path() / "a" / "b");
  std::ofstream(dir / "one.bin", std::ios::binary) << std::string(1000, 'x');
  std::ofstream(dir.Path() / "a" / "b" / "two.bin", std::ios::binary) << std::string(234, 'y');
  EXPECT_EQ(GetFolderSize(dir.Path()), 1234);
  EXPECT_EQ(GetFolderSize(dir.Path()), 1234);  // no running total between calls
  EXPECT_EQ(GetFolderSize(dir.Path() / "missing"), 0);

  EXPECT_EQ(FormatDiskNumber(0, 2), "0002");
  EXPECT_EQ(FormatDiskNumber(12, 3), "1203");
  const std::string disk = GetDiskNumberText('C');
  EXPECT_EQ(disk.size(), 4u);
  EXPECT_EQ(GetDiskNumberText('Q'), "9999");  // no such drive
  EXPECT_EQ(GetPagefileSize('Q'), 0);

  EXPECT_TRUE(IsProcessRunning("service_tools_tests.exe"));
  EXPECT_FALSE(IsProcessRunning("no_such_tool_4711.exe"));
  EXPECT_FALSE(FormatSystemMessage(ERROR_FILE_NOT_FOUND).empty());
  std::printf("disk number of C: %s\n", disk.c_str());
}

}  // namespace
}  // namespace orva::service

// The test program doubles as the tool the runner starts:
//   --hang PIDFILE        writes its id and waits for ever
//   --echo FILE ARGS...   writes each argument on a line of its own
int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--hang") {
    std::FILE* f = std::fopen(argv[2], "wb");
    if (f) {
      std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
      std::fclose(f);
    }
    Sleep(INFINITE);
    return 0;
  }
  // As a shadow-copy tool: "-p", "-er=..." and "-ds=..." hang.
  if (argc >= 2 && (std::string(argv[1]) == "-p" || std::string(argv[1]).rfind("-er=", 0) == 0 ||
                    std::string(argv[1]).rfind("-ds=", 0) == 0)) {
    if (const char* pidFile = std::getenv("ORVA_TEST_TOOL_PIDFILE")) {
      if (std::FILE* f = std::fopen(pidFile, "wb")) {
        std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
        std::fclose(f);
      }
    }
    Sleep(INFINITE);
    return 0;
  }
  if (argc >= 3 && std::string(argv[1]) == "--echo") {
    std::FILE* f = std::fopen(argv[2], "wb");
    for (int i = 3; f && i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
    if (f) std::fclose(f);
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
