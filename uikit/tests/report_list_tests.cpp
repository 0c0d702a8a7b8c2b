// The report list and its header on a real dialog: drawing checked by pixels
// read back, clicks and notifications by the state read back. (The label and
// sorting rules are in report_list_text_tests.cpp.)
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "gui_test_support.h"
#include "report_list.h"
#include "report_list_test_resource.h"
#include "skin_cache.h"
#include "skin_dialog.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace {

CWinApp theApp("Orvanta");
CWnd g_mainWindow;

const int kRows = 300;
const COLORREF kGrid = RGB(0xC0, 0x60, 0x20);
const COLORREF kBar = RGB(0x94, 0xFA, 0x94);
const COLORREF kLabel = RGB(0x78, 0x78, 0x78);
enum { ColName, ColSize, ColCheck, ColProgress, ColNote, ColumnCount };

CString RowName(int i) {
  CString s;
  s.Format("Job %03d", (i * 7) % kRows);
  return s;
}

// Sizes of one to three digits, with repeats.
CString RowSize(int i) {
  CString s;
  s.Format("%d", i % 50 == 0 ? 5 : (i * 37) % 1000);
  return s;
}

CString LongNote() {
  CString s;
  for (int i = 0; i < 30; ++i) s.AppendFormat("part %02d / ", i);
  return s;  // 300 characters
}

class ReportDialog : public CFixSkinDialog {
 public:
  ReportDialog() : CFixSkinDialog(IDD_REPORT_LIST) {}
  CReportListCtrl m_list, m_empty;
  CImageList m_headerImages;
  int m_clickings = 0;
  CheckboxClickInfo m_lastClick{};
  LPARAM m_lastNewState = -1;
  LRESULT m_veto = 0;
  int m_columnClicks = 0;
  bool m_ascending[ColumnCount] = {true, true, true, true, true};

  void DoDataExchange(CDataExchange* dx) override {
    CFixSkinDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_REPORT_LIST, m_list);
    DDX_Control(dx, IDC_EMPTY_LIST, m_empty);
  }

  static void SetUp(CReportListCtrl& list) {
    CSkinCache& skin = SkinCache();
    list.SetRowHeight(20);
    list.SetListFont(skin.GetFont(1));
    list.m_header.SetCaptionFont(skin.GetFont(0));
    list.m_header.SetHeaderHeight(30);
    list.SetGridLineColor(kGrid);
  }

  BOOL OnInitDialog() override {
    CFixSkinDialog::OnInitDialog();
    SetWindowText("Report list");
    SetUp(m_list);
    m_list.InsertColumn(ColName, "Name", LVCFMT_LEFT, 90);
    m_list.InsertColumn(ColSize, "Size", LVCFMT_RIGHT, 60);
    m_list.InsertColumn(ColCheck, "Check", LVCFMT_LEFT, 70);
    m_list.InsertColumn(ColProgress, "Progress", LVCFMT_LEFT, 110);
    m_list.InsertColumn(ColNote, "Note", LVCFMT_LEFT, 80);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_list.EnableToolTips(TRUE);
    m_list.MoveWindow(14, 14, 440, 330);

    SetUp(m_empty);
    m_empty.InsertColumn(0, "Empty", LVCFMT_LEFT, 200);
    m_empty.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_empty.SetEmptyListText("Nothing to show in this list at the moment, come back later");
    m_empty.MoveWindow(14, 352, 200, 100);

    for (int i = 0; i < kRows; ++i) {
      std::wstring name = ToWideText(RowName(i));
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_PARAM;
      item.iItem = i;
      item.pszText = name.data();
      item.lParam = 1000 + i;
      EXPECT_EQ(m_list.InsertItem(&item), i);
      m_list.SetItemText(i, ColSize, RowSize(i));
      m_list.SetCheckbox(i, ColCheck, 0);
      m_list.SetItemText(i, ColNote, i == 0 ? LongNote() : CString("short"));
    }
    return TRUE;
  }

  LRESULT OnCheckboxClicking(WPARAM wParam, LPARAM lParam) {
    ++m_clickings;
    m_lastClick = *(CheckboxClickInfo*)wParam;
    m_lastNewState = lParam;
    return m_veto;
  }

  LRESULT OnEditBoxChange(WPARAM item, LPARAM subitem) {
    m_edits.push_back({(int)item, (int)subitem});
    return 0;
  }
  std::vector<std::pair<int, int>> m_edits;

  void OnColumnClick(NMHDR* nm, LRESULT* result) {
    int column = ((NMLISTVIEW*)nm)->iSubItem;
    ++m_columnClicks;
    m_list.SortByColumn(column, m_ascending[column]);
    m_ascending[column] = !m_ascending[column];
    *result = 0;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ReportDialog, CFixSkinDialog)
ON_REGISTERED_MESSAGE(WM_XREPORTLIST_CHECKBOX_CLICKING, OnCheckboxClicking)
ON_REGISTERED_MESSAGE(WM_XREPORTLIST_EDITBOX_CHANGE, OnEditBoxChange)
ON_NOTIFY(LVN_COLUMNCLICK, IDC_REPORT_LIST, OnColumnClick)
END_MESSAGE_MAP()

// Stands in for the in-place editors: records what the list asks of them.
class FakeEditors : public CReportCellEditors {
 public:
  struct Opened {
    Kind kind;
    int item, subitem;
  };
  std::vector<Opened> opened;
  CString value = "edited";
  int destroyed = 0;
  BOOL Open(CReportListCtrl*, Kind kind, int item, int subitem) override {
    opened.push_back({kind, item, subitem});
    return TRUE;
  }
  BOOL TakeValue(CReportListCtrl*, Kind, UINT lastKey, ListItemData&, CString& text) override {
    if (lastKey == VK_ESCAPE) return FALSE;
    text = value;
    return TRUE;
  }
  void DestroyAll() override { ++destroyed; }
};

