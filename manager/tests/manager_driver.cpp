// Test program: drives a running OrvaManager through its window.
//   manager_driver run NAME   selects the job NAME in the tree and sends Run
//   manager_driver shot FILE  saves the main window as a 24-bit BMP
//   manager_driver size W H   resizes the main window
//   manager_driver menu ITEM FILE  opens the tree's context menu on the root
//                             ("root") or on the job ITEM, saves a picture, prints
//                             the menu's width and height and closes it (exit
//                             code 3 when no menu shows)
//   manager_driver list ROW COMMAND  selects ROW of the running-job list (-1:
//                             none) and sends the command (32799 Cancel, 32808 Clear)
//   manager_driver check ID 0|1  sets a check box and clicks it; exit code 10
//                             when the refresh interval box is enabled after, 11 if not
//   manager_driver text ID TEXT  sets the text of a control
//   manager_driver rowmenu FILE  right-clicks the first running-job row, saves a
//                             picture of the menu and closes it
//   manager_driver start EXE  runs EXE and returns its exit code
//   manager_driver select NAME  selects the root ("root") or the job NAME in the tree
//   manager_driver pick ROW   selects ROW of the running-job list
//   manager_driver details FILE  writes the details list's rows to FILE (UTF-8):
//                             label, image index, state image and value, apart
//                             by 0x1F, each row ended by 0x1E
//   manager_driver columns ID FILE  writes the list ID's window width, whether its
//                             vertical scroll bar shows, the scroll bar's width,
//                             twice the edge width when the list has an edge, then
//                             its column widths, apart by blanks
//   manager_driver command ID  posts the command of a menu entry or button ID
//   manager_driver sys ID     posts the system menu command ID
//   manager_driver window TITLE FILE  waits for the window TITLE and saves its
//                             picture (FILE "-": none); exit code 1 when it never shows
//   manager_driver pickrow TITLE ID ROW  selects ROW of the list ID of window TITLE
//   manager_driver set TITLE ID TEXT  sets the text of control ID of window TITLE
//                             (or of the page it shows)
//   manager_driver click TITLE ID  clicks the button ID of window TITLE
//   manager_driver close TITLE ID  clicks the button ID (0: the caption's close
//                             button) of window TITLE and waits until the window
//                             has gone (exit code 1 if it stays)
//   manager_driver box ID     waits for the manager's message box, prints its
//                             text on one line, answers it with the button ID
//   manager_driver nobox      exit code 1 when a message box is showing
//   manager_driver windows    prints the titles of the visible windows
//   manager_driver tree       prints the job tree on one line: {NAME#IMAGE|LINE|LINE}
//                             for every job, apart by blanks; then the selected item
//   manager_driver rows ID    prints the rows of the list ID, one a line: the image
//                             index and the cells' texts, apart by tabs (a cell drawn
//                             as a progress bar: its label, "@" and its percent)
//   manager_driver state ID...  prints for each control ID its text, whether it is
//                             enabled and whether it is checked, apart by tabs
//   manager_driver refill ID SECONDS  deletes every row of the list ID and waits
//                             until it has rows again (the panes that the refresh
//                             timer fills show it fire); exit code 1 when it stays empty
//   manager_driver watch ID TEXT SECONDS  prints the rows of the list ID as with
//                             "rows", after a line with the time, whenever they
//                             change; ends when they hold TEXT (exit code 1 when
//                             that takes longer than SECONDS)
// Everything happens on a Wine virtual desktop of its own, so that the
// manager's window meets no other test's windows. Exit code 0 on success.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui_driver.h"
#include "report_list.h"

using orva::ui::ListItemData;
using orva::ui::ListItemRow;

namespace {

using namespace orva::gui_driver;

const wchar_t kDesktop[] = L"OrvaManagerTests";

bool OnTestDesktop() {
  wchar_t name[64] = {};
  GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
  return std::wstring(name) == kDesktop;
}

// Runs a command line on the test desktop and gives its exit code.
int RunOnDesktop(std::wstring line) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) == ERROR_SUCCESS) {
    const wchar_t size[] = L"1200x900";
    RegSetValueExW(key, kDesktop, 0, REG_SZ, (const BYTE*)size, sizeof size);
    RegCloseKey(key);
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.lpDesktop = const_cast<wchar_t*>(kDesktop);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 6;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 7;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}

// Up to 45 s: on a loaded machine Wine starts the manager slowly.
HWND FindManager() {
  for (int i = 0; i < 450; ++i) {
    if (HWND w = FindWindowW(nullptr, L"Orvanta Windows Backup v3.0.1")) return w;
    Sleep(100);
  }
  return nullptr;
}

