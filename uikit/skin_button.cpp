#include "skin_button.h"
#include "mem_dc.h"
#include "skin_cache.h"
#include <string>

namespace orva::ui {

BEGIN_MESSAGE_MAP(CSkinButton, CButton)
ON_WM_SYSCOLORCHANGE()
ON_WM_GETDLGCODE()
ON_WM_CTLCOLOR_REFLECT()
ON_MESSAGE(BM_SETSTYLE, OnSetStyle)
END_MESSAGE_MAP()

CSkinButton::CSkinButton() { SetDefaultColors(FALSE); }

CSkinButton::~CSkinButton() { ClearBitmaps(); }

int CSkinButton::SetDefaultColors(BOOL repaint) {
  COLORREF back = SkinCache().GetColor(1), text = GetSysColor(COLOR_BTNTEXT);
  m_pressedBack = m_normalBack = m_focusBack = back;
  m_pressedText = m_normalText = m_focusText = text;
  if (repaint && m_hWnd) Invalidate();
  return 0;
}

void CSkinButton::ClearBitmaps() {
  for (Face& f : m_faces) {
    if (f.mask) DeleteObject(f.mask);
    f = Face{};
  }
}

void CSkinButton::ClearIcons() {
  for (Icon& i : m_icons) i = Icon{};
}

// A monochrome mask of the face: 1 where the face has the key colour. The
// face itself is left as it is, since other buttons share it.
static HBITMAP MakeMask(HBITMAP face, int w, int h, COLORREF key) {
  HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
  if (!mask) return nullptr;
  HDC src = CreateCompatibleDC(nullptr), dst = CreateCompatibleDC(nullptr);
  HGDIOBJ oldSrc = SelectObject(src, face), oldDst = SelectObject(dst, mask);
  SetBkColor(src, key);
  BitBlt(dst, 0, 0, w, h, src, 0, 0, SRCCOPY);
  SelectObject(src, oldSrc);
  SelectObject(dst, oldDst);
  DeleteDC(src);
  DeleteDC(dst);
  return mask;
}

int CSkinButton::SetBitmapImages(HBITMAP first, COLORREF firstKey, HBITMAP second, COLORREF secondKey) {
  if (first == m_faces[0].handle && firstKey == m_faces[0].key && second == m_faces[1].handle &&
      secondKey == m_faces[1].key)
    return 0;
  m_bitmapMarginX = m_bitmapMarginY = 0;
  ClearBitmaps();
  HBITMAP given[2] = {first, second};
  COLORREF keys[2] = {firstKey, secondKey};
  for (int i = 0; i < 2; ++i) {
    if (!given[i]) continue;
    BITMAP bm{};
    if (!GetObjectW(given[i], sizeof(bm), &bm)) {
      ClearBitmaps();
      return 1;
    }
    Face& f = m_faces[i];
    f.handle = given[i];
    f.width = bm.bmWidth;
    f.height = bm.bmHeight;
    f.key = keys[i];
    f.mask = MakeMask(given[i], f.width, f.height, f.key);
    if (!f.mask) {
      ClearBitmaps();
      return 2;
    }
  }
  if (m_hWnd) Invalidate();
  return 0;
}

int CSkinButton::SetIconImages(HICON first, HICON second, int marginX, int marginY) {
  if (first == m_icons[0].handle && second == m_icons[1].handle) return 0;
  m_iconMarginX = marginX;
  m_iconMarginY = marginY;
  ClearIcons();
  HICON given[2] = {first, second};
  for (int i = 0; i < 2; ++i) {
    if (!given[i]) continue;
    ICONINFO info{};
    if (!GetIconInfo(given[i], &info)) {
      ClearIcons();
      return 1;
    }
    m_icons[i].handle = given[i];
    m_icons[i].width = (int)info.xHotspot * 2;
    m_icons[i].height = (int)info.yHotspot * 2;
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
  }
  if (m_hWnd) Invalidate();
  return 0;
}

void CSkinButton::PreSubclassWindow() {
  UINT type = GetStyle() & BS_TYPEMASK;
  if (type == BS_DEFPUSHBUTTON) m_default = TRUE;
  ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW, SWP_FRAMECHANGED);
  CButton::PreSubclassWindow();
}

BOOL CSkinButton::PreTranslateMessage(MSG* msg) {
  // The second click of a double click is a second press.
  if (msg->message == WM_LBUTTONDBLCLK) msg->message = WM_LBUTTONDOWN;
  return CButton::PreTranslateMessage(msg);
}

void CSkinButton::OnSysColorChange() {
  Default();
  SetDefaultColors(TRUE);
}

