#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/Clock.h"
#include "platform/TextDrawing.h"

namespace platform {
namespace {

constexpr std::uint32_t kGround = 0x000A131C;
constexpr ColorRef kWhite = 0xFFFFFF;

// The bounding box of every pixel that differs from the ground.
Rect InkBounds(const Surface& s) {
  Rect box;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x)
      if (s.Pixel(x, y) != kGround) box = box.Union({x, y, x + 1, y + 1});
  return box;
}

int InkCount(const Surface& s) {
  int n = 0;
  for (std::uint32_t p : s.Pixels()) n += p != kGround;
  return n;
}

Surface Draw(std::u16string_view text, Rect rect, std::uint32_t format, const Font& font, int width = 300,
             int height = 120) {
  Surface surface(width, height, kGround);
  DrawText(Canvas::Whole(surface), text, rect, format, font, kWhite);
  return surface;
}

class TextDrawing : public testing::Test {
 protected:
  Font body = Font::Create(20, 400, u"Arial");
};

TEST(FontResolution, MissingFaceFallsBackToTheSansFace) {
  const Font font = Font::Create(24, 300, u"VORLAN DIN Pro-Light");
  EXPECT_TRUE(std::filesystem::exists(font.ResolvedFile())) << font.ResolvedFile();
  EXPECT_NE(font.ResolvedFamily(), "VORLAN DIN Pro-Light");
  EXPECT_EQ(font.ResolvedFamily(), Font::Create(24, 300, u"sans-serif").ResolvedFamily());
  EXPECT_EQ(font.Face(), u"VORLAN DIN Pro-Light");
  EXPECT_EQ(font.CellHeight(), 24);
}

TEST(FontResolution, ArialResolvesToAMetricCompatibleFace) {
  const Font font = Font::Create(20, 400, u"Arial");
  EXPECT_EQ(font.ResolvedFamily(), "Liberation Sans");
  EXPECT_TRUE(std::filesystem::exists(font.ResolvedFile()));
  EXPECT_EQ(font.CellHeight(), 20);
  EXPECT_GT(font.Ascent(), 10);
  EXPECT_LT(font.Ascent(), 20);
}

TEST(FontResolution, SameParametersShareOneFontAndZeroWeightIsNormal) {
  EXPECT_EQ(Font::Create(16, 0, u"Arial"), Font::Create(16, 400, u"Arial"));
  EXPECT_EQ(Font::Create(16, 400, u"Arial"), Font::Create(16, 400, "Arial"));
  EXPECT_FALSE(Font::Create(16, 400, u"Arial") == Font::Create(17, 400, u"Arial"));
  EXPECT_EQ(Font().CellHeight(), 16);
}

TEST_F(TextDrawing, GlyphsStayWithinTheCell) {
  const Surface s = Draw(u"Hgjy|", {10, 10, 300, 120}, DT_NOCLIP, body);
  const Rect ink = InkBounds(s);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.bottom, 10 + body.CellHeight());
  EXPECT_LT(ink.left, 14);
}

TEST_F(TextDrawing, FullyCoveredPixelsTakeTheColourExactly) {
  Surface s(100, 100, kGround);
  DrawText(Canvas::Whole(s), u"I", {0, 0, 100, 100}, 0, Font::Create(80, 700, u"Arial"), Rgb(229, 0, 64));
  int exact = 0;
  for (std::uint32_t p : s.Pixels()) exact += p == 0x00E50040u;
  EXPECT_GT(exact, 50);
}

TEST_F(TextDrawing, BoldDrawsHeavierThanLight) {
  const int bold = InkCount(Draw(u"Firmware", {0, 0, 300, 120}, 0, Font::Create(20, 700, u"Arial")));
  const int normal = InkCount(Draw(u"Firmware", {0, 0, 300, 120}, 0, Font::Create(20, 400, u"Arial")));
  EXPECT_GT(bold, normal);
}

