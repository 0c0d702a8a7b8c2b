// The controls that the dialogs bind to their template items.
#pragma once
#include <windows.h>
#include "fw_window.h"

namespace orva::fw {

class CButton : public CWnd {
 public:
  BOOL Create(const char* caption, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, L"BUTTON", caption, style, rect, parent, id);
  }
  int GetCheck() const { return (int)SendMessage(BM_GETCHECK); }
  void SetCheck(int check) { SendMessage(BM_SETCHECK, check); }
  UINT GetState() const { return (UINT)SendMessage(BM_GETSTATE); }
  void SetState(BOOL highlight) { SendMessage(BM_SETSTATE, highlight); }
  UINT GetButtonStyle() const { return GetStyle() & 0xFFFF; }
  void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
  HICON SetIcon(HICON icon) { return (HICON)SendMessage(BM_SETIMAGE, IMAGE_ICON, (LPARAM)icon); }
  HBITMAP SetBitmap(HBITMAP bmp) { return (HBITMAP)SendMessage(BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bmp); }
  // Owner-drawn buttons paint here (WM_DRAWITEM reflected from the parent).
  virtual void DrawItem(LPDRAWITEMSTRUCT) {}
  BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
    if (msg == WM_DRAWITEM) {
      DrawItem((LPDRAWITEMSTRUCT)lParam);
      *result = TRUE;
      return TRUE;
    }
    return CWnd::OnChildNotify(msg, wParam, lParam, result);
  }
};

class CStatic : public CWnd {
 public:
  BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF) {
    return CreateEx(0, L"STATIC", text, style, rect, parent, id);
  }
  HICON SetIcon(HICON icon) { return (HICON)SendMessage(STM_SETICON, (WPARAM)icon); }
  HBITMAP SetBitmap(HBITMAP bmp) { return (HBITMAP)SendMessage(STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bmp); }
};

class CEdit : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, L"EDIT", "", style, rect, parent, id);
  }
  void SetSel(int start, int end, BOOL noScroll = FALSE) {
    SendMessage(EM_SETSEL, start, end);
    if (!noScroll) SendMessage(EM_SCROLLCARET);
  }
  void LimitText(int n) { SendMessage(EM_LIMITTEXT, n); }
  void SetReadOnly(BOOL readOnly = TRUE) { SendMessage(EM_SETREADONLY, readOnly); }
  void ReplaceSel(const char* text) { SendMessage(EM_REPLACESEL, TRUE, (LPARAM)ToWideText(text).c_str()); }
};

}  // namespace orva::fw
