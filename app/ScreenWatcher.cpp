#include "app/ScreenWatcher.h"

#include <cstdio>
#include <filesystem>

#include "localization/TranslateText.h"
#include "platform/PngWriter.h"
#include "ui/dialogs/CWaitingDlg.h"

ScreenWatcher::ScreenWatcher(Settings settings) : settings_(std::move(settings)) {
  if (settings_.report != nullptr) report_.emplace(*settings_.report);
}

void ScreenWatcher::Painted(platform::WindowHandle window, const platform::Surface& image) {
  platform::WindowSystem* windows = windows_.load();
  if (windows == nullptr) return;
  auto* box = dynamic_cast<CBitmapMessageBox*>(windows->Lookup(window));
  if (box == nullptr) return;
  const std::string dialog = dynamic_cast<CWaitingDlg*>(box) != nullptr ? "waiting" : "upgrade";
  const ScreenDescription screen = box->DescribeScreen();

  if (report_) report_->Painted(box, dialog, screen);
  if (!settings_.screenshotsDir.empty()) SaveScreenshot(window.value, dialog, screen, image);
  if (settings_.pressActions) PressOfferedAction(window.value, *box, screen);
}

void ScreenWatcher::SaveScreenshot(std::uint64_t window, const std::string& dialog,
                                   const ScreenDescription& screen, const platform::Surface& image) {
  // One picture per screen: progress alone does not make a new one, or a transfer would leave
  // hundreds of nearly equal files.
  ScreenDescription withoutProgress = screen;
  withoutProgress.progress.reset();
  const std::string line = ScreenReport::FormatLine(dialog, withoutProgress);
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lastSaved_[window] == line) return;
    lastSaved_[window] = line;
    char name[64];
    std::snprintf(name, sizeof name, "%03d-%s.png", ++screenshotCount_, dialog.c_str());
    path = (std::filesystem::path(settings_.screenshotsDir) / name).string();
  }
  std::string error;
  if (!platform::WritePng(image, path, &error)) {
    std::fprintf(stderr, "rirud-uvariza: screenshot not saved: %s\n", error.c_str());
  }
}

void ScreenWatcher::PressOfferedAction(std::uint64_t window, CBitmapMessageBox& box,
                                       const ScreenDescription& screen) {
  const std::u16string upgrade = TranslateText(u"UPGRADE NOW");
  const std::u16string exit = TranslateText(u"EXIT");
  if (screen.buttons.empty()) return;
  const std::u16string& caption = screen.buttons.front();
  if (caption != upgrade && caption != exit) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pressed_[window] == caption) return;
    pressed_[window] = caption;
  }
  ButtonItem* item = box.ButtonAt(0);
  if (item == nullptr) return;
  const platform::Rect r = item->button.ScreenRect();
  const platform::Point centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  platform::WindowSystem* windows = windows_.load();
  windows->InputMouseMove(centre);
  windows->InputMouseButton(platform::MouseButton::Left, true, centre);
  windows->InputMouseButton(platform::MouseButton::Left, false, centre);
}
