#include "ui/dialogs/CUpgradeDlg.h"

#include <string>
#include <system_error>
#include <utility>

#include "engine/UpgradeEngine.h"
#include "hid/DeviceLink.h"
#include "localization/TranslateText.h"

std::atomic<int> transferRunning{0};
std::atomic<int> transferResult{0};

namespace {

constexpr int kBackgroundId = 648;
constexpr int kTransferBackgroundId = 667;
constexpr int kProgressTrackId = 647;
constexpr int kProgressPieceId = 646;

// Close button, then the three images of each button kind 1 to 8. Kind 3 is the action button;
// position 18 (the third image of kind 5) is used by no screen.
constexpr std::array<int, CBitmapMessageBox::kSkinBitmapCount> kSkinBitmaps = {
    209, 121, 656,  // close: normal, pressed, hover
    662, 661, 663, 659, 658, 660, 662, 661, 663, 659, 658, 660,
    153, 154, 0,    659, 658, 660, 659, 658, 660, 659, 658, 660};

constexpr char16_t kFontFace[] = u"VORLAN DIN Pro-Light";
constexpr int kFontWeight = 300;

// The action button: kind 3, bottom row.
constexpr int kActionCode = 3;
constexpr int kActionX = 307;
constexpr int kActionFromBottom = 59;

// Where the progress bar sits on the transfer background's light field.
constexpr int kProgressLeft = 6;
constexpr int kProgressTop = 168;
constexpr int kProgressBottom = 226;

}  // namespace

CUpgradeDlg::CUpgradeDlg(platform::WindowSystem& system, platform::HidSystem& hid)
    : CBitmapMessageBox(system), hidSystem(hid), clock(system.GetClock()) {}

CUpgradeDlg::~CUpgradeDlg() {
  // No handler may run on a half-destroyed dialog, and the worker must be gone before the
  // members it uses.
  Destroy();
  if (workerThread.Joinable()) workerThread.Join();
}

void CUpgradeDlg::Configure(const UpgradeDialogSetup& setup) {
  SetSkinModule(&EmbeddedSkin());
  LoadBackground(kBackgroundId);
  SetSkinBitmaps(kSkinBitmaps);
  engine = setup.engine;
  AllocateButtons(1);
  linkB = setup.linkB;
  linkA = setup.linkA;
  currentLink = setup.currentLink;

  SetStatusFont(20, kFontWeight, kFontFace);
  SetMessageFont(24, kFontWeight, kFontFace);
  SetBodyFont(16, kFontWeight, kFontFace);
  SetHeadingFont(30, kFontWeight, kFontFace);
  SetTexts(setup.statusText.c_str(), setup.headingText.c_str(),
           setup.messageText ? setup.messageText->c_str() : nullptr, setup.bodyText.c_str());
  UpdateTexts([](MessageBoxTexts& t) {
    // Left-aligned from the top; lines break only where the texts have line breaks.
    t.statusFormat = 0;
    t.headingFormat = 0;
    t.messageFormat = 0;
    t.bodyFormat = 0;
    t.headingColor = kRed;
    t.statusColor = kRed;
    t.messageColor = kRed;
    t.bodyColor = kWhite;
  });
  SetButtonTextStyle(20, kFontFace, kWhite, kWhite, kWhite, kGrey, 0);
  AddButton(kActionX, kActionCode, setup.buttonCaption.c_str(), kActionFromBottom);

  exitOnly = setup.exitOnly;
  if (setup.progressRange) {
    progressBar.rangeLow = setup.progressRange->low;
    progressBar.rangeHigh = setup.progressRange->high;
  }
}

bool CUpgradeDlg::OnInitDialog() {
  const bool result = CBitmapMessageBox::OnInitDialog();
  deviceNotify = GetSystem().RegisterDeviceNotification(*this);
  ResetButtonStates();
  return result;
}