void Open(ReportDialog& dlg) {
  ASSERT_TRUE(dlg.Create(IDD_REPORT_LIST));
  dlg.SetWindowPos(nullptr, 40, 40, 480, 540, SWP_NOZORDER);
  dlg.ShowWindow(SW_SHOW);
  dlg.SetForegroundWindow();
  dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(300);
}

void Repaint(CWnd& w) {
  w.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(40);
}

void Click(HWND h, POINT client) {
  PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
  PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
  Pump(80);
}

void ClickHeader(CReportListCtrl& list, int column) {
  CRect r;
  list.m_header.GetItemRect(column, &r);
  Click(list.m_header.m_hWnd, r.CenterPoint());
}

// How many more GDI objects the process can make now (each is freed again):
// what painting keeps shows as less room.
const int kGdiProbeLimit = 200000;
int FreeGdiRoom() {
  std::vector<HPEN> pens;
  pens.reserve(70000);
  while ((int)pens.size() < kGdiProbeLimit) {
    HPEN p = CreatePen(PS_SOLID, 1, RGB(pens.size() & 0xFF, 0, 0));
    if (!p) break;
    pens.push_back(p);
  }
  for (HPEN p : pens) DeleteObject(p);
  return (int)pens.size();
}

bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 300; }

// Columns of `r` (within `p`) holding a pixel that is not `back`.
std::pair<int, int> InkSpan(const Pixels& p, const CRect& r, COLORREF back) {
  int first = -1, last = -1;
  for (int x = r.left; x < r.right; ++x)
    for (int y = r.top; y < r.bottom; ++y)
      if (p.inside(x, y) && p.at(x, y) != back) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

// Counts the paint messages a window of this thread receives while it lives.
class PaintCounter {
 public:
  explicit PaintCounter(HWND window) {
    s_window = window;
    s_self = this;
    m_hook = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
  }
  ~PaintCounter() {
    UnhookWindowsHookEx(m_hook);
    s_self = nullptr;
  }
  int count = 0;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    auto* cwp = (CWPSTRUCT*)lParam;
    if (code == HC_ACTION && s_self && cwp->hwnd == s_window && cwp->message == WM_PAINT) ++s_self->count;
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline HWND s_window = nullptr;
  static inline PaintCounter* s_self = nullptr;
  HHOOK m_hook;
};

// The visible rows in display order, as (size text, name) with their row data.
struct Shown {
  CString size, name;
  DWORD_PTR data;
};
std::vector<Shown> ReadRows(CReportListCtrl& list) {
  std::vector<Shown> rows;
  for (int i = 0; i < list.GetItemCount(); ++i)
    rows.push_back({list.GetItemText(i, ColSize), list.GetItemText(i, ColName), list.GetRowData(i)});
  return rows;
}

}  // namespace

// --- the list on a dialog ---------------------------------------------------------

TEST(ReportList, RowsOwnTheirRecordsAndFreeThemEveryWay) {
  long before = CReportListCtrl::LiveRows();
  {
    ReportDialog dlg;
    Open(dlg);
    ASSERT_EQ(dlg.m_list.GetItemCount(), kRows);
    EXPECT_EQ(CReportListCtrl::LiveRows(), before + kRows);
    EXPECT_EQ(dlg.m_list.GetRowData(7), 1007u);  // the lParam given at insertion is kept
    EXPECT_EQ(dlg.m_list.GetCell(7, ColNote)->backColor, RGB(255, 255, 255));
    EXPECT_EQ(dlg.m_list.GetCell(7, ColumnCount), nullptr);

    EXPECT_TRUE(dlg.m_list.DeleteItem(5));
    EXPECT_EQ(CReportListCtrl::LiveRows(), before + kRows - 1);
    EXPECT_FALSE(dlg.m_list.DeleteItem(kRows));
    EXPECT_FALSE(dlg.m_list.DeleteItem(-1));
    // A row deleted by the bare list message still frees its records.
    dlg.m_list.SendMessage(LVM_DELETEITEM, 0);
    EXPECT_EQ(CReportListCtrl::LiveRows(), before + kRows - 2);
    EXPECT_TRUE(dlg.m_list.DeleteAllItems());
    EXPECT_EQ(CReportListCtrl::LiveRows(), before);
    EXPECT_EQ(dlg.m_list.GetItemCount(), 0);

    for (int i = 0; i < 20; ++i) dlg.m_list.InsertItem(i, RowName(i));
    EXPECT_EQ(CReportListCtrl::LiveRows(), before + 20);
    // A column added after the rows has no records in them: refused, not overrun.
    dlg.m_list.InsertColumn(ColumnCount, "Later", LVCFMT_LEFT, 50);
    EXPECT_EQ(dlg.m_list.GetCell(3, ColumnCount), nullptr);
    EXPECT_FALSE(dlg.m_list.SetCheckbox(3, ColumnCount, 1));
    EXPECT_EQ(dlg.m_list.GetCheckbox(3, ColumnCount), -1);
    EXPECT_FALSE(dlg.m_list.SetProgress(3, ColumnCount));
    EXPECT_TRUE(dlg.m_list.SetItemText(3, ColumnCount, "drawn as text"));
    Repaint(dlg.m_list);
    EXPECT_EQ(dlg.m_list.GetItemText(3, ColumnCount), CString("drawn as text"));
    dlg.DestroyWindow();
    EXPECT_EQ(CReportListCtrl::LiveRows(), before);  // the window's end frees the rest
  }
  EXPECT_EQ(CReportListCtrl::LiveRows(), before);
}

