// Small pieces shared by the replication set and repository dialogs.
#pragma once
#include "framework.h"
#include "message_box.h"
#include "skin_button.h"

namespace orva::manager {
using namespace orva::fw;
using namespace orva::ui;

inline constexpr char kBoxCaption[] = "Orvanta";
inline constexpr UINT kManagerIconId = 178;
inline constexpr COLORREF kDialogBackground = 0xFEFFFF;

// The folder picker; false when the user chose nothing.
bool BrowseForFolder(CWnd* owner, const char* title, UINT flags, CString& path);

// Face bitmap 20 keyed by skin colour 0, the 16-pixel icon of `iconSet`
// and the skin's font.
void SkinPushButton(CSkinButton& button, int iconSet);

// WM_CTLCOLOR of the dialogs: static texts transparent on the dialog brush.
HBRUSH DialogCtlColor(CDC* dc, CWnd* wnd, UINT kind, HBRUSH dialogBrush);

}  // namespace orva::manager
