// Drives the real OrvaMediaMaker from outside, as a user would, by messages
// to its windows, and reports what the windows show. Runs on a Wine desktop
// of its own (1280x1024, "Arial" as Liberation Sans), as the kit's tests do.
//
//   media_driver <commands file>
//
// One command a line; the windows are "main", "box" (the kit's message box),
// "browse" (the disk browser), "folder" (the shell's folder picker) and "progress":
//   start <exe>                 starts the program in its folder, waits for its main dialog; the
//                               commands after it talk to this one
//   program <n>                 the commands after it talk to the n-th program started (from 1)
//   text <window> <id>          prints "text <id>=<window text>"
//   state <window> <id>         prints "state <id>=<enabled> <checked>"
//   items                       prints "items=<a>|<b>|..." of the backup list
//   select <index>              selects a backup as the user would
//   set <window> <id> <text>    types a text
//   press <window> <id>         posts the button's click
//   click <window> <id>         a click on a check box or radio button
//   box <button id>             waits for a message box, prints "box=<its text>", its title, whether
//                               it shows an icon and its buttons' captions, and clicks that button
//   rows                        prints "row=<col0>|<col1>|<col2>|<col3>" for each disk row
//   pick <text of column 0>     selects that disk row
//   folder                      waits for the folder picker, prints "folder title=<its text>", cancels it
//   finish                      waits for the progress dialog's OK, prints its text and bar
//   shot <window> <name>        screenshot into screenshots/<name>.bmp
//   key <window> <virtual key>  a key press in the window
//   wait <ms>
//   move <from>|<to>            moves a file or folder (the tests' set-up between cases)
//   exists <path>               prints "exists=<0|1>"
//   await <path>                waits until the path exists (two minutes at most), prints "await=<0|1>"
//   entries <folder>            prints "entries=<how many files and folders it holds>"
//   case <name>                 prints "case=<name>": marks where a case's report begins
//   end                         waits for the program to end, prints "exit=<code>"
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "gui_driver.h"
#include "gui_test_support.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using orva::ui::test::RunInTestSetting;

namespace {

using namespace orva::gui_driver;

DWORD g_pid = 0;
HANDLE g_process = nullptr;
// Every program started, in order.
std::vector<std::pair<DWORD, HANDLE>> g_programs;

std::wstring Wide(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), w.data(), n);
  return w;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == g_pid && IsWindowVisible(h)) ((std::vector<HWND>*)p)->push_back(h);
        return TRUE;
      },
      (LPARAM)&found);
  return found;
}

std::wstring ClassOf(HWND h) {
  wchar_t cls[64] = {};
  GetClassNameW(h, cls, 64);
  return cls;
}

// A child control of that id and window class.
bool HasControl(HWND w, int id, const wchar_t* cls) {
  HWND c = GetDlgItem(w, id);
  return c && !lstrcmpiW(ClassOf(c).c_str(), cls);
}

// The answer buttons a message box may carry.
const int kBoxButtons[] = {IDOK, IDCANCEL, IDYES, IDNO};

// A child window of that class, at any depth.
bool HasChildOfClass(HWND w, const wchar_t* cls) {
  std::pair<const wchar_t*, bool> look{cls, false};
  EnumChildWindows(
      w,
      [](HWND c, LPARAM p) -> BOOL {
        auto* l = (std::pair<const wchar_t*, bool>*)p;
        l->second = l->second || !lstrcmpiW(ClassOf(c).c_str(), l->first);
        return !l->second;
      },
      (LPARAM)&look);
  return look.second;
}

