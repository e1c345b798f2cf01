// The hidraw backend against emulated sysfs trees, device nodes and uevents (umockdev). These
// tests run under umockdev's preload library; CTest starts them that way.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <regex>
#include <thread>

#include "HidrawTestBed.h"
#include "platform/Clock.h"
#include "platform/linux/LinuxHidSystem.h"

namespace platform {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class HidrawBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HidrawTestBed::PreloadActive())
        << "run this test through umockdev-wrapper (ctest does), or it would see the real /sys";
  }

  std::map<std::string, HidInterfaceInfo> ListByNode() {
    std::map<std::string, HidInterfaceInfo> byNode;
    for (auto& info : system.ListInterfaces()) byNode[info.path.substr(0, info.path.find('?'))] = info;
    return byNode;
  }

  HidrawTestBed bed;
  LinuxHidSystem system;
};

// ---- Enumeration ----------------------------------------------------------------------------

// The protocol interface of a keyboard, as the tests below use it.
EmulatedHidraw Keyboard(int number = 3) {
  EmulatedHidraw hidraw;
  hidraw.number = number;
  hidraw.reportDescriptor = ProtocolInterfaceDescriptor();
  return hidraw;
}

TEST_F(HidrawBackend, ListsEveryHidrawNodeWithIdsFromItsParents) {
  EmulatedHidraw bootInterface = Keyboard(1);
  bootInterface.interfaceNumber = 0;
  bootInterface.reportDescriptor = BootKeyboardDescriptor();

  EmulatedHidraw otherMaker;
  otherMaker.number = 2;
  otherMaker.vendorId = 0x1234;
  otherMaker.productId = 0x5678;
  otherMaker.usbPort = "1-4";
  otherMaker.interfaceNumber = 0;
  otherMaker.reportDescriptor = BootKeyboardDescriptor();

  EmulatedHidraw bluetooth = Keyboard(5);  // behind a dongle whose own interface is number 2
  bluetooth.parent = EmulatedParent::BluetoothBehindUsbDongle;
  bluetooth.usbPort = "1-3";

  EmulatedHidraw virtualDevice = Keyboard(6);
  virtualDevice.parent = EmulatedParent::Virtual;

  bed.Add(Keyboard(3));
  bed.Add(bootInterface);
  bed.Add(otherMaker);
  bed.Add(bluetooth);
  bed.Add(virtualDevice);

  struct Expected {
    const char* path;
    std::uint16_t vendorId, productId;
    int interfaceNumber;
    std::uint16_t input, output, feature;
  };
  const std::map<std::string, Expected> expected = {
      {"/dev/hidraw3", {"/dev/hidraw3?vid_2d9b&pid_0074&mi_02&usb_1-2:1.2", 0x2D9B, 0x0074, 2, 9, 0, 65}},
      {"/dev/hidraw1", {"/dev/hidraw1?vid_2d9b&pid_0074&mi_00&usb_1-2:1.0", 0x2D9B, 0x0074, 0, 9, 2, 0}},
      {"/dev/hidraw2", {"/dev/hidraw2?vid_1234&pid_5678&mi_00&usb_1-4:1.0", 0x1234, 0x5678, 0, 9, 2, 0}},
      {"/dev/hidraw5", {"/dev/hidraw5?vid_2d9b&pid_0074", 0x2D9B, 0x0074, -1, 9, 0, 65}},
      {"/dev/hidraw6", {"/dev/hidraw6?vid_2d9b&pid_0074", 0x2D9B, 0x0074, -1, 9, 0, 65}},
  };
  auto listed = ListByNode();
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [node, want] : expected) {
    ASSERT_TRUE(listed.count(node)) << node;
    const HidInterfaceInfo& info = listed[node];
    EXPECT_EQ(info.path, want.path);
    EXPECT_EQ(info.vendorId, want.vendorId) << node;
    EXPECT_EQ(info.productId, want.productId) << node;
    EXPECT_EQ(info.interfaceNumber, want.interfaceNumber) << node;
    EXPECT_EQ(info.inputReportLength, want.input) << node;
    EXPECT_EQ(info.outputReportLength, want.output) << node;
    EXPECT_EQ(info.featureReportLength, want.feature) << node;
  }
}

