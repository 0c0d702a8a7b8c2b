// The replication set and repository dialogs on real windows: texts set and
// buttons clicked by messages, their message boxes answered from a second
// thread, the records they produce read back.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "contracts/job_record_check.h"
#include "gui_test_support.h"
#include "replication_set_dlg.h"
#include "replication_set_dlg_ids.h"
#include "repository_dlg.h"
#include "repository_dlg_ids.h"
#include "skin_cache.h"

using namespace orva::ui::test;

namespace orva::manager {
namespace {

using service::FieldText;
using service::JobRecord;

CWinApp theApp("Orvanta");
CWnd g_mainWindow;

std::string Narrow(const wchar_t* w) {
  char buf[4096] = {};
  WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
  return buf;
}

std::string ItemText(HWND dlg, int id) {
  wchar_t buf[4096] = {};
  GetDlgItemTextW(dlg, id, buf, 4096);
  return Narrow(buf);
}

std::string WindowText(HWND h) {
  wchar_t buf[512] = {};
  GetWindowTextW(h, buf, 512);
  return Narrow(buf);
}

void SetText(HWND dlg, int id, const char* text) { SetDlgItemTextW(dlg, id, ToWideText(text).c_str()); }

void Click(HWND dlg, int id) { SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id)); }

void Check(HWND dlg, int id, bool on) { CheckDlgButton(dlg, id, on ? BST_CHECKED : BST_UNCHECKED); }

void Radio(HWND dlg, int first, int last, int id) {
  CheckRadioButton(dlg, first, last, id);
  Click(dlg, id);
}

bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

// A visible box of this process captioned "Orvanta".
HWND FindBox() {
  struct Finder {
    HWND found = nullptr;
  } f;
  EnumWindows(
      [](HWND h, LPARAM l) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        if (pid != GetCurrentProcessId() || !IsWindowVisible(h) || wcscmp(cls, L"#32770") != 0) return TRUE;
        // Not GetWindowText: it would wait for the UI thread, which may be waiting for us.
        wchar_t title[32] = {};
        InternalGetWindowText(h, title, 32);
        if (wcscmp(title, L"Orvanta") != 0) return TRUE;
        ((Finder*)l)->found = h;
        return FALSE;
      },
      (LPARAM)&f);
  return f.found;
}

// Runs `action` on this thread while a second thread answers each box it
// shows with `answer`; the text of the first box, empty when none was shown.
// A second box is a failure.
std::string Answering(int answer, const std::function<void()>& action) {
  std::atomic<bool> done{false};
  std::vector<std::string> texts;
  std::thread driver([&, desktop = GetThreadDesktop(GetCurrentThreadId())] {
    SetThreadDesktop(desktop);
    HWND last = nullptr;
    while (!done) {
      HWND box = FindBox();
      if (box && box != last) {
        Sleep(100);
        texts.push_back(ItemText(box, SMB_ID_TEXT));
        last = box;
      }
      if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), (LPARAM)GetDlgItem(box, answer));
      Sleep(50);
    }
  });
  action();
  Pump(50);
  done = true;
  driver.join();
  EXPECT_LE(texts.size(), 1u) << (texts.size() > 1 ? texts[1] : "");
  return texts.empty() ? std::string() : texts[0];
}

std::string ClickAnswering(HWND dlg, int id, int answer = IDOK) {
  return Answering(answer, [&] { Click(dlg, id); });
}

