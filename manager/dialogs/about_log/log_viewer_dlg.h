// The viewer of the service's job log: one row per line of OrvaJob.log in a
// four-column list, sorted by a click on a column, and emptied by Clear.
#pragma once
#include "framework.h"
#include "message_box.h"
#include "skin_dialog.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

class CLogViewerDlg : public CSkinDialog {
 public:
  // `logPath`: the job log (by default in the current folder); `boxParams`:
  // the program's shared message-box settings (its own when null).
  explicit CLogViewerDlg(CWnd* parent = nullptr, const char* logPath = "OrvaJob.log",
                         MessageBoxParams* boxParams = nullptr);

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  // Appends one row per line of the file; FALSE (after the file-error box) when it cannot be read.
  BOOL LoadLog(const CString& fileName);
  // Empties the file and the list; the file is left alone when it cannot be read.
  void OnClear();
  CListCtrl& List() { return m_list; }
  int SortColumn() const { return m_sortColumn; }
  // The texts of the context menu as last shown.
  const CString& MenuText() const { return m_menuText; }

  // Tries of the exclusive opens against the service's own.
  static constexpr int kOpenTries = 10;
  static constexpr int kOpenDelayMs = 100;

 protected:
  // The file-error box of the framework's kind.
  virtual void ReportFileError(const CString& fileName, bool missing);
  void OnListRightClick(NMHDR* nm, LRESULT* result);
  void OnColumnClick(NMHDR* nm, LRESULT* result);
  void OnSize(UINT type, int cx, int cy);
  void SortByColumn(int column);
  void PlaceList();

  CImageList m_images;
  CListCtrl m_list;
  CString m_logPath;
  MessageBoxParams* m_boxParams;
  int m_sortColumn = -1;
  CString m_menuText;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::manager
