// The few list-view calls of the disk browser, on the control's handle.
#pragma once
#include <string>
#include "framework.h"

namespace orva::media {
using namespace orva::fw;

class DiskList {
 public:
  void Attach(HWND list) { m_list = list; }
  HWND Handle() const { return m_list; }
  void SetExtendedStyle(DWORD style) { ListView_SetExtendedListViewStyle(m_list, style); }
  void SetImageList(HIMAGELIST images) { ListView_SetImageList(m_list, images, LVSIL_SMALL); }
  void InsertColumn(int index, const char* heading, int format, int width) {
    std::wstring text = ToWideText(heading);
    LVCOLUMNW c{};
    c.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    c.fmt = format;
    c.cx = width;
    c.pszText = text.data();
    c.iSubItem = index;
    SendMessageW(m_list, LVM_INSERTCOLUMNW, index, (LPARAM)&c);
  }
  void DeleteAllItems() { ListView_DeleteAllItems(m_list); }
  int GetItemCount() const { return ListView_GetItemCount(m_list); }
  // Appends a row with image 0; the texts go into columns 0, 1, ...
  int AddRow(const CString* texts, int count) {
    std::wstring first = ToWideText(count > 0 ? texts[0] : CString());
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = GetItemCount();
    item.pszText = first.data();
    item.iImage = 0;
    int row = (int)SendMessageW(m_list, LVM_INSERTITEMW, 0, (LPARAM)&item);
    for (int i = 1; i < count && row >= 0; ++i) {
      std::wstring text = ToWideText(texts[i]);
      LVITEMW sub{};
      sub.iSubItem = i;
      sub.pszText = text.data();
      SendMessageW(m_list, LVM_SETITEMTEXTW, row, (LPARAM)&sub);
    }
    return row;
  }
  int GetFirstSelected() const { return ListView_GetNextItem(m_list, -1, LVNI_SELECTED); }
  CString GetItemText(int row, int column) const {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(m_list, LVM_GETITEMTEXTW, row, (LPARAM)&item);
    return FromWideText(text);
  }

 private:
  HWND m_list = nullptr;
};

}  // namespace orva::media
