// The message box on a display: its template measured in the real font, and
// real boxes under Wine driven from a second thread: buttons pressed by
// message, results, timers, the registry store and the clipboard read back.
// (The layout as plain arithmetic is in msgbox_template_tests.cpp.)
#include <gtest/gtest.h>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include "gui_test_support.h"
#include "message_box.h"
#include "msgbox_template.h"
#include "msgbox_template_reader.h"
#include "msgbox_test_resource.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace {

CWinApp theApp("Orvanta");

const CString kKorean = SourceText(u8"백업 관리");  // "backup manager", in code page 949
const wchar_t kKoreanW[] = L"\uBC31\uC5C5 \uAD00\uB9AC";
const char kTestSubKey[] = "OrvaMsgBoxTests";
const wchar_t kTestRoot[] = L"Software\\OrvaMsgBoxTests";

HMODULE g_strings = nullptr;
HWND g_ui = nullptr;

// --- driving real boxes ------------------------------------------------------

std::wstring TextOf(HWND h) {
  wchar_t buf[4096] = {};
  GetWindowTextW(h, buf, 4096);
  return buf;
}

struct Finder {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK FindBoxProc(HWND h, LPARAM l) {
  auto* f = (Finder*)l;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(h)) return TRUE;
  if (wcscmp(cls, L"#32770") != 0) return TRUE;
  if (TextOf(h).compare(0, f->prefix.size(), f->prefix) != 0) return TRUE;
  f->found = h;
  return FALSE;
}

HWND WaitForBox(const std::wstring& prefix, int ms = 5000) {
  DWORD end = GetTickCount() + ms;
  do {
    Finder f{prefix};
    EnumWindows(FindBoxProc, (LPARAM)&f);
    if (f.found) {
      Sleep(150);  // let it finish painting
      return f.found;
    }
    Sleep(20);
  } while ((int)(end - GetTickCount()) > 0);
  return nullptr;
}

// Runs `f` on the UI thread (which pumps inside the box's loop).
void OnUi(const std::function<void()>& f) {
  DWORD_PTR r;
  SendMessageTimeoutW(g_ui, WM_APP, 0, (LPARAM)&f, SMTO_NORMAL, 5000, &r);
}

LRESULT CALLBACK UiProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_APP) {
    (*(const std::function<void()>*)l)();
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

// A thread that waits for the box with the caption and drives it.
class Driver {
 public:
  Driver(std::wstring caption, std::function<void(HWND)> f, int waitMs = 5000)
      : m_thread([caption, f, waitMs, desktop = GetThreadDesktop(GetCurrentThreadId())] {
          SetThreadDesktop(desktop);  // a new thread starts on the default desktop under Wine
          f(WaitForBox(caption, waitMs));
        }) {}
  ~Driver() { Join(); }
  void Join() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::thread m_thread;
};

void Press(HWND box, int id) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box, id)); }
void Click(HWND box, int id) { PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0); }
void Key(HWND box, int id, WPARAM vk) { PostMessageW(GetDlgItem(box, id), WM_KEYDOWN, vk, 0); }

std::vector<int> ButtonIdsLeftToRight(HWND box) {
  std::vector<std::pair<int, int>> found;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[16] = {};
    GetClassNameW(c, cls, 16);
    LONG style = GetWindowLongW(c, GWL_STYLE);
    if (lstrcmpiW(cls, L"Button") || (style & 0xF) == BS_AUTOCHECKBOX) continue;
    RECT r;
    GetWindowRect(c, &r);
    found.push_back({r.left, GetDlgCtrlID(c)});
  }
  std::sort(found.begin(), found.end());
  std::vector<int> ids;
  for (auto& p : found) ids.push_back(p.second);
  return ids;
}

std::wstring ReadClipboard(UINT format) {
  std::wstring out;
  if (!OpenClipboard(nullptr)) return out;
  if (HANDLE h = GetClipboardData(format)) {
    if (void* p = GlobalLock(h)) {
      if (format == CF_UNICODETEXT) {
        out = (const wchar_t*)p;
      } else {
        const char* s = (const char*)p;
        out.assign(s, s + strlen(s));
      }
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return out;
}

void DeleteTestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot); }

MessageBoxParams Remembering(const char* key, int number = 0) {
  MessageBoxParams p;
  strcpy(p.settingsSubKey, kTestSubKey);
  p.suppressKey = key;
  p.suppressKeyNumber = number;
  return p;
}

DWORD StoredValue(const char* key, int number, DWORD* type = nullptr) {
  CString sub = SmbSettingsKey(kTestSubKey);
  CString name = SmbEncodeSuppressKey(key, number);
  HKEY h;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, ToWideText(sub).c_str(), 0, KEY_READ, &h)) return 0xDEAD;
  DWORD v = 0, t = 0, size = sizeof(v);
  LONG rc = RegQueryValueExW(h, ToWideText(name).c_str(), nullptr, &t, (BYTE*)&v, &size);
  RegCloseKey(h);
  if (type) *type = t;
  return rc == ERROR_SUCCESS ? v : 0xDEAD;
}

}  // namespace

// --- template bytes ------------------------------------------------------------

