#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/Surface.h"

namespace platform {

// A loaded bitmap: an immutable surface shared by everyone who loaded the same resource.
// Null means "not loaded" (no such resource, or its bytes are not a BMP we can read).
using Bitmap = std::shared_ptr<const Surface>;

// The resource type under which bitmaps are embedded.
inline constexpr const char* kBitmapResourceType = "BITMAP";

// Decodes an uncompressed Windows BMP: with or without the 14-byte "BM" file header, an info
// header of 12 (core), 40, 108 or 124 bytes, 24 or 32 bits per pixel (32 also with the usual
// bit-field masks) or 1, 4 or 8 bits with a palette, bottom-up or top-down rows. The bytes are
// untrusted: sizes and offsets are checked against the data and absurd dimensions (more than
// 16384 pixels on a side) are refused. Returns null for anything it cannot read.
Bitmap DecodeBmp(std::span<const std::uint8_t> bytes);

// The embedded "BITMAP" resource `id`, decoded; null when there is none or it is malformed.
// Results are cached per id, so repeated loads (every paint loads its background afresh) cost a
// lookup. Colours are taken as they are in the file: no mapping of greys to system colours.
// Thread-safe.
Bitmap LoadBitmap(int id);

}  // namespace platform
