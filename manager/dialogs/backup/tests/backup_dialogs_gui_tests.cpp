// The start-backup, one-click and add-existing-image dialogs on real
// windows under Wine: a second thread finds each window, clicks, reads it
// back and answers the message boxes; the records that would go to the
// service are read back from a fake sender or from a real socket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "add_image_dlg.h"
#include "add_image_dlg_ids.h"
#include "backup_dialog_host.h"
#include "backup_dialog_util.h"
#include "backup_job_logic.h"
#include "contracts/job_record_check.h"
#include "gui_test_support.h"
#include "message_box.h"
#include "one_click_dlg.h"
#include "one_click_dlg_ids.h"
#include "skin_cache.h"
#include "start_backup_dlg.h"
#include "start_backup_dlg_ids.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace fs = std::filesystem;
using namespace orva::manager;
using orva::service::FieldText;
using orva::service::JobRecord;

namespace {

CWinApp theApp("Orvanta");
CWnd g_mainWindow;
HWND g_ui = nullptr;
MessageBoxParams g_boxParams;

// --- the fake service side -----------------------------------------------------------

class FakeSender : public JobRecordSender {
 public:
  int failAt = -1;  // the attempt (from 0) that fails
  std::vector<JobRecord> sent;
  int attempts = 0;
  bool Send(const JobRecord& record) override {
    std::lock_guard<std::mutex> hold(m_lock);
    if (attempts++ == failAt) {
      SkinMessageBox(nullptr, "Data Send Error. [ERROR CODE:10054]", "Orvanta", MB_OK, &g_boxParams);
      return false;
    }
    sent.push_back(record);
    return true;
  }

 private:
  std::mutex m_lock;
};

std::string Why(const JobRecord& r) {
  std::string why;
  return orva::service::ValidateJobRecord(r, why) ? "" : why;
}

// --- driving windows from a second thread --------------------------------------------

std::wstring TextOf(HWND h) {
  wchar_t buf[4096] = {};
  GetWindowTextW(h, buf, 4096);
  return buf;
}
std::string Narrow(const std::wstring& w) { return FromWideText(w.c_str()).GetString(); }
std::string ItemText(HWND dlg, int id) { return Narrow(TextOf(GetDlgItem(dlg, id))); }

struct Finder {
  std::wstring title;
  HWND found = nullptr;
};

BOOL CALLBACK FindProc(HWND h, LPARAM l) {
  auto* f = (Finder*)l;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(h) || wcscmp(cls, L"#32770") != 0) return TRUE;
  if (TextOf(h) != f->title) return TRUE;
  f->found = h;
  return FALSE;
}

HWND FindTop(const std::wstring& title) {
  Finder f{title};
  EnumWindows(FindProc, (LPARAM)&f);
  return f.found;
}

HWND WaitFor(const std::wstring& title, int ms = 8000) {
  DWORD end = GetTickCount() + ms;
  do {
    if (HWND h = FindTop(title)) {
      Sleep(250);  // let it finish painting
      return h;
    }
    Sleep(20);
  } while ((int)(end - GetTickCount()) > 0);
  ADD_FAILURE() << "no window " << Narrow(title);
  return nullptr;
}

bool WaitGone(HWND h, int ms = 5000) {
  DWORD end = GetTickCount() + ms;
  while (IsWindow(h) && IsWindowVisible(h) && (int)(end - GetTickCount()) > 0) Sleep(20);
  return !IsWindow(h) || !IsWindowVisible(h);
}

// Runs `f` on the UI thread, which pumps inside the modal loops.
void OnUi(const std::function<void()>& f) {
  DWORD_PTR r;
  SendMessageTimeoutW(g_ui, WM_APP, 0, (LPARAM)&f, SMTO_NORMAL, 10000, &r);
}

LRESULT CALLBACK UiProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_APP) {
    (*(const std::function<void()>*)l)();
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

void Click(HWND dlg, int id) { PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id)); }

// Waits for the message box, returns its text and presses `button`.
std::string Answer(int button) {
  HWND box = WaitFor(L"Orvanta");
  if (!box) return "(no box)";
  std::string text = ItemText(box, SMB_ID_TEXT);
  Click(box, button);
  WaitGone(box);
  return text;
}

BOOL CALLBACK CancelProc(HWND h, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(h)) {
    PostMessageW(h, WM_COMMAND, IDNO, 0);
    PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
  }
  return TRUE;
}

