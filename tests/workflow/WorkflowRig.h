#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/CRirudUvarizaDlg.h"
#include "engine/ProgressTarget.h"
#include "engine/ResultShown.h"
#include "hid/ReportFrame.h"
#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/Clock.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/sim/SimulatedHidSystem.h"
#include "ui/dialogs/CBitmapMessageBox.h"
#include "ui/dialogs/CUpgradeDlg.h"
#include "ui/dialogs/CWaitingDlg.h"

namespace workflow_test {

using platform::Millis;

// The text the program shows for an English literal in the selected table.
inline std::u16string T(const char16_t* english) { return TranslateText(english); }

inline void SelectTable(int tableId) {
  TranslationSettings.EmbeddedTableSelected = true;
  TranslationSettings.SelectedTableId = tableId;
  ResetTranslationTableForTesting();
}

// One screen as the user saw it after a paint, with where its buttons are.
struct Shot {
  platform::WindowHandle window;
  ScreenDescription screen;
  Millis time = 0;                     // when it first looked like this
  std::optional<platform::Point> action;  // centre of the first button item
  std::optional<platform::Point> close;   // centre of the close button
  int highestProgress = -1;            // the furthest the progress bar got on this screen
};

inline bool SameScreen(const ScreenDescription& a, const ScreenDescription& b) {
  return a.heading == b.heading && a.status == b.status && a.message == b.message && a.body == b.body &&
         a.buttons == b.buttons && a.closeButton == b.closeButton && a.progress.has_value() == b.progress.has_value();
}

inline std::string Utf8(const std::optional<std::u16string>& text) {
  if (!text) return "-";
  std::string out;
  for (char16_t c : *text) {
    if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += "<U+" + std::to_string(static_cast<unsigned>(c)) + ">";
    }
  }
  return out;
}

// A machine on the virtual clock: simulated devices, a headless screen, the window system, and
// the program's main object run on the test's thread while a user thread reads the screens and
// clicks.
class WorkflowTest : public ::testing::Test {
 protected:
  static constexpr Millis kPatience = 10 * 60 * 1000;  // of clock time, for any one screen

  void SetUp() override {
    ResetReplyCheckForTesting();
    resultShown = false;
    progressTarget = nullptr;
    transferRunning = 0;
    transferResult = 0;
    waitingDialogReady = 0;
    UiFontFace = kDefaultUiFontFace;
    SelectTable(4000);
    display.SetPaintObserver([this](platform::WindowHandle window, const platform::Surface&) { Record(window); });
  }

  void TearDown() override {
    display.SetPaintObserver({});
    hid.Shutdown();
  }

  std::shared_ptr<platform::SimulatedDevice> Plug(platform::SimulatedGroup group, std::uint16_t productId,
                                                  platform::SimulatedVersion firmware, std::uint8_t modelCode,
                                                  const platform::SimulatedFaults& faults = {}) {
    platform::SimulatedDeviceConfig config;
    config.group = group;
    config.productId = productId;
    config.firmware = firmware;
    config.modelCode = modelCode;
    config.faults = faults;
    return hid.Plug(config);
  }

  // Runs the program with `user` acting on a thread of its own, as InitInstance runs the main
  // object: construct (the whole workflow), DoModal, destroy. `inspect` sees the object before it
  // is destroyed.
  void RunProgram(std::function<void()> user,
                  const std::function<void(CRirudUvarizaDlg&)>& inspect = {}) {
    platform::Thread userThread = clock.StartThread([this, user = std::move(user)] {
      user();
      userDone = true;
    });
    {
      CRirudUvarizaDlg program(windows, hid);
      platform::Message message;
      quitPendingAfterConstruction = windows.PeekMessage(message, false) && message.id == platform::WM_QUIT;
      modalResult = program.DoModal();
      if (inspect) inspect(program);
    }
    userThread.Join();
    // The quit request the run leaves behind would end the next run's screens at once.
    platform::Message leftover;
    while (windows.PeekMessage(leftover, true)) {
    }
  }

  // --- For the user thread ---

