// The backup wizard opened for real: a script of steps runs from a thread
// timer while the wizard's modal loop runs, answering every message box it
// meets and reading back the records the wizard hands to its caller.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "contracts/job_record_check.h"
#include "gui_test_support.h"
#include "skin_cache.h"
#include "wizard/backup_wizard.h"
#include "wizard/wizard_resource.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

using namespace orva::manager;
using orva::service::FieldText;

CWinApp theApp("Orvanta");
CWnd g_mainWindow;

namespace {

class FakeSystem : public BackupWizardSystem {
 public:
  std::string caption = "Microsoft Windows Server 2008 R2 Enterprise [64bit]";
  std::vector<BackupWizardDrive> drives{{"C:", 61035LL * 1048576, 20000LL * 1048576},
                                        {"D:", 500LL * 1048576, 100LL * 1048576},
                                        {"E:", 2000LL * 1048576, 1999LL * 1048576}};
  std::string OsCaption() override { return caption; }
  std::vector<BackupWizardDrive> FixedDrives() override { return drives; }
  SYSTEMTIME LocalTime() override {
    SYSTEMTIME t{};
    t.wYear = 2026, t.wMonth = 12, t.wDay = 10, t.wHour = 9, t.wMinute = 5, t.wSecond = 7;
    return t;
  }
};

JobRecord TableJob(const char* name, int type, const char* drive, const char* kind, const char* time) {
  JobRecord r{};
  r.code = 200;
  SetWizardField(r.jobName, name);
  r.jobType = type;
  SetWizardField(r.driveLetter, drive);
  SetWizardField(r.volumeSize, "500 MB");
  SetWizardField(r.imagePath, (std::string("D:\\Orvanta\\") + name + ".TAV").c_str());
  SetWizardField(r.baseImagePath, "none");
  SetWizardField(r.excludeList, "D:\\Temp|D:\\Cache|");
  SetWizardField(r.scheduleKind, kind);
  SetWizardField(r.scheduleTime, time);
  r.daily = std::string(kind) == "daily" ? 'y' : 'n';
  r.weekly = r.monthly = 'n';
  for (char& d : r.weekdays) d = 'n';
  r.compressionLevel = 1;
  return r;
}

// The steps of one run and the messages met on the way.
struct Script {
  std::vector<std::function<void()>> steps;
  size_t next = 0;
  bool busy = false;
  std::vector<std::string> boxes;
  int answer = IDOK;
};
Script* g_script = nullptr;
CBackupWizard* g_wiz = nullptr;

BOOL CALLBACK FindBox(HWND h, LPARAM out) {
  if (IsWindowVisible(h) && GetDlgItem(h, 1001) && h != g_wiz->m_hWnd && !GetDlgItem(h, ID_WIZNEXT)) {
    *(HWND*)out = h;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR, DWORD) {
  Script& s = *g_script;
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, (LPARAM)&box);
  if (box) {
    CString text;
    CWnd::FromHandle(GetDlgItem(box, 1001))->GetWindowText(text);
    s.boxes.push_back((const char*)text);
    int id = GetDlgItem(box, s.answer) ? s.answer : IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id));
    return;
  }
  if (s.busy || s.next >= s.steps.size()) return;
  s.busy = true;
  s.steps[s.next++]();
  s.busy = false;
}

INT_PTR RunWizard(CBackupWizard& wiz, Script& script) {
  g_script = &script;
  g_wiz = &wiz;
  UINT_PTR timer = SetTimer(nullptr, 0, 60, ScriptTimer);
  INT_PTR r = wiz.DoModal();
  KillTimer(nullptr, timer);
  EXPECT_EQ(script.next, script.steps.size()) << "the wizard ended before its script";
  return r;
}