// A thread that drives the windows; when its script fails it cancels every
// window left, so that the modal loops end.
class Driver {
 public:
  explicit Driver(std::function<bool()> script)
      : m_thread([script, desktop = GetThreadDesktop(GetCurrentThreadId())] {
          SetThreadDesktop(desktop);  // a new thread starts on the default desktop under Wine
          if (script()) return;
          ADD_FAILURE() << "the script stopped early";
          for (int i = 0; i < 20; ++i) {
            EnumWindows(CancelProc, 0);
            Sleep(200);
          }
        }) {}
  ~Driver() { Join(); }
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::thread m_thread;
};

std::string Cell(CReportListCtrl& list, int row, int column) { return list.GetItemText(row, column).GetString(); }

void Shot(HWND h, const char* name) {
  Sleep(200);
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
  SaveScreenshot(h, name);
}

// Fixed answers instead of the real disks.
void FakeDisks(COneClickDlg& c) {
  c.fixedDrives = [] { return std::vector<std::string>{"C:", "D:", "F:"}; };
  c.driveSpace = [](const std::string& drive, int selector) -> std::string {
    if (drive == "C:") return selector == 0 ? "1.536 GB" : "40.000 GB";
    if (drive == "D:") return selector == 0 ? "500 MB" : "900 MB";
    return selector == 0 ? "1 MB" : "2 MB";
  };
}

BackupDialogHost Host(JobRecordSender* sender) {
  BackupDialogHost host;
  host.sender = sender;
  host.messageParams = &g_boxParams;
  host.repositoryList = [] { return std::string("D:\\Orvanta|"); };
  host.defaultRepository = [] { return std::string("D:\\Orvanta"); };
  host.jobs = [] { return std::vector<JobRecord>(); };
  return host;
}

}  // namespace

// --- start dialog and one-click ----------------------------------------------------------

TEST(StartBackup, OneClickProposesDriveCAndSendsTheConfirmedRecord) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  CStartBackupDlg dlg(nullptr, host);
  dlg.driveUsedSpace = [](const std::string& drive) { return drive == "C:" ? "1.536 GB" : "?"; };
  COneClickDlg* confirm = nullptr;
  dlg.prepareOneClick = [&](COneClickDlg& c) {
    confirm = &c;
    FakeDisks(c);
  };
  std::string startTitle, oneText, advText, path, space, pathAfter, spaceAfter, drives;
  std::vector<std::string> rows, rowsAfter;
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    oneText = ItemText(start, IDC_START_ONECLICK);
    advText = ItemText(start, IDC_START_ADVANCED);
    Shot(start, "start_backup");
    Click(start, IDC_START_ONECLICK);
    HWND sum = WaitFor(L"Summary Information");
    if (!sum) return false;
    Shot(sum, "one_click");
    path = ItemText(sum, IDC_ONECLICK_PATH);
    space = ItemText(sum, IDC_ONECLICK_SPACE);
    OnUi([&] {
      for (int i = 0; i < confirm->m_driveList.GetCount(); ++i)
        drives += std::string(confirm->m_driveList.GetLBText(i).GetString()) + "|";
      drives += std::to_string(confirm->m_driveList.GetCurSel());
      for (int r = 0; r < confirm->m_summary.GetItemCount(); ++r)
        rows.push_back(Cell(confirm->m_summary, r, 0) + "=" + Cell(confirm->m_summary, r, 1));
      confirm->m_driveList.SetCurSel(1);
      confirm->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ONECLICK_DRIVES, CBN_SELCHANGE),
                           (LPARAM)confirm->m_driveList.m_hWnd);
      rowsAfter.push_back(Cell(confirm->m_summary, 3, 1));
    });
    pathAfter = ItemText(sum, IDC_ONECLICK_PATH);
    spaceAfter = ItemText(sum, IDC_ONECLICK_SPACE);
    Click(sum, IDOK);
    return WaitGone(sum) && WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();

  EXPECT_EQ(oneText, "One-click Backup");
  EXPECT_EQ(advText, "Advanced Backup");
  EXPECT_TRUE(std::regex_match(path, std::regex(R"(D:\\Orvanta\\OrvaBackup_C_\d{4}_\d{8}_\d{2}\.TAV)"))) << path;
  EXPECT_EQ(space, "1.536 GB/40.000 GB");
  EXPECT_EQ(drives, "C:|D:|F:|0");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "Task Type =FULL BACKUP");
  EXPECT_EQ(rows[1], "Compression Level =Normal");
  EXPECT_EQ(rows[2], "Schedule =Once");
  EXPECT_EQ(rows[3], "Backup Path =" + path);
  std::string expected = path;
  expected.replace(expected.find("_C_"), 3, "_D_");
  EXPECT_EQ(pathAfter, expected);
  EXPECT_EQ(spaceAfter, "500 MB/900 MB");
  EXPECT_EQ(rowsAfter, std::vector<std::string>{expected});

  ASSERT_EQ(sender.sent.size(), 1u);
  const JobRecord& r = sender.sent[0];
  EXPECT_EQ(r.code, 200);
  EXPECT_EQ(r.jobType, 300);
  EXPECT_EQ(r.runState, 0);
  EXPECT_EQ(FieldText(r.driveLetter), "D");
  EXPECT_EQ(FieldText(r.volumeSize), "500 MB");
  EXPECT_EQ(FieldText(r.imagePath), expected);
  EXPECT_EQ(FieldText(r.jobName), fs::path(expected).stem().string());
  EXPECT_EQ(std::string(dlg.m_lastJobName.GetString()).substr(0, 13), "OrvaBackup_C_");
  EXPECT_EQ(Why(r), "");
}

