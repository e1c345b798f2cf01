#pragma once

#include <functional>

#include "platform/Display.h"

// A display that passes everything on to another and, after each present, tells an observer
// which top-level window was painted and with what image. The program's --headless report,
// --screenshots and --yes watch the screens through it, whichever display shows them.
class ObservedDisplay final : public platform::Display {
 public:
  using Observer = std::function<void(platform::WindowHandle window, const platform::Surface& image)>;

  ObservedDisplay(platform::Display& inner, Observer observer)
      : inner_(inner), observer_(std::move(observer)) {}

  void Attach(platform::WindowSystem* system) override { inner_.Attach(system); }
  platform::Rect ScreenBounds() override { return inner_.ScreenBounds(); }
  void TopLevelShown(platform::WindowHandle window, const platform::Rect& screenRect,
                     std::u16string_view title) override {
    inner_.TopLevelShown(window, screenRect, title);
  }
  void TopLevelHidden(platform::WindowHandle window) override { inner_.TopLevelHidden(window); }
  void TopLevelMoved(platform::WindowHandle window, const platform::Rect& screenRect) override {
    inner_.TopLevelMoved(window, screenRect);
  }
  void TopLevelDestroyed(platform::WindowHandle window) override { inner_.TopLevelDestroyed(window); }
  void Present(platform::WindowHandle window, const platform::Surface& image,
               const platform::Rect& screenRect) override {
    inner_.Present(window, image, screenRect);
    if (observer_) observer_(window, image);
  }
  void Raise(platform::WindowHandle window) override { inner_.Raise(window); }

 private:
  platform::Display& inner_;
  Observer observer_;
};
