// The dialog kit on real windows: skinned dialogs with skin buttons, driven
// by messages, checked by results and by pixels read back.
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "gui_test_support.h"
#include "mem_dc.h"
#include "skin_button.h"
#include "skin_cache.h"
#include "skin_dialog.h"
#include "test_resource.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace {

CWinApp theApp("Orvanta");
CWnd g_mainWindow;  // the application's main window object, before it has a handle

const CString kKoreanTitle = SourceText(u8"백업 관리");  // "backup manager", in code page 949
const wchar_t kKoreanTitleW[] = L"\uBC31\uC5C5 \uAD00\uB9AC";

// Sets a button up as the dialogs of the programs do: face 20 with key colour 0, a 16-pixel icon.
void SetUpSkinButton(CSkinButton& b, int iconSet) {
  CSkinCache& skin = SkinCache();
  b.SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0);
  b.SetIconImages(skin.GetIcon(iconSet, 0), nullptr, 5, 0);
}

template <class Base>
class TestDialog : public Base {
 public:
  explicit TestDialog(UINT id) : Base(id) {}
  CSkinButton m_default, m_other, m_disabled, m_iconOnly, m_korean, m_qmarks;
  CEdit m_edit;
  CButton m_check;
  int m_clicks[2] = {0, 0};
  CString m_title = "Orvanta Skin";
  std::function<void(TestDialog&)> m_onInit;

  void DoDataExchange(CDataExchange* dx) override {
    Base::DoDataExchange(dx);
    auto bind = [&](int id, CWnd& c) {
      if (::GetDlgItem(this->m_hWnd, id)) DDX_Control(dx, id, c);
    };
    bind(IDC_BTN_DEFAULT, m_default);
    bind(IDC_BTN_OTHER, m_other);
    bind(IDC_BTN_DISABLED, m_disabled);
    bind(IDC_BTN_ICONONLY, m_iconOnly);
    bind(IDC_BTN_KOREAN, m_korean);
    bind(IDC_BTN_QMARKS, m_qmarks);
    bind(IDC_EDIT, m_edit);
    bind(IDC_CHECK, m_check);
  }
  BOOL OnInitDialog() override {
    Base::OnInitDialog();
    this->SetWindowText(m_title);
    int y = 14;
    for (CSkinButton* b : {&m_default, &m_other, &m_disabled, &m_iconOnly, &m_korean, &m_qmarks}) {
      if (!b->m_hWnd) continue;
      SetUpSkinButton(*b, 8);
      b->MoveWindow(14, y, 90, 27);
      y += 33;
    }
    if (m_korean.m_hWnd) m_korean.SetWindowText(kKoreanTitle);
    if (m_qmarks.m_hWnd) m_qmarks.SetWindowText("?? ??");
    if (m_edit.m_hWnd) m_edit.MoveWindow(140, 14, 100, 22);
    if (m_check.m_hWnd) m_check.MoveWindow(140, 50, 100, 20);
    if (m_onInit) m_onInit(*this);
    return TRUE;
  }
  void OnDefault() { ++m_clicks[0]; }
  void OnOther() { ++m_clicks[1]; }

  static const FwMsgMap* GetThisMessageMap() {
    using ThisClass = TestDialog;
    static const FwMsgEntry entries[] = {ON_BN_CLICKED(IDC_BTN_DEFAULT, OnDefault)
                                             ON_BN_CLICKED(IDC_BTN_OTHER, OnOther){0, 0, 0, 0, nullptr, nullptr}};
    static const FwMsgMap map = {&Base::GetThisMessageMap, entries};
    return &map;
  }
  const FwMsgMap* GetMessageMap() const override { return GetThisMessageMap(); }
};

using SkinDlg = TestDialog<CSkinDialog>;
using FixDlg = TestDialog<CFixSkinDialog>;

// A modeless dialog, shown and painted.
template <class D>
void Open(D& dlg, UINT id, int x = 60, int y = 60) {
  ASSERT_TRUE(dlg.Create(id));
  dlg.SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  dlg.ShowWindow(SW_SHOW);
  dlg.SetForegroundWindow();
  dlg.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(600);
}

void Repaint(CWnd& w) {
  w.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Pump(60);
}

// True when the window shows `bitmap` at (x, y) of its window DC.
// Pixels outside the window region of `window` (when given) are not compared.
::testing::AssertionResult ShowsBitmap(const Pixels& shot, int x, int y, HBITMAP bitmap, HWND window = nullptr) {
  Pixels b = CaptureBitmap(bitmap);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  bool hasRegion = window && GetWindowRgn(window, rgn) != ERROR;
  int wrong = 0;
  for (int by = 0; by < b.height; ++by)
    for (int bx = 0; bx < b.width; ++bx) {
      if (hasRegion && !PtInRegion(rgn, x + bx, y + by)) continue;
      if (!shot.inside(x + bx, y + by) || shot.at(x + bx, y + by) != b.at(bx, by)) ++wrong;
    }
  DeleteObject(rgn);
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " of " << b.width * b.height << " pixels differ at (" << x << ", "
                                       << y << ")";
}

bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 200; }

}  // namespace

void PrintTo(const CRect& r, std::ostream* os) {
  *os << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
}

// --- skin cache ---------------------------------------------------------------

