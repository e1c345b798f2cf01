#pragma once

#include <memory>
#include <string>

#include "platform/HidSystem.h"
#include "platform/SingleInstance.h"
#include "platform/WindowSystem.h"

// The application: everything the program does happens in InitInstance, on the calling thread.
// It chooses the language, makes sure no other updater runs, leaves a hidden marker window,
// constructs the main object (whose constructor runs the whole workflow), then reads the
// localization settings and ends. It always returns false: the program has no message loop of
// its own, every loop is a dialog's.
class CRirudUvarizaApp {
 public:
  // `instanceFolder`: where the single-instance lock lives; empty for the user's runtime folder.
  CRirudUvarizaApp(platform::WindowSystem& windows, platform::HidSystem& hidSystem,
                   std::string instanceFolder = {});

  bool InitInstance();

  // Whether the last InitInstance ended because another instance is running.
  bool TurnedAwayByOtherInstance() const { return turnedAway; }

 private:
  bool AskOtherInstance();  // true when another instance runs; it was asked to come forward

  platform::WindowSystem& windows;
  platform::HidSystem& hidSystem;
  std::string instanceFolder;
  std::unique_ptr<platform::SingleInstance> instance;  // held for the run: turns later starts away
  bool turnedAway = false;
};

// The window classes and titles of the single-instance handshake.
inline constexpr char16_t kMarkerWindowClass[] = u"Tessaly_Rirud_Uvariza_UI";
inline constexpr char16_t kMarkerWindowTitle[] = u"Tessaly Rirud Uvariza UI";
inline constexpr char16_t kMainWindowTitle[] = u"Tessaly Rirud Uvariza";
