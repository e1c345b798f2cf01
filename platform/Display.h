#pragma once

#include <string_view>

#include "platform/Geometry.h"
#include "platform/Surface.h"
#include "platform/Window.h"

namespace platform {

class WindowSystem;

// Where top-level windows are seen and where input comes from: a backend (headless, SDL).
//
// The window system calls these from whichever thread changes a window or paints it, never while
// it holds its own lock, so a backend may call back into the system (queries and Input*). The
// calls must not wait for long: a backend that needs its own thread queues the work. Input goes
// the other way: the backend calls WindowSystem::Input* with screen coordinates.
class Display {
 public:
  virtual ~Display() = default;

  // The system whose windows this display shows and which takes its input; null detaches.
  virtual void Attach(WindowSystem* system) = 0;

  // The screen's rectangle; top-level windows are placed within it (dialogs centred).
  virtual Rect ScreenBounds() = 0;

  virtual void TopLevelShown(WindowHandle window, const Rect& screenRect, std::u16string_view title) = 0;
  virtual void TopLevelHidden(WindowHandle window) = 0;
  virtual void TopLevelMoved(WindowHandle window, const Rect& screenRect) = 0;  // moved or resized
  virtual void TopLevelDestroyed(WindowHandle window) = 0;
  // The window's image after a paint. `image` is only valid during the call: copy what is kept.
  virtual void Present(WindowHandle window, const Surface& image, const Rect& screenRect) = 0;
  // The window comes to the front of the other top-level windows.
  virtual void Raise(WindowHandle window) = 0;
};

}  // namespace platform