// The device tests look for bare digits ("2d9b", "0074", "&mi_02"), so nothing but the id fields
// may hold such text: not the PCI address, the HID instance number or the dongle's interface.
TEST_F(HidrawBackend, PathsCarryNoDigitsButTheirOwnIds) {
  EmulatedHidraw instanceLooksLikeProduct = Keyboard(4);
  instanceLooksLikeProduct.productId = 0x0080;
  instanceLooksLikeProduct.usbPort = "1-5";
  instanceLooksLikeProduct.hidInstance = 0x0074;

  EmulatedHidraw bluetooth = Keyboard(5);
  bluetooth.parent = EmulatedParent::BluetoothBehindUsbDongle;
  bluetooth.usbPort = "1-3";

  bed.Add(Keyboard(3));
  bed.Add(instanceLooksLikeProduct);
  bed.Add(bluetooth);

  auto listed = ListByNode();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_THAT(listed["/dev/hidraw3"].path, HasSubstr("vid_2d9b&pid_0074&mi_02"));
  EXPECT_THAT(listed["/dev/hidraw4"].path, HasSubstr("vid_2d9b&pid_0080&mi_02"));
  EXPECT_THAT(listed["/dev/hidraw4"].path, Not(HasSubstr("0074")));
  EXPECT_THAT(listed["/dev/hidraw5"].path, Not(HasSubstr("mi_")));

  // Four hex digits in a row occur only as the vendor and product fields.
  const std::regex fourHexDigits("[0-9a-fA-F]{4}");
  for (const auto& [node, info] : listed) {
    std::string rest = info.path;
    for (const char* field : {"vid_", "pid_"}) {
      auto at = rest.find(field);
      ASSERT_NE(at, std::string::npos) << info.path;
      rest.erase(at, 8);
    }
    EXPECT_FALSE(std::regex_search(rest, fourHexDigits)) << info.path;
  }
}

TEST_F(HidrawBackend, SkipsNodesWithoutUsableIds) {
  EmulatedHidraw junk = Keyboard(7);
  junk.hidIdOverride = "junk";
  EmulatedHidraw wideVendor = Keyboard(8);
  wideVendor.usbPort = "1-6";
  wideVendor.hidIdOverride = "0003:00012D9B:00000074";
  bed.Add(junk);
  bed.Add(wideVendor);
  bed.Add(Keyboard(3));

  auto listed = ListByNode();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_TRUE(listed.count("/dev/hidraw3"));
}

// ---- Opening and feature reports ------------------------------------------------------------

FeatureReport Pattern(std::uint8_t seed) {
  FeatureReport report{};
  for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(seed + i);
  return report;
}

// Keeps the last report written and returns it on reads. It runs on umockdev's worker thread.
struct EchoServer {
  std::mutex mutex;
  FeatureReport stored{};
  int sets = 0, gets = 0;

  int Sets() {
    std::lock_guard lock(mutex);
    return sets;
  }
  int Gets() {
    std::lock_guard lock(mutex);
    return gets;
  }

  HidrawTestBed::FeatureServer Serve() {
    return [this](bool isSet, FeatureReport& report) {
      std::lock_guard lock(mutex);
      if (isSet) {
        stored = report;
        ++sets;
      } else {
        report = stored;
        ++gets;
      }
      return 0;
    };
  }
};

TEST_F(HidrawBackend, FeatureReportsTravelBothWaysThroughTheIoctls) {
  EmulatedNode node = bed.Add(Keyboard(3));
  EchoServer echo;
  bed.Serve(node.devnode, echo.Serve());

  int error = -1;
  auto device = system.Open(system.ListInterfaces().at(0).path, true, true, error);
  ASSERT_TRUE(device) << error;
  EXPECT_EQ(error, 0);

  EXPECT_EQ(device->SetFeature(Pattern(7)), 0);
  FeatureReport read{};
  read.fill(0xEE);
  EXPECT_EQ(device->GetFeature(read), 0);
  EXPECT_EQ(read, Pattern(7));
  EXPECT_EQ(echo.Sets(), 1);
  EXPECT_EQ(echo.Gets(), 1);
}

