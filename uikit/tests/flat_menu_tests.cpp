// Owner-drawn flat menus on real windows: items converted, measured and
// painted, popups of marked windows framed and shadowed, keys resolved.
// (Their arithmetic is in menu_arithmetic_tests.cpp.)
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "flat_menu.h"
#include "fw_toolbar.h"
#include "gui_test_support.h"

using namespace orva::fw;
using namespace orva::ui;
using namespace orva::ui::test;

namespace {

CWinApp theApp("Orvanta");

enum : UINT { ID_OPEN = 101, ID_SAVEAS, ID_GRAYED, ID_CHECKED, ID_RADIO, ID_PLAIN, ID_AMPS, ID_LONG };

// A top-level window that uses the menu service as the manager's main dialog does.
class MenuOwner : public CWnd {
 public:
  int m_menuChars = 0;
  int m_drawn = 0;
  bool Open(bool marked, int x = 200, int y = 150) {
    if (!CreateEx(0, nullptr, marked ? "Flat menus" : "System menus",
                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, CRect(x, y, x + 360, y + 260), nullptr, 0))
      return false;
    if (marked) CFlatMenu::SetFlatMenuWindow(m_hWnd, true);
    SetForegroundWindow();
    Pump(150);
    return true;
  }
  void OnMeasureItem(int, LPMEASUREITEMSTRUCT m) { CFlatMenu::OnMeasureItem(m); }
  void OnDrawItem(int, LPDRAWITEMSTRUCT d) {
    ++m_drawn;
    if (!CFlatMenu::OnDrawItem(d, m_hWnd)) Default();
  }
  void OnInitMenuPopup(CMenu* popup, UINT, BOOL) {
    Default();
    CFlatMenu::PrepareMenu(m_hWnd, popup->m_hMenu, CFlatMenu::IsFlatMenuWindow(m_hWnd), false);
  }
  static constexpr COLORREF kBackground = RGB(120, 160, 200);
  BOOL OnEraseBkgnd(CDC* dc) {
    CRect r;
    GetClientRect(&r);
    dc->FillSolidRect(&r, kBackground);
    return TRUE;
  }
  static inline int s_markedAtEnd = -1;
  LRESULT OnNcDestroyMsg(WPARAM, LPARAM) {
    s_markedAtEnd = CFlatMenu::IsFlatMenuWindow(m_hWnd);
    return Default();
  }
  LRESULT OnMenuChar(UINT ch, UINT flags, CMenu* menu) {
    ++m_menuChars;
    if (menu && CFlatMenu::IsOwnerDrawMenu(menu->m_hMenu)) return CFlatMenu::OnMenuChar(menu->m_hMenu, ch, flags);
    return Default();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MenuOwner, CWnd)
ON_WM_MEASUREITEM()
ON_WM_DRAWITEM()
ON_WM_INITMENUPOPUP()
ON_WM_MENUCHAR()
ON_WM_ERASEBKGND()
ON_MESSAGE(WM_NCDESTROY, OnNcDestroyMsg)
END_MESSAGE_MAP()

// A 16 x 16 image list with one opaque red and one opaque green image.
HIMAGELIST MakeImages() {
  HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32, 14, 0);
  for (COLORREF c : {RGB(255, 0, 0), RGB(0, 160, 0)}) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = 16;
    bi.bmiHeader.biHeight = -16;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* p = (DWORD*)bits;
    for (int i = 0; i < 256; ++i) p[i] = 0xFF000000 | GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
    ImageList_Add(list, b, nullptr);
    DeleteObject(b);
  }
  return list;
}

HIMAGELIST Images() {
  static HIMAGELIST list = MakeImages();
  return list;
}

// Open (image 0, shortcut), Save As, separator, Grayed, Checked, Radio, Plain.
HMENU MakePopup() {
  CMenu m;
  m.CreatePopupMenu();
  m.AppendMenu(MF_STRING, ID_OPEN, "&Open\tCtrl+O");
  m.AppendMenu(MF_STRING, ID_SAVEAS, "Save &As");
  m.AppendMenu(MF_SEPARATOR);
  m.AppendMenu(MF_STRING | MF_GRAYED, ID_GRAYED, "Grayed");
  m.AppendMenu(MF_STRING | MF_CHECKED, ID_CHECKED, "Checked");
  m.AppendMenu(MF_STRING, ID_RADIO, "Radio");
  m.CheckMenuRadioItem(ID_RADIO, ID_RADIO, ID_RADIO, MF_BYCOMMAND);
  m.AppendMenu(MF_STRING, ID_PLAIN, "Plain");
  CFlatMenu::SetCommandImage(ID_OPEN, Images(), 0);
  return m.Detach();
}

DWORD ItemData(HMENU menu, int pos) {
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_DATA;
  GetMenuItemInfoW(menu, pos, TRUE, &mii);
  return (DWORD)mii.dwItemData;
}

UINT ItemType(HMENU menu, int pos) {
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_FTYPE;
  GetMenuItemInfoW(menu, pos, TRUE, &mii);
  return mii.fType;
}

int GuiFontWidth(const CString& text, bool bold = false) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  HFONT boldFont = nullptr;
  if (bold) {
    LOGFONTW lf{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lf.lfWeight = FW_BOLD;
    boldFont = CreateFontIndirectW(&lf);
    SelectObject(dc, boldFont);
  }
  std::wstring w = ToWideText(text);
  SIZE s{};
  GetTextExtentPoint32W(dc, w.c_str(), (int)w.size(), &s);
  SelectObject(dc, old);
  if (boldFont) DeleteObject(boldFont);
  ReleaseDC(nullptr, dc);
  return s.cx;
}

int GuiTextHeight() {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return tm.tmHeight;
}

// A memory DC with a 32-bit bitmap, read back as pixels.
struct MemCanvas {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
  int w, h;
  MemCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255)) : w(width), h(height) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    old = SelectObject(dc, bitmap);
    RECT r{0, 0, w, h};
    HBRUSH b = CreateSolidBrush(fill);
    FillRect(dc, &r, b);
    DeleteObject(b);
  }
  ~MemCanvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  Pixels Read() {
    SelectObject(dc, old);
    Pixels p = CaptureBitmap(bitmap);
    SelectObject(dc, bitmap);
    return p;
  }
};

// Paints item `pos` of a prepared popup through the service, as WM_DRAWITEM would.
Pixels DrawItem(HWND owner, HMENU menu, int pos, UINT state, int width = 200) {
  DWORD data = ItemData(menu, pos);
  SIZE size = CFlatMenu::MeasureFromData(data);
  MemCanvas canvas(width, size.cy);
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_MENU;
  dis.itemID = GetMenuItemID(menu, pos);
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = state;
  dis.hwndItem = (HWND)menu;
  dis.hDC = canvas.dc;
  dis.rcItem = RECT{0, 0, width, size.cy};
  dis.itemData = data;
  EXPECT_TRUE(SendMessageW(owner, WM_DRAWITEM, 0, (LPARAM)&dis));
  return canvas.Read();
}

