#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Every feature report the devices speak is 65 bytes on report id 0 (byte 0).
constexpr std::size_t kFeatureReportSize = 65;
using FeatureReport = std::array<std::uint8_t, kFeatureReportSize>;

// One HID interface present on the machine.
struct HidInterfaceInfo {
  // Names the interface and carries its ids the way the device tests expect them, lower-case
  // hex: "...vid_2d9b&pid_0074&mi_02...". The same interface gives the same path on arrival and
  // on removal.
  std::string path;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  int interfaceNumber = -1;  // -1 when the interface has no USB interface (Bluetooth, virtual)
  std::uint16_t inputReportLength = 0;
  std::uint16_t outputReportLength = 0;
  std::uint16_t featureReportLength = 0;
};

// An opened HID interface. Calls block until the transfer is done.
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // Both return 0 on success, otherwise the operating system's error code (an errno value).
  virtual int SetFeature(const FeatureReport& report) = 0;
  virtual int GetFeature(FeatureReport& report) = 0;
};

enum class HidEventKind { Arrival, Removal };

struct HidEvent {
  HidEventKind kind;
  std::string path;  // as HidInterfaceInfo::path
};

// The machine's HID interfaces: listing, opening and hotplug events.
class HidSystem {
 public:
  virtual ~HidSystem() = default;

  virtual std::vector<HidInterfaceInfo> ListInterfaces() = 0;

  // Opens the interface at `path` for reading and/or writing (neither: for its description
  // only). On failure returns null and sets `error` to the operating system's error code.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path, bool read, bool write,
                                          int& error) = 0;

  // Arrival and removal events are passed to `handler` on a thread of the backend. Setting a new
  // handler replaces the old one; an empty function stops delivery. After this returns with an
  // empty handler, the old handler is no longer running and will not be called again.
  virtual void SetEventHandler(std::function<void(const HidEvent&)> handler) = 0;
};

}  // namespace platform
