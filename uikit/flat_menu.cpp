#include "flat_menu.h"
#include <algorithm>
#include <map>
#include <memory>
#include <vector>
#include "fw_toolbar.h"

namespace orva::ui {

namespace {
const wchar_t kMarkedProp[] = L"FlatMenuProp_Marked";
const wchar_t kOldProcProp[] = L"FlatMenuProp_OldProc";
const UINT kMenuSizeWindow = 0x1E2;  // sent to a popup-menu window before it shows

struct ServiceState {
  int hookCount = 0;
  HHOOK hook = nullptr;
  std::map<HWND, std::unique_ptr<CFlatMenuWnd>> windows;
  std::map<UINT, CString> commandTexts;
  std::map<HMENU, CString> submenuTexts;
  std::map<UINT, CImgDesc> commandImages;
  std::map<HMENU, CImgDesc> submenuImages;
  HIMAGELIST bitmapImages = nullptr;  // images given as bitmaps
  CRect pressedBar;
  BYTE drawCounter = 0;
  int level = 0;
};

ServiceState& State() {
  static ServiceState state;
  return state;
}

// The item's text, whatever its length.
CString ReadItemText(HMENU menu, UINT pos) {
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STRING;
  if (!GetMenuItemInfoW(menu, pos, TRUE, &mii) || mii.cch == 0) return CString();
  std::wstring w(mii.cch + 1, L'\0');
  mii.dwTypeData = w.data();
  mii.cch = (UINT)w.size();
  if (!GetMenuItemInfoW(menu, pos, TRUE, &mii)) return CString();
  w.resize(std::min<size_t>(mii.cch, w.size() - 1));
  return FromWideText(w.c_str());
}

// The record goes: its window gets its own procedure back.
void DeleteMenuWindow(HWND h) {
  auto& st = State();
  auto it = st.windows.find(h);
  if (WNDPROC old = (WNDPROC)GetPropW(h, kOldProcProp)) {
    SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)old);
    RemovePropW(h, kOldProcProp);
  }
  if (it != st.windows.end()) st.windows.erase(it);
}

LRESULT CALLBACK MenuWndProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto& st = State();
  WNDPROC old = (WNDPROC)GetPropW(h, kOldProcProp);
  auto callOld = [&]() {
    return old ? CallWindowProcW(old, h, msg, wParam, lParam) : DefWindowProcW(h, msg, wParam, lParam);
  };
  CFlatMenuWnd* wnd = CFlatMenu::FindMenuWindow(h);
  const bool shadow = CFlatMenu::WindowsLevel() < 8;
  switch (msg) {
    case WM_ERASEBKGND:
      if (wnd && !IsWindowVisible(h)) {
        RECT client;
        GetClientRect(h, &client);
        RECT under{wnd->screenPos.x, wnd->screenPos.y, wnd->screenPos.x + client.right + 10,
                   wnd->screenPos.y + client.bottom + 10};
        wnd->SetBackground(CaptureScreenRect(&under));
      }
      return callOld();
    case WM_SHOWWINDOW:
      if (!wParam) {
        DeleteMenuWindow(h);
        return old ? CallWindowProcW(old, h, msg, wParam, lParam) : 0;
      }
      return callOld();
    case WM_WINDOWPOSCHANGING:
      if (wnd) {
        auto* wp = (WINDOWPOS*)lParam;
        if (!(wp->flags & SWP_NOSIZE) && shadow) {
          wp->cx += 4;
          wp->cy += 4;
        }
        if (!(wp->flags & SWP_NOMOVE)) {
          wp->y -= 1;
          wnd->screenPos = POINT{wp->x, wp->y};
        }
        // The screen under the window and its shadow, before the window first shows.
        if ((wp->flags & SWP_SHOWWINDOW) && !IsWindowVisible(h) && shadow) {
          RECT now;
          GetWindowRect(h, &now);
          int cx = (wp->flags & SWP_NOSIZE) ? now.right - now.left : wp->cx;
          int cy = (wp->flags & SWP_NOSIZE) ? now.bottom - now.top : wp->cy;
          RECT under{wnd->screenPos.x, wnd->screenPos.y, wnd->screenPos.x + cx, wnd->screenPos.y + cy};
          wnd->SetBackground(CaptureScreenRect(&under));
          wnd->lastPainted.SetRectEmpty();
        }
      }
      return callOld();
    case WM_NCCALCSIZE: {
      LRESULT r = callOld();
      if (wnd && shadow && lParam) {
        auto* rc = (RECT*)lParam;  // the first rectangle either way
        rc->right -= 4;
        rc->bottom -= 4;
      }
      return r;
    }
    case WM_NCPAINT:
      if (wnd) {
        DrawMenuFrame(wnd, nullptr, true);
        return 0;
      }
      return callOld();
    case WM_PAINT: {
      LRESULT r = callOld();
      // Where the system draws the popup's border in its client area, ours goes over it.
      if ((wnd = CFlatMenu::FindMenuWindow(h)) != nullptr) DrawMenuFrameLines(wnd);
      return r;
    }
    case WM_PRINT: {
      BYTE before = st.drawCounter;
      LRESULT r = callOld();
      wnd = CFlatMenu::FindMenuWindow(h);
      if (wnd && wParam) {
        CDC dc;
        dc.Attach((HDC)wParam);
        DrawMenuFrame(wnd, &dc, st.drawCounter != before);
        dc.Detach();
      }
      return r;
    }
    case WM_NCDESTROY:
      DeleteMenuWindow(h);
      return old ? CallWindowProcW(old, h, msg, wParam, lParam) : DefWindowProcW(h, msg, wParam, lParam);
    default:
      return callOld();
  }
}

LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  auto& st = State();
  if (code == HC_ACTION) {
    auto* cwp = (CWPSTRUCT*)lParam;
    if (cwp->message == WM_CREATE || cwp->message == kMenuSizeWindow) {
      HWND fg = GetForegroundWindow();
      wchar_t cls[10] = {};
      if (fg && CFlatMenu::IsFlatMenuWindow(fg) && GetClassNameW(cwp->hwnd, cls, 10) && wcscmp(cls, L"#32768") == 0) {
        auto& rec = st.windows[cwp->hwnd];
        if (!rec) rec = std::make_unique<CFlatMenuWnd>(cwp->hwnd);
        if (!GetPropW(cwp->hwnd, kOldProcProp)) {
          LONG_PTR proc = GetWindowLongPtrW(cwp->hwnd, GWLP_WNDPROC);
          SetPropW(cwp->hwnd, kOldProcProp, (HANDLE)proc);
          SetLastError(0);
          if (!proc || (!SetWindowLongPtrW(cwp->hwnd, GWLP_WNDPROC, (LONG_PTR)MenuWndProc) && GetLastError())) {
            // The popup keeps the system's look; no record stays behind for it.
            RemovePropW(cwp->hwnd, kOldProcProp);
            st.windows.erase(cwp->hwnd);
          }
        }
      }
    } else if (cwp->message == WM_NCDESTROY && GetPropW(cwp->hwnd, kMarkedProp)) {
      RemovePropW(cwp->hwnd, kMarkedProp);  // a marked window ends
    }
  }
  return CallNextHookEx(st.hook, code, wParam, lParam);
}

int TextHeight(CDC* dc) {
  TEXTMETRICW tm{};
  dc->GetTextMetrics(&tm);
  return tm.tmHeight;
}

int TextWidth(CDC* dc, const CString& text) { return text.IsEmpty() ? 0 : dc->GetTextExtent(text).cx; }

// The position of the item that a WM_DRAWITEM names by its id.
int FindItemById(HMENU menu, UINT id) {
  int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoW(menu, i, TRUE, &mii)) continue;
    if (mii.wID == id || (mii.hSubMenu && (UINT)(UINT_PTR)mii.hSubMenu == id)) return i;
  }
  return -1;
}
bool IsDialogWindow(HWND h) {
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  return wcscmp(cls, L"#32770") == 0 || dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(h)) != nullptr;
}

bool IsMdiChild(HWND h) { return (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_MDICHILD) != 0; }

// A frame: a window of its own on the desktop, or an MDI child; never a dialog.
bool IsFrame(HWND h) {
  return h && !IsDialogWindow(h) && (!(GetWindowLongW(h, GWL_STYLE) & WS_CHILD) || IsMdiChild(h));
}

HWND ParentFrame(HWND h) {
  HWND desktop = GetDesktopWindow();
  for (HWND p = GetAncestor(h, GA_PARENT); p && p != desktop; p = GetAncestor(p, GA_PARENT))
    if (IsFrame(p)) return p;
  return nullptr;
}

// The active child of an MDI frame; null for any other window.
HWND ActiveMdiChild(HWND frame) {
  for (HWND c = GetWindow(frame, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[16] = {};
    if (GetClassNameW(c, cls, 16) && lstrcmpiW(cls, L"MDIClient") == 0)
      return (HWND)SendMessageW(c, WM_MDIGETACTIVE, 0, 0);
  }
  return nullptr;
}

// The toolbars whose buttons lend their images to a window's popups: the
// window's own when it is a frame with toolbars, else those of its parent
// frame (past an MDI child to its frame); a dialog has none.
std::vector<HWND> MenuToolbars(HWND window) {
  if (IsFrame(window)) {
    std::vector<HWND> own = FwToolbarChildren(window);
    if (!own.empty()) return own;
  }
  HWND frame = ParentFrame(window);
  if (frame && IsMdiChild(frame)) frame = ParentFrame(frame);
  return frame ? FwToolbarChildren(frame) : std::vector<HWND>();
}
}  // namespace

