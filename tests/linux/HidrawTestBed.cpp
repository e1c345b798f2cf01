#include "HidrawTestBed.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/linux/UdevHandles.h"
#include "platform/sim/SimulatedDevice.h"

namespace platform {
namespace {

constexpr int kHidrawMajor = 247;

std::string Hex4(unsigned value, bool upper) {
  char text[8];
  std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value & 0xFFFF);
  return text;
}

std::string Take(gchar* text) {
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

}  // namespace

std::vector<std::uint8_t> ProtocolInterfaceDescriptor() {
  return {
      0x06, 0x00, 0xFF,  // Usage Page (vendor 0xFF00)
      0x09, 0x01,        // Usage (1)
      0xA1, 0x01,        // Collection (Application)
      0x09, 0x02,        //   Usage (2)
      0x15, 0x00,        //   Logical Minimum (0)
      0x26, 0xFF, 0x00,  //   Logical Maximum (255)
      0x75, 0x08,        //   Report Size (8)
      0x95, 0x08,        //   Report Count (8)
      0x81, 0x02,        //   Input (Data, Variable, Absolute)
      0x09, 0x03,        //   Usage (3)
      0x95, 0x40,        //   Report Count (64)
      0xB1, 0x02,        //   Feature (Data, Variable, Absolute)
      0xC0,              // End Collection
  };
}

std::vector<std::uint8_t> BootKeyboardDescriptor() {
  return {
      0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop, Keyboard, Application
      0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,  // modifier keys
      0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  //   8 x 1 bit input
      0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              //   reserved byte
      0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01,  // LEDs
      0x29, 0x05, 0x91, 0x02,                          //   5 x 1 bit output
      0x95, 0x01, 0x75, 0x03, 0x91, 0x01,              //   padding
      0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65,  // key codes
      0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00,  //   6 x 8 bit input
      0xC0,
  };
}

struct HidrawTestBed::NodeServer {
  std::mutex mutex;
  FeatureServer server;
  int transferLength = static_cast<int>(kFeatureReportSize);
  UMockdevIoctlBase* handler = nullptr;

  // Runs on umockdev's worker thread for every ioctl on the node.
  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<NodeServer*>(self)->Answer(client);
    return TRUE;
  }

  void Answer(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const bool isSet = request == HIDIOCSFEATURE(kFeatureReportSize);
    const bool isGet = request == HIDIOCGFEATURE(kFeatureReportSize);
    if (!isSet && !isGet) {
      umockdev_ioctl_client_complete(client, -1, ENOTTY);
      return;
    }
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(
        umockdev_ioctl_client_get_arg(client), 0, kFeatureReportSize, &error);
    if (!data) {
      g_clear_error(&error);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return;
    }
    FeatureReport report;
    std::memcpy(report.data(), data->data, kFeatureReportSize);

    FeatureServer serve;
    int length;
    {
      std::lock_guard lock(mutex);
      serve = server;
      length = transferLength;
    }
    int result = serve ? serve(isSet, report) : EPIPE;
    if (result == 0 && isGet) std::memcpy(data->data, report.data(), kFeatureReportSize);
    umockdev_ioctl_data_unref(data);
    umockdev_ioctl_client_complete(client, result == 0 ? length : -1, result);
  }
};

HidrawTestBed::HidrawTestBed() {
  testbed_ = umockdev_testbed_new();
  rootDir_ = Take(umockdev_testbed_get_root_dir(testbed_));
}

HidrawTestBed::~HidrawTestBed() {
  std::lock_guard lock(mutex_);
  for (auto& [devnode, server] : servers_) {
    umockdev_testbed_detach_ioctl(testbed_, devnode.c_str(), nullptr);
  }
  g_object_unref(testbed_);
  for (auto& [devnode, server] : servers_) g_object_unref(server->handler);
}

bool HidrawTestBed::PreloadActive() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload && std::strstr(preload, "libumockdev-preload") != nullptr;
}

std::vector<std::string> HidrawTestBed::ChildEnvironment() const {
  // A sanitizer runtime preloaded ahead of umockdev's library must stay ahead of it in the child.
  std::string preload = PreloadActive() ? std::getenv("LD_PRELOAD") : "libumockdev-preload.so.0";
  return {"UMOCKDEV_DIR=" + rootDir_, "LD_PRELOAD=" + preload};
}

