#include "skin_dialog.h"
#include "skin_cache.h"
#include <string>

namespace orva::ui {

namespace {
// Frame slots in the order of the size and bitmap members.
const int kFrameSlots[8] = {0, 1, 2, 3, 4, 5, 7, 6};
constexpr int kCaptionButtonSlot = 11;
constexpr int kFirstPictureSlot = 8;
constexpr int kCaptionIconSet = 0, kInactiveIconSet = 1;
constexpr int kCaptionButtonRightGap = 10;
constexpr int kMaximisedInset = 4;
// The caption buttons are hit from this far below the window's top, maximised or not.
constexpr int kCaptionButtonHitTop = 4;
constexpr int kCornerCut = 7, kCornerEllipse = 14;

int FrameIndex(int slot) {
  for (int i = 0; i < 8; ++i)
    if (kFrameSlots[i] == slot) return i;
  return -1;
}

int StateOf(int pos) {
  switch (pos) {
    case CSkinDialogBase::PosClose:
      return CSkinDialogBase::StateClose;
    case CSkinDialogBase::PosMaxRestore:
      return CSkinDialogBase::StateMaxRestore;
    case CSkinDialogBase::PosMinimise:
      return CSkinDialogBase::StateMinimise;
    default:
      return CSkinDialogBase::StateNone;
  }
}
}  // namespace

BEGIN_MESSAGE_MAP(CSkinDialogBase, CDialog)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_SIZE()
ON_WM_NCPAINT()
ON_WM_NCACTIVATE()
ON_WM_NCCALCSIZE()
ON_WM_NCHITTEST()
ON_WM_CTLCOLOR()
ON_WM_GETMINMAXINFO()
ON_WM_SETCURSOR()
ON_WM_ENTERSIZEMOVE()
ON_WM_EXITSIZEMOVE()
ON_WM_ACTIVATE()
ON_WM_PAINT()
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CSkinDialog, CSkinDialogBase)
ON_WM_NCACTIVATE()
END_MESSAGE_MAP()

CSkinDialogBase::CSkinDialogBase(UINT idTemplate, CWnd* parent, bool fullButtons)
    : CDialog(idTemplate, parent), m_fullButtons(fullButtons) {
  m_dialogBrush.CreateSolidBrush(SkinCache().GetColor(1));
}

int CSkinDialogBase::OnCreate(LPCREATESTRUCT cs) {
  if ((int)Default() == -1) return -1;
  ModifyStyleEx(WS_EX_LAYERED, 0);
  CSkinCache& skin = SkinCache();
  if (!m_dialogBrush.m_hObject) m_dialogBrush.CreateSolidBrush(skin.GetColor(1));
  m_captionColor = skin.GetColor(3);
  m_transparentKey = skin.GetColor(0);
  for (int i = 0; i < 8; ++i) {
    m_sizes[i] = skin.GetBitmapSize(kFrameSlots[i]);
    m_frame[i] = skin.GetBitmap(kFrameSlots[i]);
  }
  m_sizes[8] = skin.GetBitmapSize(kCaptionButtonSlot);
  for (int i = 0; i < 12; ++i) m_buttonPictures[i] = skin.GetBitmap(kFirstPictureSlot + i);
  m_captionIcon = skin.GetIcon(kCaptionIconSet, 1);
  return 0;
}

void CSkinDialogBase::OnDestroy() {
  Default();
  m_dialogBrush.DeleteObject();
  // The window region belongs to the system since SetWindowRgn: not ours to delete.
}

void CSkinDialogBase::OnSize(UINT type, int cx, int cy) {
  Default();
  if (HasCaption()) RebuildRegion(type);
}