bool IsDarkText(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 250; }

int CountDark(const Pixels& p, const RECT& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x)
      if (p.inside(x, y) && IsDarkText(p.at(x, y))) ++n;
  return n;
}

// The GDI objects of the process. Where GetGuiResources does not tell them
// (Wine), the used entries of the shared GDI handle table are counted; the
// count is trusted only when it follows objects made and deleted here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // the intrinsic's own header trips it
DWORD CountHandleTable() {
  auto* peb = (const BYTE*)__readgsqword(0x60);     // the PEB of an x64 process
  auto* table = *(const BYTE* const*)(peb + 0xF8);  // GdiSharedHandleTable
  if (!table) return 0;
  DWORD n = 0;
  for (size_t i = 0; i < 0x10000; ++i) {
    const BYTE* e = table + i * 24;
    if (*(const UINT64*)e && e[14]) ++n;
  }
  return n;
}
#pragma GCC diagnostic pop

DWORD GdiCount() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return n;
  static int trusted = -1;
  if (trusted < 0) {
    DWORD before = CountHandleTable();
    HBRUSH made[10];
    for (auto& b : made) b = CreateSolidBrush(RGB(1, 2, 3));
    DWORD during = CountHandleTable();
    for (auto b : made) DeleteObject(b);
    trusted = during == before + 10 && CountHandleTable() == before;
  }
  return trusted ? CountHandleTable() : 0;
}

// Runs TrackPopupMenu on `owner`; `during` runs from a timer inside the menu
// loop once the popup window is there and painted, and must end the menu.
std::function<void(HWND)> g_during;
int g_ticks = 0;
void CALLBACK DuringMenu(HWND, UINT, UINT_PTR id, DWORD) {
  ++g_ticks;
  HWND popup = FindWindowW(L"#32768", nullptr);
  if (popup && IsWindowVisible(popup) && g_during && g_ticks >= 3) {
    KillTimer(nullptr, id);
    auto during = std::move(g_during);
    g_during = nullptr;
    UpdateWindow(popup);
    during(popup);
  } else if (g_ticks > 40) {
    KillTimer(nullptr, id);
    ADD_FAILURE() << "no popup menu window appeared";
    EndMenu();
  }
}

UINT Track(MenuOwner& owner, HMENU menu, std::function<void(HWND)> during, int x = 240, int y = 190) {
  g_during = std::move(during);
  g_ticks = 0;
  SetTimer(nullptr, 0, 100, DuringMenu);
  UINT r = TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RETURNCMD, x, y, 0, owner.m_hWnd, nullptr);
  Pump(100);
  return r;
}

}  // namespace

// --- painting ---------------------------------------------------------------------

TEST(MenuPaint, ShadowOfA100By50Popup) {
  MemCanvas c(100, 50, RGB(200, 200, 200));
  CDC dc;
  dc.Attach(c.dc);
  CRect r(0, 0, 100, 50);
  DrawMenuShadow(&dc, &dc, &r);
  dc.Detach();
  Pixels p = c.Read();
  auto shaded = [&](int x, int y) { return p.at(x, y) != RGB(200, 200, 200); };
  // Columns x = 96..99 start at y = 4, 4, 5, 6.
  const int columnStart[] = {4, 4, 5, 6};
  for (int i = 0; i < 4; ++i) {
    int x = 96 + i;
    EXPECT_FALSE(shaded(x, columnStart[i] - 1)) << x;
    EXPECT_TRUE(shaded(x, columnStart[i])) << x;
    EXPECT_TRUE(shaded(x, 30)) << x;
  }
  // Rows y = 46..49 start at x = 4, 4, 5, 6.
  const int rowStart[] = {4, 4, 5, 6};
  for (int j = 0; j < 4; ++j) {
    int y = 46 + j;
    EXPECT_FALSE(shaded(rowStart[j] - 1, y)) << y;
    EXPECT_TRUE(shaded(rowStart[j], y)) << y;
    EXPECT_TRUE(shaded(50, y)) << y;
  }
  for (int y = 0; y < 46; ++y)
    for (int x = 0; x < 96; ++x) ASSERT_FALSE(shaded(x, y)) << x << "," << y;
  // Outermost steps are the lightest.
  EXPECT_EQ(p.at(99, 30), ShadowPixel(RGB(200, 200, 200), 0));
  EXPECT_EQ(p.at(96, 30), ShadowPixel(RGB(200, 200, 200), 3));
  EXPECT_EQ(p.at(50, 49), ShadowPixel(RGB(200, 200, 200), 0));
  EXPECT_EQ(p.at(50, 46), ShadowPixel(RGB(200, 200, 200), 3));
}

TEST(MenuPaint, BufferDcKeepsToItsRectangle) {
  MemCanvas c(60, 40);
  CDC target;
  target.Attach(c.dc);
  {
    CRect r(10, 5, 50, 30);
    CBufferDC buf(&target, &r);
    buf.FillSolidRect(CRect(0, 0, 60, 40), RGB(0, 0, 200));  // clipped to the rectangle
    EXPECT_EQ(target.GetPixel(20, 10), RGB(255, 255, 255));  // nothing before the copy
  }
  {
    HRGN clip = CreateRectRgn(0, 0, 5, 5);
    SelectClipRgn(c.dc, clip);
    DeleteObject(clip);
    CBufferDC buf(&target, nullptr);  // empty: the clip box
    EXPECT_EQ(buf.Rect(), CRect(0, 0, 5, 5));
    buf.FillSolidRect(CRect(0, 0, 5, 5), RGB(0, 150, 0));
  }
  SelectClipRgn(c.dc, nullptr);
  target.Detach();
  Pixels p = c.Read();
  EXPECT_EQ(p.at(10, 5), RGB(0, 0, 200));
  EXPECT_EQ(p.at(49, 29), RGB(0, 0, 200));
  EXPECT_EQ(p.at(9, 10), RGB(255, 255, 255));
  EXPECT_EQ(p.at(20, 4), RGB(255, 255, 255));
  EXPECT_EQ(p.at(50, 10), RGB(255, 255, 255));
  EXPECT_EQ(p.at(2, 2), RGB(0, 150, 0));
}