std::string HidrawTestBed::AddDevice(const std::string& subsystem, const std::string& name,
                                     const std::string& parent,
                                     const std::vector<std::string>& attributes,
                                     const std::vector<std::string>& properties) {
  std::string key = (parent.empty() ? std::string("/sys/devices") : parent) + "/" + name;
  if (auto found = created_.find(key); found != created_.end()) return found->second;

  auto terminated = [](const std::vector<std::string>& list) {
    std::vector<gchar*> out;
    for (const auto& item : list) out.push_back(const_cast<gchar*>(item.c_str()));
    out.push_back(nullptr);
    return out;
  };
  auto attrs = terminated(attributes);
  auto props = terminated(properties);
  // umockdev announces the device through libudev, which the backend's threads use too.
  std::lock_guard udevLock(LibudevLock());
  std::string syspath =
      Take(umockdev_testbed_add_devicev(testbed_, subsystem.c_str(), name.c_str(),
                                        parent.empty() ? nullptr : parent.c_str(), attrs.data(),
                                        props.data()));
  if (syspath.empty()) throw std::runtime_error("umockdev could not add " + key);
  created_[key] = syspath;
  return syspath;
}

std::string HidrawTestBed::EnsureUsbDevice(const std::string& port) {
  std::string pci = AddDevice("pci", "pci0000:00/0000:00:14.0", "", {"vendor", "0x8086"},
                              {"PCI_SLOT_NAME", "0000:00:14.0"});
  std::string hub = AddDevice("usb", "usb1", pci, {"idVendor", "1d6b", "idProduct", "0002"},
                              {"DEVTYPE", "usb_device", "BUSNUM", "001", "DEVNUM", "001"});
  return AddDevice("usb", port, hub, {"busnum", "1", "devnum", "5"},
                   {"DEVTYPE", "usb_device", "BUSNUM", "001", "DEVNUM", "005"});
}

EmulatedNode HidrawTestBed::Add(const EmulatedHidraw& hidraw) {
  std::lock_guard lock(mutex_);
  EmulatedNode node;
  node.devnode = "/dev/hidraw" + std::to_string(hidraw.number);

  std::string hidParent;
  std::uint16_t bus = 0x0003;
  if (hidraw.parent == EmulatedParent::Virtual) {
    hidParent = AddDevice("misc", "virtual/misc/uhid", "", {}, {"DEVNAME", "/dev/uhid"});
  } else {
    std::string usbDevice = EnsureUsbDevice(hidraw.usbPort);
    char interfaceNumber[8];
    std::snprintf(interfaceNumber, sizeof interfaceNumber, "%02x", hidraw.interfaceNumber);
    std::string interfaceName = hidraw.usbPort + ":1." + std::to_string(hidraw.interfaceNumber);
    bool bluetooth = hidraw.parent == EmulatedParent::BluetoothBehindUsbDongle;
    node.usbInterface = AddDevice(
        "usb", interfaceName, usbDevice,
        {"bInterfaceNumber", interfaceNumber, "bInterfaceClass", bluetooth ? "e0" : "03"},
        {"DEVTYPE", "usb_interface", "INTERFACE", bluetooth ? "224/1/1" : "3/0/0"});
    hidParent = node.usbInterface;
    if (bluetooth) {
      bus = 0x0005;
      std::string host = AddDevice("bluetooth", "bluetooth/hci0", node.usbInterface, {},
                                   {"DEVTYPE", "host"});
      hidParent = AddDevice("bluetooth", "hci0:256", host, {}, {"DEVTYPE", "link"});
    }
  }

  // Like the kernel, every HID device gets a number of its own, also after an unplug.
  int instance = hidraw.hidInstance != 0 ? hidraw.hidInstance : nextHidInstance_++;
  std::string hidName = Hex4(bus, true) + ":" + Hex4(hidraw.vendorId, true) + ":" +
                        Hex4(hidraw.productId, true) + "." + Hex4(instance, true);
  std::string hidId = hidraw.hidIdOverride.empty()
                          ? Hex4(bus, true) + ":0000" + Hex4(hidraw.vendorId, true) + ":0000" +
                                Hex4(hidraw.productId, true)
                          : hidraw.hidIdOverride;
  node.hidDevice = AddDevice("hid", hidName, hidParent, {},
                             {"HID_ID", hidId, "HID_NAME", "Emulated keyboard", "HID_PHYS",
                              "usb-0000:00:14.0-" + hidraw.usbPort.substr(2) + "/input" +
                                  std::to_string(hidraw.interfaceNumber)});
  auto descriptor = hidraw.reportDescriptor;
  umockdev_testbed_set_attribute_binary(testbed_, node.hidDevice.c_str(), "report_descriptor",
                                        descriptor.data(), static_cast<gint>(descriptor.size()));

  std::string number = std::to_string(hidraw.number);
  std::string devNumbers = std::to_string(kHidrawMajor) + ":" + number;
  node.syspath = AddDevice("hidraw", "hidraw/hidraw" + number, node.hidDevice,
                           {"dev", devNumbers},
                           {"DEVNAME", node.devnode, "MAJOR", std::to_string(kHidrawMajor),
                            "MINOR", number});

  // The node itself: umockdev reports it as a character device from the "dev" attribute.
  std::string file = rootDir_ + node.devnode;
  int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0660);
  if (fd < 0) throw std::runtime_error("create " + file + ": " + std::strerror(errno));
  ::close(fd);
  return node;
}