void CSkinDialogBase::RebuildRegion(UINT sizeType) {
  CRect wr;
  GetWindowRect(&wr);
  int x0 = 0, y0 = 0, w = wr.Width() + 1, h = wr.Height() + 1;
  if (sizeType == SIZE_MAXIMIZED) {
    x0 = y0 = kMaximisedInset;
    w -= kMaximisedInset;
    h -= kMaximisedInset;
  }
  CRgn region;
  region.CreateRectRgn(x0, y0, w, h);
  auto cutCorner = [&](int left, int ellipseLeft) {
    CRgn corner, round;
    corner.CreateRectRgn(left, y0, left + kCornerCut, y0 + kCornerCut);
    round.CreateEllipticRgn(ellipseLeft, y0, ellipseLeft + kCornerEllipse, y0 + kCornerEllipse);
    corner.CombineRgn(&corner, &round, RGN_DIFF);
    region.CombineRgn(&region, &corner, RGN_DIFF);
  };
  cutCorner(x0, x0);
  cutCorner(w - kCornerCut, w - kCornerEllipse);
  SetWindowRgn((HRGN)region.Detach(), TRUE);
}

void CSkinDialogBase::OnNcPaint() {
  if (!HasCaption()) return;
  Default();  // the system's frame and the menu bar, which lies inside the skin's client hole
  PaintMenuBar();
  DrawFrame();
}

// The menu bar again at the place where the skin's frame puts it. Some
// systems (Wine) lay the bar out and paint it below their own caption
// whatever the client area is: it is drawn there off-screen and copied down.
void CSkinDialogBase::PaintMenuBar() {
  HMENU menu = ::GetMenu(m_hWnd);
  if (!menu || IsIconic()) return;
  using DrawMenuBarTempFn = DWORD(WINAPI*)(HWND, HDC, LPRECT, HMENU, HFONT);
  static auto draw = (DrawMenuBarTempFn)(void*)GetProcAddress(GetModuleHandleW(L"user32.dll"), "DrawMenuBarTemp");
  MENUBARINFO info{};
  info.cbSize = sizeof(info);
  if (!draw || !GetMenuBarInfo(m_hWnd, OBJID_MENU, 0, &info)) return;
  CRect wr, cr;
  GetWindowRect(&wr);
  GetClientRect(&cr);
  ClientToScreen(&cr);
  CRect bar(m_sizes[3].cx, m_sizes[1].cy, wr.Width() - m_sizes[6].cx, cr.top - wr.top);
  CRect laidOut(bar.left, info.rcBar.top - wr.top, bar.right, info.rcBar.top - wr.top + bar.Height());
  if (bar.Height() <= 0 || bar.Width() <= 0 || laidOut.top < 0) return;
  HDC window = ::GetWindowDC(m_hWnd);
  HDC mem = CreateCompatibleDC(window);
  HBITMAP image = CreateCompatibleBitmap(window, wr.Width(), laidOut.bottom);
  HGDIOBJ old = SelectObject(mem, image);
  draw(m_hWnd, mem, &laidOut, menu, nullptr);
  BitBlt(window, bar.left, bar.top, bar.Width(), bar.Height(), mem, laidOut.left, laidOut.top, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(image);
  DeleteDC(mem);
  ::ReleaseDC(m_hWnd, window);
}

BOOL CSkinDialogBase::OnNcActivate(BOOL active) {
  if (!HasCaption()) return (BOOL)Default();
  DrawFrame();
  return TRUE;
}

BOOL CSkinDialog::OnNcActivate(BOOL active) {
  BOOL r = CSkinDialogBase::OnNcActivate(active);
  if (HasCaption()) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  return r;
}

// The client area is inset exactly by the skin's caption height, edge
// widths and bottom height, whatever border the window style has.
void CSkinDialogBase::OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params) {
  if (HasCaption() && !IsIconic()) {
    RECT sys = {0, 0, 0, 0};
    AdjustWindowRectEx(&sys, GetStyle(), FALSE, GetExStyle());
    RECT& r = params->rgrc[0];
    const CSize &left = m_sizes[3], &top = m_sizes[1], &right = m_sizes[6], &bottom = m_sizes[5];
    if (top.cy) r.top += top.cy + sys.top;
    if (left.cx) r.left += left.cx + sys.left;
    if (right.cx) r.right -= right.cx - sys.right;
    if (bottom.cy) r.bottom -= bottom.cy - sys.bottom;
  }
  Default();
}

