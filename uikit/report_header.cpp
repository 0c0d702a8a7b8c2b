#include "report_header.h"
#include "mem_dc.h"
#include "skin_cache.h"

namespace orva::ui {

BEGIN_MESSAGE_MAP(CReportHeaderCtrl, CHeaderCtrl)
ON_MESSAGE(HDM_INSERTITEMW, OnDefaultOnly)
ON_MESSAGE(HDM_DELETEITEM, OnDefaultOnly)
ON_MESSAGE(HDM_SETIMAGELIST, OnSetImageList)
ON_MESSAGE(HDM_LAYOUT, OnLayout)
ON_WM_PAINT()
ON_WM_SYSCOLORCHANGE()
ON_WM_ERASEBKGND()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

namespace {
// Copies a bitmap of the skin (stretched to `w` wide) with its bottom at `bottom`.
void BlitStrip(HDC dc, HBITMAP bitmap, int x, int bottom, int w, bool stretch) {
  BITMAP bm{};
  if (!bitmap || !GetObjectW(bitmap, sizeof(bm), &bm) || (stretch && w <= 0)) return;
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, bitmap);
  if (stretch)
    StretchBlt(dc, x, bottom - bm.bmHeight, w, bm.bmHeight, mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
  else
    BitBlt(dc, x, bottom - bm.bmHeight, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteDC(mem);
}
}  // namespace

CReportHeaderCtrl::CReportHeaderCtrl()
    : m_faceColor(GetSysColor(COLOR_BTNFACE)), m_buttonTextColor(GetSysColor(COLOR_BTNTEXT)) {}

void CReportHeaderCtrl::SetHeaderHeight(int pixels) {
  m_height = pixels;
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CReportHeaderCtrl::SetCaptionFont(CFont* font) {
  m_captionFont = font;
  if (m_hWnd) RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CReportHeaderCtrl::OnSetImageList(WPARAM, LPARAM lParam) {
  HIMAGELIST list = (HIMAGELIST)lParam;
  IMAGEINFO info{};
  if (list && ImageList_GetImageCount(list) > 0 && ImageList_GetImageInfo(list, 0, &info)) {
    m_imageWidth = info.rcImage.right - info.rcImage.left;
    m_imageHeight = info.rcImage.bottom - info.rcImage.top;
  }
  return Default();
}

LRESULT CReportHeaderCtrl::OnLayout(WPARAM, LPARAM lParam) {
  LRESULT r = Default();
  auto* layout = (HDLAYOUT*)lParam;
  if (m_height > 0 && layout && layout->pwpos && layout->prc) {
    layout->pwpos->cy = m_height;
    layout->prc->top = m_height;
  }
  return r;
}

void CReportHeaderCtrl::OnSysColorChange() {
  Default();
  m_faceColor = GetSysColor(COLOR_BTNFACE);
  m_buttonTextColor = GetSysColor(COLOR_BTNTEXT);
}

void CReportHeaderCtrl::OnPaint() {
  CPaintDC paint(this);
  CRect clip;
  if (paint.GetClipBox(&clip) == ERROR) return;
  if (m_offScreen) {
    CMemDC mem(&paint);
    PaintItems(&mem);
  } else {
    PaintItems(&paint);
  }
}

void CReportHeaderCtrl::PaintItems(CDC* dc) {
  CRect clip;
  if (dc->GetClipBox(&clip) == ERROR) return;
  dc->FillSolidRect(&clip, RGB(255, 255, 255));
  HGDIOBJ oldFont = m_captionFont && m_captionFont->m_hObject ? dc->SelectObject(m_captionFont->m_hObject) : nullptr;
  dc->SetBkColor(m_faceColor);
  dc->SetTextColor(m_buttonTextColor);

  CSkinCache& skin = SkinCache();
  HBITMAP strip = skin.GetBitmap(21), divider = skin.GetBitmap(22);
  int stripHeight = skin.GetBitmapSize(21).cy;
  int count = GetItemCount();
  for (int pos = 0; pos < count; ++pos) {
    int index = OrderToIndex(pos);
    wchar_t caption[260] = {};
    HDITEMW item{};
    item.mask = HDI_WIDTH | HDI_TEXT | HDI_FORMAT | HDI_BITMAP | HDI_IMAGE;
    item.pszText = caption;
    item.cchTextMax = (int)(sizeof(caption) / sizeof(caption[0]));
    if (!GetItem(index, &item)) continue;
    CRect rect;
    GetItemRect(index, &rect);

    BlitStrip(dc->m_hDC, strip, rect.left, rect.bottom, rect.Width(), true);
    if (item.fmt & HDF_OWNERDRAW) {
      DRAWITEMSTRUCT dis{};
      dis.CtlType = ODT_HEADER;
      dis.CtlID = (UINT)GetDlgCtrlID();
      dis.itemID = (UINT)index;
      dis.itemAction = ODA_DRAWENTIRE;
      dis.hwndItem = m_hWnd;
      dis.hDC = dc->m_hDC;
      dis.rcItem = rect;
      DrawItem(&dis);
    } else {
      CRect inner = rect;
      inner.DeflateRect(m_itemMargin, 0);
      DrawItemContent(dc, inner, &item);
    }
    if (pos < count - 1) BlitStrip(dc->m_hDC, divider, rect.right, rect.bottom - stripHeight, 0, false);
  }
  if (oldFont) dc->SelectObject(oldFont);
}

int CReportHeaderCtrl::DrawItemContent(CDC* dc, CRect rect, HDITEMW* item) {
  HIMAGELIST images = GetImageList();
  if (item->iImage != 0 && images && rect.Width() > 0) {
    int y = rect.CenterPoint().y - m_imageHeight / 2;
    int w = rect.Width() < m_imageWidth ? rect.Width() : m_imageWidth;
    COLORREF old = ImageList_SetBkColor(images, dc->GetBkColor());
    ImageList_DrawEx(images, item->iImage, dc->m_hDC, rect.left, y, w, m_imageHeight, CLR_DEFAULT, CLR_DEFAULT,
                     ILD_NORMAL);
    ImageList_SetBkColor(images, old);
    rect.left += m_imageWidth + m_itemMargin;
  }
  BITMAP bm{};
  if ((item->fmt & HDF_BITMAP) && item->hbm && GetObjectW(item->hbm, sizeof(bm), &bm) && rect.Width() >= 1 &&
      bm.bmWidth <= rect.Width()) {
    HDC mem = CreateCompatibleDC(dc->m_hDC);
    HGDIOBJ old = SelectObject(mem, item->hbm);
    BOOL ok = BitBlt(dc->m_hDC, rect.right - bm.bmWidth, rect.bottom - bm.bmHeight - 10, bm.bmWidth, bm.bmHeight, mem,
                     0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    if (ok) rect.right -= bm.bmWidth + m_itemMargin;
  }
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(m_captionColor);
  int width = 0;
  if (rect.Width() > 0 && (item->mask & HDI_TEXT) && (item->fmt & HDF_STRING) && item->pszText) {
    rect.top = 5;
    ::DrawTextW(dc->m_hDC, item->pszText, -1, &rect, DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    SIZE size{};
    ::GetTextExtentPoint32W(dc->m_hDC, item->pszText, lstrlenW(item->pszText), &size);
    width = size.cx < rect.Width() ? size.cx : rect.Width();
    if (width < 0) width = 0;
  }
  return width;
}

void CReportHeaderCtrl::OnMouseMove(UINT, CPoint) {
  if (m_tracking) {
    Invalidate(TRUE);
  } else {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, m_hWnd, 0};
    if (TrackMouseEvent(&tme)) m_tracking = TRUE;
  }
  Default();
}

void CReportHeaderCtrl::OnMouseLeave() {
  m_tracking = FALSE;
  Invalidate(TRUE);
}

void CReportHeaderCtrl::OnLButtonDown(UINT, CPoint) {
  m_pressed = TRUE;
  Default();
}

void CReportHeaderCtrl::OnLButtonUp(UINT, CPoint) {
  m_pressed = FALSE;
  Default();
}

}  // namespace orva::ui
