// The upgrade dialog after the transfer: waiting for the restarting device, reconnecting to it
// and deciding from its new version whether the upgrade succeeded.

#include <algorithm>
#include <cctype>

#include "engine/TransferPlan.h"
#include "engine/UpgradeEngine.h"
#include "hid/DeviceGroups.h"
#include "hid/DeviceLink.h"
#include "hid/HidInterface.h"
#include "hid/ReportFrame.h"
#include "hid/SendCommand.h"
#include "localization/TranslateText.h"
#include "ui/dialogs/CUpgradeDlg.h"

namespace {

// The restarting devices whose notices the dialog follows.
constexpr char kGroupBNoticePath[] = "vid_2D9B&pid_0078&mi_02";
constexpr char kGroupANoticePath[] = "vid_2D9B&pid_0076&mi_02";

// Query response: frame bytes 4-6 carry major, minor, patch.
constexpr std::size_t kReplyVersion = 4;

constexpr char16_t kConnectMessage[] = u"Please connect the Device now.\r\n";
constexpr char16_t kInitializeMessage[] = u"Waiting for Device Initialize.\r\n";

}  // namespace

bool IsVersionRaised(const FirmwareVersion& now, const FirmwareVersion& first,
                     const FirmwareVersion& packageVersion, bool packageVersionCounts) {
  return now > first || (packageVersionCounts && now == packageVersion);
}

void CUpgradeDlg::OnPollTimer() {
  if (!AnySupportedDevicePresent()) {
    if (NeedsManualReplug()) SetMessage(kConnectMessage);
    return;
  }
  KillTimer(pollTimer);
  if (engine == nullptr) return;

  engine->ReconnectGroupB(false, false, 0);
  engine->ReconnectGroupA(false, false, 0);
  switch (QueryNewVersion(/*packageVersionCounts=*/true)) {
    case QueryOutcome::NotCompleted:
      SetMessage(NeedsManualReplug() ? kConnectMessage : kInitializeMessage);
      StartPollTimer();
      return;
    case QueryOutcome::Raised:
      stagesB += 1;
      ShowResult(true);
      return;
    case QueryOutcome::Failed:
    case QueryOutcome::NotRaised:
      ShowResult(false);
      return;
  }
}

// The same search as detection: the first product id with a present protocol interface.
bool CUpgradeDlg::AnySupportedDevicePresent() {
  for (std::uint16_t productId : kDetectionProductIds) {
    HidInterfaceList list;
    if (EnumerateHidInterfaces(hidSystem, clock, list, kSupportedVendorId, productId,
                               kProtocolInterfaceNumber)) {
      return true;
    }
  }
  return false;
}

CUpgradeDlg::QueryOutcome CUpgradeDlg::QueryNewVersion(bool packageVersionCounts) {
  if (currentLink == nullptr || !currentLink->isOpen) return QueryOutcome::NotCompleted;
  const CommandPayload zeros{};
  if (SendCommand(currentLink, CmdQueryInfo, zeros.data(), zeros.size()) != 0) {
    return QueryOutcome::NotCompleted;
  }
  const Frame& reply = currentLink->reply;
  newVersion = {reply[kReplyVersion], reply[kReplyVersion + 1], reply[kReplyVersion + 2]};
  if (currentLink->sendError != 0 || currentLink->replyError != 0) return QueryOutcome::Failed;
  newVersionRead = true;
  return IsVersionRaised(newVersion, engine->firstVersion, engine->expectedVersion, packageVersionCounts)
             ? QueryOutcome::Raised
             : QueryOutcome::NotRaised;
}

platform::LResult CUpgradeDlg::OnDeviceChange(platform::WParam event,
                                              platform::DeviceInterfaceNotice* notice) {
  const platform::LResult result =
      DefaultProcessing(platform::WM_DEVICECHANGE, event, reinterpret_cast<platform::LParam>(notice));
  if (linkB == nullptr || linkA == nullptr || engine == nullptr || notice == nullptr ||
      notice->deviceType != platform::DBT_DEVTYP_DEVICEINTERFACE) {
    return result;
  }
  std::transform(notice->path.begin(), notice->path.end(), notice->path.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });

  // While the worker sends, the link is its own: what the notice says is taken into account
  // once the transfer has ended.
  if (transferPhase) {
    deferredNotices.emplace_back(event, *notice);
    return result;
  }
  if (event == platform::DBT_DEVICEREMOVECOMPLETE) {
    OnDeviceRemoved(notice->path);
  } else if (event == platform::DBT_DEVICEARRIVAL) {
    OnDeviceArrived(notice->path);
  }
  return result;
}

bool CUpgradeDlg::UpgradeUnderWay() const {
  return (stagesA != 0 || stagesB != 0) && !resultShownHere;
}

void CUpgradeDlg::OnDeviceRemoved(const std::string& path) {
  if (linkB->isOpen && PathContainsNoCase(path, kGroupBNoticePath)) {
    linkB->isOpen = false;
    if (stagesA == 0 && UpgradeUnderWay()) {
      stagesB += 1;
      // The handle belongs to an interface that is gone: close it and start afresh.
      SetUpLink(*linkB);
      CloseHidInterface(linkB->hid);
      SetMessage(u"Please wait for your Mouse to restart");
      deviceNotify.Unregister();
      StartPollTimer();
    }
  }
  if (linkA->isOpen && PathContainsNoCase(path, kGroupANoticePath)) {
    linkA->isOpen = false;
    if (stagesB == 0 && UpgradeUnderWay()) {
      stagesA += 1;
      SetMessage(u"Please wait for your Keyboard to restart");
    }
  }
}

void CUpgradeDlg::OnDeviceArrived(const std::string& path) {
  if (UpgradeUnderWay() && !linkB->isOpen && stagesA == 0 && PathContainsNoCase(path, kGroupBNoticePath)) {
    engine->ReconnectGroupB(false, false, kGroupBSettleMs);
    if (QueryNewVersion(/*packageVersionCounts=*/true) == QueryOutcome::Raised) {
      stagesB += 1;
      if (stagesB >= 3) ShowResult(true);
    } else {
      ShowResult(false);
    }
  }
  if (UpgradeUnderWay() && !linkA->isOpen && stagesB == 0 && PathContainsNoCase(path, kGroupANoticePath)) {
    engine->ReconnectGroupA(false, false, kGroupASettleMs);
    if (QueryNewVersion(/*packageVersionCounts=*/false) == QueryOutcome::Raised) {
      stagesA += 1;
      if (stagesA >= 3) ShowResult(true);
    } else {
      ShowResult(false);
    }
  }
}