template <class D>
void Open(D& dlg, UINT id) {
  ASSERT_TRUE(dlg.Create(id));
  dlg.SetWindowPos(nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  dlg.ShowWindow(SW_SHOW);
  dlg.SetForegroundWindow();
  dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(300);
}

// --- the replication set dialog ------------------------------------------------

class TestReplicationSetDlg : public CReplicationSetDlg {
 public:
  TestReplicationSetDlg(const ManagerJobTable* table, const JobRecord* edit = nullptr)
      : CReplicationSetDlg(nullptr, &boxParams, table, edit) {
    m_guards = {"C:\\Windows", "C:\\Program Files\\Orvanta"};
  }
  MessageBoxParams boxParams;
  CString picked;
  std::string pickTitle;
  UINT pickFlags = 0;
  int Ended() const { return m_nModalResult; }

 protected:
  bool PickFolder(const char* title, UINT flags, CString& path) override {
    pickTitle = title;
    pickFlags = flags;
    if (picked.IsEmpty()) return false;
    path = picked;
    return true;
  }
};

JobRecord TableEntry(const char* name) {
  JobRecord r{};
  service::SetFieldText(r.jobName, name);
  r.code = service::kAddJob;
  r.jobType = service::kReplication;
  service::SetFieldText(r.scheduleKind, "once");
  service::SetFieldText(r.scheduleTime, "00:00");
  r.daily = r.weekly = r.monthly = 'n';
  std::memset(r.weekdays, 'n', 7);
  return r;
}

struct SyncFixture : ::testing::Test {
  ManagerJobTable table;
  void SetUp() override {
    table.BeginList(1);
    table.StoreListEntry(TableEntry("Existing"));
    ASSERT_TRUE(table.Find("Existing"));
  }
  void Fill(HWND h, const char* name, const char* source, const char* target) {
    SetText(h, IDC_SYNC_NAME, name);
    SetText(h, IDC_SYNC_SOURCE, source);
    SetText(h, IDC_SYNC_TARGET, target);
  }
};

TEST_F(SyncFixture, StartsWithItsTextsAndOnceControlsOff) {
  TestReplicationSetDlg dlg(&table);
  Open(dlg, IDD_SYNC_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_EQ(WindowText(h), "Add Replication Job");
  EXPECT_EQ(ItemText(h, IDC_SYNC_CONFIG_GROUP), "Replication Configuration");
  EXPECT_EQ(ItemText(h, IDC_SYNC_SHADOW), "Use shadow module");
  EXPECT_EQ(ItemText(h, 1021), "Mon ");
  EXPECT_EQ(ItemText(h, 1027), "Sun ");
  EXPECT_EQ(ItemText(h, IDC_SYNC_OK), "OK");
  EXPECT_EQ(ItemText(h, IDC_SYNC_HOUR), "00");
  EXPECT_EQ(IsDlgButtonChecked(h, IDC_SYNC_ONCE), BST_CHECKED);
  EXPECT_FALSE(Enabled(h, IDC_SYNC_SHADOW));
  EXPECT_FALSE(Enabled(h, IDC_SYNC_SHADOW_GROUP));
  for (int id : {IDC_SYNC_HOUR, IDC_SYNC_MINUTE, IDC_SYNC_DAY, 1021, 1027}) EXPECT_FALSE(Enabled(h, id)) << id;
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_SYNC_DAY, CB_GETCOUNT, 0, 0), 31);
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_SYNC_DAY, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(dlg.boxParams.iconId, 178u);
  EXPECT_TRUE(dlg.boxParams.options & SMB_OPT_MODERN);

  Radio(h, IDC_SYNC_ONCE, IDC_SYNC_MONTHLY, IDC_SYNC_WEEKLY);
  EXPECT_TRUE(Enabled(h, IDC_SYNC_HOUR));
  EXPECT_TRUE(Enabled(h, 1024));
  EXPECT_FALSE(Enabled(h, IDC_SYNC_DAY));
  Radio(h, IDC_SYNC_ONCE, IDC_SYNC_MONTHLY, IDC_SYNC_MONTHLY);
  EXPECT_TRUE(Enabled(h, IDC_SYNC_DAY));
  EXPECT_FALSE(Enabled(h, 1024));
  Radio(h, IDC_SYNC_ONCE, IDC_SYNC_MONTHLY, IDC_SYNC_DAILY);
  EXPECT_TRUE(Enabled(h, IDC_SYNC_MINUTE));
  EXPECT_FALSE(Enabled(h, IDC_SYNC_DAY));
  EXPECT_FALSE(Enabled(h, 1021));

  SetText(h, IDC_SYNC_NAME, "Documents");
  SetText(h, IDC_SYNC_SOURCE, "D:\\Documents");
  SetText(h, IDC_SYNC_TARGET, "E:\\Mirror\\Documents");
  SetText(h, IDC_SYNC_HOUR, "21");
  SetText(h, IDC_SYNC_MINUTE, "30");
  Pump(200);
  SaveScreenshot(h, "replication_set_dialog");
  dlg.DestroyWindow();
}

