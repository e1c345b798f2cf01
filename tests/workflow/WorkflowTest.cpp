// Whole runs of the program: the simulated device, the real dialogs and engine, a user who reads
// the screens and clicks, all on the virtual clock.

#include <cerrno>
#include <filesystem>
#include <ostream>

#include "app/CRirudUvarizaApp.h"
#include "tests/workflow/ProgramTexts.h"
#include "tests/workflow/WorkflowRig.h"

namespace workflow_test {
namespace {

using platform::SimulatedGroup;

constexpr std::uint8_t kTransferHeader = 8;
constexpr std::uint8_t kQuery = 17;

std::u16string Heading() { return T(u"\n\nFIRMWARE UPGRADE ") + u" 6.0.0"; }
std::u16string VersionLine(const char16_t* version) {
  return T(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ") + version;
}

std::u16string Digits(unsigned value) {
  std::u16string text;
  for (char c : std::to_string(value)) text += static_cast<char16_t>(c);
  return text;
}

std::size_t CountRequests(const platform::SimulatedDevice& device, std::uint8_t code) {
  std::size_t count = 0;
  for (const auto& request : device.Requests()) count += request.code == code ? 1 : 0;
  return count;
}

bool MentionsMessage(const std::vector<Shot>& shots, const char16_t* english) {
  const std::u16string message = T(english);
  for (const Shot& s : shots) {
    if (s.screen.message == message) return true;
  }
  return false;
}

int HighestProgress(const std::vector<Shot>& shots) {
  int highest = -1;
  for (const Shot& s : shots) highest = std::max(highest, s.highestProgress);
  return highest;
}

// --- Information screens ---

TEST_F(WorkflowTest, NoDeviceShowsNotFoundUntilExitAndEnds) {
  RunProgram([&] {
    const Shot shot = NextScreen([](const Shot&) { return true; }, "any screen");
    // Neither Enter, Escape nor the window manager's close ends the screen.
    display.PressKey(platform::VK_RETURN);
    display.PressKey(platform::VK_ESCAPE);
    display.RequestClose(shot.window);
    Idle(1000);
    EXPECT_TRUE(display.IsShown(shot.window));
    ClickAction(shot);
  });

  const std::vector<Shot> shots = Shots();
  ASSERT_EQ(shots.size(), 1u) << Transcript();
  const ScreenDescription& screen = shots[0].screen;
  EXPECT_EQ(screen.heading, Heading());
  EXPECT_EQ(screen.status, T(kNotFoundStatus));
  EXPECT_EQ(screen.message, std::nullopt);
  EXPECT_EQ(screen.body, T(kNotFoundBody));
  EXPECT_EQ(screen.buttons, std::vector<std::u16string>{T(u"EXIT")});
  EXPECT_TRUE(screen.closeButton);
  EXPECT_TRUE(quitPendingAfterConstruction);
  EXPECT_EQ(modalResult, -1);
  EXPECT_TRUE(display.ShownWindows().empty());
}

class UpToDateTest : public WorkflowTest, public ::testing::WithParamInterface<platform::SimulatedVersion> {};

TEST_P(UpToDateTest, ShowsTheVersionAndSendsNothingFurther) {
  const platform::SimulatedVersion version = GetParam();
  const auto device = Plug(SimulatedGroup::A, 0x0076, version, 5);
  RunProgram([&] { ClickAction(NextScreenWithBody(kUpToDateBody)); });

  const std::vector<Shot> shots = Shots();
  ASSERT_EQ(shots.size(), 1u) << Transcript();
  const std::u16string shown = u" " + Digits(version.major) + u"." + Digits(version.minor) + u"." + Digits(version.patch);
  EXPECT_EQ(shots[0].screen.heading, Heading());
  EXPECT_EQ(shots[0].screen.status, VersionLine(shown.c_str()));
  EXPECT_EQ(shots[0].screen.message, std::nullopt);
  EXPECT_EQ(shots[0].screen.buttons, std::vector<std::u16string>{T(u"EXIT")});
  EXPECT_EQ(CountRequests(*device, kTransferHeader), 0u);
  EXPECT_TRUE(quitPendingAfterConstruction);
}

INSTANTIATE_TEST_SUITE_P(Versions, UpToDateTest,
                         ::testing::Values(platform::SimulatedVersion{6, 0, 0}, platform::SimulatedVersion{7, 0, 0}));

// Unplugging and replugging the keyboard while an information screen is up is no upgrade step:
// no restart message, no reconnection, no result.
TEST_F(WorkflowTest, DeviceNoticesOnAnInformationScreenChangeNothing) {
  const auto device = Plug(SimulatedGroup::A, 0x0076, {6, 0, 0}, 5);
  RunProgram([&] {
    const Shot shot = NextScreenWithBody(kUpToDateBody);
    hid.Unplug(device);
    Idle(5000);
    hid.Plug(device);
    Idle(30000);
    ClickAction(shot);
  });
  const std::vector<Shot> shots = Shots();
  ASSERT_EQ(shots.size(), 1u) << Transcript();
  EXPECT_LT(shots[0].time, 1000);
}

TEST_F(WorkflowTest, CloseButtonOnTheOfferEndsWithoutSending) {
  const auto device = Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5);
  RunProgram([&] { ClickClose(NextScreenWithBody(kOfferBody)); });

  EXPECT_EQ(Shots().size(), 1u) << Transcript();
  EXPECT_EQ(CountRequests(*device, kTransferHeader), 0u);
  EXPECT_EQ(device->Version(), (platform::SimulatedVersion{5, 0, 0}));
  EXPECT_TRUE(quitPendingAfterConstruction);
  EXPECT_EQ(modalResult, -1);
}

// --- Upgrades ---

struct UpgradeCase {
  const char* name;
  SimulatedGroup group;
  std::uint16_t productId;
  std::uint8_t modelCode;
  int blocks;
  const char16_t* restartMessage;  // shown after the removal notice; null: found by polling only
};

void PrintTo(const UpgradeCase& c, std::ostream* out) { *out << c.name; }

class UpgradeTest : public WorkflowTest, public ::testing::WithParamInterface<UpgradeCase> {};

TEST_P(UpgradeTest, OfferTransferRestartAndSuccess) {
  const UpgradeCase& c = GetParam();
  const auto device = Plug(c.group, c.productId, {5, 0, 0}, c.modelCode);
  std::size_t queriesAtResult = 0;
  RunProgram([&] {
    const Shot offer = NextScreenWithBody(kOfferBody);
    ClickAction(offer);
    NextScreenWithMessage(kTransferMessage);
    NextScreenWithMessage(kReprogramming);
    if (c.restartMessage != nullptr) NextScreenWithMessage(c.restartMessage);
    const Shot result = NextScreenWithBody(kSuccessBody);
    queriesAtResult = CountRequests(*device, kQuery);
    Idle(10000);  // a poll timer left running would verify again and repaint
    ClickAction(result);
  });

  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  ASSERT_GE(shots.size(), 4u);
  const ScreenDescription& offer = shots.front().screen;
  EXPECT_EQ(offer.heading, Heading());
  EXPECT_EQ(offer.status, VersionLine(u" 5.0.0"));
  EXPECT_EQ(offer.buttons, std::vector<std::u16string>{T(u"UPGRADE NOW")});
  EXPECT_TRUE(offer.closeButton);

  // The transfer: the warning, then (once the last block is sent) the final warning; no way
  // out; the bar up to the last block.
  std::vector<std::optional<std::u16string>> transferBodies;
  for (const Shot& s : shots) {
    if (s.screen.message != T(kTransferMessage)) continue;
    transferBodies.push_back(s.screen.body);
    EXPECT_TRUE(s.screen.buttons.empty());
    EXPECT_FALSE(s.screen.closeButton);
    ASSERT_TRUE(s.screen.progress.has_value());
    EXPECT_EQ(s.screen.progress->high, c.blocks);
  }
  EXPECT_EQ(transferBodies, (std::vector<std::optional<std::u16string>>{T(kTransferBody), T(kFinalWarningBody)}));
  EXPECT_EQ(HighestProgress(shots), c.blocks);

  const ScreenDescription& result = shots.back().screen;
  EXPECT_EQ(result.status, VersionLine(u" 6.0.0"));
  EXPECT_EQ(result.body, T(kSuccessBody));
  EXPECT_EQ(result.buttons, std::vector<std::u16string>{T(u"EXIT")});
  EXPECT_TRUE(result.closeButton);
  EXPECT_FALSE(result.progress.has_value());

  if (c.restartMessage == nullptr) {
    EXPECT_FALSE(MentionsMessage(shots, kKeyboardRestart));
    EXPECT_FALSE(MentionsMessage(shots, kMouseRestart));
  }
  EXPECT_EQ(CountRequests(*device, kQuery), queriesAtResult);
  EXPECT_EQ(device->Reprogrammings(), 1);
  EXPECT_EQ(device->Version(), (platform::SimulatedVersion{6, 0, 0}));
  EXPECT_TRUE(quitPendingAfterConstruction);
  EXPECT_EQ(modalResult, -1);
  EXPECT_TRUE(display.ShownWindows().empty());
}

// Group A model 5 from 5.0.0 sends 0x5FFF bytes in 57-byte blocks; group B model 7 0x1FFF bytes
// in 32-byte blocks.
INSTANTIATE_TEST_SUITE_P(
    Devices, UpgradeTest,
    ::testing::Values(UpgradeCase{"KeyboardThroughNotifications", SimulatedGroup::A, 0x0076, 5, 432, kKeyboardRestart},
                      UpgradeCase{"KeyboardFoundByPolling", SimulatedGroup::A, 0x0074, 5, 432, nullptr},
                      UpgradeCase{"MouseRemovalThenPolling", SimulatedGroup::B, 0x0078, 7, 256, kMouseRestart}),
    [](const ::testing::TestParamInfo<UpgradeCase>& param) { return std::string(param.param.name); });

// The keyboard's arrival is followed by a settle delay before it is reconnected.
TEST_F(WorkflowTest, KeyboardArrivalWaitsTwentySecondsBeforeTheVerdict) {
  Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5);
  Millis restartShownAt = 0;
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    restartShownAt = NextScreenWithMessage(kKeyboardRestart).time;
    ClickAction(NextScreenWithBody(kSuccessBody));
  });
  const std::vector<Shot> shots = Shots();
  EXPECT_GE(shots.back().time - restartShownAt, CUpgradeDlg::kGroupASettleMs) << Transcript();
}