TEST(MenuPaint, SelectorsRestoreAndDeleteWhatTheyMade) {
  MemCanvas c(10, 10);
  CDC dc;
  dc.Attach(c.dc);
  HGDIOBJ pen0 = GetCurrentObject(c.dc, OBJ_PEN), brush0 = GetCurrentObject(c.dc, OBJ_BRUSH);
  HGDIOBJ made[3] = {};
  {
    CPenSelect pen(&dc, RGB(1, 2, 3));
    made[0] = GetCurrentObject(c.dc, OBJ_PEN);
    pen.SetColor(RGB(4, 5, 6));
    EXPECT_EQ(GetObjectType(made[0]), 0u);  // the first pen went when replaced
    made[0] = GetCurrentObject(c.dc, OBJ_PEN);
    CBrushSelect brush(&dc, RGB(7, 8, 9));
    made[1] = GetCurrentObject(c.dc, OBJ_BRUSH);
    CBrushSelect none(&dc, (COLORREF)-1);
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
  }
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_PEN), pen0);
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_BRUSH), brush0);
  EXPECT_EQ(GetObjectType(made[0]), 0u);
  EXPECT_EQ(GetObjectType(made[1]), 0u);

  // Bold wanted on a bold font: nothing new, nothing restored.
  LOGFONTW lf{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  lf.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirectW(&lf);
  HGDIOBJ font0 = SelectObject(c.dc, bold);
  {
    CBoldSelect same(&dc, true);
    EXPECT_FALSE(same.Changed());
    EXPECT_EQ(GetCurrentObject(c.dc, OBJ_FONT), (HGDIOBJ)bold);
    CBoldSelect normal(&dc, false);
    EXPECT_TRUE(normal.Changed());
    made[2] = GetCurrentObject(c.dc, OBJ_FONT);
    LOGFONTW now{};
    GetObjectW(made[2], sizeof(now), &now);
    EXPECT_EQ(now.lfWeight, FW_NORMAL);
  }
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_FONT), (HGDIOBJ)bold);
  EXPECT_EQ(GetObjectType(made[2]), 0u);
  SelectObject(c.dc, font0);
  DeleteObject(bold);
  {
    CStockSelect stock(&dc, DEFAULT_GUI_FONT, RGB(10, 20, 30));
    stock.SetTextColor(RGB(40, 50, 60));
    EXPECT_EQ(GetTextColor(c.dc), RGB(40, 50, 60));
  }
  EXPECT_EQ(GetCurrentObject(c.dc, OBJ_FONT), font0);
  EXPECT_EQ(GetTextColor(c.dc), RGB(0, 0, 0));
  dc.Detach();
}

TEST(MenuPaint, CaptureOfTheScreen) {
  RECT r{0, 0, 30, 20};
  HBITMAP b = CaptureScreenRect(&r);
  ASSERT_NE(b, nullptr);
  BITMAP bm{};
  GetObjectW(b, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmWidth, 30);
  EXPECT_EQ(bm.bmHeight, 20);
  DeleteObject(b);
  RECT empty{5, 5, 5, 9};
  EXPECT_EQ(CaptureScreenRect(&empty), nullptr);
}

// --- hook ---------------------------------------------------------------------------------

TEST(FlatMenu, HookIsCounted) {
  ASSERT_FALSE(CFlatMenu::IsHooked());
  CFlatMenu::RemoveHook();  // nothing to remove
  CFlatMenu::InstallHook();
  EXPECT_TRUE(CFlatMenu::IsHooked());
  CFlatMenu::InstallHook();
  CFlatMenu::RemoveHook();
  EXPECT_TRUE(CFlatMenu::IsHooked());
  CFlatMenu::RemoveHook();
  EXPECT_FALSE(CFlatMenu::IsHooked());
  CFlatMenu::InstallHook();
  EXPECT_TRUE(CFlatMenu::IsHooked());
  CFlatMenu::RemoveHook();
  EXPECT_FALSE(CFlatMenu::IsHooked());
}

TEST(FlatMenu, MarksAreWindowProperties) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(false));
  EXPECT_FALSE(CFlatMenu::IsFlatMenuWindow(w.m_hWnd));
  CFlatMenu::SetFlatMenuWindow(w.m_hWnd, true);
  EXPECT_TRUE(CFlatMenu::IsFlatMenuWindow(w.m_hWnd));
  EXPECT_EQ(GetPropW(w.m_hWnd, L"FlatMenuProp_Marked"), (HANDLE)1);
  CFlatMenu::SetFlatMenuWindow(w.m_hWnd, false);
  EXPECT_FALSE(CFlatMenu::IsFlatMenuWindow(w.m_hWnd));
  w.DestroyWindow();
}

// --- preparation and measuring -----------------------------------------------------------

TEST(FlatMenu, PreparingConvertsMeasuresAndKeepsTexts) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  HMENU menu = MakePopup();
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) EXPECT_TRUE(ItemType(menu, i) & MFT_OWNERDRAW) << i;
  EXPECT_STREQ(CFlatMenu::CommandText(ID_OPEN), "&Open\tCtrl+O");
  EXPECT_STREQ(CFlatMenu::CommandText(ID_SAVEAS), "Save &As");

  // Every item of the popup gets the same widths; the separator its height.
  int th = GuiTextHeight();
  int label = std::max({GuiFontWidth("Open"), GuiFontWidth("Save As"), GuiFontWidth("Grayed"), GuiFontWidth("Checked"),
                        GuiFontWidth("Radio"), GuiFontWidth("Plain")});
  int shortcut = GuiFontWidth("Ctrl+O");
  DWORD want = CFlatMenu::PackItemData(CFlatMenu::RowHeight(th), shortcut, label);
  EXPECT_EQ(ItemData(menu, 0), want);
  EXPECT_EQ(ItemData(menu, 1), want);
  EXPECT_EQ(ItemData(menu, 2), (DWORD)CFlatMenu::SeparatorHeight(th));
  EXPECT_EQ(ItemData(menu, 6), want);

  // WM_MEASUREITEM through the window: the item with a shortcut and the one without are equally wide.
  UINT widths[2], heights[2];
  for (int i = 0; i < 2; ++i) {
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = GetMenuItemID(menu, i);
    mis.itemData = ItemData(menu, i);
    mis.itemHeight = 99;
    SendMessageW(w.m_hWnd, WM_MEASUREITEM, 0, (LPARAM)&mis);
    widths[i] = mis.itemWidth;
    heights[i] = mis.itemHeight;
  }
  EXPECT_EQ(widths[0], widths[1]);
  EXPECT_EQ((int)widths[0], label + shortcut + 42);
  EXPECT_EQ((int)heights[0], CFlatMenu::RowHeight(th));

  // A second preparation converts nothing again but puts the data back.
  MENUITEMINFOW clear{};
  clear.cbSize = sizeof(clear);
  clear.fMask = MIIM_DATA;
  SetMenuItemInfoW(menu, 1, TRUE, &clear);
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  EXPECT_EQ(ItemData(menu, 1), want);
  EXPECT_STREQ(CFlatMenu::CommandText(ID_SAVEAS), "Save &As");

  // A default item is measured bold.
  ModifyMenuW(menu, ID_PLAIN, MF_BYCOMMAND | MF_STRING, ID_PLAIN, L"A much longer default item");
  SetMenuDefaultItem(menu, ID_PLAIN, FALSE);
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  EXPECT_EQ(ItemData(menu, 0) >> 16, (DWORD)GuiFontWidth("A much longer default item", true));
  DestroyMenu(menu);
  w.DestroyWindow();
}

