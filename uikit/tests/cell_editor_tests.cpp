// The in-place cell editors on a real report list: cells clicked open,
// keys and the drop-downs end the edits, the stored texts and the owner's
// notifications are read back.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "box_answerer.h"
#include "cell_editor_test_resource.h"
#include "cell_editors.h"
#include "gui_test_support.h"
#include "report_list.h"
#include "skin_cache.h"
#include "skin_dialog.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace {

CWinApp theApp("Orvanta");
CWnd g_mainWindow;

enum { ColName, ColCount, ColKind, ColWhen, ColNote, ColumnCount };
const int kRows = 3;
const __int64 kStartTime = 1700000000;  // 2023-11-14

struct Change {
  UINT message;
  int item, subitem;
};

class EditorDialog : public CFixSkinDialog {
 public:
  EditorDialog() : CFixSkinDialog(IDD_CELL_EDITORS) {}
  CReportListCtrl m_list;
  std::vector<Change> m_changes;

  void DoDataExchange(CDataExchange* dx) override {
    CFixSkinDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_CELL_LIST, m_list);
  }

  BOOL OnInitDialog() override {
    CFixSkinDialog::OnInitDialog();
    SetWindowText("Cell editors");
    CSkinCache& skin = SkinCache();
    m_list.SetRowHeight(20);
    m_list.SetListFont(skin.GetFont(1));
    m_list.m_header.SetCaptionFont(skin.GetFont(0));
    m_list.m_header.SetHeaderHeight(30);
    m_list.SetGridLineColor(RGB(0xC0, 0xC0, 0xC0));
    m_list.InsertColumn(ColName, "Name", LVCFMT_LEFT, 70);
    m_list.InsertColumn(ColCount, "Count", LVCFMT_LEFT, 70);
    m_list.InsertColumn(ColKind, "Kind", LVCFMT_LEFT, 110);
    m_list.InsertColumn(ColWhen, "When", LVCFMT_LEFT, 160);
    m_list.InsertColumn(ColNote, "Note", LVCFMT_LEFT, 90);
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    m_list.MoveWindow(10, 10, 520, 250);
    for (int i = 0; i < kRows; ++i) {
      CString name;
      name.Format("Job %d", i);
      m_list.InsertItem(i, name);
      m_list.SetItemText(i, ColCount, "10");
      m_list.SetItemText(i, ColKind, "Incremental");
      m_list.SetItemText(i, ColWhen, "2023-11-14_00:00:00");
      m_list.SetItemText(i, ColNote, "note");
      ListItemData* count = m_list.GetCell(i, ColCount);
      count->edit = TRUE;
      count->editMin = 1;
      count->editMax = 10;
      ListItemData* kind = m_list.GetCell(i, ColKind);
      kind->combo = TRUE;
      kind->comboEntries = {"Full", "Incremental", "Differential", "incomplete"};
      ListItemData* when = m_list.GetCell(i, ColWhen);
      when->date = TRUE;
      when->dateValue = kStartTime;
      ListItemData* note = m_list.GetCell(i, ColNote);
      note->edit = TRUE;
      note->editLimit = 12;
    }
    return TRUE;
  }

  LRESULT OnEditChange(WPARAM item, LPARAM subitem) { return Record(WM_XREPORTLIST_EDITBOX_CHANGE, item, subitem); }
  LRESULT OnComboChange(WPARAM item, LPARAM subitem) { return Record(WM_XREPORTLIST_COMBOBOX_CHANGE, item, subitem); }
  LRESULT OnDateChange(WPARAM item, LPARAM subitem) { return Record(WM_XREPORTLIST_DATEBOX_CHANGE, item, subitem); }
  LRESULT Record(UINT message, WPARAM item, LPARAM subitem) {
    m_changes.push_back({message, (int)item, (int)subitem});
    return 0;
  }

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(EditorDialog, CFixSkinDialog)
ON_REGISTERED_MESSAGE(WM_XREPORTLIST_EDITBOX_CHANGE, OnEditChange)
ON_REGISTERED_MESSAGE(WM_XREPORTLIST_COMBOBOX_CHANGE, OnComboChange)
ON_REGISTERED_MESSAGE(WM_XREPORTLIST_DATEBOX_CHANGE, OnDateChange)
END_MESSAGE_MAP()

