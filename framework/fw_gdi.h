// GDI objects and device contexts.
#pragma once
#include <windows.h>
#include "fw_string.h"
#include "fw_types.h"

namespace orva::fw {

class CWnd;

// Owns its handle unless it was attached as a temporary (FromHandle).
class CGdiObject {
 public:
  CGdiObject() = default;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;
  virtual ~CGdiObject() { DeleteObject(); }

  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  operator HGDIOBJ() const { return m_hObject; }
  BOOL Attach(HGDIOBJ h) {
    if (m_hObject || !h) return FALSE;
    m_hObject = h;
    return TRUE;
  }
  HGDIOBJ Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
  }
  BOOL DeleteObject();
  int GetObject(int size, void* out) const { return ::GetObjectW(m_hObject, size, out); }
  BOOL CreateStockObject(int index) { return Attach(::GetStockObject(index)); }

  // A non-owning wrapper that lives until the message loop is next idle.
  static CGdiObject* FromHandle(HGDIOBJ h);
};

// Keeps a temporary wrapper until FwDeleteTempObjects.
void FwKeepTempGdi(CGdiObject* obj);
template <class T>
T* TempGdi(HGDIOBJ h) {
  if (!h) return nullptr;
  T* t = new T;
  t->m_hObject = h;
  FwKeepTempGdi(t);
  return t;
}

class CPen : public CGdiObject {
 public:
  CPen() = default;
  CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
  BOOL CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }
  operator HPEN() const { return (HPEN)m_hObject; }
  static CPen* FromHandle(HPEN h) { return TempGdi<CPen>(h); }
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
  BOOL CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }
  BOOL CreatePatternBrush(class CBitmap* bitmap);
  BOOL CreateSysColorBrush(int index) { return Attach(::GetSysColorBrush(index)); }
  operator HBRUSH() const { return (HBRUSH)m_hObject; }
  static CBrush* FromHandle(HBRUSH h) { return TempGdi<CBrush>(h); }
};

class CFont : public CGdiObject {
 public:
  BOOL CreateFontIndirect(const LOGFONTW* lf) { return Attach(::CreateFontIndirectW(lf)); }
  // Face name in a char text; height in logical units as LOGFONT has it.
  BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                  BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                  BYTE pitchAndFamily, const char* face);
  BOOL CreatePointFont(int tenthsOfPoint, const char* face, class CDC* dc = nullptr);
  int GetLogFont(LOGFONTW* lf) const { return GetObject(sizeof(*lf), lf); }
  operator HFONT() const { return (HFONT)m_hObject; }
  static CFont* FromHandle(HFONT h) { return TempGdi<CFont>(h); }
};

class CBitmap : public CGdiObject {
 public:
  BOOL LoadBitmap(UINT id);
  BOOL CreateCompatibleBitmap(class CDC* dc, int w, int h);
  BOOL CreateBitmap(int w, int h, UINT planes, UINT bitsPerPixel, const void* bits) {
    return Attach(::CreateBitmap(w, h, planes, bitsPerPixel, bits));
  }
  int GetBitmap(BITMAP* bm) const { return GetObject(sizeof(*bm), bm); }
  CSize GetSize() const;
  operator HBITMAP() const { return (HBITMAP)m_hObject; }
  static CBitmap* FromHandle(HBITMAP h) { return TempGdi<CBitmap>(h); }
};

class CRgn : public CGdiObject {
 public:
  BOOL CreateRectRgn(int l, int t, int r, int b) { return Attach(::CreateRectRgn(l, t, r, b)); }
  BOOL CreateRectRgnIndirect(LPCRECT r) { return Attach(::CreateRectRgnIndirect(r)); }
  BOOL CreateEllipticRgn(int l, int t, int r, int b) { return Attach(::CreateEllipticRgn(l, t, r, b)); }
  BOOL CreateRoundRectRgn(int l, int t, int r, int b, int w, int h) {
    return Attach(::CreateRoundRectRgn(l, t, r, b, w, h));
  }
  int CombineRgn(const CRgn* a, const CRgn* b, int mode) {
    return ::CombineRgn((HRGN)m_hObject, (HRGN)a->m_hObject, b ? (HRGN)b->m_hObject : nullptr, mode);
  }
  BOOL PtInRegion(POINT p) const { return ::PtInRegion((HRGN)m_hObject, p.x, p.y); }
  int GetRgnBox(LPRECT r) const { return ::GetRgnBox((HRGN)m_hObject, r); }
  operator HRGN() const { return (HRGN)m_hObject; }
  static CRgn* FromHandle(HRGN h) { return TempGdi<CRgn>(h); }
};

class CDC {
 public:
  CDC() = default;
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC();

  HDC m_hDC = nullptr;
  HDC m_hAttribDC = nullptr;
  BOOL m_bPrinting = FALSE;

  operator HDC() const { return m_hDC; }
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL Attach(HDC h);
  HDC Detach();
  BOOL CreateCompatibleDC(CDC* dc);
  BOOL DeleteDC();
  BOOL IsPrinting() const { return m_bPrinting; }
  static CDC* FromHandle(HDC h);

