// "Select Backup": one-click backup of drive C: or the backup wizard.
//
//   CStartBackupDlg dlg(this, host);     // host: BackupDialogHost, all set
//   dlg.m_osName = osCaption;
//   dlg.DoModal();                        // IDOK once a choice ran; records already sent
#pragma once
#include <functional>
#include <string>

#include "backup_dialog_host.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class COneClickDlg;

class CStartBackupDlg : public CFixSkinDialog {
 public:
  CStartBackupDlg(CWnd* parent, const orva::manager::BackupDialogHost& host);

  // Set by the caller before DoModal: the WMI caption of the system, a
  // blank and "[64bit]" or "[32bit]".
  CString m_osName;
  // The name of the job just defined.
  CString m_lastJobName;

  // The used space of a drive ("C:"); replaceable.
  std::function<std::string(const std::string& drive)> driveUsedSpace;
  // Called with the one-click dialog before it runs, so that a caller can
  // set it up further.
  std::function<void(COneClickDlg&)> prepareOneClick;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  std::string GetDriveUsedSpace(const std::string& drive) const;

 protected:
  void OnOneClick();
  void OnAdvanced();

  const orva::manager::BackupDialogHost& m_host;
  CSkinButton m_oneClick, m_advanced;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