// Each window is known by the controls only it has: the main dialog by its
// backup list, the disk browser by its disk list, the progress dialog by its
// bar, the shell's folder picker by its folder tree, and a message box (the
// kit's: a dialog with its own icon and text controls and the program's
// caption) by its answer buttons.
HWND FindNow(const std::string& which) {
  for (HWND h : TopWindows()) {
    bool main = HasControl(h, 1000, L"ComboBox"), browse = HasControl(h, 1018, WC_LISTVIEWW),
         progress = HasControl(h, 1013, PROGRESS_CLASSW);
    bool folder = !main && !browse && !progress && ClassOf(h) == L"#32770" && HasChildOfClass(h, WC_TREEVIEWW);
    bool box = false;
    if (!main && !browse && !progress && !folder && ClassOf(h) == L"#32770")
      for (int id : kBoxButtons) box = box || HasControl(h, id, L"Button");
    if (which == "main" && main) return h;
    if (which == "browse" && browse) return h;
    if (which == "progress" && progress) return h;
    if (which == "folder" && folder) return h;
    if (which == "box" && box) return h;
  }
  return nullptr;
}

HWND Find(const std::string& which, int ms = 20000) {
  DWORD end = GetTickCount() + ms;
  for (;;) {
    if (HWND h = FindNow(which)) return h;
    if ((int)(end - GetTickCount()) < 0) {
      printf("error=no %s window\n", which.c_str());
      return nullptr;
    }
    Sleep(50);
  }
}

void Shot(HWND h, const std::string& name) {
  SetForegroundWindow(h);
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(700);
  CreateDirectoryW(L"screenshots", nullptr);
  SaveWindowPicture(h, L"screenshots\\" + Wide(name) + L".bmp");
  printf("shot=%s\n", name.c_str());
}

void Pick(HWND list, const std::wstring& name) {
  Remote remote(list);
  int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < rows; ++i) {
    if (Cell(list, remote, i, 0) != name) continue;
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Put(&item, sizeof item);
    SendMessageW(list, LVM_SETITEMSTATE, i, (LPARAM)remote.at());
    printf("picked=%d\n", i);
    return;
  }
  printf("error=no row %s\n", Utf8(name).c_str());
}

std::string OneLine(std::wstring w) {
  for (auto& c : w)
    if (c == L'\r' || c == L'\n') c = L' ';
  return Utf8(w);
}

