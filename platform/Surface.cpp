#include "platform/Surface.h"

namespace platform {

Surface::Surface(int width, int height, std::uint32_t fill)
    : width_(width > 0 ? width : 0),
      height_(height > 0 ? height : 0),
      pixels_(static_cast<std::size_t>(width_) * height_, fill) {}

void Surface::Fill(const Rect& rect, std::uint32_t value) {
  const Rect r = rect.Intersect(Bounds());
  for (int y = r.top; y < r.bottom; ++y) {
    std::uint32_t* row = Row(y);
    for (int x = r.left; x < r.right; ++x) row[x] = value;
  }
}

}  // namespace platform
