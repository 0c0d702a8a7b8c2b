// Menus: the menu object over an HMENU, and the message-map entries of the
// menu messages that a window handles itself.
#pragma once
#include <windows.h>
#include "fw_string.h"
#include "fw_window.h"

namespace orva::fw {

class CMenu {
 public:
  CMenu() = default;
  CMenu(const CMenu&) = delete;
  CMenu& operator=(const CMenu&) = delete;
  // A loaded or created menu is destroyed with its object unless it was detached.
  virtual ~CMenu();

  HMENU m_hMenu = nullptr;
  operator HMENU() const { return m_hMenu; }
  HMENU GetSafeHmenu() const { return m_hMenu; }

  BOOL Attach(HMENU h);
  HMENU Detach();
  // A non-owning object for a handle; it stays valid while the menu lives.
  static CMenu* FromHandle(HMENU h);

  BOOL LoadMenu(UINT id);
  BOOL CreateMenu() { return Attach(::CreateMenu()); }
  BOOL CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
  BOOL DestroyMenu();

  int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
  UINT GetMenuItemID(int pos) const { return ::GetMenuItemID(m_hMenu, pos); }
  UINT GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
  CMenu* GetSubMenu(int pos) const { return FromHandle(::GetSubMenu(m_hMenu, pos)); }
  // Item text of any length (MF_BYCOMMAND or MF_BYPOSITION).
  int GetMenuString(UINT item, CString& text, UINT flags) const;
  CString GetMenuString(UINT item, UINT flags) const {
    CString s;
    GetMenuString(item, s, flags);
    return s;
  }

  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr);
  BOOL InsertMenu(UINT pos, UINT flags, UINT_PTR id = 0, const char* text = nullptr);
  BOOL ModifyMenu(UINT pos, UINT flags, UINT_PTR id = 0, const char* text = nullptr);
  BOOL RemoveMenu(UINT pos, UINT flags) { return ::RemoveMenu(m_hMenu, pos, flags); }
  BOOL DeleteMenu(UINT pos, UINT flags) { return ::DeleteMenu(m_hMenu, pos, flags); }
  UINT CheckMenuItem(UINT id, UINT check) { return ::CheckMenuItem(m_hMenu, id, check); }
  UINT EnableMenuItem(UINT id, UINT enable) { return ::EnableMenuItem(m_hMenu, id, enable); }
  BOOL CheckMenuRadioItem(UINT first, UINT last, UINT item, UINT flags) {
    return ::CheckMenuRadioItem(m_hMenu, first, last, item, flags);
  }
  BOOL SetDefaultItem(UINT item, BOOL byPos = FALSE) { return ::SetMenuDefaultItem(m_hMenu, item, byPos); }
  BOOL GetMenuItemInfo(UINT item, MENUITEMINFOW* info, BOOL byPos = FALSE) const {
    return ::GetMenuItemInfoW(m_hMenu, item, byPos, info);
  }
  BOOL SetMenuItemInfo(UINT item, const MENUITEMINFOW* info, BOOL byPos = FALSE) {
    return ::SetMenuItemInfoW(m_hMenu, item, byPos, info);
  }
  BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT = nullptr) const {
    return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner ? owner->m_hWnd : nullptr, nullptr);
  }

 private:
  bool m_owned = false;
};

// Menu messages: void OnMeasureItem(int id, LPMEASUREITEMSTRUCT),
// void OnDrawItem(int id, LPDRAWITEMSTRUCT), void OnInitMenuPopup(CMenu*, UINT index, BOOL sysMenu),
// LRESULT OnMenuChar(UINT ch, UINT flags, CMenu*).
#ifndef ON_WM_MEASUREITEM
#define ON_WM_MEASUREITEM() \
  FW_MSG(WM_MEASUREITEM, self->OnMeasureItem((int)wParam, (LPMEASUREITEMSTRUCT)lParam); *pResult = TRUE; return true;)
#endif
#ifndef ON_WM_DRAWITEM
#define ON_WM_DRAWITEM() \
  FW_MSG(WM_DRAWITEM, self->OnDrawItem((int)wParam, (LPDRAWITEMSTRUCT)lParam); *pResult = TRUE; return true;)
#endif
#ifndef ON_WM_INITMENUPOPUP
#define ON_WM_INITMENUPOPUP()                                                                                 \
  FW_MSG(WM_INITMENUPOPUP,                                                                                    \
         self->OnInitMenuPopup(::orva::fw::CMenu::FromHandle((HMENU)wParam), LOWORD(lParam), HIWORD(lParam)); \
         return true;)
#endif
#ifndef ON_WM_MENUCHAR
#define ON_WM_MENUCHAR()                                                                                            \
  FW_MSG(WM_MENUCHAR,                                                                                               \
         *pResult = self->OnMenuChar(LOWORD(wParam), HIWORD(wParam), ::orva::fw::CMenu::FromHandle((HMENU)lParam)); \
         return true;)
#endif

}  // namespace orva::fw