TEST(ReportList, AnInsertWithoutRecordsFailsAndLeavesTheCallersValueAlone) {
  long before = CReportListCtrl::LiveRows();
  ReportDialog dlg;
  Open(dlg);
  // A list without columns: no records can be made for a row.
  dlg.m_empty.SendMessage(LVM_DELETECOLUMN, 0);
  ASSERT_EQ(dlg.m_empty.GetColumnCount(), 0);
  // The caller's value points at memory of its own that the list must neither free nor touch.
  std::vector<unsigned char> own(64, 0xA5);
  std::wstring text = L"no columns";
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = 0;
  item.pszText = text.data();
  item.lParam = (LPARAM)own.data();
  const LVITEMW given = item;
  EXPECT_EQ(dlg.m_empty.InsertItem(&item), -1);
  EXPECT_EQ(dlg.m_empty.GetItemCount(), 0);  // no half row stays
  EXPECT_EQ(CReportListCtrl::LiveRows(), before + kRows);
  EXPECT_EQ(std::memcmp(&item, &given, sizeof item), 0);
  EXPECT_EQ(std::count(own.begin(), own.end(), 0xA5), 64);
  // The same value on a list with columns is kept as the row's value.
  item.iItem = 1;
  EXPECT_EQ(dlg.m_list.InsertItem(&item), 1);
  EXPECT_EQ(dlg.m_list.GetRowData(1), (DWORD_PTR)own.data());
  EXPECT_EQ(CReportListCtrl::LiveRows(), before + kRows + 1);
  EXPECT_TRUE(dlg.m_list.DeleteItem(1));
  EXPECT_EQ(std::count(own.begin(), own.end(), 0xA5), 64);
  dlg.DestroyWindow();
  EXPECT_EQ(CReportListCtrl::LiveRows(), before);
}

TEST(ReportList, SetItemTextTellsWhetherItChangedAnything) {
  ReportDialog dlg;
  Open(dlg);
  EXPECT_FALSE(dlg.m_list.SetItemText(2, ColSize, RowSize(2)));
  EXPECT_TRUE(dlg.m_list.SetItemText(2, ColSize, "77"));
  EXPECT_EQ(dlg.m_list.GetItemText(2, ColSize), CString("77"));
  EXPECT_FALSE(dlg.m_list.SetItemText(kRows, 0, "x"));
  EXPECT_FALSE(dlg.m_list.SetItemText(0, ColumnCount, "x"));
  // A long text is stored and read back whole.
  CString longText = LongNote() + LongNote() + LongNote();
  EXPECT_TRUE(dlg.m_list.SetItemText(4, ColNote, longText));
  EXPECT_EQ(dlg.m_list.GetItemText(4, ColNote), longText);
  dlg.DestroyWindow();
}

TEST(ReportHeader, StripsDividersAndCentredCaptions) {
  ReportDialog dlg;
  Open(dlg);
  CReportHeaderCtrl& header = dlg.m_list.m_header;
  ASSERT_TRUE(header.m_hWnd != nullptr);
  EXPECT_EQ((HWND)header.m_hWnd, dlg.m_list.GetHeaderHwnd());
  CRect client;
  header.GetClientRect(&client);
  EXPECT_EQ(client.Height(), 30);
  CRect first;
  ASSERT_TRUE(dlg.m_list.GetItemRect(0, &first, LVIR_BOUNDS));
  EXPECT_EQ(first.top, 30);       // the rows start under the header's height
  EXPECT_EQ(first.Height(), 20);  // the row height

  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(header.m_hWnd, false);
  Pixels strip = CaptureBitmap(SkinCache().GetBitmap(21));
  Pixels divider = CaptureBitmap(SkinCache().GetBitmap(22));
  ASSERT_EQ(strip.height, 10);
  ASSERT_EQ(divider.height, 20);
  CRect item0, item4;
  header.GetItemRect(0, &item0);
  header.GetItemRect(ColNote, &item4);
  // The strip along the bottom of every item.
  for (int y = 0; y < 10; ++y) {
    EXPECT_EQ(shot.at(item0.left + 20, 20 + y), strip.at(0, y)) << y;
    EXPECT_EQ(shot.at(item4.left + 3, 20 + y), strip.at(0, y)) << y;
  }
  // A divider at the right edge of each column but the last.
  for (int y = 0; y < 20; ++y) EXPECT_EQ(shot.at(item0.right, y), divider.at(0, y)) << y;
  if (item4.right < shot.width) {
    EXPECT_EQ(shot.at(item4.right, 2), RGB(255, 255, 255));
  }
  // The header is white above the strip, away from the captions.
  EXPECT_EQ(shot.at(item0.left + 2, 2), RGB(255, 255, 255));
  // The caption "Name": dark ink from y = 5 down, centred in its column.
  auto span = InkSpan(shot, CRect(item0.left + 1, 0, item0.right - 1, 20), RGB(255, 255, 255));
  ASSERT_GE(span.first, 0);
  int middle = (span.first + span.second) / 2;
  EXPECT_NEAR(middle, (item0.left + item0.right) / 2, 3);
  int topInk = 99;
  for (int y = 0; y < 20; ++y)
    for (int x = item0.left + 1; x < item0.right - 1; ++x)
      if (IsDark(shot.at(x, y))) topInk = std::min(topInk, y);
  EXPECT_GE(topInk, 5);
  EXPECT_LT(topInk, 12);
  dlg.DestroyWindow();
}

