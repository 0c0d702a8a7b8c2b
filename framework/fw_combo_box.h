// Combo boxes: ANSI texts in and out, shown through the wide calls.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "fw_window.h"

namespace orva::fw {

class CComboBox : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, WC_COMBOBOXW, "", style, rect, parent, id);
  }
  int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
  int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
  int SetCurSel(int index) { return (int)SendMessage(CB_SETCURSEL, index); }
  int AddString(const char* text) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)ToWideText(text).c_str()); }
  int InsertString(int index, const char* text) {
    return (int)SendMessage(CB_INSERTSTRING, index, (LPARAM)ToWideText(text).c_str());
  }
  int DeleteString(int index) { return (int)SendMessage(CB_DELETESTRING, index); }
  void ResetContent() { SendMessage(CB_RESETCONTENT); }
  // Selects the first entry after `after` that begins with `text` (any case).
  int SelectString(int after, const char* text) {
    return (int)SendMessage(CB_SELECTSTRING, after, (LPARAM)ToWideText(text).c_str());
  }
  int FindString(int after, const char* text) const {
    return (int)SendMessage(CB_FINDSTRING, after, (LPARAM)ToWideText(text).c_str());
  }
  void GetLBText(int index, CString& text) const {
    int n = (int)SendMessage(CB_GETLBTEXTLEN, index);
    if (n < 0) {
      text.Empty();
      return;
    }
    std::wstring w((size_t)n + 1, L'\0');
    SendMessage(CB_GETLBTEXT, index, (LPARAM)w.data());
    text = FromWideText(w.c_str());
  }
  int SetItemHeight(int index, UINT height) { return (int)SendMessage(CB_SETITEMHEIGHT, index, height); }
  int GetItemHeight(int index) const { return (int)SendMessage(CB_GETITEMHEIGHT, index); }
  BOOL ShowDropDown(BOOL show = TRUE) { return (BOOL)SendMessage(CB_SHOWDROPDOWN, show); }
  BOOL GetDroppedState() const { return (BOOL)SendMessage(CB_GETDROPPEDSTATE); }
  DWORD_PTR GetItemData(int index) const { return (DWORD_PTR)SendMessage(CB_GETITEMDATA, index); }
  int SetItemData(int index, DWORD_PTR data) { return (int)SendMessage(CB_SETITEMDATA, index, (LPARAM)data); }
  BOOL LimitText(int n) { return (BOOL)SendMessage(CB_LIMITTEXT, n); }
  int FindStringExact(int after, const char* text) const {
    return (int)SendMessage(CB_FINDSTRINGEXACT, after, (LPARAM)ToWideText(text).c_str());
  }
  CString GetLBText(int index) const {
    CString s;
    GetLBText(index, s);
    return s;
  }
};

}  // namespace orva::fw
