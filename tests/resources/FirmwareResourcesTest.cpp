#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/FirmwareImage.h"
#include "platform/Resources.h"

namespace {

constexpr std::uint8_t kVersion[3] = {6, 0, 0};

struct Record {
  unsigned count;
  unsigned address;
  unsigned type;
  std::vector<std::uint8_t> data;
};

std::string_view ResourceText(int id) {
  const auto bytes = platform::FindResource("HEX", id);
  if (!bytes) return {};
  return {reinterpret_cast<const char*>(bytes->data()), bytes->size()};
}

// The records of a text whose every line, the last included, ends in CR LF.
std::vector<Record> Records(std::string_view text) {
  std::vector<Record> records;
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    EXPECT_NE(end, std::string_view::npos) << "every line ends with CR LF";
    if (end == std::string_view::npos) break;
    const std::string line(text.substr(1, end - 1));
    std::vector<std::uint8_t> fields;
    for (std::size_t i = 0; i + 1 < line.size(); i += 2) {
      fields.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
    }
    records.push_back({fields[0], fields[1] * 256u + fields[2], fields[3],
                       std::vector<std::uint8_t>(fields.begin() + 4, fields.end() - 1)});
    text.remove_prefix(end + 2);
  }
  return records;
}

FirmwareImage Build(int id, std::uint32_t size) {
  const std::string_view text = ResourceText(id);
  return BuildFirmwareImage(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), size,
                            kVersion);
}

// The highest address below `limit` whose byte is not 0xFF, with the image built at full size.
unsigned HighestDataByte(const FirmwareImage& image, unsigned limit) {
  for (unsigned a = limit; a-- > 0;) {
    if (image.bytes[a] != 0xFF) return a;
  }
  return 0;
}

struct ImageUse {
  int id;
  std::vector<std::uint32_t> sizes;
};

class CarriedFirmwareTest : public ::testing::TestWithParam<ImageUse> {};

TEST_P(CarriedFirmwareTest, BuildsValidImageWithFreeTrailerAtEverySizeUsed) {
  const ImageUse& use = GetParam();
  ASSERT_TRUE(platform::FindResource("HEX", use.id)) << use.id;
  const FirmwareImage whole = Build(use.id, 0x10000);
  ASSERT_TRUE(whole.valid);
  for (const std::uint32_t size : use.sizes) {
    EXPECT_TRUE(Build(use.id, size).valid) << std::hex << size;
    for (std::uint32_t a = size - 16; a < size; ++a) {
      EXPECT_EQ(whole.bytes[a], 0xFF) << "trailer area at " << std::hex << a;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    FirmwareResources, CarriedFirmwareTest,
    ::testing::Values(ImageUse{3032, {0x2000}}, ImageUse{3033, {0x2000}},
                      ImageUse{3035, {0x2000}}, ImageUse{3036, {0x2000}},
                      ImageUse{3038, {0x2000}}, ImageUse{3039, {0x2000}},
                      ImageUse{3037, {0x8000, 0x7000}}, ImageUse{3040, {0x8000, 0x7000}},
                      ImageUse{3041, {0x8000, 0x7000}}, ImageUse{3042, {0x8000, 0x7000}},
                      ImageUse{3043, {0x8000, 0x7000}}),
    [](const auto& testInfo) { return std::to_string(testInfo.param.id); });

struct EightBitShape {
  int id;
  unsigned lowestTop;
  unsigned highestTop;
};

class EightBitFirmwareTest : public ::testing::TestWithParam<EightBitShape> {};

TEST_P(EightBitFirmwareTest, HasTheRecordsAndBlocksOfItsController) {
  const EightBitShape& shape = GetParam();
  const std::vector<Record> records = Records(ResourceText(shape.id));
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().type, 1u);
  bool outOfOrder = false;
  for (std::size_t i = 0; i + 1 < records.size(); ++i) {
    EXPECT_EQ(records[i].type, 0u);
    EXPECT_GE(records[i].count, 1u);
    EXPECT_LE(records[i].count, 16u);
    if (i > 0 && records[i].address < records[i - 1].address) outOfOrder = true;
  }
  EXPECT_TRUE(outOfOrder) << "records are not in address order";

  const FirmwareImage whole = Build(shape.id, 0x10000);
  const unsigned top = HighestDataByte(whole, 0x3FBC);
  EXPECT_GE(top, shape.lowestTop);
  EXPECT_LE(top, shape.highestTop);
  for (unsigned a = 0x3FBC; a < 0x3FF8; ++a) ASSERT_EQ(whole.bytes[a], 0xFF) << a;
  EXPECT_EQ(std::vector<std::uint8_t>(whole.bytes.begin() + 0x3FFC, whole.bytes.begin() + 0x4000),
            (std::vector<std::uint8_t>{0x55, 0xAA, 0x33, 0xCC}));
  EXPECT_EQ(HighestDataByte(whole, 0x10000 - 16), 0x3FFFu);
}

INSTANTIATE_TEST_SUITE_P(FirmwareResources, EightBitFirmwareTest,
                         ::testing::Values(EightBitShape{3032, 0x1D8C, 0x1F29},
                                           EightBitShape{3033, 0x1D8C, 0x1F29},
                                           EightBitShape{3035, 0x1D8C, 0x1F29},
                                           EightBitShape{3036, 0x3BB1, 0x3BB1},
                                           EightBitShape{3038, 0x1D8C, 0x1F29},
                                           EightBitShape{3039, 0x1D8C, 0x1F29}),
                         [](const auto& testInfo) { return std::to_string(testInfo.param.id); });

TEST(FirmwareResources, EightBitImagesCarryTheirOwnIdentification) {
  const std::vector<std::uint8_t> expected3032 = {0x04, 0x00, 0x1E, 0x00};
  const std::vector<std::uint8_t> expected3036 = {0x03, 0x00, 0x41, 0x00};
  auto identification = [](int id) {
    const FirmwareImage whole = Build(id, 0x10000);
    return std::vector<std::uint8_t>(whole.bytes.begin() + 0x3FF8, whole.bytes.begin() + 0x3FFC);
  };
  EXPECT_EQ(identification(3032), expected3032);
  EXPECT_EQ(identification(3036), expected3036);
  std::vector<std::vector<std::uint8_t>> all;
  for (const int id : {3032, 3033, 3035, 3036, 3038, 3039}) all.push_back(identification(id));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::unique(all.begin(), all.end()), all.end()) << "each image has its own";
}