TEST(SkinCache, SlotsHoldTheirPicturesAtTheirSizes) {
  CSkinCache& skin = SkinCache();
  struct {
    int slot;
    int w, h;
  } sizes[] = {{0, 10, 40},  {1, 1, 40},  {2, 10, 40}, {3, 10, 1},    {4, 16, 17},  {5, 1, 17},
               {6, 16, 17},  {7, 10, 1},  {8, 26, 18}, {11, 26, 18},  {15, 26, 18}, {19, 26, 18},
               {20, 90, 27}, {21, 1, 10}, {22, 1, 20}, {23, 211, 63}, {24, 211, 63}};
  for (auto& s : sizes) {
    EXPECT_NE(skin.GetBitmap(s.slot), nullptr) << s.slot;
    EXPECT_EQ(skin.GetBitmapSize(s.slot), CSize(s.w, s.h)) << s.slot;
  }
  for (int set = 0; set < CSkinCache::IconSetCount; ++set)
    for (int i = 0; i < 3; ++i) {
      HICON icon = skin.GetIcon(set, i);
      ASSERT_NE(icon, nullptr) << set << "/" << i;
      ICONINFO info{};
      ASSERT_TRUE(GetIconInfo(icon, &info));
      EXPECT_EQ((int)info.xHotspot * 2, 16 + 8 * i);
      DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
  EXPECT_TRUE(skin.pSetLayeredWindowAttributes != nullptr);
}

TEST(SkinCache, OutOfRangeSlotsAnswerEmpty) {
  CSkinCache& skin = SkinCache();
  EXPECT_EQ(skin.GetIcon(17, 0), nullptr);
  EXPECT_EQ(skin.GetIcon(0, 3), nullptr);
  EXPECT_EQ(skin.GetIcon(-1, 0), nullptr);
  EXPECT_EQ(skin.GetBitmap(25), nullptr);
  EXPECT_EQ(skin.GetBitmapSize(25), CSize(0, 0));
  EXPECT_EQ(skin.GetColor(6), 0u);
  EXPECT_EQ(skin.GetFont(3), nullptr);
  COLORREF before[6];
  for (int i = 0; i < 6; ++i) before[i] = skin.GetColor(i);
  EXPECT_EQ(skin.SetColor(6, RGB(1, 2, 3)), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(skin.GetColor(i), before[i]);
  EXPECT_EQ(skin.CreateFont(3, "Arial", 9, FALSE), nullptr);
}

TEST(SkinCache, FontsAndReloads) {
  CSkinCache cache;
  CWnd* main = theApp.m_pMainWnd;
  theApp.m_pMainWnd = nullptr;
  EXPECT_EQ(cache.CreateFont(0, "Arial", 9, FALSE), nullptr);  // no main window object yet
  EXPECT_EQ(cache.GetFont(0), nullptr);
  theApp.m_pMainWnd = main;
  CFont* first = cache.CreateFont(0, "Arial", 9, FALSE);
  ASSERT_NE(first, nullptr);
  HGDIOBJ firstHandle = first->m_hObject;
  CFont* second = cache.CreateFont(0, "Arial", 11, TRUE);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(cache.GetFont(0), second);
  EXPECT_EQ(GetObjectType(firstHandle), 0u);  // the first font is gone
  LOGFONTW lf{};
  second->GetLogFont(&lf);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfHeight, -MulDiv(11, 96, 72));

  cache.LoadBitmaps();
  HBITMAP old = cache.GetBitmap(20);
  ASSERT_NE(old, nullptr);
  cache.LoadBitmaps();
  EXPECT_NE(cache.GetBitmap(20), nullptr);
  EXPECT_EQ(GetObjectType(old), 0u);  // the first set was freed
  const CSkinCache::BitmapSlot missing[] = {{3, 9999}, {20, 212}};
  cache.LoadBitmapTable(missing, 2);
  EXPECT_EQ(cache.GetBitmap(3), nullptr);
  EXPECT_EQ(cache.GetBitmapSize(3), CSize(0, 0));
  EXPECT_EQ(cache.GetBitmapSize(20), CSize(90, 27));
}

// The test set-up maps "Arial" to Liberation Sans, so layouts do not depend
// on whatever font Wine would pick.
TEST(SkinCache, ArialIsAnInstalledFont) {
  CFont* font = SkinCache().GetFont(1);
  ASSERT_NE(font, nullptr);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font->m_hObject);
  // The font's own name table tells which file Wine took.
  const DWORD nameTable = 0x656D616E;
  DWORD size = GetFontData(dc, nameTable, 0, nullptr, 0);
  std::string names;
  if (size != GDI_ERROR) {
    std::string raw(size, '\0');
    GetFontData(dc, nameTable, 0, raw.data(), size);
    for (char c : raw)
      if (c) names += c;  // UTF-16BE names read as ASCII
  }
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_NE(names.find("Liberation Sans"), std::string::npos);
}

TEST(SkinCache, MemDcCopiesItsImageToTheTargetOnlyWhenDestroyed) {
  HDC screen = GetDC(nullptr);
  CDC target;
  target.CreateCompatibleDC(CDC::FromHandle(screen));
  HBITMAP b = CreateCompatibleBitmap(screen, 40, 30);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = target.SelectObject(b);
  target.FillSolidRect(0, 0, 40, 30, RGB(255, 255, 255));
  HRGN clip = CreateRectRgn(10, 5, 30, 25);
  SelectClipRgn(target.m_hDC, clip);
  DeleteObject(clip);
  {
    CMemDC mem(&target);
    mem.FillSolidRect(10, 5, 20, 20, RGB(200, 0, 0));  // target coordinates
    mem.SetPixel(12, 7, RGB(0, 0, 255));
    EXPECT_EQ(target.GetPixel(15, 15), RGB(255, 255, 255));
  }
  SelectClipRgn(target.m_hDC, nullptr);
  EXPECT_EQ(target.GetPixel(15, 15), RGB(200, 0, 0));
  EXPECT_EQ(target.GetPixel(12, 7), RGB(0, 0, 255));
  EXPECT_EQ(target.GetPixel(5, 5), RGB(255, 255, 255));
  target.SelectObject(old);
  DeleteObject(b);
}

// --- strings ------------------------------------------------------------------

TEST(Framework, StringFormatSliceAndShownText) {
  CString s;
  s.Format("%I64d MB|%s|%5.1f", (long long)5000000000LL, "x", 2.25);
  EXPECT_STREQ(s, "5000000000 MB|x|  2.2");
  CString path = "C:\\Orvanta\\Log\\job.log";
  EXPECT_EQ(path.ReverseFind('\\'), 14);
  EXPECT_STREQ(path.Mid(15), "job.log");
  EXPECT_STREQ(path.Left(2), "C:");
  EXPECT_STREQ(path.Right(3), "log");
  EXPECT_STREQ(CString("AbC").MakeUpper(), "ABC");
  EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
  EXPECT_STREQ(CString(" x ").Trim(), "x");
  EXPECT_EQ(ToWideText(kKoreanTitle), std::wstring(kKoreanTitleW));
  EXPECT_EQ(ToWideText("plain"), L"plain");
  EXPECT_STREQ(FromWideText(kKoreanTitleW), kKoreanTitle);
}

// --- skinned dialogs ----------------------------------------------------------