TEST_F(WorkflowTest, FailedTransferShowsFailureAtOnce) {
  platform::SimulatedFaults faults;
  faults.writeFailure = platform::SimulatedIoFailure{EIO, platform::kForever, 9, 100};
  const auto device = Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, faults);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    const Shot result = NextScreenWithBody(kFailureBody);
    Idle(10000);
    ClickAction(result);
  });

  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  EXPECT_FALSE(MentionsMessage(shots, kReprogramming));
  const ScreenDescription& result = shots.back().screen;
  EXPECT_EQ(result.body, T(kFailureBody));
  EXPECT_EQ(result.buttons, std::vector<std::u16string>{T(u"EXIT")});
  EXPECT_TRUE(result.closeButton);
  EXPECT_EQ(device->BlocksReceived(), 100u);
  EXPECT_EQ(device->Reprogrammings(), 0);
  // No version was read after the failed transfer: the screen claims none.
  EXPECT_FALSE(result.status.has_value()) << Transcript();
}

// A device that never comes back leaves no button to press; closing the window from the desktop
// ends the wait and the program, and nothing more is sent.
TEST_F(WorkflowTest, DesktopCloseEndsTheEndlessWaitForTheDevice) {
  platform::SimulatedFaults faults;
  faults.neverComesBack = true;
  const auto device = Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, faults);
  RunProgram([&] {
    const Shot offer = NextScreenWithBody(kOfferBody);
    display.RequestClose(offer.window);  // ignored on the offer screen
    ClickAction(offer);
    const Shot transfer = NextScreenWithMessage(u"Transfer in progress ...");
    display.RequestClose(transfer.window);  // ignored while the transfer runs
    const Shot waiting = NextScreenWithMessage(kKeyboardRestart);
    Idle(10 * 60 * 1000);
    display.RequestClose(waiting.window);
  });
  EXPECT_EQ(device->Reprogrammings(), 1);
  EXPECT_EQ(device->BlocksReceived(), 432u);
  const std::vector<Shot> shots = Shots();
  for (const Shot& shot : shots) EXPECT_NE(shot.screen.body, T(kFailureBody)) << Transcript();
  EXPECT_EQ(shots.back().screen.message, T(kKeyboardRestart));
}