TEST(FlatMenu, LongTextsAreKeptWhole) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  std::string longText(1000, 'x');
  longText += "\tCtrl+Shift+Alt+F12 and a long shortcut text that is wider than a byte";
  CMenu m;
  m.CreatePopupMenu();
  m.AppendMenu(MF_STRING, ID_LONG, longText.c_str());
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)m.m_hMenu, 0);
  EXPECT_STREQ(CFlatMenu::CommandText(ID_LONG), longText.c_str());
  // Texts beyond the code page survive the way through the maps.
  const CString korean = SourceText(u8"백업 &관리");  // "backup &manage", in code page 949
  CMenu k;
  k.CreatePopupMenu();
  k.AppendMenu(MF_STRING, ID_AMPS, korean);
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)k.m_hMenu, 0);
  EXPECT_STREQ(CFlatMenu::CommandText(ID_AMPS), korean);
  EXPECT_EQ(CFlatMenu::OnMenuChar(k.m_hMenu, 0xAD00, MF_POPUP), 0x20000);
  DWORD data = ItemData(m.m_hMenu, 0);
  EXPECT_EQ((data >> 8) & 0xFF, 255u);  // the widest the byte tells
  EXPECT_EQ(data >> 16, (DWORD)std::min(0xFFFF, GuiFontWidth(std::string(1000, 'x').c_str())));
  w.DestroyWindow();
}

TEST(FlatMenu, SubmenuEntriesGoWithTheirMenus) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  size_t before = CFlatMenu::SubmenuEntryCount();
  for (int round = 0; round < 20; ++round) {
    CMenu m, sub;
    m.CreatePopupMenu();
    sub.CreatePopupMenu();
    sub.AppendMenu(MF_STRING, ID_PLAIN, "Inner");
    HMENU subHandle = sub.Detach();
    m.AppendMenu(MF_POPUP, (UINT_PTR)subHandle, "&Backup");
    SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)m.m_hMenu, 0);
    EXPECT_STREQ(CFlatMenu::SubmenuText(subHandle), "&Backup");
    EXPECT_LE(CFlatMenu::SubmenuEntryCount(), before + 1);
    // m destroys both menus here
  }
  CMenu other;
  other.CreatePopupMenu();
  other.AppendMenu(MF_STRING, ID_PLAIN, "Plain");
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)other.m_hMenu, 0);
  EXPECT_EQ(CFlatMenu::SubmenuEntryCount(), before);
  w.DestroyWindow();
}

// A toolbar child of `parent` with buttons (command, image) over `images`.
HWND MakeToolbar(HWND parent, std::initializer_list<std::pair<int, int>> buttons, HIMAGELIST images) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  HWND tb = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, 0, 0, 200, 30, parent,
                            nullptr, nullptr, nullptr);
  SendMessageW(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(tb, TB_SETIMAGELIST, 0, (LPARAM)images);
  std::vector<TBBUTTON> all;
  for (auto [command, image] : buttons) {
    TBBUTTON b{};
    b.iBitmap = image;
    b.idCommand = command;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_BUTTON;
    all.push_back(b);
  }
  SendMessageW(tb, TB_ADDBUTTONSW, all.size(), (LPARAM)all.data());
  return tb;
}

HMENU MakeCommandPopup(std::initializer_list<UINT> commands) {
  CMenu m;
  m.CreatePopupMenu();
  for (UINT c : commands) {
    CString text;
    text.Format("Command %u", c);
    m.AppendMenu(MF_STRING, c, text);
  }
  return m.Detach();
}

bool SameImage(const CImgDesc& d, HIMAGELIST list, int index) { return d.imageList == list && d.index == index; }

TEST(FlatMenu, PopupItemsTakeTheImagesOfTheirToolbarButtons) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  HIMAGELIST first = MakeImages(), second = MakeImages();
  // A child of another class comes first; then two toolbars, searched in child order.
  CreateWindowExW(0, L"Static", L"not a toolbar", WS_CHILD, 0, 40, 50, 20, w.m_hWnd, nullptr, nullptr, nullptr);
  HWND a = MakeToolbar(w.m_hWnd, {{301, -1}, {302, 1}}, first);
  HWND b = MakeToolbar(w.m_hWnd, {{301, 0}, {302, 0}, {303, 1}}, second);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(FwToolbarChildren(w.m_hWnd), (std::vector<HWND>{a, b}));
  int image = 7;
  EXPECT_FALSE(FwToolbarButtonImage(a, 303, &image));  // no such button
  EXPECT_FALSE(FwToolbarButtonImage(a, 301, &image));  // a button without an image
  EXPECT_TRUE(FwToolbarButtonImage(a, 302, &image));
  EXPECT_EQ(image, 1);

  HMENU menu = MakeCommandPopup({301, 302, 303, 304});
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  EXPECT_TRUE(SameImage(CFlatMenu::CommandImage(301), second, 0));  // the first toolbar's has none
  EXPECT_TRUE(SameImage(CFlatMenu::CommandImage(302), first, 1));   // the first toolbar wins
  EXPECT_TRUE(SameImage(CFlatMenu::CommandImage(303), second, 1));
  EXPECT_FALSE(CFlatMenu::CommandImage(304).HasImage());  // on no toolbar
  DestroyMenu(menu);

  // A child window's popups take the images of its frame's toolbars.
  HWND child =
      CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, 0, 60, 50, 20, w.m_hWnd, nullptr, nullptr, nullptr);
  menu = MakeCommandPopup({305});
  DestroyWindow(a);
  MakeToolbar(w.m_hWnd, {{305, 1}}, first);
  CFlatMenu::PrepareMenu(child, menu, true, false);
  EXPECT_TRUE(SameImage(CFlatMenu::CommandImage(305), first, 1));
  DestroyMenu(menu);

  // The menu bar takes no images from the toolbars.
  CMenu bar;
  bar.CreateMenu();
  bar.AppendMenu(MF_STRING, 303 + 3, "&Bar");
  MakeToolbar(w.m_hWnd, {{306, 0}}, first);
  CFlatMenu::PrepareMenu(w.m_hWnd, bar.m_hMenu, true, true);
  EXPECT_FALSE(CFlatMenu::CommandImage(306).HasImage());
  w.DestroyWindow();
  ImageList_Destroy(first);
  ImageList_Destroy(second);
}