  // Waits for the next screen (after those already taken) that `matches`, and takes it.
  Shot NextScreen(const std::function<bool(const Shot&)>& matches, const char* what) {
    std::optional<Shot> found;
    const bool seen = display.WaitUntil(
        [&] {
          std::lock_guard<std::mutex> lock(mutex);
          for (std::size_t i = taken; i < recorded.size(); ++i) {
            if (matches(recorded[i])) {
              found = recorded[i];
              taken = i + 1;
              return true;
            }
          }
          return false;
        },
        kPatience);
    if (!seen) {
      ADD_FAILURE() << "never saw: " << what << "\nscreens:\n" << Transcript();
      BailOut();
      return Shot{};
    }
    return *found;
  }

  Shot NextScreenWithBody(const char16_t* english) {
    const std::u16string body = T(english);
    return NextScreen([&](const Shot& s) { return s.screen.body == body; }, "a screen with that body");
  }
  Shot NextScreenWithMessage(const char16_t* english) {
    const std::u16string message = T(english);
    return NextScreen([&](const Shot& s) { return s.screen.message == message; }, "a screen with that message");
  }

  void ClickAction(const Shot& shot) {
    ASSERT_TRUE(shot.action.has_value());
    display.Click(shot.window, *shot.action);
  }
  void ClickClose(const Shot& shot) {
    ASSERT_TRUE(shot.close.has_value());
    display.Click(shot.window, *shot.close);
  }

  // Lets clock time pass for the user thread.
  void Idle(Millis ms) { clock.SleepFor(ms); }

  // When a scenario went wrong: close whatever is open so the program can end.
  void BailOut() {
    for (int round = 0; round < 20; ++round) {
      const auto shown = display.ShownWindows();
      if (shown.empty()) return;
      for (platform::WindowHandle window : shown) {
        windows.PostMessage(window, platform::WM_COMMAND, platform::MakeWParam(CBitmapMessageBox::kCloseCommand, 0));
      }
      Idle(100);
    }
  }

  // --- After the run ---

  std::vector<Shot> Shots() const {
    std::lock_guard<std::mutex> lock(mutex);
    return recorded;
  }

  // Screens that are neither the transfer's progress nor other passing states: the texts in the
  // order the user saw them.
  std::string Transcript() const {
    std::string text;
    for (const Shot& s : Shots()) {
      text += "[" + std::to_string(s.time) + " ms] heading=" + Utf8(s.screen.heading) +
              " status=" + Utf8(s.screen.status) + " message=" + Utf8(s.screen.message) +
              " body=" + Utf8(s.screen.body) + " buttons=";
      for (const auto& b : s.screen.buttons) text += Utf8(b) + ";";
      text += s.screen.closeButton ? " close" : "";
      text += s.screen.progress ? " progress<=" + std::to_string(s.highestProgress) : "";
      text += "\n";
    }
    return text;
  }

  platform::VirtualClock clock;
  platform::SimulatedHidSystem hid{clock};
  platform::HeadlessDisplay display{clock, platform::Rect{0, 0, 1280, 800}};
  platform::WindowSystem windows{clock, display, &hid};

  bool quitPendingAfterConstruction = false;
  int modalResult = 0;
  std::atomic<bool> userDone{false};

 private:
  // On the painting thread, which owns the window.
  void Record(platform::WindowHandle window) {
    auto* box = dynamic_cast<CBitmapMessageBox*>(windows.Lookup(window));
    if (box == nullptr) return;
    Shot shot{window, box->DescribeScreen(), clock.Now(), std::nullopt, std::nullopt, -1};
    if (const ButtonItem* item = box->ButtonAt(0); item != nullptr && item->button.Exists()) {
      shot.action = Centre(item->button.WindowRect());
    }
    if (box->CloseButton().Exists()) shot.close = Centre(box->CloseButton().WindowRect());
    if (shot.screen.progress) shot.highestProgress = shot.screen.progress->position;

    std::lock_guard<std::mutex> lock(mutex);
    for (auto it = recorded.rbegin(); it != recorded.rend(); ++it) {
      if (it->window != window) continue;
      if (SameScreen(it->screen, shot.screen)) {
        it->highestProgress = std::max(it->highestProgress, shot.highestProgress);
        it->screen.progress = shot.screen.progress;
        return;
      }
      break;
    }
    recorded.push_back(shot);
  }

  static platform::Point Centre(const platform::Rect& r) {
    return platform::Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  mutable std::mutex mutex;
  std::vector<Shot> recorded;
  std::size_t taken = 0;
};

}  // namespace workflow_test
