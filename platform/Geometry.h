#pragma once

#include <cstdint>

namespace platform {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Half-open rectangle: left and top inside, right and bottom outside.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  Rect Intersect(const Rect& o) const;
  Rect Union(const Rect& o) const;  // the bounding rectangle; an empty side is ignored
  friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect Rect::Intersect(const Rect& o) const {
  Rect r{left > o.left ? left : o.left, top > o.top ? top : o.top,
         right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom};
  if (r.IsEmpty()) return {};
  return r;
}

inline Rect Rect::Union(const Rect& o) const {
  if (IsEmpty()) return o;
  if (o.IsEmpty()) return *this;
  return {left < o.left ? left : o.left, top < o.top ? top : o.top,
          right > o.right ? right : o.right, bottom > o.bottom ? bottom : o.bottom};
}

// A colour as the dialogs give it: 0x00BBGGRR.
using ColorRef = std::uint32_t;
constexpr ColorRef Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<ColorRef>(r) | (static_cast<ColorRef>(g) << 8) | (static_cast<ColorRef>(b) << 16);
}
constexpr std::uint8_t RedOf(ColorRef c) { return c & 0xFF; }
constexpr std::uint8_t GreenOf(ColorRef c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t BlueOf(ColorRef c) { return (c >> 16) & 0xFF; }

}  // namespace platform
