#pragma once

#include "platform/Geometry.h"
#include "platform/Surface.h"

namespace platform {

// Where a window draws: a surface seen through an origin (the window's client origin in the
// surface) and a clip rectangle (in surface coordinates). Drawing operations take coordinates in
// the window's client space and never touch pixels outside `clip`.
struct Canvas {
  Surface* surface = nullptr;
  Point origin;
  Rect clip;

  static Canvas Whole(Surface& s) { return Canvas{&s, {0, 0}, s.Bounds()}; }

  // The canvas of a child area at `rect` (client coordinates of this canvas), clipped to it.
  Canvas Sub(const Rect& rect) const {
    const Rect inSurface = rect.Offset(origin.x, origin.y);
    return Canvas{surface, {inSurface.left, inSurface.top}, clip.Intersect(inSurface)};
  }

  // The client rectangle `r` in surface coordinates, clipped.
  Rect ToSurface(const Rect& r) const { return r.Offset(origin.x, origin.y).Intersect(clip); }
};

}  // namespace platform