// --- hook and marks -------------------------------------------------------------------

void CFlatMenu::InstallHook() {
  auto& st = State();
  ++st.hookCount;
  if (!st.hook) st.hook = SetWindowsHookExA(WH_CALLWNDPROC, CallWndHook, FwGetInstanceHandle(), GetCurrentThreadId());
}

void CFlatMenu::RemoveHook() {
  auto& st = State();
  if (st.hookCount == 0) return;
  if (--st.hookCount > 0) return;
  std::vector<HWND> live;
  for (auto& [h, rec] : st.windows) live.push_back(h);
  for (HWND h : live) DeleteMenuWindow(h);
  st.windows.clear();
  if (st.hook) UnhookWindowsHookEx(st.hook);
  st.hook = nullptr;
}

bool CFlatMenu::IsHooked() { return State().hook != nullptr; }

void CFlatMenu::SetFlatMenuWindow(HWND window, bool on) {
  if (on)
    SetPropW(window, kMarkedProp, (HANDLE)1);
  else
    RemovePropW(window, kMarkedProp);
}

bool CFlatMenu::IsFlatMenuWindow(HWND window) { return window && GetPropW(window, kMarkedProp) != nullptr; }

void CFlatMenu::SetCommandImage(UINT command, HIMAGELIST imageList, int index) {
  State().commandImages[command] = CImgDesc(imageList, index);
}

bool CFlatMenu::SetCommandBitmap(UINT command, HBITMAP bitmap, COLORREF transparent) {
  auto& st = State();
  if (!bitmap) return false;
  if (!st.bitmapImages) st.bitmapImages = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8);
  if (!st.bitmapImages) return false;
  int index = ImageList_AddMasked(st.bitmapImages, bitmap, transparent);
  if (index < 0) return false;
  SetCommandImage(command, st.bitmapImages, index);
  return true;
}

// --- conversion -------------------------------------------------------------------------------

void CFlatMenu::UpdateMenuBar(HWND window) {
  HMENU bar = GetMenu(window);
  if (!IsFlatMenuWindow(window) || !bar) return;
  PrepareMenu(window, bar, true, true);
  DrawMenuBar(window);
}

