#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/Bitmap.h"

namespace platform {
namespace {

constexpr std::uint32_t kGround = 0x000A131C;     // RGB(10, 19, 28)
constexpr std::uint32_t kFieldGrey = 0x00EBECEC;  // RGB(235, 236, 236)
constexpr std::uint32_t kRed = 0x00E50040;        // RGB(229, 0, 64)
constexpr std::uint32_t kTransparent = 0x00FF00FF;

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A BMP file with a 40-byte info header; `pixels` are the rows as stored (padding included).
std::vector<std::uint8_t> MakeBmp(int width, int height, int bpp, const std::vector<std::uint8_t>& palette,
                                  const std::vector<std::uint8_t>& pixels) {
  const std::size_t offset = 14 + 40 + palette.size();
  std::vector<std::uint8_t> b(offset);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(offset + pixels.size()));
  Put32(b, 10, static_cast<std::uint32_t>(offset));
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(width));
  Put32(b, 22, static_cast<std::uint32_t>(height));
  Put16(b, 26, 1);
  Put16(b, 28, static_cast<std::uint32_t>(bpp));
  Put32(b, 46, static_cast<std::uint32_t>(palette.size() / 4));
  std::copy(palette.begin(), palette.end(), b.begin() + 54);
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// 3 x 2 pixels, 24 bits: rows of 9 bytes padded to 12.
std::vector<std::uint8_t> Rows24() {
  return {
      // stored first: the bottom row in a bottom-up file
      0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0xEE, 0xEE, 0xEE,
      0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0xEE, 0xEE, 0xEE,
  };
}

TEST(DecodeBmp, Reads24BitBottomUpAndTopDownRowsWithPadding) {
  const Bitmap up = DecodeBmp(MakeBmp(3, 2, 24, {}, Rows24()));
  ASSERT_NE(up, nullptr);
  EXPECT_EQ(up->Width(), 3);
  EXPECT_EQ(up->Height(), 2);
  EXPECT_EQ(up->Pixel(0, 1), 0x00030201u);  // bytes are blue, green, red
  EXPECT_EQ(up->Pixel(2, 1), 0x00090807u);
  EXPECT_EQ(up->Pixel(0, 0), 0x00131211u);

  const Bitmap down = DecodeBmp(MakeBmp(3, -2, 24, {}, Rows24()));
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(down->Height(), 2);
  EXPECT_EQ(down->Pixel(0, 0), 0x00030201u);
  EXPECT_EQ(down->Pixel(2, 1), 0x00191817u);
}

TEST(DecodeBmp, ReadsWithoutFileHeader) {
  std::vector<std::uint8_t> file = MakeBmp(3, 2, 24, {}, Rows24());
  const std::vector<std::uint8_t> dib(file.begin() + 14, file.end());
  const Bitmap bitmap = DecodeBmp(dib);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Pixel(1, 0), 0x00161514u);
}

TEST(DecodeBmp, Reads32BitAndPalettised) {
  const Bitmap wide = DecodeBmp(MakeBmp(2, 1, 32, {}, {0x01, 0x02, 0x03, 0xFF, 0x0A, 0x0B, 0x0C, 0x00}));
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->Pixel(0, 0), 0x00030201u);
  EXPECT_EQ(wide->Pixel(1, 0), 0x000C0B0Au);

  // 8 bits, two palette entries, 3 pixels in a 4-byte row: indices 1, 0, 1.
  const std::vector<std::uint8_t> palette{0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0};
  const Bitmap indexed = DecodeBmp(MakeBmp(3, 1, 8, palette, {1, 0, 1, 0}));
  ASSERT_NE(indexed, nullptr);
  EXPECT_EQ(indexed->Pixel(0, 0), 0x00605040u);
  EXPECT_EQ(indexed->Pixel(1, 0), 0x00302010u);

  // 4 bits: two pixels per byte, high nibble first.
  const Bitmap nibbles = DecodeBmp(MakeBmp(2, 1, 4, palette, {0x10, 0, 0, 0}));
  ASSERT_NE(nibbles, nullptr);
  EXPECT_EQ(nibbles->Pixel(0, 0), 0x00605040u);
  EXPECT_EQ(nibbles->Pixel(1, 0), 0x00302010u);
}

