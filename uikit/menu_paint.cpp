#include "menu_paint.h"
#include <algorithm>
#include "flat_menu.h"

namespace orva::ui {

// --- buffered DC ----------------------------------------------------------------

CBufferDC::CBufferDC(CDC* target, LPCRECT rect) : m_target(target) {
  if (rect) m_rect = *rect;
  if (m_rect.IsRectEmpty()) target->GetClipBox(&m_rect);
  if (!CreateCompatibleDC(target)) return;
  m_bitmap = ::CreateCompatibleBitmap(target->m_hDC, std::max<LONG>(m_rect.right, 1), std::max<LONG>(m_rect.bottom, 1));
  if (m_bitmap) m_oldBitmap = ::SelectObject(m_hDC, m_bitmap);
  // Drawing uses the target's coordinates; nothing lands outside the rectangle.
  if (m_rect.top > 0) ExcludeClipRect(0, 0, m_rect.right, m_rect.top);
  if (m_rect.left > 0) ExcludeClipRect(0, m_rect.top, m_rect.left, m_rect.bottom);
}

CBufferDC::~CBufferDC() {
  if (!m_hDC) return;
  if (m_bitmap) {
    ::BitBlt(m_target->m_hDC, m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), m_hDC, m_rect.left, m_rect.top,
             SRCCOPY);
    ::SelectObject(m_hDC, m_oldBitmap);
    ::DeleteObject(m_bitmap);
  }
  DeleteDC();
}

// --- scoped selectors -------------------------------------------------------------

CStockSelect::CStockSelect(CDC* dc, int stockIndex, COLORREF textColor) : m_dc(dc) {
  m_oldObject = ::SelectObject(dc->m_hDC, ::GetStockObject(stockIndex));
  if (textColor != NoColor) m_oldColor = ::SetTextColor(dc->m_hDC, textColor);
}

CStockSelect::~CStockSelect() {
  if (m_oldObject) ::SelectObject(m_dc->m_hDC, m_oldObject);
  if (m_oldColor != NoColor) ::SetTextColor(m_dc->m_hDC, m_oldColor);
}

void CStockSelect::SelectStock(int stockIndex) {
  HGDIOBJ old = ::SelectObject(m_dc->m_hDC, ::GetStockObject(stockIndex));
  if (!m_oldObject) m_oldObject = old;
}

void CStockSelect::SetTextColor(COLORREF color) {
  COLORREF old = ::SetTextColor(m_dc->m_hDC, color);
  if (m_oldColor == NoColor) m_oldColor = old;
}

CPenSelect::CPenSelect(CDC* dc, COLORREF color) : m_dc(dc) {
  m_pen = ::CreatePen(PS_SOLID, 1, color);
  m_old = ::SelectObject(dc->m_hDC, m_pen);
}

CPenSelect::~CPenSelect() {
  ::SelectObject(m_dc->m_hDC, m_old);
  if (m_pen) ::DeleteObject(m_pen);
}

void CPenSelect::SetColor(COLORREF color) {
  HPEN pen = ::CreatePen(PS_SOLID, 1, color);
  ::SelectObject(m_dc->m_hDC, pen);
  if (m_pen) ::DeleteObject(m_pen);
  m_pen = pen;
}

CBrushSelect::CBrushSelect(CDC* dc, COLORREF color) : m_dc(dc) {
  if (color == (COLORREF)-1) {
    m_old = ::SelectObject(dc->m_hDC, ::GetStockObject(NULL_BRUSH));
  } else {
    m_brush = ::CreateSolidBrush(color);
    m_old = ::SelectObject(dc->m_hDC, m_brush);
  }
}

CBrushSelect::~CBrushSelect() {
  ::SelectObject(m_dc->m_hDC, m_old);
  if (m_brush) ::DeleteObject(m_brush);
}

CBoldSelect::CBoldSelect(CDC* dc, bool bold) : m_dc(dc) {
  LOGFONTW lf{};
  HGDIOBJ current = ::GetCurrentObject(dc->m_hDC, OBJ_FONT);
  if (!current || !::GetObjectW(current, sizeof(lf), &lf)) return;
  bool isBold = lf.lfWeight == FW_BOLD;
  if (bold == isBold) return;
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  m_font = ::CreateFontIndirectW(&lf);
  if (m_font) m_old = ::SelectObject(dc->m_hDC, m_font);
}

CBoldSelect::~CBoldSelect() {
  if (!m_font) return;
  ::SelectObject(m_dc->m_hDC, m_old);
  ::DeleteObject(m_font);
}

