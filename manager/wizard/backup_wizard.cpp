#include "wizard/backup_wizard.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "contracts/job_record_check.h"
#include "skin_cache.h"
#include "os_caption.h"
#include "wizard/wizard_resource.h"

namespace orva::manager {

using service::FieldText;
using service::JobName;

namespace {
constexpr COLORREF kBackground = 0xFEFFFF;
constexpr COLORREF kGrid = 0xF0F0F0;
constexpr const char* kCaption = "Orvanta";
constexpr int kTypeRadios[4] = {IDC_BK2_FULL, IDC_BK2_UPDATE, IDC_BK2_INCREMENTAL, IDC_BK2_DIFFERENTIAL};
constexpr int kBaseCombos[4] = {0, IDC_BK2_UPDATE_BASE, IDC_BK2_INCREMENTAL_BASE, IDC_BK2_DIFFERENTIAL_BASE};
constexpr int kBaseLabels[4] = {0, IDC_BK2_UPDATE_LABEL, IDC_BK2_INCREMENTAL_LABEL, IDC_BK2_DIFFERENTIAL_LABEL};
constexpr int kCompressionRadios[3] = {IDC_BK3_NONE, IDC_BK3_NORMAL, IDC_BK3_HIGH};
constexpr int kScheduleRadios[4] = {IDC_BK3_ONCE, IDC_BK3_DAILY, IDC_BK3_WEEKLY, IDC_BK3_MONTHLY};
constexpr int kCompressionLevels[3] = {0, 1, 9};

CString Text(const std::string_view& s) { return CString(std::string(s).c_str()); }

int RadioChoice(HWND page, const int* ids, int count) {
  for (int i = 0; i < count; ++i)
    if (::IsDlgButtonChecked(page, ids[i]) == BST_CHECKED) return i;
  return 0;
}

void SetRadioChoice(HWND page, const int* ids, int count, int choice) {
  for (int i = 0; i < count; ++i) ::CheckDlgButton(page, ids[i], i == choice ? BST_CHECKED : BST_UNCHECKED);
}

void ComboAdd(HWND combo, const char* text) {
  ::SendMessageW(combo, CB_ADDSTRING, 0, (LPARAM)ToWideText(text).c_str());
}

CString ComboText(HWND combo, int index) {
  int n = (int)::SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
  if (n < 0) return CString();
  std::wstring w(n + 1, L'\0');
  ::SendMessageW(combo, CB_GETLBTEXT, index, (LPARAM)w.data());
  w.resize(wcslen(w.c_str()));
  return FromWideText(w.c_str());
}

CString ListBoxText(HWND list, int index) {
  int n = (int)::SendMessageW(list, LB_GETTEXTLEN, index, 0);
  if (n < 0) return CString();
  std::wstring w(n + 1, L'\0');
  ::SendMessageW(list, LB_GETTEXT, index, (LPARAM)w.data());
  w.resize(wcslen(w.c_str()));
  return FromWideText(w.c_str());
}

// Every listed percentage of the control's width; the last column the rest
// after the vertical scroll bar and the borders.
void FitColumns(CListCtrl& list, std::initializer_list<int> percents) {
  CRect r;
  list.GetWindowRect(&r);
  int width = r.Width(), used = 0, column = 0;
  for (int p : percents) {
    int w = width * p / 100;
    list.SetColumnWidth(column++, w);
    used += w;
  }
  int rest = width - used;
  SCROLLINFO si{};
  if (list.GetScrollInfo(SB_VERT, &si) && si.nPage > 0 && si.nMax - si.nMin + 1 >= (int)si.nPage)
    rest -= GetSystemMetrics(SM_CXVSCROLL);
  if (list.GetExStyle() & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) rest -= 2 * GetSystemMetrics(SM_CXEDGE);
  if (list.GetStyle() & WS_BORDER) rest -= 2 * GetSystemMetrics(SM_CXBORDER);
  list.SetColumnWidth(column, rest > 0 ? rest : 0);
  list.Invalidate();
}
}  // namespace

// --- the computer ------------------------------------------------------------

std::string BackupWizardSystem::OsCaption() { return platform::QueryOsCaptionUncached(); }

std::vector<BackupWizardDrive> BackupWizardSystem::FixedDrives() {
  std::vector<BackupWizardDrive> drives;
  using FreeSpaceFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto freeSpace = kernel ? (FreeSpaceFn)(void*)GetProcAddress(kernel, "GetDiskFreeSpaceExA") : nullptr;
  char roots[256] = {};
  DWORD n = GetLogicalDriveStringsA(sizeof roots, roots);
  if (n == 0 || n >= sizeof roots || !freeSpace) return drives;
  for (const char* root = roots; *root; root += strlen(root) + 1) {
    if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
    char drive[3] = {root[0], ':', 0};
    ULARGE_INTEGER avail{}, total{}, free{};
    if (!freeSpace(drive, &avail, &total, &free)) continue;
    drives.push_back({drive, (int64_t)total.QuadPart, (int64_t)free.QuadPart});
  }
  return drives;
}

SYSTEMTIME BackupWizardSystem::LocalTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return t;
}

// --- common page parts ---------------------------------------------------------

BEGIN_MESSAGE_MAP(CBackupWizardPage, CPropertyPage)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CBackupWizardPage::~CBackupWizardPage() {
  if (m_bannerBitmap) DeleteObject(m_bannerBitmap);
}