  HGDIOBJ SelectObject(HGDIOBJ obj) { return ::SelectObject(m_hDC, obj); }
  CPen* SelectObject(CPen* p) { return CPen::FromHandle((HPEN)::SelectObject(m_hDC, p->m_hObject)); }
  CBrush* SelectObject(CBrush* b) { return CBrush::FromHandle((HBRUSH)::SelectObject(m_hDC, b->m_hObject)); }
  CFont* SelectObject(CFont* f) { return CFont::FromHandle((HFONT)::SelectObject(m_hDC, f->m_hObject)); }
  CBitmap* SelectObject(CBitmap* b) { return CBitmap::FromHandle((HBITMAP)::SelectObject(m_hDC, b->m_hObject)); }
  CGdiObject* SelectStockObject(int index) {
    return CGdiObject::FromHandle(::SelectObject(m_hDC, ::GetStockObject(index)));
  }
  int SelectClipRgn(CRgn* rgn) { return ::SelectClipRgn(m_hDC, rgn ? (HRGN)rgn->m_hObject : nullptr); }
  int ExcludeClipRect(int l, int t, int r, int b) { return ::ExcludeClipRect(m_hDC, l, t, r, b); }
  int ExcludeClipRect(LPCRECT r) { return ::ExcludeClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int IntersectClipRect(LPCRECT r) { return ::IntersectClipRect(m_hDC, r->left, r->top, r->right, r->bottom); }
  int GetClipBox(LPRECT r) const { return ::GetClipBox(m_hDC, r); }

  COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
  COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
  COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
  COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  UINT SetTextAlign(UINT align) { return ::SetTextAlign(m_hDC, align); }
  int SetStretchBltMode(int mode) { return ::SetStretchBltMode(m_hDC, mode); }
  CPoint SetWindowOrg(int x, int y) {
    POINT p;
    ::SetWindowOrgEx(m_hDC, x, y, &p);
    return p;
  }
  CPoint SetViewportOrg(int x, int y) {
    POINT p;
    ::SetViewportOrgEx(m_hDC, x, y, &p);
    return p;
  }
  int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hAttribDC ? m_hAttribDC : m_hDC, index); }
  int SaveDC() { return ::SaveDC(m_hDC); }
  BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }

  // Texts are shown through the wide calls (see fw_string.h).
  BOOL TextOut(int x, int y, const CString& s);
  int DrawText(const CString& s, LPRECT r, UINT format);
  CSize GetTextExtent(const CString& s) const;
  BOOL GetTextMetrics(TEXTMETRICW* tm) const { return ::GetTextMetricsW(m_hDC, tm); }

  void FillSolidRect(LPCRECT r, COLORREF c);
  void FillSolidRect(int x, int y, int w, int h, COLORREF c) {
    CRect r(x, y, x + w, y + h);
    FillSolidRect(&r, c);
  }
  void FillRect(LPCRECT r, CBrush* b) { ::FillRect(m_hDC, r, (HBRUSH)b->m_hObject); }
  void FrameRect(LPCRECT r, CBrush* b) { ::FrameRect(m_hDC, r, (HBRUSH)b->m_hObject); }
  void Draw3dRect(LPCRECT r, COLORREF topLeft, COLORREF bottomRight);
  BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
  BOOL Rectangle(LPCRECT r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
  BOOL RoundRect(LPCRECT r, POINT p) { return ::RoundRect(m_hDC, r->left, r->top, r->right, r->bottom, p.x, p.y); }
  BOOL Ellipse(LPCRECT r) { return ::Ellipse(m_hDC, r->left, r->top, r->right, r->bottom); }
  BOOL Polygon(const POINT* pts, int n) { return ::Polygon(m_hDC, pts, n); }
  CPoint MoveTo(int x, int y) {
    POINT p;
    ::MoveToEx(m_hDC, x, y, &p);
    return p;
  }
  BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
  BOOL DrawIconEx(int x, int y, HICON icon, int w, int h) {
    return ::DrawIconEx(m_hDC, x, y, icon, w, h, 0, nullptr, DI_NORMAL);
  }
  BOOL DrawState(CPoint p, CSize s, HICON icon, UINT flags, HBRUSH brush = nullptr) {
    return ::DrawStateW(m_hDC, brush, nullptr, (LPARAM)icon, 0, p.x, p.y, s.cx, s.cy, flags | DST_ICON);
  }
  BOOL DrawFocusRect(LPCRECT r) { return ::DrawFocusRect(m_hDC, r); }
  BOOL DrawEdge(LPRECT r, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, r, edge, flags); }
  BOOL BitBlt(int x, int y, int w, int h, CDC* src, int sx, int sy, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, w, h, src ? src->m_hDC : nullptr, sx, sy, rop);
  }
  BOOL StretchBlt(int x, int y, int w, int h, CDC* src, int sx, int sy, int sw, int sh, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, w, h, src->m_hDC, sx, sy, sw, sh, rop);
  }
  COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
  COLORREF SetPixel(int x, int y, COLORREF c) { return ::SetPixel(m_hDC, x, y, c); }

 protected:
  bool m_owned = false;  // made by CreateCompatibleDC: deleted with the object
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};

class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* wnd);
  ~CClientDC() override;

 private:
  HWND m_hWnd;
};

class CWindowDC : public CDC {
 public:
  explicit CWindowDC(CWnd* wnd);
  ~CWindowDC() override;

 private:
  HWND m_hWnd;
};

// Temporary wrappers (CGdiObject::FromHandle, CDC::FromHandle, CWnd::FromHandle)
// are freed here; the message loops call it when they are idle.
void FwDeleteTempObjects();

}  // namespace orva::fw
