#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Canvas.h"
#include "platform/Clock.h"
#include "platform/Geometry.h"
#include "platform/Messages.h"

namespace platform {

class WindowSystem;

// Names a window for as long as it exists. Handles are never reused, so a handle of a destroyed
// window stays invalid: messages to it are dropped and queries on it fail.
struct WindowHandle {
  std::uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(WindowHandle, WindowHandle) = default;
};

// A window: a rectangle in a tree of windows with a message handler.
//
// Threads. Every window of a tree belongs to the thread that created the tree's top-level
// window (its owner thread): all its messages are handled there, and its painting happens there,
// whichever thread created the child or asks for the paint. Every operation below may be called
// from any thread. Operations that must run handlers (Send, Update, Destroy) are carried out on
// the owner thread; a caller on another thread waits for that like a cross-thread send, and while
// it waits it still handles messages sent to its own windows.
//
// Lifetime. The object owns its window: the destructor destroys it. A class that overrides
// HandleMessage should call Destroy() in its own destructor, so that no message reaches the
// derived part while it is torn down. Destroying a window destroys its children (their objects
// stay, without a window). A window can be created again after it was destroyed.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Creates a top-level window at `screenRect`, owned by the calling thread. Hidden unless
  // `style` has WS_VISIBLE. Returns false when this object already has a window.
  bool CreateTopLevel(WindowSystem& system, std::u16string_view className, std::u16string_view title,
                      std::uint32_t style, const Rect& screenRect);

  // Creates a child of `parent` at `rect` (parent client coordinates) with control id `id`, on top
  // of its siblings. Returns false when `parent` has no window or this object already has one.
  bool CreateChild(Window& parent, std::u16string_view className, std::u16string_view title,
                   std::uint32_t style, const Rect& rect, int id);

  // Sends WM_DESTROY to the window and then to its children, and removes them. Nothing when the
  // window does not exist.
  void Destroy();

  bool Exists() const { return handle_.load(std::memory_order_acquire) != 0; }
  WindowHandle Handle() const { return WindowHandle{handle_.load(std::memory_order_acquire)}; }
  // The system the window was last created in; null before the first creation.
  WindowSystem* System() const { return system_.load(std::memory_order_acquire); }

  // Attributes. Queries on a window that does not exist return empty values.
  WindowHandle Parent() const;
  int Id() const;
  std::u16string ClassName() const;
  std::u16string Title() const;
  void SetTitle(std::u16string_view title);
  std::uint32_t Style() const;
  void SetStyle(std::uint32_t style);  // visibility and enabled state keep their own calls

  // Geometry. WindowRect is in the parent's client coordinates (screen coordinates for a
  // top-level window); the client rectangle is (0, 0, width, height).
  Rect WindowRect() const;
  Rect ClientRect() const;
  Rect ScreenRect() const;
  Point ClientToScreen(Point p) const;
  Point ScreenToClient(Point p) const;

  // Moves and/or resizes the window (SWP_NOMOVE keeps the position, SWP_NOSIZE the size) and,
  // without SWP_NOZORDER, puts it on top of its siblings. SWP_SHOWWINDOW / SWP_HIDEWINDOW show or
  // hide it as well. The uncovered and the newly covered areas are repainted.
  void SetPosition(int x, int y, int width, int height, std::uint32_t flags);

  // Visibility: IsVisible is true when the window and all its ancestors are shown; ShowWindow
  // changes the window's own flag.
  bool IsVisible() const;
  void ShowWindow(int command);  // SW_HIDE or SW_SHOW
  // Disabled windows get no mouse input (it goes to their parent) and no keyboard input.
  bool IsEnabled() const;
  void Enable(bool enable);

  // Painting. Invalidating marks (part of) the client area for repainting (with WM_ERASEBKGND
  // first when `erase`); invalidations coalesce until the owner thread's message loop paints.
  // Update paints at once what is invalid.
  void Invalidate(bool erase = true);
  void InvalidateRect(const Rect& rect, bool erase);
  void Update();
  // The part of the client area waiting to be painted; empty when none.
  Rect UpdateRect() const;

  // Messages to this window.
  LResult Send(MessageId message, WParam wParam = 0, LParam lParam = 0);
  bool Post(MessageId message, WParam wParam = 0, LParam lParam = 0);

  // Timers: WM_TIMER with wParam `id` every `interval` ms (at least 10) on the clock, generated
  // only by the owner thread's message loop, when nothing else is waiting, one at a time: a loop
  // that was blocked elsewhere for several intervals gets one WM_TIMER, not a burst. Setting an
  // id again restarts it. SetTimer returns `id` (0 when
  // the window does not exist or `id` is 0).
  std::uintptr_t SetTimer(std::uintptr_t id, Millis interval);
  bool KillTimer(std::uintptr_t id);

  // Mouse. While a window has the capture, all mouse input goes to it (in its client
  // coordinates), wherever the pointer is.
  void SetCapture();
  bool HasCapture() const;
  // TME_HOVER: WM_MOUSEHOVER once the pointer has rested on the window for `hoverTime` ms (on the
  // clock; HOVER_DEFAULT for 400 ms). TME_LEAVE: WM_MOUSELEAVE when the pointer leaves the
  // window (at once if it is not over it now). Either message ends the request for hover; leave
  // ends both. TME_CANCEL with the flags cancels them. Returns false when the window does not
  // exist.
  bool TrackMouseEvent(std::uint32_t flags, Millis hoverTime = HOVER_DEFAULT);

  // Brings the window's top-level window to the front and makes it the active window (keyboard
  // input goes to it).
  void BringToFront();

 protected:
  // The message handler. The default hands every message to DefaultProcessing; overrides
  // handle what they want and pass the rest on (to DefaultProcessing or their base class).
  virtual LResult HandleMessage(MessageId message, WParam wParam, LParam lParam);

  // What every window does with a message nobody handled:
  //  WM_ERASEBKGND: returns 0 (nothing drawn); WM_PAINT: nothing;
  //  WM_SETREDRAW: switches the window's painting off (FALSE) or on (TRUE);
  //  WM_SYSKEYDOWN with VK_F4: posts WM_SYSCOMMAND SC_CLOSE;
  //  WM_SYSCOMMAND SC_CLOSE: sends WM_CLOSE; WM_CLOSE: destroys the window.
  LResult DefaultProcessing(MessageId message, WParam wParam, LParam lParam);

  // The canvas in wParam of WM_PAINT and WM_ERASEBKGND: the top-level window's surface with the
  // origin at this window's client origin, clipped to what is being painted.
  static Canvas& CanvasOf(WParam wParam) { return *reinterpret_cast<Canvas*>(wParam); }

 private:
  friend class WindowSystem;
  std::atomic<WindowSystem*> system_{nullptr};
  std::atomic<std::uint64_t> handle_{0};
};

}  // namespace platform