TEST(StartBackup, OneClickPathIsCheckedBrowsedAndNamesTheJob) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  host.defaultRepository = [] { return std::string(); };  // no disk had room: the first repository
  host.repositoryList = [] { return std::string("E:\\Images|F:\\More|"); };
  CStartBackupDlg dlg(nullptr, host);
  COneClickDlg* confirm = nullptr;
  dlg.prepareOneClick = [&](COneClickDlg& c) {
    confirm = &c;
    FakeDisks(c);
    c.chooseFolder = [](CWnd*, std::string& folder) {
      folder = "G:\\Chosen\\";
      return true;
    };
  };
  std::string proposed, refusal, typedRow, browsed;
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    Click(start, IDC_START_ONECLICK);
    HWND sum = WaitFor(L"Summary Information");
    if (!sum) return false;
    proposed = ItemText(sum, IDC_ONECLICK_PATH);
    SendMessageW(GetDlgItem(sum, IDC_ONECLICK_PATH), WM_SETTEXT, 0, (LPARAM)L"Weekly run");
    OnUi([&] { typedRow = Cell(confirm->m_summary, 3, 1); });
    Click(sum, IDOK);
    refusal = Answer(IDOK);
    if (!IsWindowVisible(sum)) return false;
    Click(sum, IDC_ONECLICK_BROWSE);
    Sleep(300);
    browsed = ItemText(sum, IDC_ONECLICK_PATH);
    Click(sum, IDOK);
    return WaitGone(sum) && WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();

  EXPECT_EQ(proposed.rfind("E:\\Images\\OrvaBackup_C_", 0), 0u) << proposed;
  EXPECT_EQ(typedRow, "Weekly run");
  EXPECT_EQ(refusal, orva::manager::backup::kInvalidBackupPath);
  EXPECT_EQ(browsed, "G:\\Chosen\\Weekly run");
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(FieldText(sender.sent[0].imagePath), "G:\\Chosen\\Weekly run.TAV");
  EXPECT_EQ(FieldText(sender.sent[0].jobName), "Weekly run");
  EXPECT_EQ(FieldText(sender.sent[0].driveLetter), "C");
  EXPECT_EQ(Why(sender.sent[0]), "");
}

TEST(StartBackup, CancelledConfirmationSendsNothingAndClosesTheStartDialog) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  CStartBackupDlg dlg(nullptr, host);
  dlg.prepareOneClick = FakeDisks;
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    Click(start, IDC_START_ONECLICK);
    HWND sum = WaitFor(L"Summary Information");
    if (!sum) return false;
    Click(sum, IDCANCEL);
    return WaitGone(sum) && WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();
  EXPECT_EQ(sender.attempts, 0);
}