TEST_F(TextDrawing, CentreAndRightAlignEachLine) {
  const Rect rect{0, 0, 300, 120};
  const Rect left = InkBounds(Draw(u"EXIT", rect, DT_LEFT, body));
  const Rect centre = InkBounds(Draw(u"EXIT", rect, DT_CENTER, body));
  const Rect right = InkBounds(Draw(u"EXIT", rect, DT_RIGHT, body));
  EXPECT_LT(left.left, 4);
  EXPECT_NEAR((centre.left + centre.right) / 2.0, 150.0, 3.0);
  EXPECT_GT(right.right, 294);
  EXPECT_EQ(left.Width(), centre.Width());
}

TEST_F(TextDrawing, VerticalCentreAppliesToSingleLineOnly) {
  const Rect rect{0, 0, 300, 120};
  const Rect centred = InkBounds(Draw(u"EXIT", rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE, body));
  EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 60.0, 4.0);
  const Rect top = InkBounds(Draw(u"EXIT", rect, DT_CENTER | DT_VCENTER | DT_WORDBREAK, body));
  EXPECT_LT(top.top, 10);
  const Rect bottom = InkBounds(Draw(u"EXIT", rect, DT_SINGLELINE | DT_BOTTOM, body));
  EXPECT_GT(bottom.bottom, 110);
}

TEST_F(TextDrawing, WordBreakWrapsAtSpacesToTheRectangle) {
  const std::u16string text = u"Do not disconnect your device until the transfer is complete.";
  const Rect rect{0, 0, 150, 120};
  const Rect wrapped = InkBounds(Draw(text, rect, DT_WORDBREAK, body));
  const Rect unwrapped = InkBounds(Draw(text, rect, DT_NOCLIP, body, 700));
  EXPECT_LE(wrapped.right, 150);
  EXPECT_GT(wrapped.Height(), 2 * body.CellHeight());
  EXPECT_LT(unwrapped.Height(), body.CellHeight());
  EXPECT_GT(unwrapped.right, 300);
  const Rect measured = MeasureText(text, rect, DT_WORDBREAK, body);
  EXPECT_EQ(measured.Height() % body.CellHeight(), 0);
  EXPECT_GE(measured.Height(), 3 * body.CellHeight());
  EXPECT_LE(measured.Width(), 150);
}

TEST_F(TextDrawing, WordBreakKeepsAnOverlongWordWhole) {
  const Rect measured = MeasureText(u"a Firmwareupgradepackage b", {0, 0, 60, 100}, DT_WORDBREAK, body);
  EXPECT_EQ(measured.Height(), 3 * body.CellHeight());
  EXPECT_GT(measured.Width(), 60);
}

TEST_F(TextDrawing, WordBreakBreaksBetweenChineseCharacters) {
  const Rect measured =
      MeasureText(u"请勿断开设备连接，直到传输完成。", {0, 0, 100, 100}, DT_WORDBREAK, body);
  EXPECT_GE(measured.Height(), 2 * body.CellHeight());
  EXPECT_LE(measured.Width(), 100);
}

TEST_F(TextDrawing, EllipsisKeepsTheLineInsideTheRectangle) {
  const std::u16string text = u"Your Product can not be Upgraded to the latest Firmware";
  const Rect rect{10, 0, 160, 40};
  const std::uint32_t format = DT_SINGLELINE | DT_WORD_ELLIPSIS | DT_NOCLIP;
  const Surface cut = Draw(text, rect, format, body);
  EXPECT_LE(InkBounds(cut).right, 160);
  EXPECT_GT(InkBounds(cut).right, 140);  // filled up to near the edge, ending in the dots
  EXPECT_LE(MeasureText(text, rect, format, body).Width(), 150);
  // A line that fits is left alone.
  EXPECT_EQ(Draw(u"EXIT", rect, format, body).Pixels(), Draw(u"EXIT", rect, DT_SINGLELINE, body).Pixels());
}