TEST_F(WorkflowTest, VersionNotRaisedAfterRestartIsAFailure) {
  platform::SimulatedFaults faults;
  faults.comesBackWithOldVersion = true;
  Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, faults);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    NextScreenWithMessage(kKeyboardRestart);
    ClickAction(NextScreenWithBody(kFailureBody));
  });
  const ScreenDescription result = Shots().back().screen;
  EXPECT_EQ(result.status, VersionLine(u" 5.0.0")) << Transcript();
  EXPECT_EQ(result.body, T(kFailureBody));
}

// Old firmware loses the last acknowledgement and does not restart by itself: the user is asked
// to unplug it and to connect it again, and the screen waits until it is back.
TEST_F(WorkflowTest, OldFirmwareAsksForAManualReplug) {
  platform::SimulatedFaults faults;
  faults.readFailure = platform::SimulatedIoFailure{EIO, platform::kForever, 9, 574};
  const auto device = Plug(SimulatedGroup::A, 0x0074, {1, 3, 7}, 5, faults);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    NextScreenWithMessage(kUnplug);
    hid.Unplug(device);
    NextScreenWithMessage(kConnect);
    Idle(9000);  // the request stays up for as long as the device is away
    platform::SimulatedDeviceConfig reprogrammed;
    reprogrammed.group = SimulatedGroup::A;
    reprogrammed.productId = 0x0074;
    reprogrammed.firmware = {6, 0, 0};
    hid.Plug(reprogrammed);
    ClickAction(NextScreenWithBody(kSuccessBody));
  });

  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  EXPECT_EQ(device->BlocksReceived(), 575u);
  EXPECT_EQ(shots.back().screen.status, VersionLine(u" 6.0.0"));
  // After the unplug request only the connect request, then the result.
  std::vector<std::optional<std::u16string>> messages;
  bool afterUnplug = false;
  for (const Shot& s : shots) {
    afterUnplug = afterUnplug || s.screen.message == T(kUnplug);
    if (afterUnplug && (messages.empty() || messages.back() != s.screen.message)) messages.push_back(s.screen.message);
  }
  EXPECT_EQ(messages, (std::vector<std::optional<std::u16string>>{T(kUnplug), T(kConnect), u" "}));
  EXPECT_GE(shots.back().time - shots[shots.size() - 2].time, 9000);
}