TEST(SkinDialog, FrameCaptionAndRegion) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CRect wr, cr;
  dlg.GetWindowRect(&wr);
  dlg.GetClientRect(&cr);
  dlg.ClientToScreen(&cr);
  EXPECT_EQ(cr.left - wr.left, 10);
  EXPECT_EQ(cr.top - wr.top, 40);
  EXPECT_EQ(wr.right - cr.right, 10);
  EXPECT_EQ(wr.bottom - cr.bottom, 17);

  // Top corners cut round, bottom corners square.
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(dlg.m_hWnd, rgn), ERROR);
  const int W = wr.Width(), H = wr.Height();
  struct {
    int x, y;
    bool in;
  } points[] = {{0, 0, false},    {1, 1, false},    {W - 1, 0, false},    {W - 2, 1, false}, {6, 6, true},
                {W - 7, 6, true}, {0, H - 1, true}, {W - 1, H - 1, true}, {W / 2, 0, true}};
  for (auto& p : points) EXPECT_EQ(PtInRegion(rgn, p.x, p.y) != 0, p.in) << p.x << "," << p.y;
  DeleteObject(rgn);

  Pixels shot = CaptureWindow(dlg.m_hWnd);
  SaveScreenshot(dlg.m_hWnd, "skin_dialog");
  CSkinCache& skin = SkinCache();
  EXPECT_TRUE(ShowsBitmap(shot, 0, H - 17, skin.GetBitmap(4)));              // bottom-left
  EXPECT_TRUE(ShowsBitmap(shot, W - 16, H - 17, skin.GetBitmap(6)));         // bottom-right
  EXPECT_TRUE(ShowsBitmap(shot, W - 10, 0, skin.GetBitmap(2), dlg.m_hWnd));  // top-right
  EXPECT_TRUE(ShowsBitmap(shot, 0, 0, skin.GetBitmap(0), dlg.m_hWnd));       // top-left
  Pixels strip = CaptureBitmap(skin.GetBitmap(1)), left = CaptureBitmap(skin.GetBitmap(3));
  for (int y = 20; y < 40; ++y) EXPECT_EQ(shot.at(W - 120, y), strip.at(0, y)) << y;
  for (int x = 0; x < 10; ++x) EXPECT_EQ(shot.at(x, H / 2), left.at(x, 0)) << x;
  // Close, maximise and minimise, right-aligned from 10 pixels off the edge.
  EXPECT_TRUE(ShowsBitmap(shot, W - 36, 0, skin.GetBitmap(11)));
  EXPECT_TRUE(ShowsBitmap(shot, W - 62, 0, skin.GetBitmap(9)));
  EXPECT_TRUE(ShowsBitmap(shot, W - 88, 0, skin.GetBitmap(8)));
  // The caption icon at (15, 5) and dark caption text from (50, 10).
  Pixels icon = CaptureIcon(skin.GetIcon(0, 1), 24, strip.at(0, 17));
  EXPECT_EQ(shot.at(15 + 12, 5 + 12), icon.at(12, 12));
  EXPECT_NE(shot.at(15 + 12, 5 + 12), strip.at(0, 17));
  int dark = 0;
  for (int y = 10; y < 30; ++y)
    for (int x = 50; x < 150; ++x) dark += IsDark(shot.at(x, y));
  EXPECT_GT(dark, 20);
  // The client area is white.
  Pixels client = CaptureWindow(dlg.m_hWnd, false);
  EXPECT_EQ(client.at(client.width - 5, client.height - 5), RGB(255, 255, 255));

  MINMAXINFO mmi{};
  dlg.SendMessage(WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
  EXPECT_EQ(mmi.ptMinTrackSize.x, 240);
  EXPECT_EQ(mmi.ptMinTrackSize.y, 100);
  dlg.DestroyWindow();
}

TEST(SkinDialog, CaptionButtonsShowHotAndPressedPictures) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CSkinCache& skin = SkinCache();
  CRect wr;
  dlg.GetWindowRect(&wr);
  const int W = wr.Width();
  auto center = [&](int pos) {
    CRect r = dlg.CaptionButtonRect(pos);
    return WindowPoint(dlg.m_hWnd, r.CenterPoint().x, r.CenterPoint().y);
  };
  // The middle of each drawn button hits it.
  for (int pos = 0; pos < 3; ++pos) EXPECT_EQ(dlg.CaptionButtonAt(center(pos)), pos);
  EXPECT_EQ(dlg.CaptionButtonRect(CSkinDialogBase::PosClose), CRect(W - 36, 0, W - 10, 18));

  struct {
    int pos;
    int slot;
    int x;
  } hot[] = {{0, 19, W - 36}, {1, 17, W - 62}, {2, 16, W - 88}};
  for (auto& h : hot) {
    PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, center(h.pos));
    Pump(80);
    Pixels shot = CaptureWindow(dlg.m_hWnd);
    EXPECT_EQ(dlg.HotButton(), h.pos);
    EXPECT_TRUE(ShowsBitmap(shot, h.x, 0, skin.GetBitmap(h.slot))) << "hot " << h.pos;
    if (h.pos == 0) SaveScreenshot(dlg.m_hWnd, "skin_dialog_close_hot");
  }
  // Off the buttons everything is normal again.
  PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, WindowPoint(dlg.m_hWnd, 120, 30));
  Pump(80);
  Pixels shot = CaptureWindow(dlg.m_hWnd);
  EXPECT_TRUE(ShowsBitmap(shot, W - 88, 0, skin.GetBitmap(8)));

  // Press on close, move away and release elsewhere: still open, pictures normal.
  PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, center(0));
  Pump(80);
  EXPECT_EQ(dlg.PressedState(), CSkinDialogBase::StateClose);
  EXPECT_EQ(GetCapture(), dlg.m_hWnd);
  shot = CaptureWindow(dlg.m_hWnd);
  EXPECT_TRUE(ShowsBitmap(shot, W - 36, 0, skin.GetBitmap(15)));
  SaveScreenshot(dlg.m_hWnd, "skin_dialog_close_pressed");
  PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, WindowPoint(dlg.m_hWnd, 120, 60));
  PostMouse(dlg.m_hWnd, WM_LBUTTONUP, WindowPoint(dlg.m_hWnd, 120, 60));
  Pump(80);
  EXPECT_TRUE(dlg.IsWindowVisible());
  EXPECT_EQ(dlg.PressedState(), 0);
  EXPECT_EQ(GetCapture(), nullptr);
  shot = CaptureWindow(dlg.m_hWnd);
  SaveScreenshot(dlg.m_hWnd, "skin_dialog_released");
  EXPECT_TRUE(ShowsBitmap(shot, W - 36, 0, skin.GetBitmap(11)));

  // Press and release on close: the dialog closes (Cancel hides a modeless one).
  PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, center(0));
  PostMouse(dlg.m_hWnd, WM_LBUTTONUP, center(0));
  Pump(120);
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.DestroyWindow();
}

