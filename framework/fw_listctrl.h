// Report-view list controls. Texts go through the wide messages.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_header_ctrl.h"
#include "fw_image_list.h"
#include "fw_window.h"

namespace orva::fw {

// A report-view list. Tool tips, when enabled, come from OnToolHitTest:
// each id it returns is one tool, whose text is asked for with
// TTN_NEEDTEXTW (or A) sent to the list.
class CListCtrl : public CWnd {
 public:
  ~CListCtrl() override;

  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, WC_LISTVIEWW, "", style, rect, parent, id);
  }

  int GetItemCount() const { return (int)SendMessage(LVM_GETITEMCOUNT); }
  int GetColumnCount() const;
  int InsertColumn(int column, const char* heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
  BOOL DeleteColumn(int column) { return (BOOL)SendMessage(LVM_DELETECOLUMN, column); }
  int GetColumnWidth(int column) const { return (int)SendMessage(LVM_GETCOLUMNWIDTH, column); }
  BOOL SetColumnWidth(int column, int width) {
    return (BOOL)SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0));
  }

  int InsertItem(const LVITEMW* item) { return (int)SendMessage(LVM_INSERTITEMW, 0, (LPARAM)item); }
  int InsertItem(int index, const char* text, int image = -1);
  BOOL DeleteItem(int item) { return (BOOL)SendMessage(LVM_DELETEITEM, item); }
  BOOL DeleteAllItems() { return (BOOL)SendMessage(LVM_DELETEALLITEMS); }
  BOOL SetItemText(int item, int subItem, const char* text);
  CString GetItemText(int item, int subItem) const;
  DWORD_PTR GetItemData(int item) const;
  BOOL SetItemData(int item, DWORD_PTR data);
  UINT GetItemState(int item, UINT mask) const { return (UINT)SendMessage(LVM_GETITEMSTATE, item, mask); }
  BOOL SetItemState(int item, UINT state, UINT mask);
  BOOL GetItemRect(int item, LPRECT r, UINT area) const;
  BOOL GetSubItemRect(int item, int subItem, int area, RECT& r) const;
  int HitTest(CPoint p, UINT* flags = nullptr) const;
  int SubItemHitTest(LVHITTESTINFO* info) const { return (int)SendMessage(LVM_SUBITEMHITTEST, 0, (LPARAM)info); }
  BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
    return (BOOL)SendMessage(LVM_SORTITEMS, data, (LPARAM)compare);
  }
  int GetNextItem(int item, int flags) const { return (int)SendMessage(LVM_GETNEXTITEM, item, MAKELPARAM(flags, 0)); }
  UINT GetSelectedCount() const { return (UINT)SendMessage(LVM_GETSELECTEDCOUNT); }
  int GetTopIndex() const { return (int)SendMessage(LVM_GETTOPINDEX); }
  int GetCountPerPage() const { return (int)SendMessage(LVM_GETCOUNTPERPAGE); }
  BOOL EnsureVisible(int item, BOOL partialOk) { return (BOOL)SendMessage(LVM_ENSUREVISIBLE, item, partialOk); }
  DWORD GetExtendedStyle() const { return (DWORD)SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE); }
  DWORD SetExtendedStyle(DWORD style) { return (DWORD)SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style); }
  CImageList* SetImageList(CImageList* list, int kind);
  // The object given to SetImageList for that kind, while the list still uses it.
  CImageList* GetImageList(int kind) const;
  HWND GetHeaderHwnd() const { return (HWND)SendMessage(LVM_GETHEADER); }
  // The header's object when one is bound to the header window.
  CHeaderCtrl* GetHeaderCtrl() const;
  void SetRedraw(BOOL redraw = TRUE) { SendMessage(WM_SETREDRAW, redraw); }

  // Tool tips of the list (OnToolHitTest decides the tools).
  BOOL EnableToolTips(BOOL enable = TRUE);
  HWND GetToolTips() const { return m_toolTip; }
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Keeps the tool tip in step with a mouse message of the list.
  void FilterToolTipMessage(MSG* msg);

  HWND m_toolTip = nullptr;
  INT_PTR m_lastTool = -1;
  CImageList* m_imageLists[4] = {};
};

}  // namespace orva::fw
