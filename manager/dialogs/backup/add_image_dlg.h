// "Use an existing backup": registers a full TAV image found in a
// repository (with its increments) as a job of the service.
//
//   CAddImageDlg dlg(this, host);        // host: repositoryList, jobs, messageParams
//   if (dlg.DoModal() == IDOK) sender.Send(dlg.m_record);
#pragma once
#include <string>
#include <vector>

#include "backup_dialog_host.h"
#include "contracts/job_record.h"
#include "fw_combo_box.h"
#include "report_list.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

// The full images below `folder`, in the order the search met them: files
// ending ".TAV" (any case) whose header reads whole and says kind 0. A file
// that does not open or read is left out; the search goes on.
std::vector<std::string> FindFullImages(const std::string& folder);

class CAddImageDlg : public CFixSkinDialog {
 public:
  // The record for the caller after IDOK (an ADDJOB, run state 2).
  orva::service::JobRecord m_record{};

  CAddImageDlg(CWnd* parent, const orva::manager::BackupDialogHost& host);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void FillFileList();
  void ShowDetails();

  CComboBox m_repositories;
  CReportListCtrl m_files;
  CReportListCtrl m_details;

 protected:
  void OnRepositoryChange() { FillFileList(); }
  void OnFileChanged(NMHDR* nm, LRESULT* result);
  void OnOK() override;
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  CString SelectedPath() const;
  void Tell(const char* text);

  const orva::manager::BackupDialogHost& m_host;
  CImageList m_icons;
  CBrush m_brush;
  CSkinButton m_ok, m_cancel;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