TEST(SkinDialog, CaptionButtonsAreHitFromFourPixelsBelowTheWindowTop) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CRect wr;
  dlg.GetWindowRect(&wr);
  const int W = wr.Width();
  // The close button is drawn at (W - 36, 0) to (W - 10, 18); it is hit from y 4 to 21.
  struct {
    int y, want;
  } cases[] = {{0, CSkinDialogBase::PosNone},
               {3, CSkinDialogBase::PosNone},
               {4, CSkinDialogBase::PosClose},
               {21, CSkinDialogBase::PosClose},
               {22, CSkinDialogBase::PosNone}};
  for (auto& c : cases) EXPECT_EQ(dlg.CaptionButtonAt(WindowPoint(dlg.m_hWnd, W - 20, c.y)), c.want) << c.y;
  for (int pos = 1; pos < 3; ++pos) {
    CRect r = dlg.CaptionButtonRect(pos);
    EXPECT_EQ(dlg.CaptionButtonAt(WindowPoint(dlg.m_hWnd, r.left + 2, 2)), CSkinDialogBase::PosNone) << pos;
    EXPECT_EQ(dlg.CaptionButtonAt(WindowPoint(dlg.m_hWnd, r.left + 2, 20)), pos) << pos;
  }
  // The pointer just under the drawn button lights it, and a click there closes the dialog.
  const POINT under = WindowPoint(dlg.m_hWnd, W - 20, 20);
  PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, under);
  Pump(80);
  EXPECT_EQ(dlg.HotButton(), CSkinDialogBase::PosClose);
  EXPECT_TRUE(ShowsBitmap(CaptureWindow(dlg.m_hWnd), W - 36, 0, SkinCache().GetBitmap(19)));
  EXPECT_TRUE(SaveScreenshotShowingSomething(dlg.m_hWnd, "skin_dialog_close_hot_below"));
  PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, WindowPoint(dlg.m_hWnd, W - 20, 2));
  Pump(80);
  EXPECT_EQ(dlg.HotButton(), CSkinDialogBase::PosNone);
  PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, under);
  PostMouse(dlg.m_hWnd, WM_LBUTTONUP, under);
  Pump(120);
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.DestroyWindow();
}

TEST(SkinDialog, MaximiseRestoreAndMinimiseThroughTheCaptionButtons) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CSkinCache& skin = SkinCache();
  CRect normal;
  dlg.GetWindowRect(&normal);
  auto click = [&](int pos) {
    CRect r = dlg.CaptionButtonRect(pos);
    POINT p = WindowPoint(dlg.m_hWnd, r.CenterPoint().x, r.CenterPoint().y);
    PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, p);
    PostMouse(dlg.m_hWnd, WM_LBUTTONUP, p);
    Pump(250);
  };
  click(CSkinDialogBase::PosMaxRestore);
  ASSERT_TRUE(dlg.IsZoomed());
  Repaint(dlg);
  SaveScreenshot(dlg.m_hWnd, "skin_dialog_maximised");
  CRect r = dlg.CaptionButtonRect(CSkinDialogBase::PosMaxRestore);
  EXPECT_EQ(r.top, 4);
  Pixels shot = CaptureWindow(dlg.m_hWnd);
  EXPECT_TRUE(ShowsBitmap(shot, r.left, r.top, skin.GetBitmap(18)));  // restore, hot under the pointer
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  GetWindowRgn(dlg.m_hWnd, rgn);
  RECT box;
  GetRgnBox(rgn, &box);
  DeleteObject(rgn);
  EXPECT_EQ(box.left, 4);
  EXPECT_EQ(box.top, 4);

  // A maximised dialog is not dragged by its caption.
  CRect before;
  dlg.GetWindowRect(&before);
  PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, WindowPoint(dlg.m_hWnd, 200, 30));
  PostMouse(dlg.m_hWnd, WM_NCMOUSEMOVE, WindowPoint(dlg.m_hWnd, 260, 90));
  PostMouse(dlg.m_hWnd, WM_LBUTTONUP, WindowPoint(dlg.m_hWnd, 260, 90));
  Pump(100);
  CRect after;
  dlg.GetWindowRect(&after);
  EXPECT_EQ(after, before);

  click(CSkinDialogBase::PosMaxRestore);
  EXPECT_FALSE(dlg.IsZoomed());
  dlg.GetWindowRect(&after);
  EXPECT_EQ(after, normal);

  click(CSkinDialogBase::PosMinimise);
  EXPECT_TRUE(dlg.IsIconic());
  Repaint(dlg);
  SaveScreenshot(dlg.m_hWnd, "skin_dialog_minimised");
  {
    // Close and maximise pictures, then restore where minimise was; the title cut to "Orva...".
    Pixels small = CaptureWindow(dlg.m_hWnd);
    const int w = small.width;
    EXPECT_TRUE(ShowsBitmap(small, w - 36, 0, skin.GetBitmap(11)));
    EXPECT_TRUE(ShowsBitmap(small, w - 62, 0, skin.GetBitmap(9)));
    EXPECT_EQ(dlg.CaptionButtonRole(CSkinDialogBase::PosMinimise), CSkinDialogBase::RoleRestore);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, skin.GetFont(2)->m_hObject);
    SIZE cut{}, whole{};
    GetTextExtentPoint32W(dc, L"Orva...", 7, &cut);
    GetTextExtentPoint32W(dc, L"Orvanta Skin", 12, &whole);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    ASSERT_LT(cut.cx, whole.cx);
    int lastDark = 0;
    for (int x = 32; x < w - 2; ++x)
      for (int y = 2; y < small.height - 2; ++y)
        if (IsDark(small.at(x, y))) lastDark = x;
    EXPECT_GT(lastDark, 30 + cut.cx / 2);
    EXPECT_LE(lastDark, 30 + cut.cx);  // the whole title would reach 30 + whole.cx
  }
  EXPECT_EQ(dlg.CaptionButtonRole(CSkinDialogBase::PosMinimise), CSkinDialogBase::RoleRestore);
  click(CSkinDialogBase::PosMinimise);
  EXPECT_FALSE(dlg.IsIconic());
  dlg.DestroyWindow();
}

