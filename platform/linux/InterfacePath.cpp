#include "platform/linux/InterfacePath.h"

#include <charconv>
#include <cstdio>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kNodePrefix = "/dev/hidraw";

bool AllOf(std::string_view text, bool (*accept)(char)) {
  for (char c : text) {
    if (!accept(c)) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsPortChar(char c) { return IsDigit(c) || c == '.'; }

template <class T>
std::optional<T> ParseNumber(std::string_view text, int base) {
  T value{};
  if (text.empty()) return std::nullopt;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::uint16_t> ParseHex16(std::string_view text) {
  if (!AllOf(text, IsHexDigit)) return std::nullopt;
  auto value = ParseNumber<std::uint32_t>(text, 16);
  if (!value || *value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// The sysfs name of a HID device: "BBBB:VVVV:PPPP.NNNN", all hex.
std::optional<HidId> ParseHidDeviceName(std::string_view name) {
  auto dot = name.find('.');
  if (dot == std::string_view::npos || !AllOf(name.substr(dot + 1), IsHexDigit) ||
      dot + 1 == name.size()) {
    return std::nullopt;
  }
  auto fields = Split(name.substr(0, dot), ':');
  if (fields.size() != 3) return std::nullopt;
  for (auto field : fields) {
    if (field.size() != 4) return std::nullopt;
  }
  auto bus = ParseHex16(fields[0]), vendor = ParseHex16(fields[1]), product = ParseHex16(fields[2]);
  if (!bus || !vendor || !product) return std::nullopt;
  return HidId{*bus, *vendor, *product};
}

}  // namespace

std::string FormatInterfacePath(const InterfaceIdentity& identity) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", identity.vendorId, identity.productId);
  std::string path = identity.devnode + "?" + ids;
  if (identity.interfaceNumber >= 0) {
    char mi[16];
    std::snprintf(mi, sizeof mi, "&mi_%02x", identity.interfaceNumber & 0xFF);
    path += mi;
  }
  if (IsUsbInterfaceName(identity.usbInterface)) path += "&usb_" + identity.usbInterface;
  return path;
}

std::string DevnodeOfPath(std::string_view path) {
  std::string_view node = path.substr(0, path.find('?'));
  if (!node.starts_with(kNodePrefix)) return {};
  std::string_view number = node.substr(kNodePrefix.size());
  if (number.empty() || number.size() > 6 || !AllOf(number, IsDigit)) return {};
  return std::string(node);
}

std::optional<HidId> ParseHidId(std::string_view text) {
  // The kernel writes "%04X:%08X:%08X"; accept any width up to that.
  auto fields = Split(text, ':');
  if (fields.size() != 3) return std::nullopt;
  for (auto field : fields) {
    if (field.empty() || field.size() > 8 || !AllOf(field, IsHexDigit)) return std::nullopt;
  }
  auto bus = ParseHex16(fields[0]), vendor = ParseHex16(fields[1]), product = ParseHex16(fields[2]);
  if (!bus || !vendor || !product) return std::nullopt;
  return HidId{*bus, *vendor, *product};
}

bool IsUsbInterfaceName(std::string_view name) {
  // bus "-" ports ":" configuration "." interface
  auto dash = name.find('-');
  auto colon = name.find(':');
  if (dash == std::string_view::npos || colon == std::string_view::npos || colon < dash) {
    return false;
  }
  std::string_view bus = name.substr(0, dash);
  std::string_view ports = name.substr(dash + 1, colon - dash - 1);
  auto tail = Split(name.substr(colon + 1), '.');
  return !bus.empty() && bus.size() <= 3 && AllOf(bus, IsDigit) && !ports.empty() &&
         ports.size() <= 32 && IsDigit(ports.front()) && IsDigit(ports.back()) &&
         AllOf(ports, IsPortChar) && ports.find("..") == std::string_view::npos &&
         tail.size() == 2 && !tail[0].empty() && tail[0].size() <= 3 && AllOf(tail[0], IsDigit) &&
         !tail[1].empty() && tail[1].size() <= 3 && AllOf(tail[1], IsDigit);
}

int InterfaceNumberOfUsbInterfaceName(std::string_view name) {
  if (!IsUsbInterfaceName(name)) return -1;
  auto number = ParseNumber<int>(name.substr(name.rfind('.') + 1), 10);
  return number && *number <= 255 ? *number : -1;
}

std::optional<InterfaceIdentity> IdentityFromDevpath(std::string_view devpath,
                                                     std::string devnode) {
  auto parts = Split(devpath, '/');
  // .../<usb interface>/<hid device>/hidraw/hidrawN
  if (parts.size() < 4 || parts[parts.size() - 2] != "hidraw") return std::nullopt;
  std::size_t hidIndex = parts.size() - 3;
  auto hid = ParseHidDeviceName(parts[hidIndex]);
  if (!hid) return std::nullopt;

  InterfaceIdentity identity;
  identity.devnode = std::move(devnode);
  identity.vendorId = hid->vendorId;
  identity.productId = hid->productId;
  if (hidIndex > 0 && IsUsbInterfaceName(parts[hidIndex - 1])) {
    identity.usbInterface = std::string(parts[hidIndex - 1]);
    identity.interfaceNumber = InterfaceNumberOfUsbInterfaceName(identity.usbInterface);
  }
  return identity;
}

}  // namespace platform
