#include "fw_menu.h"
#include "fw_app.h"
#include <memory>
#include <unordered_map>

namespace orva::fw {

namespace {
// Non-owning objects of FromHandle, one per live menu of the thread.
thread_local std::unordered_map<HMENU, std::unique_ptr<CMenu>> g_menus;

std::wstring MenuText(const char* text) { return ToWideText(text ? text : ""); }

// Item text flags: the text pointer is only meant as a string for MF_STRING items.
bool IsStringItem(UINT flags) { return !(flags & (MF_BITMAP | MF_OWNERDRAW | MF_SEPARATOR)); }
}  // namespace

CMenu::~CMenu() {
  if (m_owned && m_hMenu) ::DestroyMenu(m_hMenu);
}

BOOL CMenu::Attach(HMENU h) {
  if (!h || m_hMenu) return FALSE;
  m_hMenu = h;
  m_owned = true;
  return TRUE;
}

HMENU CMenu::Detach() {
  HMENU h = m_hMenu;
  m_hMenu = nullptr;
  m_owned = false;
  return h;
}

CMenu* CMenu::FromHandle(HMENU h) {
  if (!h) return nullptr;
  // Objects of menus that are gone are dropped here.
  for (auto it = g_menus.begin(); it != g_menus.end();) {
    if (!::IsMenu(it->first))
      it = g_menus.erase(it);
    else
      ++it;
  }
  auto& slot = g_menus[h];
  if (!slot) {
    slot = std::make_unique<CMenu>();
    slot->m_hMenu = h;
  }
  return slot.get();
}

BOOL CMenu::LoadMenu(UINT id) { return Attach(::LoadMenuW(FwGetResourceHandle(), MAKEINTRESOURCEW(id))); }

BOOL CMenu::DestroyMenu() {
  if (!m_hMenu) return FALSE;
  HMENU h = Detach();
  return ::DestroyMenu(h);
}

int CMenu::GetMenuString(UINT item, CString& text, UINT flags) const {
  text.Empty();
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STRING;
  if (!::GetMenuItemInfoW(m_hMenu, item, (flags & MF_BYPOSITION) != 0, &mii)) return 0;
  std::wstring w(mii.cch + 1, L'\0');
  mii.dwTypeData = w.data();
  mii.cch = (UINT)w.size();
  if (!::GetMenuItemInfoW(m_hMenu, item, (flags & MF_BYPOSITION) != 0, &mii)) return 0;
  w.resize(mii.cch);
  text = FromWideText(w.c_str());
  return text.GetLength();
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const char* text) {
  if (!IsStringItem(flags)) return ::AppendMenuW(m_hMenu, flags, id, (LPCWSTR)text);
  std::wstring w = MenuText(text);
  return ::AppendMenuW(m_hMenu, flags, id, w.c_str());
}

BOOL CMenu::InsertMenu(UINT pos, UINT flags, UINT_PTR id, const char* text) {
  if (!IsStringItem(flags)) return ::InsertMenuW(m_hMenu, pos, flags, id, (LPCWSTR)text);
  std::wstring w = MenuText(text);
  return ::InsertMenuW(m_hMenu, pos, flags, id, w.c_str());
}

BOOL CMenu::ModifyMenu(UINT pos, UINT flags, UINT_PTR id, const char* text) {
  if (!IsStringItem(flags)) return ::ModifyMenuW(m_hMenu, pos, flags, id, (LPCWSTR)text);
  std::wstring w = MenuText(text);
  return ::ModifyMenuW(m_hMenu, pos, flags, id, w.c_str());
}

}  // namespace orva::fw
