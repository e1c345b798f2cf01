#pragma once

#include <cstdint>
#include <span>

namespace platform {

// Report lengths in bytes as the HID class driver of the original platform reports them: the
// longest report of each kind over all report ids, plus one byte for the report id (counted even
// when the device uses no report ids); 0 when the device has no report of that kind.
struct ReportLengths {
  std::uint16_t input = 0;
  std::uint16_t output = 0;
  std::uint16_t feature = 0;
};

// Reads the report sizes out of a HID report descriptor. The descriptor comes from the device, so
// nothing in it is trusted: parsing stops at the first malformed item and keeps what was counted
// before it, and lengths are capped at 0xFFFF.
ReportLengths ParseReportLengths(std::span<const std::uint8_t> descriptor);

}  // namespace platform
