// Builds a firmware image from arbitrary text. Input: one byte choosing the image size, three
// version bytes, then the Intel-HEX text.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/FuzzCheck.h"
#include "image/FirmwareImage.h"

namespace {

// The four sizes devices have, then sizes that leave no room for a trailer or exceed the buffer.
constexpr std::uint32_t kSizes[] = {0x2000, 0x7000, 0x8000, 0x10000, 0, 15, 16, 0x10001};

std::uint8_t NextStamp(std::uint8_t stamp) {
  return stamp >= kLastImageStamp ? kFirstImageStamp : static_cast<std::uint8_t>(stamp + 1);
}

void CheckRefused(const FirmwareImage& image, std::uint8_t stampBefore) {
  FUZZ_CHECK(!image.valid);
  FUZZ_CHECK(imageStamp.load() == stampBefore);
  for (std::uint8_t byte : image.bytes) FUZZ_CHECK(byte == 0xFF);
}

void CheckTrailer(const FirmwareImage& image, std::uint8_t stamp, const std::uint8_t version[3]) {
  const std::uint32_t s = image.size;
  const std::uint8_t* trailer = image.bytes.data() + s - kTrailerLength;
  if (!image.valid) {
    for (std::uint32_t i = 0; i < kTrailerLength; ++i) FUZZ_CHECK(trailer[i] == stamp);
    return;
  }
  for (std::uint32_t i = 0; i < kTrailerLength - kTrailerSizeOffset; ++i) {
    FUZZ_CHECK(trailer[i] == stamp);
  }
  FUZZ_CHECK(image.bytes[s - kTrailerSizeOffset] == (s & 0xFF));
  FUZZ_CHECK(image.bytes[s - kTrailerSizeOffset + 1] == ((s >> 8) & 0xFF));
  FUZZ_CHECK(image.bytes[s - kTrailerSumOffset] == 0);
  FUZZ_CHECK(image.bytes[s - kTrailerSumOffset + 1] == 0);
  for (int i = 0; i < 3; ++i) FUZZ_CHECK(image.bytes[s - kTrailerVersionOffset + i] == version[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t imageSize = kSizes[data[0] % std::size(kSizes)];
  const std::uint8_t version[3] = {data[1], data[2], data[3]};
  const std::uint8_t stampBefore = imageStamp.load();

  // The text ends exactly where the fuzzer's buffer does, so reading past it is caught.
  const auto image = std::make_unique<FirmwareImage>(
      BuildFirmwareImage(data + 4, size - 4, imageSize, version));

  FUZZ_CHECK(image->size == imageSize);
  if (imageSize < kTrailerLength || imageSize > FirmwareImage::kCapacity) {
    CheckRefused(*image, stampBefore);
    return 0;
  }
  FUZZ_CHECK(imageStamp.load() == NextStamp(stampBefore));
  CheckTrailer(*image, stampBefore, version);
  return 0;
}