TEST_F(HidrawBackend, FailedTransfersReturnTheirErrno) {
  EmulatedNode node = bed.Add(Keyboard(3));
  EchoServer echo;
  bed.Serve(node.devnode, echo.Serve());
  int error = 0;
  auto device = system.Open(system.ListInterfaces().at(0).path, true, true, error);
  ASSERT_TRUE(device);

  for (int failure : {EPIPE, EIO, ENODEV, ETIMEDOUT}) {
    bed.Serve(node.devnode, [failure](bool, FeatureReport&) { return failure; });
    FeatureReport report = Pattern(1);
    EXPECT_EQ(device->SetFeature(report), failure);
    EXPECT_EQ(device->GetFeature(report), failure);
  }
}

TEST_F(HidrawBackend, ShortTransfersAreErrors) {
  EmulatedNode node = bed.Add(Keyboard(3));
  EchoServer echo;
  bed.Serve(node.devnode, echo.Serve());
  bed.SetTransferLength(node.devnode, 64);
  int error = 0;
  auto device = system.Open(system.ListInterfaces().at(0).path, true, true, error);
  ASSERT_TRUE(device);

  FeatureReport report = Pattern(3);
  EXPECT_EQ(device->SetFeature(report), EIO);
  EXPECT_EQ(device->GetFeature(report), EIO);
  EXPECT_EQ(report, FeatureReport{}) << "a failed read leaves no half-read frame behind";
}

TEST_F(HidrawBackend, RefusesToWriteAnotherReportId) {
  EmulatedNode node = bed.Add(Keyboard(3));
  EchoServer echo;
  bed.Serve(node.devnode, echo.Serve());
  int error = 0;
  auto device = system.Open(system.ListInterfaces().at(0).path, true, true, error);
  ASSERT_TRUE(device);

  FeatureReport report = Pattern(3);
  report[0] = 2;
  EXPECT_EQ(device->SetFeature(report), EINVAL);
  EXPECT_EQ(echo.Sets(), 0) << "nothing may reach the device";
}

TEST_F(HidrawBackend, OpeningAPathThatNamesNoPresentNodeFails) {
  bed.Add(Keyboard(3));
  for (const char* path : {"/dev/hidraw9?vid_2d9b&pid_0074&mi_02", "/dev/sda", "",
                           "\\\\?\\hid#vid_2d9b&pid_0074&mi_02#7&1a2b&0&0000"}) {
    for (bool access : {false, true}) {
      int error = 0;
      EXPECT_FALSE(system.Open(path, access, access, error)) << path;
      EXPECT_EQ(error, ENOENT) << path;
    }
  }
}

// Runs `body` on a thread without the capabilities that let root ignore file permissions, so that
// a denied node is denied even when the tests run as root. Capabilities are per thread.
template <class Body>
void WithoutFileCapabilities(Body body) {
  std::thread thread([&] {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
      data[capability / 32].effective &= ~(1u << (capability % 32));
    }
    ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
    body();
  });
  thread.join();
}

TEST_F(HidrawBackend, ADeniedNodeIsNotOpenedAndSaysOnceHowToGrantAccess) {
  EmulatedNode node = bed.Add(Keyboard(3));
  bed.DenyAccess(node);
  const std::string path = system.ListInterfaces().at(0).path;

  ::testing::internal::CaptureStderr();
  WithoutFileCapabilities([&] {
    for (int attempt = 0; attempt < 3; ++attempt) {
      int error = 0;
      EXPECT_FALSE(system.Open(path, true, true, error));
      EXPECT_EQ(error, EACCES);
    }
  });
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said,
            "open /dev/hidraw3: Permission denied; install packaging/70-rirud-uvariza.rules (see "
            "README) to give your login access to the device, then unplug and reconnect it\n");
}

