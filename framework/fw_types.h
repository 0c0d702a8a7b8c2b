// Points, sizes and rectangles over the Win32 records.
#pragma once
#include <windows.h>
#include <utility>

namespace orva::fw {

class CSize : public SIZE {
 public:
  CSize() { cx = cy = 0; }
  CSize(int x, int y) {
    cx = x;
    cy = y;
  }
  CSize(SIZE s) {
    cx = s.cx;
    cy = s.cy;
  }
  bool operator==(const SIZE& s) const { return cx == s.cx && cy == s.cy; }
  bool operator!=(const SIZE& s) const { return !(*this == s); }
};

class CPoint : public POINT {
 public:
  CPoint() { x = y = 0; }
  CPoint(int px, int py) {
    x = px;
    y = py;
  }
  CPoint(POINT p) {
    x = p.x;
    y = p.y;
  }
  explicit CPoint(LPARAM lp) {
    x = (short)LOWORD(lp);
    y = (short)HIWORD(lp);
  }
  void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  bool operator==(const POINT& p) const { return x == p.x && y == p.y; }
  bool operator!=(const POINT& p) const { return !(*this == p); }
  CPoint operator+(SIZE s) const { return CPoint(x + s.cx, y + s.cy); }
  CPoint operator-(SIZE s) const { return CPoint(x - s.cx, y - s.cy); }
  CSize operator-(POINT p) const { return CSize(x - p.x, y - p.y); }
};

class CRect : public RECT {
 public:
  CRect() { left = top = right = bottom = 0; }
  CRect(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  CRect(const RECT& r) { CopyRect(this, &r); }
  CRect(POINT p, SIZE s) {
    left = p.x;
    top = p.y;
    right = p.x + s.cx;
    bottom = p.y + s.cy;
  }
  CRect(POINT tl, POINT br) {
    left = tl.x;
    top = tl.y;
    right = br.x;
    bottom = br.y;
  }

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  CSize Size() const { return CSize(Width(), Height()); }
  CPoint& TopLeft() { return *reinterpret_cast<CPoint*>(&left); }
  CPoint& BottomRight() { return *reinterpret_cast<CPoint*>(&right); }
  CPoint TopLeft() const { return CPoint(left, top); }
  CPoint BottomRight() const { return CPoint(right, bottom); }
  CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
  bool IsRectEmpty() const { return ::IsRectEmpty(this) != 0; }
  bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool PtInRect(POINT p) const { return ::PtInRect(this, p) != 0; }
  void SetRect(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  void SetRectEmpty() { SetRect(0, 0, 0, 0); }
  void OffsetRect(int dx, int dy) { ::OffsetRect(this, dx, dy); }
  void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }
  void OffsetRect(SIZE s) { OffsetRect(s.cx, s.cy); }
  void MoveToXY(int x, int y) { OffsetRect(x - left, y - top); }
  void MoveToX(int x) { OffsetRect(x - left, 0); }
  void MoveToY(int y) { OffsetRect(0, y - top); }
  void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
  void InflateRect(int l, int t, int r, int b) {
    left -= l;
    top -= t;
    right += r;
    bottom += b;
  }
  void DeflateRect(int dx, int dy) { ::InflateRect(this, -dx, -dy); }
  void DeflateRect(int l, int t, int r, int b) {
    left += l;
    top += t;
    right -= r;
    bottom -= b;
  }
  void NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
  }
  bool IntersectRect(const RECT* a, const RECT* b) { return ::IntersectRect(this, a, b) != 0; }
  bool UnionRect(const RECT* a, const RECT* b) { return ::UnionRect(this, a, b) != 0; }
  bool operator==(const RECT& r) const { return ::EqualRect(this, &r) != 0; }
  bool operator!=(const RECT& r) const { return !(*this == r); }
  operator LPRECT() { return this; }
  operator LPCRECT() const { return this; }
};

}  // namespace orva::fw