TEST_F(SyncFixture, OnceSetIsBuiltAndValid) {
  TestReplicationSetDlg dlg(&table);
  Open(dlg, IDD_SYNC_DIALOG);
  Fill(dlg.m_hWnd, "Docs", "D:\\Docs", "E:\\Mirror");
  EXPECT_EQ(ClickAnswering(dlg.m_hWnd, IDC_SYNC_OK), "");
  EXPECT_EQ(dlg.Ended(), IDOK);
  const JobRecord& r = dlg.Result();
  EXPECT_EQ(r.code, service::kAddJob);
  EXPECT_EQ(r.jobType, service::kReplication);
  EXPECT_EQ(r.runState, 0);
  EXPECT_EQ(FieldText(r.jobName), "Docs");
  EXPECT_EQ(FieldText(r.sourceFolder), "D:\\Docs");
  EXPECT_EQ(FieldText(r.targetFolder), "E:\\Mirror");
  EXPECT_EQ(FieldText(r.scheduleKind), "once");
  EXPECT_EQ(std::string(r.weekdays, 7), "nnnnnnn");
  std::string why;
  EXPECT_TRUE(service::ValidateJobRecord(r, why)) << why;
  dlg.DestroyWindow();
}

TEST_F(SyncFixture, RefusalsKeepTheDialogOpen) {
  TestReplicationSetDlg dlg(&table);
  Open(dlg, IDD_SYNC_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "Please enter a replication set.");
  SetText(h, IDC_SYNC_NAME, "Existing");
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "Please add a source folder.");
  SetText(h, IDC_SYNC_SOURCE, "D:\\Docs");
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "Please add a target folder.");
  SetText(h, IDC_SYNC_TARGET, "E:\\");
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK),
            "This replication set already exists.\nPlease enter another replication set.");
  SetText(h, IDC_SYNC_NAME, "Docs");
  const std::string root = ClickAnswering(h, IDC_SYNC_OK);
  EXPECT_EQ(root.rfind("These folders cannot be replicated: the target folder is the root", 0), 0u) << root;
  SetText(h, IDC_SYNC_TARGET, "C:\\Windows\\Backup");
  EXPECT_NE(ClickAnswering(h, IDC_SYNC_OK).find("C:\\Windows"), std::string::npos);
  SetText(h, IDC_SYNC_TARGET, "D:\\Docs\\Copy");
  EXPECT_NE(ClickAnswering(h, IDC_SYNC_OK).find("one lies in the other"), std::string::npos);
  Radio(h, IDC_SYNC_ONCE, IDC_SYNC_MONTHLY, IDC_SYNC_MONTHLY);
  SetText(h, IDC_SYNC_TARGET, "E:\\Docs");
  SendDlgItemMessageW(h, IDC_SYNC_DAY, CB_SETCURSEL, (WPARAM)-1, 0);
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "Please select a day.");
  EXPECT_EQ(dlg.Ended(), -1);
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(ItemText(h, IDC_SYNC_NAME), "Docs");  // what the user entered stays

  SendDlgItemMessageW(h, IDC_SYNC_DAY, CB_SETCURSEL, 30, 0);
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "");
  EXPECT_EQ(dlg.Ended(), IDOK);
  EXPECT_EQ(dlg.Result().dayOfMonth, 31);
  EXPECT_EQ(FieldText(dlg.Result().scheduleKind), "monthly");
  dlg.DestroyWindow();
}

