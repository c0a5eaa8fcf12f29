#pragma once
// CePoint, CeSize, CeRect: the platform's point and rectangle (and a size) as
// values with the usual arithmetic. A rectangle includes its left and top edges
// and excludes its right and bottom ones; it is empty when it has no width or
// no height. All inline; no window is involved.

#include <algorithm>

#include "platform/window_system.h"

namespace toolkit {

struct SIZE {
  int cx = 0;
  int cy = 0;
};

struct CeSize : SIZE {
  constexpr CeSize() = default;
  constexpr CeSize(int x, int y) : SIZE{x, y} {}
  constexpr CeSize(const SIZE& s) : SIZE(s) {}  // NOLINT: a value type converts freely

  friend constexpr bool operator==(const CeSize& a, const CeSize& b) { return a.cx == b.cx && a.cy == b.cy; }
  constexpr CeSize& operator+=(const SIZE& s) {
    cx += s.cx;
    cy += s.cy;
    return *this;
  }
  constexpr CeSize& operator-=(const SIZE& s) {
    cx -= s.cx;
    cy -= s.cy;
    return *this;
  }
  friend constexpr CeSize operator+(CeSize a, const SIZE& b) { return a += b; }
  friend constexpr CeSize operator-(CeSize a, const SIZE& b) { return a -= b; }
  constexpr CeSize operator-() const { return {-cx, -cy}; }
};

struct CePoint : platform::POINT {
  constexpr CePoint() = default;
  constexpr CePoint(int px, int py) : platform::POINT{px, py} {}
  constexpr CePoint(const platform::POINT& p) : platform::POINT(p) {}  // NOLINT
  constexpr explicit CePoint(const SIZE& s) : platform::POINT{s.cx, s.cy} {}

  constexpr void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  constexpr void Offset(const SIZE& s) { Offset(s.cx, s.cy); }

  friend constexpr bool operator==(const CePoint& a, const CePoint& b) { return a.x == b.x && a.y == b.y; }
  constexpr CePoint& operator+=(const SIZE& s) {
    Offset(s);
    return *this;
  }
  constexpr CePoint& operator-=(const SIZE& s) {
    Offset(-s.cx, -s.cy);
    return *this;
  }
  friend constexpr CePoint operator+(CePoint p, const SIZE& s) { return p += s; }
  friend constexpr CePoint operator-(CePoint p, const SIZE& s) { return p -= s; }
  // The distance from b to a.
  friend constexpr CeSize operator-(const CePoint& a, const CePoint& b) { return {a.x - b.x, a.y - b.y}; }
  constexpr CePoint operator-() const { return {-x, -y}; }
};

struct CeRect : platform::RECT {
  constexpr CeRect() = default;
  constexpr CeRect(int l, int t, int r, int b) : platform::RECT{l, t, r, b} {}
  constexpr CeRect(const platform::RECT& r) : platform::RECT(r) {}  // NOLINT
  constexpr CeRect(const platform::POINT& top_left, const SIZE& size)
      : platform::RECT{top_left.x, top_left.y, top_left.x + size.cx, top_left.y + size.cy} {}
  constexpr CeRect(const platform::POINT& top_left, const platform::POINT& bottom_right)
      : platform::RECT{top_left.x, top_left.y, bottom_right.x, bottom_right.y} {}

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr CeSize Size() const { return {Width(), Height()}; }
  constexpr CePoint TopLeft() const { return {left, top}; }
  constexpr CePoint BottomRight() const { return {right, bottom}; }
  // Rounds towards the top left, as integer halves do.
  constexpr CePoint CenterPoint() const { return {left + Width() / 2, top + Height() / 2}; }
  constexpr bool IsRectEmpty() const { return Width() <= 0 || Height() <= 0; }
  constexpr bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  constexpr bool PtInRect(const platform::POINT& p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }

  constexpr void SetRect(int l, int t, int r, int b) { *this = CeRect(l, t, r, b); }
  constexpr void SetRectEmpty() { SetRect(0, 0, 0, 0); }
  constexpr void OffsetRect(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  constexpr void OffsetRect(const SIZE& s) { OffsetRect(s.cx, s.cy); }
  constexpr void InflateRect(int l, int t, int r, int b) {
    left -= l;
    top -= t;
    right += r;
    bottom += b;
  }
  constexpr void InflateRect(int dx, int dy) { InflateRect(dx, dy, dx, dy); }
  constexpr void InflateRect(const SIZE& s) { InflateRect(s.cx, s.cy); }
  constexpr void DeflateRect(int l, int t, int r, int b) { InflateRect(-l, -t, -r, -b); }
  constexpr void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  constexpr void DeflateRect(const SIZE& s) { InflateRect(-s.cx, -s.cy); }
  // Swaps edges given the wrong way round.
  constexpr void NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
  }
  // The common part of a and b; empty (all zero) and false when they do not overlap.
  constexpr bool IntersectRect(const platform::RECT& a, const platform::RECT& b) {
    CeRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
             std::min(a.bottom, b.bottom));
    if (r.IsRectEmpty() || CeRect(a).IsRectEmpty() || CeRect(b).IsRectEmpty()) {
      SetRectEmpty();
      return false;
    }
    *this = r;
    return true;
  }
  // The smallest rectangle holding a and b; an empty one adds nothing. False
  // (and all zero) when both are empty.
  constexpr bool UnionRect(const platform::RECT& a, const platform::RECT& b) {
    bool a_empty = CeRect(a).IsRectEmpty(), b_empty = CeRect(b).IsRectEmpty();
    if (a_empty && b_empty) {
      SetRectEmpty();
      return false;
    }
    if (a_empty) {
      *this = b;
      return true;
    }
    if (b_empty) {
      *this = a;
      return true;
    }
    SetRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom));
    return true;
  }

  friend constexpr bool operator==(const CeRect& a, const CeRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
  }
  constexpr CeRect& operator+=(const SIZE& s) {
    OffsetRect(s);
    return *this;
  }
  constexpr CeRect& operator-=(const SIZE& s) {
    OffsetRect(-s.cx, -s.cy);
    return *this;
  }
  constexpr CeRect& operator&=(const platform::RECT& r) {
    IntersectRect(*this, r);
    return *this;
  }
  constexpr CeRect& operator|=(const platform::RECT& r) {
    UnionRect(*this, r);
    return *this;
  }
  friend constexpr CeRect operator+(CeRect r, const SIZE& s) { return r += s; }
  friend constexpr CeRect operator-(CeRect r, const SIZE& s) { return r -= s; }
  friend constexpr CeRect operator&(CeRect a, const platform::RECT& b) { return a &= b; }
  friend constexpr CeRect operator|(CeRect a, const platform::RECT& b) { return a |= b; }
};

}  // namespace toolkit
