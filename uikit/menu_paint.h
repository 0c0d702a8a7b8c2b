// The painting side of the owner-drawn menus: a buffered DC for one item,
// scoped GDI selectors, colour shades in HLS space, the item and frame
// painters, the capture of the screen under a popup and its drop shadow.
#pragma once
#include "framework.h"
#include <commctrl.h>

namespace orva::ui {
using namespace orva::fw;

// Paints one rectangle of the target off-screen; the destructor copies it back.
class CBufferDC : public CDC {
 public:
  CBufferDC(CDC* target, LPCRECT rect);
  ~CBufferDC() override;
  const CRect& Rect() const { return m_rect; }

 private:
  CDC* m_target;
  CRect m_rect;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
};

// Selects a stock object (and a text colour unless 0xFF000000) until destroyed.
class CStockSelect {
 public:
  static const COLORREF NoColor = 0xFF000000;
  CStockSelect(CDC* dc, int stockIndex, COLORREF textColor = NoColor);
  ~CStockSelect();
  void SelectStock(int stockIndex);
  void SetTextColor(COLORREF color);

 private:
  CDC* m_dc;
  HGDIOBJ m_oldObject = nullptr;
  COLORREF m_oldColor = NoColor;
};

// A solid pen of width 1.
class CPenSelect {
 public:
  CPenSelect(CDC* dc, COLORREF color);
  ~CPenSelect();
  void SetColor(COLORREF color);

 private:
  CDC* m_dc;
  HPEN m_pen = nullptr;
  HGDIOBJ m_old = nullptr;
};

// A solid brush; colour (COLORREF)-1 selects the stock NULL_BRUSH.
class CBrushSelect {
 public:
  CBrushSelect(CDC* dc, COLORREF color);
  ~CBrushSelect();

 private:
  CDC* m_dc;
  HBRUSH m_brush = nullptr;
  HGDIOBJ m_old = nullptr;
};

// The DC's font in bold or normal weight; changes nothing when it already is.
class CBoldSelect {
 public:
  CBoldSelect(CDC* dc, bool bold);
  ~CBoldSelect();
  bool Changed() const { return m_font != nullptr; }

 private:
  CDC* m_dc;
  HFONT m_font = nullptr;
  HGDIOBJ m_old = nullptr;
};

// Packed HLS: hue (0-255 for 0-360 degrees) in the low byte, lightness in the
// second, saturation in the third.
DWORD ColorToHls(COLORREF color);
COLORREF HlsToColor(DWORD hls);
// Lightness and saturation moved by percentages (-100 to 100) towards white
// and full saturation (positive) or black and grey (negative).
COLORREF ShadeColor(COLORREF color, int lightnessPercent, int saturationPercent);
// The shadow darkening of one step (0 to 3): 93, 88, 83 and 78 percent.
COLORREF ShadowPixel(COLORREF color, int step);

// An image of a menu item: image list and index.
struct CImgDesc {
  HIMAGELIST imageList = nullptr;
  int index = 0;
  CImgDesc() = default;
  CImgDesc(HIMAGELIST list, int i) : imageList(list), index(i) {}
  bool HasImage() const { return imageList && index != -1; }
};

// One item of a menu read for painting and measuring; the text and image come
// from the menu service's maps.
class CMenuItemView {
 public:
  CMenuItemView(HMENU menu, UINT item, bool byPosition);
  bool IsValid() const { return m_valid; }
  bool IsDefault() const { return (m_info.fState & MFS_DEFAULT) != 0; }
  // MF_GRAYED alone reads back as 1, MFS_GRAYED as 3: both are gray.
  bool IsGrayed() const { return (m_info.fState & MF_GRAYED) != 0; }
  bool IsRadio() const { return (m_info.fType & MFT_RADIOCHECK) != 0; }
  bool IsChecked() const { return (m_info.fState & MFS_CHECKED) != 0; }
  bool IsSeparator() const { return (m_info.fType & MFT_SEPARATOR) != 0; }
  const CString& Text() const { return m_text; }
  CString Label() const;
  CString Shortcut() const;
  const CImgDesc& Image() const { return m_image; }
  const MENUITEMINFOW& Info() const { return m_info; }

 private:
  MENUITEMINFOW m_info{};
  CString m_text;
  CImgDesc m_image;
  bool m_valid = false;
};

// A live popup-menu window of a marked window.
struct CFlatMenuWnd {
  HWND hWnd = nullptr;
  CRect lastPainted;
  POINT screenPos{-65535, -65535};
  HBITMAP background = nullptr;  // the screen under the window and its shadow
  explicit CFlatMenuWnd(HWND h) : hWnd(h) {}
  ~CFlatMenuWnd();
  void SetBackground(HBITMAP b);
};

// The screen contents of a rectangle, or null.
HBITMAP CaptureScreenRect(LPCRECT screenRect);
// A soft 4-pixel shadow 4 pixels right of and below a window of R x H pixels
// (rectangle from the origin): pixels of `source` darkened into `target`.
void DrawMenuShadow(CDC* source, CDC* target, LPCRECT windowRect);
// Paints one item; true when it painted a pressed menu-bar item (its
// rectangle, less the shadow strip, is then in *pressed).
bool DrawMenuItem(const CMenuItemView& item, CDC* dc, LPCRECT rect, bool selected, bool menuBar, bool hot,
                  bool inactive, bool noAccel, CRect* pressed = nullptr);
// The flat frame of a popup: for WM_NCPAINT (dc null: the window DC) or into
// the DC of a WM_PRINT request.
void DrawMenuFrame(CFlatMenuWnd* wnd, CDC* printDC, bool join);
// The frame lines alone, again: for systems that paint the popup's own
// border inside its client area, after that painting.
void DrawMenuFrameLines(CFlatMenuWnd* wnd);

// Menu colours.
namespace MenuColors {
COLORREF Face(int lightness);  // COLOR_BTNFACE shaded, saturation 0
COLORREF Highlight(int lightness, int saturation);
}  // namespace MenuColors

}  // namespace orva::ui
