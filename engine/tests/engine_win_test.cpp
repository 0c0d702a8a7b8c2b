#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>
#include <fstream>
#include <functional>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/compare_walk.h"
#include "core/progress.h"
#include "core/run_guard.h"
#include "core/run_log.h"
#include "core/tav_entry.h"
#include "core/run_settings.h"
#include "test_util.h"
#include "win/capture.h"
#include "win/image_chain.h"
#include "win/privileges.h"
#include "win/progress_mapping.h"

using namespace orva;
using orva::test::CaptureOutput;
using orva::test::TempFile;

namespace {

// The service's side: it creates both mappings before the engine starts.
struct ServiceMappings {
  HANDLE block = nullptr, status = nullptr;
  ProgressBlock* view = nullptr;
  volatile int32_t* control = nullptr;
  explicit ServiceMappings(const std::wstring& name) {
    block = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ProgressBlock), name.c_str());
    status = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, (name + L"_Status").c_str());
    view = static_cast<ProgressBlock*>(MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(ProgressBlock)));
    control = static_cast<volatile int32_t*>(MapViewOfFile(status, FILE_MAP_ALL_ACCESS, 0, 0, 4));
  }
  ~ServiceMappings() {
    UnmapViewOfFile(view);
    UnmapViewOfFile(const_cast<int32_t*>(control));
    CloseHandle(block);
    CloseHandle(status);
  }
};