void CBackupWizardPage::InitPage() {
  if (m_inputs && m_inputs->messageParams) {
    m_inputs->messageParams->options |= SMB_OPT_MODERN;
    m_inputs->messageParams->iconId = IDI_MESSAGE_BOX;
  }
  if (!m_brush.m_hObject) m_brush.CreateSolidBrush(kBackground);
  if (!m_banner.m_hWnd) m_banner.SubclassDlgItem(IDC_WIZ_BANNER, this);
  if (!m_bannerBitmap)
    m_bannerBitmap = (HBITMAP)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(IDB_WIZARD_BANNER), IMAGE_BITMAP, 0, 0,
                                         LR_DEFAULTCOLOR);
  if (m_banner.m_hWnd && m_bannerBitmap) m_banner.SetBitmap(m_bannerBitmap);
}

int CBackupWizardPage::Message(const char* text, UINT style) {
  return SkinMessageBox(m_hWnd, text, kCaption, style, m_inputs ? m_inputs->messageParams : nullptr);
}

LRESULT CBackupWizardPage::Refuse(const char* text) {
  Message(text);
  // Made current again only when it is not: doing it again would run its
  // activation and lose what the user entered.
  if (m_sheet && m_sheet->GetActivePage() != this) m_sheet->SetActivePage(this);
  return -1;
}

std::vector<JobRecord> CBackupWizardPage::Jobs() const {
  return m_inputs && m_inputs->jobs ? m_inputs->jobs->Entries() : std::vector<JobRecord>();
}

BackupWizardSystem& CBackupWizardPage::System() const {
  static BackupWizardSystem own;
  return m_inputs && m_inputs->system ? *m_inputs->system : own;
}

HBRUSH CBackupWizardPage::OnCtlColor(CDC* dc, CWnd*, UINT kind) {
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  if (kind == CTLCOLOR_EDIT || kind == CTLCOLOR_LISTBOX) return (HBRUSH)Default();
  return m_brush;
}

// --- drive page ------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CBackupWizardDrivePage, CBackupWizardPage)
ON_NOTIFY(LVN_ITEMCHANGED, IDC_BK1_DRIVE_LIST, OnDriveItemChanged)
END_MESSAGE_MAP()

CBackupWizardDrivePage::CBackupWizardDrivePage() : CBackupWizardPage(IDD_BK1_SELECT_VOLUME, "Select Backup Drive(s)") {
  m_psp.dwFlags &= ~PSP_HASHELP;
}

void CBackupWizardDrivePage::DoDataExchange(CDataExchange* dx) {
  CBackupWizardPage::DoDataExchange(dx);
  DDX_Control(dx, IDC_BK1_DRIVE_LIST, m_driveList);
  DDX_Control(dx, IDC_BK1_JOB_LIST, m_jobList);
}

void CBackupWizardDrivePage::SetUpList(CReportListCtrl& list) {
  CSkinCache& skin = SkinCache();
  list.SetRowHeight(20);
  list.SetListFont(skin.GetFont(1));
  list.m_header.SetCaptionFont(skin.GetFont(0));
  list.m_header.SetHeaderHeight(30);
  list.SetGridLineColor(kGrid);
  list.SetImageList(&m_imageList, LVSIL_SMALL);
}

BOOL CBackupWizardDrivePage::OnInitDialog() {
  CBackupWizardPage::OnInitDialog();
  InitPage();
  WizardWorkingState& st = WizardState();
  st.wizardRecordIndex = 0;
  SetDlgItemText(IDC_BK1_DRIVE_LABEL, "Select a drive to backup.");
  SetDlgItemText(IDC_BK1_JOB_LABEL, "Backup job information.");

  if (!m_imageList.GetSafeHandle()) {
    m_imageList.Create(16, 16, ILC_COLOR32, 2, 1);
    for (UINT id : {IDI_WIZARD_JOB, IDI_WIZARD_DRIVE}) {
      HICON icon = (HICON)LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0);
      m_imageList.Add(icon);
      if (icon) DestroyIcon(icon);
    }
  }
  SetUpList(m_driveList);
  m_driveList.InsertColumn(0, "Drive", LVCFMT_LEFT, 60);
  m_driveList.InsertColumn(1, "Total Size", LVCFMT_LEFT, 60);
  m_driveList.InsertColumn(2, "Used Size", LVCFMT_LEFT, 60);
  m_driveList.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  m_driveList.EnableToolTips(TRUE);
  m_driveList.SetEmptyListText("There is no drive to backup.");
  FitColumns(m_driveList, {25, 25});

  SetUpList(m_jobList);
  m_jobList.InsertColumn(0, "Backup Name", LVCFMT_LEFT, 60);
  m_jobList.InsertColumn(1, "Schedule Type", LVCFMT_LEFT, 60);
  m_jobList.SetExtendedStyle(LVS_EX_FULLROWSELECT);
  m_jobList.EnableToolTips(TRUE);
  m_jobList.SetEmptyListText("There is no backup job for current drive.");
  FitColumns(m_jobList, {50});

  st.osCaption = System().OsCaption();
  // Every system that may define several jobs at once ticks its drives.
  m_checkBoxes = !IsSingleDriveCaption(st.osCaption);
  FillDrives();

  const int count = m_driveList.GetItemCount();
  auto rowOf = [&](const std::string& letter) {
    for (int i = 0; i < count; ++i) {
      CString drive = m_driveList.GetItemText(i, 0);
      int colon = drive.Find(':');
      if ((colon >= 0 ? drive.Left(colon) : drive).CompareNoCase(letter.c_str()) == 0) return i;
    }
    return -1;
  };
  if (m_modifyFlag) {
    st.WizardRecordList[0] = m_modifyRecord;
    st.wizardRecordCount = 1;
    int row = rowOf(std::string(FieldText(m_modifyRecord.driveLetter)));
    if (row >= 0) {
      m_driveList.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      m_driveList.EnsureVisible(row, FALSE);
      if (m_checkBoxes) m_driveList.SetCheckbox(row, 0, 1);
    }
    m_driveList.EnableWindow(FALSE);
  } else {
    int row = rowOf("C");
    if (row >= 0) {
      m_driveList.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
      m_driveList.EnsureVisible(row, FALSE);
      if (m_checkBoxes) m_driveList.SetCheckbox(row, 0, 1);
    }
    m_driveList.SetFocus();
  }
  FillJobs();
  st.wizardModifyMode = m_modifyFlag;
  return FALSE;
}

