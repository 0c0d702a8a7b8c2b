// The replication set dialog: defines a new replication set (ADDJOB) or
// edits one (MODIFYJOB) and leaves the record for the caller to send.
//
//   CReplicationSetDlg dlg(this, &boxParams, &jobTable);   // add
//   CReplicationSetDlg dlg(this, &boxParams, &jobTable, &entry);   // edit a copy of a table entry
//   if (dlg.DoModal() == IDOK) SendJobRecord(socket, dlg.Result(), prompts);
#pragma once
#include "core/manager_job_table.h"
#include "fw_combo_box.h"
#include "replication_set_rules.h"
#include "sets_dialog_common.h"
#include "skin_button.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class CReplicationSetDlg : public CFixSkinDialog {
 public:
  // `boxParams` is the program's shared message-box settings (a private
  // copy when null); `jobTable` answers whether a new name is taken;
  // `editRecord` (copied) makes it edit that set.
  CReplicationSetDlg(CWnd* parent, MessageBoxParams* boxParams, const ManagerJobTable* jobTable,
                     const service::JobRecord* editRecord = nullptr);

  // IDOK: the finished record, valid for the service.
  const service::JobRecord& Result() const { return m_result; }
  // The folders a target may not touch (the Windows folder and the
  // program's own folder unless set before the modal run).
  ReplicationGuards m_guards;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

 protected:
  // The folder picker; tests replace it.
  virtual bool PickFolder(const char* title, UINT flags, CString& path);
  int ShowMessage(const char* text, UINT style = MB_OK);

  void OnBrowseSource();
  void OnBrowseTarget();
  void OnSyncOK();
  void OnSyncCancel();
  void OnKindClicked();
  void OnHourChange();
  void OnMinuteChange();
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void EnableByKind();
  ReplicationSetForm ReadForm();

  CBrush m_background;
  CString m_source, m_target;
  int m_shadow = 0;
  int m_kind = kOnce;
  int m_editMode = 0;
  service::JobRecord m_editRecord{};
  CComboBox m_day;
  int m_weekdays[7] = {};
  service::JobRecord m_result{};
  CString m_name;
  CSkinButton m_browseSource, m_browseTarget, m_ok, m_cancel;
  CString m_hour = "00", m_minute = "00";
  CStatic m_banner;
  CBitmap m_bannerBitmap;

  MessageBoxParams m_ownBoxParams;
  MessageBoxParams* m_boxParams;
  const ManagerJobTable* m_jobTable;

  DECLARE_MESSAGE_MAP()
};

// The Windows folder and the folder of this program.
ReplicationGuards DefaultReplicationGuards();

}  // namespace orva::manager