TEST_F(SyncFixture, TimeEditsRefuseOutOfRangeNumbers) {
  TestReplicationSetDlg dlg(&table);
  Open(dlg, IDD_SYNC_DIALOG);
  HWND h = dlg.m_hWnd;
  Radio(h, IDC_SYNC_ONCE, IDC_SYNC_MONTHLY, IDC_SYNC_WEEKLY);
  EXPECT_EQ(Answering(IDOK, [&] { SetText(h, IDC_SYNC_HOUR, "24"); }),
            "Please enter 2 digit hour number from 00 to 23.");
  EXPECT_EQ(ItemText(h, IDC_SYNC_HOUR), "00");
  EXPECT_EQ(Answering(IDOK, [&] { SetText(h, IDC_SYNC_MINUTE, "60"); }),
            "Please enter 2 digit minute number from 00 to 59.");
  EXPECT_EQ(ItemText(h, IDC_SYNC_MINUTE), "00");
  EXPECT_EQ(Answering(IDOK, [&] { SetText(h, IDC_SYNC_HOUR, "7"); }), "");
  EXPECT_EQ(Answering(IDOK, [&] { SetText(h, IDC_SYNC_MINUTE, "30"); }), "");

  Fill(h, "Weekly", "D:\\Docs", "\\\\nas\\backup\\Docs");
  Check(h, 1021, true);
  Check(h, 1025, true);
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "");
  const JobRecord& r = dlg.Result();
  EXPECT_EQ(FieldText(r.scheduleKind), "weekly");
  EXPECT_EQ(FieldText(r.scheduleTime), "07:30");
  EXPECT_EQ(std::string(r.weekdays, 7), "ynnnynn");
  EXPECT_EQ(r.weekly, 'y');
  EXPECT_EQ(r.daily, 'n');
  std::string why;
  EXPECT_TRUE(service::ValidateJobRecord(r, why)) << why;
  dlg.DestroyWindow();
}

TEST_F(SyncFixture, BrowseFillsTheFolders) {
  TestReplicationSetDlg dlg(&table);
  Open(dlg, IDD_SYNC_DIALOG);
  HWND h = dlg.m_hWnd;
  SetText(h, IDC_SYNC_NAME, "Kept");
  dlg.picked = "D:\\Photos";
  Click(h, IDC_SYNC_BROWSE_SOURCE);
  EXPECT_EQ(dlg.pickTitle, "Select a source folder");
  EXPECT_EQ(dlg.pickFlags, (UINT)BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(ItemText(h, IDC_SYNC_SOURCE), "D:\\Photos");
  dlg.picked = "F:\\Photos";
  Click(h, IDC_SYNC_BROWSE_TARGET);
  EXPECT_EQ(dlg.pickTitle, "Select a target folder");
  EXPECT_EQ(dlg.pickFlags, (UINT)(BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE));
  EXPECT_EQ(ItemText(h, IDC_SYNC_TARGET), "F:\\Photos");
  dlg.picked.Empty();  // cancelled: nothing changes
  Click(h, IDC_SYNC_BROWSE_TARGET);
  EXPECT_EQ(ItemText(h, IDC_SYNC_TARGET), "F:\\Photos");
  EXPECT_EQ(ItemText(h, IDC_SYNC_NAME), "Kept");
  dlg.DestroyWindow();
}

TEST_F(SyncFixture, EditingShowsTheSetAndSendsAModify) {
  JobRecord stored = TableEntry("Existing");
  stored.jobType = service::kReplicationShadow;
  service::SetFieldText(stored.sourceFolder, "D:\\Work");
  service::SetFieldText(stored.targetFolder, "E:\\Work");
  service::SetFieldText(stored.scheduleKind, "monthly");
  service::SetFieldText(stored.scheduleTime, "18:45");
  stored.monthly = 'y';
  stored.dayOfMonth = 15;
  TestReplicationSetDlg dlg(&table, &stored);
  Open(dlg, IDD_SYNC_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_EQ(ItemText(h, IDC_SYNC_NAME), "Existing");
  EXPECT_FALSE(Enabled(h, IDC_SYNC_NAME));
  EXPECT_EQ(ItemText(h, IDC_SYNC_SOURCE), "D:\\Work");
  EXPECT_EQ(IsDlgButtonChecked(h, IDC_SYNC_SHADOW), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(h, IDC_SYNC_MONTHLY), BST_CHECKED);
  EXPECT_EQ(ItemText(h, IDC_SYNC_HOUR), "18");
  EXPECT_EQ(ItemText(h, IDC_SYNC_MINUTE), "45");
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_SYNC_DAY, CB_GETCURSEL, 0, 0), 14);
  EXPECT_TRUE(Enabled(h, IDC_SYNC_DAY));
  EXPECT_EQ(ClickAnswering(h, IDC_SYNC_OK), "");
  const JobRecord& r = dlg.Result();
  EXPECT_EQ(r.code, service::kModifyJob);
  EXPECT_EQ(r.jobType, service::kReplicationShadow);
  EXPECT_EQ(FieldText(r.jobName), "Existing");
  EXPECT_EQ(r.dayOfMonth, 15);
  EXPECT_EQ(FieldText(r.scheduleTime), "18:45");
  dlg.DestroyWindow();
}

