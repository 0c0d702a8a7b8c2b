#include "message_box.h"
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include "msgbox_template.h"
#include "fw_window.h"

namespace orva::ui {

namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT_PTR kDisabledTimer = 2;
constexpr int kMaxSuppressChars = 490;
constexpr int kMaxKeyChars = 519;
// The system box's own style bits; the kit's are above them.
constexpr UINT kSystemStyleMask = 0x00FFFFFF;
const char kEncodeTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz98";
const wchar_t kSeparator[] = L"---------------------------\r\n";
const wchar_t kIconProcProp[] = L"OrvaMsgBoxIconProc";

CMsgBoxTemplate* TemplateOf(HWND dlg) { return (CMsgBoxTemplate*)GetWindowLongPtrW(dlg, DWLP_USER); }

int ClampSeconds(int s) {
  if (s < 0) return 0;
  return s >= 1000 ? 10 : s;
}

std::wstring WindowTextW(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring s(n > 0 ? n + 1 : 1, L'\0');
  int got = GetWindowTextW(h, s.data(), (int)s.size());
  s.resize(got > 0 ? got : 0);
  return s;
}

bool IsButtonClass(HWND h) {
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  return lstrcmpiW(cls, L"Button") == 0;
}

bool CloseAllowed(const CMsgBoxTemplate* t) {
  return (t->m_flags & (CMsgBoxTemplate::FlagHasCancel | CMsgBoxTemplate::FlagSingleOk)) != 0;
}

void EnableClose(HWND dlg, bool enable) {
  HMENU menu = GetSystemMenu(dlg, FALSE);
  if (menu) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void EnableTypeButtons(HWND dlg, bool enable) {
  for (int id = 1; id <= IDCUSTOM4; ++id) {
    HWND b = GetDlgItem(dlg, id);
    if (b && IsButtonClass(b)) EnableWindow(b, enable);
  }
}

// The icon control draws the icon and nothing else.
LRESULT CALLBACK IconProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND dlg = GetParent(h);
  CMsgBoxTemplate* t = dlg ? TemplateOf(dlg) : nullptr;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (t && t->m_icon) DrawIconEx(dc, 0, 0, t->m_icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
      EndPaint(h, &ps);
      return 0;
    }
    case STM_GETICON:
      return (LRESULT)(t ? t->m_icon : nullptr);
    case WM_NCDESTROY: {
      WNDPROC old = (WNDPROC)GetPropW(h, kIconProcProp);
      RemovePropW(h, kIconProcProp);
      if (old) {
        SetWindowLongPtrW(h, GWLP_WNDPROC, (LONG_PTR)old);
        return CallWindowProcW(old, h, msg, wParam, lParam);
      }
      return 0;
    }
    default:
      return 0;
  }
}

void StopCountdown(HWND dlg, CMsgBoxTemplate* t) {
  if (t->m_countdownRunning) {
    KillTimer(dlg, kCountdownTimer);
    t->m_countdownRunning = false;
  }
  if (t->m_defaultCaptionSaved) {
    SetDlgItemTextW(dlg, t->m_defaultId, t->m_savedDefaultCaption.c_str());
    t->m_defaultCaptionSaved = false;
  }
}

void StopTimers(HWND dlg, CMsgBoxTemplate* t) {
  StopCountdown(dlg, t);
  if (t->m_disabledRunning) {
    KillTimer(dlg, kDisabledTimer);
    t->m_disabledRunning = false;
  }
}

void Finish(HWND dlg, CMsgBoxTemplate* t, int result) {
  t->m_result = result;
  t->m_done = true;
  StopTimers(dlg, t);
}