TEST(ReportHeader, ColumnCheckBoxImageAndEllipsis) {
  ReportDialog dlg;
  Open(dlg);
  // The owner's header images: 0 unused, 1 an unchecked box (blue), 2 a checked one (red).
  ASSERT_TRUE(dlg.m_headerImages.Create(12, 12, ILC_COLOR24, 3, 0));
  COLORREF colours[3] = {RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 0, 0)};
  for (COLORREF c : colours) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, 12, 12);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, b);
    RECT r{0, 0, 12, 12};
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(mem, &r, brush);
    DeleteObject(brush);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    ImageList_Add(dlg.m_headerImages, b, nullptr);
    DeleteObject(b);
  }
  dlg.m_list.m_header.SetImageList(&dlg.m_headerImages);
  EXPECT_EQ(dlg.m_list.m_header.GetImageSize(), CSize(12, 12));
  EXPECT_TRUE(dlg.m_list.SetHeaderCheckbox(ColCheck, 1));
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColCheck), 1);
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColumnCount), -1);
  // A caption too long for its column.
  HDITEMW hd{};
  std::wstring caption = L"A caption far wider than its column";
  hd.mask = HDI_TEXT;
  hd.pszText = caption.data();
  dlg.m_list.m_header.SetItem(ColSize, &hd);
  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(dlg.m_list.m_header.m_hWnd, false);
  CRect check, name, size;
  dlg.m_list.m_header.GetItemRect(ColCheck, &check);
  dlg.m_list.m_header.GetItemRect(ColName, &name);
  dlg.m_list.m_header.GetItemRect(ColSize, &size);
  CRect box(check.left + 6, 15 - 6, check.left + 18, 15 + 6);
  EXPECT_EQ(CountColor(shot, box, RGB(0, 0, 255)), 144);
  EXPECT_EQ(CountColor(shot, name, RGB(0, 255, 0)), 0);  // image 0 is never drawn
  // The ellipsis keeps the caption inside its column.
  auto span = InkSpan(shot, CRect(size.left + 1, 0, size.right - 1, 20), RGB(255, 255, 255));
  EXPECT_GE(span.first, size.left + 6);
  EXPECT_LE(span.second, size.right - 6);
  SaveScreenshot(dlg.m_hWnd, "report_header_check");

  // Checking every row checks the header box; a header click clears them all.
  for (int i = 0; i < kRows - 1; ++i) dlg.m_list.SetCheckbox(i, ColCheck, 1);
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColCheck), 1);
  dlg.m_list.SetCheckbox(kRows - 1, ColCheck, 1);
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColCheck), 2);
  dlg.m_list.SetCheckbox(3, ColProgress, -1);
  ClickHeader(dlg.m_list, ColCheck);
  EXPECT_EQ(dlg.m_columnClicks, 1);  // the owner hears the click too
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColCheck), 1);
  EXPECT_EQ(dlg.m_list.CountChecked(ColCheck), 0);
  EXPECT_EQ(dlg.m_list.GetCheckbox(3, ColProgress), -1);
  ClickHeader(dlg.m_list, ColCheck);
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColCheck), 2);
  EXPECT_EQ(dlg.m_list.CountChecked(ColCheck), kRows);
  dlg.DestroyWindow();
}

TEST(ReportHeader, RepaintsOnEveryMoveOnceTrackingAndOnLeaving) {
  ReportDialog dlg;
  Open(dlg);
  CReportHeaderCtrl& header = dlg.m_list.m_header;
  auto dirty = [&] {
    RECT r;
    return GetUpdateRect(header.m_hWnd, &r, FALSE) != 0;
  };
  ValidateRect(header.m_hWnd, nullptr);
  header.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(20, 10));  // asks for the leave message
  header.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(22, 10));
  EXPECT_TRUE(dirty());
  ValidateRect(header.m_hWnd, nullptr);
  header.SendMessage(WM_MOUSELEAVE);
  EXPECT_TRUE(dirty());
  Pump(40);
  dlg.DestroyWindow();
}

TEST(ReportList, EdgedListsGetAOnePixelBorderInTheSkinColour) {
  ReportDialog dlg;
  Open(dlg);
  dlg.m_empty.ModifyStyle(WS_BORDER, 0);
  dlg.m_empty.ModifyStyleEx(0, WS_EX_CLIENTEDGE, SWP_FRAMECHANGED);
  Repaint(dlg);
  Pixels shot = CaptureWindow(dlg.m_empty.m_hWnd, true);
  EXPECT_EQ(shot.at(0, shot.height / 2), SkinCache().GetColor(5));
  EXPECT_EQ(shot.at(shot.width / 2, 0), SkinCache().GetColor(5));
  EXPECT_EQ(shot.at(shot.width - 1, shot.height / 2), SkinCache().GetColor(5));
  EXPECT_NE(shot.at(1, shot.height / 2), SkinCache().GetColor(5));  // the edge inside stays the system's
  dlg.DestroyWindow();
}

TEST(ReportHeader, ColumnsCannotBeMadeNarrowerThanTwentyPixels) {
  ReportDialog dlg;
  Open(dlg);
  EXPECT_FALSE(dlg.m_list.SetColumnWidth(ColSize, 10) && dlg.m_list.GetColumnWidth(ColSize) == 10);
  EXPECT_EQ(dlg.m_list.GetColumnWidth(ColSize), 60);
  EXPECT_TRUE(dlg.m_list.SetColumnWidth(ColSize, 25));
  EXPECT_EQ(dlg.m_list.GetColumnWidth(ColSize), 25);
  // The image of a header item may change.
  EXPECT_TRUE(dlg.m_list.SetHeaderCheckbox(ColSize, 2));
  EXPECT_EQ(dlg.m_list.GetHeaderCheckbox(ColSize), 2);
  dlg.DestroyWindow();
}

TEST(ReportList, CellColoursGridLinesAndTheEmptyListText) {
  ReportDialog dlg;
  Open(dlg);
  const COLORREF back = RGB(0xFF, 0xE0, 0xC0), text = RGB(0x10, 0x20, 0xA0);
  EXPECT_TRUE(dlg.m_list.SetItemColors(2, ColNote, text, back));
  EXPECT_FALSE(dlg.m_list.SetItemColors(kRows, ColNote, text, back));
  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  CRect cell, plain;
  ASSERT_TRUE(dlg.m_list.GetCellRect(2, ColNote, LVIR_BOUNDS, cell));
  ASSERT_TRUE(dlg.m_list.GetCellRect(3, ColNote, LVIR_BOUNDS, plain));
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), back);
  EXPECT_GT(CountColor(shot, cell, text), 5);  // "short" in the cell's text colour
  EXPECT_EQ(shot.at(plain.right - 3, plain.top + 2), RGB(255, 255, 255));
  // The grid line under each cell.
  EXPECT_EQ(shot.at(cell.left + 5, cell.bottom), kGrid);
  EXPECT_EQ(shot.at(plain.left + 5, plain.bottom), kGrid);
  // Size is right-aligned: its ink ends near the right edge.
  CRect size;
  dlg.m_list.GetCellRect(1, ColSize, LVIR_BOUNDS, size);
  auto span = InkSpan(shot, CRect(size.left, size.top, size.right, size.bottom - 1), RGB(255, 255, 255));
  EXPECT_GT(span.first, size.left + size.Width() / 2);

  // The empty list: its text centred 10 pixels under the header, word-wrapped.
  Pixels empty = CaptureWindow(dlg.m_empty.m_hWnd, false);
  int headerBottom = 30, firstInk = -1, inkRows = 0;
  for (int y = headerBottom; y < empty.height; ++y) {
    bool ink = false;
    for (int x = 0; x < empty.width; ++x)
      if (empty.at(x, y) == GetSysColor(COLOR_WINDOWTEXT)) ink = true;
    if (ink) {
      if (firstInk < 0) firstInk = y;
      ++inkRows;
    }
  }
  EXPECT_GE(firstInk, headerBottom + 10);
  EXPECT_LE(firstInk, headerBottom + 14);
  EXPECT_GT(inkRows, 14);  // more than one line
  EXPECT_EQ(empty.at(3, empty.height - 3), RGB(255, 255, 255));
  SaveScreenshot(dlg.m_hWnd, "report_list");
  dlg.DestroyWindow();
}

