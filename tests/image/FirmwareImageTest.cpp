#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"

namespace {

constexpr std::uint8_t kVersion[3] = {6, 0, 0};

FirmwareImage Build(const std::string& text, std::uint32_t size = 0x2000) {
  return BuildFirmwareImage(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), size,
                            kVersion);
}

// Every byte below the trailer that is not in `expected` is 0xFF.
void ExpectBytes(const FirmwareImage& image, const std::vector<std::pair<int, int>>& expected) {
  std::array<int, FirmwareImage::kCapacity> want;
  want.fill(0xFF);
  for (const auto& [address, value] : expected) want[address] = value;
  for (std::uint32_t a = 0; a < FirmwareImage::kCapacity; ++a) {
    if (a >= image.size - kTrailerLength && a < image.size) continue;
    ASSERT_EQ(image.bytes[a], want[a]) << "at address " << a;
  }
}

class FirmwareImageTest : public ::testing::Test {
 protected:
  void SetUp() override { imageStamp = kFirstImageStamp; }
  void TearDown() override { platform::SetDebugOutputEnabled(false); }
};

TEST_F(FirmwareImageTest, TwoLineTextGivesDataAndTrailer) {
  const FirmwareImage image = Build(":0300000002000FEC\r\n:00000001FF\r\n");
  ASSERT_TRUE(image.valid);
  EXPECT_EQ(image.size, 0x2000u);
  ExpectBytes(image, {{0, 0x02}, {1, 0x00}, {2, 0x0F}});
  const std::vector<std::uint8_t> trailer(image.bytes.begin() + 0x1FF0,
                                          image.bytes.begin() + 0x2000);
  EXPECT_EQ(trailer, (std::vector<std::uint8_t>{0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0,
                                                0xA0, 0x00, 0x20, 0x00, 0x00, 6, 0, 0}));
}

TEST_F(FirmwareImageTest, FullSizeImageHasSizeFieldZero) {
  const FirmwareImage image = Build(":0300000002000FEC\r\n:00000001FF\r\n", 0x10000);
  ASSERT_TRUE(image.valid);
  const std::vector<std::uint8_t> trailer(image.bytes.begin() + 0xFFF0, image.bytes.end());
  EXPECT_EQ(trailer, (std::vector<std::uint8_t>{0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0, 0xA0,
                                                0xA0, 0x00, 0x00, 0x00, 0x00, 6, 0, 0}));
  EXPECT_EQ(image.bytes[0x1FF0], 0xFF);
}

TEST_F(FirmwareImageTest, TrailerOfOtherSizesSitsAtTheirEnd) {
  for (const std::uint32_t size : {0x7000u, 0x8000u}) {
    const FirmwareImage image = Build(":00000001FF\r\n", size);
    ASSERT_TRUE(image.valid);
    EXPECT_EQ(image.bytes[size - 16], image.bytes[size - 8]);
    EXPECT_EQ(image.bytes[size - 7], 0x00);
    EXPECT_EQ(image.bytes[size - 6], size >> 8);
    EXPECT_EQ(image.bytes[size - 1], 0);
    EXPECT_EQ(image.bytes[size - 17], 0xFF);
    EXPECT_EQ(image.bytes[size], 0xFF);
  }
}

struct RejectedText {
  const char* why;
  std::string text;
};

class RejectedTextTest : public ::testing::TestWithParam<RejectedText> {};

TEST_P(RejectedTextTest, BuildIsInvalidAndTrailerHoldsOnlyTheStamp) {
  imageStamp = kFirstImageStamp;
  const FirmwareImage image = Build(GetParam().text);
  EXPECT_FALSE(image.valid);
  for (int a = 0x1FF0; a < 0x2000; ++a) ASSERT_EQ(image.bytes[a], 0xA0) << "at " << a;
}

INSTANTIATE_TEST_SUITE_P(
    FirmwareImage, RejectedTextTest,
    ::testing::Values(
        RejectedText{"BadChecksum", ":0300000002000FED\r\n:00000001FF\r\n"},
        RejectedText{"NoEndOfFileRecord", ":0300000002000FEC\r\n"},
        RejectedText{"EmptyLineBeforeEnd", ":0300000002000FEC\r\n\r\n:00000001FF\r\n"},
        RejectedText{"EndOfFileWithoutLineEnd", ":0300000002000FEC\r\n:00000001FF"},
        RejectedText{"BareLineFeeds", ":0300000002000FEC\n:00000001FF\n"},
        RejectedText{"NoColon", "0300000002000FEC\r\n:00000001FF\r\n"},
        RejectedText{"HeaderCutShort", ":03\r\n:00000001FF\r\n"},
        RejectedText{"DataShorterThanCount", ":0400000002000FEC\r\n:00000001FF\r\n"},
        RejectedText{"ChecksumMissing", ":0300000002000F\r\n:00000001FF\r\n"},
        RejectedText{"DataOnlyInEarlierLine", ":0300000002000FEC\r\n:03000000\r\n:00000001FF\r\n"},
        RejectedText{"EmptyText", ""},
        RejectedText{"LineLongerThanBuffer",
                     ":0300000002000FEC" + std::string(1024 - 17, '0') + "\r\n:00000001FF\r\n"}),
    [](const auto& testInfo) { return std::string(testInfo.param.why); });