void Press(int id) {
  HWND sheet = g_wiz->m_hWnd;
  SendMessageW(sheet, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(sheet, id));
}
void Click(CWnd& page, int id) { SendMessageW(GetDlgItem(page.m_hWnd, id), BM_CLICK, 0, 0); }
std::string ItemText(CWnd& page, int id) {
  CString t;
  page.GetDlgItemText(id, t);
  return (const char*)t;
}
bool Enabled(CWnd& page, int id) { return IsWindowEnabled(GetDlgItem(page.m_hWnd, id)); }
int Active() { return g_wiz->GetActiveIndex(); }
void Shot(const char* name) {
  Pump(100);
  SaveScreenshot(g_wiz->m_hWnd, name);
}

struct Fixture : ::testing::Test {
  ManagerJobTable table;
  FakeSystem system;
  MessageBoxParams params;
  BackupWizardInputs inputs;
  void SetUp() override {
    table.BeginList(3);
    table.StoreListEntry(TableJob("FullC", 300, "C", "daily", "10:30"));
    table.StoreListEntry(TableJob("FullD", 300, "D", "once", "00:00"));
    table.StoreListEntry(TableJob("IncD", 302, "D", "once", "00:00"));
    inputs = {&table, "D:\\Orvanta|E:\\Images|", &params, &system};
    // The program's shared settings keep what others set in them.
    params.options = SMB_OPT_NARROW;
  }
};

}  // namespace

