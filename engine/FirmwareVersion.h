#pragma once

#include <array>
#include <cstdint>
#include <string>

// A firmware version as the devices report it: major, minor, patch. std::array compares
// element by element, which is exactly "major first, then minor, then patch".
using FirmwareVersion = std::array<std::uint8_t, 3>;

// The firmware this package brings.
constexpr FirmwareVersion kPackageVersion = {6, 0, 0};

// Bytes 4-7 of the first clean query response: major, minor, patch, model code.
using DeviceInfo = std::array<std::uint8_t, 4>;

constexpr std::size_t kDeviceInfoModelCode = 3;

// " %u.%u.%u" of a version, the way every screen shows one: the leading space belongs to it.
inline std::u16string FormatVersion(const FirmwareVersion& v) {
  std::u16string text;
  for (std::size_t i = 0; i < v.size(); ++i) {
    text += i == 0 ? u' ' : u'.';
    for (char c : std::to_string(v[i])) text += static_cast<char16_t>(c);
  }
  return text;
}