platform::LResult CUpgradeDlg::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                             platform::LParam lParam) {
  switch (message) {
    case platform::WM_COMMAND: {
      const int id = static_cast<int>(platform::LowWord(wParam));
      if (id == kActionCommand) {
        StartUpgrade();
        return 0;
      }
      if (id == kActionCommand + 1) {
        EndWithItem(1);
        return 0;
      }
      if (id >= kActionCommand + 2 && id <= kActionCommand + 9) {
        EndWithItem(2);
        return 0;
      }
      break;
    }
    case platform::WM_TIMER:
      OnTimer(wParam);
      return 0;
    case platform::WM_SYSCOMMAND:
      // While the device is awaited after the transfer there is no button, and a device that
      // never comes back would keep the window up for ever. Closing it from the desktop ends the
      // dialog then; nothing is being sent, so nothing can be cut short. During the transfer and
      // on the other screens the system close stays ignored.
      if ((wParam & 0xFFF0) == platform::SC_CLOSE && awaitingRestart) {
        EndDialog(0);
        return 0;
      }
      break;
    case platform::WM_DEVICECHANGE:
      return OnDeviceChange(wParam, platform::DeviceNoticeOf(lParam));
    case platform::WM_PAINT:
      PaintTextSlots(CanvasOf(wParam));
      return 0;
    case platform::WM_ERASEBKGND:
      return OnEraseBkgnd(wParam, lParam);
    default:
      break;
  }
  return CBitmapMessageBox::HandleMessage(message, wParam, lParam);
}

// Items that were never added have no code to end with; their commands are ignored.
void CUpgradeDlg::EndWithItem(int index) {
  if (const ButtonItem* item = ButtonAt(index)) EndDialog(item->code);
}

void CUpgradeDlg::StartUpgrade() {
  if (upgradeSucceeded != 0 || engine == nullptr || currentLink == nullptr || exitOnly != 0) {
    EndWithItem(0);
    return;
  }
  if (currentLink == linkB) {
    stagesB += 1;
  } else if (currentLink == linkA) {
    stagesA += 1;
  }

  ButtonItem* action = ButtonAt(0);
  closeButton.ShowWindow(platform::SW_HIDE);
  if (action != nullptr) action->button.ShowWindow(platform::SW_HIDE);
  closeButton.Enable(false);
  if (action != nullptr) action->button.Enable(false);

  const platform::Rect client = ClientRect();
  progressRect.left = client.left + kProgressLeft;
  progressRect.top = client.top + kProgressTop;
  progressRect.bottom = client.top + kProgressBottom;
  // The bar takes the width of its track when it loads it.
  progressRect.right = progressRect.left + 1;
  progressBar.CreateChild(*this, u"BitmapProgressBar", u"", platform::WS_CHILD | platform::WS_VISIBLE,
                          progressRect, IDC_UPGRADE_PROGRESS);
  progressBar.LoadBarBitmaps(kProgressTrackId, kProgressPieceId);
  progressBar.rangeMode = 1;

  SetTexts(TranslateText(u""), nullptr, nullptr, nullptr);
  Send(platform::WM_SETREDRAW, 1);
  Invalidate(true);
  Update();

  transferResult.store(0, std::memory_order_relaxed);
  transferRunning.store(1, std::memory_order_release);
  transferPhase = true;
  workerThread = StartWorkerThread([this] { TransferWorker(); });
  if (!workerThread.Joinable()) {
    // Nothing was sent: say so instead of leaving the user on a screen without buttons.
    transferRunning.store(0, std::memory_order_release);
    transferPhase = false;
    ShowResult(false);
    return;
  }
  watchTimer = SetTimer(IDT_TRANSFER_WATCH, kWatchIntervalMs);
}

platform::Thread CUpgradeDlg::StartWorkerThread(std::function<void()> body) {
  try {
    return clock.StartThread(std::move(body));
  } catch (const std::system_error&) {
    return platform::Thread();
  }
}

void CUpgradeDlg::TransferWorker() {
  LoadBackground(kTransferBackgroundId);
  ReloadBackground();
  SetTexts(nullptr, nullptr, TranslateText(u"Transfer in progress ..."),
           TranslateText(u"Do not disconnect your device until the transfer is complete.\n"
                         u"Disconnecting your device while the transfer is in progress may damage "
                         u"your device."));
  UpdateTexts([](MessageBoxTexts& t) {
    t.headingColor = kRed;
    t.statusColor = kRed;
    t.messageColor = kRed;
    t.bodyColor = kRed;
  });
  Invalidate(true);

  const bool sent = engine->TransferFirmware(currentLink, this, u"");
  transferResult.store(sent ? 1 : 0, std::memory_order_relaxed);
  // The warning goes up before the flag clears: once the dialog's thread sees the flag, it may
  // show the result, which must not be overwritten afterwards.
  SetTexts(nullptr, nullptr, nullptr,
           TranslateText(u"Do Not Disconnect your Device !\nAfter Reprogramming your Device is "
                         u"complete,\nyour Device will restart automatically"));
  Invalidate(true);
  transferRunning.store(0, std::memory_order_release);
}