TEST(SkinDialog, RegionStaysWithTheSystem) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  // Handles freed by mistake would be handed out again; each probe must survive the next size change.
  std::vector<HRGN> probes;
  for (int i = 0; i < 8; ++i) {
    dlg.SetWindowPos(nullptr, 0, 0, 300 + 10 * i, 200 + 5 * i, SWP_NOMOVE | SWP_NOZORDER);
    Pump(20);
    for (HRGN p : probes) EXPECT_EQ(GetObjectType(p), (DWORD)OBJ_REGION);
    probes.push_back(CreateRectRgn(0, 0, i + 1, i + 1));
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(dlg.m_hWnd, rgn), ERROR);
    RECT box;
    GetRgnBox(rgn, &box);
    DeleteObject(rgn);
    EXPECT_EQ(box.right, 300 + 10 * i + 1);
    EXPECT_EQ(box.bottom, 200 + 5 * i + 1);
  }
  dlg.DestroyWindow();
  for (HRGN p : probes) {
    EXPECT_EQ(GetObjectType(p), (DWORD)OBJ_REGION);
    DeleteObject(p);
  }
}

TEST(SkinDialog, MovingIsTranslucentResizingIsNot) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  struct {
    UINT hit;
    bool layered;
  } cases[] = {{HTCAPTION, true}, {HTLEFT, false}, {HTBOTTOMRIGHT, false}, {HTCLIENT, true}};
  for (auto& c : cases) {
    dlg.SendMessage(WM_SETCURSOR, (WPARAM)dlg.m_hWnd, MAKELPARAM(c.hit, WM_MOUSEMOVE));
    dlg.SendMessage(WM_ENTERSIZEMOVE);
    EXPECT_EQ((dlg.GetExStyle() & WS_EX_LAYERED) != 0, c.layered) << c.hit;
    if (c.layered) {
      BYTE alpha = 0;
      DWORD flags = 0;
      ASSERT_TRUE(GetLayeredWindowAttributes(dlg.m_hWnd, nullptr, &alpha, &flags));
      EXPECT_EQ(alpha, 176);
      EXPECT_EQ(flags & LWA_ALPHA, (DWORD)LWA_ALPHA);
    }
    dlg.SendMessage(WM_EXITSIZEMOVE);
    EXPECT_EQ(dlg.GetExStyle() & WS_EX_LAYERED, 0u);
  }
  dlg.DestroyWindow();
}

// The system's own move loop, driven from the keyboard: translucent while it runs.
TEST(SkinDialog, MoveLoopIsTranslucentWhileItRuns) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  static DWORD exStyleInside;
  static BYTE alphaInside;
  exStyleInside = 0;
  alphaInside = 0;
  SetTimer(dlg.m_hWnd, 9, 150, [](HWND h, UINT, UINT_PTR id, DWORD) {
    KillTimer(h, id);
    exStyleInside = (DWORD)GetWindowLongW(h, GWL_EXSTYLE);
    GetLayeredWindowAttributes(h, nullptr, &alphaInside, nullptr);
    PostMessageW(h, WM_KEYDOWN, VK_RETURN, 1);
  });
  dlg.SendMessage(WM_SYSCOMMAND, SC_MOVE, 0);  // returns when the loop ends
  EXPECT_TRUE(exStyleInside & WS_EX_LAYERED);
  EXPECT_EQ(alphaInside, 176);
  EXPECT_EQ(dlg.GetExStyle() & WS_EX_LAYERED, 0u);
  dlg.DestroyWindow();
}

TEST(SkinDialog, ActivationKeepsTheFocusedControl) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  dlg.m_edit.SetFocus();
  ASSERT_EQ(GetFocus(), dlg.m_edit.m_hWnd);
  CDialog other(IDD_PLAIN);
  ASSERT_TRUE(other.Create(IDD_PLAIN));
  other.ShowWindow(SW_SHOW);
  other.SetActiveWindow();
  Pump(60);
  EXPECT_FALSE(dlg.IsActiveSkin());
  EXPECT_EQ(dlg.CaptionTextColor(), SkinCache().GetColor(4));
  dlg.SetActiveWindow();
  Pump(60);
  EXPECT_TRUE(dlg.IsActiveSkin());
  EXPECT_EQ(dlg.CaptionTextColor(), SkinCache().GetColor(3));
  EXPECT_EQ(GetFocus(), dlg.m_edit.m_hWnd);
  other.DestroyWindow();
  dlg.DestroyWindow();
}

TEST(SkinDialog, MenuBarIsPaintedUnderTheSkin) {
  SkinDlg dlg(IDD_MENU);
  Open(dlg, IDD_MENU);
  Repaint(dlg);
  SaveScreenshot(dlg.m_hWnd, "skin_dialog_menu");
  CRect wr, cr;
  dlg.GetWindowRect(&wr);
  dlg.GetClientRect(&cr);
  dlg.ClientToScreen(&cr);
  int menuHeight = cr.top - wr.top - 40;
  ASSERT_GT(menuHeight, 10);
  Pixels shot = CaptureWindow(dlg.m_hWnd);
  RECT bar = {10, 40, wr.Width() - 10, 40 + menuHeight};
  int background = CountColor(shot, bar, GetSysColor(COLOR_MENUBAR)) + CountColor(shot, bar, GetSysColor(COLOR_MENU));
  int text = 0;
  for (int y = bar.top; y < bar.bottom; ++y)
    for (int x = bar.left; x < bar.right; ++x) text += IsDark(shot.at(x, y));
  EXPECT_GT(background, (bar.right - bar.left) * menuHeight / 2);
  EXPECT_GT(text, 10);
  dlg.DestroyWindow();
}