TEST(DecodeBmp, RejectsMalformedData) {
  const std::vector<std::uint8_t> good = MakeBmp(3, 2, 24, {}, Rows24());
  ASSERT_NE(DecodeBmp(good), nullptr);

  std::vector<std::vector<std::uint8_t>> bad;
  bad.push_back({});
  bad.push_back({'B', 'M'});
  bad.emplace_back(good.begin(), good.end() - 1);  // last row one byte short
  bad.emplace_back(good.begin(), good.begin() + 30);  // header cut off
  auto patched = [&](std::size_t at, std::uint32_t value) {
    std::vector<std::uint8_t> b = good;
    Put32(b, at, value);
    bad.push_back(b);
  };
  patched(18, 0x7FFFFFFF);  // absurd width
  patched(22, 0x80000000);  // height INT_MIN
  patched(18, 0);           // zero width
  patched(18, 1000);        // width beyond the data
  patched(10, 0xFFFFFFF0);  // pixel offset past the end
  patched(10, 20);          // pixel offset inside the headers
  patched(14, 0xFFFFFFFF);  // header size larger than the data
  patched(14, 64);          // header size of no known kind
  patched(30, 1);           // run-length compression
  {
    std::vector<std::uint8_t> b = good;
    Put16(b, 28, 16);  // 16 bits per pixel: not supported
    bad.push_back(b);
  }
  {
    // A palette that claims more entries than the data holds.
    std::vector<std::uint8_t> b = MakeBmp(3, 1, 8, {0, 0, 0, 0}, {0, 0, 0, 0});
    Put32(b, 46, 200);
    bad.push_back(b);
    Put32(b, 46, 300);  // more than 8 bits can index
    bad.push_back(b);
  }
  for (std::size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(DecodeBmp(bad[i]), nullptr) << "case " << i;
}

TEST(LoadBitmap, MissingIdIsNotLoaded) {
  EXPECT_EQ(LoadBitmap(658), nullptr);
  EXPECT_EQ(LoadBitmap(-1), nullptr);
  EXPECT_EQ(LoadBitmap(0), nullptr);
}

TEST(LoadBitmap, CachesById) { EXPECT_EQ(LoadBitmap(648), LoadBitmap(648)); }

struct SkinCase {
  int id;
  int width;
  int height;
};

class SkinBitmap : public testing::TestWithParam<SkinCase> {};

TEST_P(SkinBitmap, HasItsSizeAndNoTransparentPixel) {
  const Bitmap bitmap = LoadBitmap(GetParam().id);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->Width(), GetParam().width);
  EXPECT_EQ(bitmap->Height(), GetParam().height);
  for (std::uint32_t p : bitmap->Pixels()) ASSERT_NE(p, kTransparent);
}

INSTANTIATE_TEST_SUITE_P(Skin, SkinBitmap,
                         testing::Values(SkinCase{648, 500, 353}, SkinCase{667, 500, 353}, SkinCase{647, 488, 58},
                                         SkinCase{646, 32, 58}, SkinCase{209, 21, 21}, SkinCase{121, 21, 21},
                                         SkinCase{656, 21, 21}, SkinCase{662, 174, 45}, SkinCase{661, 174, 45},
                                         SkinCase{663, 174, 45}),
                         [](const auto& param) { return std::to_string(param.param.id); });

double ShareOf(const Surface& s, std::uint32_t value) {
  std::size_t n = 0;
  for (std::uint32_t p : s.Pixels()) n += p == value;
  return static_cast<double>(n) / s.Pixels().size();
}

TEST(SkinColours, BackgroundsAreMostlyTheDarkGround) {
  for (int id : {648, 667}) {
    const Bitmap bitmap = LoadBitmap(id);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_GT(ShareOf(*bitmap, kGround), 0.5) << id;
    // Where the buttons sit, the ground is plain, so their dark corners meet it seamlessly.
    EXPECT_EQ(bitmap->Pixel(307, 294), kGround);
    EXPECT_EQ(bitmap->Pixel(480, 338), kGround);
    EXPECT_EQ(bitmap->Pixel(472, 5), kGround);
    EXPECT_EQ(bitmap->Pixel(492, 25), kGround);
  }
}

TEST(SkinColours, GreyFieldOfTransferBackgroundIsExactlyWhereTheBarGoes) {
  const Bitmap transfer = LoadBitmap(667);
  const Bitmap plain = LoadBitmap(648);
  ASSERT_NE(transfer, nullptr);
  ASSERT_NE(plain, nullptr);
  for (int y = 0; y < 353; ++y) {
    for (int x = 0; x < 500; ++x) {
      const bool inField = x >= 6 && x <= 493 && y >= 168 && y <= 225;
      if (inField) {
        ASSERT_EQ(transfer->Pixel(x, y), kFieldGrey) << x << "," << y;
      } else {
        ASSERT_NE(transfer->Pixel(x, y), kFieldGrey) << x << "," << y;
      }
    }
  }
  EXPECT_NE(plain->Pixel(250, 200), kFieldGrey);
}

TEST(SkinColours, ProgressTrackAndPiece) {
  const Bitmap track = LoadBitmap(647);
  ASSERT_NE(track, nullptr);
  EXPECT_EQ(ShareOf(*track, kFieldGrey), 1.0);
  const Bitmap piece = LoadBitmap(646);
  ASSERT_NE(piece, nullptr);
  for (int y = 0; y < 58; ++y) {
    const std::uint32_t expected = (y >= 4 && y <= 54) ? kRed : kFieldGrey;
    for (int x = 0; x < 32; ++x) ASSERT_EQ(piece->Pixel(x, y), expected) << x << "," << y;
  }
}

TEST(SkinColours, ActionButtonsAreFilledWithTheirStateColour) {
  const std::pair<int, std::uint32_t> cases[] = {{662, 0x00B30033}, {661, 0x00FF0048}, {663, 0x00E50040}};
  for (auto [id, colour] : cases) {
    const Bitmap button = LoadBitmap(id);
    ASSERT_NE(button, nullptr);
    EXPECT_GT(ShareOf(*button, colour), 0.8) << id;
    EXPECT_EQ(button->Pixel(87, 22), colour) << id;
  }
}

TEST(SkinColours, CloseButtonStatesDiffer) {
  const Bitmap normal = LoadBitmap(209);
  const Bitmap pressed = LoadBitmap(121);
  const Bitmap hover = LoadBitmap(656);
  ASSERT_TRUE(normal && pressed && hover);
  EXPECT_EQ(normal->Pixel(0, 0), kGround);
  EXPECT_NE(normal->Pixel(10, 10), kGround);  // the cross
  EXPECT_NE(normal->Pixels(), pressed->Pixels());
  EXPECT_NE(normal->Pixels(), hover->Pixels());
  EXPECT_NE(pressed->Pixels(), hover->Pixels());
}

}  // namespace
}  // namespace platform
