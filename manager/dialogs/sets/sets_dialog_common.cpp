#include "sets_dialog_common.h"

#include <objbase.h>
#include <shlobj.h>

#include "skin_button.h"
#include "skin_cache.h"

namespace orva::manager {

bool BrowseForFolder(CWnd* owner, const char* title, UINT flags, CString& path) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  char display[MAX_PATH] = {};
  BROWSEINFOA info{};
  info.hwndOwner = owner ? owner->m_hWnd : nullptr;
  info.pszDisplayName = display;
  info.lpszTitle = title;
  info.ulFlags = flags;
  bool chosen = false;
  if (PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info)) {
    char folder[MAX_PATH] = {};
    if (SHGetPathFromIDListA(list, folder)) {
      path = folder;
      chosen = true;
    }
    CoTaskMemFree(list);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return chosen;
}

void SkinPushButton(CSkinButton& button, int iconSet) {
  CSkinCache& skin = SkinCache();
  button.SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0);
  button.SetIconImages(skin.GetIcon(iconSet, 0), nullptr, 5, 0);
  if (CFont* font = skin.GetFont(1)) button.SetFont(font);
}

HBRUSH DialogCtlColor(CDC* dc, CWnd* wnd, UINT kind, HBRUSH dialogBrush) {
  if (kind == CTLCOLOR_STATIC) dc->SetBkMode(TRANSPARENT);
  (void)wnd;
  return dialogBrush;
}

}  // namespace orva::manager