TEST(ReportList, CheckBoxesToggleByClickAndTheOwnerMayRefuse) {
  ReportDialog dlg;
  Open(dlg);
  CRect cell;
  ASSERT_TRUE(dlg.m_list.GetCellRect(1, ColCheck, LVIR_BOUNDS, cell));
  Click(dlg.m_list.m_hWnd, cell.CenterPoint());
  EXPECT_EQ(dlg.m_clickings, 1);
  EXPECT_EQ(dlg.m_lastClick.list, dlg.m_list.m_hWnd);
  EXPECT_EQ(dlg.m_lastClick.item, 1);
  EXPECT_EQ(dlg.m_lastClick.subitem, ColCheck);
  EXPECT_EQ(dlg.m_lastNewState, 1);
  EXPECT_EQ(dlg.m_list.GetCheckbox(1, ColCheck), 1);
  EXPECT_TRUE(dlg.m_list.GetItemState(1, LVIS_SELECTED) & LVIS_SELECTED);  // the row is selected too

  // The check mark: seven strokes in black inside a centred box.
  dlg.m_list.SetItemState(1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  CRect r = cell;
  r.DeflateRect(1, 1, 1, 0);
  int boxH = (r.bottom - 1) - (r.top + 1);
  int boxLeft = r.left + r.Width() / 2 - boxH / 2 - 1 + 1, boxTop = r.top + 1;
  const int dx[] = {9, 8, 7, 6, 5, 4, 3}, dy[] = {3, 4, 5, 6, 7, 6, 5};
  for (int i = 0; i < 7; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_EQ(shot.at(boxLeft + dx[i], boxTop + dy[i] + k), RGB(0, 0, 0)) << i << "/" << k;
  CRect unchecked;
  dlg.m_list.GetCellRect(2, ColCheck, LVIR_BOUNDS, unchecked);
  EXPECT_EQ(shot.at(boxLeft + 6, unchecked.top + 1 + 6), RGB(255, 255, 255));

  // Clicked again: cleared. The owner refuses: kept.
  Click(dlg.m_list.m_hWnd, cell.CenterPoint());
  EXPECT_EQ(dlg.m_list.GetCheckbox(1, ColCheck), 0);
  EXPECT_EQ(dlg.m_lastNewState, 0);
  dlg.m_veto = 1;
  Click(dlg.m_list.m_hWnd, cell.CenterPoint());
  EXPECT_EQ(dlg.m_clickings, 3);
  EXPECT_EQ(dlg.m_list.GetCheckbox(1, ColCheck), 0);
  dlg.m_veto = 0;
  // A click elsewhere in the row leaves the box alone; a disabled row ignores clicks.
  CRect name;
  dlg.m_list.GetCellRect(1, ColName, LVIR_BOUNDS, name);
  Click(dlg.m_list.m_hWnd, name.CenterPoint());
  EXPECT_EQ(dlg.m_clickings, 3);
  EXPECT_TRUE(dlg.m_list.EnableRow(1, FALSE));
  Click(dlg.m_list.m_hWnd, cell.CenterPoint());
  EXPECT_EQ(dlg.m_clickings, 3);
  EXPECT_EQ(dlg.m_list.GetCheckbox(1, ColCheck), 0);
  EXPECT_EQ(dlg.m_list.GetCheckbox(kRows, ColCheck), -1);
  dlg.DestroyWindow();
}

TEST(ReportList, ProgressCellsDrawTheirPercentages) {
  ReportDialog dlg;
  Open(dlg);
  const int percents[] = {0, 1, 50, 100, -1};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(dlg.m_list.SetProgress(i, ColProgress, TRUE, i == 2 ? "" : (i == 3 ? "Scanning" : nullptr)));
    dlg.m_list.UpdateProgress({i, ColProgress, percents[i], kLabel, kBar, i == 3 ? "Scanning" : ""});
  }
  EXPECT_FALSE(dlg.m_list.SetProgress(kRows, ColProgress));
  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  for (int i = 0; i < 5; ++i) {
    CRect cell;
    ASSERT_TRUE(dlg.m_list.GetCellRect(i, ColProgress, LVIR_BOUNDS, cell));
    CRect r = cell;
    r.DeflateRect(1, 1, 1, 0);
    CRect trough(r.left + 2, r.top + 1, r.right - 1, r.bottom - 2);
    // The trough's frame.
    EXPECT_EQ(shot.at(trough.left, trough.top + 3), RGB(0xC8, 0xC8, 0xC8)) << i;
    EXPECT_EQ(shot.at(trough.right - 1, trough.top + 3), RGB(0xC8, 0xC8, 0xC8)) << i;
    int bars = CountColor(shot, cell, kBar);
    int label = CountColor(shot, cell, kLabel);
    int p = percents[i];
    if (p <= 0) {
      EXPECT_EQ(bars, 0) << i;
    } else {
      int w = (trough.Width() - 1) * p / 100;
      int width = (w < 3 ? 6 : w) - 4;
      int height = (trough.bottom) - (trough.top + 1) - 4;
      // Where the label covers the bar the bar shows less.
      EXPECT_LE(bars, width * height) << i;
      EXPECT_GE(bars, width * height * 6 / 10) << i;
      int y = trough.top + 3;
      EXPECT_EQ(shot.at(trough.left + 3, y), kBar) << i;
      EXPECT_NE(shot.at(trough.left + 3 + width, y), kBar) << i;
    }
    if (p < 0)
      EXPECT_EQ(label, 0) << i;
    else
      EXPECT_GT(label, 5) << i;
  }
  // "Scanning" is wider than "50%".
  CRect c2, c3;
  dlg.m_list.GetCellRect(2, ColProgress, LVIR_BOUNDS, c2);
  dlg.m_list.GetCellRect(3, ColProgress, LVIR_BOUNDS, c3);
  auto inkOf = [&](const CRect& c) {
    int first = -1, last = -1;
    for (int x = c.left; x < c.right; ++x)
      for (int y = c.top; y < c.bottom; ++y)
        if (shot.at(x, y) == kLabel) {
          if (first < 0) first = x;
          last = x;
        }
    return last - first;
  };
  EXPECT_GT(inkOf(c3), inkOf(c2) + 10);
  EXPECT_EQ(dlg.m_list.GetCell(3, ColProgress)->progressText, CString("Scanning"));
  dlg.m_list.SetCheckbox(1, ColCheck, 1);
  dlg.m_list.SetCheckbox(3, ColCheck, 1);
  dlg.m_list.SetItemColors(2, ColName, RGB(0x80, 0, 0), RGB(0xFF, 0xF0, 0xC0));
  dlg.m_list.SetItemState(6, LVIS_SELECTED, LVIS_SELECTED);
  dlg.m_list.SetFocus();
  Repaint(dlg.m_list);
  SaveScreenshot(dlg.m_hWnd, "report_list_progress");

  // Same values again change nothing, nor does a new text colour alone: the
  // cell keeps its colour and is not painted; a new percent takes both.
  PaintCounter paints(dlg.m_list.m_hWnd);
  dlg.m_list.UpdateProgress({2, ColProgress, 50, kLabel, kBar, ""});
  dlg.m_list.UpdateProgress({2, ColProgress, 50, RGB(0, 0, 0x80), kBar, ""});
  EXPECT_EQ(paints.count, 0);
  EXPECT_EQ(dlg.m_list.GetCell(2, ColProgress)->textColor, kLabel);
  Repaint(dlg.m_list);
  shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_GT(CountColor(shot, c2, kLabel), 5);
  EXPECT_EQ(CountColor(shot, c2, RGB(0, 0, 0x80)), 0);
  paints.count = 0;
  dlg.m_list.UpdateProgress({2, ColProgress, 51, RGB(0, 0, 0x80), kBar, ""});
  EXPECT_GT(paints.count, 0);
  EXPECT_EQ(dlg.m_list.GetCell(2, ColProgress)->textColor, RGB(0, 0, 0x80));
  dlg.DestroyWindow();
}

TEST(ReportList, HeaderClicksSortAsTextKeepingEachRowsRecords) {
  ReportDialog dlg;
  Open(dlg);
  // Mark rows so that their records can be followed.
  dlg.m_list.SetItemColors(3, ColNote, RGB(1, 2, 3), RGB(4, 5, 6));
  dlg.m_list.SetCheckbox(3, ColCheck, 1);
  ClickHeader(dlg.m_list, ColSize);
  EXPECT_EQ(dlg.m_columnClicks, 1);
  std::vector<Shown> rows = ReadRows(dlg.m_list);
  ASSERT_EQ((int)rows.size(), kRows);
  for (int i = 1; i < kRows; ++i) {
    int bySize = rows[i - 1].size.Compare(rows[i].size);
    EXPECT_TRUE(bySize < 0 || (bySize == 0 && rows[i - 1].name.Compare(rows[i].name) < 0)) << i;
  }
  // Text order: "10..." comes before "9".
  auto at = [&](const char* size) {
    for (int i = 0; i < kRows; ++i)
      if (rows[i].size == size) return i;
    return -1;
  };
  ASSERT_GE(at("999") + at("10"), 0);
  for (int i = 0; i < kRows; ++i) {
    int original = (int)rows[i].data - 1000;
    ASSERT_GE(original, 0);
    ASSERT_LT(original, kRows);
    EXPECT_EQ(rows[i].name, RowName(original));
    EXPECT_EQ(rows[i].size, RowSize(original));
    EXPECT_EQ(dlg.m_list.GetCheckbox(i, ColCheck), original == 3 ? 1 : 0);
    if (original == 3) {
      EXPECT_EQ(dlg.m_list.GetCell(i, ColNote)->backColor, RGB(4, 5, 6));
    }
  }
  // Equal sizes ("5") follow their names.
  std::vector<CString> fives;
  for (auto& r : rows)
    if (r.size == "5") fives.push_back(r.name);
  EXPECT_EQ(fives.size(), 6u);
  EXPECT_TRUE(std::is_sorted(fives.begin(), fives.end()));

  // A second click sorts descending: the whole order reversed.
  ClickHeader(dlg.m_list, ColSize);
  std::vector<Shown> down = ReadRows(dlg.m_list);
  for (int i = 0; i < kRows; ++i) EXPECT_EQ(down[i].data, rows[kRows - 1 - i].data) << i;

  // Sorting by name; out-of-range columns leave the order alone.
  dlg.m_list.SortByColumn(ColName, TRUE);
  EXPECT_EQ(dlg.m_list.GetItemText(0, ColName), CString("Job 000"));
  EXPECT_EQ(dlg.m_list.GetItemText(kRows - 1, ColName), CString("Job 299"));
  dlg.m_list.SortByColumn(ColumnCount, FALSE);
  dlg.m_list.SortByColumn(-1, FALSE);
  EXPECT_EQ(dlg.m_list.GetItemText(0, ColName), CString("Job 000"));
  Repaint(dlg.m_list);
  SaveScreenshot(dlg.m_hWnd, "report_list_sorted");

  // A row put in by the bare list message has no records: it sorts last both ways.
  dlg.m_list.CListCtrl::InsertItem(0, "Bare row");
  EXPECT_EQ(dlg.m_list.GetRow(0), nullptr);
  dlg.m_list.SortByColumn(ColName, TRUE);
  EXPECT_EQ(dlg.m_list.GetItemText(kRows, ColName), CString("Bare row"));
  dlg.m_list.SortByColumn(ColName, FALSE);
  EXPECT_EQ(dlg.m_list.GetItemText(kRows, ColName), CString("Bare row"));
  EXPECT_EQ(dlg.m_list.GetItemText(0, ColName), CString("Job 299"));

  // The last rows draw as the first do.
  dlg.m_list.EnsureVisible(kRows, FALSE);
  Repaint(dlg.m_list);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  CRect last;
  ASSERT_TRUE(dlg.m_list.GetCellRect(kRows - 1, ColNote, LVIR_BOUNDS, last));
  EXPECT_GT(last.top, 200);
  EXPECT_EQ(shot.at(last.left + 5, last.bottom), kGrid);
  EXPECT_GT(CountColor(shot, last, GetSysColor(COLOR_WINDOWTEXT)), 5);
  dlg.DestroyWindow();
}

TEST(ReportList, ToolTipsShowTheCellsOwnTipAndNothingWithoutOne) {
  ReportDialog dlg;
  Open(dlg);
  ASSERT_TRUE(dlg.m_list.GetToolTips() != nullptr);
  CRect cell;
  ASSERT_TRUE(dlg.m_list.GetCellRect(0, ColNote, LVIR_BOUNDS, cell));
  CPoint p(cell.left + 20, cell.CenterPoint().y);
  TOOLINFOW info{};
  info.cbSize = sizeof(info);
  INT_PTR id = dlg.m_list.OnToolHitTest(p, &info);
  EXPECT_EQ(id, 0 * 1000 + ColNote + 1);
  EXPECT_EQ(info.hwnd, dlg.m_list.m_hWnd);
  CRect below(0, 0, 0, 0);
  EXPECT_EQ(dlg.m_list.OnToolHitTest(CPoint(5, 5), &info), -1);  // on the header, no cell

  auto ask = [&](INT_PTR tool, std::wstring& text) {
    NMTTDISPINFOW di{};
    di.hdr.hwndFrom = dlg.m_list.GetToolTips();
    di.hdr.idFrom = (UINT_PTR)tool;
    di.hdr.code = TTN_NEEDTEXTW;
    dlg.m_list.SendMessage(WM_NOTIFY, (WPARAM)tool, (LPARAM)&di);
    text = di.lpszText ? di.lpszText : L"";
  };
  std::wstring text;
  // An empty tip is no tip, even over a text cut by its cell.
  ask(id, text);
  EXPECT_EQ(text, L"");
  ask(1 * 1000 + ColNote + 1, text);
  EXPECT_EQ(text, L"");
  dlg.m_list.SetItemToolTipText(0, ColNote, LongNote());
  ask(id, text);
  EXPECT_EQ(text, ToWideText(LongNote()));  // all 300 characters
  dlg.m_list.SetItemToolTipText(0, ColNote, "");
  ask(id, text);
  EXPECT_EQ(text, L"");
  dlg.m_list.SetItemToolTipText(1, ColNote, SourceText(u8"백업 note"));
  ask(1 * 1000 + ColNote + 1, text);
  EXPECT_EQ(text, L"\uBC31\uC5C5 note");
  // Rows past 65 still get their tips.
  dlg.m_list.SetItemToolTipText(250, ColName, "row 250");
  ask(250 * 1000 + ColName + 1, text);
  EXPECT_EQ(text, L"row 250");

  // The mouse over the cell makes it the tip's one tool.
  PostMessageW(dlg.m_list.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
  Pump(60);
  HWND tips = dlg.m_list.GetToolTips();
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  ASSERT_TRUE(SendMessageW(tips, TTM_ENUMTOOLSW, 0, (LPARAM)&tool));
  EXPECT_EQ(tool.uId, (UINT_PTR)id);
  CRect other;
  dlg.m_list.GetCellRect(2, ColName, LVIR_BOUNDS, other);
  PostMessageW(dlg.m_list.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(other.left + 10, other.CenterPoint().y));
  Pump(60);
  EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
  ASSERT_TRUE(SendMessageW(tips, TTM_ENUMTOOLSW, 0, (LPARAM)&tool));
  EXPECT_EQ(tool.uId, (UINT_PTR)(2 * 1000 + ColName + 1));
  dlg.DestroyWindow();
}

TEST(ReportList, SelectionColoursAndTheSystemColourChange) {
  ReportDialog dlg;
  Open(dlg);
  dlg.m_list.SetFocus();
  dlg.m_list.SetItemState(6, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  Repaint(dlg.m_list);
  CRect cell;
  dlg.m_list.GetCellRect(6, ColNote, LVIR_BOUNDS, cell);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), (COLORREF)0xC6A284);
  dlg.m_list.SendMessage(WM_SYSCOLORCHANGE);
  Repaint(dlg.m_list);
  shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), RGB(0xF5, 0xF5, 0xF5));
  EXPECT_GT(CountColor(shot, cell, RGB(0x8C, 0x8C, 0x8C)), 5);
  // Without the focus the selection shows light grey (the list shows it always).
  ::SetFocus(dlg.m_empty.m_hWnd);
  Repaint(dlg.m_list);
  shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), RGB(0xF0, 0xF0, 0xF0));
  dlg.DestroyWindow();
}

