// The manager's main window: the job tree, the details, history and
// running-job panes, the menus, the refresh timers, and the job status views
// fed by the service connection.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core/job_view_text.h"
#include "core/manager_job_table.h"
#include "contracts/options_file.h"
#include "fw_menu.h"
#include "report_list.h"
#include "skin_button.h"
#include "skin_dialog.h"
#include "win/service_connection.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class COrvaManagerDlg : public CSkinDialog {
 public:
  explicit COrvaManagerDlg(CWnd* parent = nullptr);
  ~COrvaManagerDlg() override;

  // Job status views; run on the dialog's thread (the receiving thread
  // sends them here).
  void RefreshJobTree(int reason);
  void UpdateBackupStatusRow(const orva::manager::JobRecord& status);
  void UpdateReplicationStatusRow(const orva::manager::JobRecord& status);

  // The connection's prompts, shown through the manager's message box.
  orva::manager::ConnectionPrompts Prompts();

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;

  void ApplySkinAndCaptions();
  void SetupMenuImages();
  void SetupList(CReportListCtrl& list, const char* const* columns, int count);
  void FitLists();
  void FitList(CReportListCtrl& list, const std::vector<int>& percents);
  void ApplyLayout();
  void LoadHistoryPane(const std::string& jobName, int mode);
  void ShowDetails(const std::string& name, int mode);  // details_pane.cpp
  void ShowSelection(const std::string& name, bool isRoot);
  void ClearFinishedRows();

  // Tree helpers.
  HWND Tree() const { return ::GetDlgItem(m_hWnd, 1006); }
  std::string ItemText(HTREEITEM item) const;
  int ItemImage(HTREEITEM item) const;
  void SetItemImage(HTREEITEM item, int image);
  HTREEITEM InsertItem(const std::string& text, int image, HTREEITEM parent);
  void InsertJob(const orva::manager::JobRecord& job);
  HTREEITEM FindItem(HTREEITEM from, const std::string& text) const;  // depth-first
  void SetJobImage(const std::string& name, int image, bool firstOnly);
  int FindRow(const std::string& name, int from = 0) const;
  // ADDJOB and MODIFYJOB records are checked as the service checks them
  // first; a refusal is shown and nothing is sent.
  bool SendRecord(const orva::manager::JobRecord& record);
  bool CheckBeforeSending(const orva::manager::JobRecord& record);
  // A run asked for that the service never answered leaves the running display.
  void EndUnansweredRun(const std::string& name);

  // Message handlers.
  LRESULT OnJobView(WPARAM kind, LPARAM record);
  void OnSize(UINT type, int cx, int cy);
  void OnSizing(UINT edge, LPRECT rect);
  void OnTimer(UINT_PTR id);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnContextMenu(CWnd* wnd, CPoint point);
  void OnMeasureItem(int id, LPMEASUREITEMSTRUCT mis);
  void OnDrawItem(int id, LPDRAWITEMSTRUCT dis);
  void OnInitMenuPopup(CMenu* menu, UINT index, BOOL sysMenu);
  LRESULT OnMenuChar(UINT ch, UINT flags, CMenu* menu);
  void OnTreeSelChanged(NMHDR* nm, LRESULT* result);
  void OnActiveItemChanged(NMHDR* nm, LRESULT* result);
  void OnActiveListRightClick(NMHDR* nm, LRESULT* result);
  void OnDetailsDblClk(NMHDR* nm, LRESULT* result);
  void OnAutoRefresh();
  void OnRefreshSecondsChange();
  void OnJobRun();
  void OnActiveJobCancel();
  void OnActiveClear();
  void OnExit();
  void OnRecovery();
  void OnCommandPrompt();
  // Job commands.
  void OnJobDeleteHistory();
  void OnJobModify();
  void OnJobRemoveFromDisk();
  void OnReplicationRemoveFromDisk();
  void OnJobDeleteFromInventory();
  void OnAddSync();
  void OnReplicate() { OnAddSync(); }
  void OnBackup();
  void OnOption();
  void OnAbout();
  void OnSelectFromRepository();
  void OnLog();

  // The job command's entry for the selected tree item: the table is walked
  // from the start for the item's name; an entry whose item shows one of
  // `blocked` images is refused with the message for a running backup (2) or
  // replication (5), or passed over (7). Copied under the table's lock.
  struct JobSearch {
    HTREEITEM item = nullptr;
    std::optional<orva::manager::JobRecord> entry;
    bool refused = false;
  };
  JobSearch FindSelectedJob(const std::vector<int>& blocked, const char* backupRunning, const char* replicationRunning);
  JobSearch FindJobToRemoveFromDisk(const std::vector<int>& blocked);
  // Sends the DELETEJOB of a removed job; on success its history lines and
  // its tree item go.
  void SendJobRemoval(HTREEITEM item, orva::manager::JobRecord entry);
  // Deletes a replication set's target folder unless the service would refuse it
  // as a target; false when the folder was kept (the user has been told).
  bool RemoveReplicationTarget(const orva::manager::JobRecord& entry);
  void RemoveTreeItem(HTREEITEM item);
  int Ask(const char* text);

  CBrush m_brush;
  CReportListCtrl m_details;
  CReportListCtrl m_history;
  CImageList m_menuImages;
  CSkinButton m_backup, m_replication, m_repository, m_command, m_log, m_recovery, m_about;
  int autoRefresh = 1;
  int refreshSeconds = 0;
  HICON m_icon = nullptr;

  CReportListCtrl m_active;
  CImageList m_mainImages;
  CImageList m_historyImages;
  HTREEITEM m_root = nullptr;
  SOCKET m_socket = INVALID_SOCKET;
  orva::manager::MainLayout m_layout;
  bool m_layoutReady = false;
  bool m_exchanging = false;
  orva::manager::PendingRuns m_pendingRuns;

  DECLARE_MESSAGE_MAP()
};

// The process-wide job table the connection fills.
orva::manager::ManagerJobTable& JobTable();
// The process-wide repository options, read at start-up.
orva::service::OptionsRecord& ManagerOptions();
// "<drive>\Orvanta" on the fixed disk with the most free space; empty when
// none could be chosen.
const std::string& DefaultRepositoryFolder();

}  // namespace orva::manager
