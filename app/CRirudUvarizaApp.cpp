#include "app/CRirudUvarizaApp.h"

#include <cstdio>

#include "app/CRirudUvarizaDlg.h"
#include "localization/LanguageSelection.h"
#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/SingleInstance.h"
#include "platform/Window.h"

namespace {

// The hidden window that marks a running instance inside this process. Across processes the
// single-instance lock plays its part.
class MarkerWindow final : public platform::Window {
 public:
  ~MarkerWindow() override { Destroy(); }
};

// Brings the screen the user is working with to the front: the topmost of our windows.
void BringOurWindowToFront(platform::WindowSystem& windows) {
  for (const platform::WindowHandle window : windows.TopLevelWindows()) {
    if (windows.IsSeen(window)) {
      windows.BringToFront(window);
      return;
    }
  }
}

}  // namespace

CRirudUvarizaApp::CRirudUvarizaApp(platform::WindowSystem& windowSystem, platform::HidSystem& hid,
                                   std::string lockFolder)
    : windows(windowSystem), hidSystem(hid), instanceFolder(std::move(lockFolder)) {}

bool CRirudUvarizaApp::AskOtherInstance() {
  auto claim = platform::SingleInstance::Claim([this] { BringOurWindowToFront(windows); }, instanceFolder);
  if (claim.outcome == platform::SingleInstance::Outcome::First) {
    instance = std::move(claim.instance);
    return false;
  }
  std::fprintf(stderr, "rirud-uvariza: another rirud-uvariza is already running%s\n",
               claim.outcome == platform::SingleInstance::Outcome::OtherAnswered
                   ? "; it was brought to the front"
                   : " but does not answer");
  return true;
}

bool CRirudUvarizaApp::InitInstance() {
  turnedAway = false;
  BuildLanguageSlots();
  SelectLanguage();

  if (AskOtherInstance()) {
    turnedAway = true;
    return false;
  }

  MarkerWindow marker;
  marker.CreateTopLevel(windows, kMarkerWindowClass, kMarkerWindowTitle, platform::WS_POPUP,
                        platform::Rect{0, 0, 0, 0});

  // The first lookup also loads the selected table, before any worker thread exists. No window
  // of ours carries this title (the instance lock answers for us), so nothing is found here.
  const char16_t* title = TranslateText(kMainWindowTitle);
  if (const platform::WindowHandle other = windows.FindWindow(std::nullopt, std::u16string_view(title))) {
    if (windows.SendMessage(other, WM_INSTANCE_PING) == INSTANCE_PING_REPLY) {
      windows.BringToFront(other);
      return false;
    }
  }

  {
    CRirudUvarizaDlg mainObject(windows, hidSystem);
    if (mainObject.ScreensShown() == 0) {
      // A device was found but refused the unlock or never answered the version query, so the
      // workflow ends without a screen. Say so rather than vanish without a word.
      std::fprintf(stderr,
                   "rirud-uvariza: a supported device was found but did not answer; nothing was "
                   "written to it. Unplug it, plug it in again and start the updater once more.\n");
    }
    LoadTranslationSettings();
    ApplyTranslationFonts();
    if (mainObject.DoModal() == platform::IDOK) SaveTranslationSetting();
  }
  return false;
}
