#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What names one hidraw interface, and how its path string is made from it.
//
// The path is the device node, then "?", then the ids the way the device tests look for them:
//   /dev/hidraw3?vid_2d9b&pid_0074&mi_02&usb_1-2:1.2
// "mi_NN" appears only for an interface that sits directly on a USB interface, and the USB
// interface's sysfs name (bus-ports:config.interface) only then too. Apart from the vid_/pid_
// fields nothing in the path holds a run of four hex digits, so a digit search cannot be fooled
// by the node number or the location.
struct InterfaceIdentity {
  std::string devnode;  // "/dev/hidraw3"
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  int interfaceNumber = -1;
  std::string usbInterface;  // "1-2:1.2"; empty when the HID device has no USB interface parent
};

std::string FormatInterfacePath(const InterfaceIdentity& identity);

// The device node a path names ("/dev/hidraw3"), or empty when the path does not name one.
std::string DevnodeOfPath(std::string_view path);

struct HidId {
  std::uint16_t bus = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
};

// The HID_ID uevent value "0003:00002D9B:00000074" (bus:vendor:product, hex). Ids that do not fit
// 16 bits, or any malformed text, give nothing.
std::optional<HidId> ParseHidId(std::string_view text);

// Whether `name` is the sysfs name of a USB interface ("1-2:1.2", "3-1.4.2:1.0").
bool IsUsbInterfaceName(std::string_view name);

// The interface number at the end of a USB interface name ("1-2:1.2" -> 2), or -1.
int InterfaceNumberOfUsbInterfaceName(std::string_view name);

// Rebuilds the identity of a hidraw node from its sysfs device path alone
// (".../1-2/1-2:1.2/0003:2D9B:0074.0005/hidraw/hidraw3"): what a removal event still carries when
// sysfs is already gone. The HID device's name holds bus, vendor and product; a USB interface
// directly above it gives the interface number.
std::optional<InterfaceIdentity> IdentityFromDevpath(std::string_view devpath,
                                                     std::string devnode);

}  // namespace platform