void CBackupWizardDrivePage::FillDrives() {
  m_driveList.DeleteAllItems();
  int row = 0;
  for (const BackupWizardDrive& d : System().FixedDrives()) {
    m_driveList.InsertItem(row, d.drive.c_str(), 1);
    m_driveList.SetItemText(row, 1, WizardSizeText(d.totalBytes).c_str());
    m_driveList.SetItemText(row, 2, WizardSizeText(d.totalBytes - d.freeBytes).c_str());
    if (m_checkBoxes) m_driveList.SetCheckbox(row, 0, 0);
    ++row;
  }
}

void CBackupWizardDrivePage::FillJobs() {
  m_jobList.DeleteAllItems();
  int selected = m_driveList.GetNextItem(-1, LVNI_SELECTED);
  if (selected < 0) return;
  CString drive = m_driveList.GetItemText(selected, 0);
  int row = 0;
  for (const JobRecord& job : Jobs()) {
    if (Text(FieldText(job.driveLetter)) + ":" != drive) continue;
    m_jobList.InsertItem(row, Text(JobName(job)), 0);
    m_jobList.SetItemText(row, 1, JobScheduleText(job).c_str());
    ++row;
  }
}

void CBackupWizardDrivePage::OnDriveItemChanged(NMHDR* nm, LRESULT* result) {
  auto* lv = (NMLISTVIEW*)nm;
  *result = 0;
  if ((lv->uChanged & LVIF_STATE) && ((lv->uNewState ^ lv->uOldState) & LVIS_SELECTED)) FillJobs();
}

BOOL CBackupWizardDrivePage::OnSetActive() {
  if (m_sheet) m_sheet->SetWizardButtons(PSWIZB_NEXT);
  return CBackupWizardPage::OnSetActive();
}

LRESULT CBackupWizardDrivePage::OnWizardNext() {
  WizardWorkingState& st = WizardState();
  st.wizardRecordIndex = 0;
  if (st.wizardModifyMode) return 0;
  std::vector<int> rows;
  if (!m_checkBoxes) {
    int selected = m_driveList.GetNextItem(-1, LVNI_SELECTED);
    if (selected >= 0) rows.push_back(selected);
  } else {
    for (int i = 0; i < m_driveList.GetItemCount(); ++i)
      if (m_driveList.GetCheckbox(i, 0) == 1) rows.push_back(i);
  }
  if (rows.empty()) {
    st.wizardRecordCount = 0;
    return Refuse("Please select a drive to backup.");
  }
  if ((int)rows.size() > kWizardMaxRecords) {
    char text[128];
    std::snprintf(text, sizeof text, "Please select at most %d drives to backup at once.", kWizardMaxRecords);
    return Refuse(text);
  }
  int n = 0;
  for (int row : rows) {
    JobRecord& r = st.WizardRecordList[n++];
    r = JobRecord{};
    CString drive = m_driveList.GetItemText(row, 0);
    int colon = drive.Find(':');
    SetWizardField(r.driveLetter, (const char*)(colon >= 0 ? drive.Left(colon) : drive));
    SetWizardField(r.volumeSize, (const char*)m_driveList.GetItemText(row, 1));
  }
  st.wizardRecordCount = n;
  return 0;
}

// --- type page --------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CBackupWizardTypePage, CBackupWizardPage)
ON_BN_CLICKED(IDC_BK2_FULL, OnTypeClicked)
ON_BN_CLICKED(IDC_BK2_UPDATE, OnTypeClicked)
ON_BN_CLICKED(IDC_BK2_INCREMENTAL, OnTypeClicked)
ON_BN_CLICKED(IDC_BK2_DIFFERENTIAL, OnTypeClicked)
ON_CBN_SELCHANGE(IDC_BK2_REPOSITORY, OnRepositoryChanged)
ON_CBN_EDITCHANGE(IDC_BK2_REPOSITORY, OnRepositoryEdited)
ON_EN_CHANGE(IDC_BK2_NAME, OnNameChanged)
END_MESSAGE_MAP()

CBackupWizardTypePage::CBackupWizardTypePage() : CBackupWizardPage(IDD_BK2_SELECT_BACKUP_TYPE, "Select Backup Type") {
  m_psp.dwFlags &= ~PSP_HASHELP;
}

