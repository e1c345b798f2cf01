#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Geometry.h"
#include "platform/Surface.h"
#include "platform/Window.h"
#include "platform/WindowSystem.h"

namespace platform {

// A display without a screen: top-level windows live in memory. Tests and the --headless mode
// drive it like a user (move, click, keys, close) and read what is on the screen (each window's
// last presented image, the whole screen composed, PNG files).
//
// Thread-safe: input may come from any thread; the observer runs on the painting thread.
class HeadlessDisplay final : public Display {
 public:
  explicit HeadlessDisplay(Clock& clock, Rect screen = Rect{0, 0, 1280, 800});
  ~HeadlessDisplay() override;

  // Display.
  void Attach(WindowSystem* system) override;
  Rect ScreenBounds() override { return screen_; }
  void TopLevelShown(WindowHandle window, const Rect& screenRect, std::u16string_view title) override;
  void TopLevelHidden(WindowHandle window) override;
  void TopLevelMoved(WindowHandle window, const Rect& screenRect) override;
  void TopLevelDestroyed(WindowHandle window) override;
  void Present(WindowHandle window, const Surface& image, const Rect& screenRect) override;
  void Raise(WindowHandle window) override;

  // Called after each paint of a top-level window, on the thread that painted it, with the image
  // just presented. Replaces the previous observer; an empty function removes it.
  using PaintObserver = std::function<void(WindowHandle window, const Surface& image)>;
  void SetPaintObserver(PaintObserver observer);

  // Input as a user gives it. Window points are client coordinates of `window`; they are turned
  // into screen points with the window's current position. Nothing happens without an attached
  // system (or for a window that does not exist).
  void MoveMouse(Point screen);
  void MoveMouse(WindowHandle window, Point client);
  void PressMouse(Point screen, MouseButton button = MouseButton::Left);
  void ReleaseMouse(Point screen, MouseButton button = MouseButton::Left);
  void Click(Point screen);                       // move, press, release
  void Click(WindowHandle window, Point client);
  void LeaveScreen();                             // the pointer leaves all windows
  void KeyDown(std::uint32_t virtualKey, bool alt = false);
  void KeyUp(std::uint32_t virtualKey, bool alt = false);
  void PressKey(std::uint32_t virtualKey, bool alt = false);  // down and up
  void RequestClose(WindowHandle window);         // the window manager's close button

  // What is on the screen.
  std::vector<WindowHandle> ShownWindows() const;  // topmost first
  bool IsShown(WindowHandle window) const;
  std::optional<Rect> ScreenRectOf(WindowHandle window) const;
  std::u16string TitleOf(WindowHandle window) const;
  Surface ImageOf(WindowHandle window) const;  // the last presented image; empty before the first
  int PresentCount(WindowHandle window) const;
  Surface Screenshot() const;  // the whole screen: shown windows over black, bottom to top
  bool SavePng(WindowHandle window, const std::string& path, std::string* error = nullptr) const;
  bool SaveScreenshotPng(const std::string& path, std::string* error = nullptr) const;

  // Waits on the clock until `condition` holds, re-checking it after every change on the screen
  // (show, hide, move, present, raise) and every `pollInterval` ms; gives up after `timeout` ms.
  // `condition` runs on the waiting thread without any lock held. Returns its last value.
  bool WaitUntil(const std::function<bool()>& condition, Millis timeout, Millis pollInterval = 10);

 private:
  struct Shown {
    Rect rect;
    std::u16string title;
    bool visible = false;
    Surface image;
    int presents = 0;
  };

  void Changed();  // caller holds mutex_
  WindowSystem* AttachedSystem() const;

  Clock& clock_;
  const Rect screen_;
  mutable std::mutex mutex_;
  Condition changed_;
  std::uint64_t changes_ = 0;
  WindowSystem* system_ = nullptr;
  std::map<std::uint64_t, Shown> windows_;
  std::vector<std::uint64_t> zOrder_;  // topmost first
  std::shared_ptr<const PaintObserver> observer_;
  Point pointer_;
};

}  // namespace platform
