#include "engine/UpgradeEngine.h"

#include <algorithm>
#include <span>
#include <string>

#include "engine/ResultShown.h"
#include "hid/DeviceGroups.h"
#include "hid/ReportFrame.h"
#include "hid/SendCommand.h"
#include "image/FirmwareImage.h"
#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/Resources.h"

namespace {

// Each group unlocks with its own code: the 32 characters and their terminating zero byte.
constexpr char kGroupAAccessCode[] = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";
constexpr char kGroupBAccessCode[] = "HB3NZ8QTWK5RXD2VJM7LCF9PYA4GS6EU";
constexpr std::size_t kAccessCodeLength = sizeof(kGroupAAccessCode);
static_assert(kAccessCodeLength == 33 && sizeof(kGroupBAccessCode) == 33);

// Query response: frame bytes 4-7 carry major, minor, patch and model code.
constexpr std::size_t kReplyInfo = 4;

// Firmware from 1.3.7 on (each part on its own) fills in the check word of its replies.
constexpr FirmwareVersion kFirstCheckedVersion = {1, 3, 7};

constexpr int kTrayNotifyBase = 1024;  // the tray window's private messages
constexpr std::uint16_t kProgressHigh = 575;

// The devices' loaders are given this long after the header before the first block.
constexpr platform::Millis kEraseDelayMs = 2000;

std::u16string Translated(const char16_t* text) { return TranslateText(text); }

FirmwareVersion VersionOf(const DeviceInfo& info) { return {info[0], info[1], info[2]}; }

}  // namespace

// One group's link, path patterns (by group), access code and the product ids it searches.
struct UpgradeEngine::GroupRoute {
  DeviceLink& link;
  DeviceGroup group;
  const char* accessCode;
  std::span<const std::uint16_t> productIds;
};

UpgradeEngine::UpgradeEngine(platform::Clock& clock, platform::HidSystem& hidSystem,
                             EngineHost& host)
    : clock_(clock), hidSystem_(hidSystem), host_(host) {
  linkA.clock = &clock;
  linkB.clock = &clock;
}

void UpgradeEngine::DetectAndCheck(bool showWaiting, bool queryNow, platform::Millis delayMs) {
  clock_.SleepFor(delayMs);
  SetUpLink(linkA);
  resultShown = false;

  HidInterfaceList list;
  if (!EnumerateFirstProduct(kDetectionProductIds, list)) {
    CheckFirmware(nullptr);
    host_.PostQuit();
    return;
  }
  const GroupRoute routes[] = {
      {linkA, DeviceGroup::A, kGroupAAccessCode, kDetectionProductIds},
      {linkB, DeviceGroup::B, kGroupBAccessCode, kDetectionProductIds},
  };
  for (const HidInterface& record : list.records) {
    if (!record.HoldsInterface()) continue;
    for (const GroupRoute& route : routes) {
      if (route.link.isOpen || !MatchesGroup(route.group, record.devicePath)) continue;
      DetectOnLink(route, record.devicePath, showWaiting, queryNow);
    }
  }
}

// One matching interface during detection: open, unlock, query, and show its screen.
void UpgradeEngine::DetectOnLink(const GroupRoute& route, const std::string& path,
                                 bool showWaiting, bool queryNow) {
  DeviceLink& link = route.link;
  if (!OpenLink(link, path)) {
    // Found but unusable (most often: no permission on the device node).
    CheckFirmware(nullptr);
    host_.PostQuit();
    return;
  }
  if (Unlock(link, route.accessCode) != 0) return;
  bool screenShown = false;
  if (queryNow) {
    const std::uint32_t result = Query(link);
    if (result == 0) {
      if (QueriedCleanly(link)) {
        RecordDeviceInfo(link);
        // The keyboard's first version decides its image layout later; the mouse's is taken
        // from the report by CheckFirmware.
        if (&link == &linkA) firstVersion = VersionOf(deviceInfo);
      }
      resultShown = false;
      // CheckFirmware shows a screen unless the query left an error in the link.
      screenShown = QueriedCleanly(link);
      CheckFirmware(&link);
      host_.PostQuit();
    }
  }
  // The waiting dialog is for a device whose query gave no screen. After an upgrade the
  // reconnection has cleared resultShown, but the user has seen and closed the result: starting
  // the waiting dialog then would show a stale "up to date" screen and a window nobody asked for.
  if (showWaiting && !resultShown && !screenShown) StartWaiting(link);
}

