#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "engine/EngineHost.h"
#include "engine/FirmwareVersion.h"
#include "engine/ImageChoice.h"
#include "engine/ProgressTarget.h"
#include "engine/TransferPlan.h"
#include "hid/DeviceLink.h"
#include "hid/HidInterface.h"
#include "platform/Clock.h"
#include "platform/HidSystem.h"

// Finding the device, reading its version, choosing what to show, and flashing it.
//
// The main object of the application derives from this class; the dialogs it runs reach the
// engine and its two links through plain pointers. One routine works on a link at a time: the
// flow of the dialogs (detection, then the waiting dialog's query, then the transfer, then the
// reconnection) keeps them apart, so the links and the recorded versions take no lock.
class UpgradeEngine {
 public:
  UpgradeEngine(platform::Clock& clock, platform::HidSystem& hidSystem, EngineHost& host);
  virtual ~UpgradeEngine() = default;
  UpgradeEngine(const UpgradeEngine&) = delete;
  UpgradeEngine& operator=(const UpgradeEngine&) = delete;

  // Finds a supported device, unlocks it, queries it and shows the matching screen. Runs the
  // whole visible life of the program at start-up: DetectAndCheck(true, true, 0).
  void DetectAndCheck(bool showWaiting, bool queryNow, platform::Millis delayMs);

  // Find the restarted device of one group again, open and unlock it. The upgrade dialog
  // passes (false, false, ms).
  void ReconnectGroupA(bool showWaiting, bool queryNow, platform::Millis delayMs);
  void ReconnectGroupB(bool showWaiting, bool queryNow, platform::Millis delayMs);

  // The waiting dialog's retry: queries `link` again and checks the answer.
  bool QueryAndCheck(DeviceLink* link);

  // Shows the screen for the device behind `link` (null: none found). Returns false after the
  // not-found and offer screens, true after the up-to-date screen or when the link's last query
  // failed (nothing shown then).
  bool CheckFirmware(DeviceLink* link);

  // Sends the firmware for the device behind `link`, reporting progress to `dialog`. True when
  // every block was acknowledged. `text` is not used.
  bool TransferFirmware(DeviceLink* link, ProgressTarget* dialog, const char16_t* text);

  // Sends message 1024 + n to the tray program's window; 0 when it does not run.
  std::intptr_t NotifyTrayWindow(int n);

  FirmwareVersion expectedVersion = kPackageVersion;
  FirmwareVersion firstVersion{};  // the version first reported in this run
  bool firstVersionSet = false;    // firstVersion was taken from a report by CheckFirmware
  DeviceInfo deviceInfo{};         // major, minor, patch, model code of the first clean query
  CommandPayload payload{};
  DeviceLink linkA;
  DeviceLink linkB;

 private:
  struct GroupRoute;

  void DetectOnLink(const GroupRoute& route, const std::string& path, bool showWaiting,
                    bool queryNow);
  void Reconnect(const GroupRoute& route, bool showWaiting, bool queryNow,
                 platform::Millis delayMs);
  bool EnumerateFirstProduct(std::span<const std::uint16_t> productIds, HidInterfaceList& list);
  bool OpenLink(DeviceLink& link, const std::string& path);
  std::uint32_t Unlock(DeviceLink& link, const char* accessCode);
  std::uint32_t Query(DeviceLink& link);
  bool QueriedCleanly(const DeviceLink& link) const;
  void RecordDeviceInfo(const DeviceLink& link);
  void StartWaiting(DeviceLink& link);
  UpgradeDialogSetup ScreenSetup(UpgradeScreen screen, DeviceLink* link,
                                 const FirmwareVersion& reported);

  platform::Clock& clock_;
  platform::HidSystem& hidSystem_;
  EngineHost& host_;
};
