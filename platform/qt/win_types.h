// Small value types of the window layer: message words and window handles,
// colour words, points, sizes and rectangles with the old window system's
// conventions (a rectangle holds left <= x < right, top <= y < bottom). No Qt here.
#pragma once

#include <algorithm>
#include <cstdint>

using UINT = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BYTE = uint8_t;
using BOOL = int;
using UINT_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// A window handle: stays valid (as a value) after its window is gone;
// CWnd::FromHandle answers null for a handle whose window was destroyed.
struct WindowHandle;
using HWND = WindowHandle*;

// A window procedure; subclassing replaces a window's procedure and passes
// what it does not handle on to the one it replaced (CallWindowProc).
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr WORD LOWORD(uintptr_t v) {
  return static_cast<WORD>(v & 0xFFFF);
}
constexpr WORD HIWORD(uintptr_t v) {
  return static_cast<WORD>((v >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<int32_t>((static_cast<uint32_t>(lo) & 0xFFFF) |
                                                  (static_cast<uint32_t>(hi) << 16)));
}
// Signed coordinates packed in a long parameter.
constexpr int GET_X_LPARAM(LPARAM l) {
  return static_cast<int16_t>(LOWORD(l));
}
constexpr int GET_Y_LPARAM(LPARAM l) {
  return static_cast<int16_t>(HIWORD(l));
}

// A colour word: red in the low byte, then green, then blue.
using COLORREF = uint32_t;

constexpr COLORREF RGB(int red, int green, int blue) {
  return static_cast<COLORREF>((red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
}
constexpr int GetRValue(COLORREF c) {
  return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c) {
  return static_cast<int>((c >> 16) & 0xFF);
}
// The colour as 0xRRGGBB (the order of Qt's QRgb less alpha).
constexpr uint32_t ColorRefToRgb(COLORREF c) {
  return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}
constexpr COLORREF RgbToColorRef(uint32_t rgb) {
  return (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
}
// Marks a colour as an invalid result (a failed GetPixel).
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

struct CSize {
  int cx = 0;
  int cy = 0;
  constexpr CSize() = default;
  constexpr CSize(int x, int y) : cx(x), cy(y) {}
  friend constexpr bool operator==(const CSize&, const CSize&) = default;
};

struct CPoint {
  int x = 0;
  int y = 0;
  constexpr CPoint() = default;
  constexpr CPoint(int px, int py) : x(px), y(py) {}
  constexpr void Offset(int dx, int dy) {
    x += dx;
    y += dy;
  }
  constexpr CPoint operator+(CSize s) const { return {x + s.cx, y + s.cy}; }
  constexpr CPoint operator-(CSize s) const { return {x - s.cx, y - s.cy}; }
  constexpr CSize operator-(CPoint p) const { return {x - p.x, y - p.y}; }
  constexpr CPoint operator+(CPoint p) const { return {x + p.x, y + p.y}; }
  friend constexpr bool operator==(const CPoint&, const CPoint&) = default;
};

struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr CRect() = default;
  constexpr CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  constexpr CRect(CPoint topLeft, CSize size)
      : left(topLeft.x), top(topLeft.y), right(topLeft.x + size.cx), bottom(topLeft.y + size.cy) {}

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr CSize Size() const { return {Width(), Height()}; }
  constexpr CPoint TopLeft() const { return {left, top}; }
  constexpr CPoint BottomRight() const { return {right, bottom}; }
  constexpr CPoint CenterPoint() const { return {(left + right) / 2, (top + bottom) / 2}; }
  // Empty: no pixel inside (width or height 0 or less).
  constexpr bool IsRectEmpty() const { return right <= left || bottom <= top; }
  constexpr bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  constexpr bool PtInRect(CPoint p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  constexpr void SetRect(int l, int t, int r, int b) {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  constexpr void SetRectEmpty() { *this = CRect(); }
  constexpr void OffsetRect(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  constexpr void OffsetRect(CPoint p) { OffsetRect(p.x, p.y); }
  constexpr void InflateRect(int dx, int dy) {
    left -= dx;
    right += dx;
    top -= dy;
    bottom += dy;
  }
  constexpr void InflateRect(int l, int t, int r, int b) {
    left -= l;
    top -= t;
    right += r;
    bottom += b;
  }
  constexpr void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  constexpr void NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
  }
  // The overlap of a and b; an empty result is set to (0, 0, 0, 0) and false
  // is returned.
  constexpr bool IntersectRect(const CRect& a, const CRect& b) {
    CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom));
    if (r.IsRectEmpty()) {
      SetRectEmpty();
      return false;
    }
    *this = r;
    return true;
  }
  // The bounds of a and b; empty rectangles do not count.
  constexpr bool UnionRect(const CRect& a, const CRect& b) {
    if (a.IsRectEmpty()) {
      *this = b.IsRectEmpty() ? CRect() : b;
    } else if (b.IsRectEmpty()) {
      *this = a;
    } else {
      *this = CRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                    std::max(a.bottom, b.bottom));
    }
    return !IsRectEmpty();
  }
  friend constexpr bool operator==(const CRect&, const CRect&) = default;
};