std::string Ansi(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// The text and image of a tree item of another process.
std::wstring ItemText(HWND tree, const Remote& remote, HTREEITEM item, int* image = nullptr) {
  TVITEMW tv{};
  tv.mask = TVIF_TEXT | TVIF_IMAGE;
  tv.hItem = item;
  tv.pszText = (wchar_t*)remote.at(kTextAt);
  tv.cchTextMax = kTextChars;
  wchar_t text[kTextChars + 1] = {};
  if (!remote.Put(&tv, sizeof tv) || !SendMessageW(tree, TVM_GETITEMW, 0, (LPARAM)remote.at())) return L"";
  remote.Get(kTextAt, text, kTextChars * sizeof(wchar_t));
  if (image && remote.Get(0, &tv, sizeof tv)) *image = tv.iImage;
  return text;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
  return (HTREEITEM)SendMessageW(tree, TVM_GETNEXTITEM, how, (LPARAM)item);
}

// Selects the root ("root") or the job of that name; false when not found.
bool Select(HWND dlg, const std::wstring& name, bool run) {
  HWND tree = GetDlgItem(dlg, 1006);
  HTREEITEM root = Next(tree, nullptr, TVGN_ROOT);
  if (name == L"root") {
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)root);
    return root != nullptr;
  }
  Remote remote(tree);
  if (!remote.ok()) return false;
  for (HTREEITEM item = Next(tree, root, TVGN_CHILD); item; item = Next(tree, item, TVGN_NEXT)) {
    if (ItemText(tree, remote, item) != name) continue;
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
    if (run) SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(32785, 0), 0);
    return true;
  }
  return false;
}

// The tree as the user sees it: every job with its image and its lines, then
// the selected item on a line of its own.
std::string TreeText(HWND tree) {
  Remote remote(tree);
  if (!remote.ok()) return "";
  std::string out;
  const HTREEITEM root = Next(tree, nullptr, TVGN_ROOT);
  for (HTREEITEM job = root ? Next(tree, root, TVGN_CHILD) : nullptr; job; job = Next(tree, job, TVGN_NEXT)) {
    int image = -1;
    const std::wstring name = ItemText(tree, remote, job, &image);
    out.append(out.empty() ? "{" : " {").append(Ansi(name)).append("#").append(std::to_string(image));
    for (HTREEITEM line = Next(tree, job, TVGN_CHILD); line; line = Next(tree, line, TVGN_NEXT))
      out.append("|").append(Ansi(ItemText(tree, remote, line)));
    out.append("}");
  }
  const HTREEITEM selected = Next(tree, nullptr, TVGN_CARET);
  return out + "\n" + (selected ? Ansi(ItemText(tree, remote, selected)) : std::string()) + "\n";
}

// Selects one row of a list of another process (-1: none).
bool SelectRow(HWND list, int row) {
  Remote remote(list);
  if (!remote.ok()) return false;
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  remote.Put(&item, sizeof item);
  SendMessageW(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)remote.at());  // clear every selection
  if (row >= 0) {
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    remote.Put(&item, sizeof item);
    SendMessageW(list, LVM_SETITEMSTATE, row, (LPARAM)remote.at());
  }
  return true;
}

int ListCommand(HWND dlg, int row, int command) {
  if (!SelectRow(GetDlgItem(dlg, 1009), row)) return 3;
  PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  Sleep(300);
  return 0;
}

// The progress bar that a cell of the kit's report list draws in place of its
// text, from the records the row carries as its item data: its label, "@"
// and its percent; empty when the cell shows its text.
std::string ProgressCell(const Remote& remote, LPARAM records, int column) {
  if (!records) return "";
  // Copies of the records' bytes, read through their members' addresses in
  // the other process (the same build of the same headers); never destroyed.
  alignas(ListItemRow) unsigned char rowBytes[sizeof(ListItemRow)];
  alignas(ListItemData) unsigned char cellBytes[sizeof(ListItemData)];
  if (!remote.Read((const void*)records, rowBytes, sizeof rowBytes)) return "";
  const auto* row = reinterpret_cast<const ListItemRow*>(rowBytes);
  if (column < 0 || (size_t)column >= row->cells.size()) return "";
  if (!remote.Read(row->cells.data() + column, cellBytes, sizeof cellBytes)) return "";
  const auto* cell = reinterpret_cast<const ListItemData*>(cellBytes);
  if (!cell->progress) return "";
  std::string label(cell->progressText.GetLength(), '\0');
  if (!label.empty() && !remote.Read(cell->progressText.GetString(), &label[0], label.size())) return "";
  return label + "@" + std::to_string(cell->percent);
}