TEST(ReportList, HotRowAndDisabledRows) {
  ReportDialog dlg;
  Open(dlg);
  dlg.m_list.SetFocus();
  SetCursor(LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW));
  CRect cell;
  dlg.m_list.GetCellRect(4, ColNote, LVIR_BOUNDS, cell);
  PostMessageW(dlg.m_list.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(cell.left + 30, cell.CenterPoint().y));
  Pump(60);
  EXPECT_EQ(dlg.m_list.GetHotItem(), 4);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), (COLORREF)0xBDCA83);
  dlg.m_list.SendMessage(WM_MOUSELEAVE);
  Pump(40);
  EXPECT_EQ(dlg.m_list.GetHotItem(), -1);
  shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  EXPECT_EQ(shot.at(cell.right - 3, cell.top + 2), RGB(255, 255, 255));

  // A disabled row: grey text and a grey check mark.
  dlg.m_list.SetCheckbox(5, ColCheck, 1);
  dlg.m_list.SetCheckbox(6, ColCheck, 1);
  dlg.m_list.EnableRow(5, FALSE);
  Repaint(dlg.m_list);
  shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  CRect name, check;
  dlg.m_list.GetCellRect(5, ColName, LVIR_BOUNDS, name);
  dlg.m_list.GetCellRect(5, ColCheck, LVIR_BOUNDS, check);
  EXPECT_GT(CountColor(shot, name, GetSysColor(COLOR_GRAYTEXT)), 5);
  EXPECT_EQ(CountColor(shot, name, GetSysColor(COLOR_WINDOWTEXT)), 0);
  CRect enabledCheck;
  dlg.m_list.GetCellRect(6, ColCheck, LVIR_BOUNDS, enabledCheck);
  // The seven 3-pixel strokes of the mark turn grey.
  EXPECT_EQ(CountColor(shot, check, GetSysColor(COLOR_GRAYTEXT)) -
                CountColor(shot, enabledCheck, GetSysColor(COLOR_GRAYTEXT)),
            21);
  dlg.DestroyWindow();
}

