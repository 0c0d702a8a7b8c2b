#include "fw_window.h"
#include "fw_app.h"
#include <climits>
#include <cstdlib>
#include <unordered_map>

namespace orva::fw {

void FwDeleteTempGdiAndDC();
LRESULT CALLBACK FwWndProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

namespace {
// Handle map of the bound objects; the receive thread of a program may ask it too.
SRWLOCK g_mapLock = SRWLOCK_INIT;
std::unordered_map<HWND, CWnd*> g_permanent;

thread_local std::unordered_map<HWND, CWnd*> g_temp;
thread_local MSG g_current{};  // the message being dispatched on this thread
thread_local CWnd* g_creating = nullptr;
thread_local HHOOK g_cbtHook = nullptr;
thread_local int g_loopDepth = 0;

LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && g_creating) {
    CWnd* wnd = g_creating;
    g_creating = nullptr;
    wnd->SubclassWindow((HWND)wParam);
  }
  return CallNextHookEx(g_cbtHook, code, wParam, lParam);
}

void HookCreate(CWnd* wnd) {
  g_creating = wnd;
  if (!g_cbtHook) g_cbtHook = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
}

void UnhookCreate() {
  g_creating = nullptr;
  if (g_cbtHook) {
    UnhookWindowsHookEx(g_cbtHook);
    g_cbtHook = nullptr;
  }
}

INT_PTR CALLBACK FwDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }
}  // namespace

LRESULT CALLBACK FwWndProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(h);
  if (!wnd) return DefWindowProcW(h, msg, wParam, lParam);
  MSG saved = g_current;
  g_current = MSG{h, msg, wParam, lParam, 0, {}};
  LRESULT r = wnd->WindowProc(msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    if ((WNDPROC)GetWindowLongPtrW(h, GWLP_WNDPROC) == FwWndProc && wnd->m_pfnSuper)
      SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)wnd->m_pfnSuper);
    wnd->Detach();
    wnd->PostNcDestroy();
  }
  g_current = saved;
  return r;
}

CWnd::~CWnd() {
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) {
    if (m_ownsWindow && ::IsWindow(m_hWnd))
      ::DestroyWindow(m_hWnd);
    else
      UnsubclassWindow();
  }
}

CWnd* CWnd::FromHandlePermanent(HWND h) {
  if (!h) return nullptr;
  AcquireSRWLockShared(&g_mapLock);
  auto it = g_permanent.find(h);
  CWnd* w = it == g_permanent.end() ? nullptr : it->second;
  ReleaseSRWLockShared(&g_mapLock);
  return w;
}

CWnd* CWnd::FromHandle(HWND h) {
  if (!h) return nullptr;
  if (CWnd* w = FromHandlePermanent(h)) return w;
  auto it = g_temp.find(h);
  if (it != g_temp.end()) return it->second;
  CWnd* w = new CWnd;
  w->m_hWnd = h;
  g_temp[h] = w;
  return w;
}

void FwDeleteTempObjects() {
  for (auto& [h, w] : g_temp) {
    w->m_hWnd = nullptr;
    delete w;
  }
  g_temp.clear();
  FwDeleteTempGdiAndDC();
}

BOOL CWnd::Attach(HWND h) {
  if (!h || m_hWnd) return FALSE;
  AcquireSRWLockExclusive(&g_mapLock);
  g_permanent[h] = this;
  ReleaseSRWLockExclusive(&g_mapLock);
  m_hWnd = h;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (h) {
    AcquireSRWLockExclusive(&g_mapLock);
    auto it = g_permanent.find(h);
    if (it != g_permanent.end() && it->second == this) g_permanent.erase(it);
    ReleaseSRWLockExclusive(&g_mapLock);
  }
  m_hWnd = nullptr;
  m_pfnSuper = nullptr;
  return h;
}

BOOL CWnd::SubclassWindow(HWND h) {
  if (!Attach(h)) return FALSE;
  PreSubclassWindow();
  WNDPROC old = (WNDPROC)SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)FwWndProc);
  if (old != FwWndProc) m_pfnSuper = old;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  HWND h = ::GetDlgItem(parent->m_hWnd, id);
  return h ? SubclassWindow(h) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (!m_hWnd) return nullptr;
  if (m_pfnSuper && (WNDPROC)GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) == FwWndProc)
    SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, (LONG_PTR)m_pfnSuper);
  return Detach();
}

