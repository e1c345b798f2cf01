#include "engine/ImageChoice.h"

#include <span>

namespace {

constexpr std::uint16_t kAnyProduct = 0;

// A row whose size is kByLayout takes size and start from the device's first version.
constexpr std::uint32_t kByLayout = 0;

struct ImageRow {
  std::uint8_t modelCode;
  std::uint16_t productId;  // kAnyProduct, or the only product id the row applies to
  const char* resourceName;
  std::uint32_t size;
  std::uint32_t start;
  std::uint8_t blockSize;
};

constexpr ImageRow kGroupBImages[] = {
    {7, kAnyProduct, "#3035", 0x2000, 0, 32},
    {3, kAnyProduct, "#3020", 0x10000, 0, 57},
    {2, kAnyProduct, "#3010", 0x10000, 0, 57},
    {0, kAnyProduct, "#3000", 0x8000, 0, 57},
    {1, kAnyProduct, "#3000", 0x8000, 0, 57},
};

constexpr ImageRow kGroupAImages[] = {
    {15, kAnyProduct, "#3033", 0x2000, 0, 32},
    {14, kAnyProduct, "#3032", 0x2000, 0, 32},
    {13, kAnyProduct, "#3039", 0x2000, 0, 32},
    {12, kAnyProduct, "#3038", 0x2000, 0, 32},
    {11, kAnyProduct, "#3033", 0x2000, 0, 32},
    {10, kAnyProduct, "#3032", 0x2000, 0, 32},
    {4, 0x0077, "#3040", kByLayout, 0, 57},
    {4, 0x00B5, "#3043", kByLayout, 0, 57},
    {5, kAnyProduct, "#3037", kByLayout, 0, 57},
    {6, kAnyProduct, "#3041", kByLayout, 0, 57},
    {7, kAnyProduct, "#3042", kByLayout, 0, 57},
    {3, kAnyProduct, "#3031", 0x8000, 0, 57},
    {2, kAnyProduct, "#3031", 0x8000, 0, 57},
    {0, kAnyProduct, "#3011", 0x7000, 0x1000, 56},
};

// Firmware from 4.0.198 on boots through a separate loader in the first 4 KiB, so only the
// application part above it is sent; older firmware takes the whole 32 KiB image.
constexpr FirmwareVersion kFirstVersionWithLoader = {4, 0, 198};

void ApplyLayoutRule(FirmwareVersion firstVersion, ImageChoice& choice) {
  if (firstVersion < kFirstVersionWithLoader) {
    choice.size = 0x8000;
    choice.start = 0;
  } else {
    choice.size = 0x7000;
    choice.start = 0x1000;
  }
}

}  // namespace

ImageChoice ChooseImage(DeviceGroup group, std::uint8_t modelCode, std::uint16_t productId,
                        FirmwareVersion firstVersion) {
  const std::span<const ImageRow> rows =
      group == DeviceGroup::A ? std::span<const ImageRow>(kGroupAImages)
                              : std::span<const ImageRow>(kGroupBImages);
  for (const ImageRow& row : rows) {
    if (row.modelCode != modelCode) continue;
    if (row.productId != kAnyProduct && row.productId != productId) continue;
    ImageChoice choice;
    choice.resourceName = row.resourceName;
    choice.blockSize = row.blockSize;
    if (row.size == kByLayout) {
      ApplyLayoutRule(firstVersion, choice);
    } else {
      choice.size = row.size;
      choice.start = row.start;
    }
    return choice;
  }
  return ImageChoice{};
}
