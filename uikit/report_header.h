// The column header of the report lists: a white header on skin strips with
// a skin divider between columns, centred captions in a caption font, the
// item's image on the left (the column check box) and its bitmap on the
// right, at a height of the owner's choice.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

class CReportHeaderCtrl : public CHeaderCtrl {
 public:
  CReportHeaderCtrl();

  // Both redraw the header at once; the list takes the new height at its next layout.
  void SetHeaderHeight(int pixels);
  void SetCaptionFont(CFont* font);
  int GetHeaderHeight() const { return m_height; }
  int GetItemMargin() const { return m_itemMargin; }
  CSize GetImageSize() const { return CSize(m_imageWidth, m_imageHeight); }

  void DrawItem(LPDRAWITEMSTRUCT) override {}
  // Draws an item's image, bitmap and caption inside `rect`; the caption's width.
  virtual int DrawItemContent(CDC* dc, CRect rect, HDITEMW* item);

 protected:
  LRESULT OnSetImageList(WPARAM wParam, LPARAM lParam);
  LRESULT OnLayout(WPARAM wParam, LPARAM lParam);
  LRESULT OnDefaultOnly(WPARAM, LPARAM) { return Default(); }
  void OnPaint();
  void OnSysColorChange();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnMouseMove(UINT flags, CPoint p);
  void OnMouseLeave();
  void OnLButtonDown(UINT flags, CPoint p);
  void OnLButtonUp(UINT flags, CPoint p);
  void PaintItems(CDC* dc);

  BOOL m_offScreen = TRUE;
  int m_itemMargin = 6;
  int m_imageWidth = 0;
  int m_imageHeight = 0;
  COLORREF m_faceColor;
  COLORREF m_buttonTextColor;
  BOOL m_tracking = FALSE;
  BOOL m_pressed = FALSE;
  COLORREF m_captionColor = 0;
  int m_height = 30;
  CFont* m_captionFont = nullptr;

  DECLARE_MESSAGE_MAP()
};

}  // namespace orva::ui