TEST(MsgBoxTemplateBytes, ManyLinesMeasuredForRealStayOnTheScreen) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "Line " + std::to_string(i) + "\n";
  text += std::string(3000, 'W');  // one word longer than any line
  CMsgBoxTemplate t(nullptr, text.c_str(), "c", MB_OK | MB_ICONEXCLAMATION, MessageBoxParams());
  EXPECT_LE(t.m_dialogRect.Height(), GetSystemMetrics(SM_CYSCREEN));
  EXPECT_LE(t.m_dialogRect.Width(), GetSystemMetrics(SM_CXSCREEN));
  ReadTemplate r;
  ASSERT_TRUE(Parse(t.Serialize(), r));
  for (const ReadItem& i : r.items) {
    EXPECT_GE(i.x, 0);
    EXPECT_GE(i.y, 0);
    EXPECT_GE(i.cx, 0);
    EXPECT_GE(i.cy, 0);
  }
}

TEST(MsgBoxStore, ValueNameKeyAndHelpFile) {
  // 'A' (65) at 0 -> 1 'B'; 'B' (66) + 5 -> 71 & 63 = 7 'H'
  EXPECT_EQ(SmbEncodeSuppressKey("AB", 7), CString("BH7"));
  // a byte above 127 counts as negative: -21 & 63 = 43 -> 'h'
  EXPECT_EQ(SmbEncodeSuppressKey("\xEB", 0), CString("h0"));
  EXPECT_EQ(SmbEncodeSuppressKey("", -3), CString("-3"));
  EXPECT_EQ(SmbEncodeSuppressKey(std::string(2000, 'k').c_str(), 12).GetLength(), 490 + 2);
  CString key = SmbSettingsKey("Sub");
  EXPECT_EQ(key.Left(13), CString("Software\\Sub\\"));
  EXPECT_EQ(key.Right(32), CString("\\msgbox_tests.exe\\SkinMessageBox"));
  EXPECT_EQ(SmbSettingsKey("").Find("\\\\"), -1);
  EXPECT_EQ(SmbHelpFilePath("C:\\Orvanta\\OrvaManager.exe"), CString("C:\\Orvanta\\OrvaManager.hlp"));
  EXPECT_EQ(SmbHelpFilePath("C:\\Orva.nta\\OrvaManager"), CString(""));
  EXPECT_EQ(SmbHelpFilePath("OrvaManager"), CString(""));
}

// --- real boxes ----------------------------------------------------------------

