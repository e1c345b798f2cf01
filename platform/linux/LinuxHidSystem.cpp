#include "platform/linux/LinuxHidSystem.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/linux/FileDescriptor.h"
#include "platform/linux/HidrawDevice.h"
#include "platform/linux/InterfacePath.h"
#include "platform/linux/ReportDescriptor.h"
#include "platform/linux/UdevHandles.h"

namespace platform {
namespace {

// The kernel's HID_MAX_DESCRIPTOR_SIZE.
constexpr std::size_t kMaxDescriptorSize = 4096;

void ReportFailure(const char* call, int error) {
  std::fprintf(stderr, "%s: %s\n", call, std::strerror(error));
}

// The report descriptor is binary, which libudev's attribute strings cannot carry, so the sysfs
// file is read directly.
std::vector<std::uint8_t> ReadReportDescriptor(udev_device* hid) {
  std::string file = std::string(udev_device_get_syspath(hid)) + "/report_descriptor";
  FileDescriptor fd{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!fd.Valid()) return {};
  std::vector<std::uint8_t> bytes(kMaxDescriptorSize);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    ssize_t n = ::read(fd.Get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return bytes;
}

std::string DevnodeOf(udev_device* hidraw) {
  if (const char* node = udev_device_get_devnode(hidraw)) return node;
  if (const char* name = udev_device_get_sysname(hidraw)) return std::string("/dev/") + name;
  return {};
}

// The USB interface the HID device hangs on directly. Only a direct parent counts: a Bluetooth
// keyboard behind a USB dongle has the dongle's interfaces further up, and their numbers say
// nothing about the keyboard.
udev_device* UsbInterfaceOf(udev_device* hid) {
  udev_device* parent = udev_device_get_parent(hid);
  if (!parent) return nullptr;
  const char* subsystem = udev_device_get_subsystem(parent);
  const char* devtype = udev_device_get_devtype(parent);
  if (!subsystem || !devtype || std::strcmp(subsystem, "usb") != 0 ||
      std::strcmp(devtype, "usb_interface") != 0) {
    return nullptr;
  }
  return parent;
}

int InterfaceNumberOf(udev_device* usbInterface) {
  if (const char* text = udev_device_get_sysattr_value(usbInterface, "bInterfaceNumber")) {
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 16);
    while (end && (*end == '\n' || *end == ' ')) ++end;
    if (errno == 0 && end != text && end && *end == '\0' && value <= 255) {
      return static_cast<int>(value);
    }
  }
  const char* name = udev_device_get_sysname(usbInterface);
  return name ? InterfaceNumberOfUsbInterfaceName(name) : -1;
}

// Everything about a present hidraw node, read from sysfs.
std::optional<HidInterfaceInfo> Describe(udev_device* hidraw) {
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
  if (!hid) return std::nullopt;
  const char* hidId = udev_device_get_property_value(hid, "HID_ID");
  auto ids = hidId ? ParseHidId(hidId) : std::nullopt;
  if (!ids) return std::nullopt;

  InterfaceIdentity identity;
  identity.devnode = DevnodeOf(hidraw);
  if (DevnodeOfPath(identity.devnode).empty()) return std::nullopt;
  identity.vendorId = ids->vendorId;
  identity.productId = ids->productId;
  if (udev_device* usbInterface = UsbInterfaceOf(hid)) {
    identity.interfaceNumber = InterfaceNumberOf(usbInterface);
    if (const char* name = udev_device_get_sysname(usbInterface)) identity.usbInterface = name;
  }

  ReportLengths lengths = ParseReportLengths(ReadReportDescriptor(hid));
  HidInterfaceInfo info;
  info.path = FormatInterfacePath(identity);
  info.vendorId = identity.vendorId;
  info.productId = identity.productId;
  info.interfaceNumber = identity.interfaceNumber;
  info.inputReportLength = lengths.input;
  info.outputReportLength = lengths.output;
  info.featureReportLength = lengths.feature;
  return info;
}

}  // namespace

LinuxHidSystem::LinuxHidSystem() = default;

LinuxHidSystem::~LinuxHidSystem() {
  // The monitor thread calls back into this object: stop it before any member goes. It is joined
  // outside the lock, since a handler that is running may still call SetEventHandler.
  std::unique_ptr<HotplugMonitor> monitor;
  {
    std::lock_guard lock(monitorMutex_);
    monitor = std::move(monitor_);
  }
  monitor.reset();
}

std::vector<HidInterfaceInfo> LinuxHidSystem::ListInterfaces() {
  std::vector<HidInterfaceInfo> interfaces;
  std::map<std::string, std::string> known;
  {
    std::lock_guard lock(LibudevLock());
    if (!Enumerate(interfaces, known)) return {};
  }
  std::lock_guard lock(knownMutex_);
  knownPaths_ = std::move(known);
  return interfaces;
}

bool LinuxHidSystem::Enumerate(std::vector<HidInterfaceInfo>& interfaces,
                               std::map<std::string, std::string>& known) {
  // A context of its own per listing: libudev objects must not be shared between threads, and
  // the monitor thread has its own.
  errno = 0;
  UdevContext udev{udev_new()};
  if (!udev) {
    ReportFailure("udev_new", errno ? errno : ENOMEM);
    return false;
  }
  UdevEnumeration enumeration{udev_enumerate_new(udev.get())};
  if (!enumeration) {
    ReportFailure("udev_enumerate_new", ENOMEM);
    return false;
  }
  if (int r = udev_enumerate_add_match_subsystem(enumeration.get(), "hidraw"); r < 0) {
    ReportFailure("udev_enumerate_add_match_subsystem", -r);
    return false;
  }
  if (int r = udev_enumerate_scan_devices(enumeration.get()); r < 0) {
    ReportFailure("udev_enumerate_scan_devices", -r);
    return false;
  }

  udev_list_entry* entry;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumeration.get())) {
    const char* syspath = udev_list_entry_get_name(entry);
    UdevDevice device{udev_device_new_from_syspath(udev.get(), syspath)};
    if (!device) continue;  // gone since the scan
    if (auto info = Describe(device.get())) {
      known[syspath] = info->path;
      interfaces.push_back(std::move(*info));
    }
  }
  return true;
}