std::string ReadAll(const std::wstring& path) {
  std::ifstream f(std::filesystem::path(path), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::wstring BinDir() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring dir(self);
  return dir.substr(0, dir.rfind(L'\\'));
}

// A child process with its console output in a file.
struct Child {
  PROCESS_INFORMATION pi{};
  TempFile out{"child_out"};
  TempFile log{"child_log"};
  Child() = default;
  Child(const std::wstring& mapping, int steps) {
    Start(L"\"" + BinDir() + L"\\progress_probe.exe\" " + mapping + L" \"" + log.Path() + L"\" " +
          std::to_wstring(steps));
  }
  void Start(const std::wstring& cmd) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileW(out.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0,
                           nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = h;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring mutableCmd = cmd;
    EXPECT_TRUE(CreateProcessW(nullptr, mutableCmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(h);
  }
  ~Child() {
    if (pi.hProcess) {
      TerminateProcess(pi.hProcess, 9);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
  bool WaitFor(const std::string& text, int ms = 10000) {
    for (int t = 0; t < ms; t += 20) {
      if (ReadAll(out.Path()).find(text) != std::string::npos) return true;
      Sleep(20);
    }
    return false;
  }
  DWORD Exit(int ms = 20000) {
    if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0) return 999;
    DWORD code = 999;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
  }
};

}  // namespace

TEST(ProgressMapping, PauseResumeThroughMappingsTheServiceMadeFirst) {
  ServiceMappings svc(L"OrvaProbeJob1");
  ASSERT_TRUE(svc.view && svc.control);
  Child probe(L"OrvaProbeJob1", 150);
  // Progress arrives in the service's own view.
  for (int t = 0; t < 500 && svc.view->processedBytes == 0; ++t) Sleep(20);
  EXPECT_GT(svc.view->processedBytes, 0);
  EXPECT_EQ(svc.view->totalBytes, 150);
  *svc.control = kControlPause;
  ASSERT_TRUE(probe.WaitFor("The user has temporarily stopped the imaging process.\r\n"));
  int64_t paused = svc.view->processedBytes;
  Sleep(700);
  EXPECT_EQ(svc.view->processedBytes, paused);
  *svc.control = kControlRun;
  ASSERT_TRUE(probe.WaitFor("The user resumed the imaging process.\r\n"));
  EXPECT_EQ(probe.Exit(), 0u);
  EXPECT_EQ(svc.view->currentPercent, 100);
  std::string text = ReadAll(probe.out.Path());
  EXPECT_NE(text.find("\r\nEverything is Ok.\r\n"), std::string::npos);
  std::string log = ReadAll(probe.log.Path());
  EXPECT_NE(log.find("stopped the imaging process"), std::string::npos);
  EXPECT_NE(log.find("resumed the imaging process"), std::string::npos);
}

TEST(ProgressMapping, CancelEndsTheRunWithoutVerdict) {
  ServiceMappings svc(L"OrvaProbeJob2");
  Child probe(L"OrvaProbeJob2", 2000);
  for (int t = 0; t < 500 && svc.view->processedBytes == 0; ++t) Sleep(20);
  *svc.control = kControlCancel;
  EXPECT_EQ(probe.Exit(), 0u);
  std::string text = ReadAll(probe.out.Path());
  EXPECT_NE(text.find(", The user has canceled the imaging process.\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Everything is Ok"), std::string::npos);
  EXPECT_EQ(text.find("End of Orvanta"), std::string::npos);
  std::string log = ReadAll(probe.log.Path());
  EXPECT_EQ(log.substr(log.size() - 46), ", The user has canceled the imaging process.\r\n");
}

TEST(ProgressMapping, CancelBeforeTheFirstPoll) {
  ServiceMappings svc(L"OrvaProbeJob3");
  *svc.control = kControlCancel;
  Child probe(L"OrvaProbeJob3", 50);
  EXPECT_EQ(probe.Exit(), 0u);
  EXPECT_TRUE(probe.WaitFor("canceled the imaging process", 100));
  EXPECT_EQ(svc.view->processedBytes, 0);
}

TEST(ProgressMapping, NoNameNoSharing) {
  Settings().mappingName.clear();
  CreateProgressMapping();
  EXPECT_FALSE(Progress().sharing);
  CloseProgressMapping();
}

TEST(ProgressMapping, EngineCreatesWhenAlone) {
  Settings().mappingName = L"OrvaProbeAlone";
  CreateProgressMapping();
  ASSERT_TRUE(Progress().sharing);
  // Another process (here: a second handle) sees the same memory.
  HANDLE h = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, L"OrvaProbeAlone_Status");
  ASSERT_NE(h, nullptr);
  auto* word = static_cast<volatile int32_t*>(MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, 4));
  EXPECT_EQ(*Progress().control, 0);  // a new mapping starts zero-filled
  *word = 7;
  EXPECT_EQ(*Progress().control, 7);
  UnmapViewOfFile(const_cast<int32_t*>(word));
  CloseHandle(h);
  CloseProgressMapping();
  EXPECT_FALSE(Progress().sharing);
  Settings().mappingName.clear();
}

namespace {

// Whether each of names that the process token holds is enabled.
std::map<std::wstring, bool> TokenState(const std::vector<std::wstring>& names) {
  std::map<std::wstring, bool> state;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return state;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<uint8_t> buffer(size);
  if (size && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
    const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < held->PrivilegeCount; ++i) {
      wchar_t name[128];
      DWORD n = 128;
      LUID luid = held->Privileges[i].Luid;
      if (!LookupPrivilegeNameW(nullptr, &luid, name, &n)) continue;
      if (std::find(names.begin(), names.end(), name) != names.end())
        state[name] = (held->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  CloseHandle(token);
  return state;
}

void SetPrivilegeState(const std::wstring& name, bool enabled) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueW(nullptr, name.c_str(), &tp.Privileges[0].Luid));
  tp.Privileges[0].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
  EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, &tp, sizeof tp, nullptr, nullptr));
  CloseHandle(token);
}

}  // namespace

