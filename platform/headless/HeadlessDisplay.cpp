#include "platform/headless/HeadlessDisplay.h"

#include <algorithm>

#include "platform/PngWriter.h"
#include "platform/WindowSystem.h"

namespace platform {

HeadlessDisplay::HeadlessDisplay(Clock& clock, Rect screen) : clock_(clock), screen_(screen), changed_(clock) {}

HeadlessDisplay::~HeadlessDisplay() = default;

void HeadlessDisplay::Changed() {
  ++changes_;
  changed_.NotifyAll();
}

WindowSystem* HeadlessDisplay::AttachedSystem() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return system_;
}

// ----------------------------------------------------------------------------------------------
// Display

void HeadlessDisplay::Attach(WindowSystem* system) {
  std::lock_guard<std::mutex> lock(mutex_);
  system_ = system;
  if (!system) {
    windows_.clear();
    zOrder_.clear();
  }
  Changed();
}

void HeadlessDisplay::TopLevelShown(WindowHandle window, const Rect& screenRect, std::u16string_view title) {
  std::lock_guard<std::mutex> lock(mutex_);
  Shown& shown = windows_[window.value];
  shown.rect = screenRect;
  shown.title = title;
  shown.visible = true;
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window.value), zOrder_.end());
  zOrder_.insert(zOrder_.begin(), window.value);
  Changed();
}

void HeadlessDisplay::TopLevelHidden(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  if (it == windows_.end()) return;
  it->second.visible = false;
  Changed();
}

void HeadlessDisplay::TopLevelMoved(WindowHandle window, const Rect& screenRect) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  if (it == windows_.end()) return;
  it->second.rect = screenRect;
  Changed();
}

void HeadlessDisplay::TopLevelDestroyed(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  windows_.erase(window.value);
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window.value), zOrder_.end());
  Changed();
}

void HeadlessDisplay::Present(WindowHandle window, const Surface& image, const Rect& screenRect) {
  std::shared_ptr<const PaintObserver> observer;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Shown& shown = windows_[window.value];
    shown.image = image;
    shown.rect = screenRect;
    ++shown.presents;
    observer = observer_;
    Changed();
  }
  if (observer && *observer) (*observer)(window, image);
}

void HeadlessDisplay::Raise(WindowHandle window) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!windows_.count(window.value)) return;
  zOrder_.erase(std::remove(zOrder_.begin(), zOrder_.end(), window.value), zOrder_.end());
  zOrder_.insert(zOrder_.begin(), window.value);
  Changed();
}

void HeadlessDisplay::SetPaintObserver(PaintObserver observer) {
  std::lock_guard<std::mutex> lock(mutex_);
  observer_ = observer ? std::make_shared<const PaintObserver>(std::move(observer)) : nullptr;
}

// ----------------------------------------------------------------------------------------------
// Input

void HeadlessDisplay::MoveMouse(Point screen) {
  if (WindowSystem* system = AttachedSystem()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pointer_ = screen;
    }
    system->InputMouseMove(screen);
  }
}

void HeadlessDisplay::MoveMouse(WindowHandle window, Point client) {
  WindowSystem* system = AttachedSystem();
  if (!system) return;
  if (auto rect = system->ScreenRectOf(window)) MoveMouse(Point{rect->left + client.x, rect->top + client.y});
}

void HeadlessDisplay::PressMouse(Point screen, MouseButton button) {
  if (WindowSystem* system = AttachedSystem()) system->InputMouseButton(button, true, screen);
}

void HeadlessDisplay::ReleaseMouse(Point screen, MouseButton button) {
  if (WindowSystem* system = AttachedSystem()) system->InputMouseButton(button, false, screen);
}

void HeadlessDisplay::Click(Point screen) {
  MoveMouse(screen);
  PressMouse(screen);
  ReleaseMouse(screen);
}

void HeadlessDisplay::Click(WindowHandle window, Point client) {
  WindowSystem* system = AttachedSystem();
  if (!system) return;
  if (auto rect = system->ScreenRectOf(window)) Click(Point{rect->left + client.x, rect->top + client.y});
}

void HeadlessDisplay::LeaveScreen() {
  if (WindowSystem* system = AttachedSystem()) system->InputMouseLeave();
}

void HeadlessDisplay::KeyDown(std::uint32_t virtualKey, bool alt) {
  if (WindowSystem* system = AttachedSystem()) system->InputKey(virtualKey, true, alt);
}

void HeadlessDisplay::KeyUp(std::uint32_t virtualKey, bool alt) {
  if (WindowSystem* system = AttachedSystem()) system->InputKey(virtualKey, false, alt);
}

void HeadlessDisplay::PressKey(std::uint32_t virtualKey, bool alt) {
  KeyDown(virtualKey, alt);
  KeyUp(virtualKey, alt);
}

void HeadlessDisplay::RequestClose(WindowHandle window) {
  if (WindowSystem* system = AttachedSystem()) system->InputCloseRequest(window);
}

// ----------------------------------------------------------------------------------------------
// What is on the screen

std::vector<WindowHandle> HeadlessDisplay::ShownWindows() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<WindowHandle> shown;
  for (std::uint64_t handle : zOrder_) {
    auto it = windows_.find(handle);
    if (it != windows_.end() && it->second.visible) shown.push_back(WindowHandle{handle});
  }
  return shown;
}

bool HeadlessDisplay::IsShown(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  return it != windows_.end() && it->second.visible;
}

std::optional<Rect> HeadlessDisplay::ScreenRectOf(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  if (it == windows_.end()) return std::nullopt;
  return it->second.rect;
}

std::u16string HeadlessDisplay::TitleOf(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  return it == windows_.end() ? std::u16string{} : it->second.title;
}

Surface HeadlessDisplay::ImageOf(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  return it == windows_.end() ? Surface{} : it->second.image;
}

int HeadlessDisplay::PresentCount(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(window.value);
  return it == windows_.end() ? 0 : it->second.presents;
}

Surface HeadlessDisplay::Screenshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Surface screen(screen_.Width(), screen_.Height(), 0);
  for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
    const Shown& shown = windows_.at(*it);
    if (!shown.visible || shown.image.IsEmpty()) continue;
    for (int y = 0; y < shown.image.Height(); ++y) {
      const int sy = shown.rect.top - screen_.top + y;
      if (sy < 0 || sy >= screen.Height()) continue;
      for (int x = 0; x < shown.image.Width(); ++x) {
        const int sx = shown.rect.left - screen_.left + x;
        if (sx >= 0 && sx < screen.Width()) screen.SetPixel(sx, sy, shown.image.Pixel(x, y));
      }
    }
  }
  return screen;
}

bool HeadlessDisplay::SavePng(WindowHandle window, const std::string& path, std::string* error) const {
  return WritePng(ImageOf(window), path, error);
}

bool HeadlessDisplay::SaveScreenshotPng(const std::string& path, std::string* error) const {
  return WritePng(Screenshot(), path, error);
}

bool HeadlessDisplay::WaitUntil(const std::function<bool()>& condition, Millis timeout, Millis pollInterval) {
  const Millis deadline = clock_.Now() + timeout;
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen = changes_;
    }
    if (condition()) return true;
    const Millis now = clock_.Now();
    if (now >= deadline) return false;
    const Millis wakeAt = std::min(deadline, now + std::max<Millis>(pollInterval, 1));
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.WaitUntil(lock, wakeAt, [&] { return changes_ != seen; });
  }
}

}  // namespace platform
