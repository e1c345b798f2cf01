// Whole runs of the program against devices that fail: removed at every step, commands that are
// never answered, corrupted check words, refusals, and devices that come back wrong or not at all.
// For each run: where the user ends up, what was sent, that no two threads ever exchanged on one
// device at once, and that the program ends when the user leaves the last screen.

#include <dirent.h>

#include <set>

#include "hid/ReportFrame.h"
#include "tests/faults/ExchangeWatchingHidSystem.h"
#include "tests/workflow/ProgramTexts.h"
#include "tests/workflow/WorkflowRig.h"

namespace faults_test {
namespace {

using platform::SimulatedBadAck;
using platform::SimulatedFaults;
using platform::SimulatedGroup;
using platform::SimulatedVersion;
using workflow_test::Shot;
using workflow_test::T;
using workflow_test::kFailureBody;
using workflow_test::kInitialize;
using workflow_test::kKeyboardRestart;
using workflow_test::kMouseRestart;
using workflow_test::kOfferBody;
using workflow_test::kReprogramming;
using workflow_test::kSuccessBody;
using workflow_test::kTransferMessage;


// How long a screen that waits without end is watched before the test steps in.
constexpr platform::Millis kWatchedWait = 10 * 60 * 1000;
// Each feature-report call holds its device this long, so that overlapping exchanges show.
constexpr platform::Millis kCallDwellMs = 1;

struct DeviceKind {
  SimulatedGroup group;
  std::uint16_t productId;
  std::uint8_t modelCode;
};
// Reported by removal and arrival notices; only found by polling; the mouse.
constexpr DeviceKind kKeyboard76{SimulatedGroup::A, 0x0076, 5};
constexpr DeviceKind kKeyboard74{SimulatedGroup::A, 0x0074, 5};
constexpr DeviceKind kMouse78{SimulatedGroup::B, 0x0078, 7};

// Faults switched on by the program's own traffic: before the first write of a request with
// `code` (and block index `block`, unless -1), before or after the device reprogrammed.
struct Injection {
  int code = -1;  // -1: nothing is injected
  int block = -1;
  bool afterRestart = false;
  bool unplug = false;        // the device is pulled out
  SimulatedFaults faults{};   // otherwise, the device's faults from then on
};

enum class End {
  NoScreen,  // the program ends without showing anything
  Success,
  Failure,
};
enum class Leave { Exit, Close };

struct FaultRow {
  const char* name;
  DeviceKind device;
  SimulatedVersion firmware{5, 0, 0};
  SimulatedVersion versionAfterUpgrade{6, 0, 0};
  SimulatedFaults faults{};  // from the start
  Injection inject{};
  bool unplugDuringHeaderPause = false;  // by the user, while the device erases after the header
  // The message a screen keeps showing with no way out for the user, until the test replaces the
  // device with a working one; null when the run does not wait without end.
  const char16_t* waitsWith = nullptr;
  End end = End::Failure;
  const char16_t* resultVersion = nullptr;  // the version on the result screen, when checked
  bool headerTried = false;
  int blocksTried = 0;  // block indices 0 .. blocksTried-1 were written, no other
  int blocksTaken = 0;  // blocks the device took, the failing one too if only its answer was lost
  bool reprograms = false;  // the whole image went through and the device restarted with it
  Leave leave = Leave::Exit;
};

SimulatedFaults Stalled() {
  SimulatedFaults f;
  f.stallAcknowledgements = true;
  return f;
}
SimulatedFaults Silent() {
  SimulatedFaults f;
  f.noResponse = true;
  return f;
}
SimulatedFaults BadAcknowledgements(SimulatedBadAck kind, int command, int count = platform::kForever) {
  SimulatedFaults f;
  f.badAcknowledgements = count;
  f.badAcknowledgementKind = kind;
  f.badAcknowledgementCommand = command;
  return f;
}
SimulatedFaults RemovedAtBlock(int block) {
  SimulatedFaults f;
  f.removeAtBlock = block;
  return f;
}
SimulatedFaults ComesBackAs(std::uint16_t productId) {
  SimulatedFaults f;
  f.comesBackWithProductId = productId;
  return f;
}
SimulatedFaults ComesBackOld() {
  SimulatedFaults f;
  f.comesBackWithOldVersion = true;
  return f;
}
SimulatedFaults NeverComesBack() {
  SimulatedFaults f;
  f.neverComesBack = true;
  return f;
}

constexpr int kUnlock = CmdUnlock;
constexpr int kQuery = CmdQueryInfo;
constexpr int kHeader = CmdStartTransfer;
constexpr int kBlock = CmdWriteBlock;
constexpr int kAny = platform::kAnyCommand;

// Model 5 keyboards from 5.0.0 take 432 blocks; from 2.3.7, 575. Model 7 mice take 256.
const FaultRow kRows[] = {
    // Removed.
    {.name = "KeyboardRemovedBeforeUnlock", .device = kKeyboard76,
     .inject = {.code = kUnlock, .unplug = true}, .end = End::NoScreen},
    {.name = "MouseRemovedBeforeUnlock", .device = kMouse78,
     .inject = {.code = kUnlock, .unplug = true}, .end = End::NoScreen},
    {.name = "KeyboardRemovedAfterUnlock", .device = kKeyboard74,
     .inject = {.code = kQuery, .unplug = true}, .end = End::NoScreen},
    {.name = "KeyboardRemovedAfterHeader", .device = kKeyboard76, .unplugDuringHeaderPause = true,
     .headerTried = true, .blocksTried = 1, .blocksTaken = 0, .leave = Leave::Close},
    {.name = "MouseRemovedAtFirstBlock", .device = kMouse78, .faults = RemovedAtBlock(0),
     .headerTried = true, .blocksTried = 1, .blocksTaken = 0},
    {.name = "KeyboardRemovedAtMiddleBlock", .device = kKeyboard76, .faults = RemovedAtBlock(200),
     .headerTried = true, .blocksTried = 201, .blocksTaken = 200},
    {.name = "PolledKeyboardRemovedAtLastBlock", .device = kKeyboard74, .faults = RemovedAtBlock(431),
     .headerTried = true, .blocksTried = 432, .blocksTaken = 431, .leave = Leave::Close},
    {.name = "MouseRemovedAtLastBlock", .device = kMouse78, .faults = RemovedAtBlock(255),
     .headerTried = true, .blocksTried = 256, .blocksTaken = 255},

    // Never answered.
    {.name = "KeyboardUnlockNeverAcknowledged", .device = kKeyboard76, .faults = Stalled(), .end = End::NoScreen},
    {.name = "MouseQueryNeverAcknowledged", .device = kMouse78,
     .inject = {.code = kQuery, .faults = Stalled()}, .end = End::NoScreen},
    {.name = "MouseQueryNeverAnswered", .device = kMouse78, .faults = Silent(), .end = End::NoScreen},
    {.name = "KeyboardHeaderNeverAcknowledged", .device = kKeyboard76,
     .inject = {.code = kHeader, .faults = Stalled()}, .headerTried = true},
    {.name = "MouseBlockNeverAcknowledged", .device = kMouse78,
     .inject = {.code = kBlock, .block = 100, .faults = Stalled()},
     .headerTried = true, .blocksTried = 101, .blocksTaken = 101, .leave = Leave::Close},
    {.name = "KeyboardQueryAfterRestartNeverAnswered", .device = kKeyboard76,
     .inject = {.code = kQuery, .afterRestart = true, .faults = Silent()},
     .headerTried = true, .blocksTried = 432, .blocksTaken = 432, .reprograms = true},
    {.name = "MouseQueryAfterRestartNeverAnswered", .device = kMouse78,
     .inject = {.code = kQuery, .afterRestart = true, .faults = Silent()}, .waitsWith = kInitialize,
     .end = End::Success, .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 256, .blocksTaken = 256, .reprograms = true},

    // Corrupted check words: ignored until a first version from 1.3.7 on switches checking on.
    {.name = "CheckWordsCorruptCheckingOff", .device = kKeyboard76,
     .faults = BadAcknowledgements(SimulatedBadAck::WrongCheckWord, kAny), .end = End::Success,
     .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 432, .blocksTaken = 432, .reprograms = true},
    {.name = "CheckWordsCorruptCheckingOn", .device = kKeyboard74, .firmware = {2, 3, 7},
     .faults = BadAcknowledgements(SimulatedBadAck::WrongCheckWord, kAny), .headerTried = true},
    {.name = "SomeBlockCheckWordsCorruptCheckingOn", .device = kMouse78, .firmware = {2, 3, 7},
     .faults = BadAcknowledgements(SimulatedBadAck::WrongCheckWord, kBlock, 50), .end = End::Success,
     .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 256, .blocksTaken = 256, .reprograms = true},

    // Refused with a non-zero status word.
    {.name = "KeyboardUnlockRefused", .device = kKeyboard76,
     .faults = BadAcknowledgements(SimulatedBadAck::NonZeroStatus, kUnlock), .end = End::NoScreen},
    {.name = "MouseHeaderRefused", .device = kMouse78,
     .faults = BadAcknowledgements(SimulatedBadAck::NonZeroStatus, kHeader), .headerTried = true},
    {.name = "KeyboardBlockRefused", .device = kKeyboard76,
     .inject = {.code = kBlock, .block = 300, .faults = BadAcknowledgements(SimulatedBadAck::NonZeroStatus, kBlock)},
     .headerTried = true, .blocksTried = 301, .blocksTaken = 301, .leave = Leave::Close},

    // Back after the restart, but not as it should be.
    {.name = "MouseBackAsAnotherMouse", .device = kMouse78, .faults = ComesBackAs(0x0079), .end = End::Success,
     .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 256, .blocksTaken = 256, .reprograms = true},
    {.name = "KeyboardBackAsUnsupportedProduct", .device = kKeyboard76, .faults = ComesBackAs(0x0080),
     .waitsWith = kKeyboardRestart, .end = End::Success, .resultVersion = u" 6.0.0", .headerTried = true,
     .blocksTried = 432, .blocksTaken = 432, .reprograms = true},
    {.name = "MouseBackWithOldVersion", .device = kMouse78, .faults = ComesBackOld(), .resultVersion = u" 5.0.0",
     .headerTried = true, .blocksTried = 256, .blocksTaken = 256, .reprograms = true, .leave = Leave::Close},
    {.name = "PolledKeyboardBackWithLowerVersion", .device = kKeyboard74, .versionAfterUpgrade = {4, 0, 0},
     .resultVersion = u" 4.0.0", .headerTried = true, .blocksTried = 432, .blocksTaken = 432, .reprograms = true},
    {.name = "KeyboardNeverBack", .device = kKeyboard76, .faults = NeverComesBack(), .waitsWith = kKeyboardRestart,
     .end = End::Success, .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 432, .blocksTaken = 432, .reprograms = true},
    {.name = "PolledKeyboardNeverBack", .device = kKeyboard74, .faults = NeverComesBack(),
     .waitsWith = kReprogramming, .end = End::Success, .resultVersion = u" 6.0.0", .headerTried = true,
     .blocksTried = 432, .blocksTaken = 432, .reprograms = true, .leave = Leave::Close},
    {.name = "MouseNeverBack", .device = kMouse78, .faults = NeverComesBack(), .waitsWith = kMouseRestart,
     .end = End::Success, .resultVersion = u" 6.0.0", .headerTried = true, .blocksTried = 256, .blocksTaken = 256, .reprograms = true},
};

std::uint16_t BlockIndexOf(const platform::FeatureReport& report) {
  return static_cast<std::uint16_t>(report[frame::kPayload] | (report[frame::kPayload + 1] << 8));
}

// Threads of this process, the test's own included.
int ThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.' ? 1 : 0;
    closedir(tasks);
  }
  return count;
}

