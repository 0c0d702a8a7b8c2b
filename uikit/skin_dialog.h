// Skinned dialogs: the frame, caption and caption buttons are painted from
// the skin cache, the top corners are rounded by the window region, the
// window is translucent while it is moved, and Enter, Escape and Alt+F4 do
// not close it. CSkinDialog has minimise, maximise/restore and close;
// CFixSkinDialog has close only.
#pragma once
#include "framework.h"

namespace orva::ui {
using namespace orva::fw;

class CSkinDialogBase : public CDialog {
 public:
  // Minimum tracking size of every skinned dialog.
  static constexpr int kMinWidth = 240;
  static constexpr int kMinHeight = 100;
  static constexpr BYTE kMoveAlpha = 176;

  // Caption buttons by position from the right.
  enum CaptionPos { PosNone = -1, PosClose = 0, PosMaxRestore = 1, PosMinimise = 2 };
  // Pictures: the skin slot is normal 8 + role, pressed 12 + role, hot 16 + role.
  enum CaptionRole { RoleMinimise = 0, RoleMaximise = 1, RoleRestore = 2, RoleClose = 3 };
  // Pressed-button state.
  enum { StateNone = 0, StateMinimise = 1, StateMaxRestore = 2, StateClose = 4 };

  BOOL PreTranslateMessage(MSG* msg) override;

  // Geometry of the painter and the hit test, in window coordinates.
  int CaptionButtonCount() const;          // the buttons that react
  int PaintedCaptionButtonCount() const;   // the buttons drawn
  CRect CaptionButtonRect(int pos) const;  // where the button is drawn
  // Where it is hit: its columns, from 4 pixels below the window's top.
  CRect CaptionButtonHitRect(int pos) const;
  CaptionRole CaptionButtonRole(int pos) const;
  int CaptionButtonAt(CPoint screen) const;
  int PressedState() const { return m_buttonState; }
  int HotButton() const { return m_hotButton; }
  // The skin slot of the picture that the button at `pos` shows now.
  int CaptionButtonPicture(int pos) const;
  bool IsActiveSkin() const { return m_active; }
  COLORREF CaptionTextColor() const { return m_captionColor; }

 protected:
  CSkinDialogBase(UINT idTemplate, CWnd* parent, bool fullButtons);

  int OnCreate(LPCREATESTRUCT cs);
  void OnDestroy();
  void OnSize(UINT type, int cx, int cy);
  void OnNcPaint();
  BOOL OnNcActivate(BOOL active);
  void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
  LRESULT OnNcHitTest(CPoint point);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
  void OnGetMinMaxInfo(MINMAXINFO* info);
  BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
  void OnEnterSizeMove();
  void OnExitSizeMove();
  void OnActivate(UINT state, CWnd* other, BOOL minimized);
  void OnPaint();

  void DrawFrame();
  void PaintMenuBar();
  void RebuildRegion(UINT sizeType);
  void ResetCaptionButtons(bool redraw);
  bool HasCaption() const { return (GetStyle() & WS_CAPTION) == WS_CAPTION; }

  CRgn m_region;  // built here, then handed to the system
  CBrush m_dialogBrush;
  int m_buttonState = StateNone;
  int m_hotButton = PosNone;
  BOOL m_trackingNc = FALSE;
  BOOL m_layered = FALSE;
  BOOL m_onSizingBorder = FALSE;
  BOOL m_active = FALSE;
  COLORREF m_captionColor = 0;
  COLORREF m_transparentKey = RGB(255, 0, 255);
  // Frame pieces: slots 0-5, 7, 6 (their order in the painter), then the
  // caption-button size (slot 11).
  CSize m_sizes[9];
  HBITMAP m_frame[8] = {};
  HBITMAP m_buttonPictures[12] = {};  // slots 8-19
  HICON m_captionIcon = nullptr;
  bool m_fullButtons;

  DECLARE_MESSAGE_MAP()
};

class CSkinDialog : public CSkinDialogBase {
 public:
  explicit CSkinDialog(UINT idTemplate, CWnd* parent = nullptr) : CSkinDialogBase(idTemplate, parent, true) {}

 protected:
  BOOL OnNcActivate(BOOL active);
  DECLARE_MESSAGE_MAP()
};

class CFixSkinDialog : public CSkinDialogBase {
 public:
  explicit CFixSkinDialog(UINT idTemplate, CWnd* parent = nullptr) : CSkinDialogBase(idTemplate, parent, false) {}
};

}  // namespace orva::ui
