#include "platform/sdl/X11Shape.h"

#include <SDL_syswm.h>
// X11 last: its macros (None, Bool, Status) must not reach other headers.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <vector>

namespace platform {

bool ShapeByColorKey(SDL_Window* window, const Surface& image, std::uint32_t key) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  ::Display* display = info.info.x11.display;
  const ::Window xwindow = info.info.x11.window;
  int eventBase = 0, errorBase = 0;
  if (!XShapeQueryExtension(display, &eventBase, &errorBase)) return false;

  // The visible part as runs of non-key pixels, row by row (y-x banded, as the server likes it).
  std::vector<XRectangle> runs;
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint32_t* row = image.Row(y);
    int x = 0;
    while (x < image.Width()) {
      while (x < image.Width() && (row[x] & 0x00FFFFFF) == key) ++x;
      const int start = x;
      while (x < image.Width() && (row[x] & 0x00FFFFFF) != key) ++x;
      if (x > start) {
        runs.push_back(XRectangle{static_cast<short>(start), static_cast<short>(y),
                                  static_cast<unsigned short>(x - start), 1});
      }
    }
  }
  XShapeCombineRectangles(display, xwindow, ShapeBounding, 0, 0, runs.data(), static_cast<int>(runs.size()), ShapeSet,
                          YXBanded);
  XFlush(display);
  return true;
}

}  // namespace platform