// --- colours --------------------------------------------------------------------

DWORD ColorToHls(COLORREF color) {
  int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  int mx = std::max({r, g, b}), mn = std::min({r, g, b});
  int sum = mx + mn, diff = mx - mn;
  int L = sum / 2;  // (max + min) / 510 * 255
  int H = 0, S = 0;
  if (diff != 0) {
    S = sum <= 255 ? diff * 255 / sum : diff * 255 / (510 - sum);
    double rc = double(mx - r) / diff, gc = double(mx - g) / diff, bc = double(mx - b) / diff;
    double h;
    if (b == mx)
      h = 4 + gc - rc;
    else if (g == mx)
      h = 2 + rc - bc;
    else
      h = bc - gc;
    h *= 60;
    if (h < 0) h += 360;
    if (h > 360) h -= 360;
    H = (int)(h * 255 / 360);
  }
  return (DWORD)(H & 0xFF) | (DWORD)(L & 0xFF) << 8 | (DWORD)(S & 0xFF) << 16;
}

static double HueValue(double n1, double n2, double hue) {
  while (hue > 360) hue -= 360;
  while (hue < 0) hue += 360;
  if (hue < 60) return n1 + (n2 - n1) * hue / 60;
  if (hue < 180) return n2;
  if (hue < 240) return n1 + (n2 - n1) * (240 - hue) / 60;
  return n1;
}

COLORREF HlsToColor(DWORD hls) {
  int H = hls & 0xFF, L = (hls >> 8) & 0xFF, S = (hls >> 16) & 0xFF;
  if (S == 0) return RGB(L, L, L);
  double l = L / 255.0, s = S / 255.0, hue = H * 360.0 / 255.0;
  double m2 = l <= 0.5 ? l + l * s : l + s - l * s;
  double m1 = 2 * l - m2;
  auto channel = [&](double h) { return std::clamp((int)(HueValue(m1, m2, h) * 255), 0, 255); };
  return RGB(channel(hue + 120), channel(hue), channel(hue - 120));
}

static int ShadeByte(int v, int percent) {
  if (percent > 0) return v + (255 - v) * percent / 100;
  if (percent < 0) return v * (percent + 100) / 100;
  return v;
}

COLORREF ShadeColor(COLORREF color, int lightnessPercent, int saturationPercent) {
  DWORD hls = ColorToHls(color);
  int H = hls & 0xFF, L = (hls >> 8) & 0xFF, S = (hls >> 16) & 0xFF;
  L = ShadeByte(L, lightnessPercent);
  S = ShadeByte(S, saturationPercent);
  return HlsToColor((DWORD)H | (DWORD)L << 8 | (DWORD)S << 16);
}

COLORREF ShadowPixel(COLORREF color, int step) {
  int pct = 93 - 5 * step;
  return RGB(GetRValue(color) * pct / 100, GetGValue(color) * pct / 100, GetBValue(color) * pct / 100);
}

namespace MenuColors {
COLORREF Face(int lightness) { return ShadeColor(GetSysColor(COLOR_BTNFACE), lightness, 0); }
COLORREF Highlight(int lightness, int saturation) {
  return ShadeColor(GetSysColor(COLOR_HIGHLIGHT), lightness, saturation);
}
}  // namespace MenuColors

// Darkening step of the right band (column i from the edge inwards, row j);
// the bottom band uses it with the two exchanged.
static int ShadowStep(int i, int j) {
  if (j == 0) return 0;
  if (j == 1) return i > 1 ? 1 : 0;
  if (j == 2) return std::min(i, 2);
  return i;
}

// --- menu item view -----------------------------------------------------------------

CMenuItemView::CMenuItemView(HMENU menu, UINT item, bool byPosition) {
  m_info.cbSize = sizeof(m_info);
  m_info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_DATA;
  m_valid = menu && ::GetMenuItemInfoW(menu, item, byPosition, &m_info);
  if (!m_valid || IsSeparator()) return;
  if (m_info.hSubMenu) {
    m_text = CFlatMenu::SubmenuText(m_info.hSubMenu);
    m_image = CFlatMenu::SubmenuImage(m_info.hSubMenu);
  } else {
    m_text = CFlatMenu::CommandText(m_info.wID);
    m_image = CFlatMenu::CommandImage(m_info.wID);
  }
}

CString CMenuItemView::Label() const {
  int tab = m_text.Find('\t');
  return tab < 0 ? m_text : m_text.Left(tab);
}

CString CMenuItemView::Shortcut() const {
  int tab = m_text.Find('\t');
  return tab < 0 ? CString() : m_text.Mid(tab + 1);
}

