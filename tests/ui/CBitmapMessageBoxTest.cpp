#include "ui/dialogs/CBitmapMessageBox.h"

#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"

namespace ui_test {
namespace {

class MessageBoxTest : public UiTest {
 protected:
  // A 400 x 300 box with one kind-3 item at x 307, 59 pixels above the bottom.
  void ConfigureOneButton(int code = 3) {
    box.SetSkinModule(&skin);
    box.LoadBackground(kBackground400x300);
    box.SetSkinBitmaps(SkinIds());
    ASSERT_TRUE(box.AllocateButtons(1));
    box.AddButton(307, code, u"GO", 59);
  }
};

TEST_F(MessageBoxTest, TakesTheBackgroundSizeAndPlacesItsButtons) {
  ConfigureOneButton();
  Open();

  EXPECT_EQ(box.ClientRect(), (Rect{0, 0, 400, 300}));
  EXPECT_EQ(box.BackgroundRect(), (Rect{0, 0, 400, 300}));
  // Created at (372, 5)-(398, 20), then sized to its 21 x 21 image where it stands.
  EXPECT_EQ(box.CloseButton().WindowRect(), (Rect{372, 5, 393, 26}));
  const ButtonItem* item = box.ButtonAt(0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->rect, (Rect{307, 241, 407, 251}));
  EXPECT_EQ(item->button.WindowRect(), (Rect{307, 241, 307 + kButtonWidth, 241 + kButtonHeight}));
  EXPECT_EQ(item->button.Id(), 2181);
  EXPECT_EQ(box.CloseButton().Id(), 2195);
  EXPECT_EQ(item->button.latchMode.load(), 1);
  EXPECT_EQ(item->button.latched.load(), 0);
  EXPECT_EQ(item->button.Caption(), u"GO");
  EXPECT_EQ(box.LayeredColorKey(), std::optional<ColorRef>(0xFF00FF));
}

TEST_F(MessageBoxTest, WithoutBackgroundKeepsTheTemplateSize) {
  box.SetSkinModule(&skin);
  box.LoadBackground(kMissingId);
  Open();
  EXPECT_EQ(box.ClientRect(), (Rect{0, 0, 381, 254}));
  EXPECT_EQ(box.Background(), nullptr);
}

TEST_F(MessageBoxTest, EnterEscapeAltF4AndSystemCloseLeaveItOpen) {
  ConfigureOneButton();
  Open();

  display.PressKey(VK_RETURN);
  display.PressKey(VK_ESCAPE);
  display.PressKey(VK_F4, /*alt=*/true);
  display.RequestClose(box.Handle());
  EXPECT_FALSE(WaitForEnd(2000));
  // The keys did arrive: Enter and Escape as OK and Cancel, the system close as Cancel.
  const std::vector<int> commands = box.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), IDOK), 1);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), IDCANCEL), 2);
  EXPECT_TRUE(display.IsShown(box.Handle()));
}

TEST_F(MessageBoxTest, CloseButtonEndsWithZero) {
  ConfigureOneButton();
  Open();
  display.Click(box.Handle(), CentreOf(box.CloseButton()));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(result.load(), 0);
}

TEST_F(MessageBoxTest, ButtonItemEndsWithItsCode) {
  ConfigureOneButton(/*code=*/3);
  Open();
  display.Click(box.Handle(), CentreOf(box.ButtonAt(0)->button));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(result.load(), 3);
}

TEST_F(MessageBoxTest, CommandOfAnUnfilledItemDoesNotEndIt) {
  ConfigureOneButton();
  Open();
  box.Post(WM_COMMAND, MakeWParam(2182, BN_CLICKED));
  EXPECT_FALSE(WaitForEnd(100));
}

TEST(MessageBoxButtons, AllocationIsOnceAndAddingStopsAtTheCapacity) {
  VirtualClock clock;
  HeadlessDisplay display(clock);
  WindowSystem system(clock, display);

  CBitmapMessageBox eight(system);
  ASSERT_TRUE(eight.AllocateButtons(8));
  EXPECT_FALSE(eight.AllocateButtons(2));
  EXPECT_EQ(eight.ButtonCapacity(), 8);
  for (int i = 0; i < 9; ++i) eight.AddButton(10 * i, i + 1, u"x", 50);
  EXPECT_EQ(eight.ButtonCount(), 8);
  EXPECT_EQ(eight.ButtonAt(7)->code, 8);
  EXPECT_EQ(eight.ButtonAt(8), nullptr);

  CBitmapMessageBox two(system);
  ASSERT_TRUE(two.AllocateButtons(2));
  two.AddButton(1, 1, nullptr, 5);
  two.AddButton(2, 2, u"b", 5);
  two.AddButton(3, 3, u"c", 5);
  EXPECT_EQ(two.ButtonCount(), 2);
  EXPECT_FALSE(two.ButtonAt(0)->caption.has_value());
  EXPECT_EQ(two.ButtonAt(1)->x, 2);

  CBitmapMessageBox none(system);
  EXPECT_TRUE(none.AllocateButtons(0));
  none.AddButton(1, 1, u"a", 5);
  EXPECT_EQ(none.ButtonCount(), 0);
  EXPECT_FALSE(none.AllocateButtons(1));
  EXPECT_FALSE(CBitmapMessageBox(system).AllocateButtons(-1));
  CBitmapMessageBox nine(system);
  ASSERT_TRUE(nine.AllocateButtons(9));
  for (int i = 0; i < 9; ++i) nine.AddButton(10 * i, 1, u"x", 50);
  EXPECT_EQ(nine.ButtonCount(), 8);
}

