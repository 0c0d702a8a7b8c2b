// The report list of the programs' tables: every cell drawn by the list
// (colours, grid line, image, check box or progress bar), a skinned header
// with column check boxes, a hot row, a text for the empty list, per-cell
// tool tips, sorting, and the hooks of the in-place cell editors.
#pragma once
#include <vector>
#include "framework.h"
#include "report_header.h"
#include "report_list_text.h"

namespace orva::ui {
using namespace orva::fw;

// Registered at program start, process-wide.
extern const UINT WM_XCELLCOMBO_CHANGE;
extern const UINT WM_XCELLDATE_CHANGE;
extern const UINT WM_XCELLEDIT_CHANGE;
extern const UINT WM_XREPORTLIST_EDITBOX_CHANGE;
extern const UINT WM_XREPORTLIST_DATEBOX_CHANGE;
extern const UINT WM_XREPORTLIST_COMBOBOX_CHANGE;
extern const UINT WM_XREPORTLIST_CHECKBOX_CLICKING;
extern const UINT WM_XCELLSPIN_CHANGING;
extern const UINT WM_XCELLSPIN_DELTA;

// One cell of a row.
struct ListItemData {
  int enabled = 1;     // first record only: 0 greys the row and ignores its clicks
  int image = -1;      // normal image list index; -1 none
  CString toolTip;     // empty: the full text when the cell cuts it, else no tip
  BOOL combo = FALSE;  // a click opens the combo editor
  std::vector<CString> comboEntries;
  COLORREF textColor = GetSysColor(COLOR_WINDOWTEXT);
  COLORREF backColor = RGB(255, 255, 255);
  COLORREF barColor = RGB(0, 200, 0);
  BOOL edit = FALSE;  // a click opens the edit editor
  int editLimit = -1;
  int editMin = -1;  // with editMax both 0 or more: digits only, ranged
  int editMax = -1;
  DWORD editStyle = 0x500001C0;
  BOOL date = FALSE;  // a click opens the date editor
  CString dateFormat = "yyyy-MM-dd_HH:mm:ss";
  DWORD dateStyle = 0x50010000;
  __int64 dateValue = 0;  // seconds since 1970
  BOOL progress = FALSE;  // drawn as a progress bar
  int percent = 0;        // below 0: no bar, no label
  CString progressText;   // label format given the percent; empty: "%d%%"
  BOOL showLabel = TRUE;
  int check = -1;  // -1 no box, 0 clear, 1 checked
};

// The records of one row, hung on the row as its item data.
struct ListItemRow {
  std::vector<ListItemData> cells;         // one per column at the row's insertion
  DWORD_PTR data = 0;                      // the owner's own value (the lParam given at insertion)
  const ReportSortKey* sortKey = nullptr;  // only while SortByColumn runs
};

// Argument of UpdateProgress.
struct ProgressUpdate {
  int item;
  int subitem;
  int percent;
  COLORREF textColor;
  COLORREF barColor;
  CString text;
};

// Sent (by pointer) with WM_XREPORTLIST_CHECKBOX_CLICKING.
struct CheckboxClickInfo {
  HWND list;
  int item;
  int subitem;
  CString text;
};

class CReportListCtrl;

// The in-place editors plug in here; without them editor cells open nothing.
class CReportCellEditors {
 public:
  enum Kind { Combo = 0, Edit = 1, Date = 2 };
  virtual ~CReportCellEditors() = default;
  // Opens the editor of `kind` over the cell; FALSE when it could not.
  virtual BOOL Open(CReportListCtrl* list, Kind kind, int item, int subitem) = 0;
  // The value of the closing editor as the cell's new text (the record may
  // take more, a date value); FALSE when there is none to store.
  virtual BOOL TakeValue(CReportListCtrl* list, Kind kind, UINT lastKey, ListItemData& cell, CString& text) = 0;
  // Destroys every editor instance.
  virtual void DestroyAll() = 0;
};
void SetReportCellEditors(CReportCellEditors* editors);
CReportCellEditors* GetReportCellEditors();

class CReportListCtrl : public CListCtrl {
 public:
  CReportListCtrl();
  ~CReportListCtrl() override;

  CReportHeaderCtrl m_header;