void OpenHelp(HWND dlg, const CMsgBoxTemplate* t) {
  wchar_t module[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return;
  CString path = SmbHelpFilePath(FromWideText(module));
  if (path.IsEmpty()) return;
  std::wstring file = ToWideText(path);
  if (t->m_params.helpContextId)
    WinHelpW(dlg, file.c_str(), HELP_CONTEXT, t->m_params.helpContextId);
  else
    WinHelpW(dlg, file.c_str(), HELP_PARTIALKEY, (ULONG_PTR)L"");
}

void PlaceBox(HWND dlg, const CMsgBoxTemplate* t) {
  RECT box;
  GetWindowRect(dlg, &box);
  int w = box.right - box.left, h = box.bottom - box.top;
  int x = box.left, y = box.top;
  if (t->m_params.x || t->m_params.y) {
    x = t->m_params.x;
    y = t->m_params.y;
  } else if (HWND parent = GetWindow(dlg, GW_OWNER)) {
    RECT pr;
    GetWindowRect(parent, &pr);
    x = pr.left + (pr.right - pr.left - w) / 2;
    y = pr.top + (pr.bottom - pr.top - h) / 2;
    // centred on its owner, but never off the screen
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    if (GetMonitorInfoW(MonitorFromWindow(parent, MONITOR_DEFAULTTONEAREST), &mi)) {
      const RECT& wa = mi.rcWork;
      x = std::max((int)wa.left, std::min(x, (int)wa.right - w));
      y = std::max((int)wa.top, std::min(y, (int)wa.bottom - h));
    }
  } else {
    return;
  }
  SetWindowPos(dlg, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitBox(HWND dlg, CMsgBoxTemplate* t) {
  t->m_hwnd = dlg;
  for (const CMsgBoxItem* item : t->Items())
    if (HWND c = GetDlgItem(dlg, item->id)) SendMessageW(c, WM_SETFONT, (WPARAM)t->m_font, FALSE);
  CheckDlgButton(dlg, SMB_ID_CHECKBOX, BST_UNCHECKED);
  if (t->m_disabledLeft > 0) {
    EnableTypeButtons(dlg, false);
    EnableClose(dlg, false);
  }
  if (HWND def = GetDlgItem(dlg, t->m_defaultId)) SetFocus(def);
  if (!CloseAllowed(t)) EnableClose(dlg, false);
  if (t->m_icon) {
    if (HWND icon = GetDlgItem(dlg, SMB_ID_ICON)) {
      WNDPROC old = (WNDPROC)SetWindowLongPtrW(icon, GWLP_WNDPROC, (LONG_PTR)IconProc);
      SetPropW(icon, kIconProcProp, (HANDLE)old);
    }
  }
  if (t->m_style & MB_TOPMOST) SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (t->m_style & MB_SETFOREGROUND) SetForegroundWindow(dlg);
  PlaceBox(dlg, t);
  if (t->m_timeoutLeft > 0) t->m_countdownRunning = SetTimer(dlg, kCountdownTimer, 1000, nullptr) != 0;
  if (t->m_disabledLeft > 0) t->m_disabledRunning = SetTimer(dlg, kDisabledTimer, 1000, nullptr) != 0;
  SetForegroundWindow(dlg);
}

void OnCountdown(HWND dlg, CMsgBoxTemplate* t) {
  if (!t->m_countdownRunning) return;  // a tick queued before the countdown was stopped
  if (t->m_timeoutLeft <= 0) {
    KillTimer(dlg, kCountdownTimer);
    t->m_countdownRunning = false;
    SendMessageW(dlg, WM_COMMAND, (WPARAM)((UINT)t->m_defaultId | SMB_TIMEDOUT), 0);
    return;
  }
  if (HWND def = GetDlgItem(dlg, t->m_defaultId)) {
    if (!t->m_defaultCaptionSaved) {
      t->m_savedDefaultCaption = WindowTextW(def);
      t->m_defaultCaptionSaved = true;
    }
    std::wstring text = t->m_savedDefaultCaption + L" = " + std::to_wstring(t->m_timeoutLeft);
    SetWindowTextW(def, text.c_str());
  }
  --t->m_timeoutLeft;
}

void OnDisabledTick(HWND dlg, CMsgBoxTemplate* t) {
  if (!t->m_disabledRunning) return;
  if (t->m_disabledLeft <= 0) {
    KillTimer(dlg, kDisabledTimer);
    t->m_disabledRunning = false;
    EnableTypeButtons(dlg, true);
    if (CloseAllowed(t)) EnableClose(dlg, true);
    SetWindowTextW(dlg, t->m_caption.c_str());
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return;
  }
  std::wstring text = t->m_caption + L" " + std::to_wstring(t->m_disabledLeft);
  SetWindowTextW(dlg, text.c_str());
  --t->m_disabledLeft;
}

void OnCommand(HWND dlg, CMsgBoxTemplate* t, WPARAM wParam) {
  if (t->m_done) return;
  const int id = LOWORD(wParam);
  const bool timedOut = (wParam & SMB_TIMEDOUT) != 0;
  const bool disabled = t->m_disabledRunning && !timedOut;
  switch (id) {
    case SMB_ID_REPORT:
      if (t->m_params.reportCallback) t->m_params.reportCallback(t->m_textAnsi, t->m_params.reportUserData);
      return;
    case SMB_ID_HELP:
      OpenHelp(dlg, t);
      return;
    case SMB_ID_CHECKBOX:
    case IDCLOSE:
      return;
    case IDCANCEL:
      // Esc and the Close item go nowhere while the buttons are still disabled.
      if (disabled) return;
      if (t->m_flags & CMsgBoxTemplate::FlagHasCancel)
        Finish(dlg, t, IDCANCEL);
      else if (t->m_flags & CMsgBoxTemplate::FlagSingleOk)
        Finish(dlg, t, IDOK);
      return;
    default:
      break;
  }
  // Only a button of the box ends it (not Enter's IDOK on a box without OK).
  if (disabled || !t->HasButton(id)) return;
  int result = id;
  if (IsDlgButtonChecked(dlg, SMB_ID_CHECKBOX) == BST_CHECKED) {
    result |= (int)t->RememberBit();
    if (t->m_params.suppressKey && *t->m_params.suppressKey) {
      CString name = SmbEncodeSuppressKey(t->m_params.suppressKey, t->m_params.suppressKeyNumber);
      char sub[MAX_PATH + 1] = {};
      strncpy(sub, t->m_params.settingsSubKey, MAX_PATH);
      SmbWriteRemembered(SmbSettingsKey(sub), name, (DWORD)result | (timedOut ? SMB_TIMEDOUT : 0));
    }
  }
  if (timedOut) result |= (int)SMB_TIMEDOUT;
  Finish(dlg, t, result);
}

INT_PTR CALLBACK BoxProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    SetWindowLongPtrW(dlg, DWLP_USER, lParam);
    InitBox(dlg, (CMsgBoxTemplate*)lParam);
    return FALSE;
  }
  CMsgBoxTemplate* t = TemplateOf(dlg);
  if (!t) return FALSE;
  switch (msg) {
    case WM_TIMER:
      if (wParam == kCountdownTimer)
        OnCountdown(dlg, t);
      else if (wParam == kDisabledTimer)
        OnDisabledTick(dlg, t);
      return TRUE;
    case WM_LBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
      StopCountdown(dlg, t);
      return FALSE;
    case WM_COMMAND:
      StopCountdown(dlg, t);
      OnCommand(dlg, t, wParam);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return (INT_PTR)t->ColorStatic((HDC)wParam, (HWND)lParam == GetDlgItem(dlg, t->m_textId));
    case WM_ERASEBKGND: {
      if (!t->m_brush) return FALSE;
      HDC dc = (HDC)wParam;
      RECT client;
      GetClientRect(dlg, &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      RECT band = client;
      if (HWND text = GetDlgItem(dlg, t->m_textId)) {
        RECT tr;
        GetWindowRect(text, &tr);
        MapWindowPoints(nullptr, dlg, (POINT*)&tr, 2);
        band.bottom = tr.bottom;
      }
      FillRect(dc, &band, t->m_brush);
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_DESTROY:
      StopTimers(dlg, t);
      return FALSE;
    default:
      return FALSE;
  }
}

void PutOnClipboard(const std::wstring& text) {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  HGLOBAL wide = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (text.size() + 1) * sizeof(wchar_t));
  if (wide) {
    if (void* p = GlobalLock(wide)) {
      memcpy(p, text.c_str(), text.size() * sizeof(wchar_t));
      GlobalUnlock(wide);
      if (!SetClipboardData(CF_UNICODETEXT, wide)) GlobalFree(wide);
    } else {
      GlobalFree(wide);
    }
  }
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
  HGLOBAL ansi = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (size_t)std::max(n, 0) + 1);
  if (ansi) {
    if (char* p = (char*)GlobalLock(ansi)) {
      if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), p, n, nullptr, nullptr);
      GlobalUnlock(ansi);
      if (!SetClipboardData(CF_TEXT, ansi)) GlobalFree(ansi);
    } else {
      GlobalFree(ansi);
    }
  }
  CloseClipboard();
}