// The privileges a capture and restore need are on after the enable and off
// after the disable, or a line says why; nothing else is printed.
TEST(Privileges, EnableAndDisableReportOnlyFailures) {
  const std::vector<std::wstring> needed{L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeSecurityPrivilege",
                                         L"SeTakeOwnershipPrivilege", L"SeChangeNotifyPrivilege"};
  std::map<std::wstring, bool> held = TokenState(needed);
  ASSERT_FALSE(held.empty()) << "the test token holds none of the privileges";
  for (const auto& [name, enabled] : held) SetPrivilegeState(name, false);
  for (const auto& [name, enabled] : TokenState(needed)) ASSERT_FALSE(enabled) << std::string(name.begin(), name.end());

  CaptureOutput out;
  EnablePrivileges();
  const std::wstring enableText = out.console;
  for (const auto& [name, enabled] : TokenState(needed))
    EXPECT_TRUE(enabled || enableText.find(L"privilege for " + name + L".") != std::wstring::npos)
        << std::string(name.begin(), name.end()) << " was not enabled";
  DisablePrivileges();
  const std::wstring disableText = out.console.substr(enableText.size());
  for (const auto& [name, enabled] : TokenState(needed))
    EXPECT_TRUE(!enabled || disableText.find(L"privilege for " + name + L".") != std::wstring::npos)
        << std::string(name.begin(), name.end()) << " was not disabled";

  std::wstring text = out.console;
  for (size_t p = 0; p < text.size();) {
    size_t e = text.find(L'\n', p);
    std::wstring line = text.substr(p, e - p);
    EXPECT_TRUE(line.rfind(L"  Failed to acquire privilege for Se", 0) == 0 ||
                line.rfind(L"  Failed to disabling privilege for Se", 0) == 0 ||
                line.rfind(L"   AdjustTokenPrivileges() error: ", 0) == 0)
        << std::string(line.begin(), line.end());
    p = e == std::wstring::npos ? text.size() : e + 1;
  }
  for (const auto& [name, enabled] : held) SetPrivilegeState(name, enabled);
}

// A failed lookup or adjustment gives the error of that call, whatever
// writing the message does to the thread's last error (a console write
// under Wine clears it).
TEST(Privileges, AFailureKeepsTheErrorOfItsOwnCall) {
  struct ClearingSink : OutputSink {
    std::wstring console;
    void Console(const std::wstring& text) override {
      console += text;
      SetLastError(0);
    }
    void Log(const std::wstring&) override { SetLastError(0); }
  } sink;
  HANDLE queryOnly = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &queryOnly));
  SetOutputSink(&sink);
  DWORD adjustError = 0, lookupError = 0;
  const bool adjusted = SetPrivilege(queryOnly, L"SeBackupPrivilege", true, adjustError);
  const bool looked = SetPrivilege(queryOnly, L"SeNoSuchThingPrivilege", true, lookupError);
  SetOutputSink(nullptr);
  CloseHandle(queryOnly);
  EXPECT_FALSE(adjusted);
  EXPECT_EQ(adjustError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(looked);
  EXPECT_EQ(lookupError, static_cast<DWORD>(ERROR_NO_SUCH_PRIVILEGE));
  EXPECT_TRUE(sink.console == L"   AdjustTokenPrivileges() error: 5\n")
      << std::string(sink.console.begin(), sink.console.end());
}

