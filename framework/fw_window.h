// Windows and dialogs: the window object bound to its handle, message maps
// with reflection to the control that caused a notification, and dialogs
// with their modal loop and data exchange.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "fw_gdi.h"
#include "fw_string.h"
#include "fw_types.h"

namespace orva::fw {

class CWnd;
class CDataExchange;

// --- message maps -------------------------------------------------------
//
// One table per class, searched from the most derived class to CWnd. An
// entry names a message (or a reflected one), a notification code and an id
// range for WM_COMMAND and WM_NOTIFY, and a thunk that unpacks the message
// for the member handler. A thunk returns false when the message is to be
// treated as not handled.

// Reflected messages: what a parent sends back to the child that caused them.
constexpr UINT FW_REFLECT_BASE = WM_USER + 0x1C00;
// All WM_CTLCOLORxxx messages are looked up under this one id.
constexpr UINT FW_WM_CTLCOLOR = 0x0019;

using FwMsgThunk = bool (*)(CWnd* self, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct FwMsgEntry {
  UINT message;
  UINT code;
  UINT idFirst;
  UINT idLast;
  const UINT* registered;  // registered message id, read at dispatch time
  FwMsgThunk thunk;
};

struct FwMsgMap {
  const FwMsgMap* (*base)();
  const FwMsgEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                             \
 protected:                                               \
  static const ::orva::fw::FwMsgMap* GetThisMessageMap(); \
  const ::orva::fw::FwMsgMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                \
  const ::orva::fw::FwMsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const ::orva::fw::FwMsgMap* theClass::GetThisMessageMap() {                                 \
    using ThisClass = theClass;                                                               \
    using TheBaseClass = baseClass;                                                           \
    static const ::orva::fw::FwMsgEntry entries[] = {
#define END_MESSAGE_MAP()                                                              \
  { 0, 0, 0, 0, nullptr, nullptr }                                                     \
  }                                                                                    \
  ;                                                                                    \
  static const ::orva::fw::FwMsgMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                                         \
  }

// An entry whose body sees `self` (the object), `wParam`, `lParam` and `pResult`.
#define FW_ENTRY(msg, code, first, last, ...)                                                                          \
  {msg, code, first, last, nullptr, [](::orva::fw::CWnd* w_, WPARAM wParam, LPARAM lParam, LRESULT* pResult) -> bool { \
     ThisClass* self = static_cast<ThisClass*>(w_);                                                                    \
     (void)self;                                                                                                       \
     (void)wParam;                                                                                                     \
     (void)lParam;                                                                                                     \
     (void)pResult;                                                                                                    \
     __VA_ARGS__                                                                                                       \
   }},
#define FW_MSG(msg, ...) FW_ENTRY(msg, 0, 0, 0, __VA_ARGS__)

#define ON_WM_CREATE() FW_MSG(WM_CREATE, *pResult = self->OnCreate((LPCREATESTRUCT)lParam); return true;)
#define ON_WM_DESTROY() FW_MSG(WM_DESTROY, self->OnDestroy(); return true;)
#define ON_WM_CLOSE() FW_MSG(WM_CLOSE, self->OnClose(); return true;)
#define ON_WM_SIZE() \
  FW_MSG(WM_SIZE, self->OnSize((UINT)wParam, (short)LOWORD(lParam), (short)HIWORD(lParam)); return true;)
#define ON_WM_SIZING() FW_MSG(WM_SIZING, self->OnSizing((UINT)wParam, (LPRECT)lParam); *pResult = TRUE; return true;)
#define ON_WM_MOVE() FW_MSG(WM_MOVE, self->OnMove((short)LOWORD(lParam), (short)HIWORD(lParam)); return true;)
#define ON_WM_PAINT() FW_MSG(WM_PAINT, self->OnPaint(); return true;)
#define ON_WM_ERASEBKGND() \
  FW_MSG(WM_ERASEBKGND, *pResult = self->OnEraseBkgnd(::orva::fw::CDC::FromHandle((HDC)wParam)); return true;)
#define ON_WM_NCPAINT() FW_MSG(WM_NCPAINT, self->OnNcPaint(); return true;)
#define ON_WM_NCACTIVATE() FW_MSG(WM_NCACTIVATE, *pResult = self->OnNcActivate((BOOL)wParam); return true;)
#define ON_WM_NCCALCSIZE() \
  FW_MSG(WM_NCCALCSIZE, self->OnNcCalcSize((BOOL)wParam, (NCCALCSIZE_PARAMS*)lParam); return true;)
#define ON_WM_NCHITTEST() FW_MSG(WM_NCHITTEST, *pResult = self->OnNcHitTest(::orva::fw::CPoint(lParam)); return true;)
#define ON_WM_ACTIVATE()                                                                                            \
  FW_MSG(WM_ACTIVATE, self->OnActivate(LOWORD(wParam), ::orva::fw::CWnd::FromHandle((HWND)lParam), HIWORD(wParam)); \
         return true;)
#define ON_WM_CTLCOLOR()                                                                                              \
  FW_MSG(::orva::fw::FW_WM_CTLCOLOR, *pResult = (LRESULT)self->OnCtlColor(::orva::fw::CDC::FromHandle((HDC)wParam),   \
                                                                          ::orva::fw::CWnd::FromHandle((HWND)lParam), \
                                                                          ::orva::fw::CWnd::CtlColorKind());          \
         return true;)
#define ON_WM_GETMINMAXINFO() FW_MSG(WM_GETMINMAXINFO, self->OnGetMinMaxInfo((MINMAXINFO*)lParam); return true;)
#define ON_WM_SETCURSOR()                                                                                          \
  FW_MSG(WM_SETCURSOR,                                                                                             \
         *pResult = self->OnSetCursor(::orva::fw::CWnd::FromHandle((HWND)wParam), LOWORD(lParam), HIWORD(lParam)); \
         return true;)
#define ON_WM_ENTERSIZEMOVE() FW_MSG(WM_ENTERSIZEMOVE, self->OnEnterSizeMove(); *pResult = 0; return true;)
#define ON_WM_EXITSIZEMOVE() FW_MSG(WM_EXITSIZEMOVE, self->OnExitSizeMove(); *pResult = 0; return true;)
#define ON_WM_SYSCOLORCHANGE() FW_MSG(WM_SYSCOLORCHANGE, self->OnSysColorChange(); return true;)
#define ON_WM_GETDLGCODE() FW_MSG(WM_GETDLGCODE, *pResult = self->OnGetDlgCode(); return true;)
#define ON_WM_TIMER() FW_MSG(WM_TIMER, self->OnTimer((UINT_PTR)wParam); return true;)
#define ON_WM_SYSCOMMAND() FW_MSG(WM_SYSCOMMAND, self->OnSysCommand((UINT)wParam, lParam); return true;)
#define ON_WM_KILLFOCUS() \
  FW_MSG(WM_KILLFOCUS, self->OnKillFocus(::orva::fw::CWnd::FromHandle((HWND)wParam)); return true;)
#define ON_WM_SETFOCUS() FW_MSG(WM_SETFOCUS, self->OnSetFocus(::orva::fw::CWnd::FromHandle((HWND)wParam)); return true;)
#define ON_WM_KEYDOWN() FW_MSG(WM_KEYDOWN, self->OnKeyDown((UINT)wParam, LOWORD(lParam), HIWORD(lParam)); return true;)
#define ON_WM_CHAR() FW_MSG(WM_CHAR, self->OnChar((UINT)wParam, LOWORD(lParam), HIWORD(lParam)); return true;)
#define FW_MOUSE(msg, fn) FW_MSG(msg, self->fn((UINT)wParam, ::orva::fw::CPoint(lParam)); return true;)
#define ON_WM_LBUTTONDOWN() FW_MOUSE(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() FW_MOUSE(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() FW_MOUSE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() FW_MOUSE(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() FW_MOUSE(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_MOUSEMOVE() FW_MOUSE(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_MOUSELEAVE() FW_MSG(WM_MOUSELEAVE, self->OnMouseLeave(); return true;)
#define FW_NCMOUSE(msg, fn) FW_MSG(msg, self->fn((UINT)wParam, ::orva::fw::CPoint(lParam)); return true;)
#define ON_WM_NCMOUSEMOVE() FW_NCMOUSE(WM_NCMOUSEMOVE, OnNcMouseMove)
#define ON_WM_NCLBUTTONDOWN() FW_NCMOUSE(WM_NCLBUTTONDOWN, OnNcLButtonDown)
#define ON_WM_NCLBUTTONUP() FW_NCMOUSE(WM_NCLBUTTONUP, OnNcLButtonUp)
#define ON_WM_NCLBUTTONDBLCLK() FW_NCMOUSE(WM_NCLBUTTONDBLCLK, OnNcLButtonDblClk)
#define ON_WM_CONTEXTMENU()                                                                                           \
  FW_MSG(WM_CONTEXTMENU, self->OnContextMenu(::orva::fw::CWnd::FromHandle((HWND)wParam), ::orva::fw::CPoint(lParam)); \
         return true;)
#define ON_WM_SHOWWINDOW() FW_MSG(WM_SHOWWINDOW, self->OnShowWindow((BOOL)wParam, (UINT)lParam); return true;)
#define ON_WM_QUERYDRAGICON() FW_MSG(WM_QUERYDRAGICON, *pResult = (LRESULT)self->OnQueryDragIcon(); return true;)

// LRESULT fn(WPARAM, LPARAM)
#define ON_MESSAGE(msg, fn) FW_MSG(msg, *pResult = self->fn(wParam, lParam); return true;)
#define ON_REGISTERED_MESSAGE(idVar, fn)                                                                  \
  {0, 0, 0, 0, &idVar, [](::orva::fw::CWnd* w_, WPARAM wParam, LPARAM lParam, LRESULT* pResult) -> bool { \
     *pResult = static_cast<ThisClass*>(w_)->fn(wParam, lParam);                                          \
     return true;                                                                                         \
   }},

// Commands: void fn(); ranges: void fn(UINT id).
#define ON_CONTROL(code, id, fn) FW_ENTRY(WM_COMMAND, code, id, id, self->fn(); return true;)
#define ON_COMMAND(id, fn) ON_CONTROL(0, id, fn)
#define ON_COMMAND_RANGE(first, last, fn) FW_ENTRY(WM_COMMAND, 0, first, last, self->fn(LOWORD(wParam)); return true;)
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_CBN_CLOSEUP(id, fn) ON_CONTROL(CBN_CLOSEUP, id, fn)
#define ON_CBN_KILLFOCUS(id, fn) ON_CONTROL(CBN_KILLFOCUS, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)

// Notifications: void fn(NMHDR*, LRESULT*).
#define ON_NOTIFY(code, id, fn) \
  FW_ENTRY(WM_NOTIFY, (UINT)(code), id, id, self->fn((NMHDR*)lParam, pResult); return true;)
#define ON_NOTIFY_RANGE(code, first, last, fn)                                                                      \
  FW_ENTRY(WM_NOTIFY, (UINT)(code), first, last, self->fn((UINT)((NMHDR*)lParam)->idFrom, (NMHDR*)lParam, pResult); \
           return true;)

// Reflected to the control that sent them.
#define ON_NOTIFY_REFLECT(code, fn) \
  FW_ENTRY(::orva::fw::FW_REFLECT_BASE + WM_NOTIFY, (UINT)(code), 0, 0, self->fn((NMHDR*)lParam, pResult); return true;)
#define ON_NOTIFY_REFLECT_EX(code, fn)                                  \
  FW_ENTRY(::orva::fw::FW_REFLECT_BASE + WM_NOTIFY, (UINT)(code), 0, 0, \
           return self->fn((NMHDR*)lParam, pResult) != FALSE;)
#define ON_CONTROL_REFLECT(code, fn) \
  FW_ENTRY(::orva::fw::FW_REFLECT_BASE + WM_COMMAND, code, 0, 0, self->fn(); return true;)
#define ON_CONTROL_REFLECT_EX(code, fn) \
  FW_ENTRY(::orva::fw::FW_REFLECT_BASE + WM_COMMAND, code, 0, 0, return self->fn() != FALSE;)
// HBRUSH CtlColor(CDC*, UINT kind); NULL lets the parent answer.
#define ON_WM_CTLCOLOR_REFLECT()                                                                                \
  FW_MSG(::orva::fw::FW_REFLECT_BASE + ::orva::fw::FW_WM_CTLCOLOR,                                              \
         HBRUSH b = self->CtlColor(::orva::fw::CDC::FromHandle((HDC)wParam), ::orva::fw::CWnd::CtlColorKind()); \
         if (!b) return false; *pResult = (LRESULT)b; return true;)

// --- windows ------------------------------------------------------------

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd();

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object bound to a handle; FromHandle gives a temporary one for a
  // handle without an object (valid until the message loop is next idle).
  static CWnd* FromHandlePermanent(HWND h);
  static CWnd* FromHandle(HWND h);

  BOOL Attach(HWND h);
  HWND Detach();
  BOOL SubclassWindow(HWND h);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();

  // Creation binds the object before WM_NCCREATE. Class names are wide.
  virtual BOOL CreateEx(DWORD exStyle, LPCWSTR className, const char* title, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, void* param = nullptr);
  virtual BOOL Create(LPCWSTR className, const char* title, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CreateEx(0, className, title, style, rect, parent, id);
  }
  virtual BOOL DestroyWindow();

  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Default();  // default handling of the message being dispatched
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual void PreSubclassWindow() {}
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Called with a message that the parent reflects; TRUE when handled.
  virtual BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual INT_PTR OnToolHitTest(CPoint point, TOOLINFOW* info) const { return -1; }
  virtual void PostNcDestroy() {}
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Kind of the WM_CTLCOLORxxx message being dispatched (CTLCOLOR_BTN, ...).
  static UINT CtlColorKind();

  // Family, styles, ids.
  CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
  CWnd* GetOwner() const { return FromHandle(::GetWindow(m_hWnd, GW_OWNER)); }
  CWnd* GetTopLevelParent() const { return FromHandle(::GetAncestor(m_hWnd, GA_ROOT)); }
  DWORD GetStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_STYLE); }
  DWORD GetExStyle() const { return (DWORD)::GetWindowLongW(m_hWnd, GWL_EXSTYLE); }
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
  BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  int SetDlgCtrlID(int id) { return (int)::SetWindowLongPtrW(m_hWnd, GWLP_ID, id); }
  CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
  void SetDlgItemText(int id, const char* text);
  int GetDlgItemText(int id, CString& text) const;
  UINT GetDlgItemInt(int id, BOOL* ok = nullptr, BOOL isSigned = TRUE) const {
    return ::GetDlgItemInt(m_hWnd, id, ok, isSigned);
  }
  void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
  void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
  UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
  CWnd* GetNextDlgTabItem(CWnd* ctl, BOOL previous = FALSE) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, ctl ? ctl->m_hWnd : nullptr, previous));
  }

  // Texts (shown through the wide calls).
  void SetWindowText(const char* text);
  void GetWindowText(CString& text) const;
  CString GetWindowText() const {
    CString s;
    GetWindowText(s);
    return s;
  }
  int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }

  // Geometry.
  void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
  void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
  void ScreenToClient(LPPOINT p) const { ::ScreenToClient(m_hWnd, p); }
  void ClientToScreen(LPPOINT p) const { ::ClientToScreen(m_hWnd, p); }
  void ScreenToClient(LPRECT r) const;
  void ClientToScreen(LPRECT r) const;
  void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
  void MoveWindow(LPCRECT r, BOOL repaint = TRUE) {
    MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
  }
  BOOL SetWindowPos(const CWnd* after, int x, int y, int w, int h, UINT flags) {
    return ::SetWindowPos(m_hWnd, after ? after->m_hWnd : nullptr, x, y, w, h, flags);
  }
  void CenterWindow(CWnd* alternateOwner = nullptr);
  int SetWindowRgn(HRGN rgn, BOOL redraw) { return ::SetWindowRgn(m_hWnd, rgn, redraw); }

  // State.
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  BOOL IsZoomed() const { return ::IsZoomed(m_hWnd); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
  CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
  static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
  CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
  BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
  CWnd* SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }

  // Painting.
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(LPCRECT r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, r, erase); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL RedrawWindow(LPCRECT r = nullptr, HRGN rgn = nullptr, UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, r, rgn, flags);
  }
  CDC* GetDC() { return CDC::FromHandle(::GetDC(m_hWnd)); }
  CDC* GetWindowDC() { return CDC::FromHandle(::GetWindowDC(m_hWnd)); }
  int ReleaseDC(CDC* dc);
  void SetFont(CFont* font, BOOL redraw = TRUE) {
    ::SendMessageW(m_hWnd, WM_SETFONT, (WPARAM)(font ? font->m_hObject : nullptr), redraw);
  }
  CFont* GetFont() const { return CFont::FromHandle((HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }
  HICON SetIcon(HICON icon, BOOL big) { return (HICON)::SendMessageW(m_hWnd, WM_SETICON, big, (LPARAM)icon); }

  // Messages and timers.
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
  }
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
  }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms, TIMERPROC proc = nullptr) { return ::SetTimer(m_hWnd, id, ms, proc); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

  // Menus and scrolling.
  HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
  HMENU GetMenu() const { return ::GetMenu(m_hWnd); }
  BOOL SetMenu(HMENU menu) { return ::SetMenu(m_hWnd, menu); }
  BOOL GetScrollInfo(int bar, SCROLLINFO* info, UINT mask = SIF_ALL) const;
  int GetScrollPos(int bar) const { return ::GetScrollPos(m_hWnd, bar); }

 protected:
  friend LRESULT CALLBACK FwWndProc(HWND, UINT, WPARAM, LPARAM);
  friend class CDialog;
  static const FwMsgMap* GetThisMessageMap();
  virtual const FwMsgMap* GetMessageMap() const;
  const FwMsgEntry* FindEntry(UINT msg, UINT code, UINT id) const;
  // Handlers of the reflected message, found in this object's own map.
  BOOL ReflectChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Default handlers: each runs the default handling of the message.
  int OnCreate(LPCREATESTRUCT) { return (int)Default(); }
  void OnDestroy() { Default(); }
  void OnClose() { Default(); }
  void OnSize(UINT, int, int) { Default(); }
  void OnSizing(UINT, LPRECT) { Default(); }
  void OnMove(int, int) { Default(); }
  void OnPaint() { Default(); }
  BOOL OnEraseBkgnd(CDC*) { return (BOOL)Default(); }
  void OnNcPaint() { Default(); }
  BOOL OnNcActivate(BOOL) { return (BOOL)Default(); }
  void OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*) { Default(); }
  LRESULT OnNcHitTest(CPoint) { return Default(); }
  void OnActivate(UINT, CWnd*, BOOL) { Default(); }
  HBRUSH OnCtlColor(CDC*, CWnd*, UINT) { return (HBRUSH)Default(); }
  void OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
  BOOL OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
  void OnEnterSizeMove() { Default(); }
  void OnExitSizeMove() { Default(); }
  void OnSysColorChange() { Default(); }
  UINT OnGetDlgCode() { return (UINT)Default(); }
  void OnTimer(UINT_PTR) { Default(); }
  void OnSysCommand(UINT, LPARAM) { Default(); }
  void OnKillFocus(CWnd*) { Default(); }
  void OnSetFocus(CWnd*) { Default(); }
  void OnKeyDown(UINT, UINT, UINT) { Default(); }
  void OnChar(UINT, UINT, UINT) { Default(); }
  void OnLButtonDown(UINT, CPoint) { Default(); }
  void OnLButtonUp(UINT, CPoint) { Default(); }
  void OnLButtonDblClk(UINT, CPoint) { Default(); }
  void OnRButtonDown(UINT, CPoint) { Default(); }
  void OnRButtonUp(UINT, CPoint) { Default(); }
  void OnMouseMove(UINT, CPoint) { Default(); }
  void OnMouseLeave() { Default(); }
  void OnNcMouseMove(UINT, CPoint) { Default(); }
  void OnNcLButtonDown(UINT, CPoint) { Default(); }
  void OnNcLButtonUp(UINT, CPoint) { Default(); }
  void OnNcLButtonDblClk(UINT, CPoint) { Default(); }
  void OnContextMenu(CWnd*, CPoint) { Default(); }
  void OnShowWindow(BOOL, UINT) { Default(); }
  HCURSOR OnQueryDragIcon() { return (HCURSOR)Default(); }

  WNDPROC m_pfnSuper = nullptr;  // the procedure that had the window before us
  bool m_ownsWindow = false;     // created by this object (destroyed with it)
};