TEST(SkinDialog, KoreanCaptionSurvivesTheCodePage) {
  FixDlg dlg(IDD_FIX);
  dlg.m_title = kKoreanTitle;
  Open(dlg, IDD_FIX);
  wchar_t text[64] = {};
  GetWindowTextW(dlg.m_hWnd, text, 64);
  EXPECT_EQ(std::wstring(text), kKoreanTitleW) << "ANSI code page " << GetACP();
  EXPECT_STREQ(dlg.GetWindowText(), kKoreanTitle);
  GetWindowTextW(dlg.m_korean.m_hWnd, text, 64);
  EXPECT_EQ(std::wstring(text), kKoreanTitleW);
  // What the system's code page would have made of it looks different.
  Pixels korean = CaptureWindow(dlg.m_korean.m_hWnd), qmarks = CaptureWindow(dlg.m_qmarks.m_hWnd);
  EXPECT_NE(korean.data, qmarks.data);
  SaveScreenshot(dlg.m_hWnd, "fix_dialog_korean");
  dlg.DestroyWindow();
}

// Enter, Escape and Alt+F4 go through the dialog's own loop and close nothing;
// the caption's close button ends it with IDCANCEL.
TEST(SkinDialog, ModalLoopIgnoresClosingKeysAndEndsOnTheCloseButton) {
  // First the same keys on a plain dialog, to show that they do arrive and would close it.
  struct {
    UINT msg;
    WPARAM key;
    LPARAM flags;
    bool toEdit;
  } keys[] = {
      {WM_KEYDOWN, VK_ESCAPE, 1, true}, {WM_KEYDOWN, VK_RETURN, 1, true}, {WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29), false}};
  for (auto& k : keys) {
    CDialog plain(IDD_PLAIN);
    ASSERT_TRUE(plain.Create(IDD_PLAIN));
    plain.ShowWindow(SW_SHOW);
    plain.SetActiveWindow();
    HWND edit = ::GetDlgItem(plain.m_hWnd, IDC_EDIT);
    ::SetFocus(edit);
    ::PostMessageW(k.toEdit ? edit : plain.m_hWnd, k.msg, k.key, k.flags);
    Pump(80);
    EXPECT_FALSE(plain.IsWindowVisible()) << k.key;
    plain.DestroyWindow();
  }

  for (UINT id : {IDD_SKIN, IDD_FIX}) {
    SkinDlg dlg(id);
    int step = 0;
    bool visibleAfterKeys = false;
    int defaultClicks = -1;
    // The script runs on timer ticks inside DoModal.
    dlg.m_onInit = [&](SkinDlg& d) {
      d.m_edit.SetFocus();
      SetTimer(d.m_hWnd, 7, 50, [](HWND h, UINT, UINT_PTR, DWORD) {
        auto* self = static_cast<SkinDlg*>(CWnd::FromHandlePermanent(h));
        int& s = *reinterpret_cast<int*>(GetPropW(h, L"step"));
        HWND edit = self->m_edit.m_hWnd;
        switch (s++) {
          case 0:
            PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
            break;
          case 1:
            PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
            break;
          case 2:
            PostMessageW(h, WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
            break;
          case 3:
            PostMessageW(self->m_default.m_hWnd, WM_KEYDOWN, VK_RETURN, 1);
            break;
          case 5: {
            *reinterpret_cast<bool*>(GetPropW(h, L"visible")) = IsWindowVisible(h) && IsWindowEnabled(h);
            *reinterpret_cast<int*>(GetPropW(h, L"clicks")) = self->m_clicks[0];
            CRect r = self->CaptionButtonRect(CSkinDialogBase::PosClose);
            POINT p = WindowPoint(h, r.CenterPoint().x, r.CenterPoint().y);
            PostMouse(h, WM_NCLBUTTONDOWN, p);
            PostMouse(h, WM_LBUTTONUP, p);
            break;
          }
          case 40:
            self->EndDialog(IDABORT);
            break;  // the close button failed
        }
      });
      SetPropW(d.m_hWnd, L"step", &step);
      SetPropW(d.m_hWnd, L"visible", &visibleAfterKeys);
      SetPropW(d.m_hWnd, L"clicks", &defaultClicks);
    };
    INT_PTR result = dlg.DoModal();
    EXPECT_TRUE(visibleAfterKeys) << id;
    EXPECT_EQ(defaultClicks, 0) << id;
    EXPECT_EQ(result, IDCANCEL) << id;
    EXPECT_EQ(dlg.m_hWnd, nullptr);
  }
}

TEST(FixSkinDialog, ShowsAndReactsToTheCloseButtonOnly) {
  FixDlg dlg(IDD_FIX);
  Open(dlg, IDD_FIX);
  Repaint(dlg);
  SaveScreenshot(dlg.m_hWnd, "fix_dialog");
  CSkinCache& skin = SkinCache();
  CRect wr;
  dlg.GetWindowRect(&wr);
  const int W = wr.Width();
  EXPECT_EQ(dlg.CaptionButtonCount(), 1);
  Pixels shot = CaptureWindow(dlg.m_hWnd);
  EXPECT_TRUE(ShowsBitmap(shot, W - 36, 0, skin.GetBitmap(11)));
  // Where the maximise button of a CSkinDialog would be lies plain caption.
  Pixels strip = CaptureBitmap(skin.GetBitmap(1));
  for (int y = 5; y < 18; ++y) EXPECT_EQ(shot.at(W - 50, y), strip.at(0, y)) << y;
  POINT maxSpot = WindowPoint(dlg.m_hWnd, W - 49, 9);
  EXPECT_EQ(dlg.CaptionButtonAt(maxSpot), CSkinDialogBase::PosNone);
  PostMouse(dlg.m_hWnd, WM_NCLBUTTONDOWN, maxSpot);
  PostMouse(dlg.m_hWnd, WM_LBUTTONUP, maxSpot);
  Pump(100);
  EXPECT_FALSE(dlg.IsZoomed());
  EXPECT_TRUE(dlg.IsWindowVisible());
  // The check box, bound to a CButton, gets the dialog's brush.
  HDC dc = GetDC(dlg.m_hWnd);
  HBRUSH b = (HBRUSH)dlg.SendMessage(WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)::GetDlgItem(dlg.m_hWnd, IDC_CHECK));
  ReleaseDC(dlg.m_hWnd, dc);
  LOGBRUSH lb{};
  GetObjectW(b, sizeof(lb), &lb);
  EXPECT_EQ(lb.lbColor, skin.GetColor(1));

  // Minimised it shows close, maximise and restore, as a CSkinDialog does;
  // only close still reacts.
  dlg.ShowWindow(SW_MINIMIZE);
  Pump(150);
  ASSERT_TRUE(dlg.IsIconic());
  Repaint(dlg);
  SaveScreenshot(dlg.m_hWnd, "fix_dialog_minimised");
  Pixels small = CaptureWindow(dlg.m_hWnd);
  const int w = small.width;
  EXPECT_EQ(dlg.PaintedCaptionButtonCount(), 3);
  EXPECT_TRUE(ShowsBitmap(small, w - 36, 0, skin.GetBitmap(11)));
  EXPECT_TRUE(ShowsBitmap(small, w - 62, 0, skin.GetBitmap(9)));
  // The restore picture, apart from its left edge, which the cut title may reach.
  Pixels restore = CaptureBitmap(skin.GetBitmap(10));
  int differ = 0;
  for (int y = 0; y < restore.height; ++y)
    for (int x = restore.width / 3; x < restore.width; ++x)
      if (small.at(w - 88 + x, y) != restore.at(x, y)) ++differ;
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(dlg.CaptionButtonCount(), 1);
  dlg.DestroyWindow();
}

