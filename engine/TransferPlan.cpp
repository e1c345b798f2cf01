#include "engine/TransferPlan.h"

#include <algorithm>

namespace {

constexpr std::size_t kHeaderMarker = 0;
constexpr std::size_t kHeaderLength = 1;
constexpr std::size_t kHeaderBlockCount = 3;
constexpr std::size_t kHeaderBlockSize = 7;
constexpr std::size_t kBlockIndex = 0;
constexpr std::size_t kBlockData = 2;

}  // namespace

TransferPlan PlanTransfer(const ImageChoice& choice) {
  TransferPlan plan;
  plan.length = choice.size - choice.start - 1;
  plan.remainder = plan.length % choice.blockSize;
  plan.blockCount = plan.length / choice.blockSize + (plan.remainder != 0 ? 1 : 0);
  return plan;
}

std::uint32_t BlockDataLength(const ImageChoice& choice, const TransferPlan& plan,
                              std::uint32_t index) {
  const bool last = index + 1 == plan.blockCount;
  return last && plan.remainder != 0 ? plan.remainder : choice.blockSize;
}

CommandPayload BuildTransferHeader(const ImageChoice& choice, const TransferPlan& plan) {
  CommandPayload payload{};
  payload[kHeaderMarker] = 1;
  payload[kHeaderLength] = static_cast<std::uint8_t>(plan.length);
  payload[kHeaderLength + 1] = static_cast<std::uint8_t>(plan.length >> 8);
  for (int i = 0; i < 4; ++i) {
    payload[kHeaderBlockCount + i] = static_cast<std::uint8_t>(plan.blockCount >> (8 * i));
  }
  payload[kHeaderBlockSize] = choice.blockSize;
  // Bytes 8-9, the checksum field, stay 0: the loaders do not check one.
  return payload;
}

CommandPayload BuildBlockPayload(const ImageChoice& choice, const TransferPlan& plan,
                                 std::uint32_t index, const std::uint8_t* image) {
  CommandPayload payload{};
  payload[kBlockIndex] = static_cast<std::uint8_t>(index);
  payload[kBlockIndex + 1] = static_cast<std::uint8_t>(index >> 8);
  const std::uint32_t offset = choice.start + index * choice.blockSize;
  const std::uint32_t count = BlockDataLength(choice, plan, index);
  std::copy_n(image + offset, count, payload.begin() + kBlockData);
  return payload;
}