void CUpgradeDlg::OnTimer(std::uintptr_t id) {
  if (id == IDT_TRANSFER_WATCH) {
    OnWatchTimer();
  } else if (id == IDT_RECONNECT_POLL) {
    OnPollTimer();
  }
}

void CUpgradeDlg::OnWatchTimer() {
  if (transferRunning.load(std::memory_order_acquire) != 0) return;
  KillTimer(watchTimer);
  if (workerThread.Joinable()) workerThread.Join();  // it has only its return left
  transferPhase = false;

  const char16_t* message = nullptr;
  if (transferResult.load(std::memory_order_relaxed) != 0) {
    message = u"Transfer completed. Reprogramming the device now.\r\n";
  } else if (NeedsManualReplug()) {
    message = u"Transfer completed. Please unplug the device now.\r\n";
  } else {
    deferredNotices.clear();
    ShowResult(false);
    return;
  }
  SetMessage(message);
  Update();
  awaitingRestart = true;
  StartPollTimer();

  std::vector<std::pair<platform::WParam, platform::DeviceInterfaceNotice>> notices;
  notices.swap(deferredNotices);
  for (auto& [event, notice] : notices) OnDeviceChange(event, &notice);
}

void CUpgradeDlg::ShowResult(bool success) {
  // The result stays: no later tick of the poll timer may verify again and replace it.
  KillTimer(IDT_RECONNECT_POLL);
  resultShownHere = true;

  // Without a clean answer from the device its version is unknown; saying "Version 0.0.0" would
  // tell the user something false, so the status line stays empty then.
  std::u16string status;
  if (newVersionRead) {
    status = TranslateText(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ");
    status += FormatVersion(newVersion);
  }
  awaitingRestart = false;
  LoadBackground(kBackgroundId);
  SetTexts(nullptr, nullptr, u" ", nullptr);
  ReloadBackground();
  if (success) {
    UpdateTexts([](MessageBoxTexts& t) {
      t.headingColor = kRed;
      t.statusColor = kRed;
      t.messageColor = kRed;
      t.bodyColor = kWhite;
    });
    SetTexts(status.c_str(), nullptr, nullptr, TranslateText(u"\n\nFirmware upgrade was successful!"));
    upgradeSucceeded = 1;
  } else {
    SetTexts(status.c_str(), nullptr, nullptr,
             TranslateText(u"\n\nFirmware upgrade was NOT successful!\nPlease restart the "
                           u"application and try again."));
  }
  exitOnly = 1;

  progressBar.ShowWindow(platform::SW_HIDE);
  progressBar.Enable(false);
  if (ButtonItem* action = ButtonAt(0)) {
    action->button.SetCaption(TranslateText(u"EXIT"));
    action->button.Enable(true);
    action->button.ShowWindow(platform::SW_SHOW);
  }
  closeButton.Enable(true);
  closeButton.ShowWindow(platform::SW_SHOW);

  Send(platform::WM_SETREDRAW, 1);
  Invalidate(true);
  Update();
}

void CUpgradeDlg::SetProgressRange(std::uint16_t low, std::uint16_t high) {
  progressBar.rangeLow = low;
  progressBar.rangeHigh = high;
}

void CUpgradeDlg::ProgressStep() {
  auto* target = dynamic_cast<CUpgradeDlg*>(progressTarget.load());
  if (target == nullptr) return;
  target->progressBar.StepIt();
  target->progressBar.Invalidate(true);
  target->progressBar.Update();
}

bool CUpgradeDlg::NeedsManualReplug() const {
  if (engine == nullptr) return false;
  const DeviceInfo& info = engine->deviceInfo;
  return info[0] == 1 && (info[1] == 3 || info[1] == 4) && info[2] >= 7;
}

ScreenDescription CUpgradeDlg::DescribeScreen() const {
  ScreenDescription screen = CBitmapMessageBox::DescribeScreen();
  if (progressBar.Exists() && progressBar.IsVisible()) {
    screen.progress = ScreenDescription::Progress{progressBar.position.load(), progressBar.rangeLow.load(),
                                                  progressBar.rangeHigh.load()};
  }
  return screen;
}

void CUpgradeDlg::SetMessage(const char16_t* english) {
  if (const char16_t* text = TranslateText(english)) SetTexts(nullptr, nullptr, text, nullptr);
  Invalidate(true);
}

void CUpgradeDlg::StartPollTimer() { pollTimer = SetTimer(IDT_RECONNECT_POLL, kPollIntervalMs); }
