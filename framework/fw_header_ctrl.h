// Header controls. Texts go through the wide messages.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_image_list.h"
#include "fw_window.h"

namespace orva::fw {

class CHeaderCtrl : public CWnd {
 public:
  int GetItemCount() const { return (int)SendMessage(HDM_GETITEMCOUNT); }
  BOOL GetItem(int index, HDITEMW* item) const { return (BOOL)SendMessage(HDM_GETITEMW, index, (LPARAM)item); }
  BOOL SetItem(int index, HDITEMW* item) { return (BOOL)SendMessage(HDM_SETITEMW, index, (LPARAM)item); }
  BOOL GetItemRect(int index, LPRECT r) const { return (BOOL)SendMessage(HDM_GETITEMRECT, index, (LPARAM)r); }
  int OrderToIndex(int order) const { return (int)SendMessage(HDM_ORDERTOINDEX, order); }
  HIMAGELIST GetImageList() const { return (HIMAGELIST)SendMessage(HDM_GETIMAGELIST); }
  HIMAGELIST SetImageList(HIMAGELIST list) { return (HIMAGELIST)SendMessage(HDM_SETIMAGELIST, 0, (LPARAM)list); }
  HIMAGELIST SetImageList(CImageList* list) { return SetImageList(list ? list->m_hImageList : nullptr); }
  // Caption of an item, whatever its length.
  CString GetItemText(int index) const;
  // Owner-drawn items (HDF_OWNERDRAW) are painted here.
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}
};

}  // namespace orva::fw
