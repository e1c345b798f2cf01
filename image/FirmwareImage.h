#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// The memory image sent to a device: Intel-HEX data records placed at their 16-bit addresses
// over a field of 0xFF, and the last 16 bytes of the device's part replaced by a trailer.
struct FirmwareImage {
  static constexpr std::uint32_t kCapacity = 0x10000;

  std::array<std::uint8_t, kCapacity> bytes;
  std::uint32_t size = 0;  // the device's part: 0x2000, 0x7000, 0x8000 or 0x10000
  bool valid = false;      // the text was read up to its end-of-file record without error
};

// Trailer layout, counted back from the image size S.
inline constexpr std::uint32_t kTrailerLength = 16;      // S-16: the stamp, over all 16 bytes
inline constexpr std::uint32_t kTrailerSizeOffset = 7;   // S-7: S, 16-bit little-endian
inline constexpr std::uint32_t kTrailerSumOffset = 5;    // S-5: checksum field, always zero
inline constexpr std::uint32_t kTrailerVersionOffset = 3;  // S-3: major, minor, patch

// Stamped into each image's trailer and advanced by every build, valid or not: 0xA0, 0xA1,
// 0xA2, 0xA3, then 0xA0 again.
inline constexpr std::uint8_t kFirstImageStamp = 0xA0;
inline constexpr std::uint8_t kLastImageStamp = 0xA3;
extern std::atomic<std::uint8_t> imageStamp;

// Intel-HEX lines longer than this do not fit the line buffer; such a text is refused.
inline constexpr std::size_t kMaxHexLineLength = 1023;

// Builds the image of `size` bytes (16 to 0x10000) from Intel-HEX text (not zero-terminated).
// Only data records (type 0) are placed, at their 16-bit addresses; address extension and
// start address records are skipped, and the end-of-file record ends the text. With debugging
// output on, every line read is echoed to standard error.
FirmwareImage BuildFirmwareImage(const std::uint8_t* text, std::size_t textLength,
                                 std::uint32_t size, const std::uint8_t version[3]);
