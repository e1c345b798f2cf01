#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "hid/SendCommand.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedHidSystem.h"

using platform::HidEvent;
using platform::HidEventKind;
using platform::Millis;
using platform::SimulatedDevice;
using platform::SimulatedDeviceConfig;
using platform::SimulatedHidSystem;

namespace {

const char* kAccessCodeA = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";

struct TimedEvent {
  Millis at;
  HidEventKind kind;
  std::string path;
};

// A machine with one group A keyboard whose events are logged with their virtual times.
class SimulatedHidSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetReplyCheckForTesting();
    system.SetEventHandler([this](const HidEvent& event) {
      std::lock_guard<std::mutex> lock(mutex);
      events.push_back({clock.Now(), event.kind, event.path});
    });
  }
  void TearDown() override { system.Shutdown(); }

  std::shared_ptr<SimulatedDevice> PlugKeyboard(SimulatedDeviceConfig config = {}) {
    config.restartMs = 4000;
    auto device = system.Plug(config);
    clock.SleepFor(1);  // lets the event thread deliver the arrivals
    return device;
  }

  std::string ProtocolPath() {
    for (const auto& info : system.ListInterfaces()) {
      if (info.interfaceNumber == 2) return info.path;
    }
    return {};
  }

  bool OpenLink() {
    SetUpLink(link);
    link.clock = &clock;
    link.isOpen = OpenHidInterface(system, ProtocolPath(), true, true, true, false, link.hid);
    return link.isOpen;
  }

  int Unlock() {
    std::uint8_t payload[33] = {};
    std::memcpy(payload, kAccessCodeA, 32);
    return SendCommand(&link, CmdUnlock, payload, sizeof payload);
  }

  // Sends a 64-byte image in two blocks.
  void Transfer() {
    std::uint8_t header[59] = {1, 64, 0, 2, 0, 0, 0, 32};
    ASSERT_EQ(SendCommand(&link, CmdStartTransfer, header, 59), 0);
    for (std::uint8_t k = 0; k < 2; ++k) {
      std::uint8_t block[59] = {k, 0};
      std::memset(block + 2, 0x40 + k, 32);
      ASSERT_EQ(SendCommand(&link, CmdWriteBlock, block, 59), 0);
    }
  }

  std::vector<TimedEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex);
    return events;
  }

  platform::VirtualClock clock;
  SimulatedHidSystem system{clock};
  std::mutex mutex;
  std::vector<TimedEvent> events;
  DeviceLink link;
};

}  // namespace

TEST_F(SimulatedHidSystemTest, DeviceShowsThreeInterfacesWithIdsInThePath) {
  PlugKeyboard();
  const auto infos = system.ListInterfaces();
  ASSERT_EQ(infos.size(), 3u);
  for (int mi = 0; mi < 3; ++mi) {
    const std::string ids = "vid_2d9b&pid_0076&mi_0" + std::to_string(mi);
    EXPECT_NE(infos[mi].path.find(ids), std::string::npos) << infos[mi].path;
    EXPECT_EQ(infos[mi].vendorId, 0x2D9B);
    EXPECT_EQ(infos[mi].productId, 0x0076);
    EXPECT_EQ(infos[mi].interfaceNumber, mi);
  }
  EXPECT_EQ(infos[2].featureReportLength, 65);
  const auto arrivals = Events();
  ASSERT_EQ(arrivals.size(), 3u);
  for (int mi = 0; mi < 3; ++mi) {
    EXPECT_EQ(arrivals[mi].kind, HidEventKind::Arrival);
    EXPECT_EQ(arrivals[mi].path, infos[mi].path);
  }
}

TEST_F(SimulatedHidSystemTest, OnlyInterface2SpeaksTheProtocol) {
  PlugKeyboard();
  const auto infos = system.ListInterfaces();
  int error = 0;
  auto keyboard = system.Open(infos[0].path, true, true, error);
  ASSERT_NE(keyboard, nullptr);
  platform::FeatureReport frame{};
  EXPECT_EQ(keyboard->GetFeature(frame), EPIPE);
  auto describedOnly = system.Open(infos[2].path, false, false, error);
  ASSERT_NE(describedOnly, nullptr);
  EXPECT_EQ(describedOnly->SetFeature(frame), EBADF);
  EXPECT_EQ(system.Open("/dev/hidraw99", true, true, error), nullptr);
  EXPECT_EQ(error, ENOENT);
}

TEST_F(SimulatedHidSystemTest, UnplugKillsOpenHandlesAndReportsRemoval) {
  auto device = PlugKeyboard();
  ASSERT_TRUE(OpenLink());
  const std::string path = link.hid.devicePath;
  system.Unplug(device);
  clock.SleepFor(1);
  EXPECT_EQ(Unlock(), ENODEV);
  EXPECT_EQ(link.sendError, kSendRequestFailed);
  int error = 0;
  EXPECT_EQ(system.Open(path, true, true, error), nullptr);
  EXPECT_EQ(error, ENOENT);
  const auto all = Events();
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all[5].kind, HidEventKind::Removal);
  EXPECT_EQ(all[5].path, path);  // same path as on arrival

  system.Plug(device);
  clock.SleepFor(1);
  ASSERT_TRUE(OpenLink());
  EXPECT_EQ(Unlock(), 0);
}

