#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "engine/EngineHost.h"
#include "engine/UpgradeEngine.h"
#include "platform/Dialog.h"
#include "platform/HidSystem.h"
#include "platform/Messages.h"
#include "platform/WindowSystem.h"

class CWaitingDlg;

// Asks a running instance to identify itself; it answers with INSTANCE_PING_REPLY.
inline constexpr platform::MessageId WM_INSTANCE_PING = platform::WM_USER + 101;
inline constexpr platform::LResult INSTANCE_PING_REPLY = 0x2A3B4C5D;

// The application's main object. Constructing it runs the whole workflow: it finds the device,
// shows the matching screen and, if the user accepts the offer, the upgrade with its result. The
// constructor returns when the user has closed the last screen, and leaves a quit request in the
// calling thread's queue.
//
// It is also the engine's host: it runs the upgrade dialog on the engine's behalf and creates
// the waiting dialog, which it owns. The destructor waits for the waiting dialog's threads, which
// use the engine, before the engine goes away.
//
// Its own dialog template does not exist, so DoModal returns -1 without creating a window.
class CRirudUvarizaDlg : public EngineHost, public UpgradeEngine, public platform::Dialog {
 public:
  static constexpr int kTemplateId = 665;

  CRirudUvarizaDlg(platform::WindowSystem& windows, platform::HidSystem& hidSystem);
  ~CRirudUvarizaDlg() override;

  // EngineHost.
  int RunUpgradeDialog(const UpgradeDialogSetup& setup) override;
  void StartWaitingDialog(const WaitingDialogSetup& setup) override;
  void PostQuit() override;
  std::intptr_t SendToWindow(const std::u16string& className, const std::u16string& title,
                             unsigned message) override;

  // How many screens of the upgrade dialog the run showed.
  int ScreensShown() const { return screensShown.load(); }

  // The waiting dialogs started in this run (tests look at them).
  const std::vector<std::unique_ptr<CWaitingDlg>>& WaitingDialogs() const { return waitingDialogs; }

 protected:
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;

 private:
  platform::WindowSystem& windows;
  platform::HidSystem& hidSystem;
  std::vector<std::unique_ptr<CWaitingDlg>> waitingDialogs;
  std::atomic<int> screensShown{0};  // the waiting dialog's thread may show one too
};