TEST_F(FirmwareImageTest, LineOfExactlyBufferLengthIsRead) {
  const std::string line = ":0300000002000FEC" + std::string(kMaxHexLineLength - 17, '0');
  const FirmwareImage image = Build(line + "\r\n:00000001FF\r\n");
  EXPECT_TRUE(image.valid);
  EXPECT_EQ(image.bytes[2], 0x0F);
}

TEST_F(FirmwareImageTest, ExtendedAddressRecordChangesNothing) {
  const FirmwareImage image = Build(":020000040800F2\r\n:02123400AA55B9\r\n:00000001FF\r\n");
  ASSERT_TRUE(image.valid);
  ExpectBytes(image, {{0x1234, 0xAA}, {0x1235, 0x55}});
}

TEST_F(FirmwareImageTest, OtherRecordTypesAreSkippedWithoutChecksum) {
  const FirmwareImage image =
      Build(":04000005080010ED00\r\n:0400000300001234FF\r\n:0100100042AD\r\n:00000001FF\r\n");
  ASSERT_TRUE(image.valid);
  ExpectBytes(image, {{0x10, 0x42}});
}

TEST_F(FirmwareImageTest, AddressWrapsFromTopToZero) {
  const FirmwareImage image = Build(":02FFFF001122CD\r\n:00000001FF\r\n", 0x2000);
  ASSERT_TRUE(image.valid);
  EXPECT_EQ(image.bytes[0xFFFF], 0x11);
  EXPECT_EQ(image.bytes[0x0000], 0x22);
}

TEST_F(FirmwareImageTest, LowerCaseDigitsReadLikeUpperCase) {
  const FirmwareImage lower = Build(":03abcd00deadbe3c\r\n:00000001ff\r\n");
  imageStamp = kFirstImageStamp;
  const FirmwareImage upper = Build(":03ABCD00DEADBE3C\r\n:00000001FF\r\n");
  ASSERT_TRUE(lower.valid);
  ASSERT_TRUE(upper.valid);
  EXPECT_EQ(lower.bytes, upper.bytes);
  EXPECT_EQ(lower.bytes[0xABCD], 0xDE);
  EXPECT_EQ(lower.bytes[0xABCF], 0xBE);
}

TEST_F(FirmwareImageTest, TextAfterEndOfFileIsNotRead) {
  const FirmwareImage image =
      Build(":00000001FF\r\n:01000000AA55\r\nnot a record\r\n\r\n:0100000011EE\r\n");
  ASSERT_TRUE(image.valid);
  EXPECT_EQ(image.bytes[0], 0xFF);
}

TEST_F(FirmwareImageTest, LengthLimitsTheText) {
  const std::string text = ":0300000002000FEC\r\n:00000001FF\r\n";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  EXPECT_TRUE(BuildFirmwareImage(bytes, text.size(), 0x2000, kVersion).valid);
  EXPECT_FALSE(BuildFirmwareImage(bytes, text.size() - 1, 0x2000, kVersion).valid);
  EXPECT_FALSE(BuildFirmwareImage(bytes, 19, 0x2000, kVersion).valid);
}

TEST_F(FirmwareImageTest, StampsCycleThroughFourValuesAndInvalidBuildsUseOne) {
  const std::string good = ":00000001FF\r\n";
  const std::string bad = ":0300000002000FED\r\n:00000001FF\r\n";
  const std::string texts[] = {good, bad, good, good, good, bad};
  const std::uint8_t stamps[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA0, 0xA1};
  for (int i = 0; i < 6; ++i) {
    const FirmwareImage image = Build(texts[i]);
    EXPECT_EQ(image.bytes[0x1FF0], stamps[i]) << "build " << i;
    EXPECT_EQ(image.bytes[0x1FF8], stamps[i]) << "build " << i;
  }
  EXPECT_EQ(imageStamp.load(), 0xA2);
}

TEST_F(FirmwareImageTest, ConcurrentBuildsEachTakeTheirOwnStamp) {
  constexpr int kBuildsPerThread = 40;
  std::array<std::array<int, 4>, 2> counts{};
  platform::RealClock clock;
  auto builder = [&counts](int which) {
    return [&counts, which] {
      for (int i = 0; i < kBuildsPerThread; ++i) {
        const FirmwareImage image = Build(":00000001FF\r\n");
        ++counts[which][image.bytes[0x1FF0] - kFirstImageStamp];
      }
    };
  };
  platform::Thread first = clock.StartThread(builder(0));
  platform::Thread second = clock.StartThread(builder(1));
  first.Join();
  second.Join();
  for (int stamp = 0; stamp < 4; ++stamp) {
    EXPECT_EQ(counts[0][stamp] + counts[1][stamp], 2 * kBuildsPerThread / 4) << stamp;
  }
}

TEST_F(FirmwareImageTest, SizesWithoutRoomForTrailerAreRefused) {
  EXPECT_FALSE(Build(":00000001FF\r\n", 8).valid);
  EXPECT_FALSE(Build(":00000001FF\r\n", 0x10001).valid);
}

TEST_F(FirmwareImageTest, LinesAreEchoedOnlyWithDebuggingOutput) {
  const std::string text = ":0300000002000FEC\r\n:00000001FF\r\ntrailing\r\n";
  ::testing::internal::CaptureStderr();
  Build(text);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  platform::SetDebugOutputEnabled(true);
  ::testing::internal::CaptureStderr();
  Build(text);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            ":0300000002000FEC\r\n:00000001FF\r\n");
}

}  // namespace
