// The combo box of the dialogs; entries go through the wide messages.
#pragma once
#include <windows.h>
#include <string>
#include "fw_window.h"

class CComboBox : public CWnd {
public:
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    int SetCurSel(int index) { return (int)SendMessage(CB_SETCURSEL, index); }
    int AddString(const char* text) {
        std::wstring w = ToWideText(text);
        return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)w.c_str());
    }
    int InsertString(int index, const char* text) {
        std::wstring w = ToWideText(text);
        return (int)SendMessage(CB_INSERTSTRING, index, (LPARAM)w.c_str());
    }
    int DeleteString(int index) { return (int)SendMessage(CB_DELETESTRING, index); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    void GetLBText(int index, CString& text) const {
        int n = (int)SendMessage(CB_GETLBTEXTLEN, index);
        if (n < 0) {
            text.Empty();
            return;
        }
        std::wstring w(n + 1, L'\0');
        SendMessage(CB_GETLBTEXT, index, (LPARAM)w.data());
        text = FromWideText(w.c_str());
    }
    CString GetLBText(int index) const { CString s; GetLBText(index, s); return s; }
    int FindStringExact(int start, const char* text) const {
        std::wstring w = ToWideText(text);
        return (int)SendMessage(CB_FINDSTRINGEXACT, start, (LPARAM)w.c_str());
    }
};
