#include <gtest/gtest.h>

#include "platform/Graphics.h"

namespace platform {
namespace {

constexpr std::uint32_t kGround = 0x00102030;

// A source whose pixel at (x, y) is 0x00XXYY00-ish, so any mix-up of coordinates shows.
Surface Numbered(int width, int height) {
  Surface s(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) s.SetPixel(x, y, static_cast<std::uint32_t>((x + 1) << 12 | (y + 1)));
  return s;
}

int CountNot(const Surface& s, std::uint32_t value) {
  int n = 0;
  for (std::uint32_t p : s.Pixels()) n += p != value;
  return n;
}

TEST(Copy, CopiesPixelsAtCanvasOrigin) {
  const Surface source = Numbered(4, 3);
  Surface target(10, 10, kGround);
  Canvas canvas{&target, {2, 1}, target.Bounds()};
  Copy(canvas, 1, 1, 4, 3, source, 0, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(target.Pixel(3 + x, 2 + y), source.Pixel(x, y));
  EXPECT_EQ(CountNot(target, kGround), 12);
}

TEST(Copy, ClipsToCanvasClipAndSurfaceEdges) {
  const Surface source = Numbered(6, 6);
  Surface target(8, 8, kGround);
  Copy(Canvas{&target, {0, 0}, {2, 2, 5, 5}}, 0, 0, 6, 6, source, 0, 0);
  EXPECT_EQ(CountNot(target, kGround), 9);
  EXPECT_EQ(target.Pixel(2, 2), source.Pixel(2, 2));
  EXPECT_EQ(target.Pixel(4, 4), source.Pixel(4, 4));

  Surface edge(8, 8, kGround);
  Copy(Canvas::Whole(edge), 5, -2, 6, 6, source, 0, 0);  // hangs over the right and top edges
  EXPECT_EQ(CountNot(edge, kGround), 3 * 4);
  EXPECT_EQ(edge.Pixel(5, 0), source.Pixel(0, 2));
  EXPECT_EQ(edge.Pixel(7, 3), source.Pixel(2, 5));
}

TEST(Copy, SkipsSourceOutsideTheSource) {
  const Surface source = Numbered(4, 4);
  Surface target(8, 8, kGround);
  Copy(Canvas::Whole(target), 0, 0, 8, 8, source, -2, 1);
  // Only source columns 0..3 and rows 1..3 exist: they land at x 2..5, y 0..2.
  EXPECT_EQ(CountNot(target, kGround), 4 * 3);
  EXPECT_EQ(target.Pixel(2, 0), source.Pixel(0, 1));
  EXPECT_EQ(target.Pixel(5, 2), source.Pixel(3, 3));
  EXPECT_EQ(target.Pixel(1, 0), kGround);
}

TEST(Copy, NonPositiveSizesDrawNothing) {
  const Surface source = Numbered(4, 4);
  Surface target(8, 8, kGround);
  for (auto [w, h] : {std::pair{0, 4}, {4, 0}, {-3, 4}, {4, -1}}) {
    Copy(Canvas::Whole(target), 0, 0, w, h, source, 0, 0);
    Stretch(Canvas::Whole(target), 0, 0, w, h, source, 0, 0, 4, 4);
    Stretch(Canvas::Whole(target), 0, 0, 4, 4, source, 0, 0, w, h);
    CopyColorKeyed(Canvas::Whole(target), 0, 0, w, h, source, 0, 0, 4, 4);
  }
  EXPECT_EQ(CountNot(target, kGround), 0);
}

TEST(Copy, OverlappingCopyWithinOneSurfaceReadsTheOriginal) {
  Surface s = Numbered(6, 6);
  const Surface before = s;
  Copy(Canvas::Whole(s), 1, 1, 5, 5, s, 0, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(s.Pixel(x + 1, y + 1), before.Pixel(x, y)) << x << "," << y;
}

TEST(Stretch, RepeatsPixelsWithoutMixing) {
  Surface source(2, 1);
  source.SetPixel(0, 0, 0x00FF0000);
  source.SetPixel(1, 0, 0x000000FF);
  Surface target(6, 2, kGround);
  Stretch(Canvas::Whole(target), 0, 0, 6, 2, source, 0, 0, 2, 1);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(target.Pixel(x, y), 0x00FF0000u);
    for (int x = 3; x < 6; ++x) EXPECT_EQ(target.Pixel(x, y), 0x000000FFu);
  }
}

TEST(Stretch, PieceToFullTrackWidthAndToNothing) {
  // The progress bar stretches its 32-wide piece to the fill width: 488 at the end, 0 at the start.
  Surface piece(32, 58, 0x00EBECEC);
  piece.Fill({0, 4, 32, 55}, 0x00E50040);
  piece.Fill({31, 4, 32, 55}, 0x00E50041);  // the last column, to see it reach the right edge
  Surface track(488, 58, 0x00EBECEC);

  Stretch(Canvas::Whole(track), 0, 0, 0, 58, piece, 0, 0, 32, 58);
  EXPECT_EQ(CountNot(track, 0x00EBECEC), 0);

  Stretch(Canvas::Whole(track), 0, 0, 488, 58, piece, 0, 0, 32, 58);
  for (int x : {0, 100, 470}) {
    EXPECT_EQ(track.Pixel(x, 3), 0x00EBECECu);
    EXPECT_EQ(track.Pixel(x, 4), 0x00E50040u);
    EXPECT_EQ(track.Pixel(x, 54), 0x00E50040u);
    EXPECT_EQ(track.Pixel(x, 55), 0x00EBECECu);
  }
  EXPECT_EQ(track.Pixel(487, 30), 0x00E50041u);
  EXPECT_EQ(CountNot(track, 0x00EBECEC), 488 * 51);
}

TEST(Stretch, PartialFillCoversExactlyTheFillWidth) {
  Surface piece(32, 4, 0x00E50040);
  Surface track(488, 4, kGround);
  Stretch(Canvas::Whole(track), 0, 0, 245, 4, piece, 0, 0, 32, 4);
  EXPECT_EQ(track.Pixel(244, 0), 0x00E50040u);
  EXPECT_EQ(track.Pixel(245, 0), kGround);
  EXPECT_EQ(CountNot(track, kGround), 245 * 4);
}

TEST(Stretch, ShrinksAndClips) {
  const Surface source = Numbered(8, 8);
  Surface target(3, 3, kGround);
  Stretch(Canvas::Whole(target), -2, -2, 4, 4, source, 0, 0, 8, 8);
  // Destination pixel i samples source 2i+1; only i = 2, 3 fall inside the target.
  EXPECT_EQ(target.Pixel(0, 0), source.Pixel(5, 5));
  EXPECT_EQ(target.Pixel(1, 1), source.Pixel(7, 7));
  EXPECT_EQ(CountNot(target, kGround), 4);
}

TEST(CopyColorKeyed, SkipsExactlyTheKeyColour) {
  Surface source(3, 1);
  source.SetPixel(0, 0, 0x00FF00FF);  // RGB(255, 0, 255): see-through
  source.SetPixel(1, 0, 0x00FE00FF);  // RGB(254, 0, 255): drawn
  source.SetPixel(2, 0, 0x00FF00FE);  // RGB(255, 0, 254): drawn
  Surface target(3, 1, kGround);
  CopyColorKeyed(Canvas::Whole(target), 0, 0, 3, 1, source, 0, 0, 3, 1);
  EXPECT_EQ(target.Pixel(0, 0), kGround);
  EXPECT_EQ(target.Pixel(1, 0), 0x00FE00FFu);
  EXPECT_EQ(target.Pixel(2, 0), 0x00FF00FEu);
}

TEST(CopyColorKeyed, ClipsAtEdges) {
  Surface source(4, 4, 0x00123456);
  source.SetPixel(3, 3, 0x00FF00FF);
  Surface target(5, 5, kGround);
  CopyColorKeyed(Canvas::Whole(target), 2, 2, 4, 4, source, 0, 0, 4, 4);
  EXPECT_EQ(CountNot(target, kGround), 9);
  EXPECT_EQ(target.Pixel(4, 4), 0x00123456u);
  EXPECT_EQ(target.Pixel(1, 1), kGround);
}

TEST(FillRect, FillsInClientCoordinatesWithinTheClip) {
  Surface target(10, 10, kGround);
  FillRect(Canvas{&target, {3, 3}, {0, 0, 6, 6}}, {-1, -1, 10, 10}, Rgb(0x11, 0x22, 0x33));
  EXPECT_EQ(target.Pixel(2, 2), 0x00112233u);
  EXPECT_EQ(target.Pixel(5, 5), 0x00112233u);
  EXPECT_EQ(target.Pixel(6, 6), kGround);
  EXPECT_EQ(target.Pixel(1, 1), kGround);
  EXPECT_EQ(CountNot(target, kGround), 16);
}

}  // namespace
}  // namespace platform
