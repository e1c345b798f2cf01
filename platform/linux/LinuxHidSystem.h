#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/HidSystem.h"
#include "platform/linux/HotplugMonitor.h"

namespace platform {

// The machine's hidraw interfaces through libudev and /dev/hidrawN.
//
// Vendor and product come from the HID_ID of the `hid` parent, the interface number from the
// bInterfaceNumber of a USB interface directly above the HID device (none for Bluetooth, I2C or
// virtual devices), the report lengths from the HID device's report descriptor. Paths look like
// "/dev/hidraw3?vid_2d9b&pid_0074&mi_02&usb_1-2:1.2" (see InterfacePath.h).
//
// Hotplug events come from a udev monitor thread, started with the first handler.
class LinuxHidSystem final : public HidSystem {
 public:
  LinuxHidSystem();
  ~LinuxHidSystem() override;

  std::vector<HidInterfaceInfo> ListInterfaces() override;
  std::unique_ptr<HidDevice> Open(const std::string& path, bool read, bool write,
                                  int& error) override;
  void SetEventHandler(std::function<void(const HidEvent&)> handler) override;

 private:
  // Called with LibudevLock() held.
  bool Enumerate(std::vector<HidInterfaceInfo>& interfaces,
                 std::map<std::string, std::string>& known);
  void OnUevent(const char* action, udev_device* device);
  // Called with LibudevLock() held.
  std::optional<HidInterfaceInfo> Arrived(udev_device* device);
  std::optional<std::string> Removed(udev_device* device);

  // Paths by sysfs path of the nodes listed or announced, so that a removal, whose sysfs is
  // already gone, reports the very path its arrival had. Refreshed by every listing.
  std::mutex knownMutex_;
  std::map<std::string, std::string> knownPaths_;

  // Held while a handler runs, so that replacing the handler can wait for it to finish.
  std::mutex deliveryMutex_;
  std::mutex handlerMutex_;
  std::function<void(const HidEvent&)> handler_;

  std::mutex monitorMutex_;
  std::unique_ptr<HotplugMonitor> monitor_;
};

}  // namespace platform