TEST(StartBackup, AdvancedAsksForARepositoryThenAboutRunningJobs) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  std::atomic<int> optionRuns{0}, wizardRuns{0};
  std::string repositories;
  host.repositoryList = [&] { return repositories; };
  host.runOptionCommand = [&](CWnd*) {
    ++optionRuns;
    repositories = "D:\\Images|";
  };
  host.jobs = [] { return std::vector<JobRecord>(1); };
  host.runWizard = [&](CWnd*) -> std::optional<std::vector<JobRecord>> {
    ++wizardRuns;
    return std::nullopt;  // cancelled
  };
  CStartBackupDlg dlg(nullptr, host);
  dlg.m_osName = "Microsoft Windows 7 Professional [64bit]";
  std::string first, second, notice, third;
  int optionsAfterNo = -1, wizardAfterNo = -1;
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    Click(start, IDC_START_ADVANCED);
    first = Answer(IDNO);
    optionsAfterNo = optionRuns;
    Click(start, IDC_START_ADVANCED);
    second = Answer(IDYES);  // the repository dialog, then the next question
    notice = Answer(IDNO);
    wizardAfterNo = wizardRuns;
    if (!IsWindowVisible(start)) return false;
    Click(start, IDC_START_ADVANCED);
    third = Answer(IDYES);
    return WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();
  const char* missing =
      "Image repository does not exist. Please assign an image repository from option, Are you sure to try again?";
  const char* concurrent =
      "Notice!\nBackup job is detected.\nBackup jobs cannot be run concurrently.\nBackup job cannot start while "
      "another backup job is still running.\nAre you sure to continue?";
  EXPECT_EQ(first, missing);
  EXPECT_EQ(optionsAfterNo, 0);
  EXPECT_EQ(second, missing);
  EXPECT_EQ(optionRuns, 1);
  EXPECT_EQ(notice, concurrent);
  EXPECT_EQ(wizardAfterNo, 0);
  EXPECT_EQ(third, concurrent);
  EXPECT_EQ(wizardRuns, 1);
  EXPECT_EQ(sender.attempts, 0);
}

namespace {
std::vector<JobRecord> WizardRecords(int n) {
  std::vector<JobRecord> out;
  for (int i = 0; i < n; ++i) {
    std::string drive(1, (char)('C' + i));
    JobRecord r = orva::manager::backup::OneClickRecord("Wizard_" + drive, "1 MB", "D:\\Images");
    orva::service::SetFieldText(r.driveLetter, drive);
    out.push_back(r);
  }
  return out;
}
}  // namespace

TEST(StartBackup, AdvancedSendsTheWizardsRecordsAndStopsAtAFailedSend) {
  FakeSender sender;
  sender.failAt = 1;
  BackupDialogHost host = Host(&sender);
  host.jobs = [] { return std::vector<JobRecord>(3); };  // no question on this system
  host.runWizard = [&](CWnd*) -> std::optional<std::vector<JobRecord>> { return WizardRecords(3); };
  CStartBackupDlg dlg(nullptr, host);
  dlg.m_osName = "Microsoft Windows 10 Pro [64bit]";
  std::string box;
  bool stayed = false;
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    Click(start, IDC_START_ADVANCED);
    box = Answer(IDOK);
    Sleep(300);
    stayed = IsWindowVisible(start) != FALSE;
    Click(start, IDCANCEL);
    return WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  driver.Join();
  EXPECT_EQ(box, "Data Send Error. [ERROR CODE:10054]");
  EXPECT_TRUE(stayed);
  EXPECT_EQ(sender.attempts, 2);  // the third record is not sent
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(orva::service::JobName(sender.sent[0]), "Wizard_C");
  EXPECT_EQ(dlg.m_lastJobName, "Wizard_C");
}