void CBackupWizardTypePage::DoDataExchange(CDataExchange* dx) {
  CBackupWizardPage::DoDataExchange(dx);
  DDX_Control(dx, IDC_BK2_NAME, m_nameEdit);
}

BOOL CBackupWizardTypePage::OnInitDialog() {
  CBackupWizardPage::OnInitDialog();
  InitPage();
  SetWindowText("Select Backup Type");
  SetDlgItemText(IDC_BK2_DRIVE_LABEL, "Drive to backup");
  SetDlgItemText(IDC_BK2_FULL, "Full backup");
  SetDlgItemText(IDC_BK2_REPOSITORY_LABEL, "Image Repository");
  SetDlgItemText(IDC_BK2_NAME_LABEL, "Backup Name");
  SetDlgItemText(IDC_BK2_PATH_LABEL, "Backup Path");
  SetDlgItemText(IDC_BK2_UPDATE, "Update Backup");
  SetDlgItemText(IDC_BK2_UPDATE_LABEL, "Full Backup");
  SetDlgItemText(IDC_BK2_INCREMENTAL, "Incremental Backup");
  SetDlgItemText(IDC_BK2_INCREMENTAL_LABEL, "Full Backup");
  SetDlgItemText(IDC_BK2_DIFFERENTIAL, "Differential Backup");
  SetDlgItemText(IDC_BK2_DIFFERENTIAL_LABEL, "Full Backup");
  // A job name is at most 49 characters in the record.
  m_nameEdit.LimitText(sizeof(JobRecord{}.jobName) - 1);
  SetRadioChoice(m_hWnd, kTypeRadios, 4, m_typeChoice);
  EnableForChoice();
  return TRUE;
}

void CBackupWizardTypePage::ReadType() { m_typeChoice = RadioChoice(m_hWnd, kTypeRadios, 4); }

void CBackupWizardTypePage::EnableForChoice() {
  const bool full = m_typeChoice == 0;
  for (int id : {IDC_BK2_NAME_LABEL, IDC_BK2_NAME, IDC_BK2_REPOSITORY_LABEL, IDC_BK2_PATH, IDC_BK2_REPOSITORY,
                 IDC_BK2_PATH_LABEL})
    Enable(id, full);
  for (int t = 1; t < 4; ++t) {
    Enable(kBaseLabels[t], m_typeChoice == t);
    Enable(kBaseCombos[t], m_typeChoice == t);
  }
  if (!full) FillBaseCombo(kBaseCombos[m_typeChoice]);
}

