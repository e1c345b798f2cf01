#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Surface.h"
#include "platform/Window.h"

namespace platform {

// The display on a real screen through SDL2: each shown top-level window is a borderless SDL
// window of its size at its screen position (dialogs centre themselves on the screen), shaped by
// the colour key RGB(255, 0, 255) where the window system allows it, plain borderless otherwise.
// Mouse and keyboard input of those windows go into the window system; the window manager's
// close button is the system close.
//
// SDL runs on a thread of its own, and every SDL call happens there: the Display calls only
// queue work for it. That thread keeps to the real clock whatever clock the windows use.
class SdlDisplay final : public Display {
 public:
  SdlDisplay();
  ~SdlDisplay() override;
  SdlDisplay(const SdlDisplay&) = delete;
  SdlDisplay& operator=(const SdlDisplay&) = delete;

  // Starts the SDL thread and opens the video subsystem. Returns false, with a message in
  // `error`, when there is no screen to open (no X server or Wayland compositor).
  bool Start(std::string* error = nullptr);

  // Display.
  void Attach(WindowSystem* system) override;
  Rect ScreenBounds() override;
  void TopLevelShown(WindowHandle window, const Rect& screenRect, std::u16string_view title) override;
  void TopLevelHidden(WindowHandle window) override;
  void TopLevelMoved(WindowHandle window, const Rect& screenRect) override;
  void TopLevelDestroyed(WindowHandle window) override;
  void Present(WindowHandle window, const Surface& image, const Rect& screenRect) override;
  void Raise(WindowHandle window) override;

  // Waits (in real time, at most `timeout` ms) until `window` has been put on the screen at least
  // `count` times. For tests and screenshots.
  bool WaitUntilPresented(WindowHandle window, int count, Millis timeout);
  // Whether the SDL window of `window` is shaped by the colour key (false when it is plain).
  bool IsShaped(WindowHandle window);

 private:
  struct Command;
  struct SdlWindow;

  void Queue(Command command);
  void Run();  // the SDL thread

  RealClock clock_;
  std::mutex mutex_;
  Condition changed_{clock_};  // start-up finished, a present done
  std::deque<Command> commands_;
  bool started_ = false;
  bool startFailed_ = false;
  bool stopping_ = false;
  std::string startError_;
  Rect screen_{0, 0, 1024, 768};
  std::uint32_t wakeEvent_ = 0;
  std::map<std::uint64_t, int> presented_;   // window -> presents done
  std::map<std::uint64_t, bool> shaped_;

  std::mutex systemMutex_;  // held while input is handed to the system, so Attach(nullptr) waits
  WindowSystem* system_ = nullptr;

  Thread thread_;
};

}  // namespace platform