TEST_F(Fixture, ThreeDrivesOnAServerGiveThreeRecords) {
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  auto& p1 = wiz.m_page1;
  auto& p2 = wiz.m_page2;
  auto& p3 = wiz.m_page3;
  s.steps = {
      [&] {
        EXPECT_EQ(Active(), 0);
        EXPECT_EQ(params.options, SMB_OPT_NARROW | SMB_OPT_MODERN);
        EXPECT_EQ(params.iconId, 178u);
        ASSERT_EQ(p1.m_driveList.GetItemCount(), 3);
        EXPECT_EQ(std::string(p1.m_driveList.GetItemText(0, 0)), "C:");
        EXPECT_EQ(std::string(p1.m_driveList.GetItemText(0, 1)), "61.035 GB");
        EXPECT_EQ(std::string(p1.m_driveList.GetItemText(0, 2)), "41.035 GB");
        EXPECT_EQ(std::string(p1.m_driveList.GetItemText(1, 1)), "500 MB");
        EXPECT_EQ(p1.m_driveList.GetCheckbox(0, 0), 1);
        EXPECT_EQ(p1.m_driveList.GetCheckbox(1, 0), 0);
        EXPECT_EQ(p1.m_driveList.GetNextItem(-1, LVNI_SELECTED), 0);
        ASSERT_EQ(p1.m_jobList.GetItemCount(), 1);
        EXPECT_EQ(std::string(p1.m_jobList.GetItemText(0, 0)), "FullC");
        EXPECT_EQ(std::string(p1.m_jobList.GetItemText(0, 1)), "Daily : 10:30");
        EXPECT_EQ(ItemText(*g_wiz, ID_WIZNEXT), "Next");
        EXPECT_EQ(ItemText(*g_wiz, IDCANCEL), "Cancel");
        Shot("wizard_drive_page");
        Pixels page = CaptureWindow(p1.m_hWnd, false);
        EXPECT_EQ(page.at(3, page.height - 3), RGB(255, 255, 254));
        EXPECT_EQ(page.at(3, 70), RGB(255, 255, 254));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(g_wiz->m_hWnd, IDHELP)));
        // Drive E: has no job.
        p1.m_driveList.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        EXPECT_EQ(p1.m_jobList.GetItemCount(), 0);
        p1.m_driveList.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        EXPECT_EQ(p1.m_jobList.GetItemCount(), 2);
        p1.m_driveList.SetCheckbox(0, 0, 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 0);
        for (int i = 0; i < 3; ++i) p1.m_driveList.SetCheckbox(i, 0, 1);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(WizardState().wizardRecordCount, 3);
      },
      [&] {
        // Record 0: drive C, a new full backup.
        EXPECT_EQ(ItemText(p2, IDC_BK2_DRIVE), "C Drive");
        EXPECT_EQ(ItemText(p2, IDC_BK2_NAME), "OrvaBackup_C_2026_12100905_07");
        EXPECT_EQ(ItemText(p2, IDC_BK2_PATH), "D:\\Orvanta\\OrvaBackup_C_2026_12100905_07.TAV");
        EXPECT_FALSE(Enabled(p2, IDC_BK2_UPDATE_BASE));
        Shot("wizard_type_page");
        p2.SetDlgItemText(IDC_BK2_NAME, "FullC");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(ItemText(p2, IDC_BK2_NAME), "FullC");
        p2.SetDlgItemText(IDC_BK2_NAME, "");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        p2.SetDlgItemText(IDC_BK2_NAME, "Bad|Name");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        SendMessageW(GetDlgItem(p2.m_hWnd, IDC_BK2_REPOSITORY), CB_SETCURSEL, 1, 0);
        SendMessageW(p2.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_BK2_REPOSITORY, CBN_SELCHANGE),
                     (LPARAM)GetDlgItem(p2.m_hWnd, IDC_BK2_REPOSITORY));
        p2.SetDlgItemText(IDC_BK2_NAME, "NewC");
        EXPECT_EQ(ItemText(p2, IDC_BK2_PATH), "E:\\Images\\NewC.TAV");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
      },
      [&] {
        EXPECT_EQ(p3.IsDlgButtonChecked(IDC_BK3_NORMAL), (UINT)BST_CHECKED);
        EXPECT_EQ(p3.IsDlgButtonChecked(IDC_BK3_ONCE), (UINT)BST_CHECKED);
        EXPECT_FALSE(Enabled(p3, IDC_BK3_HOUR));
        Click(p3, IDC_BK3_HIGH);
        Click(p3, IDC_BK3_WEEKLY);
        EXPECT_TRUE(Enabled(p3, IDC_BK3_HOUR));
        EXPECT_TRUE(Enabled(p3, IDC_BK3_MON));
        EXPECT_FALSE(Enabled(p3, IDC_BK3_DAY));
        Click(p3, IDC_BK3_MON);
        Click(p3, IDC_BK3_MON + 4);
        p3.SetDlgItemText(IDC_BK3_HOUR, "24");
        EXPECT_EQ(ItemText(p3, IDC_BK3_HOUR), "00");
        p3.SetDlgItemText(IDC_BK3_MINUTE, "60");
        EXPECT_EQ(ItemText(p3, IDC_BK3_MINUTE), "00");
        p3.SetDlgItemText(IDC_BK3_HOUR, "9");
        p3.SetDlgItemText(IDC_BK3_MINUTE, "5");
        Click(p3, IDC_BK3_ADD);  // nothing to add
        p3.SetDlgItemText(IDC_BK3_FOLDER, "D:\\Other");
        Click(p3, IDC_BK3_ADD);
        EXPECT_EQ(ItemText(p3, IDC_BK3_FOLDER), "");
        p3.SetDlgItemText(IDC_BK3_FOLDER, "C:\\Temp");
        Click(p3, IDC_BK3_ADD);
        p3.SetDlgItemText(IDC_BK3_FOLDER, "C:\\Cache");
        Click(p3, IDC_BK3_ADD);
        HWND list = GetDlgItem(p3.m_hWnd, IDC_BK3_EXCLUDE_LIST);
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
        Click(p3, IDC_BK3_REMOVE);  // nothing selected
        SendMessageW(list, LB_SETCURSEL, 1, 0);
        g_script->answer = IDNO;
        Click(p3, IDC_BK3_REMOVE);
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
        g_script->answer = IDYES;
        Click(p3, IDC_BK3_REMOVE);
        g_script->answer = IDOK;
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
        Shot("wizard_option_page");
        Press(ID_WIZNEXT);
        // On to the next drive's type page.
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(WizardState().wizardRecordIndex, 1);
      },
      [&] {
        // Record 1: drive D, an update of FullD.
        EXPECT_EQ(ItemText(p2, IDC_BK2_DRIVE), "D Drive");
        Click(p2, IDC_BK2_UPDATE);
        EXPECT_TRUE(Enabled(p2, IDC_BK2_UPDATE_BASE));
        EXPECT_FALSE(Enabled(p2, IDC_BK2_NAME));
        HWND base = GetDlgItem(p2.m_hWnd, IDC_BK2_UPDATE_BASE);
        EXPECT_EQ(SendMessageW(base, CB_GETCOUNT, 0, 0), 1);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
        // The stored exclusions and schedule of FullD come back; compression is Normal.
        HWND list = GetDlgItem(p3.m_hWnd, IDC_BK3_EXCLUDE_LIST);
        EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(p3.IsDlgButtonChecked(IDC_BK3_NORMAL), (UINT)BST_CHECKED);
        EXPECT_EQ(p3.IsDlgButtonChecked(IDC_BK3_ONCE), (UINT)BST_CHECKED);
        Click(p3, IDC_BK3_MONTHLY);
        EXPECT_TRUE(Enabled(p3, IDC_BK3_DAY));
        SendMessageW(GetDlgItem(p3.m_hWnd, IDC_BK3_DAY), CB_SETCURSEL, 14, 0);
        p3.SetDlgItemText(IDC_BK3_HOUR, "23");
        p3.SetDlgItemText(IDC_BK3_MINUTE, "59");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
      },
      [&] {
        // Record 2: drive E has no full backup to base an update on.
        Click(p2, IDC_BK2_UPDATE);
        EXPECT_EQ(SendMessageW(GetDlgItem(p2.m_hWnd, IDC_BK2_UPDATE_BASE), CB_GETCOUNT, 0, 0), 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        Click(p2, IDC_BK2_FULL);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 3);
      },
      [&] {
        std::string text = ItemText(wiz.m_page4, IDC_BK4_TEXT);
        EXPECT_EQ(text.rfind("Total backup task number :  3 \r\n", 0), 0u) << text;
        EXPECT_NE(text.find("\tDetailed Information\t:  Mon Fri  09:05\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Task Type\t: Update Backup"), std::string::npos);
        EXPECT_EQ(ItemText(*g_wiz, ID_WIZFINISH), "Finish");
        Shot("wizard_summary_page");
        // Back and forth: the summary is built again.
        Press(ID_WIZBACK);
        EXPECT_EQ(Active(), 2);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 3);
        EXPECT_EQ(wiz.m_page4.m_finishedCount, 3);
        Press(ID_WIZFINISH);
      },
  };
  ASSERT_EQ(RunWizard(wiz, s), ID_WIZFINISH);
  EXPECT_EQ(s.boxes, (std::vector<std::string>{
                         "Please select a drive to backup.",
                         "Same backup name is detected.\nPlease check it and then try again.",
                         "Please enter a backup name.",
                         "The backup name may not contain \\ / : * ? \" < > | % or control characters.\n"
                         "Please check it and then try again.",
                         "Please enter 2 digit hour number from 00 to 23.",
                         "Please enter 2 digit minute number from 00 to 59.",
                         "Exclude directory is not set.\nPlease select an exclude directory and then try again.",
                         "The selected exclude directory is not in backup volume.\nPlease select a valid exclude "
                         "directory.",
                         "Exclude directory is not selected.\nPlease seelct an exclude directory to remove from "
                         "list and then try again.",
                         "Are you sure you want to remove a selected directory from list?",
                         "Are you sure you want to remove a selected directory from list?",
                         "Please select a full backup name.",
                     }));
  std::vector<JobRecord> out = wiz.FinishedRecords();
  ASSERT_EQ(out.size(), 3u);
  for (const JobRecord& r : out) {
    std::string why;
    EXPECT_TRUE(orva::service::ValidateJobRecord(r, why)) << orva::service::JobName(r) << ": " << why;
  }
  EXPECT_EQ(FieldText(out[0].jobName), "NewC");
  EXPECT_EQ(out[0].code, 200);
  EXPECT_EQ(out[0].jobType, 300);
  EXPECT_EQ(FieldText(out[0].driveLetter), "C");
  EXPECT_EQ(FieldText(out[0].volumeSize), "61.035 GB");
  EXPECT_EQ(FieldText(out[0].imagePath), "E:\\Images\\NewC.TAV");
  EXPECT_EQ(FieldText(out[0].baseImagePath), "none");
  EXPECT_EQ(out[0].compressionLevel, 9);
  EXPECT_EQ(FieldText(out[0].excludeList), "C:\\Temp|");
  EXPECT_EQ(FieldText(out[0].scheduleKind), "weekly");
  EXPECT_EQ(FieldText(out[0].scheduleTime), "09:05");
  EXPECT_EQ(std::string(out[0].weekdays, 7), "ynnnynn");
  EXPECT_EQ(out[0].weekly, 'y');
  EXPECT_EQ(out[0].daily, 'n');

  EXPECT_EQ(FieldText(out[1].jobName), "FullD");
  EXPECT_EQ(out[1].code, 201);
  EXPECT_EQ(out[1].jobType, 301);
  EXPECT_EQ(FieldText(out[1].imagePath), "D:\\Orvanta\\FullD.TAV");
  EXPECT_EQ(FieldText(out[1].excludeList), "D:\\Temp|D:\\Cache|");
  EXPECT_EQ(FieldText(out[1].scheduleKind), "monthly");
  EXPECT_EQ(out[1].dayOfMonth, 15);
  EXPECT_EQ(FieldText(out[1].scheduleTime), "23:59");
  EXPECT_EQ(out[1].compressionLevel, 1);

  EXPECT_EQ(FieldText(out[2].jobName), "OrvaBackup_E_2026_12100905_07");
  EXPECT_EQ(FieldText(out[2].scheduleKind), "once");
  EXPECT_EQ(FieldText(out[2].excludeList), "none");
  EXPECT_EQ(out[2].runState, 0);
  EXPECT_EQ(out[2].dayOfMonth, 0);
}

