#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <mutex>

#include "platform/HidSystem.h"
#include "tests/windowing/WindowingFixture.h"

namespace windowing_test {
namespace {

// Delivers hotplug events when the test says so, on the calling thread, with the handler's own
// guarantee: once SetEventHandler({}) has returned, the old handler is not running.
class FakeHid : public HidSystem {
 public:
  std::vector<HidInterfaceInfo> ListInterfaces() override { return {}; }
  std::unique_ptr<HidDevice> Open(const std::string&, bool, bool, int& error) override {
    error = 2;
    return nullptr;
  }
  void SetEventHandler(std::function<void(const HidEvent&)> handler) override {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
  }
  void Fire(HidEventKind kind, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handler_) handler_(HidEvent{kind, path});
  }

 private:
  std::mutex mutex_;
  std::function<void(const HidEvent&)> handler_;
};

class DeviceNotificationTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  HeadlessDisplay display{clock};
  FakeHid hid;
  WindowSystem system{clock, display, &hid};
};

constexpr const char* kPath = "/dev/hidraw3:VID_2D9B&PID_0076&MI_02";

TEST_F(DeviceNotificationTest, RegisteredWindowGetsNoticeOnItsOwnThread) {
  std::atomic<bool> registered{false};
  std::thread::id workerId, handledOn;
  WParam event = 0;
  std::uint32_t deviceType = 0;
  std::string path;
  Thread worker = clock.StartThread([&] {
    workerId = std::this_thread::get_id();
    Recorder window{clock};
    window.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10});
    window.hook = [&](MessageId id, WParam wParam, LParam lParam, LResult&) {
      if (id != WM_DEVICECHANGE) return false;
      handledOn = std::this_thread::get_id();
      event = wParam;
      DeviceInterfaceNotice* notice = DeviceNoticeOf(lParam);
      deviceType = notice->deviceType;
      for (char& c : notice->path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      path = notice->path;
      system.PostQuitMessage(0);
      return true;
    };
    DeviceNotification notification = system.RegisterDeviceNotification(window);
    EXPECT_TRUE(notification.IsRegistered());
    registered = true;
    system.RunMessageLoop();
  });
  ASSERT_TRUE(display.WaitUntil([&] { return registered.load(); }, 1000));
  hid.Fire(HidEventKind::Removal, kPath);
  worker.Join();
  EXPECT_EQ(handledOn, workerId);
  EXPECT_EQ(event, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(deviceType, DBT_DEVTYP_DEVICEINTERFACE);
  EXPECT_EQ(path, "/dev/hidraw3:vid_2d9b&pid_0076&mi_02");
}

TEST_F(DeviceNotificationTest, EachWindowGetsItsOwnNoticeAndUnregisteredOnesNone) {
  Recorder first{clock}, second{clock}, never{clock};
  for (Recorder* w : {&first, &second, &never}) ASSERT_TRUE(w->CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{}));
  DeviceNotification a = system.RegisterDeviceNotification(first);
  DeviceNotification b = system.RegisterDeviceNotification(second);
  hid.Fire(HidEventKind::Arrival, kPath);
  hid.Fire(HidEventKind::Removal, kPath);
  b.Unregister();  // after its notices were queued: they must not arrive
  system.ProcessPendingMessages();
  ASSERT_EQ(first.Count(WM_DEVICECHANGE), 2);
  EXPECT_EQ(first.Only(WM_DEVICECHANGE)[0].wParam, DBT_DEVICEARRIVAL);
  EXPECT_EQ(first.Only(WM_DEVICECHANGE)[1].wParam, DBT_DEVICEREMOVECOMPLETE);
  EXPECT_EQ(second.Count(WM_DEVICECHANGE), 0);
  EXPECT_EQ(never.Count(WM_DEVICECHANGE), 0);

  DeviceNotification moved = std::move(a);
  EXPECT_FALSE(a.IsRegistered());
  EXPECT_TRUE(moved.IsRegistered());
  first.Destroy();
  hid.Fire(HidEventKind::Arrival, kPath);  // its window is gone: nothing to deliver
  Message message;
  EXPECT_FALSE(system.PeekMessage(message));
}

TEST_F(DeviceNotificationTest, UnregisteringWhileEventsAreDeliveredIsSafe) {
  Recorder window{clock};
  ASSERT_TRUE(window.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{}));
  std::atomic<bool> stop{false};
  Thread firing = clock.StartThread([&] {
    while (!stop) {
      hid.Fire(HidEventKind::Arrival, kPath);
      clock.SleepFor(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    DeviceNotification notification = system.RegisterDeviceNotification(window);
    clock.SleepFor(1);
    system.ProcessPendingMessages();
  }
  stop = true;
  firing.Join();
  const int delivered = window.Count(WM_DEVICECHANGE);
  system.ProcessPendingMessages();
  EXPECT_EQ(window.Count(WM_DEVICECHANGE), delivered);  // nothing after the last unregistering
  EXPECT_GT(delivered, 0);
}

TEST(DeviceNotificationLifetime, RegistrationOutlivingTheSystemUnregistersSafely) {
  VirtualClock clock;
  HeadlessDisplay display{clock};
  FakeHid hid;
  DeviceNotification notification;
  {
    WindowSystem system{clock, display, &hid};
    Recorder window{clock};
    ASSERT_TRUE(window.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{}));
    notification = system.RegisterDeviceNotification(window);
  }
  hid.Fire(HidEventKind::Arrival, kPath);  // unsubscribed with the system
  notification.Unregister();
  EXPECT_FALSE(notification.IsRegistered());
}

}  // namespace
}  // namespace windowing_test
