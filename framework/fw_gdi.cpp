#include "fw_gdi.h"
#include "fw_window.h"
#include "fw_app.h"
#include <vector>

namespace orva::fw {

namespace {
thread_local std::vector<CGdiObject*> g_tempGdi;
thread_local std::vector<CDC*> g_tempDC;
}  // namespace

void FwKeepTempGdi(CGdiObject* obj) { g_tempGdi.push_back(obj); }

void FwDeleteTempGdiAndDC() {
  for (CGdiObject* o : g_tempGdi) {
    o->Detach();
    delete o;
  }
  g_tempGdi.clear();
  for (CDC* d : g_tempDC) {
    d->Detach();
    delete d;
  }
  g_tempDC.clear();
}

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  BOOL ok = ::DeleteObject(Detach());
  return ok;
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ h) { return TempGdi<CGdiObject>(h); }

BOOL CBrush::CreatePatternBrush(CBitmap* bitmap) { return Attach(::CreatePatternBrush((HBITMAP)bitmap->m_hObject)); }

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                       BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                       BYTE pitchAndFamily, const char* face) {
  std::wstring f = ToWideText(face);
  return Attach(::CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                              outPrecision, clipPrecision, quality, pitchAndFamily, f.c_str()));
}

BOOL CFont::CreatePointFont(int tenthsOfPoint, const char* face, CDC* dc) {
  LOGFONTW lf{};
  HDC hdc = dc ? dc->m_hDC : ::GetDC(nullptr);
  lf.lfHeight = -MulDiv(tenthsOfPoint, ::GetDeviceCaps(hdc, LOGPIXELSY), 720);
  if (!dc) ::ReleaseDC(nullptr, hdc);
  lstrcpynW(lf.lfFaceName, ToWideText(face).c_str(), LF_FACESIZE);
  lf.lfWeight = FW_NORMAL;
  return CreateFontIndirect(&lf);
}

BOOL CBitmap::LoadBitmap(UINT id) {
  return Attach(::LoadImageW(FwGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int w, int h) {
  return Attach(::CreateCompatibleBitmap(dc->m_hDC, w, h));
}

CSize CBitmap::GetSize() const {
  BITMAP bm{};
  if (!m_hObject || !GetBitmap(&bm)) return CSize();
  return CSize(bm.bmWidth, bm.bmHeight);
}

CDC::~CDC() {
  if (m_owned && m_hDC) ::DeleteDC(m_hDC);
}

BOOL CDC::Attach(HDC h) {
  if (m_hDC || !h) return FALSE;
  m_hDC = m_hAttribDC = h;
  return TRUE;
}

HDC CDC::Detach() {
  HDC h = m_hDC;
  m_hDC = m_hAttribDC = nullptr;
  m_owned = false;
  return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
  HDC h = ::CreateCompatibleDC(dc ? dc->m_hDC : nullptr);
  if (!h) return FALSE;
  Attach(h);
  m_owned = true;
  return TRUE;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  bool owned = m_owned;
  HDC h = Detach();
  return owned ? ::DeleteDC(h) : TRUE;
}

CDC* CDC::FromHandle(HDC h) {
  if (!h) return nullptr;
  CDC* d = new CDC;
  d->Attach(h);
  g_tempDC.push_back(d);
  return d;
}

BOOL CDC::TextOut(int x, int y, const CString& s) {
  std::wstring w = ToWideText(s);
  return ::TextOutW(m_hDC, x, y, w.c_str(), (int)w.size());
}

int CDC::DrawText(const CString& s, LPRECT r, UINT format) {
  std::wstring w = ToWideText(s);
  return ::DrawTextW(m_hDC, w.c_str(), (int)w.size(), r, format);
}

CSize CDC::GetTextExtent(const CString& s) const {
  std::wstring w = ToWideText(s);
  SIZE sz{};
  ::GetTextExtentPoint32W(m_hAttribDC ? m_hAttribDC : m_hDC, w.c_str(), (int)w.size(), &sz);
  return sz;
}

void CDC::FillSolidRect(LPCRECT r, COLORREF c) {
  COLORREF old = ::SetBkColor(m_hDC, c);
  ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, r, nullptr, 0, nullptr);
  ::SetBkColor(m_hDC, old);
}

void CDC::Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight) {
  int w = r->right - r->left, h = r->bottom - r->top;
  FillSolidRect(r->left, r->top, w - 1, 1, topLeft);
  FillSolidRect(r->left, r->top, 1, h - 1, topLeft);
  FillSolidRect(r->right - 1, r->top, 1, h, bottomRight);
  FillSolidRect(r->left, r->bottom - 1, w, 1, bottomRight);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { Attach(::BeginPaint(m_hWnd, &m_ps)); }
CPaintDC::~CPaintDC() {
  Detach();
  ::EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetDC(m_hWnd)); }
CClientDC::~CClientDC() { ::ReleaseDC(m_hWnd, Detach()); }

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr) { Attach(::GetWindowDC(m_hWnd)); }
CWindowDC::~CWindowDC() { ::ReleaseDC(m_hWnd, Detach()); }

}  // namespace orva::fw