TEST_F(Fixture, WindowsSevenTakesOneDriveAndCancelSendsNothing) {
  system.caption = "Microsoft Windows 7 Professional [64bit]";
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  s.steps = {
      [&] {
        EXPECT_EQ(wiz.m_page1.m_driveList.GetCheckbox(0, 0), -1);
        EXPECT_EQ(wiz.m_page1.m_driveList.GetNextItem(-1, LVNI_SELECTED), 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(WizardState().wizardRecordCount, 1);
        Press(ID_WIZNEXT);
        Click(wiz.m_page3, IDC_BK3_MONTHLY);
        SendMessageW(GetDlgItem(wiz.m_page3.m_hWnd, IDC_BK3_DAY), CB_SETCURSEL, (WPARAM)-1, 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
        EXPECT_EQ(wiz.m_page3.IsDlgButtonChecked(IDC_BK3_MONTHLY), (UINT)BST_CHECKED);
        Click(wiz.m_page3, IDC_BK3_ONCE);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 3);
        Press(IDCANCEL);
      },
  };
  EXPECT_EQ(RunWizard(wiz, s), IDCANCEL);
  EXPECT_EQ(s.boxes, std::vector<std::string>{"Please select a day."});
  EXPECT_TRUE(wiz.FinishedRecords().empty());
}

TEST_F(Fixture, ModifyKeepsTheNameAndLoadsTheSchedule) {
  CBackupWizard wiz("Start Backup Wizard", inputs);
  wiz.SetModifyRecord(*table.Find("FullC"));
  Script s;
  s.steps = {
      [&] {
        EXPECT_FALSE(wiz.m_page1.m_driveList.IsWindowEnabled());
        EXPECT_EQ(wiz.m_page1.m_driveList.GetNextItem(-1, LVNI_SELECTED), 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(ItemText(wiz.m_page2, IDC_BK2_NAME), "FullC");
        EXPECT_EQ(ItemText(wiz.m_page2, IDC_BK2_PATH), "D:\\Orvanta\\FullC.TAV");
        EXPECT_FALSE(Enabled(wiz.m_page2, IDC_BK2_NAME));
        EXPECT_FALSE(Enabled(wiz.m_page2, IDC_BK2_UPDATE));
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
        EXPECT_EQ(wiz.m_page3.IsDlgButtonChecked(IDC_BK3_DAILY), (UINT)BST_CHECKED);
        EXPECT_EQ(ItemText(wiz.m_page3, IDC_BK3_HOUR), "10");
        EXPECT_EQ(ItemText(wiz.m_page3, IDC_BK3_MINUTE), "30");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 3);
        Press(ID_WIZFINISH);
      },
  };
  ASSERT_EQ(RunWizard(wiz, s), ID_WIZFINISH);
  EXPECT_TRUE(s.boxes.empty());
  std::vector<JobRecord> out = wiz.FinishedRecords();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(FieldText(out[0].jobName), "FullC");
  EXPECT_EQ(FieldText(out[0].scheduleKind), "daily");
  EXPECT_EQ(FieldText(out[0].scheduleTime), "10:30");
  EXPECT_EQ(FieldText(out[0].excludeList), "D:\\Temp|D:\\Cache|");
  std::string why;
  EXPECT_TRUE(orva::service::ValidateJobRecord(out[0], why)) << why;
}

TEST_F(Fixture, ModifyOfAnIncrementalJobKeepsItsType) {
  CBackupWizard wiz("Start Backup Wizard", inputs);
  JobRecord entry = *table.Find("IncD");
  SetWizardField(entry.scheduleKind, "weekly");
  SetWizardField(entry.scheduleTime, "21:15");
  entry.weekdays[2] = 'y';
  wiz.SetModifyRecord(entry);
  Script s;
  s.steps = {
      [&] {
        EXPECT_EQ(wiz.m_page1.m_driveList.GetNextItem(-1, LVNI_SELECTED), 1);
        EXPECT_EQ(wiz.m_page1.m_driveList.GetCheckbox(1, 0), 1);
        Press(ID_WIZNEXT);
        auto& p2 = wiz.m_page2;
        EXPECT_EQ(p2.IsDlgButtonChecked(IDC_BK2_INCREMENTAL), (UINT)BST_CHECKED);
        HWND base = GetDlgItem(p2.m_hWnd, IDC_BK2_INCREMENTAL_BASE);
        EXPECT_EQ(SendMessageW(base, CB_GETCOUNT, 0, 0), 1);
        EXPECT_EQ(ItemText(p2, IDC_BK2_INCREMENTAL_BASE), "IncD");
        EXPECT_FALSE(IsWindowEnabled(base));
        EXPECT_FALSE(Enabled(p2, IDC_BK2_FULL));
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 2);
        EXPECT_EQ(wiz.m_page3.IsDlgButtonChecked(IDC_BK3_WEEKLY), (UINT)BST_CHECKED);
        EXPECT_EQ(wiz.m_page3.IsDlgButtonChecked(IDC_BK3_MON + 2), (UINT)BST_CHECKED);
        EXPECT_EQ(wiz.m_page3.IsDlgButtonChecked(IDC_BK3_MON), (UINT)BST_UNCHECKED);
        Press(ID_WIZNEXT);
        Press(ID_WIZFINISH);
      },
  };
  ASSERT_EQ(RunWizard(wiz, s), ID_WIZFINISH);
  EXPECT_TRUE(s.boxes.empty());
  std::vector<JobRecord> out = wiz.FinishedRecords();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(FieldText(out[0].jobName), "IncD");
  EXPECT_EQ(out[0].jobType, 302);
  EXPECT_EQ(out[0].code, 201);
  EXPECT_EQ(std::string(out[0].weekdays, 7), "nnynnnn");
  EXPECT_EQ(FieldText(out[0].scheduleTime), "21:15");
  PrepareModifiedEntry(out[0]);
  std::string why;
  EXPECT_TRUE(orva::service::ValidateJobRecord(out[0], why)) << why;
}

