#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineHost.h"
#include "engine/ProgressTarget.h"
#include "engine/ResultShown.h"
#include "engine/UpgradeEngine.h"
#include "hid/ReportFrame.h"
#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedHidSystem.h"

// Records what the engine asks of its windows, in order. Dialogs end with code 0 unless
// `onDialog` answers; may be called from several threads.
class RecordingHost final : public EngineHost {
 public:
  int RunUpgradeDialog(const UpgradeDialogSetup& setup) override {
    std::function<int(const UpgradeDialogSetup&)> answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dialogs_.push_back(setup);
      events_.push_back(std::string("dialog:") + ScreenName(setup.screen));
      answer = onDialog;
    }
    return answer ? answer(setup) : 0;
  }

  void StartWaitingDialog(const WaitingDialogSetup& setup) override {
    std::function<void(const WaitingDialogSetup&)> start;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waitings_.push_back(setup);
      events_.push_back("waiting");
      start = onWaiting;
    }
    if (start) start(setup);
  }

  void PostQuit() override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back("quit");
  }

  std::intptr_t SendToWindow(const std::u16string& className, const std::u16string& title,
                             unsigned message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool tray = className == u"RirudUvarizaTrayClass" && title == u"RirudUvarizaTrayHwnd";
    events_.push_back((tray ? "tray:" : "window:") + std::to_string(message));
    return trayAnswer;
  }

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<UpgradeDialogSetup> Dialogs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dialogs_;
  }
  std::vector<WaitingDialogSetup> Waitings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waitings_;
  }

  // Set before the engine runs.
  std::function<int(const UpgradeDialogSetup&)> onDialog;
  std::function<void(const WaitingDialogSetup&)> onWaiting;
  std::intptr_t trayAnswer = 0;

 private:
  static const char* ScreenName(UpgradeScreen screen) {
    switch (screen) {
      case UpgradeScreen::NotFound: return "NotFound";
      case UpgradeScreen::UpToDate: return "UpToDate";
      case UpgradeScreen::Offer: return "Offer";
    }
    return "?";
  }

  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<UpgradeDialogSetup> dialogs_;
  std::vector<WaitingDialogSetup> waitings_;
};

class RecordingProgress final : public ProgressTarget {
 public:
  void SetProgressRange(std::uint16_t low, std::uint16_t high) override {
    ranges.push_back({low, high});
    if (onRange) onRange();
  }
  void ProgressStep() override {
    ++steps;
    if (onStep) onStep(steps);
  }

  std::vector<ProgressRange> ranges;
  int steps = 0;
  std::function<void()> onRange;
  std::function<void(int)> onStep;  // called with the number of steps so far
};

// The English table, as on an English desktop: its texts differ from the program's literals
// (trailing blanks, capitals), so a test sees that every text went through the lookup.
inline void SelectEnglishTable() {
  TranslationSettings.EmbeddedTableSelected = true;
  TranslationSettings.SelectedTableId = 4000;
  ResetTranslationTableForTesting();
}

// A machine on the virtual clock with the engine on top.
struct EngineRig {
  EngineRig() {
    ResetReplyCheckForTesting();
    resultShown = false;
    progressTarget = nullptr;
    SelectEnglishTable();
  }

  std::shared_ptr<platform::SimulatedDevice> Plug(platform::SimulatedGroup group,
                                                  std::uint16_t productId,
                                                  platform::SimulatedVersion firmware,
                                                  std::uint8_t modelCode) {
    platform::SimulatedDeviceConfig config;
    config.group = group;
    config.productId = productId;
    config.firmware = firmware;
    config.modelCode = modelCode;
    return hid.Plug(config);
  }

  platform::VirtualClock clock;
  platform::SimulatedHidSystem hid{clock};
  RecordingHost host;
  UpgradeEngine engine{clock, hid, host};
};

inline std::vector<platform::SimulatedRequest> RequestsWithCode(
    const platform::SimulatedDevice& device, std::uint8_t code) {
  std::vector<platform::SimulatedRequest> found;
  for (const auto& request : device.Requests()) {
    if (request.code == code) found.push_back(request);
  }
  return found;
}
