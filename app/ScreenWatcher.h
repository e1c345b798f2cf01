#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "app/ScreenReport.h"
#include "platform/Surface.h"
#include "platform/WindowSystem.h"

// Watches every painted screen of the skinned dialogs for the program's options:
//  --headless     prints each screen as a JSON line (ScreenReport);
//  --screenshots  saves each new screen as a PNG file in a folder;
//  --yes          presses the offered action ("UPGRADE NOW"), and "EXIT" on an information or
//                 result screen, with a mouse click on the button as a user would.
// Called on the thread that painted the window, which owns it, so the dialog may be read there.
class ScreenWatcher {
 public:
  struct Settings {
    std::ostream* report = nullptr;  // null: no JSON lines
    std::string screenshotsDir;      // empty: no screenshots
    bool pressActions = false;
  };

  explicit ScreenWatcher(Settings settings);

  // The window system whose dialogs are watched; set it before any window is shown.
  void Watch(platform::WindowSystem* windows) { windows_.store(windows); }

  void Painted(platform::WindowHandle window, const platform::Surface& image);

 private:
  void SaveScreenshot(std::uint64_t window, const std::string& dialog, const ScreenDescription& screen,
                      const platform::Surface& image);
  void PressOfferedAction(std::uint64_t window, CBitmapMessageBox& box, const ScreenDescription& screen);

  std::atomic<platform::WindowSystem*> windows_{nullptr};
  Settings settings_;
  std::optional<ScreenReport> report_;
  std::mutex mutex_;
  std::map<std::uint64_t, std::string> lastSaved_;    // window -> screen saved last
  std::map<std::uint64_t, std::u16string> pressed_;   // window -> caption pressed last
  int screenshotCount_ = 0;
};