TEST_F(Fixture, TheRepositoryCannotBeTypedIn) {
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  s.steps = {
      [&] {
        Press(ID_WIZNEXT);
        auto& p2 = wiz.m_page2;
        HWND combo = GetDlgItem(p2.m_hWnd, IDC_BK2_REPOSITORY);
        SetWindowTextW(combo, L"X:\\typed");
        SendMessageW(p2.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_BK2_REPOSITORY, CBN_EDITCHANGE), (LPARAM)combo);
        EXPECT_EQ(ItemText(p2, IDC_BK2_REPOSITORY), "D:\\Orvanta");
        EXPECT_EQ(ItemText(p2, IDC_BK2_PATH), "D:\\Orvanta\\OrvaBackup_C_2026_12100905_07.TAV");
        Press(IDCANCEL);
      },
  };
  EXPECT_EQ(RunWizard(wiz, s), IDCANCEL);
  EXPECT_EQ(s.boxes, std::vector<std::string>{"Image repository can't be edited."});
}

TEST_F(Fixture, TheComputersOwnDrivesAreListed) {
  inputs.system = nullptr;
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  s.steps = {
      [&] {
        EXPECT_GE(wiz.m_page1.m_driveList.GetItemCount(), 1);
        EXPECT_FALSE(WizardState().osCaption.empty());
        Press(IDCANCEL);
      },
  };
  EXPECT_EQ(RunWizard(wiz, s), IDCANCEL);
}

