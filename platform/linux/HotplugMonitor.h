#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "platform/linux/FileDescriptor.h"
#include "platform/linux/UdevHandles.h"

namespace platform {

// Watches udev for hidraw nodes coming and going, on a thread of its own that waits in poll() on
// the monitor socket and on an eventfd that stops it. It listens to udev's messages, not the
// kernel's, so a node is announced only after udev has set its permissions.
class HotplugMonitor {
 public:
  // `action` is udev's ("add", "remove", ...); the device is borrowed for the call. Runs on the
  // monitor thread, without LibudevLock() held: take it to call into libudev.
  using Callback = std::function<void(const char* action, udev_device* device)>;

  // Null when the monitor cannot be set up; the reason is printed on standard error.
  static std::unique_ptr<HotplugMonitor> Start(Callback callback);

  // Stops the thread and waits for it; a callback that is running finishes first.
  ~HotplugMonitor();

  HotplugMonitor(const HotplugMonitor&) = delete;
  HotplugMonitor& operator=(const HotplugMonitor&) = delete;

  std::thread::id ThreadId() const { return thread_.get_id(); }

 private:
  HotplugMonitor(UdevContext udev, UdevMonitor monitor, FileDescriptor stop, Callback callback);
  void Run();

  UdevContext udev_;  // used by the monitor thread only
  UdevMonitor monitor_;
  FileDescriptor stop_;
  Callback callback_;
  std::thread thread_;
};

}  // namespace platform