class CellEditors : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dlg.Create(IDD_CELL_EDITORS));
    dlg.SetWindowPos(nullptr, 40, 40, 560, 330, SWP_NOZORDER);
    dlg.ShowWindow(SW_SHOW);
    dlg.SetForegroundWindow();
    dlg.m_list.SetFocus();
    Pump(200);
  }
  void TearDown() override {
    dlg.DestroyWindow();
    Pump(50);
  }

  void ClickCell(int item, int subitem) {
    CRect r;
    ASSERT_TRUE(dlg.m_list.GetCellRect(item, subitem, LVIR_BOUNDS, r));
    CPoint p = r.CenterPoint();
    PostMessageW(dlg.m_list.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageW(dlg.m_list.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Pump(150);
  }
  void Key(HWND h, UINT key) {
    PostMessageW(h, WM_KEYDOWN, key, 1);
    PostMessageW(h, WM_KEYUP, key, 0xC0000001);
    Pump(150);
  }
  HWND EditWindow() { return PeekCellEditBox() ? PeekCellEditBox()->m_hWnd : nullptr; }
  HWND ComboWindow() { return PeekCellComboBox() ? PeekCellComboBox()->m_hWnd : nullptr; }
  HWND DateWindow() { return PeekCellDateBox() ? PeekCellDateBox()->m_hWnd : nullptr; }
  HWND SpinWindow() { return PeekCellSpinBox() ? PeekCellSpinBox()->m_hWnd : nullptr; }
  std::string Text(HWND h) { return CWnd::FromHandle(h)->GetWindowText().str(); }
  std::string Cell(int item, int subitem) { return dlg.m_list.GetItemText(item, subitem).str(); }
  int Children(const wchar_t* cls) {
    int n = 0;
    for (HWND c = GetWindow(dlg.m_list.m_hWnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t name[64] = {};
      GetClassNameW(c, name, 64);
      if (_wcsicmp(name, cls) == 0 && IsWindow(c)) ++n;
    }
    return n;
  }
  void ClickSpin(bool up) {
    HWND spin = SpinWindow();
    ASSERT_TRUE(spin);
    CRect r;
    GetClientRect(spin, &r);
    int y = up ? r.Height() / 4 : r.Height() * 3 / 4;
    PostMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.Width() / 2, y));
    PostMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(r.Width() / 2, y));
    Pump(150);
  }

  EditorDialog dlg;
};

