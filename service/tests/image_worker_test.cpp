#include "win/image_worker.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

#include "core/service_logs.h"
#include "service_test_util.h"

namespace orva::service {
namespace {

TEST(ImageWorker, ExclusionsTakeTheEnginesKeyForm) {
  EXPECT_EQ(EngineExclusions("C:\\Temp|C:\\Data\\Sub|D:\\Logs\\|"),
            (std::vector<std::string>{"-x!Temp", "-x!\\Data\\Sub", "-x!Logs"}));
  // Text after the last bar is no item; an empty list gives nothing.
  EXPECT_EQ(EngineExclusions("C:\\Temp|C:\\Data"), std::vector<std::string>{"-x!Temp"});
  EXPECT_TRUE(EngineExclusions("").empty());
  EXPECT_TRUE(EngineExclusions("C:\\|").empty());
}

TEST(ImageWorker, ElapsedTextDropsWholeDays) {
  EXPECT_EQ(ElapsedText(0), "00:00:00");
  EXPECT_EQ(ElapsedText(3723), "01:02:03");
  EXPECT_EQ(ElapsedText(25 * 3600 + 5), "01:00:05");
}

TEST(ImageWorker, MappingNamesAreSafeAndPerRun) {
  const std::string a = ProgressMappingName("My job\\1", 1), b = ProgressMappingName("My job\\1", 2);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("Orva_My_job_1_", 0), 0u) << a;
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-"), std::string::npos);
}

TEST(ImageWorker, ShadowToolFollowsTheCaptionsWordSize) {
  EXPECT_EQ(ShadowToolForCaption("Microsoft Windows 10 Pro [64bit]"), "vshadow_amd64.exe");
  EXPECT_EQ(ShadowToolForCaption("Microsoft Windows Server 2008 R2 [32bit]"), "vshadow.exe");
  EXPECT_EQ(ShadowToolForCaption("WMI ERROR\nFailed to connect"), "");
}

// The files a full backup finds at its image path and at "<image>.old", and
// what is left of them after the worker's preparation.
namespace files {

std::string Prologue(int32_t version, int64_t offset, int64_t length) {
  std::string p(20, '\0');
  std::memcpy(&p[0], &version, 4);
  std::memcpy(&p[4], &offset, 8);
  std::memcpy(&p[12], &length, 8);
  return p;
}

const std::string kMissing = "<missing>";
const std::string kComplete = Prologue(3000, 4, 6) + "body" + "table!";  // a whole format-3000 image
const std::string kOtherComplete = Prologue(3000, 0, 0);                 // an empty source's image
const std::string kUnfinished = Prologue(4000, 0, 0) + "part of a body";
const std::string kDamaged = Prologue(4000, 400, 6) + "body";
const std::string kForeign = "notes of the user\r\n";

void Put(const std::string& path, const std::string& bytes) {
  std::remove(path.c_str());
  if (bytes != kMissing) std::ofstream(path, std::ios::binary) << bytes;
}

std::string Get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return kMissing;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace files

TEST(ImageWorker, FullBackupMakesRoomOnlyFromTavFiles) {
  using namespace files;
  const struct {
    std::string image, old;
    bool goesOn, aside;
    std::string imageAfter, oldAfter;
  } cases[] = {
      {kMissing, kMissing, true, false, kMissing, kMissing},
      {kComplete, kMissing, true, true, kMissing, kComplete},
      {kComplete, kOtherComplete, true, true, kMissing, kComplete},
      {kComplete, kUnfinished, true, true, kMissing, kComplete},
      {kComplete, kForeign, false, false, kComplete, kForeign},
      {kUnfinished, kComplete, true, true, kMissing, kComplete},
      {kDamaged, kMissing, true, false, kMissing, kMissing},
      {kUnfinished, kForeign, true, false, kMissing, kForeign},
      {kForeign, kMissing, false, false, kForeign, kMissing},
      {kForeign, kComplete, false, false, kForeign, kComplete},
  };
  test::TempFolder dir;
  const std::string image = (dir.Path() / "Img.TAV").string(), old = image + ".old";
  int i = 0;
  for (const auto& c : cases) {
    Put(image, c.image);
    Put(old, c.old);
    bool aside = !c.aside;
    const std::string why = MakeRoomForFullImage(image, aside);
    EXPECT_EQ(why.empty(), c.goesOn) << i << ": " << why;
    EXPECT_EQ(aside, c.aside) << i;
    EXPECT_EQ(Get(image), c.imageAfter) << i;
    EXPECT_EQ(Get(old), c.oldAfter) << i;
    ++i;
  }
}

TEST(ImageWorker, PreviousImageGoesBackOverNothingOrAnUnfinishedOne) {
  using namespace files;
  const struct {
    std::string image, old;
    bool back;
  } cases[] = {
      {kUnfinished, kComplete, true},     {"", kComplete, true},          {kMissing, kComplete, true},
      {kComplete, kOtherComplete, false}, {kDamaged, kComplete, false},   {kForeign, kComplete, false},
      {kMissing, kUnfinished, false},     {kUnfinished, kForeign, false}, {kMissing, kMissing, false},
  };
  test::TempFolder dir;
  const std::string image = (dir.Path() / "Img.TAV").string(), old = image + ".old";
  int i = 0;
  for (const auto& c : cases) {
    Put(image, c.image);
    Put(old, c.old);
    const std::string note = PutBackInterruptedImage(image);
    EXPECT_EQ(!note.empty(), c.back) << i << ": " << note;
    EXPECT_EQ(Get(image), c.back ? c.old : c.image) << i;
    EXPECT_EQ(Get(old), c.back ? kMissing : c.old) << i;
    ++i;
  }
}

// A whole run of the script route whose shadow-copy tool (this program,
// see main) hangs: the run's time limit ends the tool, the run fails, and
// the previous image is back in its place.
class NoOtherWorker : public WorkerLauncher {
 public:
  void RunJob(const WorkerTask&) override { ADD_FAILURE() << "an image job was handed on"; }
};

std::string SelfPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

DWORD ReadPid(const std::filesystem::path& file) {
  const std::string text = test::ReadBytes(file);
  return !text.empty() && text.back() == '\n' ? static_cast<DWORD>(std::stoul(text)) : 0;
}

TEST(ImageWorker, TimeLimitEndsTheToolsAndPutsThePreviousImageBack) {
  using namespace std::chrono_literals;
  test::TempFolder dir;
  const auto serviceFolder = dir / "Orvanta", logFolder = dir / "Log", repo = dir / "repo";
  for (const auto& folder : {serviceFolder, logFolder, repo}) std::filesystem::create_directories(folder);
  std::filesystem::copy_file(SelfPath(), serviceFolder / "vshadow.exe");
  test::WriteBytes(serviceFolder / "OrvaImage.exe", "never started");
  const std::string image = (repo / "Slow.tav").string();
  const std::string previous = files::Prologue(3000, 0, 0);  // a whole image of an empty folder
  const auto pidFile = dir / "tool.pid";
  SetEnvironmentVariableA("ORVA_TEST_TOOL_PIDFILE", pidFile.string().c_str());

  JobTable table(dir.Path(), test::kQuick);
  std::mutex m;
  std::vector<int32_t> states;
  table.SetBroadcastHook([&](const JobRecord& r) {
    std::lock_guard lock(m);
    states.push_back(r.jobState);
  });
  NoOtherWorker others;
  WorkerTask task;
  task.kind = WorkerKind::kScriptedImage;
  task.osCaption = "Microsoft Windows 7 Professional [32bit]";  // the script route with vshadow.exe
  task.record = test::SampleJob("Slow", "once");
  task.record.runState = kStarted;
  SetFieldText(task.record.imagePath, image);
  SetFieldText(task.record.excludeList, "");

  // A limit shorter than Wine's start of the tool under load is tried again longer.
  for (std::chrono::milliseconds limit = 2000ms;; limit *= 4) {
    SCOPED_TRACE(limit.count());
    files::Put(image, previous);
    std::filesystem::remove(pidFile);
    std::filesystem::remove(serviceFolder / kJobLogName);
    std::filesystem::remove(serviceFolder / "OrvaHistory.log");
    states.clear();
    ImageWorkerOptions options;
    options.serviceFolder = serviceFolder;
    options.logFolder = logFolder;
    options.windowsFolder = dir.Path().string();  // no 32-bit system folder below it
    options.toolTimeout = limit;
    options.pollInterval = 200ms;
    ImageWorkerLauncher(table, options, others).RunJob(task);

    const DWORD pid = ReadPid(pidFile);
    if (!pid && limit < 30s) continue;
    ASSERT_NE(pid, 0u) << "the tool never started";
    HANDLE tool = OpenProcess(SYNCHRONIZE, FALSE, pid);
    EXPECT_TRUE(!tool || WaitForSingleObject(tool, 5000) == WAIT_OBJECT_0) << "the hung tool was left running";
    if (tool) CloseHandle(tool);
    break;
  }
  SetEnvironmentVariableA("ORVA_TEST_TOOL_PIDFILE", nullptr);

  ASSERT_GE(states.size(), 4u);
  using States = std::vector<int32_t>;
  EXPECT_EQ(States(states.begin(), states.begin() + 2), (States{kJobCreating, kJobImaging}));
  EXPECT_EQ(States(states.end() - 2, states.end()), (States{kJobFailed, kJobFailed}));
  EXPECT_EQ(files::Get(image), previous);
  EXPECT_EQ(files::Get(image + ".old"), files::kMissing);
  const std::string jobLog = test::ReadBytes(serviceFolder / kJobLogName);
  EXPECT_NE(jobLog.find("[Slow] [FULL_BACKUP] [ERROR] [C Drive] The image backup process passed its time limit and "
                        "was ended.\r\n"),
            std::string::npos)
      << jobLog;
  const std::string history = test::ReadBytes(serviceFolder / "OrvaHistory.log");
  const std::string last = "[FULLBACKUP][Failed][Slow]\r\n";
  EXPECT_TRUE(history.size() >= last.size() && history.substr(history.size() - last.size()) == last) << history;
  // The script and its settings file are gone.
  EXPECT_FALSE(std::filesystem::exists(logFolder / "OrvaImageBackup_Slow_C.cmd"));
  EXPECT_FALSE(std::filesystem::exists(logFolder / "OrvaSetVar_Slow_C.cmd"));
}

}  // namespace
}  // namespace orva::service

// The test program doubles as the shadow-copy tool of the script route:
// "-script=..." writes its id to ORVA_TEST_TOOL_PIDFILE and hangs.
int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]).rfind("-script=", 0) == 0) {
    if (const char* pidFile = std::getenv("ORVA_TEST_TOOL_PIDFILE")) {
      if (std::FILE* f = std::fopen(pidFile, "wb")) {
        std::fprintf(f, "%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
        std::fclose(f);
      }
    }
    Sleep(INFINITE);
    return 0;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