struct ButtonTexts {
  std::wstring text;
};

BOOL CALLBACK CollectButton(HWND h, LPARAM lParam) {
  if (!IsButtonClass(h)) return TRUE;
  std::wstring caption = WindowTextW(h);
  caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
  ((ButtonTexts*)lParam)->text += caption + L"   ";
  return TRUE;
}

// Ctrl+C: caption, text and buttons of the box to the clipboard.
bool HandleCopyKey(HWND dlg, const CMsgBoxTemplate* t, const MSG& msg) {
  if (msg.wParam != 'C' || GetKeyState(VK_CONTROL) >= 0) return false;
  if (IsWindow(dlg) && msg.hwnd != dlg && !IsChild(dlg, msg.hwnd)) return false;
  if (!IsWindow(dlg)) return true;
  std::wstring text = kSeparator;
  text += t->m_caption + L"\r\n";
  text += kSeparator;
  text += WindowTextW(GetDlgItem(dlg, t->m_textId)) + L"\r\n";
  text += kSeparator;
  ButtonTexts buttons;
  EnumChildWindows(dlg, CollectButton, (LPARAM)&buttons);
  text += buttons.text + L"\r\n";
  text += kSeparator;
  PutOnClipboard(text);
  return true;
}

int RunBox(CMsgBoxTemplate& t, HWND owner) {
  HLOCAL block = t.CreateTemplateBlock();
  if (!block) return IDCANCEL;
  auto* dlgTemplate = (LPCDLGTEMPLATEW)LocalLock(block);
  HWND dlg = dlgTemplate
                 ? CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dlgTemplate, owner, BoxProc, (LPARAM)&t)
                 : nullptr;
  if (block) LocalUnlock(block);
  if (!dlg) {
    LocalFree(block);
    return -1;
  }
  // An owner that someone else had disabled stays disabled.
  bool reenable = owner && IsWindowEnabled(owner);
  if (reenable) EnableWindow(owner, FALSE);

  bool quit = false;
  int quitCode = 0;
  while (!t.m_done && IsWindow(dlg)) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      WaitMessage();
      continue;
    }
    if (msg.message == WM_QUIT) {
      quit = true;
      quitCode = (int)msg.wParam;
      break;
    }
    if (msg.message == WM_KEYDOWN && HandleCopyKey(dlg, &t, msg)) continue;
    if (IsDialogMessageW(dlg, &msg)) continue;
    if (!FwPreTranslateMessage(&msg, nullptr)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (reenable && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (IsWindow(dlg)) {
    StopTimers(dlg, &t);
    DestroyWindow(dlg);
  }
  LocalFree(block);
  if (quit) PostQuitMessage(quitCode);
  return t.m_done ? t.m_result : -1;
}

}  // namespace

