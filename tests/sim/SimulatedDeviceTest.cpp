#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "hid/SendCommand.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedDevice.h"

using platform::SimulatedDevice;
using platform::SimulatedDeviceConfig;
using platform::SimulatedFaults;
using platform::SimulatedGroup;

namespace {

const char* kAccessCodeA = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";
const char* kAccessCodeB = "HB3NZ8QTWK5RXD2VJM7LCF9PYA4GS6EU";

class DirectHandle final : public platform::HidDevice {
 public:
  explicit DirectHandle(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}
  int SetFeature(const platform::FeatureReport& r) override { return device_->SetFeature(r); }
  int GetFeature(platform::FeatureReport& r) override { return device_->GetFeature(r); }

 private:
  std::shared_ptr<SimulatedDevice> device_;
};

std::uint16_t StatusOf(const DeviceLink& link) {
  return static_cast<std::uint16_t>(link.reply[4] | (link.reply[5] << 8));
}

class SimulatedDeviceTest : public ::testing::Test {
 protected:
  void Make(SimulatedGroup group) {
    SimulatedDeviceConfig config;
    config.group = group;
    config.productId = group == SimulatedGroup::A ? 0x0076 : 0x0078;
    device = std::make_shared<SimulatedDevice>(config);
    link.clock = &clock;
    link.hid.device = std::make_unique<DirectHandle>(device);
    link.isOpen = true;
  }
  void SetUp() override {
    ResetReplyCheckForTesting();
    Make(SimulatedGroup::A);
  }

  int Unlock(const char* code) {
    std::uint8_t payload[33] = {};
    std::memcpy(payload, code, 32);
    return SendCommand(&link, CmdUnlock, payload, sizeof payload);
  }
  int Header(std::uint16_t length, std::uint32_t blocks, std::uint8_t blockSize) {
    std::uint8_t p[59] = {1,
                          static_cast<std::uint8_t>(length),
                          static_cast<std::uint8_t>(length >> 8),
                          static_cast<std::uint8_t>(blocks),
                          static_cast<std::uint8_t>(blocks >> 8),
                          static_cast<std::uint8_t>(blocks >> 16),
                          static_cast<std::uint8_t>(blocks >> 24),
                          blockSize};
    return SendCommand(&link, CmdStartTransfer, p, sizeof p);
  }
  int Block(std::uint16_t index, const std::uint8_t* data, std::size_t size) {
    std::uint8_t p[59] = {static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(index >> 8)};
    std::memcpy(p + 2, data, size);
    return SendCommand(&link, CmdWriteBlock, p, sizeof p);
  }

  platform::VirtualClock clock;
  std::shared_ptr<SimulatedDevice> device;
  DeviceLink link;
};

std::vector<std::uint8_t> TestImage(std::size_t size) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return image;
}

}  // namespace

TEST_F(SimulatedDeviceTest, UnlockNeedsItsGroupsCodeAndTheTerminatingZero) {
  EXPECT_EQ(Unlock(kAccessCodeB), 1);
  EXPECT_EQ(link.replyError, kReplyBadStatus);
  EXPECT_EQ(StatusOf(link), platform::kStatusWrongAccessCode);
  EXPECT_FALSE(device->Unlocked());

  std::uint8_t unterminated[33] = {};
  std::memcpy(unterminated, kAccessCodeA, 32);
  unterminated[32] = 'X';
  EXPECT_EQ(SendCommand(&link, CmdUnlock, unterminated, 33), 1);
  EXPECT_FALSE(device->Unlocked());

  EXPECT_EQ(Unlock(kAccessCodeA), 0);
  EXPECT_TRUE(device->Unlocked());
}

TEST_F(SimulatedDeviceTest, GroupBDeviceTakesTheSecondCode) {
  Make(SimulatedGroup::B);
  EXPECT_EQ(Unlock(kAccessCodeA), 1);
  EXPECT_EQ(Unlock(kAccessCodeB), 0);
}

TEST_F(SimulatedDeviceTest, EverythingButUnlockIsRefusedWhileLocked) {
  const std::uint8_t zeros[59] = {};
  EXPECT_EQ(SendCommand(&link, CmdQueryInfo, zeros, 59), 1);
  EXPECT_EQ(StatusOf(link), platform::kStatusLocked);
  EXPECT_EQ(Header(32, 1, 32), 1);
  EXPECT_EQ(StatusOf(link), platform::kStatusLocked);
  EXPECT_FALSE(device->Header());
}

TEST_F(SimulatedDeviceTest, QueryAnswersVersionAndModelCode) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  const std::uint8_t zeros[59] = {};
  ASSERT_EQ(SendCommand(&link, CmdQueryInfo, zeros, 59), 0);
  EXPECT_EQ(link.reply[4], 5);
  EXPECT_EQ(link.reply[5], 0);
  EXPECT_EQ(link.reply[6], 0);
  EXPECT_EQ(link.reply[7], 5);
  EXPECT_EQ(CheckWordFor(link.reply), link.reply[63] | (link.reply[64] << 8));
}