TEST_F(HidrawBackend, ADeniedNodeCanStillBeOpenedForItsDescription) {
  EmulatedNode node = bed.Add(Keyboard(3));
  bed.DenyAccess(node);
  const std::string path = system.ListInterfaces().at(0).path;

  ::testing::internal::CaptureStderr();
  WithoutFileCapabilities([&] {
    int error = -1;
    auto device = system.Open(path, false, false, error);
    ASSERT_TRUE(device);
    EXPECT_EQ(error, 0);
    FeatureReport report{};
    EXPECT_EQ(device->GetFeature(report), EBADF) << "a description-only handle carries no reports";
  });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// ---- Hotplug --------------------------------------------------------------------------------

// Collects events from the backend's monitor thread. A handler may be held at its first event
// until the test lets it go, so that the test can change sysfs while an event waits in line.
class EventLog {
 public:
  explicit EventLog(bool holdFirst = false) : held_(holdFirst) {}

  std::function<void(const HidEvent&)> Handler() {
    return [this](const HidEvent& event) {
      std::unique_lock lock(mutex_);
      events_.push_back(event);
      changed_.NotifyAll();
      changed_.WaitUntil(lock, Deadline(), [&] { return !held_; });
    };
  }

  void Release() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.NotifyAll();
  }

  // The events so far, once there are `count` (a test that sees fewer fails).
  std::vector<HidEvent> WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.WaitUntil(lock, Deadline(), [&] { return events_.size() >= count; });
    return events_;
  }

  // The events so far, once one of them names `node`.
  std::vector<HidEvent> WaitForNode(const std::string& node) {
    std::unique_lock lock(mutex_);
    changed_.WaitUntil(lock, Deadline(), [&] {
      return std::any_of(events_.begin(), events_.end(),
                         [&](const HidEvent& event) { return event.path.starts_with(node + "?"); });
    });
    return events_;
  }

 private:
  // Only a guard against a test that would hang: the events come within milliseconds.
  Millis Deadline() { return clock_.Now() + 20000; }

  RealClock clock_;
  std::mutex mutex_;
  Condition changed_{clock_};
  std::vector<HidEvent> events_;
  bool held_;
};

EmulatedHidraw OtherMakersMouse(int number) {
  EmulatedHidraw mouse;
  mouse.number = number;
  mouse.vendorId = 0x1234;
  mouse.productId = 0x5678;
  mouse.usbPort = "1-7";
  mouse.interfaceNumber = 0;
  mouse.reportDescriptor = BootKeyboardDescriptor();
  return mouse;
}

std::string ListedPath(const EmulatedNode& node) {
  LinuxHidSystem lister;
  for (const auto& info : lister.ListInterfaces()) {
    if (info.path.starts_with(node.devnode + "?")) return info.path;
  }
  return {};
}

TEST_F(HidrawBackend, ArrivalAndRemovalOfAnInterfaceCarryTheListedPath) {
  EmulatedHidraw bluetooth = Keyboard(5);
  bluetooth.parent = EmulatedParent::BluetoothBehindUsbDongle;
  bluetooth.usbPort = "1-3";
  EmulatedHidraw virtualDevice = Keyboard(6);
  virtualDevice.parent = EmulatedParent::Virtual;
  struct Case {
    const char* name;
    EmulatedHidraw keyboard;
    int mouseNumber;
  };
  const Case cases[] = {{"USB", Keyboard(3), 10}, {"Bluetooth", bluetooth, 11},
                        {"virtual", virtualDevice, 12}};

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EmulatedNode keyboard = bed.Add(c.keyboard);
    const std::string listedPath = ListedPath(keyboard);
    ASSERT_FALSE(listedPath.empty());

    // `watcher` sees the keyboard arrive and go. `late` starts after the arrival, so it knows the
    // keyboard only from its removal event. Both are held at their first event until the
    // keyboard is gone from sysfs, as it is by the time udev reports a removal.
    EventLog watched(/*holdFirst=*/true), lateLog(/*holdFirst=*/true);  // outlive the systems
    LinuxHidSystem watcher;
    watcher.SetEventHandler(watched.Handler());
    bed.Uevent(keyboard.syspath, "add");

    LinuxHidSystem late;
    late.SetEventHandler(lateLog.Handler());
    EmulatedNode mouse = bed.Plug(OtherMakersMouse(c.mouseNumber));

    bed.Unplug(keyboard);
    watched.Release();
    lateLog.Release();

    auto events = watched.WaitFor(3);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, HidEventKind::Arrival);
    EXPECT_EQ(events[0].path, listedPath);
    EXPECT_EQ(events[1].kind, HidEventKind::Arrival);
    EXPECT_THAT(events[1].path, HasSubstr("vid_1234&pid_5678&mi_00"));
    EXPECT_EQ(events[2].kind, HidEventKind::Removal);
    EXPECT_EQ(events[2].path, listedPath);

    auto lateEvents = lateLog.WaitFor(2);
    ASSERT_EQ(lateEvents.size(), 2u);
    EXPECT_EQ(lateEvents[1].kind, HidEventKind::Removal);
    EXPECT_EQ(lateEvents[1].path, listedPath);

    bed.Unplug(mouse);
  }
}

