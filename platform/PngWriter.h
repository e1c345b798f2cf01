#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Surface.h"

namespace platform {

// Saves `surface` as an 8-bit RGB PNG file (the unused top byte of each pixel is dropped).
// Returns true on success; on failure returns false and, when `error` is given, stores a message
// naming the file and what went wrong. An empty surface cannot be saved.
bool WritePng(const Surface& surface, const std::string& path, std::string* error = nullptr);

// The same PNG as bytes in memory; empty when the surface is empty or encoding failed.
std::vector<std::uint8_t> EncodePng(const Surface& surface);

}  // namespace platform
