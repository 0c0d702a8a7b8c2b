#include "replication_set_dlg.h"

#include <shlobj.h>

#include <cstring>

#include "contracts/job_record_check.h"
#include "replication_set_dlg_ids.h"
#include "skin_cache.h"

namespace orva::manager {

ReplicationGuards DefaultReplicationGuards() {
  ReplicationGuards guards;
  char path[MAX_PATH] = {};
  if (UINT n = GetWindowsDirectoryA(path, MAX_PATH); n > 0 && n < MAX_PATH) guards.windowsFolder = path;
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    if (char* slash = std::strrchr(path, '\\')) *slash = 0;
    guards.serviceFolder = path;
  }
  return guards;
}

BEGIN_MESSAGE_MAP(CReplicationSetDlg, CFixSkinDialog)
ON_BN_CLICKED(IDC_SYNC_BROWSE_SOURCE, OnBrowseSource)
ON_BN_CLICKED(IDC_SYNC_BROWSE_TARGET, OnBrowseTarget)
ON_BN_CLICKED(IDC_SYNC_OK, OnSyncOK)
ON_BN_CLICKED(IDC_SYNC_CANCEL, OnSyncCancel)
ON_BN_CLICKED(IDC_SYNC_ONCE, OnKindClicked)
ON_BN_CLICKED(IDC_SYNC_DAILY, OnKindClicked)
ON_BN_CLICKED(IDC_SYNC_WEEKLY, OnKindClicked)
ON_BN_CLICKED(IDC_SYNC_MONTHLY, OnKindClicked)
ON_EN_CHANGE(IDC_SYNC_HOUR, OnHourChange)
ON_EN_CHANGE(IDC_SYNC_MINUTE, OnMinuteChange)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CReplicationSetDlg::CReplicationSetDlg(CWnd* parent, MessageBoxParams* boxParams, const ManagerJobTable* jobTable,
                                       const service::JobRecord* editRecord)
    : CFixSkinDialog(IDD_SYNC_DIALOG, parent),
      m_guards(DefaultReplicationGuards()),
      m_boxParams(boxParams ? boxParams : &m_ownBoxParams),
      m_jobTable(jobTable) {
  if (editRecord) {
    m_editMode = 1;
    m_editRecord = *editRecord;
  }
}

void CReplicationSetDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Text(dx, IDC_SYNC_SOURCE, m_source);
  DDX_Text(dx, IDC_SYNC_TARGET, m_target);
  DDX_Check(dx, IDC_SYNC_SHADOW, m_shadow);
  DDX_Radio(dx, IDC_SYNC_ONCE, m_kind);
  DDX_Control(dx, IDC_SYNC_DAY, m_day);
  for (int i = 0; i < 7; ++i) DDX_Check(dx, IDC_SYNC_MONDAY + i, m_weekdays[i]);
  DDX_Text(dx, IDC_SYNC_NAME, m_name);
  DDX_Control(dx, IDC_SYNC_BROWSE_SOURCE, m_browseSource);
  DDX_Control(dx, IDC_SYNC_BROWSE_TARGET, m_browseTarget);
  DDX_Control(dx, IDC_SYNC_OK, m_ok);
  DDX_Control(dx, IDC_SYNC_CANCEL, m_cancel);
  DDX_Text(dx, IDC_SYNC_HOUR, m_hour);
  DDX_Text(dx, IDC_SYNC_MINUTE, m_minute);
  DDX_Control(dx, IDC_SYNC_BANNER, m_banner);
}

BOOL CReplicationSetDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  m_boxParams->options |= SMB_OPT_MODERN;
  m_boxParams->iconId = kManagerIconId;
  m_background.CreateSolidBrush(kDialogBackground);
  SkinPushButton(m_browseSource, 8);
  SkinPushButton(m_browseTarget, 8);
  SkinPushButton(m_ok, 11);
  SkinPushButton(m_cancel, 12);
  if (m_bannerBitmap.LoadBitmap(IDB_SYNC_BANNER)) m_banner.SetBitmap(m_bannerBitmap);

  SetWindowText("Add Replication Job");
  static const struct {
    int id;
    const char* text;
  } kTexts[] = {
      {IDC_SYNC_CONFIG_GROUP, "Replication Configuration"},
      {IDC_SYNC_NAME_LABEL, "Replication Set"},
      {IDC_SYNC_SOURCE_LABEL, "Source Folder"},
      {IDC_SYNC_TARGET_LABEL, "Target Folder"},
      {IDC_SYNC_SHADOW_GROUP, "Shadow Option"},
      {IDC_SYNC_SCHEDULE_GROUP, "Schedule Option"},
      {IDC_SYNC_SHADOW, "Use shadow module"},
      {IDC_SYNC_ONCE, "Once"},
      {IDC_SYNC_DAILY, "Daily"},
      {IDC_SYNC_WEEKLY, "Weekly"},
      {IDC_SYNC_MONTHLY, "Monthly"},
      {IDC_SYNC_TIME_LABEL, "Time"},
      {IDC_SYNC_WEEK_LABEL, "Week"},
      {IDC_SYNC_DAY_LABEL, "Day"},
      {1021, "Mon "},
      {1022, "Tue "},
      {1023, "Wed "},
      {1024, "Thu "},
      {1025, "Fri "},
      {1026, "Sat "},
      {1027, "Sun "},
      {IDC_SYNC_BROWSE_SOURCE, "Browse"},
      {IDC_SYNC_BROWSE_TARGET, "Browse"},
      {IDC_SYNC_OK, "OK"},
      {IDC_SYNC_CANCEL, "Cancel"},
  };
  for (const auto& t : kTexts) SetDlgItemText(t.id, t.text);
  ::SendDlgItemMessageW(m_hWnd, IDC_SYNC_HOUR, EM_LIMITTEXT, 2, 0);
  ::SendDlgItemMessageW(m_hWnd, IDC_SYNC_MINUTE, EM_LIMITTEXT, 2, 0);
  ::SendDlgItemMessageW(m_hWnd, IDC_SYNC_NAME, EM_LIMITTEXT, sizeof(service::JobRecord::jobName) - 1, 0);

  GetDlgItem(IDC_SYNC_SHADOW)->EnableWindow(FALSE);
  GetDlgItem(IDC_SYNC_SHADOW_GROUP)->EnableWindow(FALSE);
  m_day.ResetContent();
  for (size_t day = 1; day <= kDaysOffered; ++day) {
    CString text;
    text.Format("%d", (int)day);
    m_day.AddString(text);
  }
  m_day.SetCurSel(0);

  if (m_editMode) {
    const ReplicationSetForm form = FormFromRecord(m_editRecord);
    m_name = form.name.c_str();
    GetDlgItem(IDC_SYNC_NAME)->EnableWindow(FALSE);
    m_source = form.source.c_str();
    m_target = form.target.c_str();
    m_shadow = form.shadow ? 1 : 0;
    m_kind = form.kind;
    if (form.kind != kOnce) {
      m_hour = form.hour.c_str();
      m_minute = form.minute.c_str();
    }
    for (int i = 0; i < 7; ++i) m_weekdays[i] = form.weekdays[i] ? 1 : 0;
    if (!form.dayText.empty()) m_day.SetCurSel(m_day.FindStringExact(-1, form.dayText.c_str()));
  }
  UpdateData(FALSE);
  EnableByKind();
  return TRUE;
}