void CBackupWizardTypePage::FillBaseCombo(int comboId) {
  for (int t = 1; t < 4; ++t) ::SendMessageW(Item(kBaseCombos[t]), CB_RESETCONTENT, 0, 0);
  const JobRecord& current = WizardState().WizardRecordList[WizardState().wizardRecordIndex];
  HWND combo = Item(comboId);
  for (const JobRecord& job : Jobs()) {
    if (job.jobType != service::kFullBackup) continue;
    if (FieldText(job.driveLetter) != FieldText(current.driveLetter)) continue;
    ComboAdd(combo, Text(JobName(job)));
  }
  ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

void CBackupWizardTypePage::FillRepositories() {
  HWND combo = Item(IDC_BK2_REPOSITORY);
  ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  if (!m_inputs) return;
  for (const std::string& entry : SplitBarList(m_inputs->repositories)) ComboAdd(combo, entry.c_str());
}

void CBackupWizardTypePage::UpdatePath() {
  if (m_loading || WizardState().wizardModifyMode) return;
  HWND combo = Item(IDC_BK2_REPOSITORY);
  int sel = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  CString repository = sel >= 0 ? ComboText(combo, sel) : CString();
  GetDlgItemText(IDC_BK2_NAME, m_name);
  m_imagePath = repository + "\\" + m_name + ".TAV";
  SetDlgItemText(IDC_BK2_PATH, m_imagePath);
}

void CBackupWizardTypePage::OnTypeClicked() {
  ReadType();
  EnableForChoice();
}

void CBackupWizardTypePage::OnRepositoryEdited() {
  Message("Image repository can't be edited.");
  // Back to the list's own entry.
  HWND combo = Item(IDC_BK2_REPOSITORY);
  int sel = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  FillRepositories();
  ::SendMessageW(combo, CB_SETCURSEL, sel >= 0 ? sel : 0, 0);
  UpdatePath();
}

BOOL CBackupWizardTypePage::OnSetActive() {
  if (m_sheet) m_sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  WizardWorkingState& st = WizardState();
  const JobRecord& r = st.WizardRecordList[st.wizardRecordIndex];
  FillRepositories();
  CString drive = Text(FieldText(r.driveLetter));
  drive.MakeUpper();
  CString driveText;
  driveText.Format("%s %s", (const char*)drive, "Drive");
  SetDlgItemText(IDC_BK2_DRIVE, driveText);
  HWND combo = Item(IDC_BK2_REPOSITORY);
  if (!st.wizardModifyMode) {
    for (int id : kTypeRadios) Enable(id, true);
    m_nameEdit.EnableWindow(TRUE);
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SYSTEMTIME t = System().LocalTime();
    std::string name = DefaultBackupName(std::string(FieldText(r.driveLetter)), t.wYear, t.wMonth, t.wDay, t.wHour,
                                         t.wMinute, t.wSecond);
    SetDlgItemText(IDC_BK2_NAME, name.c_str());
    UpdatePath();
    EnableForChoice();
  } else {
    m_loading = true;
    if (r.jobType == service::kFullBackup) {
      m_typeChoice = 0;
      SetRadioChoice(m_hWnd, kTypeRadios, 4, 0);
      EnableForChoice();
      std::vector<std::string> repositories = SplitBarList(m_inputs ? m_inputs->repositories : "");
      ::SendMessageW(combo, CB_SETCURSEL, RepositoryIndexForPath(repositories, FieldText(r.imagePath)), 0);
      m_name = Text(JobName(r));
      m_imagePath = Text(FieldText(r.imagePath));
      SetDlgItemText(IDC_BK2_NAME, m_name);
      SetDlgItemText(IDC_BK2_PATH, m_imagePath);
      for (int id : {IDC_BK2_NAME, IDC_BK2_NAME_LABEL, IDC_BK2_PATH, IDC_BK2_PATH_LABEL}) Enable(id, false);
    } else if (r.jobType >= service::kUpdateBackup && r.jobType <= service::kDifferentialBackup) {
      m_typeChoice = r.jobType - service::kFullBackup;
      SetRadioChoice(m_hWnd, kTypeRadios, 4, m_typeChoice);
      EnableForChoice();
      HWND base = Item(kBaseCombos[m_typeChoice]);
      ::SendMessageW(base, CB_RESETCONTENT, 0, 0);
      ComboAdd(base, Text(JobName(r)));
      ::SendMessageW(base, CB_SETCURSEL, 0, 0);
      Enable(kBaseLabels[m_typeChoice], false);
      Enable(kBaseCombos[m_typeChoice], false);
    }
    for (int id : kTypeRadios) Enable(id, false);
    m_loading = false;
  }
  return CBackupWizardPage::OnSetActive();
}

LRESULT CBackupWizardTypePage::OnWizardNext() {
  WizardWorkingState& st = WizardState();
  const int i = st.wizardRecordIndex;
  JobRecord& r = st.WizardRecordList[i];
  ReadType();
  if (m_typeChoice == 0) {
    GetDlgItemText(IDC_BK2_NAME, m_name);
    GetDlgItemText(IDC_BK2_PATH, m_imagePath);
    const std::string name(m_name);
    switch (CheckFullBackupName(name, Jobs(), st.WizardRecordList, i, st.wizardModifyMode != 0)) {
      case NameCheck::Empty:
        return Refuse("Please enter a backup name.");
      case NameCheck::TakenByJob:
      case NameCheck::TakenInWizard:
        return Refuse("Same backup name is detected.\nPlease check it and then try again.");
      case NameCheck::TooLong:
        return Refuse("The backup name is too long.\nPlease enter at most 49 characters.");
      case NameCheck::BadCharacter:
        return Refuse(
            "The backup name may not contain \\ / : * ? \" < > | % or control characters.\n"
            "Please check it and then try again.");
      case NameCheck::Ok:
        break;
    }
    if (m_imagePath.GetLength() >= (int)sizeof r.imagePath)
      return Refuse("The backup path is too long.\nPlease choose a shorter backup name.");
    if (!st.wizardModifyMode && SplitBarList(m_inputs ? m_inputs->repositories : "").empty())
      return Refuse("There is no image repository.\nPlease add one and then try again.");
    SetWizardField(r.jobName, name);
    r.jobType = service::kFullBackup;
    SetWizardField(r.imagePath, (const char*)m_imagePath);
  } else {
    HWND combo = Item(kBaseCombos[m_typeChoice]);
    int sel = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (sel < 0) return Refuse("Please select a full backup name.");
    const std::string name(ComboText(combo, sel));
    bool found = false;
    for (const JobRecord& job : Jobs()) {
      if (job.jobType == service::kFullBackup && JobName(job) == name) {
        r = job;
        found = true;
        break;
      }
    }
    if (!found && !st.wizardModifyMode) return Refuse("Please select a full backup name.");
    SetWizardField(r.jobName, name);
    r.jobType = service::kFullBackup + m_typeChoice;
  }
  return 0;
}

LRESULT CBackupWizardTypePage::OnWizardBack() {
  WizardWorkingState& st = WizardState();
  if (st.wizardRecordIndex > 0) {
    // Back to the options of the drive before this one.
    --st.wizardRecordIndex;
    if (m_sheet) m_sheet->SetActivePage(2);
    return -1;
  }
  return 0;
}

// --- option page -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CBackupWizardOptionPage, CBackupWizardPage)
ON_BN_CLICKED(IDC_BK3_ONCE, OnScheduleClicked)
ON_BN_CLICKED(IDC_BK3_DAILY, OnScheduleClicked)
ON_BN_CLICKED(IDC_BK3_WEEKLY, OnScheduleClicked)
ON_BN_CLICKED(IDC_BK3_MONTHLY, OnScheduleClicked)
ON_BN_CLICKED(IDC_BK3_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_BK3_ADD, OnAdd)
ON_BN_CLICKED(IDC_BK3_REMOVE, OnRemove)
ON_EN_CHANGE(IDC_BK3_HOUR, OnHourChanged)
ON_EN_CHANGE(IDC_BK3_MINUTE, OnMinuteChanged)
END_MESSAGE_MAP()

CBackupWizardOptionPage::CBackupWizardOptionPage()
    : CBackupWizardPage(IDD_BK3_SELECT_BACKUP_OPTION, "Select Backup Option.") {
  m_psp.dwFlags &= ~PSP_HASHELP;
}

void CBackupWizardOptionPage::DoDataExchange(CDataExchange* dx) {
  CBackupWizardPage::DoDataExchange(dx);
  DDX_Control(dx, IDC_BK3_BROWSE, m_browse);
  DDX_Control(dx, IDC_BK3_ADD, m_add);
  DDX_Control(dx, IDC_BK3_REMOVE, m_remove);
}

BOOL CBackupWizardOptionPage::OnInitDialog() {
  CBackupWizardPage::OnInitDialog();
  InitPage();
  SetWindowText("Select Backup Option.");
  SetDlgItemText(IDC_BK3_COMPRESSION_LABEL, "Compression Level");
  SetDlgItemText(IDC_BK3_NONE, "None");
  SetDlgItemText(IDC_BK3_NORMAL, "Normal");
  SetDlgItemText(IDC_BK3_HIGH, "High");
  SetDlgItemText(IDC_BK3_EXCLUDE_LABEL, "Excluded Folder");
  SetDlgItemText(IDC_BK3_BROWSE, "Browse");
  SetDlgItemText(IDC_BK3_REMOVE, "Remove");
  SetDlgItemText(IDC_BK3_ADD, "Add");
  SetDlgItemText(IDC_BK3_SCHEDULE_LABEL, "Schedule");
  SetDlgItemText(IDC_BK3_ONCE, "Once");
  SetDlgItemText(IDC_BK3_DAILY, "Daily");
  SetDlgItemText(IDC_BK3_WEEKLY, "Weekly");
  SetDlgItemText(IDC_BK3_MONTHLY, "Monthly");
  SetDlgItemText(IDC_BK3_TIME_LABEL, "Time");
  SetDlgItemText(IDC_BK3_WEEK_LABEL, "Week");
  SetDlgItemText(IDC_BK3_DAY_LABEL, "Day");
  SetDlgItemText(IDC_BK3_COLON, ":");
  SetDlgItemText(IDC_BK3_HOUR_NOTE, "( 24 Hour )");
  static const char* const days[7] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
  for (int d = 0; d < 7; ++d) SetDlgItemText(IDC_BK3_MON + d, days[d]);
  CSkinCache& skin = SkinCache();
  CSkinButton* buttons[3] = {&m_browse, &m_add, &m_remove};
  for (int b = 0; b < 3; ++b) {
    buttons[b]->SetBitmapImages(skin.GetBitmap(8 + b), skin.GetColor(0));
    buttons[b]->SetFont(skin.GetFont(0));
  }
  ::SendMessageW(Item(IDC_BK3_HOUR), EM_LIMITTEXT, 2, 0);
  ::SendMessageW(Item(IDC_BK3_MINUTE), EM_LIMITTEXT, 2, 0);
  ::SendMessageW(Item(IDC_BK3_FOLDER), EM_LIMITTEXT, MAX_PATH, 0);
  WriteControls();
  return TRUE;
}

void CBackupWizardOptionPage::ReadControls() {
  m_compression = RadioChoice(m_hWnd, kCompressionRadios, 3);
  m_scheduleKind = RadioChoice(m_hWnd, kScheduleRadios, 4);
  for (int d = 0; d < 7; ++d) m_weekdays[d] = IsDlgButtonChecked(IDC_BK3_MON + d) == BST_CHECKED;
  GetDlgItemText(IDC_BK3_FOLDER, m_folder);
  GetDlgItemText(IDC_BK3_HOUR, m_hour);
  GetDlgItemText(IDC_BK3_MINUTE, m_minute);
}

void CBackupWizardOptionPage::WriteControls() {
  SetRadioChoice(m_hWnd, kCompressionRadios, 3, m_compression);
  SetRadioChoice(m_hWnd, kScheduleRadios, 4, m_scheduleKind);
  for (int d = 0; d < 7; ++d) CheckDlgButton(IDC_BK3_MON + d, m_weekdays[d] ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemText(IDC_BK3_FOLDER, m_folder);
  SetDlgItemText(IDC_BK3_HOUR, m_hour);
  SetDlgItemText(IDC_BK3_MINUTE, m_minute);
}

void CBackupWizardOptionPage::EnableForKind() {
  const bool monthly = m_scheduleKind == 3, weekly = m_scheduleKind == 2, timed = m_scheduleKind != 0;
  Enable(IDC_BK3_DAY_LABEL, monthly);
  Enable(IDC_BK3_DAY, monthly);
  Enable(IDC_BK3_WEEK_LABEL, weekly);
  for (int d = 0; d < 7; ++d) Enable(IDC_BK3_MON + d, weekly);
  for (int id : {IDC_BK3_TIME_LABEL, IDC_BK3_COLON, IDC_BK3_HOUR_NOTE, IDC_BK3_HOUR, IDC_BK3_MINUTE}) Enable(id, timed);
}

void CBackupWizardOptionPage::OnScheduleClicked() {
  ReadControls();
  EnableForKind();
}

BOOL CBackupWizardOptionPage::OnSetActive() {
  if (m_sheet) m_sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
  WizardWorkingState& st = WizardState();
  const JobRecord& r = st.WizardRecordList[st.wizardRecordIndex];
  HWND day = Item(IDC_BK3_DAY), list = Item(IDC_BK3_EXCLUDE_LIST);
  ::SendMessageW(day, CB_RESETCONTENT, 0, 0);
  for (int d = 1; d <= 30; ++d) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", d);
    ComboAdd(day, text);
  }
  ::SendMessageW(day, CB_SETCURSEL, 0, 0);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  ReadControls();
  m_compression = 1;
  m_scheduleKind = 0;
  if ((r.jobType >= service::kUpdateBackup && r.jobType <= service::kDifferentialBackup) || st.wizardModifyMode) {
    for (const std::string& folder : SplitBarList(FieldText(r.excludeList)))
      ::SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)ToWideText(folder.c_str()).c_str());
    const std::string kind(FieldText(r.scheduleKind));
    if (kind == "daily" || kind == "weekly" || kind == "monthly") {
      const std::string time(FieldText(r.scheduleTime));
      const size_t colon = time.find(':');
      m_hour = time.substr(0, colon).c_str();
      m_minute = colon == std::string::npos ? "00" : time.substr(colon + 1).c_str();
      if (kind == "daily") {
        m_scheduleKind = 1;
      } else if (kind == "weekly") {
        m_scheduleKind = 2;
        for (int d = 0; d < 7; ++d) m_weekdays[d] = r.weekdays[d] == 'y';
      } else {
        m_scheduleKind = 3;
        ::SendMessageW(day, CB_SETCURSEL, r.dayOfMonth - 1, 0);
      }
    }
  }
  WriteControls();
  EnableForKind();
  return CBackupWizardPage::OnSetActive();
}

