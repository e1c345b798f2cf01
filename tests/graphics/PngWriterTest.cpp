#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "platform/PngWriter.h"

namespace platform {
namespace {

// Reads a PNG back with libpng into a surface.
Surface ReadPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  Surface s(static_cast<int>(image.width), static_cast<int>(image.height));
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) {
      const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * s.Width() + x) * 3];
      s.SetPixel(x, y, (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]);
    }
  return s;
}

class PngWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() / ("rirud_png_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::filesystem::path folder;
};

TEST_F(PngWriterTest, RoundTripsEveryPixel) {
  Surface s(37, 11);
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, static_cast<std::uint32_t>((x * 7) << 16 | (y * 23) << 8 | (x ^ y)));
  const std::string path = (folder / "shot.png").string();
  std::string error;
  ASSERT_TRUE(WritePng(s, path, &error)) << error;
  const Surface back = ReadPng(path);
  EXPECT_EQ(back.Width(), 37);
  EXPECT_EQ(back.Pixels(), s.Pixels());

  const std::vector<std::uint8_t> bytes = EncodePng(s);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(std::memcmp(bytes.data(), "\x89PNG", 4), 0);
}

TEST_F(PngWriterTest, ReportsWhatFailed) {
  std::string error;
  EXPECT_FALSE(WritePng(Surface(4, 4), (folder / "missing" / "shot.png").string(), &error));
  EXPECT_NE(error.find("missing/shot.png"), std::string::npos) << error;
  EXPECT_FALSE(WritePng(Surface(), (folder / "empty.png").string(), &error));
  EXPECT_TRUE(EncodePng(Surface()).empty());
}

}  // namespace
}  // namespace platform