  int InsertItem(const LVITEMW* item);
  int InsertItem(int index, const char* text, int image = -1);
  BOOL SetItemText(int item, int subitem, const char* text);
  BOOL DeleteItem(int item);
  BOOL DeleteAllItems();
  int GetCheckbox(int item, int subitem) const;
  BOOL SetCheckbox(int item, int subitem, int state);
  BOOL SetProgress(int item, int subitem, BOOL showLabel = TRUE, const char* text = nullptr);
  void UpdateProgress(ProgressUpdate update);
  virtual void SortByColumn(int column, BOOL ascending);
  void SetRowHeight(int height);
  void SetListFont(CFont* font);
  CFont* GetListFont() const { return m_listFont; }
  CReportListCtrl& SetGridLineColor(COLORREF color) {
    m_gridColor = color;
    return *this;
  }
  void SetEmptyListText(const CString& text) { m_emptyText = text; }
  const CString& GetEmptyListText() const { return m_emptyText; }

  // The records of a row or of one cell; nullptr when out of range or the row has none.
  ListItemRow* GetRow(int item) const;
  ListItemData* GetCell(int item, int subitem) const;
  // The owner's own value of a row, kept through sorting.
  DWORD_PTR GetRowData(int item) const;
  BOOL SetRowData(int item, DWORD_PTR data);
  BOOL SetItemColors(int item, int subitem, COLORREF text, COLORREF back);
  BOOL SetItemToolTipText(int item, int subitem, const char* text);
  BOOL EnableRow(int item, BOOL enable);

  int GetColumnCount() const;
  BOOL GetCellRect(int item, int subitem, int area, CRect& rect) const;
  void RedrawCell(int item, int subitem);
  int GetHeaderCheckbox(int column) const;
  BOOL SetHeaderCheckbox(int column, int state);
  int CountChecked(int column) const;
  void GetCellColors(int item, int subitem, COLORREF& text, COLORREF& back) const;
  int GetHotItem() const { return m_hotItem; }
  // Opens the next editable cell after (item, subitem), row by row.
  void EditNextCell(int item, int subitem);
  // The text of the tool tip of a cell: its own tip, or its text when the cell cuts it.
  CString GetCellToolTip(int item, int subitem) const;

  // Rows with records alive in the process (each is freed with its row).
  static long LiveRows();

  INT_PTR OnToolHitTest(CPoint point, TOOLINFOW* info) const override;
  BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  virtual BOOL OnToolTipText(UINT id, NMHDR* nm, LRESULT* result);

 protected:
  void PreSubclassWindow() override;
  BOOL OnColumnClick(NMHDR* nm, LRESULT* result);
  void OnCustomDraw(NMHDR* nm, LRESULT* result);
  void OnDeleteItemNotify(NMHDR* nm, LRESULT* result);
  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnLButtonDown(UINT flags, CPoint point);
  void OnPaint();
  void OnSysColorChange();
  BOOL OnEraseBkgnd(CDC* dc);
  void OnNcPaint();
  void OnMouseLeave();
  LRESULT OnComboChange(WPARAM lastKey, LPARAM);
  LRESULT OnDateChange(WPARAM lastKey, LPARAM);
  LRESULT OnEditChange(WPARAM lastKey, LPARAM);
  LRESULT StoreEditorValue(CReportCellEditors::Kind kind, int& item, int& subitem, UINT lastKey, UINT ownerMsg);

  void BindHeader();
  void FreeRow(int item);
  HWND OwnerWindow() const;
  void DrawText(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back);
  int DrawImage(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back);
  void DrawCheckbox(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back);
  void DrawProgress(CDC* dc, int item, int subitem, CRect rect, COLORREF text, COLORREF back);
  void DrawGridLine(CDC* dc, const CRect& rect);
  void UpdateHeaderCheckbox(int column);

  BOOL m_gridLines = TRUE;
  BOOL m_selectionColors = TRUE;
  CString m_emptyText = "There are no items to show in this view.";
  COLORREF m_troughColor;
  COLORREF m_gridColor = 0;
  BOOL m_tracking = FALSE;
  CFont* m_listFont = nullptr;
  BOOL m_headerBound = FALSE;
  COLORREF m_unfocusedSelBack = RGB(0xF0, 0xF0, 0xF0);
  COLORREF m_greyText;
  COLORREF m_selBack = 0xC6A284;
  COLORREF m_selText = 0xFFFFFF;
  COLORREF m_defaultBack = 0xFFFFFF;
  COLORREF m_defaultText;
  COLORREF m_hotBack = 0xBDCA83;
  int m_comboItem = -1, m_comboSubitem = -1;
  int m_editItem = -1, m_editSubitem = -1;
  int m_dateItem = -1, m_dateSubitem = -1;
  int m_hotItem = -1;
  CFont m_rowFont;         // sets the row height only
  std::wstring m_tipText;  // the shown tip, whatever its length

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::ui