TEST_F(HidrawBackend, NoEventReachesAClearedHandler) {
  EventLog first;
  system.SetEventHandler(first.Handler());
  bed.Plug(OtherMakersMouse(10));
  ASSERT_EQ(first.WaitFor(1).size(), 1u);

  system.SetEventHandler({});
  bed.Plug(Keyboard(3));  // dropped, or passed to the next handler if it is read after that is set

  // Events are handled in order, so once the next handler has the last arrival, the one before
  // has been dealt with, and it must not have reached the cleared handler.
  EventLog second;
  system.SetEventHandler(second.Handler());
  EmulatedHidraw another = Keyboard(4);
  another.usbPort = "1-5";
  bed.Plug(another);
  auto events = second.WaitForNode("/dev/hidraw4");
  ASSERT_FALSE(events.empty());
  EXPECT_THAT(events.back().path, HasSubstr("/dev/hidraw4?"));
  EXPECT_EQ(first.WaitFor(1).size(), 1u);
  system.SetEventHandler({});  // before the logs go
}

TEST_F(HidrawBackend, AHandlerMayClearItself) {
  EventLog log;
  auto record = log.Handler();
  system.SetEventHandler([&](const HidEvent& event) {
    record(event);
    system.SetEventHandler({});
  });
  bed.Plug(OtherMakersMouse(10));
  ASSERT_EQ(log.WaitFor(1).size(), 1u);

  EventLog next;
  system.SetEventHandler(next.Handler());
  bed.Plug(Keyboard(3));
  ASSERT_FALSE(next.WaitForNode("/dev/hidraw3").empty());
  EXPECT_EQ(log.WaitFor(1).size(), 1u);
  system.SetEventHandler({});  // before the logs go
}

TEST_F(HidrawBackend, ClearingTheHandlerWaitsForTheRunningOneToReturn) {
  RealClock clock;
  std::mutex mutex;
  Condition changed(clock);
  bool entered = false, clearing = false, handlerReturned = false;

  system.SetEventHandler([&](const HidEvent&) {
    std::unique_lock lock(mutex);
    entered = true;
    changed.NotifyAll();
    changed.WaitUntil(lock, clock.Now() + 20000, [&] { return clearing; });
    handlerReturned = true;
  });
  bed.Plug(OtherMakersMouse(10));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.WaitUntil(lock, clock.Now() + 20000, [&] { return entered; }));
  }

  bool returnedBeforeHandler = true;
  std::thread clearer([&] {
    {
      std::lock_guard lock(mutex);
      clearing = true;
      changed.NotifyAll();
    }
    system.SetEventHandler({});
    std::lock_guard lock(mutex);
    returnedBeforeHandler = !handlerReturned;
  });
  clearer.join();
  EXPECT_FALSE(returnedBeforeHandler);
}

}  // namespace
}  // namespace platform