// --- skin button --------------------------------------------------------------

TEST(SkinButton, FaceIconAndCaption) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CSkinCache& skin = SkinCache();
  Pixels face = CaptureBitmap(skin.GetBitmap(20));
  Pixels icon = CaptureIcon(skin.GetIcon(8, 0), 16, face.at(45, 13));
  // Every button that shares the face shows it the same way: key pixels let the background through.
  for (CSkinButton* b : {&dlg.m_default, &dlg.m_other}) {
    Pixels shot = CaptureWindow(b->m_hWnd);
    for (int y = 0; y < 27; ++y)
      for (int x = 0; x < 5; ++x) {
        COLORREF want = face.at(x, y) == RGB(255, 0, 255) ? skin.GetColor(1) : face.at(x, y);
        ASSERT_EQ(shot.at(x, y), want) << x << "," << y;
      }
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(shot.at(5 + x, 5 + y), icon.at(x, y)) << x << "," << y;
    int dark = 0;
    for (int y = 0; y < 27; ++y)
      for (int x = 21; x < 90; ++x) dark += IsDark(shot.at(x, y));
    EXPECT_GT(dark, 10);
  }
  // The shared face itself is never painted into.
  Pixels again = CaptureBitmap(skin.GetBitmap(20));
  EXPECT_EQ(again.data, face.data);
  EXPECT_EQ(again.at(0, 0), RGB(255, 0, 255));

  // No caption: face and icon centred.
  dlg.m_iconOnly.MoveWindow(14, 113, 130, 27);
  Pump(60);
  Pixels bare = CaptureWindow(dlg.m_iconOnly.m_hWnd);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(bare.at(57 + x, 5 + y), icon.at(x, y)) << x << "," << y;
  EXPECT_EQ(bare.at(20 + 2, 13), face.at(2, 13));
  EXPECT_EQ(bare.at(20 + 88, 13), face.at(88, 13));
  EXPECT_EQ(bare.at(5, 13), skin.GetColor(1));
  EXPECT_EQ(bare.at(125, 13), skin.GetColor(1));
  dlg.DestroyWindow();
}

TEST(SkinButton, PressedShiftsAndDisabledEmbosses) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  Pixels normal = CaptureWindow(dlg.m_other.m_hWnd);
  dlg.m_other.SendMessage(BM_SETSTATE, TRUE);
  Pump(60);
  Pixels pressed = CaptureWindow(dlg.m_other.m_hWnd);
  SaveScreenshot(dlg.m_hWnd, "skin_button_pressed");
  dlg.m_other.SendMessage(BM_SETSTATE, FALSE);
  int same = 0, total = 0;
  for (int y = 2; y < 25; ++y)
    for (int x = 2; x < 85; ++x) {
      ++total;
      same += pressed.at(x + 1, y + 1) == normal.at(x, y);
    }
  EXPECT_EQ(same, total);
  EXPECT_NE(pressed.data, normal.data);

  Pixels disabled = CaptureWindow(dlg.m_disabled.m_hWnd);
  RECT caption = {21, 0, 90, 27};
  EXPECT_GT(CountColor(disabled, caption, GetSysColor(COLOR_BTNSHADOW)), 10);
  EXPECT_EQ(CountColor(disabled, caption, GetSysColor(COLOR_BTNTEXT)), 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(disabled.at(5 + x, 5 + y), normal.at(5 + x, 5 + y));
  dlg.DestroyWindow();
}