CFlatMenuWnd::~CFlatMenuWnd() { SetBackground(nullptr); }

void CFlatMenuWnd::SetBackground(HBITMAP b) {
  if (background && background != b) ::DeleteObject(background);
  background = b;
}

// --- item painter -----------------------------------------------------------------------

static void DrawLabel(CDC* dc, const CString& text, RECT r, UINT format) {
  std::wstring w = ToWideText(text);
  ::DrawTextW(dc->m_hDC, w.c_str(), (int)w.size(), &r, format);
}

bool DrawMenuItem(const CMenuItemView& item, CDC* dc, LPCRECT rectIn, bool selected, bool menuBar, bool hot,
                  bool inactive, bool noAccel, CRect* pressed) {
  CRect rect(*rectIn);
  const bool grayed = item.IsGrayed();
  const bool highlighted = selected || (hot && !inactive);
  bool pressedBar = false;

  // 1. Background.
  if (!menuBar) {
    if (highlighted) {
      CPenSelect pen(dc, GetSysColor(COLOR_HIGHLIGHT));
      CBrushSelect brush(dc, grayed ? MenuColors::Face(73) : MenuColors::Highlight(70, -57));
      dc->Rectangle(&rect);
    } else {
      dc->FillSolidRect(CRect(rect.left, rect.top, rect.left + 22, rect.bottom), MenuColors::Face(20));
      dc->FillSolidRect(CRect(rect.left + 22, rect.top, rect.right, rect.bottom), MenuColors::Face(75));
    }
  } else {
    CRect bar(rect.left, rect.top, rect.right - 4, rect.bottom);
    CRect strip(rect.right - 4, rect.top, rect.right, rect.bottom);
    if (selected) {
      CPenSelect pen(dc, GetSysColor(COLOR_3DDKSHADOW));
      CBrushSelect brush(dc, MenuColors::Face(20));
      dc->Rectangle(&bar);
      dc->FillSolidRect(&strip, GetSysColor(COLOR_BTNFACE));
      int h = strip.Height();
      for (int i = 0; i < 4; ++i) {
        int x = rect.right - i - 1;
        for (int j = i > 1 ? 0 : 2 - i; j < h - (i == 0 ? 1 : 0) - i - 1; ++j) {
          int y = rect.top + j + 4;
          dc->SetPixel(x, y, ShadowPixel(dc->GetPixel(x, y), ShadowStep(i, j)));
        }
      }
      if (pressed) *pressed = bar;
      pressedBar = true;
    } else if (highlighted) {
      CPenSelect pen(dc, GetSysColor(COLOR_HIGHLIGHT));
      CBrushSelect brush(dc, grayed ? MenuColors::Face(73) : MenuColors::Highlight(70, -57));
      dc->Rectangle(&bar);
      dc->FillSolidRect(&strip, GetSysColor(COLOR_BTNFACE));
    } else {
      dc->FillSolidRect(&rect, GetSysColor(COLOR_BTNFACE));
    }
  }

  // 2. Separator.
  if (item.IsSeparator()) {
    int middle = (rect.top + rect.bottom) / 2;
    CPenSelect pen(dc, MenuColors::Face(-18));
    dc->MoveTo(rect.left + 30, middle);
    dc->LineTo(rect.right - 1, middle);
    return pressedBar;
  }

  // 3. Text, check box and image.
  CString label = item.Label();
  if (label.IsEmpty()) return pressedBar;
  COLORREF textColor = inactive ? GetSysColor(COLOR_BTNSHADOW)
                       : grayed ? MenuColors::Face(-18)
                                : GetSysColor(COLOR_MENUTEXT);
  COLORREF oldText = dc->SetTextColor(textColor);
  int oldMode = dc->SetBkMode(TRANSPARENT);
  UINT prefix = 0;
  if (noAccel) {
    BOOL cues = TRUE;
    if (SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0) && !cues) prefix = DT_HIDEPREFIX;
  }
  if (!menuBar) {
    {
      CBoldSelect bold(dc, item.IsDefault());
      DrawLabel(dc, label, CRect(rect.left + 30, rect.top, rect.right, rect.bottom),
                DT_SINGLELINE | DT_VCENTER | prefix);
      CString shortcut = item.Shortcut();
      if (!shortcut.IsEmpty())
        DrawLabel(dc, shortcut, CRect(rect.left, rect.top, rect.right - 12, rect.bottom),
                  DT_SINGLELINE | DT_VCENTER | DT_RIGHT | prefix);
    }
    COLORREF checkFill = grayed     ? MenuColors::Face(73)
                         : selected ? MenuColors::Highlight(50, -50)
                                    : MenuColors::Highlight(70, -57);
    if (item.IsChecked()) {
      CPenSelect pen(dc, GetSysColor(COLOR_HIGHLIGHT));
      CBrushSelect brush(dc, checkFill);
      dc->Rectangle(rect.left + 1, rect.top + 1, rect.left + 20, rect.bottom - 1);
    }
    const CImgDesc& image = item.Image();
    if (image.HasImage()) {
      int d = (grayed || !selected) ? 0 : 1;
      if (grayed || (selected && !item.IsChecked())) {
        HICON icon = ImageList_GetIcon(image.imageList, image.index, ILD_NORMAL);
        if (icon) {
          HBRUSH shape = ::CreateSolidBrush(d ? MenuColors::Highlight(50, -66) : MenuColors::Face(-27));
          ::DrawStateW(dc->m_hDC, shape, nullptr, (LPARAM)icon, 0, rect.left + 3 + d, rect.top + 3 + d, 16, 16,
                       DST_ICON | DSS_MONO);
          ::DeleteObject(shape);
          ::DestroyIcon(icon);
        }
      }
      if (!grayed) {
        int k = (!selected || item.IsChecked()) ? 3 : 2;
        ImageList_Draw(image.imageList, image.index, dc->m_hDC, rect.left + k, rect.top + k, ILD_TRANSPARENT);
      }
    } else if (item.IsChecked()) {
      CRect mark(rect.left + 5, rect.top, rect.left + 20, rect.bottom);
      if (item.IsRadio()) {
        COLORREF dot = grayed ? MenuColors::Face(-27) : GetSysColor(COLOR_MENUTEXT);
        CPoint c = mark.CenterPoint();
        {
          CPenSelect pen(dc, dot);
          CBrushSelect brush(dc, dot);
          dc->Ellipse(CRect(c.x - 4, c.y - 3, c.x + 3, c.y + 4));
        }
        dc->SetPixel(c.x + 1, c.y + 2, checkFill);
      } else {
        HBITMAP check = (HBITMAP)::LoadImageW(nullptr, MAKEINTRESOURCEW(32760 /* OBM_CHECK */), IMAGE_BITMAP, 0, 0, 0);
        if (check) {
          BITMAP bm{};
          ::GetObjectW(check, sizeof(bm), &bm);
          int w = std::min<int>(bm.bmWidth, mark.Width());
          int h = std::min<int>(bm.bmHeight, mark.Height() - 3);
          COLORREF oldBk = dc->SetBkColor(checkFill);
          ::DrawStateW(dc->m_hDC, nullptr, nullptr, (LPARAM)check, 0, mark.left, rect.top + 3, w, h, DST_BITMAP);
          dc->SetBkColor(oldBk);
          ::DeleteObject(check);
        }
      }
    }
  } else {
    DrawLabel(dc, label, CRect(rect.left, rect.top, rect.right - 4, rect.bottom),
              DT_SINGLELINE | DT_VCENTER | DT_CENTER | prefix);
  }
  dc->SetBkMode(oldMode);
  dc->SetTextColor(oldText);
  return pressedBar;
}