void UpgradeEngine::ReconnectGroupA(bool showWaiting, bool queryNow, platform::Millis delayMs) {
  Reconnect({linkA, DeviceGroup::A, kGroupAAccessCode, kGroupAReconnectProductIds}, showWaiting,
            queryNow, delayMs);
}

void UpgradeEngine::ReconnectGroupB(bool showWaiting, bool queryNow, platform::Millis delayMs) {
  Reconnect({linkB, DeviceGroup::B, kGroupBAccessCode, kGroupBReconnectProductIds}, showWaiting,
            queryNow, delayMs);
}

void UpgradeEngine::Reconnect(const GroupRoute& route, bool showWaiting, bool queryNow,
                              platform::Millis delayMs) {
  clock_.SleepFor(delayMs);
  DeviceLink& link = route.link;
  SetUpLink(link);
  resultShown = false;

  HidInterfaceList list;
  if (!EnumerateFirstProduct(route.productIds, list)) return;
  for (const HidInterface& record : list.records) {
    if (!record.HoldsInterface()) continue;
    if (link.isOpen || !MatchesGroup(route.group, record.devicePath)) continue;
    if (!OpenLink(link, record.devicePath)) continue;
    if (Unlock(link, route.accessCode) != 0) continue;
    if (queryNow && Query(link) == 0) {
      if (QueriedCleanly(link)) RecordDeviceInfo(link);
      resultShown = false;
    }
    if (showWaiting && !resultShown) StartWaiting(link);
  }
}

bool UpgradeEngine::QueryAndCheck(DeviceLink* link) {
  if (link == nullptr || !link->isOpen) return false;
  if (Query(*link) != 0) return false;
  // The retried query is the first clean one when detection's query failed: without the model
  // code recorded here, the transfer would pick the image for model 0.
  if (QueriedCleanly(*link)) RecordDeviceInfo(*link);
  return CheckFirmware(link);
}

bool UpgradeEngine::CheckFirmware(DeviceLink* link) {
  if (link == nullptr) {
    resultShown = true;
    host_.RunUpgradeDialog(ScreenSetup(UpgradeScreen::NotFound, nullptr, {}));
    return false;
  }
  if (link->sendError != 0 || link->replyError != 0) return true;

  const FirmwareVersion reported = {link->reply[kReplyInfo], link->reply[kReplyInfo + 1],
                                    link->reply[kReplyInfo + 2]};
  if (!firstVersionSet) {
    firstVersion = reported;
    firstVersionSet = true;
  }
  if (!(expectedVersion > reported)) {
    resultShown = true;
    host_.RunUpgradeDialog(ScreenSetup(UpgradeScreen::UpToDate, link, reported));
    return true;
  }
  resultShown = true;
  host_.RunUpgradeDialog(ScreenSetup(UpgradeScreen::Offer, link, reported));
  host_.PostQuit();
  return false;
}

