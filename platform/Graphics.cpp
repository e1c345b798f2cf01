#include "platform/Graphics.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// The destination rectangle in surface coordinates, clipped to the canvas.
Rect ClippedTarget(const Canvas& canvas, int x, int y, int width, int height) {
  if (canvas.surface == nullptr || width <= 0 || height <= 0) return {};
  return canvas.ToSurface(Rect{x, y, x + width, y + height}).Intersect(canvas.surface->Bounds());
}

// For every destination index 0..count-1 of a span stretched from `sourceCount` source pixels
// starting at `sourceStart`, the source index under the destination pixel's centre, or -1 when
// that lies outside 0..sourceLimit-1.
std::vector<int> SampleMap(int count, int sourceStart, int sourceCount, int sourceLimit, int firstIndex,
                           int lastIndex) {
  std::vector<int> map(static_cast<std::size_t>(lastIndex - firstIndex), -1);
  for (int i = firstIndex; i < lastIndex; ++i) {
    const std::int64_t offset = ((2 * static_cast<std::int64_t>(i) + 1) * sourceCount) / (2 * std::int64_t{count});
    const std::int64_t s = sourceStart + offset;
    if (s >= 0 && s < sourceLimit) map[static_cast<std::size_t>(i - firstIndex)] = static_cast<int>(s);
  }
  return map;
}

// Shared by Stretch and CopyColorKeyed: nearest-neighbour resampling with an optional key.
void Resample(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx, int sy,
              int sw, int sh, const std::uint32_t* key) {
  if (sw <= 0 || sh <= 0) return;
  const Rect target = ClippedTarget(canvas, x, y, width, height);
  if (target.IsEmpty() || source.IsEmpty()) return;
  // Reading and writing one surface: sample from a snapshot so no written pixel is read again.
  Surface snapshot;
  const Surface* from = &source;
  if (&source == canvas.surface) {
    snapshot = source;
    from = &snapshot;
  }
  const int left = x + canvas.origin.x;
  const int top = y + canvas.origin.y;
  const std::vector<int> columns =
      SampleMap(width, sx, sw, from->Width(), target.left - left, target.right - left);
  const std::vector<int> rows = SampleMap(height, sy, sh, from->Height(), target.top - top, target.bottom - top);
  for (int r = 0; r < target.Height(); ++r) {
    const int sourceRow = rows[static_cast<std::size_t>(r)];
    if (sourceRow < 0) continue;
    const std::uint32_t* in = from->Row(sourceRow);
    std::uint32_t* out = canvas.surface->Row(target.top + r) + target.left;
    for (int c = 0; c < target.Width(); ++c) {
      const int sourceColumn = columns[static_cast<std::size_t>(c)];
      if (sourceColumn < 0) continue;
      const std::uint32_t pixel = in[sourceColumn] & 0x00FFFFFFu;
      if (key != nullptr && pixel == *key) continue;
      out[c] = pixel;
    }
  }
}

}  // namespace

void Copy(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx, int sy) {
  Rect target = ClippedTarget(canvas, x, y, width, height);
  // Keep only the part whose source lies inside the source surface.
  const int dx = x + canvas.origin.x - sx;
  const int dy = y + canvas.origin.y - sy;
  target = target.Intersect(source.Bounds().Offset(dx, dy));
  if (target.IsEmpty()) return;
  const std::size_t rowBytes = static_cast<std::size_t>(target.Width()) * sizeof(std::uint32_t);
  const auto copyRow = [&](int row) {
    std::memmove(canvas.surface->Row(row) + target.left, source.Row(row - dy) + (target.left - dx), rowBytes);
  };
  // Within one surface, copy rows in the order that never overwrites a row still to be read.
  if (&source == canvas.surface && dy > 0) {
    for (int row = target.bottom - 1; row >= target.top; --row) copyRow(row);
  } else {
    for (int row = target.top; row < target.bottom; ++row) copyRow(row);
  }
}

void Stretch(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx, int sy,
             int sw, int sh) {
  Resample(canvas, x, y, width, height, source, sx, sy, sw, sh, nullptr);
}

void CopyColorKeyed(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx,
                    int sy, int sw, int sh, ColorRef key) {
  const std::uint32_t keyPixel = PixelOf(key);
  Resample(canvas, x, y, width, height, source, sx, sy, sw, sh, &keyPixel);
}

void FillRect(const Canvas& canvas, const Rect& rect, ColorRef color) {
  if (canvas.surface == nullptr) return;
  canvas.surface->Fill(canvas.ToSurface(rect), PixelOf(color));
}

}  // namespace platform