// --- shadow, capture and frame -------------------------------------------------------------

HBITMAP CaptureScreenRect(LPCRECT r) {
  int w = r->right - r->left, h = r->bottom - r->top;
  if (w <= 0 || h <= 0) return nullptr;
  HDC screen = ::GetDC(nullptr);
  if (!screen) return nullptr;
  HDC mem = ::CreateCompatibleDC(screen);
  HBITMAP b = mem ? ::CreateCompatibleBitmap(screen, w, h) : nullptr;
  if (b) {
    HGDIOBJ old = ::SelectObject(mem, b);
    ::BitBlt(mem, 0, 0, w, h, screen, r->left, r->top, SRCCOPY);
    ::SelectObject(mem, old);
  }
  if (mem) ::DeleteDC(mem);
  ::ReleaseDC(nullptr, screen);
  return b;
}

void DrawMenuShadow(CDC* source, CDC* target, LPCRECT windowRect) {
  const int R = windowRect->right, H = windowRect->bottom;
  // Bottom band, rounded at both ends.
  for (int i = 0; i < R - 1; ++i) {
    int first = i <= 1 ? 2 - i : (i > R - 7 ? i - R + 7 : 0);
    int last = i > R - 8 ? R - i - 4 : 4;
    for (int j = first; j < last; ++j) {
      int x = i + 4, y = H - j - 1;
      target->SetPixel(x, y, ShadowPixel(source->GetPixel(x, y), ShadowStep(j, i)));
    }
  }
  // Right band.
  for (int i = 0; i < 4; ++i) {
    for (int j = i > 1 ? 0 : 2 - i; j < H - (i == 0 ? 1 : 0) - i - 5; ++j) {
      int x = R - i - 1, y = j + 4;
      target->SetPixel(x, y, ShadowPixel(source->GetPixel(x, y), ShadowStep(i, j)));
    }
  }
}