CString SmbEncodeSuppressKey(const char* suppressKey, int number) {
  CString out;
  if (suppressKey) {
    size_t n = strnlen(suppressKey, kMaxSuppressChars);
    for (size_t i = 0; i < n; ++i) {
      int b = (signed char)suppressKey[i];
      out += kEncodeTable[(b + 5 * (int)i) & 63];
    }
  }
  out.AppendFormat("%d", number);
  return out;
}

CString SmbSettingsKey(const char* settingsSubKey) {
  wchar_t module[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH * 2);
  if (n >= MAX_PATH * 2) n = 0;
  module[n] = 0;
  const wchar_t* name = wcsrchr(module, L'\\');
  name = name ? name + 1 : module;
  CString key = "Software\\";
  if (settingsSubKey && *settingsSubKey) {
    key += settingsSubKey;
    key += "\\";
  }
  key += FromWideText(name);
  key += "\\SkinMessageBox";
  return key;
}

DWORD SmbReadRemembered(const char* subKey, const char* valueName) {
  if (!valueName || !*valueName || !subKey) return 0;
  std::wstring key = ToWideText(subKey);
  if ((int)key.size() > kMaxKeyChars) return 0;
  HKEY h;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
  DWORD value = 0, type = 0, size = sizeof(value);
  LONG rc = RegQueryValueExW(h, ToWideText(valueName).c_str(), nullptr, &type, (BYTE*)&value, &size);
  RegCloseKey(h);
  // Only a whole DWORD counts; anything longer or of another type is nothing stored.
  if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return 0;
  return value;
}

