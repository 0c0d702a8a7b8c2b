// The owner-drawn push button: background colour, face bitmap, icon and
// caption, painted off-screen; the picture moves one pixel while pressed and
// a disabled caption is embossed. It stays the dialog's default push button
// when its template says so.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

class CSkinButton : public CButton {
 public:
  CSkinButton();
  ~CSkinButton() override;

  int SetDefaultColors(BOOL repaint = TRUE);
  // The face bitmaps are borrowed and never drawn into; the button keeps a mask of its own.
  int SetBitmapImages(HBITMAP first, COLORREF firstKey, HBITMAP second = nullptr, COLORREF secondKey = 0);
  int SetIconImages(HICON first, HICON second, int marginX, int marginY);
  BOOL IsDefault() const { return m_default; }

  void PreSubclassWindow() override;
  BOOL PreTranslateMessage(MSG* msg) override;
  void DrawItem(LPDRAWITEMSTRUCT dis) override;

  virtual void PaintBackground(CDC* dc, const CRect& rect);
  virtual void PaintIcon(CDC* dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL selected, BOOL disabled);
  virtual void PaintBitmap(CDC* dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL selected, BOOL disabled);

 protected:
  struct Icon {
    HICON handle = nullptr;
    int width = 0, height = 0;
  };
  struct Face {
    HBITMAP handle = nullptr;
    int width = 0, height = 0;
    HBITMAP mask = nullptr;
    COLORREF key = 0;
  };

  void ClearBitmaps();
  void ClearIcons();
  CRect PlaceImage(BOOL hasCaption, const CRect& item, CRect& caption, int w, int h, int marginX, BOOL selected) const;

  void OnSysColorChange();
  UINT OnGetDlgCode();
  HBRUSH CtlColor(CDC* dc, UINT kind);
  LRESULT OnSetStyle(WPARAM style, LPARAM redraw);

  int m_bitmapMarginX = 0, m_bitmapMarginY = 0;
  int m_iconMarginX = 0, m_iconMarginY = 0;
  int m_pressedOffsetX = 1, m_pressedOffsetY = 1;
  BOOL m_selected = FALSE, m_focused = FALSE, m_disabled = FALSE, m_default = FALSE;
  COLORREF m_pressedBack = 0, m_pressedText = 0;
  COLORREF m_normalBack = 0, m_normalText = 0;
  COLORREF m_focusBack = 0, m_focusText = 0;
  Icon m_icons[2];
  Face m_faces[2];

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::ui
