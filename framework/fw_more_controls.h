// Up-down buttons and date-and-time pickers (and the combo boxes). Texts go
// through the wide messages.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_window.h"
#include "fw_combo_box.h"

namespace orva::fw {

class CSpinButtonCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, UPDOWN_CLASSW, "", style, rect, parent, id);
  }
  void SetRange32(int lower, int upper) { SendMessage(UDM_SETRANGE32, lower, upper); }
  void SetRange(short lower, short upper) { SendMessage(UDM_SETRANGE, 0, MAKELPARAM(upper, lower)); }
  void GetRange32(int& lower, int& upper) const { SendMessage(UDM_GETRANGE32, (WPARAM)&lower, (LPARAM)&upper); }
  int SetPos32(int pos) { return (int)SendMessage(UDM_SETPOS32, 0, pos); }
  int GetPos32(BOOL* error = nullptr) const { return (int)SendMessage(UDM_GETPOS32, 0, (LPARAM)error); }
  int SetPos(int pos) { return SetPos32(pos); }
  int GetPos() const { return GetPos32(); }
  CWnd* SetBuddy(CWnd* buddy) {
    return FromHandle((HWND)SendMessage(UDM_SETBUDDY, (WPARAM)(buddy ? buddy->m_hWnd : nullptr)));
  }
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

}  // namespace orva::fw