void Run(const std::string& line) {
  std::istringstream in(line);
  std::string verb, which;
  in >> verb;
  if (verb.empty() || verb[0] == '#') return;
  if (verb == "start") {
    std::string exe;
    std::getline(in >> std::ws, exe);
    std::wstring path = Wide(exe), folder = path.substr(0, path.rfind(L'\\'));
    std::wstring cmd = L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) {
      printf("error=start %lu\n", GetLastError());
      return;
    }
    CloseHandle(pi.hThread);
    g_process = pi.hProcess;
    g_pid = pi.dwProcessId;
    g_programs.emplace_back(g_pid, g_process);
    if (HWND h = Find("main", 60000)) {
      WaitForInputIdle(g_process, 5000);
      Sleep(300);
      printf("started=%s\n", OneLine(TextOf(h)).c_str());
    }
  } else if (verb == "text" || verb == "state" || verb == "set" || verb == "press" || verb == "click") {
    int id = 0;
    in >> which >> id;
    HWND w = Find(which);
    HWND c = w ? GetDlgItem(w, id) : nullptr;
    if (!c) {
      printf("error=no control %d in %s\n", id, which.c_str());
      return;
    }
    if (verb == "text") {
      printf("text %d=%s\n", id, OneLine(TextOf(c)).c_str());
    } else if (verb == "state") {
      printf("state %d=%d %d\n", id, IsWindowEnabled(c) ? 1 : 0,
             (int)SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    } else if (verb == "set") {
      std::string text;
      std::getline(in >> std::ws, text);
      SendMessageW(c, WM_SETTEXT, 0, (LPARAM)Wide(text).c_str());
    } else if (verb == "press") {
      PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)c);
      Sleep(300);
    } else {
      PostMessageW(c, BM_CLICK, 0, 0);
      Sleep(300);
    }
  } else if (verb == "items") {
    HWND combo = GetDlgItem(Find("main"), 1000);
    int n = (int)SendMessageW(combo, CB_GETCOUNT, 0, 0);
    std::string all;
    for (int i = 0; i < n; ++i) {
      wchar_t t[256] = {};
      SendMessageW(combo, CB_GETLBTEXT, i, (LPARAM)t);
      if (i) all += '|';
      all += Utf8(t);
    }
    printf("items=%s\n", all.c_str());
  } else if (verb == "select") {
    int index = 0;
    in >> index;
    HWND main = Find("main");
    HWND combo = GetDlgItem(main, 1000);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(1000, CBN_SELCHANGE), (LPARAM)combo);
  } else if (verb == "box") {
    int answer = 0;
    in >> answer;
    if (HWND box = Find("box", 60000)) {
      Sleep(150);  // let the box finish its start-up
      printf("box=%s\n", OneLine(LongestStatic(box)).c_str());
      printf("box title=%s\n", OneLine(TextOf(box)).c_str());
      // The kit's box draws the program's message icon in its icon control.
      HWND icon = GetDlgItem(box, 1000);
      printf("box icon=%d\n", icon && SendMessageW(icon, STM_GETICON, 0, 0) ? 1 : 0);
      std::string buttons;
      for (int id : kBoxButtons)
        if (HasControl(box, id, L"Button")) {
          std::wstring caption = TextOf(GetDlgItem(box, id));
          caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
          if (!buttons.empty()) buttons += '|';
          buttons += Utf8(caption);
        }
      printf("box buttons=%s\n", buttons.c_str());
      HWND button = GetDlgItem(box, answer);
      if (!HasControl(box, answer, L"Button") || !IsWindowEnabled(button)) {
        printf("error=the box has no button %d\n", answer);
        return;
      }
      // Answered by its button, as a click would.
      PostMessageW(button, BM_CLICK, 0, 0);
      if (!WaitGone(box, 10000)) printf("error=the box stayed after button %d\n", answer);
      Sleep(200);
    }
  } else if (verb == "folder") {
    // folder: waits for the shell's folder picker, prints its title text and closes it with Cancel
    HWND picker = Find("folder");
    if (!picker) return;
    Sleep(300);
    printf("folder title=%s\n", OneLine(LongestStatic(picker)).c_str());
    PostMessageW(picker, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(picker, IDCANCEL));
    if (!WaitGone(picker, 10000)) printf("error=the folder picker stayed\n");
    Sleep(200);
  } else if (verb == "rows") {
    HWND list = GetDlgItem(Find("browse"), 1018);
    Remote remote(list);
    int rows = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < rows; ++i)
      printf("row=%s|%s|%s|%s\n", Utf8(Cell(list, remote, i, 0)).c_str(), Utf8(Cell(list, remote, i, 1)).c_str(),
             Utf8(Cell(list, remote, i, 2)).c_str(), Utf8(Cell(list, remote, i, 3)).c_str());
    printf("rows=%d\n", rows);
  } else if (verb == "pick") {
    std::string name;
    std::getline(in >> std::ws, name);
    Pick(GetDlgItem(Find("browse"), 1018), Wide(name));
  } else if (verb == "finish") {
    HWND p = Find("progress");
    if (!p) return;
    HWND ok = GetDlgItem(p, 2);
    DWORD end = GetTickCount() + 180000;
    int lastBar = -1;
    while (!IsWindowEnabled(ok) && (int)(end - GetTickCount()) > 0) {
      int bar = (int)SendMessageW(GetDlgItem(p, 1013), PBM_GETPOS, 0, 0);
      if (bar != lastBar) printf("working=%d %s\n", bar, OneLine(TextOf(GetDlgItem(p, 1012))).c_str());
      lastBar = bar;
      if (FindNow("box")) break;  // a message about the outcome
      Sleep(100);
    }
    printf("finished=%d\n", IsWindowEnabled(ok) ? 1 : 0);
  } else if (verb == "status") {
    HWND p = Find("progress");
    if (!p) return;
    printf("status=%s\nbar=%d\nok=%d\n", OneLine(TextOf(GetDlgItem(p, 1012))).c_str(),
           (int)SendMessageW(GetDlgItem(p, 1013), PBM_GETPOS, 0, 0), IsWindowEnabled(GetDlgItem(p, 2)) ? 1 : 0);
  } else if (verb == "shot") {
    std::string name;
    in >> which >> name;
    if (HWND h = Find(which)) Shot(h, name);
  } else if (verb == "define") {
    std::string letter, target;
    in >> letter;
    std::getline(in >> std::ws, target);
    BOOL ok = DefineDosDeviceW(0, Wide(letter).c_str(), Wide(target).c_str());
    printf("defined=%d %lu drives=%lx\n", ok ? 1 : 0, ok ? 0 : GetLastError(), GetLogicalDrives());
  } else if (verb == "move") {
    // move <from>|<to>: a file or folder of the installation, between cases
    std::string rest;
    std::getline(in >> std::ws, rest);
    size_t bar = rest.find('|');
    BOOL ok =
        bar != std::string::npos && MoveFileW(Wide(rest.substr(0, bar)).c_str(), Wide(rest.substr(bar + 1)).c_str());
    if (!ok) printf("error=move %s %lu\n", rest.c_str(), GetLastError());
  } else if (verb == "program") {
    size_t n = 0;
    in >> n;
    if (n < 1 || n > g_programs.size()) {
      printf("error=no program %zu\n", n);
      return;
    }
    g_pid = g_programs[n - 1].first;
    g_process = g_programs[n - 1].second;
  } else if (verb == "await") {
    std::string path;
    std::getline(in >> std::ws, path);
    DWORD end = GetTickCount() + 120000;
    while (GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES && (int)(end - GetTickCount()) > 0)
      Sleep(100);
    printf("await=%d\n", GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
  } else if (verb == "exists") {
    std::string path;
    std::getline(in >> std::ws, path);
    printf("exists=%d\n", GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
  } else if (verb == "entries") {
    std::string folder;
    std::getline(in >> std::ws, folder);
    int n = 0;
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW((Wide(folder) + L"\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
      do
        if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) ++n;
      while (FindNextFileW(f, &fd));
      FindClose(f);
    }
    printf("entries=%d\n", n);
  } else if (verb == "case") {
    std::string name;
    std::getline(in >> std::ws, name);
    printf("case=%s\n", name.c_str());
  } else if (verb == "key") {
    int vk = 0;
    in >> which >> vk;
    if (HWND w = Find(which)) {
      PostMessageW(w, WM_KEYDOWN, vk, 1);
      PostMessageW(w, WM_KEYUP, vk, 0xC0000001);
      Sleep(300);
    }
  } else if (verb == "wait") {
    int ms = 0;
    in >> ms;
    Sleep(ms);
  } else if (verb == "gone") {
    in >> which;
    DWORD end = GetTickCount() + 20000;
    while (FindNow(which) && (int)(end - GetTickCount()) > 0) Sleep(50);
    printf("gone %s=%d\n", which.c_str(), FindNow(which) ? 0 : 1);
  } else if (verb == "end") {
    DWORD code = 999;
    if (WaitForSingleObject(g_process, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(g_process, &code);
    printf("exit=%lu\n", code);
  } else {
    printf("error=unknown command %s\n", verb.c_str());
  }
  fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  if (int code = RunInTestSetting(); code >= 0) return code;
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  std::ifstream commands(argv[1]);
  std::string line;
  while (std::getline(commands, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    printf("> %s\n", line.c_str());
    fflush(stdout);
    Run(line);
  }
  for (auto& [pid, process] : g_programs)
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process, 99);
      printf("error=the program was still running\n");
    }
  return 0;
}