// A modal run as the main dialog makes it, ended from a second thread.
TEST_F(SyncFixture, ModalRunReturnsOkOrCancel) {
  for (int button : {IDC_SYNC_OK, IDC_SYNC_CANCEL}) {
    TestReplicationSetDlg dlg(&table);
    std::thread driver([button, desktop = GetThreadDesktop(GetCurrentThreadId())] {
      SetThreadDesktop(desktop);
      HWND h = nullptr;
      for (int i = 0; i < 250 && !h; ++i, Sleep(20)) h = FindWindowW(L"#32770", L"Add Replication Job");
      if (!h) return;
      Sleep(200);
      SendMessageW(GetDlgItem(h, IDC_SYNC_NAME), WM_SETTEXT, 0, (LPARAM)L"Modal");
      SendMessageW(GetDlgItem(h, IDC_SYNC_SOURCE), WM_SETTEXT, 0, (LPARAM)L"D:\\A");
      SendMessageW(GetDlgItem(h, IDC_SYNC_TARGET), WM_SETTEXT, 0, (LPARAM)L"E:\\B");
      PostMessageW(h, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), (LPARAM)GetDlgItem(h, button));
    });
    const INT_PTR result = dlg.DoModal();
    driver.join();
    EXPECT_EQ(result, button == IDC_SYNC_OK ? IDOK : IDCANCEL);
    if (button == IDC_SYNC_OK) {
      EXPECT_EQ(FieldText(dlg.Result().jobName), "Modal");
    }
  }
}

// --- the repository dialog ------------------------------------------------------

// Stands in for the network: Wine cannot connect to a share.
class FakeMapper : public service::DriveMapper {
 public:
  std::vector<std::string> inUse{"C:", "Z:"};
  uint32_t connectResult = 0;
  std::vector<service::NetworkRepository> connects;
  std::vector<std::string> disconnects;
  std::vector<std::string> DrivesInUse() override { return inUse; }
  uint32_t Connect(const service::NetworkRepository& r) override {
    connects.push_back(r);
    return connectResult;
  }
  uint32_t Disconnect(const std::string& drive) override {
    disconnects.push_back(drive);
    return 0;
  }
};

class TestRepositoryDlg : public CRepositoryDlg {
 public:
  TestRepositoryDlg(const service::OptionsRecord& options, service::DriveMapper* mapper)
      : CRepositoryDlg(nullptr, &boxParams, options, mapper) {}
  MessageBoxParams boxParams;
  int Ended() const { return m_nModalResult; }
};

service::OptionsRecord StartOptions() {
  service::OptionsRecord o;
  o.repositories = "D:\\Images|Z:|";
  o.network = "Z:|\\\\nas\\images|bob|zpass|";
  return o;
}

std::vector<std::string> ListLines(HWND h) {
  std::vector<std::string> out;
  HWND list = GetDlgItem(h, IDC_REPO_LIST);
  int n = (int)SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (int i = 0; i < n; ++i) {
    wchar_t buf[512] = {};
    SendMessageW(list, LB_GETTEXT, i, (LPARAM)buf);
    out.push_back(Narrow(buf));
  }
  return out;
}

