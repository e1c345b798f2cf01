// The watcher the fault scenarios rely on: it must see calls on one device from two threads that
// overlap, and must not count one thread's own calls or calls on different devices.

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/sim/SimulatedHidSystem.h"
#include "tests/faults/ExchangeWatchingHidSystem.h"

namespace faults_test {
namespace {

class ExchangeWatchingHidSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { hid.Plug(platform::SimulatedDeviceConfig{}); }
  void TearDown() override { hid.Shutdown(); }

  std::unique_ptr<platform::HidDevice> OpenProtocolInterface() {
    for (const auto& info : watcher.ListInterfaces()) {
      if (info.interfaceNumber != platform::SimulatedDevice::kProtocolInterface) continue;
      int error = 0;
      return watcher.Open(info.path, true, true, error);
    }
    return nullptr;
  }

  // Each of two threads reads `reads` times from its own device.
  void ReadOnTwoThreads(platform::HidDevice& first, platform::HidDevice& second, int reads) {
    auto reader = [reads](platform::HidDevice& device) {
      return [&device, reads] {
        platform::FeatureReport report{};
        for (int i = 0; i < reads; ++i) device.GetFeature(report);
      };
    };
    platform::Thread a = clock.StartThread(reader(first));
    platform::Thread b = clock.StartThread(reader(second));
    a.Join();
    b.Join();
  }

  platform::VirtualClock clock;
  platform::SimulatedHidSystem hid{clock};
  ExchangeWatchingHidSystem watcher{hid, clock, 1};
};

TEST_F(ExchangeWatchingHidSystemTest, CountsCallsOnOneDeviceFromTwoThreadsAtOnce) {
  auto device = OpenProtocolInterface();
  ASSERT_NE(device, nullptr);
  ReadOnTwoThreads(*device, *device, 5);
  EXPECT_GT(watcher.OverlappingCalls(), 0);
  EXPECT_EQ(watcher.Calls(), 10);
}

TEST_F(ExchangeWatchingHidSystemTest, OneThreadAtATimeOrSeparateDevicesAreNoOverlap) {
  auto device = OpenProtocolInterface();
  auto other = OpenProtocolInterface();
  ASSERT_NE(device, nullptr);
  ASSERT_NE(other, nullptr);
  platform::FeatureReport report{};
  for (int i = 0; i < 3; ++i) device->SetFeature(report);
  ReadOnTwoThreads(*device, *other, 5);
  EXPECT_EQ(watcher.OverlappingCalls(), 0);
  EXPECT_EQ(watcher.Writes().size(), 3u);
}

}  // namespace
}  // namespace faults_test
