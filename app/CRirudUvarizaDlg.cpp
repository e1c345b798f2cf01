#include "app/CRirudUvarizaDlg.h"

#include "ui/dialogs/CUpgradeDlg.h"
#include "ui/dialogs/CWaitingDlg.h"

CRirudUvarizaDlg::CRirudUvarizaDlg(platform::WindowSystem& windowSystem, platform::HidSystem& hid)
    : UpgradeEngine(windowSystem.GetClock(), hid, *this),
      platform::Dialog(windowSystem, kTemplateId),
      windows(windowSystem),
      hidSystem(hid) {
  expectedVersion = kPackageVersion;
  firstVersion = {0, 0, 0};
  DetectAndCheck(/*showWaiting=*/true, /*queryNow=*/true, /*delayMs=*/0);
  windows.PostQuitMessage(0);
}

CRirudUvarizaDlg::~CRirudUvarizaDlg() {
  // The waiting dialogs' threads use the engine, which goes away with this object.
  for (const auto& dialog : waitingDialogs) dialog->WaitForThreads();
  Destroy();
}

int CRirudUvarizaDlg::RunUpgradeDialog(const UpgradeDialogSetup& setup) {
  ++screensShown;
  CUpgradeDlg dialog(windows, hidSystem);
  dialog.Configure(setup);
  return dialog.DoModal();
}

void CRirudUvarizaDlg::StartWaitingDialog(const WaitingDialogSetup& setup) {
  auto dialog = std::make_unique<CWaitingDlg>(windows);
  dialog->Configure(setup);
  CWaitingDlg& started = *dialog;
  waitingDialogs.push_back(std::move(dialog));
  started.StartWaiting();
}

void CRirudUvarizaDlg::PostQuit() { windows.PostQuitMessage(0); }

std::intptr_t CRirudUvarizaDlg::SendToWindow(const std::u16string& className,
                                             const std::u16string& title, unsigned message) {
  const platform::WindowHandle window = windows.FindWindow(className, title);
  if (!window) return 0;
  return windows.SendMessage(window, message, 0, 0);
}

platform::LResult CRirudUvarizaDlg::HandleMessage(platform::MessageId message, platform::WParam wParam,
                                                  platform::LParam lParam) {
  if (message == WM_INSTANCE_PING) return INSTANCE_PING_REPLY;
  return platform::Dialog::HandleMessage(message, wParam, lParam);
}