std::vector<std::string> ComboLines(HWND h) {
  std::vector<std::string> out;
  HWND combo = GetDlgItem(h, IDC_REPO_DRIVE);
  int n = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (int i = 0; i < n; ++i) {
    wchar_t buf[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)buf);
    out.push_back(Narrow(buf));
  }
  return out;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

void FillShare(HWND h, const char* share, const char* user, const char* password) {
  SetText(h, IDC_REPO_SHARE, share);
  SetText(h, IDC_REPO_USER, user);
  SetText(h, IDC_REPO_PASSWORD, password);
}

TEST(RepositoryDialog, StartsWithTheListsAndTheFreeDrives) {
  FakeMapper mapper;
  TestRepositoryDlg dlg(StartOptions(), &mapper);
  Open(dlg, IDD_REPOSITORY_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_EQ(WindowText(h), "Repository");
  EXPECT_EQ(ItemText(h, IDC_REPO_TEST), "Connectivity Test");
  EXPECT_EQ(ItemText(h, IDC_REPO_LIST_LABEL), "Image Repository List");
  EXPECT_EQ(ItemText(h, IDC_REPO_LOG_SIZE_LABEL), "Maximum log file size");
  EXPECT_EQ(ListLines(h), (std::vector<std::string>{"D:\\Images", "Z:"}));
  const std::vector<std::string> drives = ComboLines(h);
  EXPECT_EQ(drives.size(), 24u);
  EXPECT_EQ(drives.front(), "A:");
  EXPECT_FALSE(Has(drives, "C:"));
  EXPECT_FALSE(Has(drives, "Z:"));
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_REPO_DRIVE, CB_GETCURSEL, 0, 0), 0);
  const std::string log = ItemText(h, IDC_REPO_LOG_PATH);
  EXPECT_GT(log.size(), 16u);
  EXPECT_EQ(log.substr(log.size() - 16), "\\Log\\OrvaJob.log");
  EXPECT_EQ(ItemText(h, IDC_REPO_LOG_SIZE), "5");
  EXPECT_EQ(IsDlgButtonChecked(h, IDC_REPO_LOCAL), BST_CHECKED);
  EXPECT_TRUE(Enabled(h, IDC_REPO_LOCAL_PATH));
  EXPECT_FALSE(Enabled(h, IDC_REPO_SHARE));
  EXPECT_FALSE(Enabled(h, IDC_REPO_TEST));
  EXPECT_FALSE(Enabled(h, IDC_REPO_DRIVE_LABEL));
  Radio(h, IDC_REPO_LOCAL, IDC_REPO_NETWORK, IDC_REPO_NETWORK);
  EXPECT_FALSE(Enabled(h, IDC_REPO_LOCAL_PATH));
  EXPECT_FALSE(Enabled(h, IDC_REPO_BROWSE));
  EXPECT_TRUE(Enabled(h, IDC_REPO_SHARE));
  EXPECT_TRUE(Enabled(h, IDC_REPO_TEST));
  FillShare(h, "\\\\nas\\backup", "alice", "hunter2");
  Pump(200);
  SaveScreenshot(h, "repository_dialog");
  dlg.DestroyWindow();
}

TEST(RepositoryDialog, LocalAdd) {
  FakeMapper mapper;
  service::OptionsRecord o;
  o.repositories = "D:|";
  TestRepositoryDlg dlg(o, &mapper);
  Open(dlg, IDD_REPOSITORY_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "Local repository path is not assigned.\nPlease try again.");
  SetText(h, IDC_REPO_LOCAL_PATH, "d:\\");
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "This is already registered");
  EXPECT_EQ(ItemText(h, IDC_REPO_LOCAL_PATH), "d:\\");
  SetText(h, IDC_REPO_LOCAL_PATH, "E:\\");
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "");
  EXPECT_EQ(ItemText(h, IDC_REPO_LOCAL_PATH), "");
  EXPECT_EQ(ListLines(h), (std::vector<std::string>{"D:", "E:"}));
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_OK, IDYES),
            "Below are the registered image repositories.\n\n\tD:\n\tE:\n\nDo you want to continue?");
  EXPECT_EQ(dlg.Ended(), IDOK);
  EXPECT_EQ(dlg.Result().repositories, "D:|E:|");
  EXPECT_EQ(dlg.Result().network, "");
  dlg.DestroyWindow();
}

