#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/EngineHost.h"
#include "engine/FirmwareVersion.h"
#include "engine/ProgressTarget.h"
#include "platform/Clock.h"
#include "platform/HidSystem.h"
#include "platform/Messages.h"
#include "platform/WindowSystem.h"
#include "ui/controls/CBitmapProgressBarCtrl.h"
#include "ui/dialogs/CBitmapMessageBox.h"

class UpgradeEngine;
struct DeviceLink;

// The transfer worker's outcome, handed to the dialog's thread. The worker stores the result
// first and then clears the running flag with release order; the watch timer reads the flag
// with acquire order and only then the result.
extern std::atomic<int> transferRunning;
extern std::atomic<int> transferResult;

// Whether the version a device reports after an upgrade counts as raised over the version it
// first reported. With `packageVersionCounts`, reaching exactly the package's version counts
// too (a device that reported a newer version than the package at first can be brought back).
bool IsVersionRaised(const FirmwareVersion& now, const FirmwareVersion& first,
                     const FirmwareVersion& packageVersion, bool packageVersionCounts);

// The dialog that leads the user through everything: the not-found, up-to-date and offer
// screens, and after "UPGRADE NOW" the transfer with its progress bar, the wait for the
// restarting device and the result.
//
// Threads: the dialog, its timers, its device notifications and the reconnection run on the
// thread that calls DoModal. The transfer runs on a worker thread that replaces text slots,
// colours and the background through the base's locked setters and steps the progress bar.
// While the worker runs it is the only user of the device link; device notices that arrive in
// that time wait until it has finished.
class CUpgradeDlg : public CBitmapMessageBox, public ProgressTarget {
 public:
  static constexpr std::uintptr_t IDT_RECONNECT_POLL = 1136;
  static constexpr std::uintptr_t IDT_TRANSFER_WATCH = 1137;
  static constexpr int IDC_UPGRADE_PROGRESS = 1173;
  static constexpr int kActionCommand = 2181;
  static constexpr platform::Millis kPollIntervalMs = 2000;
  static constexpr platform::Millis kWatchIntervalMs = 500;
  static constexpr platform::Millis kGroupBSettleMs = 7000;
  static constexpr platform::Millis kGroupASettleMs = 20000;
  static constexpr platform::ColorRef kRed = 0x4000E5;
  static constexpr platform::ColorRef kWhite = 0xFFFFFF;
  static constexpr platform::ColorRef kGrey = 0x808080;

  CUpgradeDlg(platform::WindowSystem& system, platform::HidSystem& hidSystem);
  ~CUpgradeDlg() override;

  // Fills the dialog in one of its three configurations, ready for DoModal.
  void Configure(const UpgradeDialogSetup& setup);

  // ProgressTarget, called from the transfer worker.
  void SetProgressRange(std::uint16_t low, std::uint16_t high) override;
  void ProgressStep() override;

  // Old firmware (1.3.7 to 1.3.255, 1.4.7 to 1.4.255) does not restart by itself after a
  // transfer: the user has to unplug and reconnect the device.
  bool NeedsManualReplug() const;

  // The base's description plus the progress bar while it is seen.
  ScreenDescription DescribeScreen() const override;

  // Set by the creator before DoModal; used on the dialog's thread.
  UpgradeEngine* engine = nullptr;
  CBitmapProgressBarCtrl progressBar;
  int exitOnly = 1;  // 1: the action button ends the dialog; 0: it starts the upgrade
  DeviceLink* currentLink = nullptr;  // null on the not-found screen
  DeviceLink* linkB = nullptr;
  DeviceLink* linkA = nullptr;

  // Observations of the run (dialog thread).
  int UpgradeSucceeded() const { return upgradeSucceeded; }
  int StagesA() const { return stagesA; }
  int StagesB() const { return stagesB; }
  FirmwareVersion NewVersion() const { return newVersion; }

 protected:
  bool OnInitDialog() override;
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;

  // Starts `body` on a new thread; a thread that cannot be started comes back not joinable.
  virtual platform::Thread StartWorkerThread(std::function<void()> body);

 private:
  // What the reconnect query found.
  enum class QueryOutcome { NotCompleted, Failed, Raised, NotRaised };

  void StartUpgrade();
  void TransferWorker();
  void OnTimer(std::uintptr_t id);
  void OnWatchTimer();
  void OnPollTimer();
  platform::LResult OnDeviceChange(platform::WParam event, platform::DeviceInterfaceNotice* notice);
  void OnDeviceRemoved(const std::string& path);
  void OnDeviceArrived(const std::string& path);
  void ShowResult(bool success);
  // Between "UPGRADE NOW" and the result; device notices mean nothing on the other screens.
  bool UpgradeUnderWay() const;

  bool AnySupportedDevicePresent();
  QueryOutcome QueryNewVersion(bool packageVersionCounts);
  void SetMessage(const char16_t* english);
  void StartPollTimer();
  void EndWithItem(int index);

  platform::HidSystem& hidSystem;
  platform::Clock& clock;

  int upgradeSucceeded = 0;
  bool resultShownHere = false;  // a result screen is up: nothing may replace it
  bool transferPhase = false;    // from starting the worker until the watch timer saw it end
  std::uintptr_t pollTimer = 0;
  std::uintptr_t watchTimer = 0;
  platform::Rect progressRect;
  FirmwareVersion newVersion{};
  bool newVersionRead = false;   // newVersion came from a clean query, not left at zero
  bool awaitingRestart = false;  // the transfer is over and the device is awaited
  int stagesB = 0;
  int stagesA = 0;
  platform::DeviceNotification deviceNotify;
  // Notices that arrived while the worker used the link, handled when it has finished.
  std::vector<std::pair<platform::WParam, platform::DeviceInterfaceNotice>> deferredNotices;
  platform::Thread workerThread;
};