UINT CSkinButton::OnGetDlgCode() {
  UINT code = (UINT)Default();
  return code | (m_default ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

HBRUSH CSkinButton::CtlColor(CDC*, UINT) { return (HBRUSH)GetStockObject(NULL_BRUSH); }

LRESULT CSkinButton::OnSetStyle(WPARAM style, LPARAM redraw) {
  UINT type = (UINT)style & BS_TYPEMASK;
  if (type == BS_DEFPUSHBUTTON)
    m_default = TRUE;
  else if (type == BS_PUSHBUTTON)
    m_default = FALSE;
  return DefWindowProc(BM_SETSTYLE, (style & ~BS_TYPEMASK) | BS_OWNERDRAW, redraw);
}

CRect CSkinButton::PlaceImage(BOOL hasCaption, const CRect& item, CRect& caption, int w, int h, int marginX,
                              BOOL selected) const {
  CRect image = item;
  if (hasCaption) {
    image.left = item.left + marginX;
    caption.left += w + marginX;
  } else {
    image.left += (item.Width() - w) / 2;
  }
  image.top += (item.Height() - h) / 2;
  image.right = image.left + w;
  image.bottom = image.top + h;
  if (selected) image.OffsetRect(m_pressedOffsetX, m_pressedOffsetY);
  return image;
}

void CSkinButton::PaintBackground(CDC* dc, const CRect& rect) {
  COLORREF c = m_selected ? m_pressedBack : (m_focused ? m_focusBack : m_normalBack);
  CBrush brush(c);
  dc->FillRect(&rect, &brush);
}

void CSkinButton::PaintIcon(CDC* dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL selected, BOOL disabled) {
  const Icon& icon = (selected || !m_icons[1].handle) ? m_icons[0] : m_icons[1];
  if (!icon.handle) return;
  CRect r = PlaceImage(hasCaption, item, caption, icon.width, icon.height, m_iconMarginX, selected);
  dc->DrawState(r.TopLeft(), CSize(icon.width, icon.height), icon.handle, DSS_NORMAL);
}

// Transparent copy without touching the face: d ^ f, then AND the mask
// (key pixels keep d ^ f, the others become 0), then ^ f again.
void CSkinButton::PaintBitmap(CDC* dc, BOOL hasCaption, const CRect& item, CRect& caption, BOOL selected,
                              BOOL disabled) {
  const Face& face = (selected || !m_faces[1].handle) ? m_faces[0] : m_faces[1];
  if (!face.handle || !face.mask) return;
  CRect r = PlaceImage(hasCaption, item, caption, face.width, face.height, m_bitmapMarginX, selected);
  HDC src = CreateCompatibleDC(dc->m_hDC);
  HGDIOBJ old = SelectObject(src, face.handle);
  COLORREF oldText = dc->SetTextColor(RGB(0, 0, 0)), oldBack = dc->SetBkColor(RGB(255, 255, 255));
  BitBlt(dc->m_hDC, r.left, r.top, face.width, face.height, src, 0, 0, SRCINVERT);
  SelectObject(src, face.mask);
  BitBlt(dc->m_hDC, r.left, r.top, face.width, face.height, src, 0, 0, SRCAND);
  SelectObject(src, face.handle);
  BitBlt(dc->m_hDC, r.left, r.top, face.width, face.height, src, 0, 0, SRCINVERT);
  dc->SetTextColor(oldText);
  dc->SetBkColor(oldBack);
  SelectObject(src, old);
  DeleteDC(src);
}

void CSkinButton::DrawItem(LPDRAWITEMSTRUCT dis) {
  CDC* target = CDC::FromHandle(dis->hDC);
  CMemDC dc(target);
  HGDIOBJ oldFont = dc.SelectObject((HGDIOBJ)::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
  m_selected = (dis->itemState & ODS_SELECTED) != 0;
  m_focused = (dis->itemState & ODS_FOCUS) != 0;
  m_disabled = (dis->itemState & ODS_DISABLED) != 0;
  dc.SetBkMode(TRANSPARENT);

  CRect item = dis->rcItem;
  PaintBackground(&dc, item);

  int n = ::GetWindowTextLengthW(m_hWnd);
  std::wstring text(n + 1, L'\0');
  n = ::GetWindowTextW(m_hWnd, text.data(), n + 1);
  text.resize(n > 0 ? n : 0);
  BOOL hasCaption = !text.empty();
  CRect caption = item;

  if (m_faces[0].handle) {
    dc.SetBkColor(RGB(255, 255, 255));
    PaintBitmap(&dc, hasCaption, item, caption, m_selected, m_disabled);
  }
  if (m_icons[0].handle) {
    caption = item;
    PaintIcon(&dc, hasCaption, item, caption, m_selected, m_disabled);
  }
  if (hasCaption) {
    if (m_selected) caption.OffsetRect(m_pressedOffsetX, m_pressedOffsetY);
    CRect measured = caption;
    DrawTextW(dc.m_hDC, text.c_str(), (int)text.size(), &measured, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    measured.OffsetRect((caption.left - measured.left) + (caption.Width() - measured.Width()) / 2,
                        (caption.top - measured.top) + (caption.Height() - measured.Height()) / 2);
    if (m_disabled) {
      CRect raised = measured;
      raised.OffsetRect(1, 1);
      dc.SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
      DrawTextW(dc.m_hDC, text.c_str(), (int)text.size(), &raised, DT_WORDBREAK | DT_CENTER);
      dc.SetTextColor(GetSysColor(COLOR_BTNSHADOW));
    } else {
      dc.SetTextColor(m_selected ? m_pressedText : m_normalText);
    }
    DrawTextW(dc.m_hDC, text.c_str(), (int)text.size(), &measured, DT_WORDBREAK | DT_CENTER);
  }
  dc.SelectObject(oldFont);
}

}  // namespace orva::ui