std::vector<std::string> CBackupWizardOptionPage::Exclusions() const {
  std::vector<std::string> out;
  HWND list = Item(IDC_BK3_EXCLUDE_LIST);
  int n = (int)::SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (int i = 0; i < n; ++i) out.emplace_back((const char*)ListBoxText(list, i));
  return out;
}

LRESULT CBackupWizardOptionPage::OnWizardNext() {
  WizardWorkingState& st = WizardState();
  JobRecord& r = st.WizardRecordList[st.wizardRecordIndex];
  ReadControls();
  int day = 0;
  if (m_scheduleKind == 3) {
    HWND combo = Item(IDC_BK3_DAY);
    int sel = (int)::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (sel < 0) return Refuse("Please select a day.");
    std::sscanf(ComboText(Item(IDC_BK3_DAY), sel), "%d", &day);
  }
  r.compressionLevel = kCompressionLevels[m_compression];
  SetWizardField(r.excludeList, JoinBarList(Exclusions()));
  char hour[8], minute[8], time[16];
  std::snprintf(hour, sizeof hour, "%.2d", ReadTimeNumber((const char*)m_hour) % 100);
  std::snprintf(minute, sizeof minute, "%.2d", ReadTimeNumber((const char*)m_minute) % 100);
  std::snprintf(time, sizeof time, "%s:%s", hour, minute);
  r.daily = r.weekly = r.monthly = 'n';
  switch (m_scheduleKind) {
    case 0:
      SetWizardField(r.scheduleKind, "once");
      break;
    case 1:
      SetWizardField(r.scheduleKind, "daily");
      SetWizardField(r.scheduleTime, time);
      r.daily = 'y';
      break;
    case 2:
      SetWizardField(r.scheduleKind, "weekly");
      for (int d = 0; d < 7; ++d) r.weekdays[d] = m_weekdays[d] ? 'y' : 'n';
      SetWizardField(r.scheduleTime, time);
      r.weekly = 'y';
      break;
    default:
      SetWizardField(r.scheduleKind, "monthly");
      r.dayOfMonth = day;
      SetWizardField(r.scheduleTime, time);
      r.monthly = 'y';
      break;
  }
  if (st.wizardRecordIndex < st.wizardRecordCount - 1) {
    ++st.wizardRecordIndex;
    if (m_sheet) m_sheet->SetActivePage(1);
    return -1;
  }
  return 0;
}

