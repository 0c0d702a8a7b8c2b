#include "one_click_dlg.h"

#include <shlobj.h>

#include "backup_dialog_host.h"
#include "backup_dialog_util.h"
#include "backup_job_logic.h"
#include "contracts/job_record_check.h"
#include "message_box.h"
#include "one_click_dlg_ids.h"

namespace orva::manager {

using orva::service::FieldText;

namespace {

bool BrowseForFolder(CWnd* parent, std::string& folder) {
  BROWSEINFOA info{};
  info.hwndOwner = parent ? parent->m_hWnd : nullptr;
  info.lpszTitle = "Select a directory to backup";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
  if (!list) return false;
  char path[MAX_PATH] = {};
  bool ok = SHGetPathFromIDListA(list, path) != FALSE;
  CoTaskMemFree(list);
  if (ok) folder = path;
  return ok;
}

}  // namespace

BEGIN_MESSAGE_MAP(COneClickDlg, CFixSkinDialog)
ON_BN_CLICKED(IDOK, OnStart)
ON_CBN_SELCHANGE(IDC_ONECLICK_DRIVES, OnDriveChange)
ON_BN_CLICKED(IDC_ONECLICK_BROWSE, OnBrowse)
ON_EN_CHANGE(IDC_ONECLICK_PATH, OnPathChange)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

COneClickDlg::COneClickDlg(CWnd* parent)
    : CFixSkinDialog(IDD_ONECLICK_SUMMARY, parent),
      fixedDrives(backup::FixedDrives),
      driveSpace(backup::DriveSpaceText),
      chooseFolder(BrowseForFolder) {}

void COneClickDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_ONECLICK_DRIVES, m_driveList);
  DDX_Control(dx, IDC_ONECLICK_SUMMARY, m_summary);
  DDX_Control(dx, IDC_ONECLICK_BROWSE, m_browse);
  DDX_Control(dx, IDOK, m_start);
  DDX_Control(dx, IDCANCEL, m_cancel);
  DDX_Text(dx, IDC_ONECLICK_PATH, m_backupPath);
}

std::string COneClickDlg::GetDriveSpaceText(const std::string& drive, int selector) const {
  if (selector != 0 && selector != 1) return "";
  return driveSpace ? driveSpace(drive, selector) : "";
}

BOOL COneClickDlg::OnInitDialog() {
  m_filling = true;
  CFixSkinDialog::OnInitDialog();
  m_brush.CreateSolidBrush(0xFEFFFF);
  if (m_messageParams) {
    m_messageParams->options |= SMB_OPT_MODERN;
    m_messageParams->iconId = kManagerIconId;
  }

  backup::SkinButton(m_browse, 20, 8, 0, 5);
  backup::SkinButton(m_start, 20, 2, 0, 5);
  backup::SkinButton(m_cancel, 20, 12, 0, 5);

  SetDlgItemText(IDC_ONECLICK_DRIVE_LABEL, "Backup Drive(Used size/Total size)");
  SetDlgItemText(IDC_ONECLICK_PATH_LABEL, "Backup Path");
  m_browse.SetWindowText("Browse");
  m_start.SetWindowText("Start");
  m_cancel.SetWindowText("Cancel");
  SetWindowText("Summary Information");

  FillDriveList("C:");
  CString space;
  space.Format("%s/%s", GetDriveSpaceText("C:", 0).c_str(), GetDriveSpaceText("C:", 1).c_str());
  SetDlgItemText(IDC_ONECLICK_SPACE, space);

  m_backupPath = std::string(FieldText(m_job.imagePath)).c_str();

  m_rowIcons.Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 5);
  HINSTANCE res = FwGetResourceHandle();
  const UINT icons[] = {IDI_ONECLICK_ROW, IDI_ONECLICK_ROW, IDI_ONECLICK_ROW, IDI_ONECLICK_SCHEDULE, IDI_ONECLICK_PATH};
  for (UINT id : icons) {
    HICON icon = (HICON)LoadImageW(res, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    m_rowIcons.Add(icon);
    if (icon) DestroyIcon(icon);
  }
  backup::SetUpReportList(m_summary, 0xF0F0F0);
  m_summary.InsertColumn(0, "Information", LVCFMT_LEFT, 100);
  m_summary.InsertColumn(1, "Message", LVCFMT_LEFT, 100);
  m_summary.SetImageList(&m_rowIcons, LVSIL_NORMAL);
  backup::FitColumns(m_summary, {30});
  m_summary.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

  FillSummary();
  UpdateData(FALSE);
  m_filling = false;
  return TRUE;
}

void COneClickDlg::FillDriveList(const char* drive) {
  m_driveList.ResetContent();
  if (fixedDrives)
    for (const std::string& d : fixedDrives()) m_driveList.AddString(d.c_str());
  int found = -1;
  for (int i = 0; i < m_driveList.GetCount() && found < 0; ++i)
    if (m_driveList.GetLBText(i) == drive) found = i;
  m_driveList.SetCurSel(found >= 0 ? found : 0);
}

void COneClickDlg::FillSummary() {
  m_summary.DeleteAllItems();
  const char* type = m_job.jobType == 300 ? "FULL BACKUP" : m_job.jobType == 301 ? "UPDATE BACKUP" : "";
  backup::AddRow(m_summary, 0, "Task Type ", type);
  backup::AddRow(m_summary, 2, "Compression Level ", backup::CompressionText(m_job.compressionLevel));
  backup::AddRow(m_summary, 3, "Schedule ", "Once");
  backup::AddRow(m_summary, 4, "Backup Path ", m_backupPath.GetString());
}

CString COneClickDlg::SelectedDrive() const {
  int sel = m_driveList.GetCurSel();
  return sel >= 0 ? m_driveList.GetLBText(sel) : CString();
}

void COneClickDlg::OnDriveChange() {
  CString drive = SelectedDrive();
  if (drive.IsEmpty()) return;
  CString space;
  space.Format("%s/%s", GetDriveSpaceText(drive.GetString(), 0).c_str(),
               GetDriveSpaceText(drive.GetString(), 1).c_str());
  SetDlgItemText(IDC_ONECLICK_SPACE, space);
  m_backupPath = backup::PathForDrive(std::string(FieldText(m_job.imagePath)), drive[0]).c_str();
  m_filling = true;
  UpdateData(FALSE);
  m_filling = false;
  FillSummary();
}

void COneClickDlg::OnBrowse() {
  UpdateData(TRUE);
  std::string folder;
  if (!chooseFolder || !chooseFolder(this, folder)) return;
  m_backupPath = backup::PathInFolder(folder, m_backupPath.GetString()).c_str();
  FillSummary();
  m_filling = true;
  UpdateData(FALSE);
  m_filling = false;
}

void COneClickDlg::OnPathChange() {
  if (m_filling) return;
  UpdateData(TRUE);
  FillSummary();
}

void COneClickDlg::OnStart() {
  UpdateData(TRUE);
  CString drive = SelectedDrive();
  if (!drive.IsEmpty()) {
    std::string why =
        backup::ApplyBackupPath(m_job, drive[0], GetDriveSpaceText(drive.GetString(), 0), m_backupPath.GetString());
    if (!why.empty()) {
      SkinMessageBox(this, why.c_str(), "Orvanta", MB_OK, m_messageParams);
      return;
    }
  }
  EndDialog(IDOK);
}

HBRUSH COneClickDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  CFixSkinDialog::OnCtlColor(dc, wnd, kind);
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  return (HBRUSH)m_brush.m_hObject;
}

}  // namespace orva::manager