TEST_F(SimulatedDeviceTest, RecordsHeaderAndBlocksInOrder) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  const std::vector<std::uint8_t> image = TestImage(100);  // 57 + 43
  ASSERT_EQ(Header(100, 2, 57), 0);
  ASSERT_EQ(Block(0, image.data(), 57), 0);
  ASSERT_EQ(Block(1, image.data() + 57, 43), 0);
  ASSERT_TRUE(device->Header());
  EXPECT_EQ(device->Header()->length, 100);
  EXPECT_EQ(device->Header()->blockCount, 2u);
  EXPECT_EQ(device->Header()->blockSize, 57);
  EXPECT_EQ(device->BlocksReceived(), 2u);
  EXPECT_EQ(device->ReceivedImage(), image);
  EXPECT_EQ(device->Reprogrammings(), 1);
  EXPECT_FALSE(device->Present());
}

TEST_F(SimulatedDeviceTest, RefusesBadHeadersAndBlocksOutOfOrder) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  EXPECT_EQ(Header(100, 3, 57), 1);  // 100 bytes in 57-byte blocks are 2 blocks
  EXPECT_EQ(StatusOf(link), platform::kStatusBadHeader);
  EXPECT_EQ(Header(100, 2, 58), 1);  // does not fit a block command
  const std::vector<std::uint8_t> image = TestImage(96);
  EXPECT_EQ(Block(0, image.data(), 32), 1);
  EXPECT_EQ(StatusOf(link), platform::kStatusNoTransfer);
  ASSERT_EQ(Header(96, 3, 32), 0);
  EXPECT_EQ(Block(1, image.data() + 32, 32), 1);
  EXPECT_EQ(StatusOf(link), platform::kStatusBlockOutOfOrder);
  EXPECT_EQ(device->BlocksReceived(), 0u);
}

TEST_F(SimulatedDeviceTest, BlockSentAgainAfterALostAcknowledgementIsStoredOnce) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  const std::vector<std::uint8_t> image = TestImage(96);
  ASSERT_EQ(Header(96, 3, 32), 0);
  SimulatedFaults faults;
  faults.badAcknowledgements = 20;  // one whole attempt of reads
  faults.badAcknowledgementCommand = CmdWriteBlock;
  device->SetFaults(faults);
  ASSERT_EQ(Block(0, image.data(), 32), 0);
  ASSERT_EQ(Block(1, image.data() + 32, 32), 0);
  ASSERT_EQ(Block(2, image.data() + 64, 32), 0);
  int blockWrites = 0;
  for (const auto& r : device->Requests()) blockWrites += r.code == CmdWriteBlock;
  EXPECT_EQ(blockWrites, 4);
  EXPECT_EQ(device->ReceivedImage(), image);
}

TEST_F(SimulatedDeviceTest, RequestsCarryTheirCheckWordVerdict) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  platform::FeatureReport frame{};
  frame[2] = CmdQueryInfo;
  frame[3] = 1;
  frame[62] = 0x12;  // wants 0x4800, carries 0
  ASSERT_EQ(device->SetFeature(frame), 0);
  EXPECT_FALSE(device->Requests().back().checkWordValid);
  platform::FeatureReport reply{};
  ASSERT_EQ(device->GetFeature(reply), 0);
  EXPECT_EQ(reply[4] | (reply[5] << 8), platform::kStatusBadCheckWord);
}

TEST_F(SimulatedDeviceTest, StalledAcknowledgementsReadAsEmptyFrames) {
  SimulatedFaults faults;
  faults.stallAcknowledgements = true;
  device->SetFaults(faults);
  EXPECT_EQ(Unlock(kAccessCodeA), 1);
  EXPECT_EQ(link.replyError, kReplyWrongCode);
  EXPECT_EQ(link.reply, Frame{});
}

TEST_F(SimulatedDeviceTest, ReadsFailFromAGivenBlockOn) {
  ASSERT_EQ(Unlock(kAccessCodeA), 0);
  SimulatedFaults faults;
  faults.readFailure = {EIO, platform::kForever, CmdWriteBlock, 2};
  device->SetFaults(faults);
  const std::vector<std::uint8_t> image = TestImage(128);
  ASSERT_EQ(Header(128, 4, 32), 0);
  ASSERT_EQ(Block(0, image.data(), 32), 0);
  ASSERT_EQ(Block(1, image.data() + 32, 32), 0);
  EXPECT_EQ(Block(2, image.data() + 64, 32), EIO);
  EXPECT_EQ(link.replyError, kReplyAcknowledgementReadFailed);
}

TEST_F(SimulatedDeviceTest, WritesFailAGivenNumberOfTimes) {
  SimulatedFaults faults;
  faults.writeFailure = {EPIPE, 3, platform::kAnyCommand, -1};
  device->SetFaults(faults);
  EXPECT_EQ(Unlock(kAccessCodeA), 0);
  EXPECT_EQ(device->WriteCalls(), 4);
  EXPECT_EQ(device->Requests().size(), 1u);
}