// A device that comes back but does not answer its query yet keeps the dialog waiting.
TEST_F(WorkflowTest, SilentDeviceAfterRestartIsWaitedFor) {
  const auto device = Plug(SimulatedGroup::B, 0x0078, {5, 0, 0}, 7);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    NextScreenWithMessage(kMouseRestart);
    platform::SimulatedFaults silent;
    silent.noResponse = true;
    device->SetFaults(silent);
    NextScreenWithMessage(kInitialize);
    Idle(6000);
    device->SetFaults({});
    ClickAction(NextScreenWithBody(kSuccessBody));
  });
  const std::vector<Shot> shots = Shots();
  EXPECT_EQ(shots.back().screen.status, VersionLine(u" 6.0.0")) << Transcript();
}

// --- Simplified Chinese ---

bool HasChinese(const std::u16string& text) {
  for (char16_t c : text) {
    if (c >= 0x4E00 && c <= 0x9FFF) return true;
  }
  return false;
}

// The last pair of every table has no line break after its translation and is not in force, so
// the reprogramming message stays English.
void ExpectAllChinese(const std::vector<Shot>& shots) {
  for (const Shot& s : shots) {
    for (const auto* text : {&s.screen.heading, &s.screen.status, &s.screen.body, &s.screen.message}) {
      if (text->has_value() && **text != u" " && **text != kReprogramming) {
        EXPECT_TRUE(HasChinese(**text)) << Utf8(*text);
      }
    }
    for (const auto& caption : s.screen.buttons) EXPECT_TRUE(HasChinese(caption)) << Utf8(caption);
  }
}

TEST_F(WorkflowTest, EveryScreenInSimplifiedChinese) {
  SelectTable(4008);
  platform::SimulatedFaults failing;
  failing.writeFailure = platform::SimulatedIoFailure{EIO, platform::kForever, 9, 10};
  // Not found, up to date, then an upgrade through to success and one that fails.
  RunProgram([&] { ClickAction(NextScreenWithBody(kNotFoundBody)); });
  auto current = Plug(SimulatedGroup::A, 0x0074, {6, 0, 0}, 5);
  RunProgram([&] { ClickAction(NextScreenWithBody(kUpToDateBody)); });
  hid.Unplug(current);
  current = Plug(SimulatedGroup::A, 0x0074, {5, 0, 0}, 5);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    NextScreenWithMessage(kReprogramming);
    ClickAction(NextScreenWithBody(kSuccessBody));
  });
  hid.Unplug(current);
  current = Plug(SimulatedGroup::A, 0x0074, {5, 0, 0}, 5, failing);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    ClickAction(NextScreenWithBody(kFailureBody));
  });

  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  EXPECT_GE(shots.size(), 8u);
  ExpectAllChinese(shots);
  EXPECT_NE(T(kOfferBody), std::u16string(kOfferBody));
}

// --- The waiting dialog ---