EmulatedNode HidrawTestBed::Plug(const EmulatedHidraw& hidraw) {
  // umockdev announces every device it adds.
  return Add(hidraw);
}

void HidrawTestBed::Unplug(const EmulatedNode& node) {
  std::lock_guard lock(mutex_);
  Uevent(node.syspath, "remove");
  for (const std::string* syspath : {&node.syspath, &node.hidDevice, &node.usbInterface}) {
    if (syspath->empty()) continue;
    umockdev_testbed_remove_device(testbed_, syspath->c_str());
    std::erase_if(created_, [&](const auto& entry) { return entry.second == *syspath; });
  }
  ::unlink((rootDir_ + node.devnode).c_str());
}

void HidrawTestBed::Uevent(const std::string& syspath, const char* action) {
  std::lock_guard lock(mutex_);
  std::lock_guard udevLock(LibudevLock());
  umockdev_testbed_uevent(testbed_, syspath.c_str(), action);
}

void HidrawTestBed::DenyAccess(const EmulatedNode& node) {
  std::string file = rootDir_ + node.devnode;
  if (::chmod(file.c_str(), 0) != 0) {
    throw std::runtime_error("chmod " + file + ": " + std::strerror(errno));
  }
}

void HidrawTestBed::Serve(const std::string& devnode, FeatureServer server) {
  std::lock_guard lock(mutex_);
  auto& slot = servers_[devnode];
  if (!slot) {
    slot = std::make_unique<NodeServer>();
    slot->handler = umockdev_ioctl_base_new();
    g_signal_connect(slot->handler, "handle-ioctl", G_CALLBACK(&NodeServer::OnIoctl), slot.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), slot->handler, &error)) {
      std::string message = error ? error->message : "unknown error";
      g_clear_error(&error);
      throw std::runtime_error("attach ioctl handler to " + devnode + ": " + message);
    }
  }
  std::lock_guard serverLock(slot->mutex);
  slot->server = std::move(server);
}

void HidrawTestBed::Serve(const std::string& devnode, SimulatedDevice& device) {
  Serve(devnode, [&device](bool isSet, FeatureReport& report) {
    return isSet ? device.SetFeature(report) : device.GetFeature(report);
  });
}

void HidrawTestBed::SetTransferLength(const std::string& devnode, int length) {
  std::lock_guard lock(mutex_);
  auto& slot = servers_.at(devnode);
  std::lock_guard serverLock(slot->mutex);
  slot->transferLength = length;
}

}  // namespace platform

#if defined(__SANITIZE_THREAD__)
#define RIRUD_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define RIRUD_THREAD_SANITIZER 1
#endif
#endif

#ifdef RIRUD_THREAD_SANITIZER
// GLib's mutexes are futexes that ThreadSanitizer cannot see, so the hand-over between umockdev's
// worker thread and the thread that sets up the test bed looks like a race inside umockdev and
// GLib. Races whose stacks run through those libraries are therefore not reported; the backend
// under test runs on threads of its own and stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "race:libumockdev.so.0\n"
         "race:libglib-2.0.so.0\n"
         "race:libgio-2.0.so.0\n"
         "race:libgobject-2.0.so.0\n";
}
#endif
