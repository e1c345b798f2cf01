#include "ui/controls/CHoverButtonV2.h"

#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"

namespace ui_test {
namespace {

// The hover button as the message box's item, on a 400 x 300 ground, so that its images, the
// pointer and the clicks work as a user sees them.
class HoverButtonTest : public UiTest {
 protected:
  void OpenWithKind3(int normal, int pressed, int hover) {
    box.SetSkinModule(&skin);
    box.LoadBackground(kBackground400x300);
    box.SetSkinBitmaps(SkinIds(normal, pressed, hover));
    ASSERT_TRUE(box.AllocateButtons(1));
    box.AddButton(100, 3, nullptr, 100);
    box.swallowItemCommands = true;
    Open();
  }

  CHoverButtonV2& Button() { return box.ButtonAt(0)->button; }
  Point Face() { return Point{130, 210}; }  // a face pixel of the item at (100, 200)
  Point Outside() { return Point{20, 20}; }

  int ItemCommands() {
    const std::vector<int> commands = box.Commands();
    return static_cast<int>(std::count(commands.begin(), commands.end(), 2181));
  }
};

TEST_F(HoverButtonTest, ImageFollowsPointerLatchAndEnabledState) {
  OpenWithKind3(kNormalId, kPressedId, kHoverId);
  ASSERT_EQ(Button().WindowRect(), (Rect{100, 200, 160, 220}));
  EXPECT_TRUE(WaitForPixel(Face(), kNormalFace));

  display.MoveMouse(box.Handle(), Face());
  EXPECT_TRUE(WaitForPixel(Face(), kHoverFace));
  EXPECT_EQ(Button().CurrentImage(), CHoverButtonV2::kHover);

  // Latched: the pressed image, with the pointer on it (no latched-hover image) and away.
  display.Click(box.Handle(), Face());
  ASSERT_TRUE(display.WaitUntil([&] { return Button().latched.load() == 1; }, 200));
  EXPECT_TRUE(WaitForPixel(Face(), kPressedFace));
  display.MoveMouse(box.Handle(), Outside());
  EXPECT_TRUE(display.WaitUntil([&] { return !Button().IsMouseOver(); }, 200));
  EXPECT_TRUE(WaitForPixel(Face(), kPressedFace));

  // Disabled: the disabled image, which defaults to the normal one.
  Button().Enable(false);
  EXPECT_TRUE(WaitForPixel(Face(), kNormalFace));
  EXPECT_EQ(Button().CurrentImage(), CHoverButtonV2::kDisabledLatched);

  // Enabled again, a click flips it back.
  Button().Enable(true);
  display.Click(box.Handle(), Face());
  EXPECT_TRUE(display.WaitUntil([&] { return Button().latched.load() == 0; }, 200));
  EXPECT_TRUE(WaitForPixel(Face(), kHoverFace));
  EXPECT_EQ(ItemCommands(), 2);
}

TEST_F(HoverButtonTest, PushModeShowsPressedOnlyWhileHeld) {
  OpenWithKind3(kNormalId, kPressedId, kHoverId);
  Button().latchMode = 0;
  display.MoveMouse(box.Handle(), Face());
  EXPECT_TRUE(WaitForPixel(Face(), kHoverFace));
  display.PressMouse(Button().ClientToScreen(Point{30, 10}));
  EXPECT_TRUE(WaitForPixel(Face(), kPressedFace));
  display.ReleaseMouse(Button().ClientToScreen(Point{30, 10}));
  EXPECT_TRUE(WaitForPixel(Face(), kHoverFace));
  EXPECT_EQ(Button().latched.load(), 0);
  EXPECT_TRUE(display.WaitUntil([&] { return ItemCommands() == 1; }, 100));
}

TEST_F(HoverButtonTest, MagentaShowsTheBackgroundAndNearMagentaIsDrawn) {
  OpenWithKind3(kNormalId, kPressedId, kHoverId);
  EXPECT_TRUE(WaitForPixel(Point{105, 210}, kGround));       // magenta column of the image
  EXPECT_TRUE(WaitForPixel(Point{115, 210}, kNearMagenta));  // RGB(254, 0, 255)
  display.MoveMouse(box.Handle(), Face());
  EXPECT_TRUE(WaitForPixel(Face(), kHoverFace));
  EXPECT_EQ(PixelAt(Point{105, 210}), kGround);  // still the cached ground, not the old image
}

TEST_F(HoverButtonTest, PressInsideReleaseOutsideSendsNothingAndKeepsTheLatch) {
  OpenWithKind3(kNormalId, kPressedId, kHoverId);
  display.MoveMouse(box.Handle(), Face());
  display.PressMouse(Button().ClientToScreen(Point{30, 10}));
  EXPECT_TRUE(display.WaitUntil([&] { return Button().IsPushed(); }, 200));
  display.MoveMouse(box.Handle(), Outside());
  display.ReleaseMouse(box.ClientToScreen(Outside()));
  EXPECT_TRUE(display.WaitUntil([&] { return !Button().IsPushed(); }, 200));
  EXPECT_FALSE(display.WaitUntil([&] { return ItemCommands() > 0; }, 100));
  EXPECT_EQ(Button().latched.load(), 0);
}

TEST_F(HoverButtonTest, PressOutsideReleaseInsideFlipsButSendsNothing) {
  OpenWithKind3(kNormalId, kPressedId, kHoverId);
  display.PressMouse(box.ClientToScreen(Outside()));
  display.MoveMouse(box.Handle(), Face());
  display.ReleaseMouse(box.ClientToScreen(Face()));
  EXPECT_TRUE(display.WaitUntil([&] { return Button().latched.load() == 1; }, 200));
  EXPECT_FALSE(display.WaitUntil([&] { return ItemCommands() > 0; }, 100));
}

TEST_F(HoverButtonTest, WithoutPressedImageClicksDoNothing) {
  OpenWithKind3(kNormalId, 0, kHoverId);
  EXPECT_FALSE(Button().IsClickable());
  display.Click(box.Handle(), Face());
  EXPECT_FALSE(display.WaitUntil([&] { return ItemCommands() > 0 || Button().latched.load() != 0; }, 100));
  EXPECT_FALSE(ended.load());
}

TEST_F(HoverButtonTest, WithoutHoverImageThePointerChangesNothing) {
  OpenWithKind3(kNormalId, kPressedId, 0);
  display.MoveMouse(box.Handle(), Face());
  EXPECT_FALSE(display.WaitUntil([&] { return PixelAt(Face()) != kNormalFace || Button().IsMouseOver(); }, 100));
}

TEST_F(HoverButtonTest, MissingNormalImageMakesTheButtonInvisibleAndUnclickable) {
  OpenWithKind3(kMissingId, kPressedId, kHoverId);
  EXPECT_EQ(Button().ImageWidth(), 0);
  EXPECT_TRUE(Button().WindowRect().IsEmpty());
  EXPECT_EQ(PixelAt(Point{100, 200}), kGround);
  display.Click(box.Handle(), Point{100, 200});
  EXPECT_FALSE(display.WaitUntil([&] { return ItemCommands() > 0; }, 100));
}

TEST_F(HoverButtonTest, CaptionIsDrawnCentredInItsStyle) {
  box.SetButtonTextStyle(16, u"Sans", 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0x808080, 1);
  box.SetSkinModule(&skin);
  box.LoadBackground(kBackground400x300);
  box.SetSkinBitmaps(SkinIds());
  ASSERT_TRUE(box.AllocateButtons(1));
  box.AddButton(100, 3, u"OK", 100);
  Open();
  // White caption pixels near the centre of the face, none at its ends.
  ASSERT_TRUE(WaitForPixel(Point{145, 205}, kNormalFace));
  const Surface image = display.ImageOf(box.Handle());
  int white = 0;
  int whiteAtEnds = 0;
  for (int y = 200; y < 220; ++y) {
    for (int x = 100; x < 160; ++x) {
      if (image.Pixel(x, y) != 0xFFFFFF) continue;
      ++white;
      if (x < 115 || x >= 145) ++whiteAtEnds;
    }
  }
  EXPECT_GT(white, 10);
  EXPECT_EQ(whiteAtEnds, 0);
}

}  // namespace
}  // namespace ui_test