TEST(ReportList, EditorCellsGoThroughTheEditorHooks) {
  FakeEditors fake;
  SetReportCellEditors(&fake);
  {
    ReportDialog dlg;
    Open(dlg);
    dlg.m_list.GetCell(2, ColNote)->edit = TRUE;
    dlg.m_list.GetCell(4, ColSize)->edit = TRUE;
    CRect cell;
    dlg.m_list.GetCellRect(2, ColNote, LVIR_BOUNDS, cell);
    Click(dlg.m_list.m_hWnd, cell.CenterPoint());
    ASSERT_EQ(fake.opened.size(), 1u);
    EXPECT_EQ(fake.opened[0].kind, CReportCellEditors::Edit);
    EXPECT_EQ(fake.opened[0].item, 2);
    EXPECT_EQ(fake.opened[0].subitem, ColNote);
    // The editor closes with Tab: the value is stored, the owner told, the next editable cell opened.
    dlg.m_list.SendMessage(WM_XCELLEDIT_CHANGE, VK_TAB);
    EXPECT_EQ(dlg.m_list.GetItemText(2, ColNote), CString("edited"));
    ASSERT_EQ(dlg.m_edits.size(), 1u);
    EXPECT_EQ(dlg.m_edits[0], std::make_pair(2, (int)ColNote));
    Pump(80);
    ASSERT_EQ(fake.opened.size(), 2u);
    EXPECT_EQ(fake.opened[1].item, 4);
    EXPECT_EQ(fake.opened[1].subitem, ColSize);
    // Escape stores nothing here; a second change message for a stored value does nothing.
    dlg.m_list.SendMessage(WM_XCELLEDIT_CHANGE, VK_ESCAPE);
    EXPECT_EQ(dlg.m_list.GetItemText(4, ColSize), RowSize(4));
    fake.value = "late";
    dlg.m_list.SendMessage(WM_XCELLEDIT_CHANGE, VK_RETURN);
    dlg.m_list.SendMessage(WM_XCELLEDIT_CHANGE, VK_RETURN);
    EXPECT_EQ(dlg.m_list.GetItemText(4, ColSize), CString("late"));
    EXPECT_EQ(dlg.m_edits.size(), 2u);
    dlg.m_list.SendMessage(WM_XCELLCOMBO_CHANGE, VK_RETURN);
    EXPECT_EQ(dlg.m_edits.size(), 2u);
    dlg.DestroyWindow();
  }
  EXPECT_GE(fake.destroyed, 2);  // each list's end destroys the editors
  SetReportCellEditors(nullptr);
}