void CFlatMenu::PrepareMenu(HWND window, HMENU menu, bool enabled, bool isMenuBar) {
  auto& st = State();
  if (!enabled || !menu) return;
  for (auto it = st.submenuTexts.begin(); it != st.submenuTexts.end();)
    it = IsMenu(it->first) ? std::next(it) : st.submenuTexts.erase(it);
  for (auto it = st.submenuImages.begin(); it != st.submenuImages.end();)
    it = IsMenu(it->first) ? std::next(it) : st.submenuImages.erase(it);

  CWnd* main = FwGetMainWnd();
  CClientDC dc(main && main->m_hWnd ? main : nullptr);
  CStockSelect font(&dc, DEFAULT_GUI_FONT);
  int textHeight = TextHeight(&dc);
  int rowHeight = RowHeight(textHeight);
  int separatorHeight = SeparatorHeight(textHeight);

  std::vector<HWND> toolbars;
  if (!isMenuBar && window) {
    // The system menu of an MDI frame's active child is left to the system.
    HWND active = ActiveMdiChild(window);
    if (active && GetSystemMenu(active, FALSE) == menu) {
      st.pressedBar.SetRectEmpty();
      return;
    }
    toolbars = MenuToolbars(window);
  }

  int count = GetMenuItemCount(menu);
  for (int pos = 0; pos < count; ++pos) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
    if (!GetMenuItemInfoW(menu, pos, TRUE, &mii)) continue;
    if (mii.fType & MFT_OWNERDRAW) continue;  // converted before; its texts stay
    if (isMenuBar && (mii.fType & MFT_BITMAP)) continue;
    CString text = ReadItemText(menu, pos);
    MENUITEMINFOW set{};
    set.cbSize = sizeof(set);
    set.fMask = MIIM_FTYPE;
    set.fType = mii.fType | MFT_OWNERDRAW;
    if (isMenuBar) {
      CRect r(0, 0, 1000, 0);
      dc.DrawText(text, &r, DT_CALCRECT | DT_SINGLELINE);
      set.fMask |= MIIM_DATA;
      set.dwItemData = PackBarData(r.Width());
    }
    SetMenuItemInfoW(menu, pos, TRUE, &set);
    if (mii.fType & MFT_SEPARATOR) continue;
    if (mii.hSubMenu)
      st.submenuTexts[mii.hSubMenu] = text;
    else
      st.commandTexts[mii.wID] = text;
    // The first toolbar with a button of this command lends its image.
    for (HWND toolbar : toolbars) {
      int image = -1;
      if (!FwToolbarButtonImage(toolbar, mii.wID, &image)) continue;
      CImgDesc found(FwToolbarImageList(toolbar), image);
      if (mii.hSubMenu)
        st.submenuImages[mii.hSubMenu] = found;
      else
        st.commandImages[mii.wID] = found;
      break;
    }
  }
  if (isMenuBar) return;

  int widestLabel = 0, widestShortcut = 0;
  for (int pos = 0; pos < count; ++pos) {
    CMenuItemView item(menu, pos, true);
    if (!item.IsValid() || item.IsSeparator()) continue;
    CString label = item.Label();
    if (label.IsEmpty()) continue;
    CBoldSelect bold(&dc, item.IsDefault());
    widestLabel = std::max(widestLabel, TextWidth(&dc, RemoveFirstAmpersand(label)));
    widestShortcut = std::max(widestShortcut, TextWidth(&dc, item.Shortcut()));
  }
  for (int pos = 0; pos < count; ++pos) {
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_FTYPE;
    if (!GetMenuItemInfoW(menu, pos, TRUE, &mii)) continue;
    MENUITEMINFOW set{};
    set.cbSize = sizeof(set);
    set.fMask = MIIM_DATA;
    set.dwItemData = (mii.fType & MFT_SEPARATOR) ? (DWORD)std::min(separatorHeight, 0xFF)
                                                 : PackItemData(rowHeight, widestShortcut, widestLabel);
    SetMenuItemInfoW(menu, pos, TRUE, &set);
  }
}

// --- measuring, painting, keys -----------------------------------------------------------------

DWORD CFlatMenu::PackItemData(int rowHeight, int shortcutWidth, int labelWidth) {
  // Wider texts than the bits hold are cut to the widest the bits can tell.
  DWORD row = (DWORD)std::clamp(rowHeight, 0, 0xFF);
  DWORD shortcut = (DWORD)std::clamp(shortcutWidth, 0, 0xFF);
  DWORD label = (DWORD)std::clamp(labelWidth, 0, 0xFFFF);
  return row | shortcut << 8 | label << 16;
}

DWORD CFlatMenu::PackBarData(int labelWidth) { return (DWORD)std::clamp(labelWidth, 0, 0xFFFF) << 16; }

SIZE CFlatMenu::MeasureFromData(DWORD data) {
  int height = data & 0xFF;
  if (height) return SIZE{(int)(data >> 16) + (int)((data >> 8) & 0xFF) + 42, height};
  return SIZE{(int)(data >> 16) + 4, 0};
}

void CFlatMenu::OnMeasureItem(MEASUREITEMSTRUCT* mis) {
  if (!mis || mis->CtlType != ODT_MENU) return;
  SIZE s = MeasureFromData((DWORD)mis->itemData);
  mis->itemWidth = s.cx;
  if (s.cy) mis->itemHeight = s.cy;
}

BOOL CFlatMenu::OnDrawItem(DRAWITEMSTRUCT* dis, HWND owner) {
  auto& st = State();
  if (!dis || dis->CtlType != ODT_MENU) return FALSE;
  HMENU menu = (HMENU)dis->hwndItem;
  int pos = FindItemById(menu, dis->itemID);
  CMenuItemView item(menu, pos >= 0 ? (UINT)pos : dis->itemID, pos >= 0);
  CDC target;
  target.Attach(dis->hDC);
  CRect pressed;
  bool pressedBar;
  {
    CBufferDC buffer(&target, &dis->rcItem);
    CStockSelect font(&buffer, DEFAULT_GUI_FONT);
    pressedBar = DrawMenuItem(item, &buffer, &dis->rcItem, (dis->itemState & ODS_SELECTED) != 0,
                              (dis->itemData & 0xFF) == 0, (dis->itemState & ODS_HOTLIGHT) != 0,
                              (dis->itemState & ODS_INACTIVE) != 0, (dis->itemState & ODS_NOACCEL) != 0, &pressed);
  }
  target.Detach();
  if (pressedBar && owner) {
    POINT left{pressed.left, 0}, right{pressed.right, 0};
    ClientToScreen(owner, &left);
    ClientToScreen(owner, &right);
    RECT first{};
    GetMenuItemRect(owner, menu, 0, &first);
    st.pressedBar = CRect(left.x, first.top, right.x, first.bottom);
    if (dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(owner))) st.pressedBar.OffsetRect(1, 0);
  }
  ++st.drawCounter;
  return TRUE;
}