TEST(FlatMenu, ADialogsToolbarsLendNoImages) {
  HWND dlg = CreateWindowExW(0, WC_DIALOG, L"Dialog", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 80, 80, 300, 200,
                             nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(dlg);
  HIMAGELIST images = MakeImages();
  MakeToolbar(dlg, {{311, 1}}, images);
  HMENU menu = MakeCommandPopup({311});
  CFlatMenu::PrepareMenu(dlg, menu, true, false);
  EXPECT_TRUE(ItemType(menu, 0) & MFT_OWNERDRAW);
  EXPECT_FALSE(CFlatMenu::CommandImage(311).HasImage());
  DestroyMenu(menu);
  DestroyWindow(dlg);
  ImageList_Destroy(images);
}

HWND g_mdiClient = nullptr;
LRESULT CALLBACK MdiFrameProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefFrameProcW(h, g_mdiClient, msg, wParam, lParam);
}

TEST(FlatMenu, TheActiveMdiChildsSystemMenuIsLeftAlone) {
  WNDCLASSW frameClass{};
  frameClass.lpfnWndProc = MdiFrameProc;
  frameClass.hInstance = GetModuleHandleW(nullptr);
  frameClass.lpszClassName = L"OrvaTestMdiFrame";
  RegisterClassW(&frameClass);
  WNDCLASSW childClass{};
  childClass.lpfnWndProc = DefMDIChildProcW;
  childClass.hInstance = GetModuleHandleW(nullptr);
  childClass.lpszClassName = L"OrvaTestMdiChild";
  RegisterClassW(&childClass);
  HWND frame = CreateWindowExW(0, L"OrvaTestMdiFrame", L"MDI", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60, 500, 400,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(frame);
  CLIENTCREATESTRUCT ccs{};
  ccs.idFirstChild = 50000;
  g_mdiClient = CreateWindowExW(0, L"MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 40, 480, 300,
                                frame, nullptr, GetModuleHandleW(nullptr), &ccs);
  ASSERT_TRUE(g_mdiClient);
  HWND child = CreateMDIWindowW(L"OrvaTestMdiChild", L"Child", WS_VISIBLE, 0, 0, 200, 150, g_mdiClient,
                                GetModuleHandleW(nullptr), 0);
  ASSERT_TRUE(child);
  Pump(100);
  ASSERT_EQ((HWND)SendMessageW(g_mdiClient, WM_MDIGETACTIVE, 0, 0), child);
  HIMAGELIST images = MakeImages();
  MakeToolbar(frame, {{SC_CLOSE, 1}, {321, 0}}, images);

  // A pressed menu-bar item of the frame, as painting one leaves it.
  CMenu bar;
  bar.CreateMenu();
  bar.AppendMenu(MF_STRING, 322, "&Window");
  SetMenu(frame, bar.m_hMenu);
  DrawMenuBar(frame);
  CFlatMenu::PrepareMenu(frame, bar.m_hMenu, true, true);
  {
    MemCanvas canvas(80, 20);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_MENU;
    dis.itemID = 322;
    dis.itemState = ODS_SELECTED;
    dis.hwndItem = (HWND)bar.m_hMenu;
    dis.hDC = canvas.dc;
    dis.rcItem = RECT{0, 0, 60, 19};
    dis.itemData = ItemData(bar.m_hMenu, 0);
    EXPECT_TRUE(CFlatMenu::OnDrawItem(&dis, frame));
  }
  ASSERT_FALSE(CFlatMenu::PressedBarRect().IsRectEmpty());

  HMENU system = GetSystemMenu(child, FALSE);
  ASSERT_TRUE(system);
  CFlatMenu::PrepareMenu(frame, system, true, false);
  for (int i = 0; i < GetMenuItemCount(system); ++i) EXPECT_FALSE(ItemType(system, i) & MFT_OWNERDRAW) << i;
  EXPECT_TRUE(CFlatMenu::PressedBarRect().IsRectEmpty());
  EXPECT_FALSE(CFlatMenu::CommandImage(SC_CLOSE).HasImage());
  // Any other popup of the frame takes its toolbar's images, also through the MDI child.
  HMENU menu = MakeCommandPopup({321});
  CFlatMenu::PrepareMenu(child, menu, true, false);
  EXPECT_TRUE(ItemType(menu, 0) & MFT_OWNERDRAW);
  EXPECT_TRUE(SameImage(CFlatMenu::CommandImage(321), images, 0));
  DestroyMenu(menu);
  SetMenu(frame, nullptr);
  DestroyWindow(frame);
  g_mdiClient = nullptr;
  ImageList_Destroy(images);
}

TEST(FlatMenu, MenuBarItemsAreMeasuredByTheirLabels) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  CMenu bar, file;
  bar.CreateMenu();
  file.CreatePopupMenu();
  file.AppendMenu(MF_STRING, ID_PLAIN, "Exit");
  bar.AppendMenu(MF_POPUP, (UINT_PTR)file.Detach(), "&Server");
  SetMenu(w.m_hWnd, bar.m_hMenu);
  CFlatMenu::UpdateMenuBar(w.m_hWnd);
  EXPECT_TRUE(ItemType(bar.m_hMenu, 0) & MFT_OWNERDRAW);
  DWORD data = ItemData(bar.m_hMenu, 0);
  EXPECT_EQ(data & 0xFFFF, 0u);
  EXPECT_EQ((int)(data >> 16), GuiFontWidth("Server"));
  EXPECT_EQ(CFlatMenu::MeasureFromData(data).cx, GuiFontWidth("Server") + 4);
  SetMenu(w.m_hWnd, nullptr);
  w.DestroyWindow();
}

TEST(FlatMenu, MenuCharSelectsByMnemonic) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  HMENU menu = MakePopup();
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  ASSERT_TRUE(CFlatMenu::IsOwnerDrawMenu(menu));
  EXPECT_EQ(SendMessageW(w.m_hWnd, WM_MENUCHAR, MAKEWPARAM('a', MF_POPUP), (LPARAM)menu), 1 | 0x20000);
  EXPECT_EQ(SendMessageW(w.m_hWnd, WM_MENUCHAR, MAKEWPARAM('A', MF_POPUP), (LPARAM)menu), 1 | 0x20000);
  EXPECT_EQ(SendMessageW(w.m_hWnd, WM_MENUCHAR, MAKEWPARAM('o', 0), (LPARAM)menu), 0 | 0x20000);
  EXPECT_EQ(CFlatMenu::OnMenuChar(menu, 'a', MF_POPUP | MF_SYSMENU), 0);
  EXPECT_EQ(CFlatMenu::OnMenuChar(menu, 'q', MF_POPUP), 0);
  ModifyMenuW(menu, ID_SAVEAS, MF_BYCOMMAND | MF_STRING, ID_SAVEAS, L"Save &&As");
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  EXPECT_EQ(CFlatMenu::OnMenuChar(menu, 'a', MF_POPUP), 0);
  DestroyMenu(menu);
  w.DestroyWindow();
}