TEST_F(CellEditors, RangedEditSpinsWithinItsRangeAndRefusesOutOfRangeNumbers) {
  ClickCell(0, ColCount);
  HWND edit = EditWindow();
  ASSERT_TRUE(edit);
  EXPECT_EQ(GetParent(edit), dlg.m_list.m_hWnd);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(Text(edit), "10");
  EXPECT_TRUE(GetWindowLongW(edit, GWL_STYLE) & ES_NUMBER);
  HWND spin = SpinWindow();
  ASSERT_TRUE(spin);
  EXPECT_EQ(GetParent(spin), edit);
  CRect er, sr;
  GetClientRect(edit, &er);
  GetWindowRect(spin, &sr);
  EXPECT_EQ(sr.Width(), 16);
  EXPECT_EQ(sr.Height(), er.Height());
  SaveScreenshot(dlg.m_hWnd, "cell_edit_ranged");

  ClickSpin(true);
  EXPECT_EQ(Text(edit), "10");  // not above the maximum
  ClickSpin(false);
  EXPECT_EQ(Text(edit), "9");
  EXPECT_EQ(Cell(0, ColCount), "10");  // nothing stored while editing

  // Out of range: the message, and the cell keeps its text.
  SetWindowTextW(edit, L"0");
  {
    BoxAnswerer box(IDOK, 10000, std::wstring(), "cell_edit_below_minimum");
    Key(edit, VK_RETURN);
    Pump(300);
    ASSERT_TRUE(box.Wait());
    EXPECT_TRUE(box.Saw(L"입력값이 1 이상 이어야 합니다."));
    EXPECT_TRUE(box.ShotShowsSomething());
  }
  Pump(200);
  EXPECT_EQ(Cell(0, ColCount), "10");
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_TRUE(dlg.m_changes.empty());

  // Above the maximum.
  ClickCell(0, ColCount);
  edit = EditWindow();
  ASSERT_TRUE(edit);
  SetWindowTextW(edit, L"11");
  {
    BoxAnswerer box(IDOK);
    Key(edit, VK_RETURN);
    Pump(300);
    ASSERT_TRUE(box.Wait());
    EXPECT_TRUE(box.Saw(L"입력값이 10 이하 이어야 합니다."));
  }
  Pump(200);
  EXPECT_EQ(Cell(0, ColCount), "10");

  // In range: stored, and the owner told.
  ClickCell(0, ColCount);
  edit = EditWindow();
  ASSERT_TRUE(edit);
  SetWindowTextW(edit, L"7");
  Key(edit, VK_RETURN);
  EXPECT_EQ(Cell(0, ColCount), "7");
  EXPECT_FALSE(IsWindow(edit));
  ASSERT_EQ(dlg.m_changes.size(), 1u);
  EXPECT_EQ(dlg.m_changes[0].message, WM_XREPORTLIST_EDITBOX_CHANGE);
  EXPECT_EQ(dlg.m_changes[0].item, 0);
  EXPECT_EQ(dlg.m_changes[0].subitem, ColCount);
}

TEST_F(CellEditors, EscapeInTheEditStoresTheTextAndTheLimitHolds) {
  ClickCell(1, ColNote);
  HWND edit = EditWindow();
  ASSERT_TRUE(edit);
  EXPECT_FALSE(GetWindowLongW(edit, GWL_STYLE) & ES_NUMBER);
  EXPECT_FALSE(SpinWindow() && IsWindow(SpinWindow()));
  EXPECT_EQ(SendMessageW(edit, EM_GETLIMITTEXT, 0, 0), 12);
  SetWindowTextW(edit, L"escaped");
  Key(edit, VK_ESCAPE);
  EXPECT_EQ(Cell(1, ColNote), "escaped");
  EXPECT_FALSE(IsWindow(edit));
}

TEST_F(CellEditors, TabStoresAndOpensTheNextEditableCellAlsoInTheNextRow) {
  ClickCell(0, ColCount);
  HWND edit = EditWindow();
  ASSERT_TRUE(edit);
  SetWindowTextW(edit, L"3");
  Key(edit, VK_TAB);
  Pump(200);
  EXPECT_EQ(Cell(0, ColCount), "3");
  HWND combo = ComboWindow();
  ASSERT_TRUE(combo && IsWindow(combo)) << "the next cell to the right is the combo";
  EXPECT_EQ(GetFocus(), combo);

  // The note of row 0 is the last editable cell: Tab goes on to row 1.
  ClickCell(0, ColNote);
  edit = EditWindow();
  ASSERT_TRUE(edit);
  SetWindowTextW(edit, L"tabbed");
  Key(edit, VK_TAB);
  Pump(200);
  EXPECT_EQ(Cell(0, ColNote), "tabbed");
  HWND next = EditWindow();
  ASSERT_TRUE(next && IsWindow(next));
  CRect cell, r;
  dlg.m_list.GetCellRect(1, ColCount, LVIR_BOUNDS, cell);
  GetWindowRect(next, &r);
  dlg.m_list.ScreenToClient(&r);
  EXPECT_EQ(r.top, cell.top + 1);
  EXPECT_EQ(r.left, cell.left + 2);
  EXPECT_EQ(Text(next), "10");
  // One edit window only, wherever it was opened.
  EXPECT_EQ(Children(L"Edit"), 1);
  Key(next, VK_RETURN);
}