UpgradeDialogSetup UpgradeEngine::ScreenSetup(UpgradeScreen screen, DeviceLink* link,
                                              const FirmwareVersion& reported) {
  UpgradeDialogSetup setup;
  setup.screen = screen;
  setup.engine = this;
  setup.currentLink = link;
  setup.linkA = &linkA;
  setup.linkB = &linkB;
  setup.headingText = Translated(u"\n\nFIRMWARE UPGRADE ") + FormatVersion(expectedVersion);
  switch (screen) {
    case UpgradeScreen::NotFound:
      setup.statusText = Translated(u"KORVEX 6.0\r\n\r\nNot Found !");
      setup.messageText = u"";
      setup.bodyText = Translated(
          u"Your Product can not be Upgraded to the\nlatest Firmware included in this Upgrade\n"
          u"package. There is no supported product\nconnected to your system\n"
          u"Press Exit button to exit.");
      setup.buttonCaption = Translated(u"EXIT");
      setup.exitOnly = 1;
      setup.progressRange = ProgressRange{0, kProgressHigh};
      break;
    case UpgradeScreen::UpToDate:
      setup.statusText =
          Translated(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ") + FormatVersion(reported);
      setup.bodyText = Translated(
          u"Your Product can not be Upgraded.\nYou already have the latest Firmware or newer "
          u"than\nincluded in this Upgrade Package.\nPress Exit button to Exit");
      setup.buttonCaption = Translated(u"EXIT");
      setup.exitOnly = 1;
      break;
    case UpgradeScreen::Offer:
      setup.statusText =
          Translated(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ") + FormatVersion(reported);
      setup.bodyText = Translated(
          u"With this upgrade package your product\ncan be updated to the latest firmware. \n"
          u"Once the upgrade is started, it cannot be cancelled or reversed.\r\n"
          u"Use at your own Risk.");
      setup.buttonCaption = Translated(u"UPGRADE NOW");
      setup.exitOnly = 0;
      setup.progressRange = ProgressRange{0, kProgressHigh};
      break;
  }
  return setup;
}

bool UpgradeEngine::TransferFirmware(DeviceLink* link, ProgressTarget* dialog,
                                     const char16_t* /*text*/) {
  if (link == &linkA) NotifyTrayWindow(14);
  ImageChoice choice;
  if (link == &linkA || link == &linkB) {
    const DeviceGroup group = link == &linkA ? DeviceGroup::A : DeviceGroup::B;
    choice = ChooseImage(group, deviceInfo[kDeviceInfoModelCode], link->hid.attributes.productId,
                         firstVersion);
  }

  progressTarget = dialog;
  if (dialog == nullptr) return false;
  if (choice.resourceName == nullptr) return false;
  const std::optional<platform::ResourceBytes> text =
      platform::FindResource("HEX", choice.resourceName);
  if (!text) return false;
  const FirmwareImage image =
      BuildFirmwareImage(text->data(), text->size(), choice.size, expectedVersion.data());
  if (!image.valid) return false;

  const TransferPlan plan = PlanTransfer(choice);
  dialog->SetProgressRange(0, static_cast<std::uint16_t>(plan.blockCount));

  payload = BuildTransferHeader(choice, plan);
  if (SendCommand(link, CmdStartTransfer, payload.data(), payload.size()) != 0) return false;
  clock_.SleepFor(kEraseDelayMs);

  for (std::uint32_t k = 0; k < plan.blockCount; ++k) {
    payload = BuildBlockPayload(choice, plan, k, image.bytes.data());
    if (SendCommand(link, CmdWriteBlock, payload.data(), payload.size()) != 0) return false;
    dialog->ProgressStep();
  }
  return true;
}

std::intptr_t UpgradeEngine::NotifyTrayWindow(int n) {
  return host_.SendToWindow(u"RirudUvarizaTrayClass", u"RirudUvarizaTrayHwnd",
                            static_cast<unsigned>(kTrayNotifyBase + n));
}

bool UpgradeEngine::EnumerateFirstProduct(std::span<const std::uint16_t> productIds,
                                          HidInterfaceList& list) {
  for (std::uint16_t productId : productIds) {
    list = HidInterfaceList{};
    if (EnumerateHidInterfaces(hidSystem_, clock_, list, kSupportedVendorId, productId,
                               kProtocolInterfaceNumber)) {
      return true;
    }
  }
  list = HidInterfaceList{};
  return false;
}

bool UpgradeEngine::OpenLink(DeviceLink& link, const std::string& path) {
  link.isOpen = OpenHidInterface(hidSystem_, path, true, true, true, false, link.hid);
  return link.isOpen;
}

std::uint32_t UpgradeEngine::Unlock(DeviceLink& link, const char* accessCode) {
  return SendCommand(&link, CmdUnlock, reinterpret_cast<const std::uint8_t*>(accessCode),
                     kAccessCodeLength);
}

std::uint32_t UpgradeEngine::Query(DeviceLink& link) {
  payload.fill(0);
  return SendCommand(&link, CmdQueryInfo, payload.data(), payload.size());
}

// SendCommand also reports success after its last attempt read a response that failed its
// checks; the bytes of such a frame must not decide which image the device gets.
bool UpgradeEngine::QueriedCleanly(const DeviceLink& link) const {
  return link.replyError == 0 && link.sendError == 0;
}

void UpgradeEngine::RecordDeviceInfo(const DeviceLink& link) {
  if (deviceInfo[0] == 0 && deviceInfo[1] == 0 && deviceInfo[2] == 0) {
    std::copy_n(link.reply.begin() + kReplyInfo, deviceInfo.size(), deviceInfo.begin());
  }
  if (deviceInfo[0] >= kFirstCheckedVersion[0] && deviceInfo[1] >= kFirstCheckedVersion[1] &&
      deviceInfo[2] >= kFirstCheckedVersion[2]) {
    EnableReplyCheck();
  }
}

void UpgradeEngine::StartWaiting(DeviceLink& link) {
  WaitingDialogSetup setup;
  setup.engine = this;
  setup.linkB = &linkB;
  setup.linkA = &linkA;
  setup.currentLink = &link;
  setup.headingText = Translated(u"Loading Profiles");
  setup.statusText =
      Translated(u"Please wait while Profiles are being loaded from your Vorlan Keyboard");
  setup.fontFace = UiFontFace;
  host_.StartWaitingDialog(setup);
}
