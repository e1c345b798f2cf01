#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "localization/TranslationSettings.h"
#include "tests/ui/UiTestSupport.h"

namespace ui_test {
namespace {

constexpr ColorRef kRed = 0x4000E5;
constexpr ColorRef kWhite = 0xFFFFFF;
constexpr char16_t kFace[] = u"VORLAN DIN Pro-Light";
constexpr char16_t kHeading[] = u"\n\nFIRMWARE UPGRADE  6.0.0";
constexpr char16_t kStatus[] = u"Your KORVEX 6.0\r\nis currently on\r\nVersion  5.2.1";
constexpr char16_t kBody[] =
    u"With this upgrade package your product\ncan be updated to the latest firmware. \nOnce the upgrade is started, "
    u"it cannot be cancelled or reversed.\r\nUse at your own Risk.";

// Where the screenshot goes: $RIRUD_SCREENSHOT_DIR, or the test's temporary folder.
std::string ScreenshotPath(const char* name) {
  const char* dir = std::getenv("RIRUD_SCREENSHOT_DIR");
  return std::string(dir != nullptr ? dir : ::testing::TempDir().c_str()) + "/" + name;
}

// Glyph pixels are blended into the dark ground, so colours are judged by their channels.
bool IsReddish(std::uint32_t p) { return ((p >> 16) & 0xFF) > 120 && ((p >> 8) & 0xFF) < 40; }
bool IsWhitish(std::uint32_t p) { return ((p >> 16) & 0xFF) > 150 && ((p >> 8) & 0xFF) > 150 && (p & 0xFF) > 150; }

template <class Predicate>
int CountPixels(const Surface& image, const Rect& area, Predicate matches) {
  int count = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) count += matches(image.Pixel(x, y)) ? 1 : 0;
  }
  return count;
}

class OfferScreenTest : public UiTest {
 protected:
  // The upgrade offer, configured as its creator does, on the embedded skin.
  void ConfigureOffer() {
    box.SetSkinModule(&EmbeddedSkin());
    box.LoadBackground(648);
    box.SetSkinBitmaps({209, 121, 656, 662, 661, 663, 659, 658, 660, 662, 661, 663, 659, 658,
                        660, 153, 154, 155, 659, 658, 660, 659, 658, 660, 659, 658, 660});
    ASSERT_TRUE(box.AllocateButtons(1));
    box.SetStatusFont(20, 300, kFace);
    box.SetMessageFont(24, 300, kFace);
    box.SetBodyFont(16, 300, kFace);
    box.SetHeadingFont(30, 300, kFace);
    box.UpdateTexts([](MessageBoxTexts& t) {
      t.statusFormat = t.headingFormat = t.messageFormat = t.bodyFormat = 0;
      t.headingColor = t.statusColor = t.messageColor = kRed;
      t.bodyColor = kWhite;
      t.messageText.reset();
    });
    box.SetTexts(kStatus, kHeading, nullptr, kBody);
    box.SetButtonTextStyle(20, kFace, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x808080, 0);
    box.AddButton(307, 3, u"UPGRADE NOW", 59);
  }
};

TEST_F(OfferScreenTest, ShowsTextsButtonsAndCloseButtonOnTheSkin) {
  ConfigureOffer();
  Open();
  ASSERT_TRUE(display.WaitUntil([&] { return PixelAt(CentreOf(box.ButtonAt(0)->button)) != 0xFFFFFFFF; }, 200));

  const Surface image = display.ImageOf(box.Handle());
  ASSERT_EQ(image.Width(), 500);
  ASSERT_EQ(image.Height(), 353);
  const std::string path = ScreenshotPath("offer-screen.png");
  std::string error;
  EXPECT_TRUE(display.SavePng(box.Handle(), path, &error)) << error;

  // Red heading (two empty lines, then one line) and status; white body; the action button and
  // the close button where they belong.
  EXPECT_EQ(CountPixels(image, Rect{25, 21, 470, 21 + 60}, IsReddish), 0);
  EXPECT_GT(CountPixels(image, Rect{25, 81, 500, 111}, IsReddish), 200);
  EXPECT_GT(CountPixels(image, Rect{25, 144, 500, 204}, IsReddish), 200);
  EXPECT_EQ(CountPixels(image, Rect{25, 204, 500, 240}, IsReddish), 0);
  EXPECT_GT(CountPixels(image, Rect{25, 240, 300, 353}, IsWhitish), 200);
  EXPECT_EQ(box.ButtonAt(0)->button.WindowRect(), (Rect{307, 294, 481, 339}));
  EXPECT_EQ(box.CloseButton().WindowRect(), (Rect{472, 5, 493, 26}));

  const ScreenDescription screen = box.DescribeScreen();
  EXPECT_EQ(screen.heading, std::u16string(kHeading));
  EXPECT_EQ(screen.status, std::u16string(kStatus));
  EXPECT_FALSE(screen.message.has_value());
  EXPECT_EQ(screen.body, std::u16string(kBody));
  EXPECT_EQ(screen.buttons, (std::vector<std::u16string>{u"UPGRADE NOW"}));
  EXPECT_TRUE(screen.closeButton);

  display.Click(box.Handle(), CentreOf(box.ButtonAt(0)->button));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(result.load(), 3);
}

}  // namespace
}  // namespace ui_test
