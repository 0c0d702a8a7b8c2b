// "Summary Information": confirms the one-click full backup, letting the
// user pick the drive and the image path.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "contracts/job_record.h"
#include "fw_combo_box.h"
#include "message_box.h"
#include "report_list.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class COneClickDlg : public CFixSkinDialog {
 public:
  explicit COneClickDlg(CWnd* parent = nullptr);

  // Filled by the caller before DoModal, read back after IDOK.
  orva::service::JobRecord m_job{};
  MessageBoxParams* m_messageParams = nullptr;

  // The system's calls, replaceable: the fixed drives, a drive's space
  // text (selector 0 used, 1 total) and the choice of a folder (false when
  // cancelled).
  std::function<std::vector<std::string>()> fixedDrives;
  std::function<std::string(const std::string& drive, int selector)> driveSpace;
  std::function<bool(CWnd* parent, std::string& folder)> chooseFolder;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void FillDriveList(const char* drive);
  void FillSummary();
  std::string GetDriveSpaceText(const std::string& drive, int selector) const;

  CComboBox m_driveList;
  CString m_backupPath;
  CReportListCtrl m_summary;

 protected:
  void OnStart();
  void OnDriveChange();
  void OnBrowse();
  void OnPathChange();
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  CString SelectedDrive() const;

  CBrush m_brush;
  CImageList m_rowIcons;
  CSkinButton m_browse, m_start, m_cancel;
  bool m_filling = false;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
