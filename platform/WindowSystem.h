#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Geometry.h"
#include "platform/Messages.h"
#include "platform/Window.h"

namespace platform {

class Display;
class HidSystem;

// A message taken from a thread's queue.
struct Message {
  WindowHandle window;  // null for a thread message (WM_QUIT)
  MessageId id = WM_NULL;
  WParam wParam = 0;
  LParam lParam = 0;
  std::shared_ptr<void> payload;  // keeps what lParam points at alive (device notices)
  std::uint64_t registration = 0;  // the device notification that posted it; 0 for other messages
};

enum class MouseButton { Left, Right };

// A window's registration for HID interface arrival and removal notices. Unregisters when it is
// destroyed. Once Unregister() has returned, no notice reaches the window any more, not even one
// that was queued before.
class DeviceNotification {
 public:
  DeviceNotification() = default;
  DeviceNotification(DeviceNotification&& other) noexcept;
  DeviceNotification& operator=(DeviceNotification&& other) noexcept;
  ~DeviceNotification() { Unregister(); }

  bool IsRegistered() const { return id_ != 0; }
  void Unregister();

  struct Registry;  // internal to the window system

 private:
  friend class WindowSystem;
  DeviceNotification(std::shared_ptr<Registry> registry, std::uint64_t id)
      : registry_(std::move(registry)), id_(id) {}
  std::shared_ptr<Registry> registry_;
  std::uint64_t id_ = 0;
};

// The windows of the program, their message queues, timers, painting and input.
//
// Each thread that uses windows gets a message queue when it first needs one. A queue holds sent
// messages, posted messages (input included), a quit flag, the thread's timers and the paint
// requests of the top-level windows it owns. Taking a message serves, in this order: sent
// messages (handled at once), posted messages, quit, painting (handled at once), timers due.
// Every wait is a Condition wait on the system's clock, so virtual time only passes while the
// thread is blocked. WM_TIMER and WM_MOUSEHOVER are generated only when the owner thread asks for
// a message, never while it is blocked elsewhere.
//
// Painting: each top-level window owns a Surface of its size. A paint of a tree paints the
// invalid windows (erase first, then paint) parent before children, children in z-order bottom to
// top, into that surface through a Canvas, on the owner thread, and then tells the Display to
// present the surface.
class WindowSystem {
 public:
  // `hid`, when given, is subscribed to (HidSystem::SetEventHandler) for device notifications
  // until the system is destroyed. The display gets the system attached for input.
  WindowSystem(Clock& clock, Display& display, HidSystem* hid = nullptr);
  ~WindowSystem();
  WindowSystem(const WindowSystem&) = delete;
  WindowSystem& operator=(const WindowSystem&) = delete;

  Clock& GetClock() const;
  Display& GetDisplay() const;

  // Messages by handle, from any thread. PostMessage returns false when the window does not
  // exist or its owner thread has ended. SendMessage returns 0 in those cases.
  bool PostMessage(WindowHandle window, MessageId message, WParam wParam = 0, LParam lParam = 0);
  LResult SendMessage(WindowHandle window, MessageId message, WParam wParam = 0, LParam lParam = 0);
  bool IsWindow(WindowHandle window) const;

  // The calling thread's queue.
  // Asks the thread's message loops to end: the next message taken is WM_QUIT with `exitCode`.
  void PostQuitMessage(int exitCode);
  // Waits for the next message. Returns false for WM_QUIT (the quit request is consumed).
  bool GetMessage(Message& message);
  // Like GetMessage without waiting: true when a message (WM_QUIT included) was taken, false
  // when nothing is ready. With `remove` false a WM_QUIT stays pending and a posted message
  // stays queued.
  bool PeekMessage(Message& message, bool remove = true);
  // Hands a message to its window's handler (on this thread; the window must belong to it).
  LResult DispatchMessage(const Message& message);
  // GetMessage/DispatchMessage until WM_QUIT; returns its exit code.
  int RunMessageLoop();
  // Handles everything that is ready now (sent, posted, painting, timers due) without waiting;
  // a WM_QUIT is left pending. Returns false when a quit is pending.
  bool ProcessPendingMessages();

  // Windows by name and tree.
  // A visible or hidden top-level window whose class and title match (nullopt matches any);
  // the topmost match first.
  WindowHandle FindWindow(std::optional<std::u16string_view> className,
                          std::optional<std::u16string_view> title) const;
  std::vector<WindowHandle> TopLevelWindows() const;  // topmost first
  std::vector<WindowHandle> Children(WindowHandle parent) const;  // bottom of the z-order first
  WindowHandle FindChild(WindowHandle parent, int id) const;  // a direct child by control id
  Window* Lookup(WindowHandle window) const;  // the object; use it on the owner thread only
  std::optional<Rect> ScreenRectOf(WindowHandle window) const;
  std::u16string TitleOf(WindowHandle window) const;
  bool IsSeen(WindowHandle window) const;  // visible along with all its ancestors

  // The window that gets keyboard input: the topmost visible top-level window brought to the
  // front or shown last.
  WindowHandle ActiveWindow() const;
  bool BringToFront(WindowHandle window);
  WindowHandle Capture() const;
  void ReleaseCapture();

  // Registers `window` for HID interface arrival and removal notices: WM_DEVICECHANGE with
  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and a DeviceInterfaceNotice, posted to the
  // window's owner thread. Not registered when the window does not exist.
  DeviceNotification RegisterDeviceNotification(const Window& window);

  // Input from the display backend (any thread; never blocks on the clock). Points are in screen
  // coordinates. Mouse input goes to the deepest visible, enabled window under the pointer (or
  // to the capture); keys go to the active window.
  void InputMouseMove(Point screen);
  void InputMouseButton(MouseButton button, bool down, Point screen);
  void InputMouseLeave();  // the pointer left every window of ours
  void InputKey(std::uint32_t virtualKey, bool down, bool alt = false);
  void InputCloseRequest(WindowHandle topLevel);  // the window manager's close: SC_CLOSE

  struct Core;  // internal: the shared state of the implementation

 private:
  friend class Window;
  friend struct WindowSystemAccess;
  std::shared_ptr<Core> core_;
};

}  // namespace platform
