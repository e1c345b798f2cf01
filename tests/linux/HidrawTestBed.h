#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/HidSystem.h"

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace platform {

class SimulatedDevice;

// What sits above the emulated HID device in sysfs.
enum class EmulatedParent {
  UsbInterface,              // .../usb1/1-2/1-2:1.2/0003:VVVV:PPPP.NNNN
  BluetoothBehindUsbDongle,  // .../usb1/1-3/1-3:1.2/bluetooth/hci0/hci0:256/0005:VVVV:PPPP.NNNN
  Virtual,                   // /sys/devices/virtual/misc/uhid/0003:VVVV:PPPP.NNNN
};

// One emulated hidraw node and the device chain above it.
struct EmulatedHidraw {
  int number = 0;  // /dev/hidrawN
  std::uint16_t vendorId = 0x2D9B;
  std::uint16_t productId = 0x0074;
  EmulatedParent parent = EmulatedParent::UsbInterface;
  std::string usbPort = "1-2";  // the USB device (or dongle) on bus 1
  int interfaceNumber = 2;      // of the USB interface (the dongle's, behind Bluetooth)
  int hidInstance = 0;  // the kernel's running number in the HID device name; 0: the next free
  std::vector<std::uint8_t> reportDescriptor;
  // Raw HID_ID text; empty: made from bus, vendor and product like the kernel does.
  std::string hidIdOverride;
};

// Where an emulated node lives.
struct EmulatedNode {
  std::string devnode;    // "/dev/hidraw3"
  std::string syspath;    // of the hidraw node
  std::string hidDevice;  // syspath of its HID device
  std::string usbInterface;  // syspath of the USB interface created for it, or empty
};

// A report descriptor like the protocol interface of the keyboards: a vendor page with an
// 8-byte input report and a 64-byte feature report, no report ids.
std::vector<std::uint8_t> ProtocolInterfaceDescriptor();
// A boot keyboard's descriptor: 8-byte input report, 1-byte LED output report, no features.
std::vector<std::uint8_t> BootKeyboardDescriptor();

// A sysfs tree, device nodes, uevents and feature-report ioctls emulated by umockdev, for code
// running under its preload library (this process through umockdev-wrapper, or a child started
// with ChildEnvironment()). While a test bed exists, /sys, /dev and the udev netlink socket of
// preloaded processes are those of the test bed.
//
// The ioctls run on umockdev's worker thread; every member may be called from any thread.
// ThreadSanitizer cannot see that an ioctl returns only after the worker has answered it (the
// two talk over a socket), so a test reads what a server recorded through the server's own lock,
// as SimulatedDevice's observers do, before it destroys the server.
class HidrawTestBed {
 public:
  HidrawTestBed();
  ~HidrawTestBed();
  HidrawTestBed(const HidrawTestBed&) = delete;
  HidrawTestBed& operator=(const HidrawTestBed&) = delete;

  // Whether this process runs under umockdev's preload library.
  static bool PreloadActive();

  // "UMOCKDEV_DIR=..." and "LD_PRELOAD=..." for a child process that is to see this test bed.
  std::vector<std::string> ChildEnvironment() const;

  // Adds the node and the devices above it (shared parents are made once), without a uevent.
  EmulatedNode Add(const EmulatedHidraw& hidraw);
  // Adds the node and announces it with an "add" uevent.
  EmulatedNode Plug(const EmulatedHidraw& hidraw);
  // Announces the node's removal, then takes it, its HID device and its USB interface out of
  // sysfs, as the kernel leaves things by the time udev reports the removal.
  void Unplug(const EmulatedNode& node);
  void Uevent(const std::string& syspath, const char* action);

  // Makes the node's file unreadable and unwritable for its owner.
  void DenyAccess(const EmulatedNode& node);

  // Answers HIDIOCSFEATURE(65) and HIDIOCGFEATURE(65) on the node: `isSet` tells which; the
  // return value is 0 or the errno the ioctl fails with. Other ioctls fail with ENOTTY.
  using FeatureServer = std::function<int(bool isSet, FeatureReport& report)>;
  void Serve(const std::string& devnode, FeatureServer server);
  void Serve(const std::string& devnode, SimulatedDevice& device);
  // The byte count successful transfers on the node report (65 unless changed).
  void SetTransferLength(const std::string& devnode, int length);

 private:
  struct NodeServer;

  std::string AddDevice(const std::string& subsystem, const std::string& name,
                        const std::string& parent, const std::vector<std::string>& attributes,
                        const std::vector<std::string>& properties);
  std::string EnsureUsbDevice(const std::string& port);

  std::recursive_mutex mutex_;  // umockdev 0.17 does not guard its own state
  UMockdevTestbed* testbed_ = nullptr;
  std::string rootDir_;
  std::map<std::string, std::string> created_;  // parent-relative name -> syspath
  std::map<std::string, std::unique_ptr<NodeServer>> servers_;
  int nextHidInstance_ = 1;
};

}  // namespace platform
