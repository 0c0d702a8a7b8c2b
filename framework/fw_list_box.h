// List boxes: ANSI texts in and out, shown through the wide calls.
#pragma once
#include <windows.h>
#include <string>
#include "fw_window.h"

namespace orva::fw {

class CListBox : public CWnd {
 public:
  int GetCount() const { return (int)SendMessage(LB_GETCOUNT); }
  int GetCurSel() const { return (int)SendMessage(LB_GETCURSEL); }
  int SetCurSel(int index) { return (int)SendMessage(LB_SETCURSEL, index); }
  int AddString(const char* text) { return (int)SendMessage(LB_ADDSTRING, 0, (LPARAM)ToWideText(text).c_str()); }
  int InsertString(int index, const char* text) {
    return (int)SendMessage(LB_INSERTSTRING, index, (LPARAM)ToWideText(text).c_str());
  }
  int DeleteString(int index) { return (int)SendMessage(LB_DELETESTRING, index); }
  void ResetContent() { SendMessage(LB_RESETCONTENT); }
  void GetText(int index, CString& text) const {
    text.Empty();
    int n = (int)SendMessage(LB_GETTEXTLEN, index);
    if (n < 0) return;
    std::wstring w(n + 1, L'\0');
    SendMessage(LB_GETTEXT, index, (LPARAM)w.data());
    text = FromWideText(w.c_str());
  }
};

}  // namespace orva::fw
