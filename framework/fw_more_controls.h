// Drop-down lists, up-down buttons and date-and-time pickers. Texts go
// through the wide messages.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_window.h"

class CComboBox : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, WC_COMBOBOXW, "", style, rect, parent, id);
    }
    int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
    int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
    int SetCurSel(int index) { return (int)SendMessage(CB_SETCURSEL, index); }
    int AddString(const char* text) {
        return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)ToWideText(text).c_str());
    }
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
        if (n < 0) { text.Empty(); return; }
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
};

class CSpinButtonCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, UPDOWN_CLASSW, "", style, rect, parent, id);
    }
    void SetRange32(int lower, int upper) { SendMessage(UDM_SETRANGE32, lower, upper); }
    void SetRange(short lower, short upper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(upper, lower)); }
    void GetRange32(int& lower, int& upper) const {
        SendMessage(UDM_GETRANGE32, (WPARAM)&lower, (LPARAM)&upper);
    }
    int SetPos32(int pos) { return (int)SendMessage(UDM_SETPOS32, 0, pos); }
    int GetPos32(BOOL* error = nullptr) const { return (int)SendMessage(UDM_GETPOS32, 0, (LPARAM)error); }
    int SetPos(int pos) { return SetPos32(pos); }
    int GetPos() const { return GetPos32(); }
    CWnd* SetBuddy(CWnd* buddy) { return FromHandle((HWND)SendMessage(UDM_SETBUDDY, (WPARAM)(buddy ? buddy->m_hWnd : nullptr))); }
    CWnd* GetBuddy() const { return FromHandle((HWND)SendMessage(UDM_GETBUDDY)); }
    int SetBase(int base) { return (int)SendMessage(UDM_SETBASE, base); }
};

class CDateTimeCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CreateEx(0, DATETIMEPICK_CLASSW, "", style, rect, parent, id);
    }
    BOOL SetFormat(const char* format) {
        return (BOOL)SendMessage(DTM_SETFORMATW, 0, (LPARAM)ToWideText(format).c_str());
    }
    // GDT_VALID with a time, GDT_NONE without (for DTS_SHOWNONE).
    BOOL SetTime(const SYSTEMTIME* time) {
        return (BOOL)SendMessage(DTM_SETSYSTEMTIME, time ? GDT_VALID : GDT_NONE, (LPARAM)time);
    }
    DWORD GetTime(SYSTEMTIME* time) const { return (DWORD)SendMessage(DTM_GETSYSTEMTIME, 0, (LPARAM)time); }
    HWND GetMonthCalCtrl() const { return (HWND)SendMessage(DTM_GETMONTHCAL); }
    BOOL SetRange(DWORD flags, const SYSTEMTIME* range) { return (BOOL)SendMessage(DTM_SETRANGE, flags, (LPARAM)range); }
};

// Reflected notifications of these controls.
#ifndef ON_CBN_CLOSEUP_REFLECT
#define ON_CBN_CLOSEUP_REFLECT(fn) ON_CONTROL_REFLECT(CBN_CLOSEUP, fn)
#endif