TEST_F(Fixture, BackGoesToTheOptionsOfTheDriveBefore) {
  system.drives.resize(2);
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  s.steps = {
      [&] {
        wiz.m_page1.m_driveList.SetCheckbox(1, 0, 1);
        Press(ID_WIZNEXT);
        Press(ID_WIZNEXT);
        Click(wiz.m_page3, IDC_BK3_DAILY);
        wiz.m_page3.SetDlgItemText(IDC_BK3_HOUR, "7");
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(WizardState().wizardRecordIndex, 1);
        EXPECT_EQ(ItemText(wiz.m_page2, IDC_BK2_DRIVE), "D Drive");
        Press(ID_WIZBACK);
        EXPECT_EQ(Active(), 2);
        EXPECT_EQ(WizardState().wizardRecordIndex, 0);
        Press(ID_WIZBACK);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(ItemText(wiz.m_page2, IDC_BK2_DRIVE), "C Drive");
        Press(ID_WIZBACK);
        EXPECT_EQ(Active(), 0);
        Press(ID_WIZNEXT);
        Press(ID_WIZNEXT);
        Click(wiz.m_page3, IDC_BK3_DAILY);
        wiz.m_page3.SetDlgItemText(IDC_BK3_HOUR, "7");
        Press(ID_WIZNEXT);
        Press(ID_WIZNEXT);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 3);
        Press(ID_WIZFINISH);
      },
  };
  ASSERT_EQ(RunWizard(wiz, s), ID_WIZFINISH);
  EXPECT_TRUE(s.boxes.empty());
  std::vector<JobRecord> out = wiz.FinishedRecords();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(FieldText(out[0].driveLetter), "C");
  EXPECT_EQ(FieldText(out[0].scheduleTime), "07:00");
  EXPECT_EQ(FieldText(out[1].driveLetter), "D");
  EXPECT_EQ(FieldText(out[1].scheduleKind), "once");
}

TEST_F(Fixture, MoreDrivesThanRecordsAreRefused) {
  system.drives.clear();
  for (char c = 'C'; c <= 'M'; ++c) system.drives.push_back({std::string(1, c) + ":", 1LL << 30, 1LL << 29});
  CBackupWizard wiz("Start Backup Wizard", inputs);
  Script s;
  s.steps = {
      [&] {
        for (int i = 0; i < 11; ++i) wiz.m_page1.m_driveList.SetCheckbox(i, 0, 1);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 0);
        wiz.m_page1.m_driveList.SetCheckbox(10, 0, 0);
        Press(ID_WIZNEXT);
        EXPECT_EQ(Active(), 1);
        EXPECT_EQ(WizardState().wizardRecordCount, 10);
        Press(IDCANCEL);
      },
  };
  EXPECT_EQ(RunWizard(wiz, s), IDCANCEL);
  EXPECT_EQ(s.boxes, std::vector<std::string>{"Please select at most 10 drives to backup at once."});
}

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  return RUN_ALL_TESTS();
}