TEST(MessageBoxTexts, SetTextsReplacesOnlyGivenSlotsAndFontsFollowTheFace) {
  VirtualClock clock;
  HeadlessDisplay display(clock);
  WindowSystem system(clock, display);
  CBitmapMessageBox box(system);

  MessageBoxTexts initial = box.Texts();
  EXPECT_EQ(initial.statusText, std::u16string());
  EXPECT_FALSE(initial.headingText.has_value());
  EXPECT_EQ(initial.statusFont.CellHeight(), 14);
  EXPECT_EQ(initial.headingFont.Weight(), 700);

  box.SetTexts(u"status", nullptr, u"", nullptr);
  box.SetTexts(nullptr, u"heading", nullptr, nullptr);
  box.SetBodyFont(16, 300, u"Some Face");
  const MessageBoxTexts t = box.Texts();
  EXPECT_EQ(t.statusText, u"status");
  EXPECT_EQ(t.headingText, u"heading");
  EXPECT_EQ(t.messageText, u"");
  EXPECT_FALSE(t.bodyText.has_value());
  EXPECT_EQ(t.bodyFont.Weight(), 300);
  EXPECT_EQ(t.bodyFont.Face(), u"Some Face");

  // Only non-empty texts are drawn, so only they are described.
  const ScreenDescription screen = box.DescribeScreen();
  EXPECT_EQ(screen.status, u"status");
  EXPECT_EQ(screen.heading, u"heading");
  EXPECT_FALSE(screen.message.has_value());
  EXPECT_FALSE(screen.body.has_value());
  EXPECT_TRUE(screen.buttons.empty());
  EXPECT_FALSE(screen.progress.has_value());
}

TEST_F(MessageBoxTest, DescribesSeenAndEnabledButtonsOnly) {
  box.SetSkinModule(&skin);
  box.LoadBackground(kBackground400x300);
  std::array<int, CBitmapMessageBox::kSkinBitmapCount> ids = SkinIds();
  ids[3] = kMissingId;  // kind 1 has no normal image: its button is 0 x 0
  box.SetSkinBitmaps(ids);
  ASSERT_TRUE(box.AllocateButtons(3));
  box.AddButton(20, 3, u"FIRST", 59);
  box.AddButton(120, 1, u"INVISIBLE", 59);
  box.AddButton(220, 3, nullptr, 59);
  Open();

  EXPECT_EQ(box.DescribeScreen().buttons, (std::vector<std::u16string>{u"FIRST", u""}));
  EXPECT_TRUE(box.DescribeScreen().closeButton);
  box.ButtonAt(0)->button.ShowWindow(SW_HIDE);
  box.ButtonAt(2)->button.Enable(false);
  box.CloseButton().Enable(false);
  EXPECT_TRUE(box.DescribeScreen().buttons.empty());
  EXPECT_FALSE(box.DescribeScreen().closeButton);
}

TEST_F(MessageBoxTest, ReloadBackgroundResizesToTheNewBitmapFromAnotherThread) {
  ConfigureOneButton();
  Open();
  ASSERT_EQ(box.ClientRect().Width(), 400);

  // As a transfer worker does: new background id, loaded, reloaded while the dialog runs.
  box.LoadBackground(648);
  box.ReloadBackground();
  EXPECT_EQ(box.BackgroundId(), 648);
  EXPECT_EQ(box.ClientRect(), (Rect{0, 0, 500, 353}));
  EXPECT_EQ(box.BackgroundRect(), (Rect{0, 0, 500, 353}));
  const Bitmap skin648 = platform::LoadBitmap(648);
  ASSERT_NE(skin648, nullptr);
  EXPECT_TRUE(display.WaitUntil(
      [&] {
        const Surface image = display.ImageOf(box.Handle());
        return image.Width() == 500 && image.Height() == 353 && image.Pixel(450, 300) == skin648->Pixel(450, 300);
      },
      1000));
}

TEST_F(MessageBoxTest, ResetButtonStatesClearsALatchedItem) {
  ConfigureOneButton();
  box.swallowItemCommands = true;
  Open();
  CHoverButtonV2& button = box.ButtonAt(0)->button;
  display.Click(box.Handle(), CentreOf(button));
  ASSERT_TRUE(display.WaitUntil([&] { return button.latched.load() == 1; }, 200));
  EXPECT_TRUE(WaitForPixel(FaceOf(button), kPressedFace));

  box.Send(PaintedBox::kResetButtons);
  EXPECT_EQ(button.latched.load(), 0);
  EXPECT_EQ(button.latchMode.load(), 1);
  EXPECT_FALSE(button.IsPushed());
  EXPECT_TRUE(WaitForPixel(FaceOf(button), kHoverFace));  // the pointer is still on it
}

}  // namespace
}  // namespace ui_test