// --- painting of items ---------------------------------------------------------------------------

TEST(FlatMenu, ItemsPaintTheirStates) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  HMENU menu = MakePopup();
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)menu, 0);
  const COLORREF face20 = MenuColors::Face(20), face75 = MenuColors::Face(75);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  BYTE counter = CFlatMenu::DrawCounter();

  // Plain item, not selected: image column and background, dark label text from x = 30.
  Pixels plain = DrawItem(w.m_hWnd, menu, 6, 0);
  int h = plain.height;
  EXPECT_EQ(plain.at(1, 1), face20);
  EXPECT_EQ(plain.at(21, h - 1), face20);
  EXPECT_EQ(plain.at(22, 1), face75);
  EXPECT_EQ(plain.at(199, h - 1), face75);
  EXPECT_GT(CountDark(plain, RECT{30, 0, 80, h}), 5);
  EXPECT_EQ(CountDark(plain, RECT{0, 0, 29, h}), 0);
  EXPECT_EQ((BYTE)(CFlatMenu::DrawCounter() - counter), 1);

  // Selected: the highlight frame around the light highlight fill.
  Pixels selected = DrawItem(w.m_hWnd, menu, 6, ODS_SELECTED);
  EXPECT_EQ(selected.at(0, 0), highlight);
  EXPECT_EQ(selected.at(199, h - 1), highlight);
  EXPECT_EQ(selected.at(10, h / 2), MenuColors::Highlight(70, -57));
  EXPECT_GT(CountDark(selected, RECT{30, 0, 80, h}), 5);

  // Grayed and selected: the grey fill, the label in the grayed colour.
  Pixels grayed = DrawItem(w.m_hWnd, menu, 3, ODS_SELECTED | ODS_GRAYED);
  EXPECT_EQ(grayed.at(10, h / 2), MenuColors::Face(73));
  EXPECT_GT(CountColor(grayed, RECT{30, 0, 90, h}, MenuColors::Face(-18)), 5);
  Pixels grayedPlain = DrawItem(w.m_hWnd, menu, 3, 0);
  EXPECT_GT(CountColor(grayedPlain, RECT{30, 0, 90, h}, MenuColors::Face(-18)), 5);
  EXPECT_EQ(CountColor(grayedPlain, RECT{30, 0, 90, h}, GetSysColor(COLOR_MENUTEXT)), 0);

  // Checked: the check box in its fill, with the check mark inside.
  Pixels checked = DrawItem(w.m_hWnd, menu, 4, 0);
  EXPECT_EQ(checked.at(1, 1), highlight);
  EXPECT_EQ(checked.at(19, h - 2), highlight);
  EXPECT_EQ(checked.at(2, 2), MenuColors::Highlight(70, -57));
  EXPECT_GT(CountDark(checked, RECT{5, 3, 20, h - 1}), 3);
  Pixels checkedSel = DrawItem(w.m_hWnd, menu, 4, ODS_SELECTED);
  EXPECT_EQ(checkedSel.at(2, 2), MenuColors::Highlight(50, -50));

  // Radio: a round dot in the mark's middle.
  Pixels radio = DrawItem(w.m_hWnd, menu, 5, 0);
  POINT c{(5 + 20) / 2, h / 2};
  EXPECT_EQ(radio.at(c.x - 1, c.y), GetSysColor(COLOR_MENUTEXT));
  EXPECT_EQ(radio.at(c.x + 1, c.y + 2), MenuColors::Highlight(70, -57));

  // Separator: one line from x = 30 in the middle.
  Pixels sep = DrawItem(w.m_hWnd, menu, 2, 0);
  int mid = sep.height / 2;
  EXPECT_EQ(sep.at(30, mid), MenuColors::Face(-18));
  EXPECT_EQ(sep.at(198, mid), MenuColors::Face(-18));
  EXPECT_EQ(sep.at(29, mid), face75);
  EXPECT_EQ(sep.at(100, mid - 1), face75);

  // Image: at (3, 3) when not selected; raised to (2, 2) over its shadow at (4, 4) when selected.
  Pixels image = DrawItem(w.m_hWnd, menu, 0, 0);
  EXPECT_EQ(image.at(3, 3), RGB(255, 0, 0));
  EXPECT_EQ(image.at(18, 18), RGB(255, 0, 0));
  EXPECT_EQ(image.at(2, 2), face20);
  EXPECT_EQ(image.at(19, 19), face20);
  EXPECT_GT(CountDark(image, RECT{120, 0, 200, h}), 3);  // the shortcut, right-aligned
  Pixels imageSel = DrawItem(w.m_hWnd, menu, 0, ODS_SELECTED);
  EXPECT_EQ(imageSel.at(2, 2), RGB(255, 0, 0));
  EXPECT_EQ(imageSel.at(17, 17), RGB(255, 0, 0));
  EXPECT_EQ(imageSel.at(19, 19), MenuColors::Highlight(50, -66));
  Pixels imageGray = DrawItem(w.m_hWnd, menu, 0, ODS_GRAYED);
  EXPECT_EQ(imageGray.at(5, 5), RGB(255, 0, 0)) << "not grayed by the state, only by the item";
  EnableMenuItem(menu, ID_OPEN, MF_BYCOMMAND | MF_GRAYED);
  imageGray = DrawItem(w.m_hWnd, menu, 0, 0);
  EXPECT_EQ(imageGray.at(5, 5), MenuColors::Face(-27));
  EXPECT_EQ(CountColor(imageGray, RECT{0, 0, 22, h}, RGB(255, 0, 0)), 0);

  // Many paints leave no GDI objects behind.
  DWORD gdi = GdiCount();
  EXPECT_GT(gdi, 0u) << "no way to count GDI objects here";
  for (int i = 0; i < 30; ++i)
    for (int pos = 0; pos < GetMenuItemCount(menu); ++pos) DrawItem(w.m_hWnd, menu, pos, i % 2 ? ODS_SELECTED : 0);
  if (gdi) {
    EXPECT_EQ(GdiCount(), gdi);
  }

  // Non-menu items are not the service's.
  DRAWITEMSTRUCT other{};
  other.CtlType = ODT_BUTTON;
  EXPECT_FALSE(CFlatMenu::OnDrawItem(&other, w.m_hWnd));

  // Colours follow a system colour change.
  int index = COLOR_BTNFACE;
  COLORREF oldFace = GetSysColor(COLOR_BTNFACE), newFace = RGB(200, 180, 160);
  SetSysColors(1, &index, &newFace);
  CFlatMenu::OnSysColorChange();
  Pixels recoloured = DrawItem(w.m_hWnd, menu, 6, 0);
  SetSysColors(1, &index, &oldFace);
  EXPECT_EQ(recoloured.at(1, 1), ShadeColor(newFace, 20, 0));
  EXPECT_EQ(recoloured.at(100, 1), ShadeColor(newFace, 75, 0));
  EXPECT_NE(recoloured.at(1, 1), face20);

  SaveBmp(imageSel, "screenshots/flat_menu_item_selected.bmp");
  DestroyMenu(menu);
  w.DestroyWindow();
}