// Which images of a chain are named as out of place: a stored name that is
// not the file's name (letter case, folders and slashes aside), or a start
// later than the next image's. Each such image is one warning.
TEST(ImageChain, ImagesOutOfPlace) {
  struct Image {
    const wchar_t* path;
    const wchar_t* stored;
    int day, second;
  };
  struct Case {
    const char* name;
    std::vector<Image> images;
    int warnings;
    const wchar_t* named;  // in the first warning
  } cases[] = {
      {"in place",
       {{L"D:\\Backup\\Job.TAV", L"Job.TAV", 1, 0},
        {L"D:\\Backup\\Job_0001.TAV", L"Job_0001.TAV", 2, 0},
        {L"D:\\Backup\\Job_0002.TAV", L"Job_0002.TAV", 2, 0}},
       0,
       nullptr},
      {"moved, other case and slashes",
       {{L"E:\\Elsewhere\\job.tav", L"D:\\Backup\\Job.TAV", 1, 0},
        {L"E:/Elsewhere/JOB_0001.tav", L"D:/Backup/Job_0001.TAV", 1, 5}},
       0,
       nullptr},
      {"swapped",
       {{L"D:\\B\\Job.TAV", L"Job.TAV", 1, 0},
        {L"D:\\B\\Job_0001.TAV", L"Job_0002.TAV", 3, 0},
        {L"D:\\B\\Job_0002.TAV", L"Job_0001.TAV", 2, 0}},
       3,
       L"The image D:\\B\\Job_0001.TAV holds the image Job_0002.TAV"},
      {"started after the next one",
       {{L"D:\\B\\Job.TAV", L"Job.TAV", 1, 0},
        {L"D:\\B\\Job_0001.TAV", L"Job_0001.TAV", 2, 1},
        {L"D:\\B\\Job_0002.TAV", L"Job_0002.TAV", 2, 0}},
       1,
       L"The image D:\\B\\Job_0001.TAV was started later than the image D:\\B\\Job_0002.TAV that follows it"},
  };
  const RunCounters before = Counters();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TavImageHeader> headers(c.images.size());
    std::vector<ChainLink> links;
    for (size_t k = 0; k < c.images.size(); ++k) {
      headers[k].imagePath = c.images[k].stored;
      headers[k].startYear = 2026;
      headers[k].startMonth = 12;
      headers[k].startDay = static_cast<uint8_t>(c.images[k].day);
      headers[k].startSecond = static_cast<uint8_t>(c.images[k].second);
      links.push_back({c.images[k].path, &headers[k], true});
    }
    Counters() = RunCounters();
    CaptureOutput out;
    WarnMisplacedImages(links);
    EXPECT_EQ(Counters().chainWarnings, c.warnings);
    EXPECT_EQ(Counters().Warnings(), c.warnings);
    EXPECT_TRUE(out.console == out.log);
    if (c.named)
      EXPECT_EQ(out.console.find(std::wstring(L"  Warning : ") + c.named), 0u)
          << std::string(out.console.begin(), out.console.end());
    else
      EXPECT_TRUE(out.console.empty()) << std::string(out.console.begin(), out.console.end());
  }
  Counters() = before;
}

namespace {

// A small tree for the engine runs.
struct SampleTree {
  std::filesystem::path root;
  SampleTree() : root(std::filesystem::temp_directory_path() / "orva_cancel_tree") {
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root / "sub");
    for (int i = 0; i < 20; ++i) {
      std::string name = std::to_string(i);
      name += ".bin";
      std::ofstream f(root / "sub" / name, std::ios::binary);
      f << std::string(70000 + i, static_cast<char>('a' + i));
    }
  }
  ~SampleTree() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

std::vector<uint8_t> Head(const std::wstring& path, size_t n) {
  std::ifstream f(std::filesystem::path(path), std::ios::binary);
  std::vector<uint8_t> b(n);
  f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
  b.resize(static_cast<size_t>(f.gcount()));
  return b;
}

}  // namespace

// The service asks for a pause before the engine starts, then cancels or resumes.
TEST(EngineRun, PauseThenCancelOrResume) {
  for (bool cancel : {true, false}) {
    SampleTree tree;
    TempFile image("cancel_image");
    const std::wstring name = cancel ? L"OrvaEngineCancel" : L"OrvaEngineResume";
    ServiceMappings svc(name);
    *svc.control = kControlPause;
    Child engine;
    engine.Start(L"\"" + BinDir() + L"\\OrvaImage.exe\" a \"" + image.Path() + L"\" \"" + tree.root.wstring() +
                 L"\" -i" + name);
    ASSERT_TRUE(engine.WaitFor("The user has temporarily stopped the imaging process.\r\n"));
    *svc.control = cancel ? kControlCancel : kControlRun;
    EXPECT_EQ(engine.Exit(), 0u);
    std::string text = ReadAll(engine.out.Path());
    std::error_code ec;
    // The image being written never stays under its work name.
    EXPECT_FALSE(std::filesystem::exists(image.Path() + L".new"));
    if (cancel) {
      EXPECT_NE(text.find(", The user has canceled the imaging process.\r\n"), std::string::npos);
      EXPECT_EQ(text.find("Everything is Ok"), std::string::npos);
      EXPECT_FALSE(std::filesystem::exists(image.Path()));  // never completed, never in place
      EXPECT_TRUE(std::filesystem::exists(image.Path() + L".tmp"));
      std::filesystem::remove(image.Path() + L".tmp", ec);
    } else {
      EXPECT_NE(text.find(", The user resumed the imaging process.\r\n"), std::string::npos);
      EXPECT_NE(text.find("\r\nEverything is Ok.\r\n"), std::string::npos);
      std::vector<uint8_t> head = Head(image.Path(), 20);
      ASSERT_EQ(head.size(), 20u);
      EXPECT_FALSE(std::all_of(head.begin() + 4, head.end(), [](uint8_t b) { return b == 0; }));
      EXPECT_EQ(svc.view->currentPercent, 100);
      EXPECT_EQ(svc.view->processedBytes, 20 * 70000 + 190);  // 70000 + i bytes each
    }
    std::filesystem::remove(image.Path() + L"_a.log", ec);
  }
}

