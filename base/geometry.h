#pragma once
// Rect, Point and Size: signed 32-bit, with the few helpers layout needs.

#include <algorithm>
#include <cstdint>

struct Point {
  int32_t x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int32_t width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;

  static Rect fromPointSize(Point p, Size s) { return {p.x, p.y, p.x + s.width, p.y + s.height}; }
  bool operator==(const Rect&) const = default;

  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  Rect offset(int32_t dx, int32_t dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  Rect inset(const Rect& m) const { return {left + m.left, top + m.top, right - m.right, bottom - m.bottom}; }
  Rect outset(const Rect& m) const { return {left - m.left, top - m.top, right + m.right, bottom + m.bottom}; }
  // All four are 0 unless the overlap is non-empty.
  Rect intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right), std::min(bottom, o.bottom)};
    if (r.left < r.right && r.top < r.bottom) return r;
    return {};
  }
  bool contains(Point p) const { return left <= p.x && p.x < right && top <= p.y && p.y < bottom; }
};

// A point from a mouse message's lParam: low and high 16 bits, each sign-extended.
inline Point pointFromLParam(intptr_t lParam) {
  return {int32_t(int16_t(lParam & 0xFFFF)), int32_t(int16_t((lParam >> 16) & 0xFFFF))};
}

// A colour (red in the low byte) scaled channel by channel by p percent.
inline uint32_t scaleColour(uint32_t colour, uint32_t percent) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t c = (colour >> shift) & 0xFF;
    out |= std::min<uint32_t>(255, (percent * c + 50) / 100) << shift;
  }
  return out;
}
