#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The supported devices and how their interface paths are recognised. Group A are the
// keyboards, group B the mice; both talk the update protocol on interface 2.

constexpr std::uint16_t kSupportedVendorId = 0x2D9B;
constexpr std::int8_t kProtocolInterfaceNumber = 2;

enum class DeviceGroup { A, B };

// Tested against interface paths with PathContainsNoCase, in this order.
constexpr std::array<const char*, 8> kGroupAPathPatterns = {
    "vid_2D9B&pid_0074&mi_02", "vid_2D9B&pid_0075&mi_02", "vid_2D9B&pid_0076&mi_02",
    "vid_2D9B&pid_0077&mi_02", "vid_2D9B&pid_00B2&mi_02", "vid_2D9B&pid_00B3&mi_02",
    "vid_2D9B&pid_00B4&mi_02", "vid_2D9B&pid_00B5&mi_02",
};
// The last one can only match a path an enumeration for vendor 2D9B has listed.
constexpr std::array<const char*, 4> kGroupBPathPatterns = {
    "vid_2D9B&pid_0078&mi_02",
    "vid_2D9B&pid_0079&mi_02",
    "vid_2D9B&pid_007A&mi_02",
    "vid_ED9B&pid_0078&mi_02",
};

// Detection enumerates one product id at a time, in this order, and stops at the first
// enumeration that opened something.
constexpr std::array<std::uint16_t, 11> kDetectionProductIds = {
    0x0074, 0x0075, 0x0076, 0x0077, 0x0078, 0x0079, 0x007A, 0x00B2, 0x00B3, 0x00B4, 0x00B5,
};

// After a restart, each group searches only its own product ids.
constexpr std::array<std::uint16_t, 8> kGroupAReconnectProductIds = {
    0x0074, 0x0075, 0x0076, 0x0077, 0x00B2, 0x00B3, 0x00B4, 0x00B5,
};
constexpr std::array<std::uint16_t, 3> kGroupBReconnectProductIds = {0x0078, 0x0079, 0x007A};

bool MatchesGroup(DeviceGroup group, std::string_view path);