TEST_F(SimulatedHidSystemTest, RestartsAfterTheLastBlockWithTheNewVersion) {
  auto device = PlugKeyboard();
  ASSERT_TRUE(OpenLink());
  ASSERT_EQ(Unlock(), 0);
  Transfer();
  const Millis lastBlockDone = clock.Now();
  clock.SleepFor(5000);

  const auto all = Events();
  ASSERT_EQ(all.size(), 9u);  // arrivals, removals, arrivals
  for (int i = 3; i < 6; ++i) {
    EXPECT_EQ(all[i].kind, HidEventKind::Removal);
    EXPECT_EQ(all[i].at, lastBlockDone);
    EXPECT_EQ(all[i].path, all[i - 3].path);
  }
  for (int i = 6; i < 9; ++i) {
    EXPECT_EQ(all[i].kind, HidEventKind::Arrival);
    EXPECT_EQ(all[i].at, lastBlockDone + 4000);
  }
  EXPECT_EQ(device->Version(), (platform::SimulatedVersion{6, 0, 0}));
  EXPECT_FALSE(device->Unlocked());
  std::vector<std::uint8_t> expected(32, 0x40);
  expected.insert(expected.end(), 32, 0x41);
  EXPECT_EQ(device->ReceivedImage(), expected);

  // The old handle stays dead; a new one finds the device locked.
  EXPECT_EQ(Unlock(), ENODEV);
  ASSERT_TRUE(OpenLink());
  const std::uint8_t zeros[59] = {};
  EXPECT_EQ(SendCommand(&link, CmdQueryInfo, zeros, 59), 1);
  ASSERT_EQ(Unlock(), 0);
  ASSERT_EQ(SendCommand(&link, CmdQueryInfo, zeros, 59), 0);
  EXPECT_EQ(link.reply[4], 6);
}

TEST_F(SimulatedHidSystemTest, RestartFaultsChangeWhatComesBack) {
  struct Case {
    const char* name;
    void (*set)(platform::SimulatedFaults&);
    bool comesBack;
    platform::SimulatedVersion version;
    const char* ids;
  };
  const Case cases[] = {
      {"NeverComesBack", [](auto& f) { f.neverComesBack = true; }, false, {5, 0, 0}, ""},
      {"OldVersion", [](auto& f) { f.comesBackWithOldVersion = true; }, true, {5, 0, 0},
       "pid_0076&mi_02"},
      {"OtherProduct", [](auto& f) { f.comesBackWithProductId = 0x0077; }, true, {6, 0, 0},
       "pid_0077&mi_02"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedDeviceConfig config;
    c.set(config.faults);
    auto device = PlugKeyboard(config);
    ASSERT_TRUE(OpenLink());
    ASSERT_EQ(Unlock(), 0);
    Transfer();
    clock.SleepFor(5000);
    EXPECT_EQ(device->Present(), c.comesBack);
    EXPECT_EQ(device->Version(), c.version);
    const std::string path = ProtocolPath();
    EXPECT_EQ(path.empty(), !c.comesBack);
    EXPECT_NE(path.find(c.ids), std::string::npos) << path;
    system.Unplug(device);
  }
}

TEST_F(SimulatedHidSystemTest, RemovalAtABlockFailsTheWriteAndStaysAway) {
  SimulatedDeviceConfig config;
  config.faults.removeAtBlock = 1;
  auto device = PlugKeyboard(config);
  ASSERT_TRUE(OpenLink());
  ASSERT_EQ(Unlock(), 0);
  std::uint8_t header[59] = {1, 64, 0, 2, 0, 0, 0, 32};
  ASSERT_EQ(SendCommand(&link, CmdStartTransfer, header, 59), 0);
  std::uint8_t block[59] = {0, 0};
  ASSERT_EQ(SendCommand(&link, CmdWriteBlock, block, 59), 0);
  block[0] = 1;
  EXPECT_EQ(SendCommand(&link, CmdWriteBlock, block, 59), ENODEV);
  clock.SleepFor(10000);
  EXPECT_FALSE(device->Present());
  EXPECT_EQ(device->BlocksReceived(), 1u);
  const auto all = Events();
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ(all.back().kind, HidEventKind::Removal);
}

TEST_F(SimulatedHidSystemTest, ClearedHandlerGetsNoMoreEvents) {
  system.SetEventHandler(nullptr);
  PlugKeyboard();
  EXPECT_TRUE(Events().empty());
}

TEST_F(SimulatedHidSystemTest, OtherInterfacesAreListedButSilent) {
  platform::HidInterfaceInfo other;
  other.path = "/dev/hidraw40 (usb-sim-3:1.0 vid_046d&pid_c077&mi_00)";
  other.vendorId = 0x046D;
  other.productId = 0xC077;
  other.interfaceNumber = 0;
  system.AddOtherInterface(other);
  ASSERT_EQ(system.ListInterfaces().size(), 1u);
  int error = 0;
  auto handle = system.Open(other.path, true, true, error);
  ASSERT_NE(handle, nullptr);
  platform::FeatureReport frame{};
  EXPECT_EQ(handle->SetFeature(frame), EPIPE);
}
