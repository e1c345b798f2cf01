#pragma once

#include <cstdint>
#include <vector>

#include "platform/Geometry.h"

namespace platform {

// A 32-bit pixel surface. Pixels are stored as 0x00RRGGBB, row by row from the top.
class Surface {
 public:
  Surface() = default;
  Surface(int width, int height, std::uint32_t fill = 0);

  int Width() const { return width_; }
  int Height() const { return height_; }
  Rect Bounds() const { return {0, 0, width_, height_}; }
  bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }

  std::uint32_t* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  const std::uint32_t* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  std::uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
  void SetPixel(int x, int y, std::uint32_t value) { Row(y)[x] = value; }
  const std::vector<std::uint32_t>& Pixels() const { return pixels_; }

  void Fill(const Rect& rect, std::uint32_t value);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

// Pixel value (0x00RRGGBB) of a COLORREF (0x00BBGGRR).
constexpr std::uint32_t PixelOf(ColorRef c) {
  return (static_cast<std::uint32_t>(RedOf(c)) << 16) | (static_cast<std::uint32_t>(GreenOf(c)) << 8) | BlueOf(c);
}

}  // namespace platform