TEST_F(CellEditors, ComboSelectsByPrefixAndStoresOnEscapeAndOnCloseUp) {
  dlg.m_list.SetItemText(2, ColKind, "DIFF");
  ClickCell(2, ColKind);
  HWND combo = ComboWindow();
  ASSERT_TRUE(combo);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);  // "Differential", any case
  SaveScreenshot(dlg.m_hWnd, "cell_combo");
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  Key(combo, VK_ESCAPE);
  EXPECT_EQ(Cell(2, ColKind), "Full");
  EXPECT_FALSE(IsWindow(combo));
  ASSERT_EQ(dlg.m_changes.size(), 1u);
  EXPECT_EQ(dlg.m_changes[0].message, WM_XREPORTLIST_COMBOBOX_CHANGE);
  EXPECT_EQ(dlg.m_changes[0].item, 2);

  // "inc" matches "Incremental" before the later "incomplete".
  dlg.m_list.SetItemText(1, ColKind, "inc");
  ClickCell(1, ColKind);
  combo = ComboWindow();
  ASSERT_TRUE(combo);
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
  // Picking from the drop-down ends the edit.
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  Pump(100);
  SendMessageW(combo, CB_SETCURSEL, 3, 0);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  Pump(200);
  EXPECT_EQ(Cell(1, ColKind), "incomplete");
  EXPECT_FALSE(IsWindow(combo));
  EXPECT_EQ(dlg.m_changes.size(), 2u);  // the focus loss after the close-up adds nothing
}

TEST_F(CellEditors, DateEscapeStoresNothingEnterStoresThePickedTime) {
  ClickCell(0, ColWhen);
  HWND date = DateWindow();
  ASSERT_TRUE(date);
  SYSTEMTIME st{};
  ASSERT_EQ(SendMessageW(date, DTM_GETSYSTEMTIME, 0, (LPARAM)&st), GDT_VALID);
  __int64 shown = 0;
  ASSERT_TRUE(CellLocalToTime(st, shown));
  EXPECT_EQ(shown, kStartTime);
  SaveScreenshot(dlg.m_hWnd, "cell_date");

  st.wYear = 2024;
  SendMessageW(date, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&st);
  Key(date, VK_ESCAPE);
  EXPECT_FALSE(IsWindow(date));
  EXPECT_EQ(Cell(0, ColWhen), "2023-11-14_00:00:00");
  EXPECT_EQ(dlg.m_list.GetCell(0, ColWhen)->dateValue, kStartTime);
  EXPECT_TRUE(dlg.m_changes.empty());

  ClickCell(0, ColWhen);
  date = DateWindow();
  ASSERT_TRUE(date);
  SYSTEMTIME pick{};
  pick.wYear = 2025;
  pick.wMonth = 3;
  pick.wDay = 9;
  pick.wHour = 14;
  pick.wMinute = 5;
  pick.wSecond = 7;
  SendMessageW(date, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&pick);
  Key(date, VK_RETURN);
  EXPECT_FALSE(IsWindow(date));
  EXPECT_EQ(Cell(0, ColWhen), "2025-03-09_14:05:07");
  __int64 expected = 0;
  ASSERT_TRUE(CellLocalToTime(pick, expected));
  EXPECT_EQ(dlg.m_list.GetCell(0, ColWhen)->dateValue, expected);
  ASSERT_EQ(dlg.m_changes.size(), 1u);
  EXPECT_EQ(dlg.m_changes[0].message, WM_XREPORTLIST_DATEBOX_CHANGE);
}

