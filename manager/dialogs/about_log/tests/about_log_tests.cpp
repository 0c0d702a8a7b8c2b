// The About box and the log viewer opened for real: texts, the link, the
// close paths, the rows of a job log, sorting, the context menu and Clear;
// and the splitting of the log's lines on their own.
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include "about_dlg.h"
#include "about_dlg_resource.h"
#include "box_answerer.h"
#include "gui_test_support.h"
#include "job_log_lines.h"
#include "log_viewer_dlg.h"
#include "log_viewer_resource.h"
#include "skin_cache.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;
using namespace orva::manager;

namespace {

CWinApp theApp("Orvanta");
CWnd g_mainWindow;

// --- the lines of the log ------------------------------------------------------------

TEST(JobLogLines, ServiceLineGivesTimeJobTagAndTextWithItsBlank) {
  JobLogRow row = SplitJobLogLine("[2026-12-10 08:05:09][Nightly] [Success] Backup finished");
  EXPECT_EQ(row.time, "2026-12-10 08:05:09");
  EXPECT_EQ(row.jobName, "Nightly");
  EXPECT_EQ(row.jobType, "Success");
  EXPECT_EQ(row.message, " Backup finished");
}

TEST(JobLogLines, OnlyTheFirstThreeClosingBracketsSplit) {
  JobLogRow row = SplitJobLogLine("[t][j] [ERROR] copy of [C:] failed] twice");
  EXPECT_EQ(row.jobType, "ERROR");
  EXPECT_EQ(row.message, " copy of [C:] failed] twice");
}

TEST(JobLogLines, MissingBracketsLeaveFieldsEmptyOrWhole) {
  JobLogRow none = SplitJobLogLine("no brackets at all");
  EXPECT_EQ(none.time, "");
  EXPECT_EQ(none.jobName, "");
  EXPECT_EQ(none.jobType, "");
  EXPECT_EQ(none.message, "no brackets at all");
  JobLogRow tag = SplitJobLogLine("[2024-01-31 08:05:09][ADDJOB] New Job register");
  EXPECT_EQ(tag.jobName, "ADDJOB");
  EXPECT_EQ(tag.jobType, "");
  EXPECT_EQ(tag.message, " New Job register");
  JobLogRow open = SplitJobLogLine("time]job]type]rest");
  EXPECT_EQ(open.time, "time");
  EXPECT_EQ(open.jobName, "job");
  EXPECT_EQ(open.jobType, "type");
  EXPECT_EQ(open.message, "rest");
}

TEST(JobLogLines, LineEndsOfTheServiceAndEmptyLinesGoAway) {
  auto rows = SplitJobLog("[a][b] [c] one\r\r\n\r\n[d][e] [f] two\r\n[g][h] [i] three");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].message, " one");
  EXPECT_EQ(rows[1].message, " two");
  EXPECT_EQ(rows[2].message, " three");
  EXPECT_TRUE(SplitJobLog("").empty());
  EXPECT_TRUE(SplitJobLog("\r\r\n").empty());
}

TEST(JobLogLines, OrderIsDescendingByteWise) {
  EXPECT_GT(CompareJobLogTexts("a", "b"), 0);
  EXPECT_LT(CompareJobLogTexts("b", "a"), 0);
  EXPECT_EQ(CompareJobLogTexts("x", "x"), 0);
  EXPECT_GT(CompareJobLogTexts("Z", "a"), 0);  // bytes, not letters
}

// --- helpers ----------------------------------------------------------------------------

// Posts `message` to the first shown window of this process with the caption, from a thread.
class WindowPoster {
 public:
  WindowPoster(const wchar_t* caption, UINT message, WPARAM wParam = 0)
      : m_thread(
            [this, caption = std::wstring(caption), message, wParam, desktop = GetThreadDesktop(GetCurrentThreadId())] {
              SetThreadDesktop(desktop);
              for (int i = 0; i < 300; ++i) {
                HWND h = FindWindowW(L"#32770", caption.c_str());
                if (h && IsWindowVisible(h)) {
                  Sleep(200);
                  PostMessageW(h, message, wParam, 0);
                  found = true;
                  return;
                }
                Sleep(30);
              }
            }) {}
  ~WindowPoster() { m_thread.join(); }
  bool found = false;

 private:
  std::thread m_thread;
};