static ATOM PlainClass() {
  static ATOM atom = 0;
  if (!atom) {
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = FwGetInstanceHandle();
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.lpszClassName = L"OrvaWnd";
    atom = RegisterClassW(&wc);
  }
  return atom;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, const char* title, DWORD style, const RECT& rect, CWnd* parent,
                    UINT id, void* param) {
  if (!className) className = (LPCWSTR)(ULONG_PTR)PlainClass();
  std::wstring text = ToWideText(title);
  HookCreate(this);
  HWND h = CreateWindowExW(exStyle, className, text.c_str(), style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr, (HMENU)(UINT_PTR)id,
                           FwGetInstanceHandle(), param);
  UnhookCreate();
  if (!h) {
    if (m_hWnd) Detach();
    return FALSE;
  }
  m_ownsWindow = true;
  return TRUE;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  bool permanent = FromHandlePermanent(m_hWnd) == this;
  BOOL ok = ::DestroyWindow(m_hWnd);
  if (!permanent) m_hWnd = nullptr;
  return ok;
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (!OnWndMsg(msg, wParam, lParam, &r)) r = DefWindowProc(msg, wParam, lParam);
  return r;
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return CallWindowProcW(m_pfnSuper, m_hWnd, msg, wParam, lParam);
  return ::DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWnd::Default() { return DefWindowProc(g_current.message, g_current.wParam, g_current.lParam); }

UINT CWnd::CtlColorKind() {
  return IsCtlColor(g_current.message) ? g_current.message - WM_CTLCOLORMSGBOX : CTLCOLOR_DLG;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

const FwMsgMap* CWnd::GetThisMessageMap() {
  static const FwMsgEntry entries[] = {{0, 0, 0, 0, nullptr, nullptr}};
  static const FwMsgMap map = {nullptr, entries};
  return &map;
}
const FwMsgMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const FwMsgEntry* CWnd::FindEntry(UINT msg, UINT code, UINT id) const {
  for (const FwMsgMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const FwMsgEntry* e = map->entries; e->thunk; ++e) {
      if (e->registered) {
        if (*e->registered == msg && msg != 0) return e;
      } else if (e->message == msg && e->code == code && id >= e->idFirst && id <= e->idLast) {
        return e;
      }
    }
  }
  return nullptr;
}

BOOL CWnd::OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  *result = 0;
  if (msg == WM_COMMAND) return OnCommand(wParam, lParam);
  if (msg == WM_NOTIFY) return OnNotify(wParam, lParam, result);

  // Reflection: the control that caused the message answers first.
  HWND child = nullptr;
  if (IsCtlColor(msg)) {
    child = (HWND)lParam;
  } else if (msg == WM_DRAWITEM && wParam) {
    auto* d = (DRAWITEMSTRUCT*)lParam;
    if (d->CtlType != ODT_MENU) child = d->hwndItem;
  } else if (msg == WM_MEASUREITEM && wParam) {
    auto* m = (MEASUREITEMSTRUCT*)lParam;
    if (m->CtlType != ODT_MENU) child = ::GetDlgItem(m_hWnd, m->CtlID);
  } else if ((msg == WM_HSCROLL || msg == WM_VSCROLL) && lParam) {
    child = (HWND)lParam;
  }
  if (child && child != m_hWnd) {
    CWnd* c = FromHandlePermanent(child);
    if (c && c->OnChildNotify(msg, wParam, lParam, result)) return TRUE;
  }

  const FwMsgEntry* e = FindEntry(IsCtlColor(msg) ? FW_WM_CTLCOLOR : msg, 0, 0);
  return e ? e->thunk(this, wParam, lParam, result) : FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  HWND ctl = (HWND)lParam;
  LRESULT r = 0;
  if (ctl && ctl != m_hWnd) {
    CWnd* c = FromHandlePermanent(ctl);
    if (c && c->OnChildNotify(WM_COMMAND, wParam, lParam, &r)) return TRUE;
  }
  UINT code = HIWORD(wParam);
  if (!ctl && code == 1) code = 0;  // accelerators run the menu command
  const FwMsgEntry* e = FindEntry(WM_COMMAND, code, LOWORD(wParam));
  return e ? e->thunk(this, wParam, lParam, &r) : FALSE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
  auto* nm = (NMHDR*)lParam;
  if (!nm) return FALSE;
  if (nm->hwndFrom && nm->hwndFrom != m_hWnd) {
    CWnd* c = FromHandlePermanent(nm->hwndFrom);
    if (c && c->OnChildNotify(WM_NOTIFY, wParam, lParam, result)) return TRUE;
  }
  const FwMsgEntry* e = FindEntry(WM_NOTIFY, nm->code, (UINT)nm->idFrom);
  return e ? e->thunk(this, wParam, lParam, result) : FALSE;
}

