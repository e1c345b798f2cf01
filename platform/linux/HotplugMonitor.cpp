#include "platform/linux/HotplugMonitor.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

void ReportFailure(const char* call, int error) {
  std::fprintf(stderr, "%s: %s; device arrivals and removals will not be noticed\n", call,
               std::strerror(error));
}

}  // namespace

std::unique_ptr<HotplugMonitor> HotplugMonitor::Start(Callback callback) {
  std::unique_lock lock(LibudevLock());
  errno = 0;
  UdevContext udev{udev_new()};
  if (!udev) {
    ReportFailure("udev_new", errno ? errno : ENOMEM);
    return nullptr;
  }
  errno = 0;
  UdevMonitor monitor{udev_monitor_new_from_netlink(udev.get(), "udev")};
  if (!monitor) {
    ReportFailure("udev_monitor_new_from_netlink", errno ? errno : ENOMEM);
    return nullptr;
  }
  if (int r = udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr);
      r < 0) {
    ReportFailure("udev_monitor_filter_add_match_subsystem_devtype", -r);
    return nullptr;
  }
  if (int r = udev_monitor_enable_receiving(monitor.get()); r < 0) {
    ReportFailure("udev_monitor_enable_receiving", -r);
    return nullptr;
  }
  FileDescriptor stop{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  if (!stop.Valid()) {
    ReportFailure("eventfd", errno);
    return nullptr;
  }
  lock.unlock();
  return std::unique_ptr<HotplugMonitor>(new HotplugMonitor(
      std::move(udev), std::move(monitor), std::move(stop), std::move(callback)));
}

HotplugMonitor::HotplugMonitor(UdevContext udev, UdevMonitor monitor, FileDescriptor stop,
                               Callback callback)
    : udev_(std::move(udev)),
      monitor_(std::move(monitor)),
      stop_(std::move(stop)),
      callback_(std::move(callback)) {
  thread_ = std::thread([this] { Run(); });
}

HotplugMonitor::~HotplugMonitor() {
  const std::uint64_t one = 1;
  if (::write(stop_.Get(), &one, sizeof one) != sizeof one) {
    // An eventfd write fails only when its counter would overflow, which one write cannot do.
    std::fprintf(stderr, "write eventfd: %s\n", std::strerror(errno));
  }
  thread_.join();
  std::lock_guard lock(LibudevLock());
  monitor_.reset();
  udev_.reset();
}

void HotplugMonitor::Run() {
  pollfd fds[2] = {{udev_monitor_get_fd(monitor_.get()), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
  while (true) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      ReportFailure("poll", errno);
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      ReportFailure("poll on the udev monitor", EIO);
      return;
    }
    if (fds[0].revents & POLLIN) {
      UdevDevice device;
      {
        std::lock_guard lock(LibudevLock());
        device.reset(udev_monitor_receive_device(monitor_.get()));
      }
      // Null for a message libudev drops (wrong sender, filtered out): nothing to do then.
      if (!device) continue;
      const char* action = udev_device_get_action(device.get());
      if (action) callback_(action, device.get());
      std::lock_guard lock(LibudevLock());
      device.reset();
    }
  }
}

}  // namespace platform