std::unique_ptr<HidDevice> LinuxHidSystem::Open(const std::string& path, bool read, bool write,
                                                int& error) {
  std::string devnode = DevnodeOfPath(path);
  if (devnode.empty()) {
    error = ENOENT;
    return nullptr;
  }
  return HidrawDevice::Open(devnode, read, write, error);
}

void LinuxHidSystem::SetEventHandler(std::function<void(const HidEvent&)> handler) {
  const bool wanted = static_cast<bool>(handler);
  std::thread::id monitorThread;
  {
    std::lock_guard lock(monitorMutex_);
    if (monitor_) monitorThread = monitor_->ThreadId();
  }
  {
    // Waiting for the delivery lock waits for a running handler to return. Called from inside a
    // handler, this thread holds that lock already: the handler that is running is the caller.
    std::unique_lock<std::mutex> delivery;
    if (monitorThread != std::this_thread::get_id()) delivery = std::unique_lock(deliveryMutex_);
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
  }
  if (!wanted) return;
  std::lock_guard lock(monitorMutex_);
  if (!monitor_) {
    monitor_ = HotplugMonitor::Start(
        [this](const char* action, udev_device* device) { OnUevent(action, device); });
  }
}

void LinuxHidSystem::OnUevent(const char* action, udev_device* device) {
  std::optional<HidEvent> event;
  {
    std::lock_guard lock(LibudevLock());
    if (std::strcmp(action, "add") == 0) {
      if (auto info = Arrived(device)) event = HidEvent{HidEventKind::Arrival, info->path};
    } else if (std::strcmp(action, "remove") == 0) {
      if (auto path = Removed(device)) event = HidEvent{HidEventKind::Removal, *path};
    }
  }
  if (!event) return;

  std::lock_guard delivery(deliveryMutex_);
  std::function<void(const HidEvent&)> handler;
  {
    std::lock_guard lock(handlerMutex_);
    handler = handler_;  // a copy: the handler may replace itself while it runs
  }
  if (handler) handler(*event);
}

std::optional<HidInterfaceInfo> LinuxHidSystem::Arrived(udev_device* device) {
  auto info = Describe(device);
  if (!info) return std::nullopt;
  std::lock_guard lock(knownMutex_);
  knownPaths_[udev_device_get_syspath(device)] = info->path;
  return info;
}

std::optional<std::string> LinuxHidSystem::Removed(udev_device* device) {
  {
    std::lock_guard lock(knownMutex_);
    auto known = knownPaths_.find(udev_device_get_syspath(device));
    if (known != knownPaths_.end()) {
      std::string path = std::move(known->second);
      knownPaths_.erase(known);
      return path;
    }
  }
  const char* devpath = udev_device_get_devpath(device);
  if (!devpath) return std::nullopt;
  auto identity = IdentityFromDevpath(devpath, DevnodeOf(device));
  if (!identity || DevnodeOfPath(identity->devnode).empty()) return std::nullopt;
  return FormatInterfacePath(*identity);
}

}  // namespace platform
