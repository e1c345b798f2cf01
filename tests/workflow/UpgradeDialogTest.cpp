// The upgrade dialog on its own: its buttons, a worker that cannot start, and the verdict.

#include <gtest/gtest.h>

#include <functional>

#include "engine/UpgradeEngine.h"
#include "hid/ReportFrame.h"
#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"
#include "platform/Clock.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/sim/SimulatedHidSystem.h"
#include "ui/dialogs/CUpgradeDlg.h"

namespace {

using platform::Millis;

class SilentHost final : public EngineHost {
 public:
  int RunUpgradeDialog(const UpgradeDialogSetup&) override { return 0; }
  void StartWaitingDialog(const WaitingDialogSetup&) override {}
  void PostQuit() override {}
  std::intptr_t SendToWindow(const std::u16string&, const std::u16string&, unsigned) override { return 0; }
};

// A dialog whose transfer worker cannot be started.
class NoWorkerDlg : public CUpgradeDlg {
 public:
  using CUpgradeDlg::CUpgradeDlg;
  ~NoWorkerDlg() override { Destroy(); }

 protected:
  platform::Thread StartWorkerThread(std::function<void()>) override { return platform::Thread(); }
};

class UpgradeDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TranslationSettings.EmbeddedTableSelected = true;
    TranslationSettings.SelectedTableId = 4000;
    ResetTranslationTableForTesting();
    transferRunning = 0;
  }
  void TearDown() override { hid.Shutdown(); }

  UpgradeDialogSetup Setup(UpgradeScreen screen, DeviceLink* link) {
    UpgradeDialogSetup setup;
    setup.screen = screen;
    setup.engine = &engine;
    setup.currentLink = link;
    setup.linkA = &engine.linkA;
    setup.linkB = &engine.linkB;
    setup.headingText = u"\n\nFIRMWARE UPGRADE  6.0.0";
    setup.statusText = u"Your KORVEX 6.0\r\nis currently on\r\nVersion  5.0.0";
    setup.bodyText = u"offer";
    setup.buttonCaption = screen == UpgradeScreen::Offer ? u"UPGRADE NOW" : u"EXIT";
    setup.exitOnly = screen == UpgradeScreen::Offer ? 0 : 1;
    setup.progressRange = ProgressRange{0, 575};
    return setup;
  }

  // Runs the dialog on this thread while `user` acts once it is on the screen.
  int Run(CUpgradeDlg& dialog, const std::function<void()>& user) {
    platform::Thread userThread = clock.StartThread([&] {
      ASSERT_TRUE(display.WaitUntil(
          [&] { return dialog.Exists() && display.PresentCount(dialog.Handle()) > 0; }, 10000));
      user();
    });
    const int code = dialog.DoModal();
    userThread.Join();
    return code;
  }

  static platform::Point Centre(const platform::Window& w) {
    const platform::Rect r = w.WindowRect();
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void ClickAction(CUpgradeDlg& dialog) { display.Click(dialog.Handle(), Centre(dialog.ButtonAt(0)->button)); }

  platform::VirtualClock clock;
  platform::SimulatedHidSystem hid{clock};
  platform::HeadlessDisplay display{clock};
  platform::WindowSystem windows{clock, display, &hid};
  SilentHost host;
  UpgradeEngine engine{clock, hid, host};
};

TEST_F(UpgradeDialogTest, InformationScreenEndsWithTheCodeOfItsButton) {
  CUpgradeDlg exitDialog(windows, hid);
  exitDialog.Configure(Setup(UpgradeScreen::UpToDate, &engine.linkA));
  EXPECT_EQ(Run(exitDialog, [&] { ClickAction(exitDialog); }), 3);

  CUpgradeDlg closeDialog(windows, hid);
  closeDialog.Configure(Setup(UpgradeScreen::UpToDate, &engine.linkA));
  EXPECT_EQ(Run(closeDialog, [&] { display.Click(closeDialog.Handle(), Centre(closeDialog.CloseButton())); }), 0);
}

// Without a device there is nothing to upgrade: the button ends the dialog instead.
TEST_F(UpgradeDialogTest, UpgradeWithoutDeviceLinkEndsTheDialog) {
  CUpgradeDlg dialog(windows, hid);
  dialog.Configure(Setup(UpgradeScreen::Offer, nullptr));
  EXPECT_EQ(Run(dialog, [&] { ClickAction(dialog); }), 3);
  EXPECT_EQ(dialog.StagesA() + dialog.StagesB(), 0);
  EXPECT_EQ(transferRunning.load(), 0);
}

TEST_F(UpgradeDialogTest, WorkerThatCannotStartEndsInFailure) {
  NoWorkerDlg dialog(windows, hid);
  dialog.Configure(Setup(UpgradeScreen::Offer, &engine.linkA));
  ScreenDescription shown;
  const int code = Run(dialog, [&] {
    ClickAction(dialog);
    const std::u16string failure =
        TranslateText(u"\n\nFirmware upgrade was NOT successful!\nPlease restart the application and try again.");
    ASSERT_TRUE(display.WaitUntil([&] { return dialog.DescribeScreen().body == failure; }, 10000));
    shown = dialog.DescribeScreen();
    ClickAction(dialog);
  });
  EXPECT_EQ(code, 3);
  EXPECT_EQ(shown.buttons, std::vector<std::u16string>{TranslateText(u"EXIT")});
  EXPECT_TRUE(shown.closeButton);
  EXPECT_FALSE(shown.progress.has_value());
  EXPECT_EQ(transferRunning.load(), 0);
  EXPECT_EQ(dialog.UpgradeSucceeded(), 0);
}

TEST_F(UpgradeDialogTest, ManualReplugCoversOnlyLateOneThreeAndOneFour) {
  const struct {
    DeviceInfo info;
    bool replug;
  } cases[] = {
      {{1, 3, 7, 5}, true},   {{1, 4, 9, 5}, true},   {{1, 3, 255, 5}, true}, {{1, 4, 6, 5}, false},
      {{1, 2, 9, 5}, false},  {{2, 3, 7, 5}, false},  {{0, 0, 0, 0}, false},
  };
  CUpgradeDlg dialog(windows, hid);
  dialog.engine = &engine;
  for (const auto& c : cases) {
    engine.deviceInfo = c.info;
    EXPECT_EQ(dialog.NeedsManualReplug(), c.replug)
        << int(c.info[0]) << "." << int(c.info[1]) << "." << int(c.info[2]);
  }
}

TEST(VersionVerdictTest, RaisedComparesMajorMinorPatch) {
  const FirmwareVersion package = {6, 0, 0};
  const struct {
    FirmwareVersion first;
    FirmwareVersion now;
    bool withClause;
    bool withoutClause;
  } cases[] = {
      {{4, 0, 198}, {4, 0, 198}, false, false},
      {{4, 0, 198}, {4, 0, 199}, true, true},
      {{4, 0, 198}, {4, 1, 0}, true, true},
      {{4, 0, 198}, {5, 0, 0}, true, true},
      {{4, 0, 198}, {3, 255, 255}, false, false},
      {{7, 0, 0}, {6, 0, 0}, true, false},
      {{7, 0, 0}, {6, 0, 1}, false, false},
      {{5, 0, 0}, {6, 0, 0}, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsVersionRaised(c.now, c.first, package, true), c.withClause);
    EXPECT_EQ(IsVersionRaised(c.now, c.first, package, false), c.withoutClause);
  }
}

}  // namespace