TEST(FlatMenu, BitmapImagesLeaveTheirKeyColourOut) {
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  // Green with a magenta key colour in its left half.
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP b = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(mem, b);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) SetPixel(mem, x, y, x < 8 ? RGB(255, 0, 255) : RGB(0, 160, 0));
  SelectObject(mem, old);
  DeleteDC(mem);
  ASSERT_TRUE(CFlatMenu::SetCommandBitmap(ID_PLAIN, b, RGB(255, 0, 255)));
  DeleteObject(b);  // the service keeps its own copy
  CMenu m;
  m.CreatePopupMenu();
  m.AppendMenu(MF_STRING, ID_PLAIN, "Plain");
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)m.m_hMenu, 0);
  Pixels p = DrawItem(w.m_hWnd, m.m_hMenu, 0, 0);
  EXPECT_EQ(p.at(15, 10), RGB(0, 160, 0));
  EXPECT_EQ(p.at(5, 10), MenuColors::Face(20));
  CFlatMenu::SetCommandImage(ID_PLAIN, nullptr, 0);  // no image again
  p = DrawItem(w.m_hWnd, m.m_hMenu, 0, 0);
  EXPECT_EQ(p.at(15, 10), MenuColors::Face(20));
  w.DestroyWindow();
}

// --- real popups ---------------------------------------------------------------------------------