TEST(SkinBox, EveryButtonGivesItsIdAndShowsItsCaption) {
  struct Case {
    UINT style;
    std::vector<int> ids;
    std::vector<std::wstring> captions;
  } cases[] = {
      {MB_OK, {1}, {L"OK"}},
      {MB_OKCANCEL, {1, 2}, {L"OK", L"Cancel"}},
      {MB_ABORTRETRYIGNORE, {3, 4, 5}, {L"&Abort", L"&Retry", L"&Ignore"}},
      {MB_YESNOCANCEL | SMB_YESTOALL | SMB_NOTOALL,
       {6, 19, 7, 20, 2},
       {L"&Yes", L"Y&es to All", L"&No", L"N&o to All", L"Cancel"}},
      {MB_YESNO, {6, 7}, {L"&Yes", L"&No"}},
      {MB_RETRYCANCEL, {4, 2}, {L"&Retry", L"Cancel"}},
      {MB_CANCELTRYCONTINUE, {2, 10, 11}, {L"Cancel", L"&Try Again", L"&Continue"}},
      {SMB_CONTINUEABORT, {11, 3}, {L"&Continue", L"&Abort"}},
      {SMB_SKIPSKIPALLCANCEL, {14, 15, 2}, {L"&Skip", L"S&kip All", L"Cancel"}},
      {SMB_IGNOREIGNOREALLCANCEL, {5, 16, 2}, {L"&Ignore", L"I&gnore All", L"Cancel"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    for (int id : c.ids) {
      std::wstring caption = L"Buttons " + std::to_wstring(++n);
      std::vector<int> order;
      std::vector<std::wstring> captions;
      Driver d(caption, [&](HWND box) {
        if (!box) return;
        order = ButtonIdsLeftToRight(box);
        for (int i : order) captions.push_back(TextOf(GetDlgItem(box, i)));
        Click(box, id);
      });
      int r = SkinMessageBox(nullptr, "Which one?", FromWideText(caption.c_str()), c.style | SMB_NOSOUND);
      d.Join();
      EXPECT_EQ(r, id) << std::hex << c.style;
      EXPECT_EQ(order, c.ids);
      EXPECT_EQ(captions, c.captions);
    }
  }
}

TEST(SkinBox, EscapeEnterAndTheCloseItem) {
  struct Case {
    UINT style;
    WPARAM key;
    int want;  // 0: the box stays
    bool closeGreyed;
  } cases[] = {
      {MB_YESNO, VK_ESCAPE, 0, true},
      {MB_OK, VK_ESCAPE, IDOK, false},
      {MB_OKCANCEL, VK_ESCAPE, IDCANCEL, false},
      {MB_YESNO | MB_DEFBUTTON2, VK_RETURN, IDNO, true},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, VK_RETURN, IDIGNORE, true},
      {MB_OK | SMB_REMEMBER_ASK, VK_ESCAPE, IDOK, false},  // Esc never adds the remember bit
  };
  int n = 0;
  for (const Case& c : cases) {
    std::wstring caption = L"Keys " + std::to_wstring(++n);
    bool stayed = false, greyed = false;
    Driver d(caption, [&](HWND box) {
      if (!box) return;
      greyed = (GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0;
      CheckDlgButton(box, SMB_ID_CHECKBOX, BST_CHECKED);
      Key(box, ButtonIdsLeftToRight(box)[0], c.key);
      Sleep(300);
      stayed = IsWindow(box) && IsWindowVisible(box);
      if (stayed) {
        PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);  // greyed: does nothing either
        Sleep(200);
        stayed = IsWindow(box);
        if (stayed) Press(box, IDNO);
      }
    });
    int r = SkinMessageBox(nullptr, "Press a key", FromWideText(caption.c_str()), c.style | SMB_NOSOUND);
    d.Join();
    EXPECT_EQ(greyed, c.closeGreyed) << n;
    if (c.want == 0) {
      EXPECT_TRUE(stayed) << n;
      EXPECT_EQ(r, IDNO) << n;
    } else {
      EXPECT_EQ(r, c.want) << n;
    }
  }
}

TEST(SkinBox, CustomButtonsAndTheirIds) {
  MessageBoxParams p;
  strcpy(p.customButtons, "Backup\nRestore\nSkip it");
  std::vector<int> order;
  bool escIgnored = false;
  Driver d(L"Custom", [&](HWND box) {
    if (!box) return;
    order = ButtonIdsLeftToRight(box);
    Key(box, 23, VK_ESCAPE);
    Sleep(250);
    escIgnored = IsWindow(box);
    Click(box, 24);
  });
  int r = SkinMessageBox(nullptr, "Choose", "Custom", MB_OK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(order, (std::vector<int>{23, 24, 25}));
  EXPECT_TRUE(escIgnored);
  EXPECT_EQ(r, 24);
}

namespace {
std::string g_reported;
DWORD g_reportData = 0;
int g_reports = 0;
void CALLBACK OnReport(LPCSTR text, DWORD data) {
  g_reported = text;
  g_reportData = data;
  ++g_reports;
}
}  // namespace

TEST(SkinBox, ReportCallsBackAndHelpStaysEnabled) {
  MessageBoxParams p;
  p.reportCallback = OnReport;
  p.reportUserData = 77;
  strcpy(p.reportCaption, "Send report");
  p.disabledSeconds = 2;
  bool stillOpen = false, helpEnabled = false, reportEnabled = false, okEnabled = true;
  std::wstring reportCaption;
  Driver d(L"Report", [&](HWND box) {
    if (!box) return;
    helpEnabled = IsWindowEnabled(GetDlgItem(box, SMB_ID_HELP));
    reportEnabled = IsWindowEnabled(GetDlgItem(box, SMB_ID_REPORT));
    okEnabled = IsWindowEnabled(GetDlgItem(box, IDOK));
    reportCaption = TextOf(GetDlgItem(box, SMB_ID_REPORT));
    Click(box, SMB_ID_REPORT);
    Sleep(300);
    stillOpen = IsWindow(box);
    // once the buttons come alive
    for (int i = 0; i < 50 && !IsWindowEnabled(GetDlgItem(box, IDOK)); ++i) Sleep(100);
    Press(box, IDOK);
  });
  g_reports = 0;
  int r = SkinMessageBox(nullptr, "Something failed", "Report", MB_OK | MB_HELP | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(g_reports, 1);
  EXPECT_EQ(g_reported, "Something failed");
  EXPECT_EQ(g_reportData, 77u);
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(helpEnabled);
  EXPECT_TRUE(reportEnabled);
  EXPECT_FALSE(okEnabled);
  EXPECT_EQ(reportCaption, L"Send report");
  EXPECT_EQ(r, IDOK);
}

TEST(SkinBox, CountdownPressesTheDefaultButton) {
  MessageBoxParams p;
  p.timeoutSeconds = 2;
  std::wstring first, second;
  Driver d(L"Countdown", [&](HWND box) {
    if (!box) return;
    Sleep(1250);
    first = TextOf(GetDlgItem(box, IDNO));
    Sleep(1000);
    second = TextOf(GetDlgItem(box, IDNO));
  });
  DWORD start = GetTickCount();
  int r = SkinMessageBox(nullptr, "Going on by itself", "Countdown", MB_YESNO | MB_DEFBUTTON2 | SMB_NOSOUND, &p);
  DWORD took = GetTickCount() - start;
  d.Join();
  EXPECT_EQ(first, L"&No = 2");
  EXPECT_EQ(second, L"&No = 1");
  EXPECT_EQ((UINT)r, (UINT)IDNO | SMB_TIMEDOUT);
  EXPECT_GE(took, 2700u);
  EXPECT_LT(took, 6000u);
}

TEST(SkinBox, AClickStopsTheCountdown) {
  MessageBoxParams p;
  p.timeoutSeconds = 2;
  std::wstring during, after;
  bool open = false;
  Driver d(L"Stopped", [&](HWND box) {
    if (!box) return;
    Sleep(1250);
    during = TextOf(GetDlgItem(box, IDYES));
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(box, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    Sleep(3000);
    open = IsWindow(box);
    after = TextOf(GetDlgItem(box, IDYES));
    Press(box, IDNO);
  });
  int r = SkinMessageBox(nullptr, "Stop it", "Stopped", MB_YESNO | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(during, L"&Yes = 2");
  EXPECT_TRUE(open);
  EXPECT_EQ(after, L"&Yes");
  EXPECT_EQ(r, IDNO);
}

TEST(SkinBox, LongCountdownsBecomeTen) {
  MessageBoxParams p;
  p.timeoutSeconds = 1000;
  p.disabledSeconds = -5;
  std::wstring shown;
  bool enabled = false;
  Driver d(L"Ten", [&](HWND box) {
    if (!box) return;
    enabled = IsWindowEnabled(GetDlgItem(box, IDOK));
    Sleep(1250);
    shown = TextOf(GetDlgItem(box, IDOK));
    Press(box, IDOK);
  });
  int r = SkinMessageBox(nullptr, "Ten seconds", "Ten", MB_OK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(shown, L"OK = 10");
  EXPECT_TRUE(enabled);
  EXPECT_EQ(r, IDOK);  // pressed by hand: no time-out bit
}

TEST(SkinBox, DisabledPeriodCountsDownInTheCaption) {
  MessageBoxParams p;
  p.disabledSeconds = 2;
  std::wstring at0, at1, at2, at3;
  bool yesAt0 = true, checkAt0 = false, yesAt3 = false, ignored = false, closeGreyed = false;
  Driver d(L"Wait", [&](HWND box) {
    if (!box) return;
    at0 = TextOf(box);
    yesAt0 = IsWindowEnabled(GetDlgItem(box, IDYES));
    checkAt0 = IsWindowEnabled(GetDlgItem(box, SMB_ID_CHECKBOX));
    closeGreyed = (GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) != 0;
    Press(box, IDYES);  // not yet
    Key(box, IDYES, VK_ESCAPE);
    Sleep(900);
    at1 = TextOf(box);
    ignored = IsWindow(box);
    Sleep(1000);
    at2 = TextOf(box);
    Sleep(1000);
    at3 = TextOf(box);
    yesAt3 = IsWindowEnabled(GetDlgItem(box, IDYES));
    Press(box, IDCANCEL);
  });
  int r = SkinMessageBox(nullptr, "Read this first", "Wait", MB_YESNOCANCEL | SMB_REMEMBER_SHOW | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(at0, L"Wait");
  EXPECT_FALSE(yesAt0);
  EXPECT_TRUE(checkAt0);
  EXPECT_TRUE(closeGreyed);
  EXPECT_TRUE(ignored);
  EXPECT_EQ(at1, L"Wait 2");
  EXPECT_EQ(at2, L"Wait 1");
  EXPECT_EQ(at3, L"Wait");
  EXPECT_TRUE(yesAt3);
  EXPECT_EQ(r, IDCANCEL);
}

TEST(SkinBox, RememberedAnswerIsStoredAndReturnedWithoutABox) {
  DeleteTestKey();
  MessageBoxParams p = Remembering("test.remember", 3);
  Driver d(L"Remember", [&](HWND box) {
    if (!box) return;
    Click(box, SMB_ID_CHECKBOX);
    Sleep(100);
    Click(box, IDYES);
  });
  int r = SkinMessageBox(nullptr, "Ask once", "Remember", MB_YESNO | SMB_REMEMBER_ASK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ((UINT)r, (UINT)IDYES | SMB_REMEMBER_ASK);
  DWORD type = 0;
  EXPECT_EQ(StoredValue("test.remember", 3, &type), (DWORD)IDYES | SMB_REMEMBER_ASK);
  EXPECT_EQ(type, (DWORD)REG_DWORD);

  // the second call shows nothing
  std::atomic<bool> shown{false};
  Driver none(
      L"Remember",
      [&](HWND box) {
        if (box) {
          shown = true;
          Press(box, IDNO);
        }
      },
      1000);
  DWORD start = GetTickCount();
  r = SkinMessageBox(nullptr, "Ask once", "Remember", MB_YESNO | SMB_REMEMBER_ASK | SMB_NOSOUND, &p);
  EXPECT_LT(GetTickCount() - start, 500u);
  none.Join();
  EXPECT_FALSE(shown);
  EXPECT_EQ((UINT)r, (UINT)IDYES | SMB_REMEMBER_ASK);

  // a countdown that pressed the button is remembered with its bit
  MessageBoxParams timed = Remembering("test.timed");
  timed.timeoutSeconds = 1;
  Driver dt(L"Timed", [&](HWND box) {
    if (box) CheckDlgButton(box, SMB_ID_CHECKBOX, BST_CHECKED);
  });
  r = SkinMessageBox(nullptr, "Tick", "Timed", MB_OKCANCEL | SMB_REMEMBER_SHOW | SMB_NOSOUND, &timed);
  dt.Join();
  EXPECT_EQ((UINT)r, (UINT)IDOK | SMB_REMEMBER_SHOW | SMB_TIMEDOUT);
  EXPECT_EQ(StoredValue("test.timed", 0), (DWORD)IDOK | SMB_REMEMBER_SHOW | SMB_TIMEDOUT);
  r = SkinMessageBox(nullptr, "Tick", "Timed", MB_OKCANCEL | SMB_REMEMBER_SHOW | SMB_NOSOUND, &timed);
  EXPECT_EQ((UINT)r, (UINT)IDOK | SMB_REMEMBER_SHOW | SMB_TIMEDOUT);

  // another number is another message
  MessageBoxParams other = Remembering("test.remember", 4);
  Driver d2(L"Remember", [&](HWND box) {
    if (box) Press(box, IDNO);
  });
  r = SkinMessageBox(nullptr, "Ask once", "Remember", MB_YESNO | SMB_REMEMBER_ASK | SMB_NOSOUND, &other);
  d2.Join();
  EXPECT_EQ(r, IDNO);  // not ticked: nothing stored
  EXPECT_EQ(StoredValue("test.remember", 4), 0xDEADu);
  DeleteTestKey();
}

TEST(SkinBox, StoreIgnoresEmptyKeysEscapeAndForeignValues) {
  DeleteTestKey();
  // an empty suppress key shows the box every time and stores nothing
  MessageBoxParams empty = Remembering("");
  for (int i = 0; i < 2; ++i) {
    bool seen = false;
    Driver d(L"Empty key", [&](HWND box) {
      if (!box) return;
      seen = true;
      CheckDlgButton(box, SMB_ID_CHECKBOX, BST_CHECKED);
      Press(box, IDOK);
    });
    int r = SkinMessageBox(nullptr, "t", "Empty key", MB_OK | SMB_REMEMBER_TELL | SMB_NOSOUND, &empty);
    d.Join();
    EXPECT_TRUE(seen);
    EXPECT_EQ((UINT)r, (UINT)IDOK | SMB_REMEMBER_TELL);
  }
  HKEY h;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kTestRoot, 0, KEY_READ, &h), ERROR_SUCCESS);

  // Esc with the box ticked stores nothing
  MessageBoxParams esc = Remembering("test.escape");
  Driver d(L"Escape", [&](HWND box) {
    if (!box) return;
    CheckDlgButton(box, SMB_ID_CHECKBOX, BST_CHECKED);
    Key(box, IDCANCEL, VK_ESCAPE);
  });
  int r = SkinMessageBox(nullptr, "t", "Escape", MB_OKCANCEL | SMB_REMEMBER_ASK | SMB_NOSOUND, &esc);
  d.Join();
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(StoredValue("test.escape", 0), 0xDEADu);

  // values that are no whole DWORD, or hold no remember bit, count as nothing stored
  CString sub = SmbSettingsKey(kTestSubKey);
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, ToWideText(sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  std::vector<BYTE> big(4096, 0xFF);
  RegSetValueExW(h, ToWideText(SmbEncodeSuppressKey("test.binary", 0)).c_str(), 0, REG_BINARY, big.data(),
                 (DWORD)big.size());
  DWORD plain = IDYES;
  RegSetValueExW(h, ToWideText(SmbEncodeSuppressKey("test.plain", 0)).c_str(), 0, REG_DWORD, (BYTE*)&plain, 4);
  RegCloseKey(h);
  EXPECT_EQ(SmbReadRemembered(sub, SmbEncodeSuppressKey("test.binary", 0)), 0u);
  EXPECT_EQ(SmbReadRemembered(sub, SmbEncodeSuppressKey("test.plain", 0)), (DWORD)IDYES);
  EXPECT_EQ(SmbReadRemembered(sub, ""), 0u);
  EXPECT_EQ(SmbReadRemembered(sub, nullptr), 0u);
  for (const char* key : {"test.binary", "test.plain"}) {
    MessageBoxParams p = Remembering(key);
    bool seen = false;
    Driver dd(L"Foreign", [&](HWND box) {
      if (!box) return;
      seen = true;
      Press(box, IDNO);
    });
    r = SkinMessageBox(nullptr, "t", "Foreign", MB_YESNO | SMB_REMEMBER_ASK | SMB_NOSOUND, &p);
    dd.Join();
    EXPECT_TRUE(seen) << key;
    EXPECT_EQ(r, IDNO) << key;
  }
  DeleteTestKey();
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kTestRoot, 0, KEY_READ, &h), ERROR_SUCCESS);
}

TEST(SkinBox, CtrlCCopiesTheWholeBoxAndKeepsItOpen) {
  std::string text = std::string("Korean: ") + kKorean.GetString() + "\nSecond line & more";
  std::string caption = std::string("Copy ") + kKorean.GetString();
  std::wstring copied, copiedAnsi;
  bool open = false;
  std::wstring captionW = std::wstring(L"Copy ") + kKoreanW;
  std::wstring textShown;
  Driver d(captionW, [&](HWND box) {
    if (!box) return;
    textShown = TextOf(GetDlgItem(box, SMB_ID_TEXT));
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    OnUi([&] {
      BYTE keys[256];
      GetKeyboardState(keys);
      keys[VK_CONTROL] = 0x80;
      SetKeyboardState(keys);
      PostMessageW(GetDlgItem(box, IDYES), WM_KEYDOWN, 'C', 0);
    });
    Sleep(300);
    OnUi([&] {
      BYTE keys[256];
      GetKeyboardState(keys);
      keys[VK_CONTROL] = 0;
      SetKeyboardState(keys);
    });
    copied = ReadClipboard(CF_UNICODETEXT);
    copiedAnsi = ReadClipboard(CF_TEXT);
    open = IsWindow(box);
    Press(box, IDYES);
  });
  int r = SkinMessageBox(nullptr, text.c_str(), caption.c_str(), MB_YESNO | SMB_REMEMBER_ASK | SMB_NOSOUND);
  d.Join();
  EXPECT_EQ(r, IDYES);
  EXPECT_TRUE(open);
  EXPECT_EQ(textShown, std::wstring(L"Korean: ") + kKoreanW + L"\nSecond line & more");
  const std::wstring sep = L"---------------------------\r\n";
  std::wstring want = sep + captionW + L"\r\n" + sep + L"Korean: " + kKoreanW + L"\nSecond line & more\r\n" + sep +
                      L"Yes   No   Don't ask me again   \r\n" + sep;
  EXPECT_EQ(copied, want);
  EXPECT_EQ(copiedAnsi.substr(0, sep.size()), sep);
  EXPECT_NE(copiedAnsi.find(L"Yes   No   "), std::wstring::npos);
}

TEST(SkinBox, KoreanTextsSurviveTheAnsiCodePage) {
  std::wstring title, text, button;
  MessageBoxParams p;
  p.useButtonCaptions = TRUE;
  strcpy(p.buttonCaptions[CMsgBoxTemplate::CapOk], kKorean);
  Driver d(kKoreanW, [&](HWND box) {
    if (!box) return;
    title = TextOf(box);
    text = TextOf(GetDlgItem(box, SMB_ID_TEXT));
    button = TextOf(GetDlgItem(box, IDOK));
    Press(box, IDOK);
  });
  int r = SkinMessageBox(nullptr, kKorean, kKorean, MB_OK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(title, kKoreanW);
  EXPECT_EQ(text, kKoreanW);
  EXPECT_EQ(button, kKoreanW);
}

TEST(SkinBox, OwnColoursAndAnExplicitPosition) {
  MessageBoxParams p;
  p.x = 40;
  p.y = 50;
  p.backgroundColor = RGB(255, 255, 200);
  p.textColor = RGB(200, 0, 0);
  RECT where{};
  Pixels shot;
  RECT textRect{}, okRect{};
  bool topmost = false;
  Driver d(L"Colours", [&](HWND box) {
    if (!box) return;
    topmost = GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST;
    GetWindowRect(box, &where);
    OnUi([&] {
      RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      shot = CaptureWindow(box, false);
      GetWindowRect(GetDlgItem(box, SMB_ID_TEXT), &textRect);
      MapWindowPoints(nullptr, box, (POINT*)&textRect, 2);
      GetWindowRect(GetDlgItem(box, IDOK), &okRect);
      MapWindowPoints(nullptr, box, (POINT*)&okRect, 2);
    });
    Press(box, IDOK);
  });
  int r = SkinMessageBox(nullptr, "Coloured text on a coloured band", "Colours", MB_OK | MB_TOPMOST | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_TRUE(topmost);
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(where.left, 40);
  EXPECT_EQ(where.top, 50);
  ASSERT_GT(shot.width, 0);
  EXPECT_EQ(shot.at(2, 2), RGB(255, 255, 200));
  EXPECT_EQ(shot.at(textRect.right - 2, textRect.bottom - 2), RGB(255, 255, 200));
  EXPECT_GT(CountColor(shot, textRect, RGB(200, 0, 0)), 30);
  EXPECT_EQ(shot.at(2, shot.height - 2), GetSysColor(COLOR_BTNFACE));
  EXPECT_GT(okRect.top, textRect.bottom);
}

TEST(SkinBox, TheTextMakesRoomForAnIconOnlyWhenTheStyleAsksForOne) {
  // One word longer than a line: the text takes the whole width it may have.
  const std::string word(400, 'W');
  MessageBoxParams p;
  p.iconId = 227;
  int widths[2] = {};
  bool shown[2] = {};
  const UINT styles[2] = {MB_OK, MB_OK | MB_ICONINFORMATION};
  for (int i = 0; i < 2; ++i) {
    Driver d(L"Room", [&](HWND box) {
      if (!box) return;
      RECT r{};
      GetWindowRect(GetDlgItem(box, SMB_ID_TEXT), &r);
      widths[i] = r.right - r.left;
      OnUi([&] {
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        shown[i] = SaveScreenshotShowingSomething(box, i == 0 ? "msgbox_icon_id_only" : "msgbox_icon_style");
      });
      Press(box, IDOK);
    });
    EXPECT_EQ(SkinMessageBox(nullptr, word.c_str(), "Room", styles[i] | SMB_NOSOUND, &p), IDOK);
    d.Join();
  }
  EXPECT_TRUE(shown[0]);
  EXPECT_TRUE(shown[1]);
  // The program's own icon alone takes no room from the text; an icon of the style does (give or take the
  // pixel that the template's dialog units round away).
  EXPECT_NEAR(widths[0] - widths[1], GetSystemMetrics(SM_CXICON) + 16, 1) << widths[0] << " " << widths[1];
}

TEST(SkinBox, OwnerIsDisabledWhileTheBoxRunsAndCentresIt) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"Owner", WS_POPUP | WS_VISIBLE | WS_CAPTION, 300, 200, 500, 400, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  Pump(100);
  bool disabled = false;
  RECT box{};
  HWND boxOwner = nullptr;
  // the owner's timers keep running while the box is up
  static std::atomic<int> ticks;
  ticks = 0;
  SetTimer(owner, 7, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
  int ticksWhileOpen = 0;
  Driver d(L"Owned", [&](HWND h) {
    if (!h) return;
    int first = ticks;
    Sleep(600);
    ticksWhileOpen = ticks - first;
    disabled = !IsWindowEnabled(owner);
    GetWindowRect(h, &box);
    boxOwner = GetWindow(h, GW_OWNER);
    Press(h, IDOK);
  });
  int r = SkinMessageBox(owner, "Owned box", "Owned", MB_OK | SMB_NOSOUND);
  d.Join();
  EXPECT_EQ(r, IDOK);
  KillTimer(owner, 7);
  EXPECT_GE(ticksWhileOpen, 4);
  EXPECT_TRUE(disabled);
  EXPECT_EQ(boxOwner, owner);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_NEAR((box.left + box.right) / 2, 300 + 250, 1);
  EXPECT_NEAR((box.top + box.bottom) / 2, 200 + 200, 1);

  // an owner that was disabled before stays disabled; a window object will do as owner
  EnableWindow(owner, FALSE);
  Driver d2(L"Owned", [&](HWND h) {
    if (h) Press(h, IDOK);
  });
  CWnd ownerObject;
  ownerObject.Attach(owner);
  SkinMessageBox(&ownerObject, "Owned box", "Owned", MB_OK | SMB_NOSOUND);
  ownerObject.Detach();
  d2.Join();
  EXPECT_FALSE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

TEST(SkinBox, QuitEndsTheBoxAndIsPostedAgain) {
  DWORD ui = GetCurrentThreadId();
  Driver d(L"Quit", [&](HWND box) {
    if (box) PostThreadMessageW(ui, WM_QUIT, 42, 0);
  });
  int r = SkinMessageBox(nullptr, "Quit", "Quit", MB_OK | SMB_NOSOUND);
  d.Join();
  EXPECT_EQ(r, -1);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 42u);
  Finder f{L"Quit"};
  EnumWindows(FindBoxProc, (LPARAM)&f);
  EXPECT_EQ(f.found, nullptr);
}

TEST(SkinBox, SystemModalStopGoesToTheSystemBox) {
  MessageBoxParams p = Remembering("test.system");
  bool hasCheckBox = true, hasOurText = true;
  Driver d(L"System", [&](HWND box) {
    if (!box) return;
    hasCheckBox = GetDlgItem(box, SMB_ID_CHECKBOX) != nullptr;
    hasOurText = GetDlgItem(box, SMB_ID_TEXT) != nullptr;
    Press(box, IDOK);
  });
  int r = SkinMessageBox(nullptr, "Stop", "System", MB_OK | MB_ICONHAND | MB_SYSTEMMODAL | SMB_REMEMBER_ASK, &p);
  d.Join();
  EXPECT_EQ(r, IDOK);
  EXPECT_FALSE(hasCheckBox);
  EXPECT_FALSE(hasOurText);
}

TEST(SkinBox, FontBrushAndIconAreReleasedWithTheBox) {
  MessageBoxParams p;
  p.iconId = 227;
  p.backgroundColor = RGB(230, 240, 255);
  HGDIOBJ font = nullptr, brush = nullptr;
  HICON icon = nullptr;
  Pixels iconShot;
  Driver d(L"Resources", [&](HWND box) {
    if (!box) return;
    font = (HGDIOBJ)SendMessageW(GetDlgItem(box, SMB_ID_TEXT), WM_GETFONT, 0, 0);
    icon = (HICON)SendMessageW(GetDlgItem(box, SMB_ID_ICON), STM_GETICON, 0, 0);
    OnUi([&] {
      HWND text = GetDlgItem(box, SMB_ID_TEXT);
      HDC dc = GetDC(text);
      brush = (HGDIOBJ)SendMessageW(box, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)text);
      ReleaseDC(text, dc);
      RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      iconShot = CaptureWindow(GetDlgItem(box, SMB_ID_ICON), false);
    });
    Press(box, IDOK);
  });
  int r = SkinMessageBox(nullptr, "With a picture", "Resources", MB_OK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(r, IDOK);
  ASSERT_NE(font, nullptr);
  ASSERT_NE(brush, nullptr);
  ASSERT_NE(icon, nullptr);
  EXPECT_NE(font, GetStockObject(DEFAULT_GUI_FONT));
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(GetObjectType(brush), 0u);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(icon, &info));
  // the icon was drawn: not all of its control is the band colour
  ASSERT_GT(iconShot.width, 0);
  EXPECT_LT(CountColor(iconShot, RECT{0, 0, 32, 32}, RGB(230, 240, 255)), 32 * 32);

  // a system icon is shared: it outlives the box
  HICON question = LoadIconW(nullptr, IDI_QUESTION);
  Driver d2(L"Shared", [&](HWND box) {
    if (box) Press(box, IDYES);
  });
  SkinMessageBox(nullptr, "Question", "Shared", MB_YESNO | MB_ICONQUESTION | SMB_NOSOUND);
  d2.Join();
  EXPECT_TRUE(GetIconInfo(question, &info));
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
}

TEST(SkinBox, ManyBoxesLeaveNoGdiObjectsBehind) {
  MessageBoxParams p;
  p.iconId = 227;
  p.backgroundColor = RGB(200, 230, 200);
  p.timeoutSeconds = 5;
  for (int i = 0; i < 8; ++i) {
    std::wstring caption = L"Leak " + std::to_wstring(i);
    HGDIOBJ font = nullptr;
    HICON icon = nullptr;
    Driver d(caption, [&](HWND box) {
      if (!box) return;
      font = (HGDIOBJ)SendMessageW(GetDlgItem(box, IDYES), WM_GETFONT, 0, 0);
      icon = (HICON)SendMessageW(GetDlgItem(box, SMB_ID_ICON), STM_GETICON, 0, 0);
      Press(box, IDNO);
    });
    int r = SkinMessageBox(nullptr, "Again and again", FromWideText(caption.c_str()),
                           MB_YESNO | MB_ICONQUESTION | SMB_NOSOUND, &p);
    d.Join();
    EXPECT_EQ(r, IDNO);
    ASSERT_NE(font, nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(GetObjectType(font), 0u) << i;
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(icon, &info)) << i;
  }
}

TEST(SkinBox, TextsAndCaptionsFromTheStringTable) {
  MessageBoxParams p;
  p.stringsInstance = g_strings;
  std::wstring text, yes;
  Driver d(L"Caption from the string table", [&](HWND box) {
    if (!box) return;
    text = TextOf(GetDlgItem(box, SMB_ID_TEXT));
    yes = TextOf(GetDlgItem(box, IDYES));
    Press(box, IDYES);
  });
  int r = SkinMessageBox(nullptr, MAKEINTRESOURCEA(IDS_TEST_TEXT), MAKEINTRESOURCEA(IDS_TEST_CAPTION),
                         MB_YESNO | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ(r, IDYES);
  EXPECT_EQ(text, L"Text from the string table.");
  EXPECT_EQ(yes, L"&Oui");

  // a null caption reads "Error", a null text is an empty message
  std::wstring empty = L"x";
  Driver d2(L"Error", [&](HWND box) {
    if (!box) return;
    empty = TextOf(GetDlgItem(box, SMB_ID_TEXT));
    Press(box, IDOK);
  });
  r = SkinMessageBox(nullptr, nullptr, nullptr, MB_OK | SMB_NOSOUND);
  d2.Join();
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(empty, L"");
}

TEST(SkinBox, AHugeTextStaysOnTheScreen) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "Line number " + std::to_string(i) + " of a very long message\n";
  RECT r{};
  Driver d(L"Huge", [&](HWND box) {
    if (!box) return;
    GetWindowRect(box, &r);
    Press(box, IDOK);
  });
  int res = SkinMessageBox(nullptr, text.c_str(), "Huge", MB_OK | MB_ICONEXCLAMATION | SMB_NOSOUND);
  d.Join();
  EXPECT_EQ(res, IDOK);
  EXPECT_GE(r.top, 0);
  EXPECT_LE(r.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_LE(r.right - r.left, GetSystemMetrics(SM_CXSCREEN));
}

TEST(SkinBox, ScreenshotsOfTwoBoxes) {
  MessageBoxParams p;
  p.helpContextId = 5;
  Driver d(L"Orvanta", [&](HWND box) {
    if (!box) return;
    CheckDlgButton(box, SMB_ID_CHECKBOX, BST_CHECKED);
    OnUi([&] {
      RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      SaveScreenshot(box, "msgbox_question");
    });
    Press(box, IDNOTOALL);
  });
  int r = SkinMessageBox(
      nullptr,
      "Orvanta Windows Backup service is not started.\n"
      "Do you want to start Orvanta Windows Backup Service?",
      "Orvanta",
      MB_YESNOCANCEL | MB_ICONQUESTION | SMB_YESTOALL | SMB_NOTOALL | MB_HELP | SMB_REMEMBER_ASK | SMB_NOSOUND, &p);
  d.Join();
  EXPECT_EQ((UINT)r, (UINT)IDNOTOALL | SMB_REMEMBER_ASK);

  MessageBoxParams q;
  q.iconId = 227;
  q.textColor = RGB(0, 0x40, 0xA0);
  q.backgroundColor = RGB(0xF0, 0xF6, 0xFF);
  q.timeoutSeconds = 30;
  strcpy(q.customButtons, "Back up now\nLater\nNever");
  std::string text = kKorean.str() + "\nThe backup job is ready to start. It will run in the background.";
  Driver d2(L"Custom look", [&](HWND box) {
    if (!box) return;
    Sleep(1100);  // one tick of the countdown
    OnUi([&] {
      RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      SaveScreenshot(box, "msgbox_custom");
    });
    Press(box, IDCUSTOM2);
  });
  r = SkinMessageBox(nullptr, text.c_str(), "Custom look", MB_OK | MB_DEFBUTTON1 | SMB_NOSOUND, &q);
  d2.Join();
  EXPECT_EQ(r, IDCUSTOM2);
}

// --- set-up -------------------------------------------------------------------

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  printf("ANSI code page %u\n", GetACP());
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  wchar_t dir[MAX_PATH];
  GetModuleFileNameW(nullptr, dir, MAX_PATH);
  *wcsrchr(dir, L'\\') = 0;
  g_strings = LoadLibraryW((std::wstring(dir) + L"\\msgbox_test_strings.dll").c_str());
  if (!g_strings) {
    printf("msgbox_test_strings.dll is missing\n");
    return 1;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = UiProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvaMsgBoxTestUi";
  RegisterClassW(&wc);
  g_ui = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  DeleteTestKey();
  int r = RUN_ALL_TESTS();
  DeleteTestKey();
  return r;
}
