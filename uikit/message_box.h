// The message box of the GUI programs: a drop-in for the system message box
// (same first four arguments, same result codes) with more button sets,
// Yes/No-to-all, caller-named buttons, Help and Report buttons, a
// do-not-show-again check box remembered in the registry, a countdown, an
// initial disabled period, own colours, an explicit position and Ctrl+C.
#pragma once
#include <windows.h>
#include "fw_string.h"

namespace orva::fw {
class CWnd;
}  // namespace orva::fw

namespace orva::ui {
using namespace orva::fw;

// Button types beyond the system's (the low four bits of the style).
constexpr UINT SMB_CONTINUEABORT = 7;
constexpr UINT SMB_SKIPSKIPALLCANCEL = 8;
constexpr UINT SMB_IGNOREIGNOREALLCANCEL = 9;

// Style bits beyond the system's.
constexpr UINT SMB_REMEMBER_ASK = 0x01000000;
constexpr UINT SMB_REMEMBER_TELL = 0x02000000;
constexpr UINT SMB_REMEMBER_SHOW = 0x04000000;
constexpr UINT SMB_REMEMBER_MASK = SMB_REMEMBER_ASK | SMB_REMEMBER_TELL | SMB_REMEMBER_SHOW;
constexpr UINT SMB_YESTOALL = 0x08000000;
constexpr UINT SMB_NOTOALL = 0x10000000;
constexpr UINT SMB_NORESOURCE = 0x20000000;
constexpr UINT SMB_NOSOUND = 0x40000000;

// Result bit: the countdown pressed the button.
constexpr UINT SMB_TIMEDOUT = 0x80000000;

// Result ids beyond the system's.
constexpr int IDSKIP = 14;
constexpr int IDSKIPALL = 15;
constexpr int IDIGNOREALL = 16;
constexpr int IDYESTOALL = 19;
constexpr int IDNOTOALL = 20;
constexpr int IDCUSTOM1 = 23;
constexpr int IDCUSTOM2 = 24;
constexpr int IDCUSTOM3 = 25;
constexpr int IDCUSTOM4 = 26;

// Ids of the other controls of the box.
constexpr int SMB_ID_ICON = 1000;
constexpr int SMB_ID_TEXT = 1001;
constexpr int SMB_ID_HELP = 300;
constexpr int SMB_ID_REPORT = 301;
constexpr int SMB_ID_CHECKBOX = 5555;

// MessageBoxParams::options
constexpr UINT SMB_OPT_RIGHT_BUTTONS = 0x1;
constexpr UINT SMB_OPT_MODERN = 0x2;
constexpr UINT SMB_OPT_NARROW = 0x4;

constexpr COLORREF SMB_DEFAULT_COLOR = (COLORREF)-1;
constexpr int SMB_CAPTION_COUNT = 19;

// Called by the Report button with the message text and the caller's data.
typedef void(CALLBACK* SmbReportCallback)(LPCSTR text, DWORD userData);

struct MessageBoxParams {
  UINT helpContextId = 0;
  int timeoutSeconds = 0;   // countdown pressing the default button
  int disabledSeconds = 0;  // buttons disabled this long at first
  int x = 0;                // top-left corner on the screen, when x or y is non-zero
  int y = 0;
  UINT options = 0;  // SMB_OPT_*
  HINSTANCE stringsInstance = nullptr;
  HINSTANCE iconInstance = nullptr;
  UINT iconId = 0;
  char iconName[MAX_PATH] = {};
  UINT customButtonsId = 0;
  char customButtons[MAX_PATH] = {};  // captions separated by "\n", at most 4
  UINT reportCaptionId = 0;
  char reportCaption[MAX_PATH] = {};
  char settingsSubKey[MAX_PATH] = {};
  const char* suppressKey = nullptr;  // identifies the message in the do-not-show-again store
  int suppressKeyNumber = 0;
  DWORD reportUserData = 0;
  SmbReportCallback reportCallback = nullptr;
  COLORREF textColor = SMB_DEFAULT_COLOR;
  COLORREF backgroundColor = SMB_DEFAULT_COLOR;
  BOOL useButtonCaptions = FALSE;
  char buttonCaptions[SMB_CAPTION_COUNT][MAX_PATH] = {};
};

// Owner may be null (the active window's last popup is used); text and
// caption may be string ids. Returns the id of the pressed button with the
// remember and time-out bits, -1 when no box could be shown.
int SkinMessageBox(HWND owner, LPCSTR text, LPCSTR caption = nullptr, UINT style = MB_OK,
                   const MessageBoxParams* params = nullptr);
int SkinMessageBox(CWnd* owner, LPCSTR text, LPCSTR caption = nullptr, UINT style = MB_OK,
                   const MessageBoxParams* params = nullptr);
inline int SkinMessageBox(decltype(nullptr), LPCSTR text, LPCSTR caption = nullptr, UINT style = MB_OK,
                          const MessageBoxParams* params = nullptr) {
  return SkinMessageBox((HWND) nullptr, text, caption, style, params);
}

// The do-not-show-again store.
CString SmbEncodeSuppressKey(const char* suppressKey, int number);
// "Software[\subKey]\<program file>\SkinMessageBox"
CString SmbSettingsKey(const char* settingsSubKey);
DWORD SmbReadRemembered(const char* subKey, const char* valueName);
void SmbWriteRemembered(const char* subKey, const char* valueName, DWORD value);

// The help file of the program: its path with the extension of the file
// name replaced by ".hlp"; empty when the file name has no extension.
CString SmbHelpFilePath(const char* modulePath);

}  // namespace orva::ui