TEST_F(CellEditors, DateCalendarKeepsTheEditOpenAndItsCloseStores) {
  ClickCell(1, ColWhen);
  HWND date = DateWindow();
  ASSERT_TRUE(date);
  // The drop-down button at the right end.
  CRect r;
  GetClientRect(date, &r);
  PostMessageW(date, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right - 6, r.Height() / 2));
  PostMessageW(date, WM_LBUTTONUP, 0, MAKELPARAM(r.right - 6, r.Height() / 2));
  Pump(300);
  ASSERT_TRUE(PeekCellDateBox()->IsCalendarOpen());
  SaveScreenshot(dlg.m_hWnd, "cell_date_calendar");
  // Focus loss and keys while the calendar shows do not end the edit.
  SendMessageW(date, WM_KILLFOCUS, 0, 0);
  Pump(100);
  EXPECT_TRUE(IsWindow(date));
  EXPECT_TRUE(dlg.m_changes.empty());

  SYSTEMTIME pick{};
  pick.wYear = 2024;
  pick.wMonth = 2;
  pick.wDay = 29;
  SendMessageW(date, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&pick);
  HWND calendar = (HWND)SendMessageW(date, DTM_GETMONTHCAL, 0, 0);
  ASSERT_TRUE(calendar);
  // Closing the calendar (its button again) stores the value.
  PostMessageW(date, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right - 6, r.Height() / 2));
  PostMessageW(date, WM_LBUTTONUP, 0, MAKELPARAM(r.right - 6, r.Height() / 2));
  Pump(300);
  EXPECT_FALSE(IsWindow(calendar) && IsWindowVisible(calendar));
  EXPECT_FALSE(IsWindow(date));
  EXPECT_EQ(Cell(1, ColWhen).substr(0, 10), "2024-02-29");
  EXPECT_EQ(dlg.m_changes.size(), 1u);
}

TEST_F(CellEditors, EachKindExistsOnce) {
  ClickCell(0, ColNote);
  HWND first = EditWindow();
  ClickCell(2, ColNote);
  HWND second = EditWindow();
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(Cell(0, ColNote), "note");  // opening another stores the first: same text
  EXPECT_EQ(Children(L"Edit"), 1);
}

// The editors end with the list object, not merely with its window: checked
// once the list's destructor has run.
TEST(CellEditorLifetime, EveryEditorDiesWithTheListObject) {
  auto dlg = std::make_unique<EditorDialog>();
  ASSERT_TRUE(dlg->Create(IDD_CELL_EDITORS));
  dlg->SetWindowPos(nullptr, 40, 40, 560, 330, SWP_NOZORDER);
  dlg->ShowWindow(SW_SHOW);
  dlg->SetForegroundWindow();
  dlg->m_list.SetFocus();
  Pump(200);
  auto click = [&](int item, int subitem) {
    CRect r;
    ASSERT_TRUE(dlg->m_list.GetCellRect(item, subitem, LVIR_BOUNDS, r));
    CPoint p = r.CenterPoint();
    PostMessageW(dlg->m_list.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    PostMessageW(dlg->m_list.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    Pump(150);
  };
  click(0, ColNote);
  click(1, ColKind);
  click(2, ColWhen);
  EXPECT_TRUE(PeekCellEditBox() && PeekCellComboBox() && PeekCellDateBox());
  dlg->DestroyWindow();
  Pump(50);
  dlg.reset();
  EXPECT_EQ(PeekCellEditBox(), nullptr);
  EXPECT_EQ(PeekCellComboBox(), nullptr);
  EXPECT_EQ(PeekCellDateBox(), nullptr);
}

TEST(CellTime, RoundTripsAndRefusesTimesBefore1970) {
  SYSTEMTIME st{};
  ASSERT_TRUE(CellTimeToLocal(kStartTime, st));
  __int64 back = 0;
  ASSERT_TRUE(CellLocalToTime(st, back));
  EXPECT_EQ(back, kStartTime);
  EXPECT_FALSE(CellTimeToLocal(-5, st));
}

}  // namespace

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  InstallCellEditors();
  return RUN_ALL_TESTS();
}
