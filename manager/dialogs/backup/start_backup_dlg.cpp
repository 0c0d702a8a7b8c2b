#include "start_backup_dlg.h"

#include "backup_dialog_util.h"
#include "backup_job_logic.h"
#include "contracts/job_record_check.h"
#include "message_box.h"
#include "one_click_dlg.h"
#include "start_backup_dlg_ids.h"

namespace orva::manager {

using orva::service::JobRecord;

BEGIN_MESSAGE_MAP(CStartBackupDlg, CFixSkinDialog)
ON_BN_CLICKED(IDC_START_ONECLICK, OnOneClick)
ON_BN_CLICKED(IDC_START_ADVANCED, OnAdvanced)
END_MESSAGE_MAP()

CStartBackupDlg::CStartBackupDlg(CWnd* parent, const BackupDialogHost& host)
    : CFixSkinDialog(IDD_START_BACKUP, parent),
      driveUsedSpace([](const std::string& drive) { return backup::DriveSpaceText(drive, 0); }),
      m_host(host) {}

void CStartBackupDlg::DoDataExchange(CDataExchange* dx) {
  CFixSkinDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_START_ONECLICK, m_oneClick);
  DDX_Control(dx, IDC_START_ADVANCED, m_advanced);
}

BOOL CStartBackupDlg::OnInitDialog() {
  CFixSkinDialog::OnInitDialog();
  if (m_host.messageParams) {
    m_host.messageParams->options |= SMB_OPT_MODERN;
    m_host.messageParams->iconId = kManagerIconId;
  }
  backup::SkinButton(m_oneClick, 23, 14, 2, 30);
  backup::SkinButton(m_advanced, 24, 15, 2, 30);
  SetWindowText("Select Backup");
  m_oneClick.SetWindowText("One-click Backup");
  m_advanced.SetWindowText("Advanced Backup");
  return TRUE;
}

std::string CStartBackupDlg::GetDriveUsedSpace(const std::string& drive) const {
  return driveUsedSpace ? driveUsedSpace(drive) : "";
}

void CStartBackupDlg::OnOneClick() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string name =
      backup::OneClickJobName(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  std::string folder = m_host.defaultRepository ? m_host.defaultRepository() : "";
  if (folder.empty() && m_host.repositoryList) {
    // No fixed disk had room: the first configured repository instead.
    std::vector<std::string> configured = backup::SplitRepositoryList(m_host.repositoryList());
    if (!configured.empty()) folder = configured.front();
  }
  JobRecord job = backup::OneClickRecord(name, GetDriveUsedSpace("C:"), folder);

  COneClickDlg confirm(this);
  confirm.m_job = job;
  confirm.m_messageParams = m_host.messageParams;
  if (prepareOneClick) prepareOneClick(confirm);
  if (confirm.DoModal() == IDOK) {
    job = confirm.m_job;
    if (!m_host.sender || !m_host.sender->Send(job)) return;
  }
  m_lastJobName = name.c_str();
  EndDialog(IDOK);
}

void CStartBackupDlg::OnAdvanced() {
  for (;;) {
    std::string list = m_host.repositoryList ? m_host.repositoryList() : "";
    if (!list.empty()) break;
    int answer = SkinMessageBox(this,
                                "Image repository does not exist. Please assign an image repository from "
                                "option, Are you sure to try again?",
                                "Orvanta", MB_YESNO, m_host.messageParams);
    if ((answer & 0xFFFF) != IDYES) return;
    if (m_host.runOptionCommand) m_host.runOptionCommand(this);
  }

  // WMI writes "Windows 7" and "Vista" in mixed case: compare upper-cased.
  CString os = m_osName;
  os.MakeUpper();
  bool olderSystem = os.Find("XP") >= 0 || os.Find("VISTA") >= 0 || os.Find("WINDOWS 7") >= 0;
  if (olderSystem && m_host.jobs && !m_host.jobs().empty()) {
    int answer = SkinMessageBox(this,
                                "Notice!\nBackup job is detected.\nBackup jobs cannot be run concurrently.\n"
                                "Backup job cannot start while another backup job is still running.\n"
                                "Are you sure to continue?",
                                "Orvanta", MB_YESNO, m_host.messageParams);
    if ((answer & 0xFFFF) != IDYES) return;
  }

  std::optional<std::vector<JobRecord>> finished;
  if (m_host.runWizard) finished = m_host.runWizard(this);
  if (finished) {
    const size_t n = finished->size() < 10 ? finished->size() : 10;
    m_lastJobName = n ? std::string(orva::service::JobName((*finished)[0])).c_str() : "";
    for (size_t i = 0; i < n; ++i)
      if (!m_host.sender || !m_host.sender->Send((*finished)[i])) return;
  }
  EndDialog(IDOK);
}

}  // namespace orva::manager