// Reads the shown popup menu and dismisses it.
class MenuReader {
 public:
  MenuReader()
      : m_thread([this, desktop = GetThreadDesktop(GetCurrentThreadId())] {
          SetThreadDesktop(desktop);
          for (int i = 0; i < 300; ++i) {
            HWND h = FindWindowW(L"#32768", nullptr);
            if (h && IsWindowVisible(h)) {
              Sleep(150);
              HMENU menu = (HMENU)SendMessageW(h, MN_GETHMENU, 0, 0);
              if (menu) {
                count = GetMenuItemCount(menu);
                firstId = GetMenuItemID(menu, 0);
                wchar_t text[64] = {};
                GetMenuStringW(menu, 0, text, 64, MF_BYPOSITION);
                firstText = text;
              }
              PostMessageW(h, WM_KEYDOWN, VK_ESCAPE, 0);
              shown = true;
              return;
            }
            Sleep(30);
          }
        }) {}
  void Wait() {
    if (m_thread.joinable()) m_thread.join();
  }
  ~MenuReader() { Wait(); }
  bool shown = false;
  int count = 0;
  UINT firstId = 0;
  std::wstring firstText;

 private:
  std::thread m_thread;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

// --- About ----------------------------------------------------------------------------------

class TestAboutDlg : public CAboutDlg {
 public:
  std::vector<CString> opened;

 protected:
  void OpenWebPage(const CString& address) override { opened.push_back(address); }
};

CString DlgText(HWND dlg, int id) { return CWnd::FromHandle(GetDlgItem(dlg, id))->GetWindowText(); }

TEST(AboutDlg, ShowsNameLinkBuildAndPictureAndTheLinkOpensThePage) {
  TestAboutDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_ABOUTBOX));
  dlg.ShowWindow(SW_SHOW);
  Pump(300);
  EXPECT_EQ(dlg.GetWindowText(), "About Orvanta");
  EXPECT_EQ(DlgText(dlg.m_hWnd, IDC_ABOUT_NAME), "Orvanta Windows Backup v3.0.0");
  EXPECT_EQ(DlgText(dlg.m_hWnd, IDC_ABOUT_LINK), CAboutDlg::kWebAddress);
  EXPECT_EQ(DlgText(dlg.m_hWnd, IDC_ABOUT_BUILD_LABEL), "Build:");
  EXPECT_EQ(DlgText(dlg.m_hWnd, IDC_ABOUT_BUILD), CAboutDlg::kBuildNumber);
  HBITMAP picture = (HBITMAP)SendDlgItemMessageW(dlg.m_hWnd, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0);
  EXPECT_TRUE(picture);
  SaveScreenshot(dlg.m_hWnd, "about_dialog");

  // The link's colour before and after its click, on a transparent background.
  HWND link = GetDlgItem(dlg.m_hWnd, IDC_ABOUT_LINK);
  HDC dc = GetDC(link);
  LRESULT brush = SendMessageW(dlg.m_hWnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)link);
  EXPECT_EQ((HGDIOBJ)brush, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetTextColor(dc), CAboutDlg::kLinkColor);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  LRESULT other =
      SendMessageW(dlg.m_hWnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)GetDlgItem(dlg.m_hWnd, IDC_ABOUT_NAME));
  EXPECT_NE((HGDIOBJ)other, GetStockObject(NULL_BRUSH));
  EXPECT_TRUE(other);

  // A click on the link (a real one: the static tells its parent).
  CRect r;
  GetClientRect(link, &r);
  PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
  PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  Pump(200);
  EXPECT_TRUE(dlg.LinkClicked());
  ASSERT_EQ(dlg.opened.size(), 1u);
  EXPECT_EQ(dlg.opened[0], CAboutDlg::kWebAddress);
  SendMessageW(dlg.m_hWnd, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)link);
  EXPECT_EQ(GetTextColor(dc), CAboutDlg::kVisitedLinkColor);
  ReleaseDC(link, dc);

  // The hand over the link only.
  CRect lr;
  GetWindowRect(link, &lr);
  SetCursorPos(lr.left + 3, lr.top + 3);
  EXPECT_TRUE(SendMessageW(dlg.m_hWnd, WM_SETCURSOR, (WPARAM)link, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, (LPCWSTR)IDC_HAND));
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  dlg.DestroyWindow();
  Pump(50);
}