static void PaintFrameLines(CDC* dc, CRect& rect, bool shadow, bool join, POINT popup) {
  CBrushSelect brush(dc, (COLORREF)-1);
  CPenSelect pen(dc, GetSysColor(COLOR_3DDKSHADOW));
  if (shadow) {
    rect.right -= 4;
    rect.bottom -= 4;
  }
  dc->Rectangle(&rect);
  pen.SetColor(MenuColors::Face(75));
  rect.DeflateRect(1, 1);
  dc->Rectangle(&rect);
  rect.DeflateRect(1, 1);
  dc->Rectangle(&rect);
  CRect bar = CFlatMenu::PressedBarRect();
  if (join && !bar.IsRectEmpty() && bar.bottom == popup.y + 1) {
    pen.SetColor(MenuColors::Face(20));
    dc->MoveTo(bar.left - popup.x - 3, 0);
    dc->LineTo(bar.left - popup.x + bar.Width() - 5, 0);
  }
  if (shadow) {
    rect.right += 6;
    rect.bottom += 6;
  }
}

void DrawMenuFrame(CFlatMenuWnd* wnd, CDC* printDC, bool join) {
  if (!wnd || !::IsWindow(wnd->hWnd)) return;
  const bool shadow = CFlatMenu::WindowsLevel() < 8;
  CRect rect;
  ::GetWindowRect(wnd->hWnd, &rect);
  if (!printDC) {
    wnd->screenPos = rect.TopLeft();
    rect.OffsetRect(-rect.left, -rect.top);
    if (rect == wnd->lastPainted) return;
    wnd->lastPainted = rect;
    CWindowDC dc(CWnd::FromHandle(wnd->hWnd));
    CRect r = rect;
    PaintFrameLines(&dc, r, shadow, join, wnd->screenPos);
    if (!shadow) return;
    if (wnd->background) {
      // The screen under the shadow bands, darkened.
      CDC bg;
      bg.CreateCompatibleDC(&dc);
      HGDIOBJ old = bg.SelectObject(wnd->background);
      const int R = rect.right, H = rect.bottom;
      dc.BitBlt(R - 4, 0, 4, H, &bg, R - 4, 0, SRCCOPY);
      dc.BitBlt(0, H - 4, R, 4, &bg, 0, H - 4, SRCCOPY);
      DrawMenuShadow(&bg, &dc, &rect);
      bg.SelectObject(old);
    } else {
      DrawMenuShadow(&dc, &dc, &rect);
    }
    return;
  }
  POINT popup = wnd->screenPos;
  rect.OffsetRect(-rect.left, -rect.top);
  wnd->lastPainted = rect;
  CRect r = rect;
  PaintFrameLines(printDC, r, shadow, join, popup);
  if (!shadow || !wnd->background) return;
  CDC bg;
  bg.CreateCompatibleDC(printDC);
  HGDIOBJ old = bg.SelectObject(wnd->background);
  const int R = rect.right, H = rect.bottom;
  printDC->BitBlt(0, H - 4, 8, 4, &bg, 0, H - 4, SRCCOPY);
  printDC->BitBlt(R - 4, H - 4, 4, 4, &bg, R - 4, H - 4, SRCCOPY);
  printDC->BitBlt(R - 4, 0, 4, 8, &bg, R - 4, 0, SRCCOPY);
  DrawMenuShadow(&bg, printDC, &rect);
  bg.SelectObject(old);
}

void DrawMenuFrameLines(CFlatMenuWnd* wnd) {
  if (!wnd || !::IsWindow(wnd->hWnd)) return;
  CRect rect;
  ::GetWindowRect(wnd->hWnd, &rect);
  rect.OffsetRect(-rect.left, -rect.top);
  CWindowDC dc(CWnd::FromHandle(wnd->hWnd));
  PaintFrameLines(&dc, rect, CFlatMenu::WindowsLevel() < 8, true, wnd->screenPos);
}

}  // namespace orva::ui