void CReplicationSetDlg::EnableByKind() {
  const bool time = m_kind != kOnce, week = m_kind == kWeekly, day = m_kind == kMonthly;
  for (int id : {IDC_SYNC_DAY_LABEL, IDC_SYNC_DAY}) GetDlgItem(id)->EnableWindow(day);
  GetDlgItem(IDC_SYNC_WEEK_LABEL)->EnableWindow(week);
  for (int id = IDC_SYNC_MONDAY; id <= IDC_SYNC_SUNDAY; ++id) GetDlgItem(id)->EnableWindow(week);
  for (int id : {IDC_SYNC_TIME_LABEL, IDC_SYNC_COLON, IDC_SYNC_24HOUR, IDC_SYNC_HOUR, IDC_SYNC_MINUTE})
    GetDlgItem(id)->EnableWindow(time);
}

void CReplicationSetDlg::OnKindClicked() {
  UpdateData(TRUE);
  EnableByKind();
}

int CReplicationSetDlg::ShowMessage(const char* text, UINT style) {
  return SkinMessageBox(this, text, kBoxCaption, style, m_boxParams);
}

bool CReplicationSetDlg::PickFolder(const char* title, UINT flags, CString& path) {
  return BrowseForFolder(this, title, flags, path);
}

void CReplicationSetDlg::OnBrowseSource() {
  CString path;
  if (!PickFolder("Select a source folder", BIF_RETURNONLYFSDIRS, path)) return;
  UpdateData(TRUE);
  m_source = path;
  UpdateData(FALSE);
}

void CReplicationSetDlg::OnBrowseTarget() {
  CString path;
  if (!PickFolder("Select a target folder", BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE, path)) return;
  UpdateData(TRUE);
  m_target = path;
  UpdateData(FALSE);
}

void CReplicationSetDlg::OnHourChange() {
  CString text;
  GetDlgItemText(IDC_SYNC_HOUR, text);
  if (TimePartValid(text.str(), 23)) return;
  ShowMessage(kHourMessage);
  SetDlgItemText(IDC_SYNC_HOUR, "00");
}

void CReplicationSetDlg::OnMinuteChange() {
  CString text;
  GetDlgItemText(IDC_SYNC_MINUTE, text);
  if (TimePartValid(text.str(), 59)) return;
  ShowMessage(kMinuteMessage);
  SetDlgItemText(IDC_SYNC_MINUTE, "00");
}

ReplicationSetForm CReplicationSetDlg::ReadForm() {
  UpdateData(TRUE);
  ReplicationSetForm form;
  form.name = m_name.str();
  form.source = m_source.str();
  form.target = m_target.str();
  form.shadow = m_shadow != 0;
  form.kind = m_kind;
  form.hour = m_hour.str();
  form.minute = m_minute.str();
  for (int i = 0; i < 7; ++i) form.weekdays[i] = m_weekdays[i] != 0;
  if (int sel = m_day.GetCurSel(); sel >= 0) {
    CString day;
    m_day.GetLBText(sel, day);
    form.dayText = day.str();
  }
  return form;
}

void CReplicationSetDlg::OnSyncOK() {
  const ReplicationSetForm form = ReadForm();
  auto taken = [this](std::string_view name) { return m_jobTable && m_jobTable->Find(name).has_value(); };
  service::JobRecord record;
  const std::string problem = BuildReplicationRecord(form, m_editMode != 0, taken, m_guards, record);
  if (!problem.empty()) {
    ShowMessage(problem.c_str());
    return;
  }
  m_result = record;
  EndDialog(IDOK);
}

void CReplicationSetDlg::OnSyncCancel() { EndDialog(IDCANCEL); }

HBRUSH CReplicationSetDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CFixSkinDialog::OnCtlColor(dc, wnd, kind);
  if (kind == CTLCOLOR_EDIT || kind == CTLCOLOR_LISTBOX) return (HBRUSH)GetStockObject(WHITE_BRUSH);
  return DialogCtlColor(dc, wnd, kind, m_background);
}

}  // namespace orva::manager