class FaultScenarioTest : public workflow_test::WorkflowTest, public ::testing::WithParamInterface<FaultRow> {
 protected:
  std::shared_ptr<platform::SimulatedDevice> PlugDevice(const FaultRow& row) {
    platform::SimulatedDeviceConfig config;
    config.group = row.device.group;
    config.productId = row.device.productId;
    config.modelCode = row.device.modelCode;
    config.firmware = row.firmware;
    config.versionAfterUpgrade = row.versionAfterUpgrade;
    config.faults = row.faults;
    return hid.Plug(config);
  }

  // A working device of the row's kind that already has the package's firmware.
  void PlugWorkingReplacement(const FaultRow& row) {
    platform::SimulatedDeviceConfig config;
    config.group = row.device.group;
    config.productId = row.device.productId;
    config.modelCode = row.device.modelCode;
    config.firmware = {6, 0, 0};
    hid.Plug(config);
  }

  void Inject(const FaultRow& row, const std::shared_ptr<platform::SimulatedDevice>& device) {
    if (row.inject.code < 0) return;
    auto fired = std::make_shared<std::atomic<bool>>(false);
    watched.SetWriteHook([this, row, device, fired](const platform::FeatureReport& report) {
      const Injection& inject = row.inject;
      if (report[frame::kCode] != inject.code) return;
      if (inject.block >= 0 && BlockIndexOf(report) != inject.block) return;
      if ((device->Reprogrammings() > 0) != inject.afterRestart) return;
      if (fired->exchange(true)) return;
      if (inject.unplug) {
        hid.Unplug(device);
      } else {
        device->SetFaults(inject.faults);
      }
    });
  }