TEST(FlatMenuPopup, MarkedWindowGetsAFlatShadowedPopupAndKeys) {
  CFlatMenu::InstallHook();
  MenuOwner w;
  ASSERT_TRUE(w.Open(true));
  HMENU menu = MakePopup();
  const bool shadow = CFlatMenu::WindowsLevel() < 8;
  bool checked = false;
  UINT r = Track(w, menu, [&](HWND popup) {
    checked = true;
    CFlatMenuWnd* rec = CFlatMenu::FindMenuWindow(popup);
    EXPECT_NE(rec, nullptr);
    EXPECT_NE(GetPropW(popup, L"FlatMenuProp_OldProc"), nullptr);
    for (int i = 0; i < GetMenuItemCount(menu); ++i) EXPECT_TRUE(ItemType(menu, i) & MFT_OWNERDRAW) << i;
    EXPECT_GT(w.m_drawn, 0);
    CRect wr, cr;
    GetWindowRect(popup, &wr);
    GetClientRect(popup, &cr);
    RedrawWindow(popup, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    {
      // The popup over its owner, as the screen shows it.
      CRect around(wr.left - 40, wr.top - 40, wr.right + 40, wr.bottom + 40);
      HBITMAP screen = CaptureScreenRect(&around);
      SaveBmp(CaptureBitmap(screen), "screenshots/flat_menu_popup_on_screen.bmp");
      DeleteObject(screen);
    }
    Pixels shot = CaptureWindow(popup, true);
    CreateDirectoryW(L"screenshots", nullptr);
    SaveBmp(shot, "screenshots/flat_menu_popup.bmp");
    const int W = shot.width, H = shot.height;
    const int inner = shadow ? 4 : 0;
    // The flat frame: dark outer line, two light lines inside it.
    EXPECT_EQ(shot.at(W / 2, 0), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(shot.at(0, H / 2), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(shot.at(W - 1 - inner, H / 2), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(shot.at(W / 2, H - 1 - inner), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(shot.at(1, H / 2), MenuColors::Face(75));
    EXPECT_EQ(shot.at(2, H / 2), MenuColors::Face(75));
    // The items: the red image and the image column of the first rows.
    EXPECT_GT(CountColor(shot, RECT{0, 0, 30, 40}, RGB(255, 0, 0)), 200);
    EXPECT_GT(CountColor(shot, RECT{0, 0, 30, H}, MenuColors::Face(20)), 50);
    EXPECT_TRUE(!shadow || (rec && rec->background));
    if (shadow && rec && rec->background) {
      // The soft shadow: the screen under the popup, darkened 4 pixels right and down.
      Pixels under = CaptureBitmap(rec->background);
      EXPECT_EQ(under.at(W - 1, H / 2), MenuOwner::kBackground);
      EXPECT_EQ(under.at(W / 2, H - 1), MenuOwner::kBackground);
      EXPECT_EQ(shot.at(W - 1, H / 2), ShadowPixel(under.at(W - 1, H / 2), 0));
      EXPECT_EQ(shot.at(W - 4, H / 2), ShadowPixel(under.at(W - 4, H / 2), 3));
      EXPECT_EQ(shot.at(W / 2, H - 1), ShadowPixel(under.at(W / 2, H - 1), 0));
      EXPECT_EQ(shot.at(1, H - 1), under.at(1, H - 1));  // left of the rounded end
      EXPECT_EQ(shot.at(W - 1, 1), under.at(W - 1, 1));  // above the rounded end
    }
    // Printed (as for the menu animation): the frame, and the shadow over the saved background.
    {
      MemCanvas print(W, H, RGB(0, 0, 0));
      SendMessageW(popup, WM_PRINT, (WPARAM)print.dc, PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
      Pixels printed = print.Read();
      EXPECT_EQ(printed.at(0, H / 2), GetSysColor(COLOR_3DDKSHADOW));
      EXPECT_EQ(printed.at(2, H / 2), MenuColors::Face(75));
      if (shadow) {
        EXPECT_EQ(printed.at(W - 1, H / 2), ShadowPixel(MenuOwner::kBackground, 0));
        EXPECT_EQ(printed.at(W - 1, 1), MenuOwner::kBackground);  // a corner copied from the background
        EXPECT_EQ(printed.at(1, H - 1), MenuOwner::kBackground);
      }
    }
    // Keys: "a" of "Save &As" through the window's menu-char answer.
    EXPECT_EQ(SendMessageW(w.m_hWnd, WM_MENUCHAR, MAKEWPARAM('a', MF_POPUP), (LPARAM)menu), 1 | 0x20000);
    PostMessageW(popup, WM_CHAR, 'a', 0);
  });
  EXPECT_TRUE(checked);
  EXPECT_EQ(r, (UINT)ID_SAVEAS);
  Pump(100);
  EXPECT_EQ(CFlatMenu::MenuWindowCount(), 0u);  // the record went with the popup

  // The same popup again: the records and their bitmaps come and go without piling up.
  DWORD gdi = GdiCount();
  for (int round = 0; round < 3; ++round) {
    UINT again = Track(w, menu, [&](HWND popup) {
      EXPECT_NE(CFlatMenu::FindMenuWindow(popup), nullptr);
      EXPECT_EQ(CFlatMenu::MenuWindowCount(), 1u);
      PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(CFlatMenu::MenuWindowCount(), 0u);
  }
  if (gdi) {
    EXPECT_EQ(GdiCount(), gdi);
  }

  // Removing the hook while a popup is open gives the popup its own procedure back.
  Track(w, menu, [&](HWND popup) {
    WNDPROC ours = (WNDPROC)GetWindowLongPtrW(popup, GWLP_WNDPROC);
    CFlatMenu::RemoveHook();
    EXPECT_FALSE(CFlatMenu::IsHooked());
    EXPECT_EQ(CFlatMenu::MenuWindowCount(), 0u);
    EXPECT_EQ(GetPropW(popup, L"FlatMenuProp_OldProc"), nullptr);
    EXPECT_NE((WNDPROC)GetWindowLongPtrW(popup, GWLP_WNDPROC), ours);
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  });
  EXPECT_FALSE(CFlatMenu::IsHooked());
  DestroyMenu(menu);

  // A marked window that ends leaves no mark behind while the hook is there.
  CFlatMenu::InstallHook();
  MenuOwner::s_markedAtEnd = -1;
  w.DestroyWindow();
  EXPECT_EQ(MenuOwner::s_markedAtEnd, 0);
  CFlatMenu::RemoveHook();
}

TEST(FlatMenuPopup, MenuBarPopupJoinsThePressedItem) {
  CFlatMenu::InstallHook();
  MenuOwner w;
  ASSERT_TRUE(w.Open(true, 300, 300));
  CMenu bar, server;
  bar.CreateMenu();
  server.CreatePopupMenu();
  server.AppendMenu(MF_STRING, ID_OPEN, "&Open\tCtrl+O");
  server.AppendMenu(MF_STRING, ID_PLAIN, "Exit");
  bar.AppendMenu(MF_POPUP, (UINT_PTR)server.Detach(), "&Server");
  bar.AppendMenu(MF_STRING, ID_SAVEAS, "&Help");
  SetMenu(w.m_hWnd, bar.m_hMenu);
  CFlatMenu::UpdateMenuBar(w.m_hWnd);
  Pump(100);
  bool checked = false;
  g_during = [&](HWND popup) {
    checked = true;
    CRect pressed = CFlatMenu::PressedBarRect();
    RECT item{};
    GetMenuItemRect(w.m_hWnd, bar.m_hMenu, 0, &item);
    EXPECT_FALSE(pressed.IsRectEmpty());
    EXPECT_EQ(pressed.top, item.top);
    EXPECT_EQ(pressed.bottom, item.bottom);
    CRect wr;
    GetWindowRect(popup, &wr);
    EXPECT_EQ(wr.top, item.bottom - 1);  // moved up by one onto the bar
    Pixels shot = CaptureWindow(popup, true);
    int x = pressed.left - wr.left - 3 + 2;
    EXPECT_EQ(pressed.bottom, wr.top + 1);
    ASSERT_TRUE(shot.inside(x, 0));
    EXPECT_EQ(shot.at(x, 0), MenuColors::Face(20));                         // the join under the pressed item
    EXPECT_EQ(shot.at(wr.Width() - 10, 0), GetSysColor(COLOR_3DDKSHADOW));  // the frame beyond it
    CRect around(item.left - 20, item.top - 20, wr.right + 20, wr.bottom + 20);
    HBITMAP screen = CaptureScreenRect(&around);
    SaveBmp(CaptureBitmap(screen), "screenshots/flat_menu_bar_popup.bmp");
    DeleteObject(screen);
    EndMenu();
  };
  g_ticks = 0;
  SetTimer(nullptr, 0, 100, DuringMenu);
  PostMessageW(w.m_hWnd, WM_SYSCOMMAND, SC_KEYMENU, 's');
  for (int i = 0; i < 40 && g_during; ++i) Pump(100);
  Pump(200);
  EXPECT_TRUE(checked);
  EXPECT_EQ(CFlatMenu::MenuWindowCount(), 0u);
  SetMenu(w.m_hWnd, nullptr);
  CFlatMenu::RemoveHook();
  w.DestroyWindow();
}

TEST(FlatMenuPopup, UnmarkedWindowKeepsTheSystemMenus) {
  CFlatMenu::InstallHook();
  MenuOwner w;
  ASSERT_TRUE(w.Open(false));
  HMENU menu = MakePopup();
  bool checked = false;
  UINT r = Track(w, menu, [&](HWND popup) {
    checked = true;
    EXPECT_EQ(CFlatMenu::FindMenuWindow(popup), nullptr);
    EXPECT_EQ(GetPropW(popup, L"FlatMenuProp_OldProc"), nullptr);
    for (int i = 0; i < GetMenuItemCount(menu); ++i) EXPECT_FALSE(ItemType(menu, i) & MFT_OWNERDRAW) << i;
    Pixels shot = CaptureWindow(popup, true);
    SaveBmp(shot, "screenshots/system_menu_popup.bmp");
    PostMessageW(popup, WM_CHAR, 'a', 0);
  });
  EXPECT_TRUE(checked);
  EXPECT_EQ(r, (UINT)ID_SAVEAS);
  EXPECT_EQ(w.m_drawn, 0);
  // The window's system menu stays the system's too.
  HMENU sys = GetSystemMenu(w.m_hWnd, FALSE);
  SendMessageW(w.m_hWnd, WM_INITMENUPOPUP, (WPARAM)sys, MAKELPARAM(0, TRUE));
  for (int i = 0; i < GetMenuItemCount(sys); ++i) EXPECT_FALSE(ItemType(sys, i) & MFT_OWNERDRAW) << i;
  EXPECT_EQ(CFlatMenu::MenuWindowCount(), 0u);
  CFlatMenu::RemoveHook();
  DestroyMenu(menu);
  w.DestroyWindow();
}

// --- set-up -------------------------------------------------------------------------------------

int main(int argc, char** argv) {
  if (int code = RunInTestSetting(); code >= 0) return code;
  ::testing::InitGoogleTest(&argc, argv);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  CreateDirectoryW(L"screenshots", nullptr);
  return RUN_ALL_TESTS();
}
