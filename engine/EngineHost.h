#pragma once

#include <cstdint>
#include <optional>
#include <string>

class UpgradeEngine;
struct DeviceLink;

// The three screens of the upgrade dialog.
enum class UpgradeScreen { NotFound, UpToDate, Offer };

struct ProgressRange {
  std::uint16_t low = 0;
  std::uint16_t high = 0;
};

// Everything the engine hands the upgrade dialog before running it. The texts are already
// translated and formatted; the dialog shows them as they are.
struct UpgradeDialogSetup {
  UpgradeScreen screen = UpgradeScreen::NotFound;
  UpgradeEngine* engine = nullptr;
  DeviceLink* currentLink = nullptr;  // null on the not-found screen
  DeviceLink* linkA = nullptr;
  DeviceLink* linkB = nullptr;
  std::u16string headingText;
  std::u16string statusText;
  std::optional<std::u16string> messageText;  // nullopt: the slot is left unset
  std::u16string bodyText;
  std::u16string buttonCaption;
  int exitOnly = 1;  // 1: the button ends the dialog; 0: it starts the upgrade
  std::optional<ProgressRange> progressRange;  // nullopt: the bar's own default
};

// Everything the engine hands the waiting dialog before starting it.
struct WaitingDialogSetup {
  UpgradeEngine* engine = nullptr;
  DeviceLink* linkB = nullptr;
  DeviceLink* linkA = nullptr;
  DeviceLink* currentLink = nullptr;  // the link whose query is retried
  int backgroundId = 648;
  std::u16string headingText;
  std::u16string statusText;
  std::u16string fontFace;
  int delayLow = 0;
  int delayHigh = 5000;
};

// The windows the engine drives but does not own. The application supplies the real dialogs
// and window system; tests supply a recording fake.
class EngineHost {
 public:
  virtual ~EngineHost() = default;

  // Runs the upgrade dialog modally on the calling thread; returns the code it ended with.
  virtual int RunUpgradeDialog(const UpgradeDialogSetup& setup) = 0;

  // Creates the waiting dialog and starts its threads; returns at once. Its query thread runs
  // UpgradeEngine::QueryAndCheck on setup.currentLink.
  virtual void StartWaitingDialog(const WaitingDialogSetup& setup) = 0;

  // Posts a quit message to the calling thread's queue, so that a modal loop opened later on
  // this thread ends at once.
  virtual void PostQuit() = 0;

  // Sends `message` (both parameters 0) to the top-level window of this class and title and
  // returns its answer; 0 when there is no such window.
  virtual std::intptr_t SendToWindow(const std::u16string& className, const std::u16string& title,
                                     unsigned message) = 0;
};