  // The user: accepts the offer, sits out any wait without end, and leaves the result screen.
  void ActAsUser(const FaultRow& row, const std::shared_ptr<platform::SimulatedDevice>& device) {
    if (row.end == End::NoScreen) return;
    const Shot offer = NextScreenWithBody(kOfferBody);
    ClickAction(offer);
    if (row.unplugDuringHeaderPause) {
      NextScreenWithMessage(kTransferMessage);
      Idle(1000);  // the header went out at once; the device erases for two seconds
      hid.Unplug(device);
    }
    if (row.waitsWith != nullptr) {
      ExpectWaitKeepsShowing(row.waitsWith, offer);
      hid.Unplug(device);
      PlugWorkingReplacement(row);
    }
    const Shot result = NextScreenWithBody(row.end == End::Success ? kSuccessBody : kFailureBody);
    Idle(30000);  // nothing may replace the result
    if (row.leave == Leave::Exit) {
      ClickAction(result);
    } else {
      ClickClose(result);
    }
  }

  // The screen keeps `message` for a long time, without buttons, and keys or a click where the
  // close button was do not end it. (Closing the window from the desktop does; the workflow tests
  // show that.)
  void ExpectWaitKeepsShowing(const char16_t* message, const Shot& offer) {
    const Shot waiting = NextScreenWithMessage(message);
    Idle(kWatchedWait);
    display.PressKey(platform::VK_ESCAPE);
    display.PressKey(platform::VK_RETURN);
    if (offer.close) display.Click(waiting.window, *offer.close);
    Idle(5000);

    EXPECT_TRUE(display.IsShown(waiting.window));
    const std::vector<Shot> shots = Shots();
    ASSERT_FALSE(shots.empty());
    const Shot& now = shots.back();
    EXPECT_EQ(now.window, waiting.window);
    EXPECT_EQ(now.screen.message, T(message)) << Transcript();
    EXPECT_FALSE(now.screen.closeButton);
    EXPECT_TRUE(now.screen.buttons.empty());
    EXPECT_GE(clock.Now() - waiting.time, kWatchedWait);
  }