TEST(RepositoryDialog, TwoSharesAddedThenOneRemoved) {
  FakeMapper mapper;
  TestRepositoryDlg dlg(StartOptions(), &mapper);
  Open(dlg, IDD_REPOSITORY_DIALOG);
  HWND h = dlg.m_hWnd;
  Radio(h, IDC_REPO_LOCAL, IDC_REPO_NETWORK, IDC_REPO_NETWORK);
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "Network repository path is not assigned.\nPlease try again.");
  SetText(h, IDC_REPO_SHARE, "\\\\nas\\one");
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "Please enter a username.");
  SetText(h, IDC_REPO_USER, "amy");
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "Please enter a password.");
  SetText(h, IDC_REPO_PASSWORD, "pw-one");
  SendDlgItemMessageW(h, IDC_REPO_DRIVE, CB_SETCURSEL, (WPARAM)-1, 0);
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "Please select a drive letter.");
  SendDlgItemMessageW(h, IDC_REPO_DRIVE, CB_SETCURSEL, 23, 0);  // "Y:"
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "");
  EXPECT_EQ(ItemText(h, IDC_REPO_SHARE), "");
  EXPECT_EQ(ItemText(h, IDC_REPO_PASSWORD), "");
  EXPECT_FALSE(Has(ComboLines(h), "Y:"));
  FillShare(h, "\\\\nas\\two", "ben", "pw-two");  // the first free drive: "A:"
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_ADD), "");
  EXPECT_EQ(ListLines(h), (std::vector<std::string>{"D:\\Images", "Z:", "Y:", "A:"}));

  EXPECT_EQ(ClickAnswering(h, IDC_REPO_REMOVE), "Please select an image repository.");
  SendDlgItemMessageW(h, IDC_REPO_LIST, LB_SETCURSEL, 1, 0);  // "Z:"
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_REMOVE, IDNO), "Are you sure to remove image repository now?");
  EXPECT_EQ(ListLines(h).size(), 4u);
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_REMOVE, IDYES), "Are you sure to remove image repository now?");
  EXPECT_EQ(ListLines(h), (std::vector<std::string>{"D:\\Images", "Y:", "A:"}));
  EXPECT_EQ(ComboLines(h).back(), "Z:");  // given back at the end
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_REPO_LIST, LB_GETCURSEL, 0, 0), 1);
  SendDlgItemMessageW(h, IDC_REPO_LIST, LB_SETCURSEL, 2, 0);  // the last line
  EXPECT_NE(ClickAnswering(h, IDC_REPO_REMOVE, IDYES), "");
  EXPECT_EQ(SendDlgItemMessageW(h, IDC_REPO_LIST, LB_GETCURSEL, 0, 0), 1);  // moves up

  EXPECT_NE(ClickAnswering(h, IDC_REPO_OK, IDNO), "");
  EXPECT_EQ(dlg.Ended(), -1);
  EXPECT_NE(ClickAnswering(h, IDC_REPO_OK, IDYES), "");
  EXPECT_EQ(dlg.Ended(), IDOK);
  const service::OptionsRecord& r = dlg.Result();
  EXPECT_EQ(r.repositories, "D:\\Images|Y:|");
  EXPECT_EQ(r.network, "Y:|\\\\nas\\one|amy|pw-one|");
  EXPECT_EQ(r.disconnect, "Z:|\\\\nas\\images|bob|zpass|A:|\\\\nas\\two|ben|pw-two|");
  EXPECT_TRUE(mapper.connects.empty());
  dlg.DestroyWindow();
}

