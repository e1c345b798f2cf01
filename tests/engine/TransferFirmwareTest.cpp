#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "engine/ImageChoice.h"
#include "engine/TransferPlan.h"
#include "image/FirmwareImage.h"
#include "platform/Resources.h"
#include "tests/engine/EngineRig.h"

namespace {

using platform::SimulatedGroup;
using platform::SimulatedVersion;

constexpr std::uint8_t kUnlock = 19;
constexpr std::uint8_t kQuery = 17;
constexpr std::uint8_t kHeader = 8;
constexpr std::uint8_t kBlock = 9;

struct TransferCase {
  SimulatedGroup group;
  std::uint16_t productId;
  std::uint8_t modelCode;
  SimulatedVersion firmware;  // also the first version, which picks the layout
  const char* resourceName;   // null: nothing may be sent
  std::uint32_t size;
  std::uint32_t start;
  std::uint8_t blockSize;
};

std::string Describe(const TransferCase& c) {
  return std::string(c.group == SimulatedGroup::A ? "A" : "B") + " pid " +
         std::to_string(c.productId) + " model " + std::to_string(c.modelCode) + " firmware " +
         std::to_string(c.firmware.major) + "." + std::to_string(c.firmware.minor) + "." +
         std::to_string(c.firmware.patch);
}

// Every image that is carried, and the layout rule at its boundaries; the cases without an
// image cover models the tables do not name and images the package does not carry.
const TransferCase kTransferCases[] = {
    {SimulatedGroup::B, 0x0078, 7, {5, 0, 0}, "#3035", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x0076, 15, {5, 0, 0}, "#3033", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x0076, 14, {5, 0, 0}, "#3032", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x0074, 13, {5, 0, 0}, "#3039", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x0075, 12, {5, 0, 0}, "#3038", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x00B2, 11, {5, 0, 0}, "#3033", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x00B3, 10, {5, 0, 0}, "#3032", 0x2000, 0, 32},
    {SimulatedGroup::A, 0x0077, 4, {4, 0, 197}, "#3040", 0x8000, 0, 57},
    {SimulatedGroup::A, 0x00B5, 4, {4, 0, 198}, "#3043", 0x7000, 0x1000, 57},
    {SimulatedGroup::A, 0x0076, 5, {3, 9, 255}, "#3037", 0x8000, 0, 57},
    {SimulatedGroup::A, 0x0076, 5, {4, 1, 0}, "#3037", 0x7000, 0x1000, 57},
    {SimulatedGroup::A, 0x0076, 6, {4, 0, 198}, "#3041", 0x7000, 0x1000, 57},
    {SimulatedGroup::A, 0x00B4, 7, {4, 0, 197}, "#3042", 0x8000, 0, 57},
    // No image.
    {SimulatedGroup::A, 0x0076, 4, {5, 0, 0}, nullptr, 0, 0, 0},
    {SimulatedGroup::A, 0x0076, 9, {5, 0, 0}, nullptr, 0, 0, 0},
    {SimulatedGroup::B, 0x0078, 9, {5, 0, 0}, nullptr, 0, 0, 0},
    {SimulatedGroup::A, 0x0076, 0, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3011" is not carried
    {SimulatedGroup::A, 0x0076, 2, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3031" is not carried
    {SimulatedGroup::B, 0x0079, 3, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3020"
    {SimulatedGroup::B, 0x007A, 2, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3010"
    {SimulatedGroup::B, 0x0078, 0, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3000"
    {SimulatedGroup::B, 0x0078, 1, {5, 0, 0}, nullptr, 0, 0, 0},  // "#3000"
};

// The image the device should end up with: built from the resource as the transfer builds
// it, with the stamp the transfer's own build wrote.
FirmwareImage ExpectedImage(const TransferCase& c, std::uint8_t stamp) {
  const auto text = platform::FindResource("HEX", c.resourceName);
  EXPECT_TRUE(text.has_value());
  const std::uint8_t version[3] = {6, 0, 0};
  FirmwareImage image = BuildFirmwareImage(text->data(), text->size(), c.size, version);
  EXPECT_TRUE(image.valid);
  std::fill_n(image.bytes.begin() + (c.size - kTrailerLength), kTrailerLength - kTrailerSizeOffset,
              stamp);
  return image;
}

TEST(TransferFirmware, SendsExactlyTheChosenImageOrNothing) {
  for (const TransferCase& c : kTransferCases) {
    SCOPED_TRACE(Describe(c));
    EngineRig rig;
    const auto device = rig.Plug(c.group, c.productId, c.firmware, c.modelCode);
    rig.engine.DetectAndCheck(false, true, 0);
    DeviceLink* link = c.group == SimulatedGroup::A ? &rig.engine.linkA : &rig.engine.linkB;
    ASSERT_TRUE(link->isOpen);
    const std::size_t requestsBefore = device->Requests().size();

    RecordingProgress progress;
    const std::uint8_t stamp = imageStamp.load();
    const bool sent = rig.engine.TransferFirmware(link, &progress, u"");

    if (c.resourceName == nullptr) {
      EXPECT_FALSE(sent);
      EXPECT_EQ(device->Requests().size(), requestsBefore);
      EXPECT_EQ(progress.steps, 0);
      continue;
    }
    ASSERT_TRUE(sent);
    const TransferPlan plan = PlanTransfer({c.resourceName, c.size, c.start, c.blockSize});
    const auto header = device->Header();
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->length, c.size - c.start - 1);
    EXPECT_EQ(header->blockCount, plan.blockCount);
    EXPECT_EQ(header->blockSize, c.blockSize);

    const FirmwareImage expected = ExpectedImage(c, stamp);
    const std::vector<std::uint8_t> want(expected.bytes.begin() + c.start,
                                         expected.bytes.begin() + (c.size - 1));
    EXPECT_TRUE(device->ReceivedImage() == want) << "image bytes differ";

    const auto blocks = RequestsWithCode(*device, kBlock);
    ASSERT_EQ(blocks.size(), plan.blockCount);
    const auto& last = blocks.back().payload;
    const std::uint32_t carried = plan.remainder != 0 ? plan.remainder : c.blockSize;
    EXPECT_TRUE(std::all_of(last.begin() + 2 + carried, last.end(), [](auto b) { return b == 0; }))
        << "the last block carries more than its " << carried << " bytes";

    ASSERT_EQ(progress.ranges.size(), 1u);
    EXPECT_EQ(progress.ranges[0].low, 0);
    EXPECT_EQ(progress.ranges[0].high, plan.blockCount);
    EXPECT_EQ(progress.steps, static_cast<int>(plan.blockCount));
    EXPECT_EQ(progressTarget.load(), &progress);
  }
}

// Model 5 on a keyboard with firmware below 4.0.198: 575 blocks of 57 bytes.
struct WholeImageTransfer : testing::Test {
  void SetUp() override {
    device = rig.Plug(SimulatedGroup::A, 0x0076, {4, 0, 100}, 5);
    rig.engine.DetectAndCheck(false, true, 0);
    ASSERT_TRUE(rig.engine.linkA.isOpen);
  }

  EngineRig rig;
  std::shared_ptr<platform::SimulatedDevice> device;
  RecordingProgress progress;
};

TEST_F(WholeImageTransfer, PausesTwoSecondsAfterTheHeaderAndNumbersTheBlocks) {
  platform::Millis rangeSet = -1;
  platform::Millis firstStep = -1;
  progress.onRange = [&] { rangeSet = rig.clock.Now(); };
  progress.onStep = [&](int steps) {
    if (steps == 1) firstStep = rig.clock.Now();
  };
  ASSERT_TRUE(rig.engine.TransferFirmware(&rig.engine.linkA, &progress, u""));
  // Between the range and the first step: the header, the pause and block 0.
  EXPECT_GE(firstStep - rangeSet, 7 + 2000 + 7);
  EXPECT_LT(firstStep - rangeSet, 7 + 2000 + 7 + 100);

  const auto requests = device->Requests();
  const auto header = std::find_if(requests.begin(), requests.end(),
                                   [](const auto& r) { return r.code == kHeader; });
  ASSERT_NE(header, requests.end());
  EXPECT_EQ(header->payload[0], 1);
  EXPECT_EQ(header->payload[1] | header->payload[2] << 8, 0x7FFF);
  EXPECT_EQ(header->payload[3] | header->payload[4] << 8, 575);
  EXPECT_EQ(header->payload[7], 57);
  EXPECT_EQ(header->payload[8], 0);
  EXPECT_EQ(header->payload[9], 0);

  const auto blocks = RequestsWithCode(*device, kBlock);
  ASSERT_EQ(blocks.size(), 575u);
  EXPECT_EQ(blocks[300].payload[0], 0x2C);
  EXPECT_EQ(blocks[300].payload[1], 0x01);
  for (std::size_t k = 0; k < blocks.size(); ++k) {
    ASSERT_EQ(blocks[k].payload[0] | blocks[k].payload[1] << 8, static_cast<int>(k));
  }
  // The sequence counter runs on from the query: header 2, blocks 3, 4, ...
  EXPECT_EQ(header->sequence, 2);
  EXPECT_EQ(blocks[0].sequence, 3);
  EXPECT_EQ(blocks[252].sequence, 0);  // 255 values, never 255 itself
}

TEST_F(WholeImageTransfer, HeaderNotAcknowledgedSendsNoBlock) {
  platform::SimulatedFaults faults;
  faults.badAcknowledgements = platform::kForever;
  faults.badAcknowledgementKind = platform::SimulatedBadAck::NonZeroStatus;
  faults.badAcknowledgementCommand = kHeader;
  device->SetFaults(faults);

  EXPECT_FALSE(rig.engine.TransferFirmware(&rig.engine.linkA, &progress, u""));
  EXPECT_EQ(RequestsWithCode(*device, kHeader).size(), 100u);
  EXPECT_TRUE(RequestsWithCode(*device, kBlock).empty());
  EXPECT_EQ(progress.steps, 0);
}

TEST_F(WholeImageTransfer, StopsAtTheFirstBlockNotAcknowledged) {
  constexpr int kFailing = 123;
  progress.onStep = [&](int steps) {
    if (steps != kFailing) return;
    platform::SimulatedFaults faults;
    faults.badAcknowledgements = platform::kForever;
    faults.badAcknowledgementKind = platform::SimulatedBadAck::WrongSequence;
    faults.badAcknowledgementCommand = kBlock;
    device->SetFaults(faults);
  };
  EXPECT_FALSE(rig.engine.TransferFirmware(&rig.engine.linkA, &progress, u""));
  EXPECT_EQ(progress.steps, kFailing);
  const auto blocks = RequestsWithCode(*device, kBlock);
  ASSERT_FALSE(blocks.empty());
  for (const auto& block : blocks) {
    EXPECT_LE(block.payload[0] | block.payload[1] << 8, kFailing);
  }
  EXPECT_EQ(blocks.back().payload[0] | blocks.back().payload[1] << 8, kFailing);
  EXPECT_EQ(device->BlocksReceived(), static_cast<std::uint32_t>(kFailing + 1));
}

TEST_F(WholeImageTransfer, FailedWritesOfABlockEndTheTransfer) {
  platform::SimulatedFaults faults;
  faults.writeFailure.error = EIO;
  faults.writeFailure.fromCommand = kBlock;
  faults.writeFailure.fromBlock = 40;
  device->SetFaults(faults);
  EXPECT_FALSE(rig.engine.TransferFirmware(&rig.engine.linkA, &progress, u""));
  EXPECT_EQ(progress.steps, 40);
  EXPECT_EQ(rig.engine.linkA.sendError, kSendRequestFailed);
}

TEST_F(WholeImageTransfer, NeedsATargetForItsProgress) {
  EXPECT_FALSE(rig.engine.TransferFirmware(&rig.engine.linkA, nullptr, u""));
  EXPECT_TRUE(RequestsWithCode(*device, kHeader).empty());
}

TEST_F(WholeImageTransfer, OnlyTheEngineLinksGetAnImage) {
  DeviceLink stranger;
  EXPECT_FALSE(rig.engine.TransferFirmware(&stranger, &progress, u""));
  EXPECT_FALSE(rig.engine.TransferFirmware(nullptr, &progress, u""));
  EXPECT_TRUE(RequestsWithCode(*device, kHeader).empty());
}

TEST(TransferFirmware, TellsTheTrayProgramOnlyBeforeAKeyboardTransfer) {
  for (const SimulatedGroup group : {SimulatedGroup::A, SimulatedGroup::B}) {
    EngineRig rig;
    rig.Plug(group, group == SimulatedGroup::A ? 0x0076 : 0x0078, {5, 0, 0}, 9);
    rig.engine.DetectAndCheck(false, true, 0);
    RecordingProgress progress;
    DeviceLink* link = group == SimulatedGroup::A ? &rig.engine.linkA : &rig.engine.linkB;
    rig.engine.TransferFirmware(link, &progress, u"");
    const auto events = rig.host.Events();
    const bool told = std::count(events.begin(), events.end(), "tray:1038") == 1;
    EXPECT_EQ(told, group == SimulatedGroup::A);
  }
}

TEST(NotifyTrayWindow, ReturnsTheAnswerOfTheTrayWindow) {
  EngineRig rig;
  rig.host.trayAnswer = 77;
  EXPECT_EQ(rig.engine.NotifyTrayWindow(14), 77);
  rig.host.trayAnswer = 0;
  EXPECT_EQ(rig.engine.NotifyTrayWindow(3), 0);
  EXPECT_EQ(rig.host.Events(), (std::vector<std::string>{"tray:1038", "tray:1027"}));
}

}  // namespace
