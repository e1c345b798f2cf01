#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Table bytes as the embedded files hold them: UTF-16LE after a byte-order mark.
inline std::vector<std::uint8_t> TableBytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}