// The skin's caption band moves the window; the system's own caption
// buttons, which are not shown, must not react.
LRESULT CSkinDialogBase::OnNcHitTest(CPoint point) {
  LRESULT hit = Default();
  if (!HasCaption() || IsIconic()) return hit;
  if ((hit >= HTLEFT && hit <= HTBOTTOMRIGHT) || hit == HTCLIENT || hit == HTMENU) return hit;
  CRect wr;
  GetWindowRect(&wr);
  if (point.y - wr.top < m_sizes[1].cy) return HTCAPTION;
  return hit;
}

HBRUSH CSkinDialogBase::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
  HBRUSH brush = CDialog::OnCtlColor(dc, wnd, kind);
  if (wnd && dynamic_cast<CButton*>(wnd)) return (HBRUSH)m_dialogBrush.m_hObject;
  return brush;
}

void CSkinDialogBase::OnGetMinMaxInfo(MINMAXINFO* info) {
  Default();
  info->ptMinTrackSize.x = kMinWidth;
  info->ptMinTrackSize.y = kMinHeight;
}

BOOL CSkinDialogBase::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) {
  m_onSizingBorder = hitTest >= HTLEFT && hitTest <= HTBOTTOMRIGHT;
  if (m_buttonState != StateNone) return TRUE;
  return (BOOL)Default();
}

void CSkinDialogBase::OnEnterSizeMove() {
  auto setLayered = SkinCache().pSetLayeredWindowAttributes;
  if (!m_onSizingBorder && !m_layered && setLayered) {
    m_layered = TRUE;
    ModifyStyleEx(0, WS_EX_LAYERED);
    setLayered(m_hWnd, 0, kMoveAlpha, LWA_ALPHA);
    RedrawWindow(nullptr, nullptr, RDW_FRAME | RDW_ALLCHILDREN | RDW_ERASE | RDW_INVALIDATE);
  }
  m_trackingNc = FALSE;
}

void CSkinDialogBase::OnExitSizeMove() {
  if (m_layered) {
    m_layered = FALSE;
    ModifyStyleEx(WS_EX_LAYERED, 0);
    RedrawWindow(nullptr, nullptr, RDW_FRAME | RDW_ALLCHILDREN | RDW_ERASE | RDW_INVALIDATE);
  }
  m_trackingNc = FALSE;
}

// The default handling runs too: it keeps the focused control across activation.
void CSkinDialogBase::OnActivate(UINT state, CWnd* other, BOOL minimized) {
  Default();
  m_active = state != WA_INACTIVE;
  if (!HasCaption()) return;
  CSkinCache& skin = SkinCache();
  m_captionIcon = skin.GetIcon(m_active ? kCaptionIconSet : kInactiveIconSet, 1);
  m_captionColor = skin.GetColor(m_active ? 3 : 4);
  DrawFrame();
}

void CSkinDialogBase::OnPaint() {
  CPaintDC dc(this);
  CRect r;
  GetClientRect(&r);
  dc.FillSolidRect(&r, SkinCache().GetColor(1));
}

int CSkinDialogBase::CaptionButtonCount() const {
  if (!HasCaption()) return 0;
  return m_fullButtons ? 3 : 1;
}

// Minimised, both kinds show close, maximise and restore.
int CSkinDialogBase::PaintedCaptionButtonCount() const {
  if (HasCaption() && IsIconic()) return 3;
  return CaptionButtonCount();
}

CRect CSkinDialogBase::CaptionButtonRect(int pos) const {
  CRect wr;
  GetWindowRect(&wr);
  const CSize& b = m_sizes[8];
  int top = IsZoomed() ? kMaximisedInset : 0;
  int right = wr.Width() - kCaptionButtonRightGap - pos * b.cx;
  return CRect(right - b.cx, top, right, top + b.cy);
}

CSkinDialogBase::CaptionRole CSkinDialogBase::CaptionButtonRole(int pos) const {
  switch (pos) {
    case PosMaxRestore:
      return IsZoomed() ? RoleRestore : RoleMaximise;
    case PosMinimise:
      return IsIconic() ? RoleRestore : RoleMinimise;
    default:
      return RoleClose;
  }
}

CRect CSkinDialogBase::CaptionButtonHitRect(int pos) const {
  CRect r = CaptionButtonRect(pos);
  return CRect(r.left, kCaptionButtonHitTop, r.right, kCaptionButtonHitTop + r.Height());
}

