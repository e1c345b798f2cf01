#include "engine/ImageChoice.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/TransferPlan.h"

namespace {

struct ChoiceCase {
  DeviceGroup group;
  std::uint8_t modelCode;
  std::uint16_t productId;
  FirmwareVersion firstVersion;
  const char* resourceName;  // null: no image
  std::uint32_t size;
  std::uint32_t start;
  std::uint8_t blockSize;
};

constexpr FirmwareVersion kOld = {3, 2, 1};
constexpr FirmwareVersion kNew = {4, 0, 200};

const ChoiceCase kChoiceCases[] = {
    // Group B.
    {DeviceGroup::B, 7, 0x0078, kOld, "#3035", 0x2000, 0, 32},
    {DeviceGroup::B, 3, 0x0078, kOld, "#3020", 0x10000, 0, 57},
    {DeviceGroup::B, 2, 0x0079, kNew, "#3010", 0x10000, 0, 57},
    {DeviceGroup::B, 1, 0x007A, kOld, "#3000", 0x8000, 0, 57},
    {DeviceGroup::B, 0, 0x0078, kNew, "#3000", 0x8000, 0, 57},
    {DeviceGroup::B, 9, 0x0078, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::B, 15, 0x0078, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::B, 5, 0x0078, kOld, nullptr, 0, 0, 0},
    // Group A, fixed layouts.
    {DeviceGroup::A, 15, 0x0076, kNew, "#3033", 0x2000, 0, 32},
    {DeviceGroup::A, 14, 0x0076, kNew, "#3032", 0x2000, 0, 32},
    {DeviceGroup::A, 13, 0x0076, kOld, "#3039", 0x2000, 0, 32},
    {DeviceGroup::A, 12, 0x0076, kOld, "#3038", 0x2000, 0, 32},
    {DeviceGroup::A, 11, 0x0074, kOld, "#3033", 0x2000, 0, 32},
    {DeviceGroup::A, 10, 0x00B2, kOld, "#3032", 0x2000, 0, 32},
    {DeviceGroup::A, 3, 0x0076, kNew, "#3031", 0x8000, 0, 57},
    {DeviceGroup::A, 2, 0x0076, kNew, "#3031", 0x8000, 0, 57},
    {DeviceGroup::A, 0, 0x0076, kOld, "#3011", 0x7000, 0x1000, 56},
    {DeviceGroup::A, 0, 0x0076, kNew, "#3011", 0x7000, 0x1000, 56},
    // Group A, by the layout rule.
    {DeviceGroup::A, 4, 0x0077, kOld, "#3040", 0x8000, 0, 57},
    {DeviceGroup::A, 4, 0x00B5, kNew, "#3043", 0x7000, 0x1000, 57},
    {DeviceGroup::A, 5, 0x0076, kOld, "#3037", 0x8000, 0, 57},
    {DeviceGroup::A, 5, 0x0076, kNew, "#3037", 0x7000, 0x1000, 57},
    {DeviceGroup::A, 6, 0x0074, kOld, "#3041", 0x8000, 0, 57},
    {DeviceGroup::A, 6, 0x0074, kNew, "#3041", 0x7000, 0x1000, 57},
    {DeviceGroup::A, 7, 0x0076, kOld, "#3042", 0x8000, 0, 57},
    {DeviceGroup::A, 7, 0x0076, kNew, "#3042", 0x7000, 0x1000, 57},
    // Layout rule boundaries.
    {DeviceGroup::A, 5, 0x0076, {4, 0, 197}, "#3037", 0x8000, 0, 57},
    {DeviceGroup::A, 5, 0x0076, {4, 0, 198}, "#3037", 0x7000, 0x1000, 57},
    {DeviceGroup::A, 5, 0x0076, {3, 9, 255}, "#3037", 0x8000, 0, 57},
    {DeviceGroup::A, 5, 0x0076, {4, 1, 0}, "#3037", 0x7000, 0x1000, 57},
    {DeviceGroup::A, 5, 0x0076, {0, 0, 0}, "#3037", 0x8000, 0, 57},
    // Group A without an image.
    {DeviceGroup::A, 4, 0x0076, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::A, 4, 0x0074, kNew, nullptr, 0, 0, 0},
    {DeviceGroup::A, 9, 0x0076, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::A, 1, 0x0076, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::A, 8, 0x0076, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::A, 16, 0x0076, kOld, nullptr, 0, 0, 0},
    {DeviceGroup::A, 255, 0x0076, kOld, nullptr, 0, 0, 0},
};

TEST(ChooseImage, FollowsTheTablesAndTheLayoutRule) {
  for (const ChoiceCase& c : kChoiceCases) {
    SCOPED_TRACE(testing::Message()
                 << (c.group == DeviceGroup::A ? "A" : "B") << " model " << int(c.modelCode)
                 << " pid " << std::hex << c.productId << std::dec << " first "
                 << int(c.firstVersion[0]) << "." << int(c.firstVersion[1]) << "."
                 << int(c.firstVersion[2]));
    const ImageChoice choice = ChooseImage(c.group, c.modelCode, c.productId, c.firstVersion);
    if (c.resourceName == nullptr) {
      EXPECT_EQ(choice.resourceName, nullptr);
      continue;
    }
    ASSERT_NE(choice.resourceName, nullptr);
    EXPECT_EQ(std::string(choice.resourceName), c.resourceName);
    EXPECT_EQ(choice.size, c.size);
    EXPECT_EQ(choice.start, c.start);
    EXPECT_EQ(choice.blockSize, c.blockSize);
  }
}

TEST(PlanTransfer, CutsTheImageIntoBlocks) {
  // 0x1FFF bytes in 32-byte blocks: 255 full blocks and one of 31.
  const ImageChoice small{"#3032", 0x2000, 0, 32};
  const TransferPlan smallPlan = PlanTransfer(small);
  EXPECT_EQ(smallPlan.length, 8191u);
  EXPECT_EQ(smallPlan.blockCount, 256u);
  EXPECT_EQ(smallPlan.remainder, 31u);
  EXPECT_EQ(BlockDataLength(small, smallPlan, 254), 32u);
  EXPECT_EQ(BlockDataLength(small, smallPlan, 255), 31u);

  const ImageChoice loader{"#3037", 0x7000, 0x1000, 57};
  const TransferPlan loaderPlan = PlanTransfer(loader);
  EXPECT_EQ(loaderPlan.length, 24575u);
  EXPECT_EQ(loaderPlan.blockCount, 432u);
  EXPECT_EQ(loaderPlan.remainder, 8u);

  const ImageChoice whole{"#3037", 0x8000, 0, 57};
  EXPECT_EQ(PlanTransfer(whole).blockCount, 575u);

  // 0xFFFF = 65535 = 1149 * 57 + 42; with 0x10000 the length still fits the 16-bit field.
  const ImageChoice full{"#3020", 0x10000, 0, 57};
  const TransferPlan fullPlan = PlanTransfer(full);
  EXPECT_EQ(fullPlan.length, 0xFFFFu);
  EXPECT_EQ(fullPlan.blockCount, 1150u);

  // A length that is a multiple of the block size ends on a full block.
  const ImageChoice even{"#test", 0x1000 + 1 + 7 * 56, 0x1000, 56};
  const TransferPlan evenPlan = PlanTransfer(even);
  EXPECT_EQ(evenPlan.remainder, 0u);
  EXPECT_EQ(evenPlan.blockCount, 7u);
  EXPECT_EQ(BlockDataLength(even, evenPlan, 6), 56u);
}

TEST(TransferPayloads, HeaderAndBlockLayout) {
  const ImageChoice choice{"#3037", 0x7000, 0x1000, 57};
  const TransferPlan plan = PlanTransfer(choice);
  const CommandPayload header = BuildTransferHeader(choice, plan);
  const CommandPayload expectedHeader = {1, 0xFF, 0x5F, 0xB0, 0x01, 0, 0, 57, 0, 0};
  EXPECT_EQ(header, expectedHeader);

  std::array<std::uint8_t, 0x10000> image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  const CommandPayload block = BuildBlockPayload(choice, plan, 300, image.data());
  EXPECT_EQ(block[0], 0x2C);
  EXPECT_EQ(block[1], 0x01);
  for (std::size_t i = 0; i < 57; ++i) {
    EXPECT_EQ(block[2 + i], image[0x1000 + 300 * 57 + i]) << i;
  }

  // The last block carries R bytes; the rest of the payload stays zero.
  const CommandPayload last = BuildBlockPayload(choice, plan, plan.blockCount - 1, image.data());
  const std::uint32_t lastOffset = 0x1000 + (plan.blockCount - 1) * 57;
  for (std::size_t i = 0; i < frame::kPayloadSize - 2; ++i) {
    const std::uint8_t expected = i < plan.remainder ? image[lastOffset + i] : 0;
    EXPECT_EQ(last[2 + i], expected) << i;
  }
  EXPECT_EQ(lastOffset + plan.remainder, 0x7000u - 1);
}

}  // namespace