bool CFlatMenu::IsOwnerDrawMenu(HMENU menu) {
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_FTYPE;
  return menu && GetMenuItemInfoW(menu, 0, TRUE, &mii) && (mii.fType & MFT_OWNERDRAW);
}

bool CFlatMenu::MatchesMnemonic(const std::wstring& label, wchar_t ch) {
  wchar_t want = (wchar_t)(UINT_PTR)CharUpperW((LPWSTR)(UINT_PTR)ch);
  for (int i = (int)label.size() - 2; i >= 0; --i) {
    if (label[i] != L'&') continue;
    wchar_t next = (wchar_t)(UINT_PTR)CharUpperW((LPWSTR)(UINT_PTR)label[i + 1]);
    if (next != want) continue;
    if (i == 0 || label[i - 1] != L'&') return true;
    // the second "&" of "&&": a plain ampersand; look further on
  }
  return false;
}

LRESULT CFlatMenu::OnMenuChar(HMENU menu, UINT ch, UINT flags) {
  if (!(flags == 0 || ((flags & MF_POPUP) && !(flags & MF_SYSMENU)))) return 0;
  int count = GetMenuItemCount(menu);
  for (int pos = 0; pos < count; ++pos) {
    CMenuItemView item(menu, pos, true);
    if (!item.IsValid() || item.IsSeparator()) continue;
    if (MatchesMnemonic(ToWideText(item.Label()), (wchar_t)ch)) return MAKELRESULT(pos, MNC_EXECUTE);
  }
  return 0;
}

void CFlatMenu::OnSysColorChange() {
  for (auto& [h, rec] : State().windows) {
    rec->lastPainted.SetRectEmpty();
    RedrawWindow(h, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
  }
}

// --- state --------------------------------------------------------------------------------------

CString CFlatMenu::CommandText(UINT command) {
  auto& m = State().commandTexts;
  auto it = m.find(command);
  return it == m.end() ? CString() : it->second;
}

CString CFlatMenu::SubmenuText(HMENU submenu) {
  auto& m = State().submenuTexts;
  auto it = m.find(submenu);
  return it == m.end() ? CString() : it->second;
}

CImgDesc CFlatMenu::CommandImage(UINT command) {
  auto& m = State().commandImages;
  auto it = m.find(command);
  return it == m.end() ? CImgDesc() : it->second;
}

CImgDesc CFlatMenu::SubmenuImage(HMENU submenu) {
  auto& m = State().submenuImages;
  auto it = m.find(submenu);
  return it == m.end() ? CImgDesc() : it->second;
}

CRect CFlatMenu::PressedBarRect() { return State().pressedBar; }
BYTE CFlatMenu::DrawCounter() { return State().drawCounter; }

CFlatMenuWnd* CFlatMenu::FindMenuWindow(HWND popup) {
  auto& m = State().windows;
  auto it = m.find(popup);
  return it == m.end() ? nullptr : it->second.get();
}

size_t CFlatMenu::MenuWindowCount() { return State().windows.size(); }
size_t CFlatMenu::SubmenuEntryCount() { return State().submenuTexts.size() + State().submenuImages.size(); }

CString CFlatMenu::RemoveFirstAmpersand(const CString& label) {
  CString s = label;
  int amp = s.Find('&');
  if (amp >= 0) s.Delete(amp);
  return s;
}

int CFlatMenu::LevelFromVersion(const OSVERSIONINFOA* v) {
  switch (v->dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return 1;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (v->dwMajorVersion == 4 && v->dwMinorVersion == 10) return 3;
      if (v->dwMajorVersion == 4 && v->dwMinorVersion == 90) return 4;
      return 2;
    case VER_PLATFORM_WIN32_NT:
      if (v->dwMajorVersion == 4) return 6;
      if (v->dwMajorVersion == 5 && v->dwMinorVersion == 0) return 7;
      if (v->dwMajorVersion == 5 && v->dwMinorVersion == 1) return 8;
      return 5;
    default:
      return 0;
  }
}

int CFlatMenu::WindowsLevel() {
  auto& st = State();
  if (st.level == 0) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof(v);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&v)) st.level = LevelFromVersion(&v);
#pragma GCC diagnostic pop
  }
  return st.level;
}

}  // namespace orva::ui