int CSkinDialogBase::CaptionButtonAt(CPoint screen) const {
  CRect wr;
  GetWindowRect(&wr);
  CPoint p(screen.x - wr.left, screen.y - wr.top);
  for (int pos = 0; pos < CaptionButtonCount(); ++pos)
    if (CaptionButtonHitRect(pos).PtInRect(p)) return pos;
  return PosNone;
}

int CSkinDialogBase::CaptionButtonPicture(int pos) const {
  int role = CaptionButtonRole(pos);
  if (m_buttonState != StateNone && m_buttonState == StateOf(pos)) return kFirstPictureSlot + 4 + role;
  if (m_buttonState == StateNone && m_hotButton == pos) return kFirstPictureSlot + 8 + role;
  return kFirstPictureSlot + role;
}

void CSkinDialogBase::ResetCaptionButtons(bool redraw) {
  m_hotButton = PosNone;
  if (redraw) DrawFrame();
}

void CSkinDialogBase::DrawFrame() {
  if (!m_hWnd || !HasCaption()) return;
  CRect wr;
  GetWindowRect(&wr);
  const int W = wr.Width(), H = wr.Height();
  if (W <= 0 || H <= 0) return;
  const bool iconic = IsIconic() != FALSE;

  HDC window = ::GetWindowDC(m_hWnd);
  HDC mem = CreateCompatibleDC(window);
  HBITMAP image = CreateCompatibleBitmap(window, W, H);
  HGDIOBJ oldImage = SelectObject(mem, image);
  HDC piece = CreateCompatibleDC(window);
  HGDIOBJ oldPiece = nullptr;

  auto size = [&](int slot) { return m_sizes[FrameIndex(slot)]; };
  auto put = [&](int slot, int x, int y, int w, int h) {
    HBITMAP b = m_frame[FrameIndex(slot)];
    CSize s = size(slot);
    if (!b || w <= 0 || h <= 0 || !s.cx || !s.cy) return;
    HGDIOBJ prev = SelectObject(piece, b);
    if (!oldPiece) oldPiece = prev;
    if (s.cx == w && s.cy == h)
      BitBlt(mem, x, y, w, h, piece, 0, 0, SRCCOPY);
    else
      StretchBlt(mem, x, y, w, h, piece, 0, 0, s.cx, s.cy, SRCCOPY);
  };
  const CSize s0 = size(0), s1 = size(1), s2 = size(2), s3 = size(3), s4 = size(4), s5 = size(5), s6 = size(6),
              s7 = size(7);
  // Top row, left column, bottom row, right column.
  put(0, 0, 0, s0.cx, s0.cy);
  put(1, s0.cx, 0, W - s0.cx - s2.cx, s1.cy);
  put(2, W - s2.cx, 0, s2.cx, s2.cy);
  put(3, 0, s0.cy, s3.cx, H - s0.cy - s4.cy);
  put(4, 0, H - s4.cy, s4.cx, s4.cy);
  put(5, s4.cx, H - s5.cy, W - s4.cx - s6.cx, s5.cy);
  put(7, W - s7.cx, s2.cy, s7.cx, H - s2.cy - s6.cy);
  put(6, W - s6.cx, H - s6.cy, s6.cx, s6.cy);

  if (m_captionIcon) {
    int px = iconic ? 16 : 24;
    DrawIconEx(mem, 15, 5, m_captionIcon, px, px, 0, nullptr, DI_NORMAL);
  }

  for (int pos = 0; pos < PaintedCaptionButtonCount(); ++pos) {
    HBITMAP b = m_buttonPictures[CaptionButtonPicture(pos) - kFirstPictureSlot];
    if (!b) continue;
    CRect r = CaptionButtonRect(pos);
    HGDIOBJ prev = SelectObject(piece, b);
    if (!oldPiece) oldPiece = prev;
    BitBlt(mem, r.left, r.top, r.Width(), r.Height(), piece, 0, 0, SRCCOPY);
  }

  // Caption text, through the wide calls.
  int n = ::GetWindowTextLengthW(m_hWnd);
  std::wstring text(n + 1, L'\0');
  n = ::GetWindowTextW(m_hWnd, text.data(), n + 1);
  text.resize(n > 0 ? n : 0);
  CFont* font = SkinCache().GetFont(2);
  HFONT hfont = font ? (HFONT)font->m_hObject : (HFONT)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0);
  HGDIOBJ oldFont = hfont ? SelectObject(mem, hfont) : nullptr;
  SetBkMode(mem, TRANSPARENT);
  SetTextColor(mem, m_captionColor);
  SetTextAlign(mem, TA_LEFT | TA_TOP);
  if (!iconic) {
    TextOutW(mem, 50, 10, text.c_str(), (int)text.size());
  } else {
    if (text.size() > 4) text = text.substr(0, 4) + L"...";
    SIZE ts{};
    GetTextExtentPoint32W(mem, text.c_str(), (int)text.size(), &ts);
    TextOutW(mem, 30, (H - ts.cy) / 2, text.c_str(), (int)text.size());
  }
  if (oldFont) SelectObject(mem, oldFont);

  if (!iconic) ExcludeClipRect(window, s3.cx, s1.cy, W - s7.cx, H - s5.cy);
  BitBlt(window, 0, 0, W, H, mem, 0, 0, SRCCOPY);

  if (oldPiece) SelectObject(piece, oldPiece);
  DeleteDC(piece);
  SelectObject(mem, oldImage);
  DeleteObject(image);
  DeleteDC(mem);
  ::ReleaseDC(m_hWnd, window);
}

