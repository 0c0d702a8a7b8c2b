// Owner-drawn popup menus for the windows that mark themselves: the items
// are converted to owner-drawn ones just before they show, measured and
// painted flat with their images, and the system's popup-menu windows get a
// flat frame and a soft drop shadow through a thread message hook.
#pragma once
#include <string>
#include "framework.h"
#include "fw_menu.h"
#include "menu_paint.h"

namespace orva::ui {
using namespace orva::fw;

class CFlatMenu {
 public:
  CFlatMenu() = delete;

  // Counted: the hook goes when the last user removes it.
  static void InstallHook();
  static void RemoveHook();
  static bool IsHooked();

  static void SetFlatMenuWindow(HWND window, bool on);
  static bool IsFlatMenuWindow(HWND window);
  static void SetCommandImage(UINT command, HIMAGELIST imageList, int index);
  // A 16 x 16 bitmap image for a command (pixels of `transparent` left out),
  // kept in an image list of the service.
  static bool SetCommandBitmap(UINT command, HBITMAP bitmap, COLORREF transparent);

  static void UpdateMenuBar(HWND window);
  static void PrepareMenu(HWND window, HMENU menu, bool enabled, bool isMenuBar);
  static void OnMeasureItem(MEASUREITEMSTRUCT* mis);
  static BOOL OnDrawItem(DRAWITEMSTRUCT* dis, HWND owner);
  static bool IsOwnerDrawMenu(HMENU menu);
  static LRESULT OnMenuChar(HMENU menu, UINT ch, UINT flags);
  // After a system colour change: live popups paint their frames again.
  static void OnSysColorChange();

  // What the painter reads.
  static CString CommandText(UINT command);
  static CString SubmenuText(HMENU submenu);
  static CImgDesc CommandImage(UINT command);
  static CImgDesc SubmenuImage(HMENU submenu);
  static CRect PressedBarRect();
  static int WindowsLevel();
  static BYTE DrawCounter();
  static CFlatMenuWnd* FindMenuWindow(HWND popup);
  static size_t MenuWindowCount();
  static size_t SubmenuEntryCount();

  // Arithmetic of the item data.
  static int RowHeight(int textHeight) { return (textHeight + 2 > 16 ? textHeight + 2 : 16) + 4; }
  static int SeparatorHeight(int textHeight) { return textHeight / 2 + 2; }
  // Row height, widest shortcut and widest label, each kept within its bits.
  static DWORD PackItemData(int rowHeight, int shortcutWidth, int labelWidth);
  static DWORD PackBarData(int labelWidth);
  // What WM_MEASUREITEM answers for an item's data (height 0: leave it).
  static SIZE MeasureFromData(DWORD data);
  // True when `label` marks `ch` as its mnemonic with a single "&".
  static bool MatchesMnemonic(const std::wstring& label, wchar_t ch);
  static CString RemoveFirstAmpersand(const CString& label);
  static int LevelFromVersion(const OSVERSIONINFOA* version);
};

}  // namespace orva::ui