BOOL CWnd::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  return ReflectChildNotify(msg, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  UINT code = 0;
  if (msg == WM_COMMAND)
    code = HIWORD(wParam);
  else if (msg == WM_NOTIFY)
    code = ((NMHDR*)lParam)->code;
  const FwMsgEntry* e = FindEntry(FW_REFLECT_BASE + (IsCtlColor(msg) ? FW_WM_CTLCOLOR : msg), code, 0);
  return e ? e->thunk(this, wParam, lParam, result) : FALSE;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
  DWORD style = GetStyle(), next = (style & ~remove) | add;
  if (style == next) return FALSE;
  ::SetWindowLongW(m_hWnd, GWL_STYLE, (LONG)next);
  if (swpFlags)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
  DWORD style = GetExStyle(), next = (style & ~remove) | add;
  if (style == next) return FALSE;
  ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, (LONG)next);
  if (swpFlags)
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
  return TRUE;
}

void CWnd::SetWindowText(const char* text) { ::SetWindowTextW(m_hWnd, ToWideText(text).c_str()); }

void CWnd::GetWindowText(CString& text) const {
  int n = ::GetWindowTextLengthW(m_hWnd);
  std::wstring w(n + 1, L'\0');
  n = ::GetWindowTextW(m_hWnd, w.data(), n + 1);
  w.resize(n > 0 ? n : 0);
  text = FromWideText(w.c_str());
}

void CWnd::SetDlgItemText(int id, const char* text) { ::SetDlgItemTextW(m_hWnd, id, ToWideText(text).c_str()); }

int CWnd::GetDlgItemText(int id, CString& text) const {
  HWND h = ::GetDlgItem(m_hWnd, id);
  text.Empty();
  if (!h) return 0;
  CWnd* c = FromHandle(h);
  c->GetWindowText(text);
  return text.GetLength();
}

void CWnd::ScreenToClient(LPRECT r) const {
  ::ScreenToClient(m_hWnd, (LPPOINT)&r->left);
  ::ScreenToClient(m_hWnd, (LPPOINT)&r->right);
}