TEST(AboutDlg, EveryWayOfClosingReturnsOk) {
  {
    CAboutDlg dlg;
    BoxAnswerer ok(IDOK, 10000, L"Orvanta Windows Backup v3.0.0");
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(ok.Wait());
  }
  {
    CAboutDlg dlg;
    WindowPoster close(L"About Orvanta", WM_CLOSE);
    EXPECT_EQ(dlg.DoModal(), IDOK);
  }
  {
    // Escape and Enter do not close it; the close request then does.
    CAboutDlg dlg;
    bool stillOpen = false;
    std::thread keys([&stillOpen, desktop = GetThreadDesktop(GetCurrentThreadId())] {
      SetThreadDesktop(desktop);
      HWND h = nullptr;
      for (int i = 0; i < 300 && !(h && IsWindowVisible(h)); ++i, Sleep(30))
        h = FindWindowW(L"#32770", L"About Orvanta");
      if (!h) return;
      Sleep(200);
      HWND ok = GetDlgItem(h, IDOK);
      for (UINT key : {VK_ESCAPE, VK_RETURN}) {
        PostMessageW(ok, WM_KEYDOWN, key, 1);
        PostMessageW(ok, WM_KEYUP, key, 0xC0000001);
      }
      Sleep(400);
      stillOpen = IsWindow(h) && IsWindowVisible(h);
      PostMessageW(h, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    keys.join();
    EXPECT_TRUE(stillOpen);
  }
}

// --- log viewer -------------------------------------------------------------------------

const char kLog[] = "OrvaJob_test.log";
const std::string kLines =
    "[2026-12-10 08:00:00][Beta] [Success] Backup finished\r\r\n"
    "[2026-12-10 09:00:00][Alpha] [ERROR] copy of [C:] failed] twice\r\r\n"
    "a line without brackets\r\r\n"
    "[2026-12-10 07:00:00][Gamma] [Success] Replication done\r\r\n";

class LogViewer : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(kLog, kLines); }
  void TearDown() override {
    if (dlg.m_hWnd) dlg.DestroyWindow();
    Pump(50);
    std::remove(kLog);
  }
  void Open() {
    ASSERT_TRUE(dlg.Create(IDD_LOG_VIEWER));
    dlg.SetWindowPos(nullptr, 30, 30, 760, 420, SWP_NOZORDER);
    dlg.ShowWindow(SW_SHOW);
    Pump(300);
  }
  std::vector<std::string> Column(int column) {
    std::vector<std::string> out;
    for (int i = 0; i < dlg.List().GetItemCount(); ++i) out.push_back(dlg.List().GetItemText(i, column).str());
    return out;
  }
  void ClickHeader(int column) {
    HWND header = dlg.List().GetHeaderHwnd();
    CRect r;
    SendMessageW(header, HDM_GETITEMRECT, column, (LPARAM)&r);
    CPoint p = r.CenterPoint();
    PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Pump(200);
  }

  MessageBoxParams params;
  CLogViewerDlg dlg{nullptr, kLog, &params};
};

TEST_F(LogViewer, OneRowPerLineInFourColumns) {
  Open();
  EXPECT_EQ(dlg.GetWindowText(), "Orvanta Log Viewer");
  EXPECT_TRUE(params.options & SMB_OPT_MODERN);
  EXPECT_EQ(params.iconId, 178u);
  CListCtrl& list = dlg.List();
  ASSERT_EQ(list.GetColumnCount(), 4);
  const char* headers[] = {"Time", "Job Name", "Job Type", "Message"};
  const int widths[] = {130, 70, 150, 300};
  for (int c = 0; c < 4; ++c) {
    HDITEMW hd{};
    wchar_t text[32] = {};
    hd.mask = HDI_TEXT | HDI_FORMAT;
    hd.pszText = text;
    hd.cchTextMax = 32;
    SendMessageW(list.GetHeaderHwnd(), HDM_GETITEMW, c, (LPARAM)&hd);
    EXPECT_EQ(FromWideText(text), headers[c]);
    EXPECT_EQ(hd.fmt & HDF_JUSTIFYMASK, HDF_LEFT);
    EXPECT_EQ(list.GetColumnWidth(c), widths[c]);
  }
  EXPECT_EQ(list.GetExtendedStyle() & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
            (DWORD)(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
  ASSERT_EQ(list.GetItemCount(), 4);
  EXPECT_EQ(Column(0),
            (std::vector<std::string>{"2026-12-10 08:00:00", "2026-12-10 09:00:00", "", "2026-12-10 07:00:00"}));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"Beta", "Alpha", "", "Gamma"}));
  EXPECT_EQ(Column(2), (std::vector<std::string>{"Success", "ERROR", "", "Success"}));
  EXPECT_EQ(Column(3), (std::vector<std::string>{" Backup finished", " copy of [C:] failed] twice",
                                                 "a line without brackets", " Replication done"}));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list.GetItemData(i), (DWORD_PTR)i);
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = i;
    list.SendMessage(LVM_GETITEMW, 0, (LPARAM)&item);
    EXPECT_EQ(item.iImage, 0);
  }
  HIMAGELIST images = (HIMAGELIST)list.SendMessage(LVM_GETIMAGELIST, LVSIL_SMALL);
  ASSERT_TRUE(images);
  EXPECT_EQ(ImageList_GetImageCount(images), 1);
  SaveScreenshot(dlg.m_hWnd, "log_viewer");
}

TEST_F(LogViewer, HeaderClicksSortDescendingEveryTime) {
  Open();
  ClickHeader(1);
  EXPECT_EQ(dlg.SortColumn(), 1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"Gamma", "Beta", "Alpha", ""}));
  ClickHeader(1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"Gamma", "Beta", "Alpha", ""}));
  ClickHeader(0);
  EXPECT_EQ(Column(0),
            (std::vector<std::string>{"2026-12-10 09:00:00", "2026-12-10 08:00:00", "2026-12-10 07:00:00", ""}));
  // The rows move whole.
  EXPECT_EQ(Column(1), (std::vector<std::string>{"Alpha", "Beta", "Gamma", ""}));
}