// The rows of a list of another process, one a line: the image and every
// column's text (or progress bar), apart by tabs.
std::string RowsText(HWND list) {
  Remote remote(list);
  if (!remote.ok()) return "";
  HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
  const int columns = header ? (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) : 1;
  std::string out;
  const int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int row = 0; row < count; ++row) {
    LVITEMW got{};
    std::string line = Ansi(Cell(list, remote, row, 0, LVIF_IMAGE | LVIF_PARAM, &got));
    line = std::to_string(got.iImage) + "\t" + line;
    for (int column = 1; column < columns; ++column) {
      const std::string bar = ProgressCell(remote, got.lParam, column);
      line += "\t" + (bar.empty() ? Ansi(Cell(list, remote, row, column)) : bar);
    }
    out += line + "\n";
  }
  return out;
}

// The rows of a two-column list of another process.
int WriteRows(HWND list, const char* file) {
  Remote remote(list);
  if (!remote.ok()) return 3;
  std::string out;
  const int count = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
  for (int row = 0; row < count; ++row) {
    LVITEMW got{};
    out += Utf8(Cell(list, remote, row, 0, LVIF_IMAGE | LVIF_STATE, &got));
    out.append("\x1f")
        .append(std::to_string(got.iImage))
        .append("\x1f")
        .append(std::to_string((got.state & LVIS_STATEIMAGEMASK) >> 12))
        .append("\x1f");
    out += Utf8(Cell(list, remote, row, 1));
    out += "\x1e";
  }
  FILE* f = std::fopen(file, "wb");
  if (!f) return 5;
  std::fwrite(out.data(), 1, out.size(), f);
  std::fclose(f);
  return 0;
}

std::wstring Wide(const char* text) {
  wchar_t out[1000] = {};
  MultiByteToWideChar(CP_ACP, 0, text, -1, out, 999);
  return out;
}

// A visible top-level window of that title, waited for up to `ms`.
HWND FindTitle(const std::wstring& title, int ms = 20000) {
  const DWORD end = GetTickCount() + ms;
  for (;;) {
    HWND h = nullptr;
    while ((h = FindWindowExW(nullptr, h, nullptr, title.c_str())) != nullptr)
      if (IsWindowVisible(h)) return h;
    if ((int)(end - GetTickCount()) < 0) return nullptr;
    Sleep(100);
  }
}

// The manager's message box: a dialog with the program's caption and answer
// buttons (the other dialogs have captions of their own).
HWND FindBox() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        wchar_t cls[32] = {};
        GetClassNameW(h, cls, 32);
        if (!IsWindowVisible(h) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
        const std::wstring title = TextOf(h);
        if (title != L"Orvanta" && title != L"OV Standard Edition") return TRUE;
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO})
          if (GetDlgItem(h, id)) {
            ((Search*)p)->found = h;
            return FALSE;
          }
        return TRUE;
      },
      (LPARAM)&search);
  return search.found;
}

// Control `id` of a window, or of the visible page inside it (a wizard's).
HWND Control(HWND w, int id) {
  if (HWND c = GetDlgItem(w, id)) return c;
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumChildWindows(
      w,
      [](HWND h, LPARAM p) -> BOOL {
        auto* s = (Search*)p;
        if (GetDlgCtrlID(h) != s->id || !IsWindowVisible(GetParent(h))) return TRUE;
        s->found = h;
        return FALSE;
      },
      (LPARAM)&search);
  return search.found;
}

