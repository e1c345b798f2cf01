#include "platform/Bitmap.h"

#include <array>
#include <map>
#include <mutex>
#include <optional>

#include "platform/Resources.h"

namespace platform {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::int64_t kMaxSide = 16384;
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionBitFields = 3;

// Little-endian reads that refuse to look past the end of the data.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Has(std::size_t offset, std::size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  std::uint32_t U16(std::size_t offset) const { return bytes_[offset] | (bytes_[offset + 1] << 8); }
  std::uint32_t U32(std::size_t offset) const { return U16(offset) | (U16(offset + 2) << 16); }
  std::int32_t S32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
  std::uint8_t Byte(std::size_t offset) const { return bytes_[offset]; }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

// What the headers say, after validation.
struct Layout {
  int width = 0;
  int height = 0;
  bool topDown = false;
  int bitsPerPixel = 0;
  std::size_t pixelOffset = 0;  // from the start of the data
  std::size_t stride = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::array<std::uint32_t, 3> masks{0x00FF0000u, 0x0000FF00u, 0x000000FFu};  // red, green, blue
};

int ShiftOf(std::uint32_t mask) {
  int shift = 0;
  while (shift < 32 && ((mask >> shift) & 1u) == 0) ++shift;
  return shift;
}

bool IsUsableMask(std::uint32_t mask) {
  // An 8-bit contiguous channel, which is what every 32-bit writer produces.
  return mask != 0 && (mask >> ShiftOf(mask)) == 0xFFu;
}

std::optional<Layout> ReadLayout(const Reader& in) {
  std::size_t header = 0;  // where the info header starts
  std::optional<std::size_t> declaredPixelOffset;
  if (in.Has(0, kFileHeaderSize) && in.Byte(0) == 'B' && in.Byte(1) == 'M') {
    header = kFileHeaderSize;
    declaredPixelOffset = in.U32(10);
  }
  if (!in.Has(header, 4)) return std::nullopt;
  const std::uint32_t headerSize = in.U32(header);
  if (!in.Has(header, headerSize)) return std::nullopt;

  Layout layout;
  std::int64_t width = 0;
  std::int64_t height = 0;
  std::uint32_t planes = 0;
  std::uint32_t compression = kCompressionRgb;
  std::uint32_t paletteCount = 0;
  std::size_t paletteEntrySize = 4;
  if (headerSize == kCoreHeaderSize) {
    width = in.U16(header + 4);
    height = static_cast<std::int16_t>(in.U16(header + 6));
    planes = in.U16(header + 8);
    layout.bitsPerPixel = static_cast<int>(in.U16(header + 10));
    paletteEntrySize = 3;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == 124) {
    width = in.S32(header + 4);
    height = in.S32(header + 8);
    planes = in.U16(header + 12);
    layout.bitsPerPixel = static_cast<int>(in.U16(header + 14));
    compression = in.U32(header + 16);
    paletteCount = in.U32(header + 32);
  } else {
    return std::nullopt;
  }

  if (planes != 1) return std::nullopt;
  layout.topDown = height < 0;
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);

  const int bpp = layout.bitsPerPixel;
  std::size_t tableEnd = header + headerSize;
  if (bpp == 24 && compression == kCompressionRgb) {
  } else if (bpp == 32 && compression == kCompressionRgb) {
  } else if (bpp == 32 && compression == kCompressionBitFields) {
    // The masks follow a 40-byte header and live inside the larger ones.
    const std::size_t masksAt = header + 40;
    if (!in.Has(masksAt, 12)) return std::nullopt;
    for (std::size_t i = 0; i < 3; ++i) layout.masks[i] = in.U32(masksAt + 4 * i);
    for (std::uint32_t mask : layout.masks) {
      if (!IsUsableMask(mask)) return std::nullopt;
    }
    if (headerSize == 40) tableEnd += 12;
  } else if ((bpp == 1 || bpp == 4 || bpp == 8) && compression == kCompressionRgb) {
    const std::uint32_t maxEntries = 1u << bpp;
    if (paletteCount == 0) paletteCount = maxEntries;
    if (paletteCount > maxEntries) return std::nullopt;
    const std::size_t paletteBytes = paletteCount * paletteEntrySize;
    if (!in.Has(tableEnd, paletteBytes)) return std::nullopt;
    for (std::uint32_t i = 0; i < paletteCount; ++i) {
      const std::size_t at = tableEnd + i * paletteEntrySize;
      layout.palette.push_back((std::uint32_t{in.Byte(at + 2)} << 16) | (std::uint32_t{in.Byte(at + 1)} << 8) |
                               in.Byte(at));
    }
    layout.palette.resize(maxEntries, 0);  // out-of-table indices read black, as the system does
    tableEnd += paletteBytes;
  } else {
    return std::nullopt;
  }

  layout.pixelOffset = declaredPixelOffset.value_or(tableEnd);
  layout.stride = ((static_cast<std::size_t>(layout.width) * bpp + 31) / 32) * 4;
  if (layout.pixelOffset < tableEnd) return std::nullopt;
  if (!in.Has(layout.pixelOffset, layout.stride * layout.height)) return std::nullopt;
  return layout;
}

std::uint32_t DecodePixel(const Layout& layout, const std::uint8_t* row, int x) {
  switch (layout.bitsPerPixel) {
    case 24: {
      const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
      return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
    }
    case 32: {
      const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
      const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                              (std::uint32_t{p[3]} << 24);
      const auto channel = [&](std::uint32_t mask) { return (v & mask) >> ShiftOf(mask); };
      return (channel(layout.masks[0]) << 16) | (channel(layout.masks[1]) << 8) | channel(layout.masks[2]);
    }
    default: {
      const int bpp = layout.bitsPerPixel;
      const std::size_t bit = static_cast<std::size_t>(x) * bpp;
      const int shift = 8 - bpp - static_cast<int>(bit % 8);
      const std::uint32_t index = (row[bit / 8] >> shift) & ((1u << bpp) - 1);
      return layout.palette[index];
    }
  }
}

class BitmapCache {
 public:
  Bitmap Load(int id) {
    std::lock_guard lock(mutex_);
    const auto found = loaded_.find(id);
    if (found != loaded_.end()) return found->second;
    Bitmap bitmap;
    if (const auto bytes = FindResource(kBitmapResourceType, id)) bitmap = DecodeBmp(*bytes);
    loaded_.emplace(id, bitmap);
    return bitmap;
  }

 private:
  std::mutex mutex_;
  std::map<int, Bitmap> loaded_;  // resources never change, so "not loaded" is cached too
};

}  // namespace

Bitmap DecodeBmp(std::span<const std::uint8_t> bytes) {
  const Reader in(bytes);
  const std::optional<Layout> layout = ReadLayout(in);
  if (!layout) return nullptr;
  auto surface = std::make_shared<Surface>(layout->width, layout->height);
  for (int y = 0; y < layout->height; ++y) {
    const int fileRow = layout->topDown ? y : layout->height - 1 - y;
    const std::uint8_t* row = bytes.data() + layout->pixelOffset + layout->stride * fileRow;
    std::uint32_t* out = surface->Row(y);
    for (int x = 0; x < layout->width; ++x) out[x] = DecodePixel(*layout, row, x);
  }
  return surface;
}

Bitmap LoadBitmap(int id) {
  static BitmapCache cache;
  return cache.Load(id);
}

}  // namespace platform
