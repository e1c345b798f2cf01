#pragma once

#include <array>
#include <cstdint>

// A firmware version as the devices report it: major, minor, patch. std::array compares
// element by element, which is exactly "major first, then minor, then patch".
using FirmwareVersion = std::array<std::uint8_t, 3>;

// The firmware this package brings.
constexpr FirmwareVersion kPackageVersion = {6, 0, 0};

// Bytes 4-7 of the first clean query response: major, minor, patch, model code.
using DeviceInfo = std::array<std::uint8_t, 4>;

constexpr std::size_t kDeviceInfoModelCode = 3;
