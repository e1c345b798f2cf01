// Whole runs of the program against a keyboard emulated by umockdev: detection through sysfs,
// the protocol over hidraw ioctls, the removal and arrival of the restarting device as udev
// events, and the screens it prints. These run in real time, so the device restarts quickly and
// every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "EmulatedKeyboard.h"
#include "HidrawTestBed.h"
#include "platform/sim/SimulatedDevice.h"
#include "tests/support/ChildProcess.h"

namespace platform {
namespace {

using testsupport::ChildProcess;

// Far more than a run needs (a 2 s pause before the blocks, a 2 s poll after the restart), also
// in the sanitizer builds; a hung program fails the test here instead of hanging it.
constexpr auto kRunBound = std::chrono::seconds(120);

// Model code 14 takes the image of 256 blocks of 32 bytes.
constexpr std::uint8_t kModelCode = 14;
constexpr std::uint32_t kBlockCount = 256;
constexpr std::uint8_t kBlockSize = 32;
constexpr SimulatedVersion kPackageVersion{6, 0, 0};

SimulatedDeviceConfig Keyboard(std::uint16_t productId) {
  SimulatedDeviceConfig config;
  config.group = SimulatedGroup::A;
  config.productId = productId;
  config.firmware = {5, 2, 1};
  config.modelCode = kModelCode;
  config.versionAfterUpgrade = kPackageVersion;
  config.restartMs = 300;
  return config;
}

std::vector<std::string> Lines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < output.size()) {
    const std::size_t end = output.find('\n', start);
    lines.push_back(output.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int CountLinesWith(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& line) { return Contains(line, part); }));
}

struct ProgramRun {
  std::optional<int> status;  // empty: it did not end in time and was killed
  std::vector<std::string> lines;
  std::string output;
  std::chrono::steady_clock::duration elapsed{};
};

class UpgradeOverHidraw : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HidrawTestBed::PreloadActive())
        << "run this test through umockdev's preload (ctest does), or the program would see the real /sys";
    char name[] = "/tmp/rirud-umock-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The program as a user would start it for an unattended upgrade, on the test bed's machine.
  ProgramRun RunProgram() {
    std::vector<std::string> env = bed_.ChildEnvironment();
    for (const std::string& e : {"XDG_RUNTIME_DIR=" + folder_, "RIRUD_UVARIZA_SETTINGS=" + folder_ + "/none.conf",
                                 std::string("LANG=C"), std::string("LC_ALL="), std::string("LC_MESSAGES=")}) {
      env.push_back(e);
    }
    ChildProcess child;
    ProgramRun run;
    if (!child.Start({RIRUD_PROGRAM, "--headless", "--yes"}, env)) {
      ADD_FAILURE() << "cannot start " << RIRUD_PROGRAM;
      return run;
    }
    const auto start = std::chrono::steady_clock::now();
    run.status = child.Wait(kRunBound);
    run.elapsed = std::chrono::steady_clock::now() - start;
    run.output = child.ReadOutput();
    run.lines = Lines(run.output);
    return run;  // a program still running is killed here
  }

  ProgramRun ExpectWholeUpgrade(std::uint16_t productId);

  HidrawTestBed bed_;
  std::string folder_;
};