void CBackupWizardOptionPage::OnBrowse() {
  char path[MAX_PATH] = {};
  BROWSEINFOA bi{};
  bi.hwndOwner = m_hWnd;
  bi.pszDisplayName = path;
  bi.lpszTitle = "Select a directory to exclude from backup.";
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  // The folder browser needs COM in this thread's apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  LPITEMIDLIST chosen = SHBrowseForFolderA(&bi);
  if (chosen) {
    if (SHGetPathFromIDListA(chosen, path)) {
      m_folder = path;
      SetDlgItemText(IDC_BK3_FOLDER, m_folder);
    }
    CoTaskMemFree(chosen);
  }
  if (SUCCEEDED(com)) CoUninitialize();
}

void CBackupWizardOptionPage::OnAdd() {
  ReadControls();
  if (m_folder.IsEmpty()) {
    Message("Exclude directory is not set.\nPlease select an exclude directory and then try again.");
    return;
  }
  const JobRecord& r = WizardState().WizardRecordList[WizardState().wizardRecordIndex];
  CString drive = Text(FieldText(r.driveLetter)) + ":";
  if (m_folder.Left(2) != drive) {
    Message("The selected exclude directory is not in backup volume.\nPlease select a valid exclude directory.");
  } else if (JoinBarList(Exclusions()).size() + m_folder.GetLength() + 1 >= sizeof r.excludeList) {
    Message("The excluded folder list is full.\nPlease remove a directory from the list and then try again.");
    return;
  } else if (m_folder.Find('|') >= 0) {
    Message("The selected exclude directory is not in backup volume.\nPlease select a valid exclude directory.");
  } else {
    ::SendMessageW(Item(IDC_BK3_EXCLUDE_LIST), LB_ADDSTRING, 0, (LPARAM)ToWideText(m_folder).c_str());
  }
  m_folder.Empty();
  SetDlgItemText(IDC_BK3_FOLDER, "");
}

