#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/ImageChoice.h"
#include "hid/ReportFrame.h"

// Every command payload is 59 bytes: frame bytes 4 to 62.
using CommandPayload = std::array<std::uint8_t, frame::kPayloadSize>;

// How an image is cut into block commands.
//
// The last image byte (the patch number of the trailer) is never sent: the transfer covers
// start .. size-2, which is what the devices' loaders expect.
struct TransferPlan {
  std::uint32_t length = 0;      // L = size - start - 1
  std::uint32_t blockCount = 0;  // N: whole blocks, plus one for a remainder
  std::uint32_t remainder = 0;   // R = L mod B; the last block carries R bytes when R is not 0
};

TransferPlan PlanTransfer(const ImageChoice& choice);

// Bytes carried by block `index` (B, or R for the last block when R is not 0).
std::uint32_t BlockDataLength(const ImageChoice& choice, const TransferPlan& plan,
                              std::uint32_t index);

// Transfer header, payload of command 8:
//   0: 1 | 1-2: L (little-endian) | 3-6: N (little-endian) | 7: B | 8-9: checksum field, 0
CommandPayload BuildTransferHeader(const ImageChoice& choice, const TransferPlan& plan);

// Block, payload of command 9: 0-1: block index (little-endian) | 2..: the block's image bytes.
// `image` is the whole 64 KiB image; the block's bytes start at start + index * B.
CommandPayload BuildBlockPayload(const ImageChoice& choice, const TransferPlan& plan,
                                 std::uint32_t index, const std::uint8_t* image);
