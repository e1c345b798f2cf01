#pragma once

#include "platform/Canvas.h"
#include "platform/Geometry.h"
#include "platform/Surface.h"

namespace platform {

// Block transfers onto a canvas with the semantics window painting expects from the classic
// raster operations. Destination coordinates are client coordinates of the canvas; nothing is
// written outside the canvas clip. Source rectangles are in source pixels; the parts of a source
// rectangle that lie outside the source surface are skipped (their destination pixels stay as
// they were). A zero or negative width or height draws nothing (no mirroring).

// The colour that colour-keyed copies treat as see-through: RGB(255, 0, 255).
inline constexpr ColorRef kTransparentColor = Rgb(255, 0, 255);

// Copies width x height pixels from `source` at (sx, sy) to (x, y): a plain SRCCOPY blit.
void Copy(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx, int sy);

// Stretches the source rectangle (sx, sy, sw, sh) onto the destination rectangle (x, y, width,
// height) by nearest-neighbour sampling (every destination pixel takes the source pixel under its
// centre; colours are never mixed).
void Stretch(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx, int sy,
             int sw, int sh);

// Like Stretch, but source pixels of exactly `key` are not drawn, so the destination shows
// through them. Only the exact colour is skipped: RGB(254, 0, 255) is drawn.
void CopyColorKeyed(const Canvas& canvas, int x, int y, int width, int height, const Surface& source, int sx,
                    int sy, int sw, int sh, ColorRef key = kTransparentColor);

// Fills `rect` (client coordinates) with `color`.
void FillRect(const Canvas& canvas, const Rect& rect, ColorRef color);

}  // namespace platform
