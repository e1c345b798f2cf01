#include "platform/PngWriter.h"

#include <png.h>

#include <cstring>

namespace platform {
namespace {

// libpng's simplified interface takes packed RGB rows; our pixels are 0x00RRGGBB words.
std::vector<std::uint8_t> PackRgb(const Surface& surface) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(surface.Width()) * surface.Height() * 3);
  std::uint8_t* out = rgb.data();
  for (std::uint32_t p : surface.Pixels()) {
    *out++ = static_cast<std::uint8_t>(p >> 16);
    *out++ = static_cast<std::uint8_t>(p >> 8);
    *out++ = static_cast<std::uint8_t>(p);
  }
  return rgb;
}

png_image DescribeRgb(const Surface& surface) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(surface.Width());
  image.height = static_cast<png_uint_32>(surface.Height());
  image.format = PNG_FORMAT_RGB;
  return image;
}

}  // namespace

bool WritePng(const Surface& surface, const std::string& path, std::string* error) {
  if (surface.IsEmpty()) {
    if (error) *error = "write " + path + ": the surface is empty";
    return false;
  }
  const std::vector<std::uint8_t> rgb = PackRgb(surface);
  png_image image = DescribeRgb(surface);
  const bool ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
  if (!ok && error) *error = "write " + path + ": " + image.message;
  png_image_free(&image);
  return ok;
}

std::vector<std::uint8_t> EncodePng(const Surface& surface) {
  if (surface.IsEmpty()) return {};
  const std::vector<std::uint8_t> rgb = PackRgb(surface);
  png_image image = DescribeRgb(surface);
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) return {};
  std::vector<std::uint8_t> bytes(size);
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr)) return {};
  bytes.resize(size);
  return bytes;
}

}  // namespace platform