BOOL CSkinDialogBase::PreTranslateMessage(MSG* msg) {
  // Dialogs close only through their own buttons and the caption's close button.
  if ((msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4) ||
      (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)))
    return TRUE;

  switch (msg->message) {
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP:
    case WM_NCMOUSELEAVE:
      break;
    default:
      return CDialog::PreTranslateMessage(msg);
  }
  if (!HasCaption()) return CDialog::PreTranslateMessage(msg);

  // The point of the message itself: screen for the non-client messages,
  // client of the receiving window for the button release.
  CPoint point(msg->pt);
  if (msg->message == WM_LBUTTONUP) {
    point = CPoint((short)LOWORD(msg->lParam), (short)HIWORD(msg->lParam));
    ::ClientToScreen(msg->hwnd, &point);
  } else if (msg->message != WM_NCMOUSELEAVE) {
    point = CPoint((short)LOWORD(msg->lParam), (short)HIWORD(msg->lParam));
  }
  int pos = CaptionButtonAt(point);
  switch (msg->message) {
    case WM_NCMOUSEMOVE:
      if (!m_trackingNc) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, m_hWnd, 0};
        TrackMouseEvent(&tme);
        m_trackingNc = TRUE;
      }
      if (m_buttonState == StateNone && pos != m_hotButton) {
        m_hotButton = pos;
        DrawFrame();
      }
      break;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:  // a quick second click on a button is a second press
      if (pos != PosNone) {
        ::SetCapture(m_hWnd);
        m_buttonState = StateOf(pos);
        DrawFrame();
        return TRUE;
      }
      m_buttonState = StateNone;
      if (IsZoomed()) return TRUE;  // a maximised dialog is not dragged by its caption
      break;
    case WM_NCLBUTTONUP:
    case WM_LBUTTONUP: {
      int was = m_buttonState;
      if (was != StateNone && ::GetCapture() == m_hWnd) ::ReleaseCapture();
      m_buttonState = StateNone;
      m_hotButton = pos;
      if (pos != PosNone && was == StateOf(pos)) {
        if (pos == PosClose) {
          PostMessage(WM_CLOSE);
        } else if (pos == PosMaxRestore) {
          ShowWindow(IsZoomed() ? SW_RESTORE : SW_MAXIMIZE);
        } else {
          ShowWindow(IsIconic() ? SW_RESTORE : SW_MINIMIZE);
        }
      }
      if (pos == PosNone || was != StateNone) DrawFrame();
      break;
    }
    case WM_NCMOUSELEAVE:
      m_trackingNc = FALSE;
      if (m_buttonState == StateNone) ResetCaptionButtons(true);
      break;
  }
  return CDialog::PreTranslateMessage(msg);
}

}  // namespace orva::ui
