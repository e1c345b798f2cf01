#pragma once

#include <atomic>
#include <mutex>

#include "engine/EngineHost.h"
#include "platform/Clock.h"
#include "platform/WindowSystem.h"
#include "ui/controls/CBitmapDelayBarCtrl.h"
#include "ui/dialogs/CBitmapMessageBox.h"

class UpgradeEngine;
struct DeviceLink;

// 0 when a waiting dialog's threads start, 1 once its window is being set up.
extern std::atomic<int> waitingDialogReady;

// "Loading Profiles": started when a device was unlocked but its first version query failed.
// Three threads of its own do the work: the query thread asks the device again and runs the
// screens that follow (the upgrade dialog included) and then shows this dialog; the watch thread
// notices when it has opened; the animation thread moves a delay bar along its bottom edge.
//
// The dialog has no way to be closed when the skin lacks its close button's images. It then
// closes itself once its animation has stopped, so that it never keeps the program alive after
// the last screen the user could close. When the query fails, it never opens, and the watch and
// animation threads give up as soon as the query thread has finished.
//
// The owner keeps the object alive until WaitForThreads() has returned; the destructor waits too.
class CWaitingDlg : public CBitmapMessageBox {
 public:
  static constexpr int kDelayBarId = 1173;

  explicit CWaitingDlg(platform::WindowSystem& system);
  ~CWaitingDlg() override;

  // Fills the dialog from its creator's setup (background, skin, texts, links, delay range).
  void Configure(const WaitingDialogSetup& setup);

  // Starts the query, watch and animation threads.
  void StartWaiting();

  // Blocks until all three threads have ended.
  void WaitForThreads();

  int ModalResult() const { return modalResult.load(); }
  bool QueryDone() const;

  // The base's description (heading and status as this dialog paints them); no progress.
  ScreenDescription DescribeScreen() const override;

  UpgradeEngine* engine = nullptr;
  CBitmapDelayBarCtrl delayBar;
  DeviceLink* currentLink = nullptr;
  DeviceLink* linkB = nullptr;
  DeviceLink* linkA = nullptr;

 protected:
  bool OnInitDialog() override;
  platform::LResult HandleMessage(platform::MessageId message, platform::WParam wParam,
                                  platform::LParam lParam) override;

 private:
  void QueryThread();
  void WatchThread();
  void AnimationThread();
  bool CreateDelayBar();
  void Paint(platform::Canvas& canvas);

  // Waits until `ready()` holds, looking again every `pollMs` (some of what it waits for is
  // written by code that does not notify). Gives up, returning false, once the query thread has
  // finished without `ready()` holding.
  template <class Ready>
  bool WaitFor(Ready ready, platform::Millis pollMs);
  void SetFlag(bool CWaitingDlg::*flag);
  bool Flag(bool CWaitingDlg::*flag) const;
  bool UserCanClose() const;

  platform::Clock& clock;
  platform::Rect delayRect;
  std::atomic<int> modalResult{0};

  mutable std::mutex flagsMutex;
  platform::Condition flagsChanged;
  bool painted = false;
  bool queryDone = false;
  bool stopAnimation = false;
  bool animationDone = false;

  platform::Thread queryThread;
  platform::Thread watchThread;
  platform::Thread animationThread;
};