// The first query fails; the waiting dialog asks again on its own thread and shows the screen
// the answer calls for there. Afterwards every thread has ended and nothing is left open.
TEST_F(WorkflowTest, FailedFirstQueryIsRetriedByTheWaitingDialog) {
  platform::SimulatedFaults firstQueryFails;
  firstQueryFails.badAcknowledgements = 100 * 20;
  firstQueryFails.badAcknowledgementCommand = kQuery;
  Plug(SimulatedGroup::A, 0x0076, {6, 0, 0}, 5, firstQueryFails);
  int waitingResult = -100;
  bool queryDone = false;
  RunProgram([&] { ClickAction(NextScreenWithBody(kUpToDateBody)); },
             [&](CRirudUvarizaDlg& program) {
               ASSERT_EQ(program.WaitingDialogs().size(), 1u);
               CWaitingDlg& waiting = *program.WaitingDialogs().front();
               waiting.WaitForThreads();
               waitingResult = waiting.ModalResult();
               queryDone = waiting.QueryDone();
             });

  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  ASSERT_EQ(shots.size(), 2u);
  EXPECT_EQ(shots[0].screen.status, VersionLine(u" 6.0.0"));
  // "Loading Profiles" opens after the result screen was closed; it cannot be closed by its
  // user, so it closes itself once its animation has stopped.
  EXPECT_EQ(shots[1].screen.heading, T(u"Loading Profiles"));
  EXPECT_EQ(shots[1].screen.status, T(u"Please wait while Profiles are being loaded from your Vorlan Keyboard"));
  EXPECT_TRUE(shots[1].screen.buttons.empty());
  EXPECT_FALSE(shots[1].screen.closeButton);
  EXPECT_EQ(waitingResult, 0);
  EXPECT_TRUE(queryDone);
  EXPECT_TRUE(display.ShownWindows().empty());
}

TEST_F(WorkflowTest, UpgradeRunsOnTheWaitingDialogsThread) {
  platform::SimulatedFaults firstQueryFails;
  firstQueryFails.badAcknowledgements = 100 * 20;
  firstQueryFails.badAcknowledgementCommand = kQuery;
  const auto device = Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, firstQueryFails);
  RunProgram([&] {
    ClickAction(NextScreenWithBody(kOfferBody));
    NextScreenWithMessage(kKeyboardRestart);
    ClickAction(NextScreenWithBody(kSuccessBody));
  });
  const std::vector<Shot> shots = Shots();
  SCOPED_TRACE(Transcript());
  EXPECT_EQ(shots.back().screen.body, T(kSuccessBody));
  for (const Shot& s : shots) EXPECT_NE(s.screen.heading, T(u"Loading Profiles"));
  EXPECT_EQ(device->Version(), (platform::SimulatedVersion{6, 0, 0}));
  EXPECT_TRUE(display.ShownWindows().empty());
}

// The application says why it ends without a screen, and when it does not.
TEST_F(WorkflowTest, ApplicationExplainsAnEndWithoutAnyScreen) {
  char folder[] = "/tmp/rirud-app-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const auto runApplication = [&] {
    testing::internal::CaptureStderr();
    CRirudUvarizaApp app(windows, hid, folder);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_FALSE(app.TurnedAwayByOtherInstance());
    platform::Message leftover;
    while (windows.PeekMessage(leftover, true)) {
    }
    return testing::internal::GetCapturedStderr();
  };

  platform::SimulatedFaults silent;
  silent.noResponse = true;
  const auto mute = Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, silent);
  EXPECT_NE(runApplication().find("did not answer"), std::string::npos);
  EXPECT_EQ(CountRequests(*mute, 8) + CountRequests(*mute, 9), 0u);

  hid.Unplug(mute);
  Plug(SimulatedGroup::A, 0x0076, {6, 0, 0}, 5);
  // Looked up here: the application chooses the language again as it starts, which no other
  // thread may watch it do.
  const std::u16string upToDate = T(kUpToDateBody);
  platform::Thread user = clock.StartThread(
      [&] { ClickAction(NextScreen([&](const Shot& s) { return s.screen.body == upToDate; }, "up to date")); });
  EXPECT_EQ(runApplication().find("did not answer"), std::string::npos);
  user.Join();
  std::filesystem::remove_all(folder);
}

TEST_F(WorkflowTest, DeviceThatNeverAnswersEndsWithNothingShown) {
  platform::SimulatedFaults silent;
  silent.noResponse = true;
  Plug(SimulatedGroup::A, 0x0076, {5, 0, 0}, 5, silent);
  bool queryDone = false;
  RunProgram([] {}, [&](CRirudUvarizaDlg& program) {
    ASSERT_EQ(program.WaitingDialogs().size(), 1u);
    program.WaitingDialogs().front()->WaitForThreads();
    queryDone = program.WaitingDialogs().front()->QueryDone();
  });
  EXPECT_TRUE(Shots().empty()) << Transcript();
  EXPECT_TRUE(queryDone);
  EXPECT_TRUE(quitPendingAfterConstruction);
}

}  // namespace
}  // namespace workflow_test
