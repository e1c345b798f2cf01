#pragma once

#include <cstdint>

#include "engine/FirmwareVersion.h"
#include "hid/DeviceGroups.h"

// The firmware resource chosen for a device and how much of its image is sent.
struct ImageChoice {
  const char* resourceName = nullptr;  // "#3032" (type "HEX"); null: no image for this device
  std::uint32_t size = 0x8000;         // image size S
  std::uint32_t start = 0;             // first image byte that is sent
  std::uint8_t blockSize = 57;         // data bytes per block command
};

// Picks the image from the model code the device reported and, for some models, its product id
// and the firmware version it first reported (which decides the image layout).
ImageChoice ChooseImage(DeviceGroup group, std::uint8_t modelCode, std::uint16_t productId,
                        FirmwareVersion firstVersion);
