#pragma once

#include <libudev.h>

#include <memory>

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

}  // namespace platform