// Runs PreTranslateMessage from the message's window up to `stop` (or the
// top-level window); TRUE when a window ate the message.
BOOL FwPreTranslateMessage(MSG* msg, HWND stop);
// Gets and dispatches one message; FALSE on WM_QUIT (which is left posted again
// for an outer loop when `repostQuit`).
BOOL FwPumpMessage(HWND stop, bool repostQuit);
// Pumps until *done (or WM_QUIT: 0); temporaries are freed when the outermost loop is idle.
int FwRunMessageLoop(HWND stop, const bool* done, bool repostQuit);
void FwDeleteTempObjects();

// --- dialogs ------------------------------------------------------------

class CDataExchange {
 public:
  CDataExchange(CWnd* dlg, BOOL save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
  CWnd* m_pDlgWnd;
  BOOL m_bSaveAndValidate;
  bool m_failed = false;
  HWND m_lastControl = nullptr;
  HWND PrepareCtrl(int id);
  void Fail();  // marks the exchange failed and puts the focus on the last control
};

class CDialog : public CWnd {
 public:
  CDialog() = default;
  explicit CDialog(UINT idTemplate, CWnd* parent = nullptr) : m_nIDTemplate(idTemplate), m_pParentWnd(parent) {}

  virtual INT_PTR DoModal();
  // Modeless.
  virtual BOOL Create(UINT idTemplate, CWnd* parent = nullptr);
  void EndDialog(int result);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange*) {}
  BOOL UpdateData(BOOL save = TRUE);
  BOOL PreTranslateMessage(MSG* msg) override;
  void NextDlgCtrl() const { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
  void GotoDlgCtrl(CWnd* ctl) { ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, (WPARAM)ctl->m_hWnd, 1); }
  void SetDefID(UINT id) { ::SendMessageW(m_hWnd, DM_SETDEFID, id, 0); }
  DWORD GetDefID() const { return (DWORD)::SendMessageW(m_hWnd, DM_GETDEFID, 0, 0); }
  BOOL IsModal() const { return m_inModalLoop; }

  UINT m_nIDTemplate = 0;
  CWnd* m_pParentWnd = nullptr;

 protected:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnClose();
  HWND CreateFromTemplate(HWND parent);

  bool m_inModalLoop = false;
  bool m_endModal = false;
  int m_nModalResult = -1;

  DECLARE_MESSAGE_MAP()
};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Radio(CDataExchange* dx, int id, int& value);

}  // namespace orva::fw