  // As the rig runs the program, with the program's devices reached through the watcher.
  void RunWatchedProgram(std::function<void()> user) {
    platform::Thread userThread = clock.StartThread(std::move(user));
    {
      CRirudUvarizaDlg program(windows, watched);
      modalResult = program.DoModal();
    }
    userThread.Join();
  }

  void ExpectSent(const FaultRow& row) {
    bool headerTried = false;
    std::set<int> blocks;
    for (const platform::FeatureReport& report : watched.Writes()) {
      headerTried = headerTried || report[frame::kCode] == kHeader;
      if (report[frame::kCode] == kBlock) blocks.insert(BlockIndexOf(report));
    }
    EXPECT_EQ(headerTried, row.headerTried);
    // Blocks go in order and stop at the one that failed.
    EXPECT_EQ(blocks.size(), static_cast<std::size_t>(row.blocksTried));
    if (!blocks.empty()) {
      EXPECT_EQ(*blocks.begin(), 0);
      EXPECT_EQ(*blocks.rbegin(), row.blocksTried - 1);
    }
  }

  void ExpectFinalScreen(const FaultRow& row) {
    const std::vector<Shot> shots = Shots();
    if (row.end == End::NoScreen) {
      EXPECT_TRUE(shots.empty());
      return;
    }
    ASSERT_FALSE(shots.empty());
    const ScreenDescription& result = shots.back().screen;
    EXPECT_EQ(result.body, T(row.end == End::Success ? kSuccessBody : kFailureBody));
    EXPECT_EQ(result.message, u" ");
    EXPECT_EQ(result.buttons, std::vector<std::u16string>{T(u"EXIT")});
    EXPECT_TRUE(result.closeButton);
    EXPECT_FALSE(result.progress.has_value());
    if (row.resultVersion != nullptr) {
      EXPECT_EQ(result.status, T(u"Your KORVEX 6.0\r\nis currently on\r\nVersion ") + row.resultVersion);
    }
  }

  ExchangeWatchingHidSystem watched{hid, clock, kCallDwellMs};
};

TEST_P(FaultScenarioTest, EndsOnTheRightScreenHavingSentOnlyWhatItMay) {
  const FaultRow& row = GetParam();
  const int threadsBefore = ThreadCount();
  const auto device = PlugDevice(row);
  Inject(row, device);

  RunWatchedProgram([&] { ActAsUser(row, device); });

  SCOPED_TRACE(Transcript());
  ExpectFinalScreen(row);
  ExpectSent(row);
  EXPECT_EQ(device->BlocksReceived(), static_cast<std::uint32_t>(row.blocksTaken));
  EXPECT_EQ(device->Reprogrammings(), row.reprograms ? 1 : 0);
  EXPECT_GT(watched.Calls(), 0);
  EXPECT_EQ(watched.OverlappingCalls(), 0);
  // The program has ended: nothing shown, every thread it started gone.
  EXPECT_EQ(modalResult, -1);
  EXPECT_TRUE(display.ShownWindows().empty());
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultScenarioTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace faults_test