// A whole unattended upgrade of a keyboard with this product id; returns the run for checks of
// its own.
ProgramRun UpgradeOverHidraw::ExpectWholeUpgrade(std::uint16_t productId) {
  SimulatedDevice device(Keyboard(productId));
  EmulatedKeyboard keyboard(bed_, device, productId);

  ProgramRun run = RunProgram();
  EXPECT_TRUE(run.status.has_value()) << "still running after " << kRunBound.count() << " s:\n" << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  if (run.lines.size() < 3) {
    ADD_FAILURE() << "too few screens: " << run.output;
    return run;
  }

  // The offer for the version it read, the transfer's progress, the result for the version after.
  EXPECT_TRUE(Contains(run.lines.front(), "\"buttons\":[\"UPGRADE NOW\"]")) << run.lines.front();
  EXPECT_TRUE(Contains(run.lines.front(), "5.2.1")) << run.lines.front();
  EXPECT_GE(CountLinesWith(run.lines, "\"high\":256}"), 2) << run.output;
  EXPECT_GE(CountLinesWith(run.lines, "\"position\":256,"), 1) << "the last block's step: " << run.output;
  EXPECT_TRUE(Contains(run.lines.back(), "Firmware upgrade was successful!")) << run.lines.back();
  EXPECT_TRUE(Contains(run.lines.back(), "6.0.0")) << run.lines.back();
  EXPECT_TRUE(Contains(run.lines.back(), "\"buttons\":[\"EXIT\"]")) << run.lines.back();
  for (const std::string& line : run.lines) EXPECT_EQ(line.rfind("{\"dialog\":", 0), 0u) << "not a screen: " << line;

  // The device got the whole image once, restarted once and answered the program afterwards.
  const auto header = device.Header();
  EXPECT_TRUE(header.has_value());
  if (header) {
    EXPECT_EQ(header->blockCount, kBlockCount);
    EXPECT_EQ(header->blockSize, kBlockSize);
    EXPECT_EQ(device.ReceivedImage().size(), header->length);
    EXPECT_GT(header->length, (kBlockCount - 1) * kBlockSize) << "the last block carries the rest";
  }
  EXPECT_EQ(device.BlocksReceived(), kBlockCount);
  EXPECT_EQ(device.Reprogrammings(), 1);
  EXPECT_EQ(device.Version(), kPackageVersion);
  EXPECT_TRUE(device.Unlocked()) << "the program unlocked the restarted device to read its version";
  EXPECT_EQ(keyboard.Departures(), 1);
  EXPECT_EQ(keyboard.Arrivals(), 1);
  EXPECT_EQ(keyboard.TransfersOnOtherInterfaces(), 0);
  return run;
}

// Product 0x0074 is found again by the program's periodic search after the restart.
TEST_F(UpgradeOverHidraw, KeyboardIsUpgradedAndFoundAgainAfterItsRestart) { ExpectWholeUpgrade(0x0074); }

// Product 0x0076's arrival is followed from its udev event: the program lets the arrived keyboard
// settle for 20 s before it reconnects, and its periodic search waits meanwhile. The run lasting
// that long is what shows the event was seen; found by the search alone, it would end seconds
// after the restart. (Whether the removal's "wait for your Keyboard" text shows depends on
// whether the removal comes before or after the end of the transfer is noticed.)
TEST_F(UpgradeOverHidraw, KeyboardFollowedThroughItsArrivalEventIsUpgraded) {
  const ProgramRun run = ExpectWholeUpgrade(0x0076);
  EXPECT_GE(run.elapsed, std::chrono::seconds(20)) << run.output;
}

TEST_F(UpgradeOverHidraw, KeyboardPulledOutDuringTheTransferEndsInFailureAndNoFurtherBlocks) {
  constexpr int kRemovedAt = 100;
  SimulatedDeviceConfig config = Keyboard(0x0074);
  config.faults.removeAtBlock = kRemovedAt;
  SimulatedDevice device(config);
  EmulatedKeyboard keyboard(bed_, device, 0x0074);

  const ProgramRun run = RunProgram();
  ASSERT_TRUE(run.status.has_value()) << "still running after " << kRunBound.count() << " s:\n" << run.output;
  EXPECT_EQ(*run.status, 0) << "EXIT ends the program normally: " << run.output;
  ASSERT_FALSE(run.lines.empty());
  EXPECT_TRUE(Contains(run.lines.front(), "\"buttons\":[\"UPGRADE NOW\"]")) << run.lines.front();
  EXPECT_TRUE(Contains(run.lines.back(), "NOT successful")) << run.lines.back();
  EXPECT_TRUE(Contains(run.lines.back(), "\"buttons\":[\"EXIT\"]")) << run.lines.back();
  EXPECT_EQ(CountLinesWith(run.lines, "upgrade was successful!"), 0) << run.output;

  // Blocks up to the one that found the device gone were sent; that one may have been retried,
  // but nothing after it.
  EXPECT_EQ(device.BlocksReceived(), static_cast<std::uint32_t>(kRemovedAt));
  const std::vector<int> writes = keyboard.BlockWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(*std::max_element(writes.begin(), writes.end()), kRemovedAt);
  EXPECT_EQ(device.Reprogrammings(), 0);
  EXPECT_EQ(keyboard.Departures(), 1);
  EXPECT_EQ(keyboard.Arrivals(), 0);
  EXPECT_EQ(keyboard.TransfersOnOtherInterfaces(), 0);
}

}  // namespace
}  // namespace platform