TEST(RepositoryDialog, ConnectivityTestReportsAndCancelsOnlyItsOwnConnection) {
  FakeMapper mapper;
  TestRepositoryDlg dlg(StartOptions(), &mapper);
  Open(dlg, IDD_REPOSITORY_DIALOG);
  HWND h = dlg.m_hWnd;
  Radio(h, IDC_REPO_LOCAL, IDC_REPO_NETWORK, IDC_REPO_NETWORK);
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_TEST), "Network repository path is not assigned.\nPlease try again.");
  FillShare(h, "\\\\nas\\backup", "alice", "hunter2");
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_TEST), "Connectivity connection is successfully tested.");
  ASSERT_EQ(mapper.connects.size(), 1u);
  EXPECT_EQ(mapper.connects[0].drive, "A:");
  EXPECT_EQ(mapper.connects[0].share, "\\\\nas\\backup");
  EXPECT_EQ(mapper.connects[0].QualifiedUser(), "nas\\alice");
  EXPECT_EQ(mapper.connects[0].password, "hunter2");
  EXPECT_EQ(mapper.disconnects, (std::vector<std::string>{"A:"}));

  mapper.connectResult = ERROR_BAD_NETPATH;
  const std::string failed = ClickAnswering(h, IDC_REPO_TEST);
  EXPECT_EQ(failed, SystemErrorText(ERROR_BAD_NETPATH).str());
  EXPECT_NE(failed, "");
  EXPECT_EQ(failed.find("hunter2"), std::string::npos);
  EXPECT_EQ(mapper.disconnects.size(), 1u);  // a failed test leaves other mappings alone
  mapper.connectResult = 0x7FFFFFF0;         // an error the system has no text for
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_TEST), "Error");
  EXPECT_EQ(ListLines(h).size(), 2u);  // testing adds nothing
  EXPECT_EQ(ItemText(h, IDC_REPO_PASSWORD), "hunter2");
  dlg.DestroyWindow();
}

TEST(RepositoryDialog, EmptyListAsksBeforeOk) {
  FakeMapper mapper;
  TestRepositoryDlg dlg(service::OptionsRecord{"D:\\Last", "", ""}, &mapper);  // no closing "|": not shown
  Open(dlg, IDD_REPOSITORY_DIALOG);
  HWND h = dlg.m_hWnd;
  EXPECT_TRUE(ListLines(h).empty());
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_OK, IDNO), "Please add an image repository.\nDo you want to continue?");
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(ClickAnswering(h, IDC_REPO_OK, IDYES), "Please add an image repository.\nDo you want to continue?");
  EXPECT_EQ(dlg.Ended(), IDOK);
  EXPECT_EQ(dlg.Result().repositories, "");
  dlg.DestroyWindow();
}

TEST(RepositoryDialog, ClosingChangesNothing) {
  FakeMapper mapper;
  TestRepositoryDlg dlg(StartOptions(), &mapper);
  std::thread driver([desktop = GetThreadDesktop(GetCurrentThreadId())] {
    SetThreadDesktop(desktop);
    HWND h = nullptr;
    for (int i = 0; i < 250 && !h; ++i, Sleep(20)) h = FindWindowW(L"#32770", L"Repository");
    if (h) {
      Sleep(200);
      PostMessageW(h, WM_CLOSE, 0, 0);
    }
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  driver.join();
  EXPECT_EQ(dlg.Result().repositories, "");
}

// The system's drives (Wine has at least C: and Z:) are never offered.
TEST(RepositoryDialog, SystemDrivesAreNotOffered) {
  WNetDriveMapper system;
  const std::vector<std::string> inUse = system.DrivesInUse();
  EXPECT_TRUE(Has(inUse, "C:"));
  for (const std::string& d : inUse) EXPECT_EQ(d.size(), 2u) << d;
  TestRepositoryDlg dlg(service::OptionsRecord{}, nullptr);
  Open(dlg, IDD_REPOSITORY_DIALOG);
  const std::vector<std::string> offered = ComboLines(dlg.m_hWnd);
  EXPECT_EQ(offered.size(), 26u - inUse.size());
  for (const std::string& d : inUse) EXPECT_FALSE(Has(offered, d)) << d;
  dlg.DestroyWindow();
}

}  // namespace
}  // namespace orva::manager

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&orva::manager::g_mainWindow);
  return RUN_ALL_TESTS();
}