TEST_F(TextDrawing, LineBreaksAtCrLfLfAndCrGiveTheSameLines) {
  const Rect rect{0, 0, 300, 120};
  const Surface crlf = Draw(u"Your KORVEX 6.0\r\nis currently on", rect, 0, body);
  EXPECT_EQ(crlf.Pixels(), Draw(u"Your KORVEX 6.0\nis currently on", rect, 0, body).Pixels());
  EXPECT_EQ(crlf.Pixels(), Draw(u"Your KORVEX 6.0\ris currently on", rect, 0, body).Pixels());
  EXPECT_EQ(MeasureText(u"A\r\nB", rect, 0, body).Height(), 2 * body.CellHeight());
  EXPECT_EQ(MeasureText(u"\n\nA", rect, 0, body).Height(), 3 * body.CellHeight());
  EXPECT_EQ(MeasureText(u"A\r\n\r\nB", rect, 0, body).Height(), 3 * body.CellHeight());
  // Single-line text ignores the breaks.
  EXPECT_EQ(Draw(u"Your KORVEX 6.0\r\nis", rect, DT_SINGLELINE, body).Pixels(),
            Draw(u"Your KORVEX 6.0is", rect, DT_SINGLELINE, body).Pixels());
}

TEST_F(TextDrawing, ChineseFallsBackToAFaceThatHasIt) {
  ASSERT_EQ(body.ResolvedFamily(), "Liberation Sans");  // a face without Chinese characters
  const Rect rect{0, 0, 300, 120};
  const Surface first = Draw(u"固", rect, 0, body);
  const Surface second = Draw(u"件", rect, 0, body);
  EXPECT_GT(InkCount(Draw(u"固件升级", rect, 0, body)), 100);
  // Missing-glyph boxes would all look alike.
  EXPECT_NE(first.Pixels(), second.Pixels());
  EXPECT_NE(first.Pixels(), Draw(u"\U000F0000", rect, 0, body).Pixels());
}

TEST_F(TextDrawing, ClipsToRectangleAndCanvas) {
  Surface s(300, 60, kGround);
  DrawText(Canvas::Whole(s), u"Transfer in progress ...", {0, 0, 50, 60}, 0, body, kWhite);
  EXPECT_LE(InkBounds(s).right, 50);

  Surface t(300, 60, kGround);
  DrawText(Canvas{&t, {0, 0}, {0, 0, 40, 60}}, u"Transfer in progress ...", {0, 0, 300, 60}, DT_NOCLIP, body,
           kWhite);
  EXPECT_LE(InkBounds(t).right, 40);
  EXPECT_GT(InkCount(t), 0);
}

TEST_F(TextDrawing, EmptyTextDrawsNothing) {
  EXPECT_EQ(InkCount(Draw(u"", {0, 0, 300, 120}, 0, body)), 0);
  EXPECT_EQ(MeasureText(u"", {5, 5, 300, 120}, 0, body), (Rect{5, 5, 5, 5}));
}

TEST(TextDrawingThreads, TwoThreadsDrawWithFreshFontsAtOnce) {
  RealClock clock;
  std::vector<Surface> results(2, Surface(300, 60, kGround));
  auto draw = [&](int i) {
    for (int round = 0; round < 20; ++round) {
      const Font font = Font::Create(12 + round, 300 + 100 * (round % 5), u"VORLAN DIN Pro-Light");
      DrawText(Canvas::Whole(results[i]), u"Loading Profiles 固件升级", {0, 0, 300, 60}, DT_WORDBREAK, font,
               kWhite);
    }
  };
  Thread a = clock.StartThread([&] { draw(0); });
  Thread b = clock.StartThread([&] { draw(1); });
  a.Join();
  b.Join();
  EXPECT_EQ(results[0].Pixels(), results[1].Pixels());
}

}  // namespace
}  // namespace platform