TEST(StartBackup, NoQuestionWithoutJobsAndAWizardWithoutRecords) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  host.runWizard = [&](CWnd*) -> std::optional<std::vector<JobRecord>> { return std::vector<JobRecord>(); };
  CStartBackupDlg dlg(nullptr, host);
  dlg.m_osName = "Microsoft Windows XP Professional [32bit]";
  dlg.m_lastJobName = "before";
  Driver driver([&] {
    HWND start = WaitFor(L"Select Backup");
    if (!start) return false;
    Click(start, IDC_START_ADVANCED);
    return WaitGone(start);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();
  EXPECT_EQ(sender.attempts, 0);
  EXPECT_EQ(dlg.m_lastJobName, "");
}

TEST(StartBackup, DriveTextsOfTheRealDisks) {
  std::vector<std::string> drives = orva::manager::backup::FixedDrives();
  EXPECT_NE(std::find(drives.begin(), drives.end(), "C:"), drives.end());
  const std::regex size(R"(\d+ MB|\d+\.\d{3} GB)");
  EXPECT_TRUE(std::regex_match(orva::manager::backup::DriveSpaceText("C:", 0), size));
  EXPECT_TRUE(std::regex_match(orva::manager::backup::DriveSpaceText("C:", 1), size));
  EXPECT_EQ(orva::manager::backup::DriveSpaceText("C:", 2), "");
  EXPECT_EQ(orva::manager::backup::DriveSpaceText("Q:", 0), "");
}

// --- the real connection ------------------------------------------------------------------

TEST(StartBackup, RecordsGoOverTheServiceConnectionWhole) {
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, (sockaddr*)&at, sizeof at), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  int len = sizeof at;
  getsockname(listener, (sockaddr*)&at, &len);
  SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_EQ(connect(client, (sockaddr*)&at, sizeof at), 0);
  SOCKET service = accept(listener, nullptr, nullptr);
  ASSERT_NE(service, INVALID_SOCKET);

  ConnectionPrompts prompts;
  prompts.show = [](const std::string& text, const std::string& caption, ConnectionPrompts::Kind) {
    SkinMessageBox(nullptr, text.c_str(), caption.c_str(), MB_OK, &g_boxParams);
    return true;
  };
  ConnectionJobSender connected(client, prompts);
  BackupDialogHost host = Host(&connected);
  const std::vector<JobRecord> made = WizardRecords(2);
  host.runWizard = [&](CWnd*) -> std::optional<std::vector<JobRecord>> { return made; };
  {
    CStartBackupDlg dlg(nullptr, host);
    Driver driver([&] {
      HWND start = WaitFor(L"Select Backup");
      if (!start) return false;
      Click(start, IDC_START_ADVANCED);
      return WaitGone(start);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
  }
  std::vector<char> got(2 * sizeof(JobRecord));
  size_t have = 0;
  while (have < got.size()) {
    int n = recv(service, got.data() + have, (int)(got.size() - have), 0);
    if (n <= 0) break;
    have += n;
  }
  ASSERT_EQ(have, got.size());
  EXPECT_EQ(memcmp(got.data(), &made[0], sizeof(JobRecord)), 0);
  EXPECT_EQ(memcmp(got.data() + sizeof(JobRecord), &made[1], sizeof(JobRecord)), 0);

  // A socket that never connected: the send fails, the start dialog stays.
  SOCKET dead = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ConnectionJobSender failing(dead, prompts);
  host.sender = &failing;
  std::string box;
  bool stayed = false;
  {
    CStartBackupDlg dlg(nullptr, host);
    dlg.prepareOneClick = FakeDisks;
    Driver driver([&] {
      HWND start = WaitFor(L"Select Backup");
      if (!start) return false;
      Click(start, IDC_START_ONECLICK);
      HWND sum = WaitFor(L"Summary Information");
      if (!sum) return false;
      Click(sum, IDOK);
      box = Answer(IDOK);
      Sleep(300);
      stayed = IsWindowVisible(start) != FALSE;
      Click(start, IDCANCEL);
      return WaitGone(start);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  }
  EXPECT_TRUE(std::regex_match(box, std::regex(R"(Data Send Error\. \[ERROR CODE:[1-9]\d*\])"))) << box;
  EXPECT_TRUE(stayed);
  closesocket(dead);
  closesocket(client);
  closesocket(service);
  closesocket(listener);
  WSACleanup();
}

// --- add an existing image ---------------------------------------------------------------

namespace {

class ImageFolder {
 public:
  ImageFolder() {
    const char* bin = std::getenv("ORVA_BIN");
    if (bin && *bin) m_engine = fs::path(bin) / "OrvaImage.exe";
    m_root = fs::temp_directory_path() / ("orva_addimage_" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(m_root);
    fs::create_directories(m_root / "src");
    fs::create_directories(m_root / "repo" / "chain");
    fs::create_directories(m_root / "repo" / "old" / "deeper");
    fs::create_directories(m_root / "empty");
    Put("a.txt", "first file\n");
    Put("b.bin", std::string(70000, 'b'));
  }
  ~ImageFolder() {
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }
  void Put(const std::string& rel, const std::string& content) {
    std::ofstream(m_root / "src" / rel, std::ios::binary) << content;
  }
  // Runs OrvaImage; its exit code, 999 when it did not run.
  DWORD Engine(const std::wstring& args) {
    std::wstring cmd = L"\"" + m_engine.wstring() + L"\" " + args;
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW((m_root / "engine.out").wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
    PROCESS_INFORMATION pi{};
    DWORD code = 999;
    if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
      if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
    CloseHandle(out);
    return code;
  }
  std::wstring Q(const fs::path& p) { return L"\"" + p.wstring() + L"\""; }

  fs::path m_engine, m_root;
};

std::string Bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}
void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

}  // namespace

TEST(AddImage, ListsFullImagesShowsTheirDetailsAndRegistersOne) {
  ImageFolder f;
  if (f.m_engine.empty()) GTEST_SKIP() << "ORVA_BIN is not set";
  const fs::path repo = f.m_root / "repo";
  const fs::path chain = repo / "chain" / "Server.TAV";
  const fs::path old = repo / "old" / "deeper" / "Laptop.TAV";
  ASSERT_EQ(f.Engine(L"a " + f.Q(chain) + L" " + f.Q(f.m_root / "src") + L" -mx1 \"-cWindows 10 Pro [64bit]\""), 0u);
  f.Put("a.txt", "changed\n");
  ASSERT_EQ(f.Engine(L"i " + f.Q(chain) + L" " + f.Q(f.m_root / "src") + L" -mx1"), 0u);
  f.Put("c.txt", "added\n");
  ASSERT_EQ(f.Engine(L"i " + f.Q(chain) + L" " + f.Q(f.m_root / "src") + L" -mx1"), 0u);
  ASSERT_EQ(f.Engine(L"a " + f.Q(old) + L" " + f.Q(f.m_root / "src") + L" -mx9"), 0u);
  // An image whose writing never finished, one cut short, and other files.
  std::string whole = Bytes(old);
  std::string unfinished = whole;
  std::fill(unfinished.begin() + 4, unfinished.begin() + 12, '\0');
  Write(repo / "Unfinished.TAV", unfinished);
  Write(repo / "old" / "Damaged.tav", whole.substr(0, whole.size() / 2));
  Write(repo / "notes.txt", "not an image");
  // A full image that another program holds open: left out, its folder still listed.
  Write(repo / "chain" / "Locked.TAV", whole);
  HANDLE locked = CreateFileW((repo / "chain" / "Locked.TAV").wstring().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);

  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  const std::string repoText = repo.string(), emptyText = (f.m_root / "empty").string();
  host.repositoryList = [&] { return repoText + "|" + emptyText + "|C:\\NotOffered"; };
  JobRecord known{};
  std::string laptopLower = old.string();
  for (char& c : laptopLower) c = (char)tolower((unsigned char)c);
  orva::service::SetFieldText(known.imagePath, laptopLower);
  host.jobs = [&] { return std::vector<JobRecord>{known}; };

  CAddImageDlg dlg(nullptr, host);
  std::vector<std::string> repositories, files, details, laptopDetails, emptyFiles;
  std::string noSelection, already, labels;
  auto select = [&](const std::string& path) {
    OnUi([&] {
      for (int r = 0; r < dlg.m_files.GetItemCount(); ++r)
        if (Cell(dlg.m_files, r, 0) == path)
          dlg.m_files.SetItemState(r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    });
  };
  auto readDetails = [&](std::vector<std::string>& out) {
    OnUi([&] {
      for (int r = 0; r < dlg.m_details.GetItemCount(); ++r)
        out.push_back(Cell(dlg.m_details, r, 0) + "=" + Cell(dlg.m_details, r, 1));
    });
  };
  Driver driver([&] {
    HWND h = WaitFor(L"Use an existing backup");
    if (!h) return false;
    labels = ItemText(h, IDC_ADDIMAGE_REPOSITORY_LABEL) + "|" + ItemText(h, IDC_ADDIMAGE_FILE_LABEL) + "|" +
             ItemText(h, IDC_ADDIMAGE_DETAIL_LABEL) + "|" + ItemText(h, IDOK) + "|" + ItemText(h, IDCANCEL);
    OnUi([&] {
      for (int i = 0; i < dlg.m_repositories.GetCount(); ++i)
        repositories.push_back(dlg.m_repositories.GetLBText(i).GetString());
      for (int r = 0; r < dlg.m_files.GetItemCount(); ++r) files.push_back(Cell(dlg.m_files, r, 0));
    });
    Click(h, IDOK);
    noSelection = Answer(IDOK);
    select(old.string());
    readDetails(laptopDetails);
    Click(h, IDOK);
    already = Answer(IDOK);
    select(chain.string());
    readDetails(details);
    Shot(h, "add_image");
    // The other repository holds nothing; back to the first.
    OnUi([&] {
      dlg.m_repositories.SetCurSel(1);
      dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ADDIMAGE_REPOSITORIES, CBN_SELCHANGE),
                      (LPARAM)dlg.m_repositories.m_hWnd);
      for (int r = 0; r < dlg.m_files.GetItemCount(); ++r) emptyFiles.push_back(Cell(dlg.m_files, r, 0));
      dlg.m_repositories.SetCurSel(0);
      dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ADDIMAGE_REPOSITORIES, CBN_SELCHANGE),
                      (LPARAM)dlg.m_repositories.m_hWnd);
    });
    select(chain.string());
    Click(h, IDOK);
    return WaitGone(h);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  driver.Join();
  CloseHandle(locked);

  EXPECT_EQ(labels, "Select an backup repository.|Select an backup file.|Detailed backukp information|OK|Cancel");
  EXPECT_EQ(repositories, (std::vector<std::string>{repoText, emptyText}));
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{chain.string(), old.string()}));
  EXPECT_EQ(noSelection, "You have to select an backup file from repository.");
  EXPECT_EQ(already, "This is already registered in inventory.");
  ASSERT_EQ(laptopDetails.size(), 6u);
  EXPECT_EQ(laptopDetails[0], "Task Type =Full backup");
  EXPECT_EQ(laptopDetails[3], "Compression Level =High");
  ASSERT_EQ(details.size(), 7u);
  EXPECT_EQ(details[0], "Task Type =Incremental Backup");
  EXPECT_EQ(details[1], "Backup Count=2");
  EXPECT_TRUE(std::regex_match(details[2], std::regex(R"(Time =20\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d)"))) << details[2];
  EXPECT_EQ(details[3], "Backup Drive =* Drive (Disk 255 Partition 255)");
  EXPECT_EQ(details[4], "Compression Level =Normal");
  EXPECT_EQ(details[5], "Image Size =0 MB");
  EXPECT_EQ(details[6], "Operating System=Windows 10 Pro [64bit]");
  EXPECT_TRUE(emptyFiles.empty());

  const JobRecord& r = dlg.m_record;
  EXPECT_EQ(r.code, 200);
  EXPECT_EQ(r.runState, 2);
  EXPECT_EQ(r.jobType, 302);
  EXPECT_EQ(r.compressionLevel, 1);
  EXPECT_EQ(FieldText(r.jobName), "Server");
  EXPECT_EQ(FieldText(r.imagePath), chain.string());
  EXPECT_EQ(FieldText(r.driveLetter), "*");
  EXPECT_EQ(FieldText(r.baseImagePath), "none");
  EXPECT_EQ(FieldText(r.scheduleKind), "once");
  EXPECT_EQ(Why(r), "");
  EXPECT_EQ(sender.attempts, 0);  // the caller sends it
}

TEST(AddImage, CancelLeavesTheRecordEmpty) {
  FakeSender sender;
  BackupDialogHost host = Host(&sender);
  host.repositoryList = [] { return std::string(); };
  CAddImageDlg dlg(nullptr, host);
  int rows = -1;
  Driver driver([&] {
    HWND h = WaitFor(L"Use an existing backup");
    if (!h) return false;
    OnUi([&] { rows = dlg.m_files.GetItemCount(); });
    Click(h, IDCANCEL);
    return WaitGone(h);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  driver.Join();
  EXPECT_EQ(rows, 0);
  EXPECT_EQ(dlg.m_record.code, 0);
  EXPECT_EQ(FieldText(dlg.m_record.jobName), "");
}

// --- set-up -------------------------------------------------------------------------------

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  WNDCLASSW wc{};
  wc.lpfnWndProc = UiProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvaBackupDialogsTestUi";
  RegisterClassW(&wc);
  g_ui = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  return RUN_ALL_TESTS();
}