int Shot(HWND dlg, const char* file, bool redraw = true) {
  if (redraw) {
    SetForegroundWindow(dlg);
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  Sleep(500);
  return SaveWindowPicture(dlg, Wide(file)) ? 0 : 5;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  // Commands that take pictures, give input or start programs run again as a
  // process of the desktop; the others, which only send messages, join it.
  bool joined = false;
  const std::string command = argv[1];
  if (command != "start" && command != "shot" && command != "menu" && command != "rowmenu" && command != "window")
    if (HDESK desk = OpenDesktopW(kDesktop, 0, FALSE, GENERIC_ALL)) joined = SetThreadDesktop(desk) != FALSE;
  if (!joined && !OnTestDesktop()) return RunOnDesktop(GetCommandLineW());
  if (command == "nobox") return FindBox() ? 1 : 0;
  if (command == "windows") {  // the titles of the visible windows, one a line
    EnumWindows(
        [](HWND h, LPARAM) -> BOOL {
          char title[512] = {};
          WideCharToMultiByte(CP_ACP, 0, TextOf(h).c_str(), -1, title, sizeof title - 1, nullptr, nullptr);
          if (IsWindowVisible(h)) std::printf("%s\n", title);
          return TRUE;
        },
        0);
    return 0;
  }
  if (command == "tree") {
    HWND dlg = FindManager();
    if (!dlg) return 1;
    std::printf("%s", TreeText(GetDlgItem(dlg, 1006)).c_str());
    return 0;
  }
  if (argc < 3) return 2;
  if (command == "start") {
    wchar_t exe[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, exe, MAX_PATH - 1);
    return RunOnDesktop(std::wstring(L"\"") + exe + L"\"");
  }
  if (command == "box") {
    HWND box = nullptr;
    for (int i = 0; i < 300 && !(box = FindBox()); ++i) Sleep(100);
    if (!box) return 1;
    Sleep(200);  // let the box finish its start-up
    std::wstring text = LongestStatic(box);
    for (wchar_t& c : text)
      if (c == L'\r' || c == L'\n') c = L'|';
    char out[4096] = {};
    WideCharToMultiByte(CP_ACP, 0, (TextOf(box) + L"] " + text).c_str(), -1, out, sizeof out - 1, nullptr, nullptr);
    std::printf("[%s\n", out);
    std::fflush(stdout);
    HWND button = GetDlgItem(box, atoi(argv[2]));
    if (!button) return 3;
    PostMessageW(button, BM_CLICK, 0, 0);
    return WaitGone(box, 10000) ? 0 : 4;
  }
  if (command == "window" && argc > 3) {
    HWND w = FindTitle(Wide(argv[2]));
    if (!w) return 1;
    Sleep(500);
    return std::string(argv[3]) == "-" ? 0 : Shot(w, argv[3]);
  }
  if (command == "pickrow" && argc > 4) {  // a row of a list in a dialog: title, control, row
    HWND w = FindTitle(Wide(argv[2]));
    HWND c = w ? Control(w, atoi(argv[3])) : nullptr;
    if (!c) return 1;
    const bool ok = SelectRow(c, atoi(argv[4]));
    Sleep(300);
    return ok ? 0 : 3;
  }
  if ((command == "set" || command == "click" || command == "close") && argc > 3) {
    HWND w = FindTitle(Wide(argv[2]));
    if (w && command == "close" && atoi(argv[3]) == 0) {  // the caption's close button
      PostMessageW(w, WM_CLOSE, 0, 0);
      return WaitGone(w, 10000) ? 0 : 1;
    }
    // A control on a page that an earlier click shows may appear a moment later.
    HWND c = nullptr;
    for (const DWORD end = GetTickCount() + 10000;
         w && !(c = Control(w, atoi(argv[3]))) && (int)(end - GetTickCount()) > 0;)
      Sleep(100);
    if (!c) return 1;
    if (command == "set") {
      if (argc < 5) return 2;
      SendMessageW(c, WM_SETTEXT, 0, (LPARAM)Wide(argv[4]).c_str());
      return 0;
    }
    PostMessageW(c, BM_CLICK, 0, 0);
    Sleep(300);
    return command == "close" && !WaitGone(w, 10000) ? 1 : 0;
  }
  HWND dlg = FindManager();
  if (!dlg) return 1;
  if (command == "select") {
    wchar_t name[100] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, name, 99);
    return Select(dlg, name, false) ? 0 : 4;
  }
  if (command == "command" || command == "sys") {
    const int id = atoi(argv[2]);
    if (command == "sys")
      PostMessageW(dlg, WM_SYSCOMMAND, id, 0);
    else
      PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dlg, id));
    Sleep(200);
    return 0;
  }
  if (command == "run") {
    wchar_t name[100] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, name, 99);
    return Select(dlg, name, true) ? 0 : 4;
  }
  if (command == "shot") return Shot(dlg, argv[2]);
  if (command == "check" && argc > 3) {
    HWND box = GetDlgItem(dlg, atoi(argv[2]));
    SendMessageW(box, BM_SETCHECK, atoi(argv[3]) ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(atoi(argv[2]), BN_CLICKED), (LPARAM)box);
    return IsWindowEnabled(GetDlgItem(dlg, 1035)) ? 10 : 11;
  }
  if (command == "text" && argc > 3) {
    wchar_t text[200] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[3], -1, text, 199);
    SetWindowTextW(GetDlgItem(dlg, atoi(argv[2])), text);
    return 0;
  }
  if (command == "rowmenu") {
    HWND list = GetDlgItem(dlg, 1009);
    SetForegroundWindow(dlg);
    RECT r{};
    GetWindowRect(list, &r);
    // The first row lies below the 30-pixel header.
    SetCursorPos(r.left + 60, r.top + 42);
    mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
    Sleep(800);
    const int rc = Shot(dlg, argv[2], false);
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    Sleep(300);
    return rc;
  }
  if (command == "list" && argc > 3) return ListCommand(dlg, atoi(argv[2]), atoi(argv[3]));
  if (command == "size" && argc > 3) {
    SetWindowPos(dlg, nullptr, 0, 0, atoi(argv[2]), atoi(argv[3]), SWP_NOMOVE | SWP_NOZORDER);
    return 0;
  }
  if (command == "menu" && argc > 3) {
    wchar_t name[100] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, name, 99);
    if (!Select(dlg, name, false)) return 4;
    SetForegroundWindow(dlg);
    // The keyboard form of the message: the menu opens at the selected item.
    PostMessageW(dlg, WM_CONTEXTMENU, (WPARAM)GetDlgItem(dlg, 1006), MAKELPARAM(-1, -1));
    Sleep(800);
    const int rc = Shot(dlg, argv[3], false);
    // The menu is a window of its own: its size tells which one opened.
    HWND popup = nullptr;
    while ((popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) && !IsWindowVisible(popup)) {
    }
    RECT r{};
    if (popup && GetWindowRect(popup, &r)) std::printf("%ld %ld\n", r.right - r.left, r.bottom - r.top);
    std::fflush(stdout);
    PostMessageW(dlg, WM_CANCELMODE, 0, 0);
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
    Sleep(300);
    return popup ? rc : 3;
  }
  if (command == "watch" && argc > 4) {
    // Every new state of the rows, as often as the list answers, so that a
    // report shown only for a moment is seen too.
    HWND list = GetDlgItem(dlg, atoi(argv[2]));
    const std::string until = argv[3];
    std::string last;
    bool first = true;
    for (const DWORD end = GetTickCount() + atoi(argv[4]) * 1000; (int)(end - GetTickCount()) > 0; Sleep(10)) {
      const std::string rows = RowsText(list);
      if (rows == last && !first) continue;
      first = false;
      std::printf("%lu\n%s", GetTickCount(), rows.c_str());
      std::fflush(stdout);
      last = rows;
      if (rows.find(until) != std::string::npos) return 0;
    }
    return 1;
  }
  if (command == "rows") {
    std::printf("%s", RowsText(GetDlgItem(dlg, atoi(argv[2]))).c_str());
    return 0;
  }
  if (command == "state") {
    for (int i = 2; i < argc; ++i) {
      HWND c = GetDlgItem(dlg, atoi(argv[i]));
      if (!c) return 3;
      std::printf("%s\t%d\t%d\n", Ansi(TextOf(c)).c_str(), IsWindowEnabled(c) ? 1 : 0,
                  SendMessageW(c, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    }
    return 0;
  }
  if (command == "refill" && argc > 3) {
    HWND list = GetDlgItem(dlg, atoi(argv[2]));
    for (int i = (int)SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) - 1; i >= 0; --i)
      SendMessageW(list, LVM_DELETEITEM, i, 0);
    if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) != 0) return 3;
    for (const DWORD end = GetTickCount() + atoi(argv[3]) * 1000; (int)(end - GetTickCount()) > 0; Sleep(50))
      if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) return 0;
    return 1;
  }
  if (command == "pick") return SelectRow(GetDlgItem(dlg, 1009), atoi(argv[2])) ? 0 : 3;
  if (command == "details") return WriteRows(GetDlgItem(dlg, 1036), argv[2]);
  if (command == "columns" && argc > 3) {
    HWND list = GetDlgItem(dlg, atoi(argv[2]));
    HWND header = (HWND)SendMessageW(list, LVM_GETHEADER, 0, 0);
    RECT r{};
    GetWindowRect(list, &r);
    const LONG style = GetWindowLongW(list, GWL_STYLE), exStyle = GetWindowLongW(list, GWL_EXSTYLE);
    char head[64];
    std::snprintf(head, sizeof head, "%ld %d %d %d", r.right - r.left, (style & WS_VSCROLL) ? 1 : 0,
                  GetSystemMetrics(SM_CXVSCROLL),
                  (exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) ? 2 * GetSystemMetrics(SM_CXEDGE) : 0);
    std::string out = head;
    const int count = (int)SendMessageW(header, HDM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
      out.append(" ").append(std::to_string(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0)));
    FILE* f = std::fopen(argv[3], "wb");
    if (!f) return 5;
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
    return 0;
  }
  return 2;
}