namespace {

std::string RunEngine(const std::wstring& args) {
  Child engine;
  engine.Start(L"\"" + BinDir() + L"\\OrvaImage.exe\" " + args);
  EXPECT_EQ(engine.Exit(), 0u);
  return ReadAll(engine.out.Path());
}

}  // namespace

// A cancelled update run leaves the update image the list names, and the list.
TEST(EngineRun, CancelledUpdateKeepsTheOldUpdateImage) {
  SampleTree tree;
  const auto folder = std::filesystem::temp_directory_path() / "orva_cancel_update";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::wstring full = (folder / "Job.TAV").wstring();
  const std::wstring update = (folder / "Job_0001.TAV").wstring();
  const std::wstring source = L"\"" + tree.root.wstring() + L"\"";
  ASSERT_NE(RunEngine(L"a \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
  ASSERT_NE(RunEngine(L"u \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
  const std::string fullBefore = ReadAll(full), updateBefore = ReadAll(update);
  ASSERT_FALSE(updateBefore.empty());

  // Every file changes, so the run has data to write when it is stopped.
  for (auto& entry : std::filesystem::directory_iterator(tree.root / "sub")) {
    std::ofstream f(entry.path(), std::ios::binary | std::ios::app);
    f << "more";
  }
  ServiceMappings svc(L"OrvaUpdateCancel");
  *svc.control = kControlPause;
  Child engine;
  engine.Start(L"\"" + BinDir() + L"\\OrvaImage.exe\" u \"" + full + L"\" " + source + L" -iOrvaUpdateCancel");
  ASSERT_TRUE(engine.WaitFor("The user has temporarily stopped the imaging process.\r\n"));
  *svc.control = kControlCancel;
  EXPECT_EQ(engine.Exit(), 0u);
  const std::string text = ReadAll(engine.out.Path());
  EXPECT_NE(text.find(", The user has canceled the imaging process.\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Everything is Ok"), std::string::npos);
  EXPECT_EQ(ReadAll(update), updateBefore);
  EXPECT_EQ(ReadAll(full), fullBefore);
  EXPECT_FALSE(std::filesystem::exists(update + L".new"));  // nothing half-written stays

  // The next update run completes over what the cancelled one left.
  EXPECT_NE(RunEngine(L"u \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
  EXPECT_NE(ReadAll(update), updateBefore);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// A full run cancelled over an existing image leaves that image whole: it
// still restores the tree it was made of.
TEST(EngineRun, CancelledFullRunKeepsThePreviousImage) {
  SampleTree tree;
  const auto folder = std::filesystem::temp_directory_path() / "orva_cancel_full";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::wstring image = (folder / "Job.TAV").wstring();
  const std::wstring source = L"\"" + tree.root.wstring() + L"\"";
  ASSERT_NE(RunEngine(L"a \"" + image + L"\" " + source).find("Everything is Ok"), std::string::npos);
  const std::string before = ReadAll(image);
  for (auto& entry : std::filesystem::directory_iterator(tree.root / "sub")) {
    std::ofstream f(entry.path(), std::ios::binary | std::ios::app);
    f << "more";
  }
  ServiceMappings svc(L"OrvaFullCancel");
  *svc.control = kControlPause;
  Child engine;
  engine.Start(L"\"" + BinDir() + L"\\OrvaImage.exe\" a \"" + image + L"\" " + source + L" -iOrvaFullCancel");
  ASSERT_TRUE(engine.WaitFor("The user has temporarily stopped the imaging process.\r\n"));
  *svc.control = kControlCancel;
  EXPECT_EQ(engine.Exit(), 0u);
  const std::string text = ReadAll(engine.out.Path());
  EXPECT_NE(text.find(", The user has canceled the imaging process.\r\n"), std::string::npos);
  EXPECT_EQ(ReadAll(image), before);
  EXPECT_FALSE(std::filesystem::exists(image + L".new"));

  const std::wstring target = (folder / "out").wstring();
  const std::string restored = RunEngine(L"x \"" + image + L"\" \"-o" + target + L"\"");
  EXPECT_NE(restored.find("Everything is Ok"), std::string::npos) << restored;
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(target) / "sub" / (std::to_string(i) + ".bin")),
              70000u + static_cast<unsigned>(i));
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// A differential update whose full image cannot be replaced keeps both
// files and ends fatally.
TEST(EngineRun, DifferentialUpdateThatCannotReplaceKeepsBothImages) {
  SampleTree tree;
  const auto folder = std::filesystem::temp_directory_path() / "orva_replace_update";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::wstring full = (folder / "Job.TAV").wstring();
  const std::wstring source = L"\"" + tree.root.wstring() + L"\"";
  ASSERT_NE(RunEngine(L"a \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
  const std::string before = ReadAll(full);
  {
    std::ofstream f(tree.root / "new.txt");
    f << "new";
  }
  // Another reader that does not let the file go.
  HANDLE held = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string text = RunEngine(L"w \"" + full + L"\" " + source);
  CloseHandle(held);
  EXPECT_NE(text.find("both files are kept"), std::string::npos)
      << text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
  EXPECT_NE(text.find("There were fatal SYSTEM errors"), std::string::npos);
  EXPECT_EQ(ReadAll(full), before);
  const std::string replacement = ReadAll(full + L".new");
  EXPECT_GT(replacement.size(), 20u);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// A full image another reader holds (sharing reads alone) cannot have its
// increment list rewritten. "u" rewrites the list first: its new image goes
// and the old update image stays. "d" has placed its new image by then.
TEST(EngineRun, UpdateWhoseListCannotBeRewritten) {
  for (const std::wstring letter : {L"u", L"d"}) {
    SCOPED_TRACE(letter == L"u" ? "u" : "d");
    SampleTree tree;
    const auto folder = std::filesystem::temp_directory_path() / "orva_list_update";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::wstring full = (folder / "Job.TAV").wstring();
    const std::wstring update = (folder / "Job_0001.TAV").wstring();
    const std::wstring source = L"\"" + tree.root.wstring() + L"\"";
    ASSERT_NE(RunEngine(L"a \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
    const bool placesFirst = letter == L"d";
    if (!placesFirst) {
      ASSERT_NE(RunEngine(L"u \"" + full + L"\" " + source).find("Everything is Ok"), std::string::npos);
    }
    const std::string fullBefore = ReadAll(full), updateBefore = ReadAll(update);
    {
      std::ofstream f(tree.root / "new.txt");
      f << "new";
    }
    HANDLE held = CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::string text = RunEngine(letter + L" \"" + full + L"\" " + source);
    CloseHandle(held);
    EXPECT_NE(text.find("Failed to rewrite the increment list of the image"), std::string::npos) << text;
    EXPECT_NE(text.find("There were fatal SYSTEM errors"), std::string::npos);
    EXPECT_EQ(text.find("is written."), std::string::npos);
    EXPECT_EQ(ReadAll(full), fullBefore);
    EXPECT_FALSE(std::filesystem::exists(update + L".new"));
    if (placesFirst)
      EXPECT_GT(ReadAll(update).size(), 20u);
    else
      EXPECT_EQ(ReadAll(update), updateBefore);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
}

// A format-3000 capture and restore never read the control word: a pause
// or cancel the service asked for changes nothing.
TEST(EngineRun, Format3000IgnoresPauseAndCancel) {
  for (int32_t word : {kControlPause, kControlCancel}) {
    SCOPED_TRACE(word);
    SampleTree tree;
    TempFile image("v3_image");
    const std::wstring target = image.Path() + L"_out";
    const std::wstring name = L"OrvaEngineV3_" + std::to_wstring(word);
    ServiceMappings svc(name);
    const std::wstring exe = L"\"" + BinDir() + L"\\OrvaImage.exe\" ";
    const std::wstring runs[] = {
        exe + L"a \"" + image.Path() + L"\" \"" + tree.root.wstring() + L"\" -v3000 -i" + name,
        exe + L"x \"" + image.Path() + L"\" \"-o" + target + L"\" -i" + name,
    };
    for (const auto& cmd : runs) {
      const bool capture = &cmd == &runs[0];
      *svc.control = word;
      svc.view->currentPercent = 0;
      Child engine;
      engine.Start(cmd);
      EXPECT_EQ(engine.Exit(), 0u);
      std::string text = ReadAll(engine.out.Path());
      EXPECT_NE(text.find("\r\nEverything is Ok.\r\n"), std::string::npos) << text;
      EXPECT_EQ(text.find("The user has"), std::string::npos);
      EXPECT_EQ(svc.view->currentPercent, 100);
      // Capture counts the files' sizes, restore the stored streams' lengths.
      if (capture) {
        EXPECT_EQ(svc.view->processedBytes, 20 * 70000 + 190);
      }
    }
    EXPECT_EQ(Head(image.Path(), 4), (std::vector<uint8_t>{0xB8, 0x0B, 0, 0}));
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(target) / "sub" / "19.bin"), 70019u);
    std::error_code ec;
    std::filesystem::remove_all(target, ec);
    std::filesystem::remove(image.Path() + L"_a.log", ec);
    std::filesystem::remove(image.Path() + L"_x.log", ec);
  }
}

namespace {

FindData FindOf(const std::wstring& path) {
  WIN32_FIND_DATAW w{};
  HANDLE h = FindFirstFileW(path.c_str(), &w);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  FindData fd;
  std::memcpy(&fd, &w, sizeof fd);
  return fd;
}

}  // namespace

// The single-entry archivers: each failure has its result and its text,
// is counted, and leaves both streams where they were.
TEST(Archivers, ResultsTextsAndEntries) {
  const auto folder = std::filesystem::temp_directory_path() / "orva_archivers";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "dir");
  std::ofstream(folder / "file.txt") << std::string(70000, 'x');
  const std::wstring file = (folder / "file.txt").wstring(), dir = (folder / "dir").wstring();
  const std::wstring none = (folder / "none.txt").wstring(), nowhere = (folder / "no" / "x.txt").wstring();
  FindData junctionFd = FindOf(dir);
  junctionFd.reserved0 = kTagMountPoint;
  const FindData fileFd = FindOf(file);

  TempFile hf("arch_header"), bf("arch_body");
  FileStream header, body;
  ASSERT_TRUE(header.Open(hf.Path(), L"w+b"));
  ASSERT_TRUE(body.Open(bf.Path(), L"w+b"));
  const char prologue[20] = {};
  body.Write(prologue, 20);
  Settings().compressionLevel = 1;
  ClearHardLinks();
  Counters() = RunCounters();
  Lists().Clear();

  struct Case {
    const char* what;
    std::function<uint8_t()> run;
    uint8_t result;
    std::wstring text;
  };
  const Case cases[] = {
      {"object not found", [&] { return ArchiveSingleEntry(0, none, L"\\none.txt", header, body); }, kArchiveNotFound,
       L"Cannot find the file " + none + L". (Error code # : 2, "},
      {"object not accessible", [&] { return ArchiveSingleEntry(0, nowhere, L"\\no\\x.txt", header, body); },
       kArchiveNotAccessible, L"Cannot access the object " + nowhere + L". (Error code # : 3, "},
      {"file not found", [&] { return ArchiveFileEntry(0, L"\\none.txt", none, header, body); }, kArchiveNotFound,
       L"Cannot find the file " + none + L". (Error code # : 2, "},
      {"file not accessible", [&] { return ArchiveFileEntry(0, L"\\no\\x.txt", nowhere, header, body); },
       kArchiveNotAccessible, L"Cannot access the file " + nowhere + L". (Error code # : 3, "},
      {"file link that is no link", [&] { return ArchiveFileLinkEntry(0, file, L"\\file.txt", fileFd, header); },
       kLinkQueryFailed, L"  Failed to retrieve the reparse point of the symbolic link. (Error code : "},
      {"junction that is no junction", [&] { return ArchiveJunctionEntry(0, dir, L"\\dir", junctionFd, header); },
       kLinkQueryFailed,
       L"  Failed to retrieve the reparse point data of the link directory (" + dir + L"). (Error code : "},
      {"junction that is gone", [&] { return ArchiveJunctionEntry(0, none, L"\\none", junctionFd, header); },
       kLinkOpenFailed, L"  Failed to retrieve the handle of the link directory (" + none + L"). (Error code : 2, "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CaptureOutput out;
    EXPECT_EQ(c.run(), c.result);
    EXPECT_EQ(out.console.rfind(c.text, 0), 0u) << std::string(out.console.begin(), out.console.end());
    EXPECT_EQ(out.log, out.console);
    EXPECT_EQ(header.GetPosition(), 0);
    EXPECT_EQ(body.GetPosition(), 20);
  }
  EXPECT_EQ(Counters().filesSkipped, 4);
  EXPECT_EQ(Counters().fileLinksSkipped, 1);
  EXPECT_EQ(Counters().junctionsSkipped, 2);

  // Written entries follow the prefix their caller wrote.
  {
    CaptureOutput out;
    for (const std::wstring& path : {file, dir}) {
      const uint8_t zero = 0;
      header.Write(&zero, 1);
      EXPECT_EQ(ArchiveSingleEntry(2, path, L"\\x", header, body), kArchived);
    }
  }
  const int64_t end = header.GetPosition();
  header.SeekToBegin();
  body.SeekAbsolute(20);
  TavEntry e;
  int32_t error = 0;
  ASSERT_TRUE(ReadTavEntry(ChainStreams{}, 4000, header, body, true, e, error));
  EXPECT_EQ(e.record.kind, kKindFile);
  EXPECT_EQ(e.record.depth, 2);
  EXPECT_EQ(e.record.findData.Name(), L"file.txt");
  EXPECT_GT(e.dataLength, 0);
  body.SeekAbsolute(e.dataOffset + e.dataLength);
  ASSERT_TRUE(ReadTavEntry(ChainStreams{}, 4000, header, body, true, e, error));
  EXPECT_EQ(e.record.kind, kKindDirectory);
  EXPECT_EQ(e.record.findData.Name(), L"dir");
  EXPECT_EQ(header.GetPosition(), end);
  header.Close();
  body.Close();
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}

// A run that fails removes its work files by their full names, also
// beside an image whose path passes the old limit of 260 characters.
TEST(RunGuard, AFailedRunRemovesAWorkFileOfALongPath) {
  const std::wstring top = (std::filesystem::temp_directory_path() / "orva_long_work").wstring();
  std::wstring folder = top;
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(CreateDirectoryW(SystemPath(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        << GetLastError();
    folder += L"\\folder number " + std::to_wstring(i) + L" of a tree that is deep";
  }
  ASSERT_TRUE(CreateDirectoryW(SystemPath(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring work = folder + L"\\Job.TAV.tmp";
  ASSERT_GT(work.size(), 300u);
  HANDLE h = CreateFileW(SystemPath(work).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  ClearWorkFiles();
  AddWorkFile(work);
  {
    CaptureOutput out;
    GuardRun([]() -> bool { throw std::runtime_error("broke down"); });
  }
  EXPECT_EQ(GetFileAttributesW(SystemPath(work).c_str()), INVALID_FILE_ATTRIBUTES);
  ClearWorkFiles();
  Counters() = RunCounters();
  std::error_code ec;
  std::filesystem::remove_all(top, ec);
}