void CWnd::ClientToScreen(LPRECT r) const {
  ::ClientToScreen(m_hWnd, (LPPOINT)&r->left);
  ::ClientToScreen(m_hWnd, (LPPOINT)&r->right);
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
  CRect area, me;
  HWND over = alternateOwner ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
  if (!over) over = ::GetParent(m_hWnd);
  if (over && ::IsWindowVisible(over) && !::IsIconic(over)) {
    ::GetWindowRect(over, &area);
  } else {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  GetWindowRect(&me);
  int x = area.left + (area.Width() - me.Width()) / 2, y = area.top + (area.Height() - me.Height()) / 2;
  if (GetStyle() & WS_CHILD) {
    POINT p{x, y};
    ::ScreenToClient(::GetParent(m_hWnd), &p);
    x = p.x;
    y = p.y;
  }
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int CWnd::ReleaseDC(CDC* dc) { return dc ? ::ReleaseDC(m_hWnd, dc->Detach()) : 0; }

BOOL CWnd::GetScrollInfo(int bar, SCROLLINFO* info, UINT mask) const {
  info->cbSize = sizeof(*info);
  info->fMask = mask;
  return ::GetScrollInfo(m_hWnd, bar, info);
}

// --- message loops --------------------------------------------------------

BOOL FwPreTranslateMessage(MSG* msg, HWND stop) {
  for (HWND h = msg->hwnd; h;) {
    CWnd* w = CWnd::FromHandlePermanent(h);
    if (w && w->PreTranslateMessage(msg)) return TRUE;
    if (h == stop || !(GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;
    h = ::GetParent(h);
  }
  return FALSE;
}

BOOL FwPumpMessage(HWND stop, bool repostQuit) {
  MSG msg;
  if (g_loopDepth <= 1 && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) FwDeleteTempObjects();
  if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
    if (repostQuit) PostQuitMessage((int)msg.wParam);
    return FALSE;
  }
  if (!FwPreTranslateMessage(&msg, stop)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return TRUE;
}

int FwRunMessageLoop(HWND stop, const bool* done, bool repostQuit) {
  ++g_loopDepth;
  int ok = 1;
  while (!(done && *done)) {
    if (!FwPumpMessage(stop, repostQuit)) {
      ok = 0;
      break;
    }
  }
  --g_loopDepth;
  return ok;
}

// --- dialogs --------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
ON_WM_CLOSE()
END_MESSAGE_MAP()

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return OnInitDialog();
  return CWnd::WindowProc(msg, wParam, lParam);
}

// The close box and Alt+F4 end the dialog as its Cancel would.
void CDialog::OnClose() { SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

HWND CDialog::CreateFromTemplate(HWND parent) {
  HINSTANCE res = FwGetResourceHandle();
  HRSRC found = FindResourceW(res, MAKEINTRESOURCEW(m_nIDTemplate), (LPCWSTR)RT_DIALOG);
  HGLOBAL loaded = found ? LoadResource(res, found) : nullptr;
  auto* tmpl = loaded ? (LPCDLGTEMPLATEW)LockResource(loaded) : nullptr;
  if (!tmpl) return nullptr;
  HookCreate(this);
  HWND h = CreateDialogIndirectParamW(res, tmpl, parent, FwDlgProc, 0);
  UnhookCreate();
  if (!h) {
    if (m_hWnd) Detach();
    return nullptr;
  }
  m_ownsWindow = true;
  return h;
}

BOOL CDialog::Create(UINT idTemplate, CWnd* parent) {
  m_nIDTemplate = idTemplate;
  m_pParentWnd = parent;
  return CreateFromTemplate(parent ? parent->m_hWnd : nullptr) != nullptr;
}

INT_PTR CDialog::DoModal() {
  HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!parent) {
    CWnd* main = FwGetMainWnd();
    if (main && main != this && main->m_hWnd) parent = main->m_hWnd;
  }
  if (parent) parent = GetAncestor(parent, GA_ROOT);
  bool enableParent = false;
  if (parent && ::IsWindowEnabled(parent)) {
    ::EnableWindow(parent, FALSE);
    enableParent = true;
  }
  m_endModal = false;
  m_nModalResult = -1;
  m_inModalLoop = true;
  HWND h = CreateFromTemplate(parent);
  if (h && !m_endModal) {
    if (!::IsWindowVisible(h)) ::ShowWindow(h, SW_SHOWNORMAL);
    if (!FwRunMessageLoop(h, &m_endModal, true) && !m_endModal) m_nModalResult = -1;
  }
  m_inModalLoop = false;
  if (enableParent) ::EnableWindow(parent, TRUE);
  if (h && ::IsWindow(h)) {
    ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (parent) ::SetActiveWindow(parent);
    ::DestroyWindow(h);
  }
  return m_nModalResult;
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  if (m_inModalLoop) {
    m_endModal = true;
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
  } else if (m_hWnd) {
    ::ShowWindow(m_hWnd, SW_HIDE);
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return !dx.m_failed;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  bool key = msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST;
  bool mouse = msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST;
  if (!key && !mouse) return FALSE;
  return ::IsDialogMessageW(m_hWnd, msg);
}

HWND CDataExchange::PrepareCtrl(int id) {
  m_lastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  return m_lastControl;
}

void CDataExchange::Fail() {
  m_failed = true;
  if (m_bSaveAndValidate && m_lastControl) {
    ::SetFocus(m_lastControl);
    ::SendMessageW(m_lastControl, EM_SETSEL, 0, -1);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd || dx->m_failed) return;
  control.SubclassDlgItem(id, dx->m_pDlgWnd);
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  if (dx->m_failed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    CWnd::FromHandle(h)->GetWindowText(value);
  else
    ::SetWindowTextW(h, ToWideText(value).c_str());
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
  if (dx->m_failed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate) {
    CString text = CWnd::FromHandle(h)->GetWindowText();
    text.Trim();
    char* end = nullptr;
    long v = strtol(text, &end, 10);
    if (text.IsEmpty() || *end || v < INT_MIN || v > INT_MAX) {
      FrameworkMessageBox("Enter an integer.", MB_ICONEXCLAMATION);
      dx->Fail();
      return;
    }
    value = (int)v;
  } else {
    CString text;
    text.Format("%d", value);
    ::SetWindowTextW(h, ToWideText(text).c_str());
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  if (dx->m_failed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate)
    value = (int)::SendMessageW(h, BM_GETCHECK, 0, 0);
  else
    ::SendMessageW(h, BM_SETCHECK, value, 0);
}

// The group begins at `id` and runs to the next control with WS_GROUP.
void DDX_Radio(CDataExchange* dx, int id, int& value) {
  if (dx->m_failed) return;
  HWND h = dx->PrepareCtrl(id);
  if (!h) return;
  if (dx->m_bSaveAndValidate) value = -1;
  int index = 0;
  do {
    if (::SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
      if (dx->m_bSaveAndValidate) {
        if (::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
      } else {
        ::SendMessageW(h, BM_SETCHECK, index == value, 0);
      }
      ++index;
    }
    h = ::GetWindow(h, GW_HWNDNEXT);
  } while (h && !(GetWindowLongW(h, GWL_STYLE) & WS_GROUP));
}

}  // namespace orva::fw