void CBackupWizardOptionPage::OnRemove() {
  HWND list = Item(IDC_BK3_EXCLUDE_LIST);
  int sel = (int)::SendMessageW(list, LB_GETCURSEL, 0, 0);
  if (sel < 0) {
    Message(
        "Exclude directory is not selected.\nPlease seelct an exclude directory to remove from list and "
        "then try again.");
    return;
  }
  if ((Message("Are you sure you want to remove a selected directory from list?", MB_YESNO) & 0xFFFF) != IDYES) return;
  ::SendMessageW(list, LB_DELETESTRING, sel, 0);
  int n = (int)::SendMessageW(list, LB_GETCOUNT, 0, 0);
  if (n > 0) ::SendMessageW(list, LB_SETCURSEL, sel < n ? sel : n - 1, 0);
}

void CBackupWizardOptionPage::OnHourChanged() {
  CString text;
  GetDlgItemText(IDC_BK3_HOUR, text);
  if (ReadTimeNumber((const char*)text) > 23) {
    Message("Please enter 2 digit hour number from 00 to 23.");
    SetDlgItemText(IDC_BK3_HOUR, "00");
  }
}

void CBackupWizardOptionPage::OnMinuteChanged() {
  CString text;
  GetDlgItemText(IDC_BK3_MINUTE, text);
  if (ReadTimeNumber((const char*)text) > 59) {
    Message("Please enter 2 digit minute number from 00 to 59.");
    SetDlgItemText(IDC_BK3_MINUTE, "00");
  }
}

// --- summary page ----------------------------------------------------------------

CBackupWizardSummaryPage::CBackupWizardSummaryPage() : CBackupWizardPage(IDD_BK4_SUMMARY, "Summary") {
  m_psp.dwFlags &= ~PSP_HASHELP;
}

void CBackupWizardSummaryPage::DoDataExchange(CDataExchange* dx) {
  CBackupWizardPage::DoDataExchange(dx);
  DDX_Text(dx, IDC_BK4_TEXT, m_summary);
}

BOOL CBackupWizardSummaryPage::OnInitDialog() {
  CBackupWizardPage::OnInitDialog();
  InitPage();
  SetWindowText("Summary");
  WizardWorkingState& st = WizardState();
  int n = st.wizardRecordCount;
  if (n < 0) n = 0;
  if (n > kWizardMaxRecords) n = kWizardMaxRecords;
  m_finishedCount = n;
  for (int i = 0; i < n; ++i) {
    JobRecord r = st.WizardRecordList[i];
    FinishWizardRecord(r);
    m_records[i] = r;
  }
  m_summary = WizardSummaryText(m_records, n).c_str();
  UpdateData(FALSE);
  return TRUE;
}

BOOL CBackupWizardSummaryPage::OnSetActive() {
  if (m_sheet) m_sheet->SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
  OnInitDialog();
  return CBackupWizardPage::OnSetActive();
}

BOOL CBackupWizardSummaryPage::OnWizardFinish() {
  for (int i = 0; i < m_finishedCount; ++i) {
    std::string why;
    if (!service::ValidateJobRecord(m_records[i], why)) {
      CString text;
      text.Format("The backup job \"%s\" cannot be defined (%s).\nPlease check it and then try again.",
                  std::string(JobName(m_records[i])).c_str(), why.c_str());
      Message(text);
      return FALSE;
    }
  }
  return TRUE;
}

// --- the sheet -------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CBackupWizard, CPropertySheet)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CBackupWizard::CBackupWizard(const char* caption, const BackupWizardInputs& inputs, CWnd* parent)
    : CPropertySheet(caption, parent), m_inputs(inputs) {
  for (CBackupWizardPage* page : std::initializer_list<CBackupWizardPage*>{&m_page1, &m_page2, &m_page3, &m_page4}) {
    page->m_inputs = &m_inputs;
    AddPage(page);
  }
  m_psh.dwFlags |= PSH_NOAPPLYNOW;
  m_psh.dwFlags &= ~PSH_HASHELP;
  SetWizardMode();
}

CBackupWizard::~CBackupWizard() = default;

void CBackupWizard::SetModifyRecord(const JobRecord& entry) {
  m_page1.m_modifyRecord = entry;
  m_page1.m_modifyFlag = 1;
}

std::vector<JobRecord> CBackupWizard::FinishedRecords() const {
  if (m_result != ID_WIZFINISH) return {};
  return std::vector<JobRecord>(m_page4.m_records, m_page4.m_records + m_page4.m_finishedCount);
}

BOOL CBackupWizard::OnInitDialog() {
  CPropertySheet::OnInitDialog();
  if (!m_brush.m_hObject) m_brush.CreateSolidBrush(kBackground);
  SetDlgItemText(IDCANCEL, "Cancel");
  SetDlgItemText(ID_WIZBACK, "Back");
  SetDlgItemText(ID_WIZNEXT, "Next");
  SetDlgItemText(ID_WIZFINISH, "Finish");
  return TRUE;
}

HBRUSH CBackupWizard::OnCtlColor(CDC* dc, CWnd*, UINT kind) {
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  return m_brush;
}

}  // namespace orva::manager