TEST(SkinButton, KeepsTheDefaultButtonAndCountsDoubleClicksTwice) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  auto code = [](CWnd& w) { return (UINT)w.SendMessage(WM_GETDLGCODE); };
  auto type = [](CWnd& w) { return w.GetStyle() & BS_TYPEMASK; };
  EXPECT_TRUE(code(dlg.m_default) & DLGC_DEFPUSHBUTTON);
  EXPECT_TRUE(code(dlg.m_other) & DLGC_UNDEFPUSHBUTTON);
  EXPECT_EQ(type(dlg.m_default), (DWORD)BS_OWNERDRAW);
  dlg.SetDefID(IDC_BTN_OTHER);
  Pump(20);
  EXPECT_TRUE(code(dlg.m_other) & DLGC_DEFPUSHBUTTON);
  EXPECT_TRUE(code(dlg.m_default) & DLGC_UNDEFPUSHBUTTON);
  EXPECT_EQ(type(dlg.m_default), (DWORD)BS_OWNERDRAW);
  EXPECT_EQ(type(dlg.m_other), (DWORD)BS_OWNERDRAW);

  LPARAM at = MAKELPARAM(30, 12);
  for (UINT m : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    dlg.m_other.PostMessage(m, m == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
  Pump(100);
  EXPECT_EQ(dlg.m_clicks[1], 2);

  // The same images again change nothing and paint nothing.
  CSkinCache& skin = SkinCache();
  ValidateRect(dlg.m_other.m_hWnd, nullptr);
  EXPECT_EQ(dlg.m_other.SetBitmapImages(skin.GetBitmap(20), skin.GetColor(0), nullptr, 0), 0);
  EXPECT_FALSE(GetUpdateRect(dlg.m_other.m_hWnd, nullptr, FALSE));
  EXPECT_EQ(dlg.m_other.SetBitmapImages(skin.GetBitmap(24), skin.GetColor(0), nullptr, 0), 0);
  EXPECT_TRUE(GetUpdateRect(dlg.m_other.m_hWnd, nullptr, FALSE));
  dlg.DestroyWindow();
}

// --- message maps and reflection -----------------------------------------------

namespace {
// A control that answers some notifications itself.
class ReflectingEdit : public CEdit {
 public:
  int m_changes = 0;
  void OnCustomDraw(NMHDR*, LRESULT* result) { *result = CDRF_NOTIFYITEMDRAW; }
  BOOL OnPassOn(NMHDR*, LRESULT*) { return FALSE; }
  BOOL OnChange() {
    ++m_changes;
    return FALSE;
  }  // the parent hears it too
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ReflectingEdit, CEdit)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnCustomDraw)
ON_NOTIFY_REFLECT_EX(NM_CLICK, OnPassOn)
ON_CONTROL_REFLECT_EX(EN_CHANGE, OnChange)
END_MESSAGE_MAP()

class ParentDialog : public CDialog {
 public:
  ParentDialog() : CDialog(IDD_PLAIN) {}
  ReflectingEdit m_edit;
  int m_parentCustomDraw = 0, m_parentClicks = 0, m_parentChanges = 0;
  void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_EDIT, m_edit); }
  void OnCustomDraw(NMHDR*, LRESULT*) { ++m_parentCustomDraw; }
  void OnClickEdit(NMHDR*, LRESULT* result) {
    ++m_parentClicks;
    *result = 7;
  }
  void OnEditChange() { ++m_parentChanges; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(ParentDialog, CDialog)
ON_NOTIFY(NM_CUSTOMDRAW, IDC_EDIT, OnCustomDraw)
ON_NOTIFY(NM_CLICK, IDC_EDIT, OnClickEdit)
ON_EN_CHANGE(IDC_EDIT, OnEditChange)
END_MESSAGE_MAP()
}  // namespace

TEST(Framework, NotificationsReachTheControlFirstAndResultsReachTheSystem) {
  ParentDialog dlg;
  ASSERT_TRUE(dlg.Create(IDD_PLAIN));
  ASSERT_EQ(CWnd::FromHandlePermanent(::GetDlgItem(dlg.m_hWnd, IDC_EDIT)), &dlg.m_edit);
  NMHDR nm{dlg.m_edit.m_hWnd, IDC_EDIT, (UINT)NM_CUSTOMDRAW};
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_EDIT, (LPARAM)&nm), CDRF_NOTIFYITEMDRAW);
  EXPECT_EQ(dlg.m_parentCustomDraw, 0);
  nm.code = (UINT)NM_CLICK;
  EXPECT_EQ(dlg.SendMessage(WM_NOTIFY, IDC_EDIT, (LPARAM)&nm), 7);
  EXPECT_EQ(dlg.m_parentClicks, 1);
  dlg.m_edit.SetWindowText("typed");
  EXPECT_EQ(dlg.m_edit.m_changes, 1);
  EXPECT_EQ(dlg.m_parentChanges, 1);
  EXPECT_STREQ(dlg.m_edit.GetWindowText(), "typed");
  HWND edit = dlg.m_edit.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_EQ(dlg.m_edit.m_hWnd, nullptr);  // unbound when its window went
  EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
}

namespace {
// Records whether its object was bound when WM_NCCREATE arrived.
class CreationSpy : public CWnd {
 public:
  bool m_boundAtNcCreate = false;
  LRESULT OnNcCreate(WPARAM, LPARAM) {
    m_boundAtNcCreate = FromHandlePermanent(m_hWnd) == this;
    return Default();
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CreationSpy, CWnd)
ON_MESSAGE(WM_NCCREATE, OnNcCreate)
END_MESSAGE_MAP()
}  // namespace

TEST(Framework, CreatedWindowsAreBoundBeforeTheirFirstMessage) {
  CreationSpy top;
  ASSERT_TRUE(top.CreateEx(0, nullptr, "spy", WS_OVERLAPPEDWINDOW, CRect(0, 0, 200, 100), nullptr, 0));
  EXPECT_TRUE(top.m_boundAtNcCreate);
  CSkinButton button;
  ASSERT_TRUE(button.Create("made", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, CRect(5, 5, 95, 32), &top, 42));
  EXPECT_EQ(CWnd::FromHandlePermanent(::GetDlgItem(top.m_hWnd, 42)), &button);
  EXPECT_EQ(button.GetStyle() & BS_TYPEMASK, (DWORD)BS_OWNERDRAW);
  EXPECT_TRUE(button.IsDefault());
  top.DestroyWindow();
  EXPECT_EQ(top.m_hWnd, nullptr);
  EXPECT_EQ(button.m_hWnd, nullptr);
}

TEST(SkinDialog, CaptionBandMovesAndTheSystemButtonsAreNotThere) {
  SkinDlg dlg(IDD_SKIN);
  Open(dlg, IDD_SKIN);
  CRect wr;
  dlg.GetWindowRect(&wr);
  const int W = wr.Width();
  auto hit = [&](int x, int y) { return (int)dlg.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y)); };
  struct {
    int x, y, want;
  } cases[] = {{120, 35, HTCAPTION},                           // the lower part of the skin's caption
               {120, 15, HTCAPTION},  {W - 8, 12, HTCAPTION},  // where the system's close box would be
               {20, 12, HTCAPTION},                            // where the system menu would be
               {W / 2, 80, HTCLIENT}, {1, 80, HTLEFT},        {W - 2, wr.Height() - 2, HTBOTTOMRIGHT}};
  for (auto& c : cases) EXPECT_EQ(hit(c.x, c.y), c.want) << c.x << "," << c.y;
  // Skin buttons get no background from their dialog.
  HDC dc = GetDC(dlg.m_hWnd);
  EXPECT_EQ((HGDIOBJ)dlg.SendMessage(WM_CTLCOLORBTN, (WPARAM)dc, (LPARAM)dlg.m_default.m_hWnd),
            GetStockObject(NULL_BRUSH));
  ReleaseDC(dlg.m_hWnd, dc);
  dlg.DestroyWindow();
}

// --- set-up -------------------------------------------------------------------

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  printf("ANSI code page %u\n", GetACP());
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  LoadTestSkin(&g_mainWindow);
  return RUN_ALL_TESTS();
}