void SmbWriteRemembered(const char* subKey, const char* valueName, DWORD value) {
  if (!valueName || !*valueName || !subKey) return;
  std::wstring key = ToWideText(subKey);
  if ((int)key.size() > kMaxKeyChars) return;
  HKEY h;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExW(h, ToWideText(valueName).c_str(), 0, REG_DWORD, (const BYTE*)&value, sizeof(value));
  RegCloseKey(h);
}

CString SmbHelpFilePath(const char* modulePath) {
  CString path = modulePath ? modulePath : "";
  int slash = path.ReverseFind('\\');
  int dot = path.ReverseFind('.');
  if (dot < 0 || dot < slash) return CString();
  return path.Left(dot) + ".hlp";
}

int SkinMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style, const MessageBoxParams* params) {
  if (!owner) {
    HWND active = GetActiveWindow();
    owner = active ? GetLastActivePopup(active) : nullptr;
  } else if (GetWindowLongW(owner, GWL_STYLE) & WS_CHILD) {
    owner = GetAncestor(owner, GA_ROOT);
  }
  // A system-modal stop message is the system's own box.
  if ((style & MB_ICONMASK) == MB_ICONHAND && (style & MB_SYSTEMMODAL)) {
    HINSTANCE strings = params ? params->stringsInstance : nullptr;
    std::wstring wt = IS_INTRESOURCE(text) ? SmbLoadString(strings, (UINT)(ULONG_PTR)text, 65535) : ToWideText(text);
    std::wstring wc =
        IS_INTRESOURCE(caption) ? SmbLoadString(strings, (UINT)(ULONG_PTR)caption, 65535) : ToWideText(caption);
    return MessageBoxW(owner, wt.c_str(), caption ? wc.c_str() : nullptr, style & kSystemStyleMask);
  }
  if (!caption) caption = "Error";
  MessageBoxParams copy = params ? *params : MessageBoxParams();

  if ((style & SMB_REMEMBER_MASK) && copy.suppressKey && *copy.suppressKey) {
    char sub[MAX_PATH + 1] = {};
    strncpy(sub, copy.settingsSubKey, MAX_PATH);
    DWORD stored =
        SmbReadRemembered(SmbSettingsKey(sub), SmbEncodeSuppressKey(copy.suppressKey, copy.suppressKeyNumber));
    if (stored & SMB_REMEMBER_MASK) return (int)stored;
  }
  copy.timeoutSeconds = ClampSeconds(copy.timeoutSeconds);
  copy.disabledSeconds = ClampSeconds(copy.disabledSeconds);

  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExA(&version) && version.dwMajorVersion > 5) copy.options |= SMB_OPT_MODERN;
#pragma GCC diagnostic pop

  auto box = std::make_unique<CMsgBoxTemplate>(owner, text, caption, style, copy);
  if (!(style & SMB_NOSOUND)) MessageBeep(style & MB_ICONMASK);
  return RunBox(*box, owner);
}

int SkinMessageBox(CWnd* owner, LPCSTR text, LPCSTR caption, UINT style, const MessageBoxParams* params) {
  return SkinMessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, caption, style, params);
}

}  // namespace orva::ui
