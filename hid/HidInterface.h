#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/HidSystem.h"

struct HidAttributes {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;  // selects the firmware image for some models
};

struct HidCaps {
  std::uint16_t inputReportByteLength = 0;
  std::uint16_t outputReportByteLength = 0;
  std::uint16_t featureReportByteLength = 0;
};

// One opened HID interface. A default record holds no interface (empty devicePath, no device).
struct HidInterface {
  std::string devicePath;
  std::unique_ptr<platform::HidDevice> device;
  bool openedForRead = false;
  bool openedForWrite = false;
  bool openedOverlapped = false;  // every transfer blocks on Linux; kept for what was asked
  bool openedExclusive = false;   // not enforced by the HID backends; kept for what was asked
  HidCaps caps;
  HidAttributes attributes;
  int openError = 0;  // errno of the last failed open, for messages; 0 after success

  bool HoldsInterface() const { return !devicePath.empty(); }
};

// The result of an enumeration. `records` has one record per interface the walk looked at;
// those that did not match, or failed to open, hold no interface. `capacity` follows the
// growth rule of the walk (8 first, then doubling).
struct HidInterfaceList {
  std::vector<HidInterface> records;
  std::size_t capacity = 0;

  std::size_t count() const { return records.size(); }
};

// Lists the present HID interfaces and opens, for their description only, those whose path
// carries the ids: the digits of vendorId and productId (skipped when both are 0) and
// "&mi_NN" of interfaceNumber (skipped when it is 0), all in upper or all in lower case.
// Returns true when at least one was opened.
bool EnumerateHidInterfaces(platform::HidSystem& system, platform::Clock& clock,
                            HidInterfaceList& list, std::uint16_t vendorId,
                            std::uint16_t productId, std::int8_t interfaceNumber);

// Opens `path` into `record`, which is closed first. Returns false, with the record holding no
// interface and `openError` set, when the interface cannot be opened or described.
bool OpenHidInterface(platform::HidSystem& system, const std::string& path, bool read,
                      bool write, bool overlapped, bool exclusive, HidInterface& record);

// Releases everything the record holds.
void CloseHidInterface(HidInterface& record);

// Whether `pattern` occurs in `text`, folding only the ASCII letters A-Z onto a-z.
bool PathContainsNoCase(std::string_view text, std::string_view pattern);
