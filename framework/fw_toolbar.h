// Toolbars as the menus see them: the toolbar children of a window, and the
// image of a button found by its command.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <vector>

namespace orva::fw {

// The child windows of `window` of the toolbar class (by name, whatever its
// case), in child order.
inline std::vector<HWND> FwToolbarChildren(HWND window) {
  std::vector<HWND> found;
  if (!window) return found;
  for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    if (GetClassNameW(c, cls, 32) && lstrcmpiW(cls, TOOLBARCLASSNAMEW) == 0) found.push_back(c);
  }
  return found;
}

// The image of the button of `command` on `toolbar`: false when the toolbar
// has no button of that command or the button has no image.
inline bool FwToolbarButtonImage(HWND toolbar, UINT command, int* image) {
  TBBUTTONINFOW info{};
  info.cbSize = sizeof(info);
  info.dwMask = TBIF_IMAGE | TBIF_COMMAND;
  if (SendMessageW(toolbar, TB_GETBUTTONINFOW, command, (LPARAM)&info) == -1) return false;
  if ((UINT)info.idCommand != command || info.iImage < 0) return false;
  *image = info.iImage;
  return true;
}

inline HIMAGELIST FwToolbarImageList(HWND toolbar) { return (HIMAGELIST)SendMessageW(toolbar, TB_GETIMAGELIST, 0, 0); }

}  // namespace orva::fw
