#pragma once

#include <libudev.h>

#include <memory>
#include <mutex>

namespace platform {

// Owning handles of libudev objects. A plain `udev_device*` is always borrowed: parents returned
// by udev_device_get_parent*() belong to their child and are never released by us.
struct UdevReleaser {
  void operator()(udev* p) const { udev_unref(p); }
  void operator()(udev_device* p) const { udev_device_unref(p); }
  void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
  void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};

using UdevContext = std::unique_ptr<udev, UdevReleaser>;
using UdevDevice = std::unique_ptr<udev_device, UdevReleaser>;
using UdevEnumeration = std::unique_ptr<udev_enumerate, UdevReleaser>;
using UdevMonitor = std::unique_ptr<udev_monitor, UdevReleaser>;

// libudev keeps some process-wide state (the random seed of its hash tables) without a lock of
// its own, so every thread of ours takes this lock while it calls into libudev.
inline std::mutex& LibudevLock() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace platform