TEST(ReportList, PaintingGivesBackEveryGdiObject) {
  ReportDialog dlg;
  Open(dlg);
  for (int i = 0; i < 5; ++i) dlg.m_list.SetProgress(i, ColProgress);
  dlg.m_list.SetCheckbox(2, ColCheck, 1);
  dlg.m_list.SetRowHeight(20);  // again: the first font goes
  Pump(30);
  int before = FreeGdiRoom();
  for (int i = 0; i < 40; ++i)
    dlg.m_list.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(30);
  int after = FreeGdiRoom();
  printf("room for GDI objects: %d before painting, %d after\n", before, after);
  ASSERT_LT(before, kGdiProbeLimit) << "no GDI object limit to measure against";
  EXPECT_GE(after, before - 5);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
  EXPECT_TRUE(pen != nullptr);
  DeleteObject(pen);
  Pump(30);
  Pixels shot = CaptureWindow(dlg.m_list.m_hWnd, false);
  CRect cell;
  dlg.m_list.GetCellRect(4, ColNote, LVIR_BOUNDS, cell);
  EXPECT_EQ(shot.at(cell.left + 5, cell.bottom), kGrid);  // the pens still come
  EXPECT_GT(CountColor(shot, cell, GetSysColor(COLOR_WINDOWTEXT)), 5);
  dlg.DestroyWindow();
}

// --- set-up -------------------------------------------------------------------------

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  return RUN_ALL_TESTS();
}