TEST_F(LogViewer, RightClickShowsClearFromTheProgramsMenu) {
  Open();
  CRect r;
  dlg.List().GetItemRect(0, &r, LVIR_BOUNDS);
  MenuReader menu;
  PostMessageW(dlg.List().m_hWnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(r.left + 20, r.top + 5));
  PostMessageW(dlg.List().m_hWnd, WM_RBUTTONUP, 0, MAKELPARAM(r.left + 20, r.top + 5));
  Pump(600);
  menu.Wait();
  ASSERT_TRUE(menu.shown);
  EXPECT_EQ(menu.count, 1);
  EXPECT_EQ(menu.firstId, (UINT)ID_LOG_CLEAR);
  EXPECT_EQ(menu.firstText, L"Clear");
  EXPECT_EQ(dlg.MenuText(), "Clear");
  EXPECT_EQ(ReadFile(kLog), kLines);  // dismissing clears nothing
}

TEST_F(LogViewer, ClearShowsTheNoticeThenEmptiesFileAndList) {
  Open();
  BoxAnswerer notice(IDOK, 10000, L"로그파일 지우기 전", "log_viewer_clear_notice");
  dlg.PostMessage(WM_COMMAND, ID_LOG_CLEAR);
  Pump(800);
  ASSERT_TRUE(notice.Wait());
  EXPECT_TRUE(notice.ShotShowsSomething());
  Pump(200);
  EXPECT_EQ(ReadFile(kLog), "");
  EXPECT_EQ(dlg.List().GetItemCount(), 0);

  // Lines written after the clear show on the next load only.
  WriteFile(kLog, "[t][job] [tag] later\r\r\n");
  EXPECT_TRUE(dlg.LoadLog(kLog));
  EXPECT_EQ(dlg.List().GetItemCount(), 1);
  EXPECT_EQ(dlg.List().GetItemData(0), (DWORD_PTR)0);
}

TEST_F(LogViewer, ALogThatCannotBeReadIsNotEmptied) {
  Open();
  HANDLE held = CreateFileA(kLog, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  BoxAnswerer notice(IDOK, 10000, L"로그파일 지우기 전");
  BoxAnswerer error(IDOK, 15000, L"could not be opened");
  dlg.PostMessage(WM_COMMAND, ID_LOG_CLEAR);
  for (int i = 0; i < 20 && error.Boxes() == 0; ++i) Pump(200);
  EXPECT_TRUE(notice.Wait());
  EXPECT_TRUE(error.Wait());
  CloseHandle(held);
  Pump(200);
  EXPECT_EQ(ReadFile(kLog), kLines);
  EXPECT_EQ(dlg.List().GetItemCount(), 4);
}

TEST_F(LogViewer, MissingLogShowsTheFileErrorAndAnEmptyList) {
  std::remove(kLog);
  BoxAnswerer error(IDOK, 10000, L"was not found");
  Open();
  for (int i = 0; i < 10 && error.Boxes() == 0; ++i) Pump(100);
  EXPECT_TRUE(error.Wait());
  Pump(100);
  EXPECT_TRUE(dlg.IsWindowVisible());
  EXPECT_EQ(dlg.List().GetItemCount(), 0);
}

TEST_F(LogViewer, ListKeepsItsMarginsWhenTheDialogIsResized) {
  Open();
  CRect client, list;
  dlg.GetClientRect(&client);
  dlg.List().GetWindowRect(&list);
  dlg.ScreenToClient(&list);
  int rightGap = client.right - list.right, bottomGap = client.bottom - list.bottom;
  dlg.SetWindowPos(nullptr, 0, 0, 900, 560, SWP_NOMOVE | SWP_NOZORDER);
  Pump(100);
  CRect client2, list2;
  dlg.GetClientRect(&client2);
  dlg.List().GetWindowRect(&list2);
  dlg.ScreenToClient(&list2);
  EXPECT_GT(client2.Width(), client.Width());
  EXPECT_EQ(list2.left, list.left);
  EXPECT_EQ(list2.top, list.top);
  EXPECT_EQ(client2.right - list2.right, rightGap);
  EXPECT_EQ(client2.bottom - list2.bottom, bottomGap);
}

TEST(LogViewerModal, RunsModallyUntilClosed) {
  WriteFile(kLog, kLines);
  CLogViewerDlg dlg(nullptr, kLog);
  WindowPoster close(L"Orvanta Log Viewer", WM_CLOSE);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(close.found);
  std::remove(kLog);
}

}  // namespace

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  return RUN_ALL_TESTS();
}