struct ThirtyTwoBitShape {
  int id;
  unsigned top;
};

class ThirtyTwoBitFirmwareTest : public ::testing::TestWithParam<ThirtyTwoBitShape> {};

TEST_P(ThirtyTwoBitFirmwareTest, HasTheRecordsAndVectorTablesOfItsController) {
  const ThirtyTwoBitShape& shape = GetParam();
  const std::vector<Record> records = Records(ResourceText(shape.id));
  ASSERT_GE(records.size(), 5u);
  const std::vector<std::uint8_t> flashBase = {0x08, 0x00};
  EXPECT_EQ(records.front().type, 4u);
  EXPECT_EQ(records.front().data, flashBase);
  const std::size_t n = records.size();
  EXPECT_EQ(records[n - 3].type, 4u);
  EXPECT_EQ(records[n - 3].data, flashBase);
  EXPECT_EQ(records[n - 2].type, 5u);
  EXPECT_EQ(records[n - 2].data, (std::vector<std::uint8_t>{0x08, 0x00, 0x10, 0xED}));
  EXPECT_EQ(records[n - 1].type, 1u);

  unsigned highest = 0;
  int short_records = 0;
  for (std::size_t i = 1; i + 3 < n; ++i) {
    EXPECT_EQ(records[i].type, 0u);
    EXPECT_TRUE(records[i].count == 16 || records[i].count == 4) << records[i].count;
    if (records[i].count == 4) ++short_records;
    highest = std::max(highest, records[i].address + records[i].count - 1);
  }
  EXPECT_EQ(records[1].address, 0u);
  EXPECT_EQ(highest, shape.top);
  EXPECT_GE(short_records, 1);
  EXPECT_LE(short_records, 4);

  // Both vector tables: an initial stack pointer in RAM and a Thumb reset handler in flash;
  // the second one's reset handler is the start address.
  const FirmwareImage whole = Build(shape.id, 0x10000);
  auto word = [&whole](unsigned a) {
    return whole.bytes[a] | whole.bytes[a + 1] << 8 | whole.bytes[a + 2] << 16 |
           static_cast<std::uint32_t>(whole.bytes[a + 3]) << 24;
  };
  EXPECT_EQ(word(0x0000) & 0xFFF00000u, 0x20000000u);
  EXPECT_EQ(word(0x0004) & 0xFFFFF001u, 0x08000001u);
  EXPECT_EQ(word(0x1000) & 0xFFF00000u, 0x20000000u);
  EXPECT_EQ(word(0x1004), 0x080010EDu);
  EXPECT_LT(HighestDataByte(whole, 0x1000), 0x0FF0u) << "the small program stays in 4 KiB";
}

INSTANTIATE_TEST_SUITE_P(FirmwareResources, ThirtyTwoBitFirmwareTest,
                         ::testing::Values(ThirtyTwoBitShape{3037, 0x6BA3},
                                           ThirtyTwoBitShape{3040, 0x62B3},
                                           ThirtyTwoBitShape{3041, 0x6B8F},
                                           ThirtyTwoBitShape{3042, 0x6B6F},
                                           ThirtyTwoBitShape{3043, 0x6B3F}),
                         [](const auto& testInfo) { return std::to_string(testInfo.param.id); });

TEST(FirmwareResources, ResourcesNotCarriedAreNotFound) {
  for (const int id : {3000, 3010, 3011, 3020, 3031, 3034}) {
    EXPECT_FALSE(platform::FindResource("HEX", id)) << id;
  }
}

}  // namespace
