#include <gtest/gtest.h>

#include "platform/PushButton.h"
#include "tests/windowing/WindowingFixture.h"

namespace windowing_test {
namespace {

// A top-level window at (100, 100) with a small tree of children:
//   a (10,10)-(110,110) with its child inner at (20,20)-(40,40)
//   b (60,60)-(160,160), above a
//   off (150,10)-(190,50), disabled
//   hidden (10,150)-(50,190), not shown
class InputTest : public WindowingTest {
 protected:
  Recorder top{clock}, a{clock}, inner{clock}, b{clock}, off{clock}, hidden{clock};

  void SetUp() override {
    ASSERT_TRUE(top.CreateTopLevel(system, u"Top", u"top", WS_POPUP | WS_VISIBLE, Rect{100, 100, 400, 400}));
    ASSERT_TRUE(a.CreateChild(top, u"Child", u"a", WS_CHILD | WS_VISIBLE, Rect{10, 10, 110, 110}, 1));
    ASSERT_TRUE(inner.CreateChild(a, u"Child", u"inner", WS_CHILD | WS_VISIBLE, Rect{20, 20, 40, 40}, 3));
    ASSERT_TRUE(b.CreateChild(top, u"Child", u"b", WS_CHILD | WS_VISIBLE, Rect{60, 60, 160, 160}, 2));
    ASSERT_TRUE(off.CreateChild(top, u"Child", u"off", WS_CHILD | WS_VISIBLE | WS_DISABLED, Rect{150, 10, 190, 50}, 4));
    ASSERT_TRUE(hidden.CreateChild(top, u"Child", u"hidden", WS_CHILD, Rect{10, 150, 50, 190}, 5));
    Pump();
  }

  // Who got the last left-button press, and where.
  struct Hit {
    const Recorder* window;
    Point client;
  };
  Hit LastPress() {
    for (const Recorder* r : {&top, &a, &inner, &b, &off, &hidden}) {
      auto presses = r->Only(WM_LBUTTONDOWN);
      if (!presses.empty()) return Hit{r, PointFromLParam(presses.back().lParam)};
    }
    return Hit{nullptr, {}};
  }
  void ClearLogs() {
    for (Recorder* r : {&top, &a, &inner, &b, &off, &hidden}) r->ClearLog();
  }
};

TEST_F(InputTest, ClickGoesToDeepestVisibleEnabledWindowUnderPointer) {
  struct Case {
    Point screen;
    const Recorder* expected;
    Point client;
  } cases[] = {
      {{130, 130}, &inner, {0, 0}},   // a's child
      {{125, 125}, &a, {15, 15}},     // a, beside its child
      {{170, 170}, &b, {10, 10}},     // where a and b overlap, b is on top
      {{260, 120}, &top, {160, 20}},  // a disabled child passes the click to its parent
      {{120, 260}, &top, {20, 160}},  // a hidden child is not there
      {{399, 399}, &top, {299, 299}},
  };
  for (const Case& c : cases) {
    ClearLogs();
    display.Click(c.screen);
    Pump();
    const Hit hit = LastPress();
    EXPECT_EQ(hit.window, c.expected) << "at " << c.screen.x << "," << c.screen.y;
    EXPECT_EQ(hit.client, c.client) << "at " << c.screen.x << "," << c.screen.y;
    EXPECT_EQ(c.expected->Count(WM_LBUTTONUP), 1);
  }

  ClearLogs();
  display.Click(Point{50, 50});  // outside every window
  Pump();
  EXPECT_EQ(LastPress().window, nullptr);
}

TEST_F(InputTest, ResizedChildGoesToTopOfItsSiblings) {
  a.SetPosition(0, 0, 120, 120, SWP_NOMOVE | SWP_NOOWNERZORDER);
  EXPECT_EQ(a.WindowRect(), (Rect{10, 10, 130, 130}));
  display.Click(Point{170, 170});
  Pump();
  EXPECT_EQ(LastPress().window, &a);
  EXPECT_EQ(LastPress().client, (Point{60, 60}));

  ClearLogs();
  b.SetPosition(0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);  // keeps its place in the order
  display.Click(Point{170, 170});
  Pump();
  EXPECT_EQ(LastPress().window, &a);
}

TEST_F(InputTest, CaptureKeepsMouseInputWhileButtonHeld) {
  a.hook = [this](MessageId id, WParam, LParam, LResult&) {
    if (id == WM_LBUTTONDOWN) a.SetCapture();
    if (id == WM_LBUTTONUP) system.ReleaseCapture();
    return false;
  };
  display.MoveMouse(Point{125, 125});
  display.PressMouse(Point{125, 125});
  Pump();
  EXPECT_TRUE(a.HasCapture());
  display.MoveMouse(Point{250, 250});  // over b, then outside a entirely
  display.ReleaseMouse(Point{250, 250});
  Pump();
  EXPECT_EQ(b.Count(WM_MOUSEMOVE), 0);
  EXPECT_EQ(b.Count(WM_LBUTTONUP), 0);
  ASSERT_EQ(a.Count(WM_LBUTTONUP), 1);
  EXPECT_EQ(PointFromLParam(a.Only(WM_LBUTTONUP)[0].lParam), (Point{140, 140}));  // outside a's client area
  EXPECT_FALSE(a.HasCapture());

  display.MoveMouse(Point{250, 250});
  Pump();
  EXPECT_EQ(b.Count(WM_MOUSEMOVE), 1);
}

TEST_F(InputTest, HoverAfterPointerRestsAndLeaveWhenItGoes) {
  b.hook = [this](MessageId id, WParam, LParam, LResult&) {
    if (id == WM_MOUSEMOVE && b.Count(WM_MOUSEMOVE) == 1) b.TrackMouseEvent(TME_HOVER | TME_LEAVE, 100);
    return false;
  };
  display.MoveMouse(Point{200, 200});
  Pump();
  const Millis start = clock.Now();
  clock.SleepFor(500);  // blocked elsewhere: hover waits for the message loop
  EXPECT_EQ(b.Count(WM_MOUSEHOVER), 0);
  display.MoveMouse(Point{210, 200});  // moved: the hover time starts again
  Pump();
  const Millis moved = clock.Now();
  EXPECT_EQ(moved, start + 500);
  PumpUntil([&] { return b.Count(WM_MOUSEHOVER) == 1; });
  EXPECT_EQ(b.Only(WM_MOUSEHOVER)[0].time, moved + 100);
  EXPECT_EQ(PointFromLParam(b.Only(WM_MOUSEHOVER)[0].lParam), (Point{50, 40}));
  EXPECT_EQ(b.Count(WM_MOUSELEAVE), 0);

  display.MoveMouse(Point{120, 120});  // onto a
  Pump();
  EXPECT_EQ(b.Count(WM_MOUSELEAVE), 1);
  display.MoveMouse(Point{121, 120});
  Pump();
  EXPECT_EQ(b.Count(WM_MOUSELEAVE), 1);  // tracking ended with the leave
}

TEST_F(InputTest, LeaveWhenPointerLeavesTheScreenOrIsNotOverTheWindow) {
  display.MoveMouse(Point{200, 200});
  Pump();
  ASSERT_TRUE(b.TrackMouseEvent(TME_LEAVE));
  display.LeaveScreen();
  Pump();
  EXPECT_EQ(b.Count(WM_MOUSELEAVE), 1);

  a.TrackMouseEvent(TME_LEAVE);  // the pointer is not over a
  Pump();
  EXPECT_EQ(a.Count(WM_MOUSELEAVE), 1);
}

TEST_F(InputTest, KeysGoToTheActiveWindow) {
  Recorder other{clock};
  ASSERT_TRUE(other.CreateTopLevel(system, u"Other", u"other", WS_POPUP | WS_VISIBLE, Rect{500, 500, 600, 600}));
  EXPECT_EQ(system.ActiveWindow(), other.Handle());
  display.PressKey('A');
  top.BringToFront();
  display.PressKey(VK_F4, true);
  Pump();
  ASSERT_EQ(other.Count(WM_KEYDOWN), 1);
  EXPECT_EQ(other.Only(WM_KEYDOWN)[0].wParam, WParam{'A'});
  EXPECT_EQ(top.Count(WM_SYSKEYDOWN), 1);
  EXPECT_FALSE(top.Exists());  // Alt+F4 closes a plain window
  EXPECT_EQ(system.ActiveWindow(), other.Handle());
}

// Owner-drawn button that records the states it was drawn in.
class DrawnButton : public PushButton {
 public:
  ~DrawnButton() override { Destroy(); }
  std::vector<std::uint32_t> states;

 protected:
  void DrawItem(Canvas& canvas, std::uint32_t itemState) override {
    states.push_back(itemState);
    FillRect(canvas, ClientRect(), (itemState & ODS_SELECTED) ? Rgb(255, 0, 0) : Rgb(0, 255, 0));
  }
};

class PushButtonTest : public WindowingTest {
 protected:
  Recorder top{clock};
  DrawnButton button;

  void SetUp() override {
    ASSERT_TRUE(top.CreateTopLevel(system, u"Top", u"top", WS_POPUP | WS_VISIBLE, Rect{0, 0, 300, 200}));
    ASSERT_TRUE(button.Create(top, u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, Rect{50, 50, 150, 100}, 2181));
    Pump();
  }
  int Clicks() {
    int clicks = 0;
    for (const auto& e : top.Only(WM_COMMAND)) {
      if (e.wParam == MakeWParam(2181, BN_CLICKED) && e.lParam == static_cast<LParam>(button.Handle().value)) ++clicks;
    }
    return clicks;
  }
};

TEST_F(PushButtonTest, ClickInsideSendsCommandToParent) {
  display.Click(Point{60, 60});
  Pump();
  EXPECT_EQ(Clicks(), 1);
  EXPECT_FALSE(button.IsPushed());
  EXPECT_FALSE(button.HasCapture());
}

TEST_F(PushButtonTest, PushedWhilePressedOnItAndNoCommandWhenReleasedOutside) {
  display.MoveMouse(Point{60, 60});
  display.PressMouse(Point{60, 60});
  Pump();
  EXPECT_TRUE(button.IsPushed());
  EXPECT_EQ(button.Send(BM_GETSTATE), LResult{BST_PUSHED});
  EXPECT_EQ(display.ImageOf(top.Handle()).Pixel(60, 60), PixelOf(Rgb(255, 0, 0)));
  ASSERT_FALSE(button.states.empty());
  EXPECT_EQ(button.states.back(), ODS_SELECTED);

  display.MoveMouse(Point{250, 150});
  Pump();
  EXPECT_FALSE(button.IsPushed());
  display.MoveMouse(Point{70, 70});
  Pump();
  EXPECT_TRUE(button.IsPushed());
  display.MoveMouse(Point{250, 150});
  display.ReleaseMouse(Point{250, 150});
  Pump();
  EXPECT_EQ(Clicks(), 0);
  EXPECT_FALSE(button.HasCapture());
  EXPECT_EQ(display.ImageOf(top.Handle()).Pixel(60, 60), PixelOf(Rgb(0, 255, 0)));
}

TEST_F(PushButtonTest, ReleaseWithoutPressOnItDoesNothing) {
  display.PressMouse(Point{250, 150});
  display.MoveMouse(Point{60, 60});
  display.ReleaseMouse(Point{60, 60});
  Pump();
  EXPECT_EQ(Clicks(), 0);
}

TEST_F(PushButtonTest, DisabledButtonGetsNoClicksAndDrawsDisabled) {
  button.Enable(false);
  display.Click(Point{60, 60});
  Pump();
  EXPECT_EQ(Clicks(), 0);
  EXPECT_EQ(top.Count(WM_LBUTTONDOWN), 1);  // the parent got it
  ASSERT_FALSE(button.states.empty());
  EXPECT_EQ(button.states.back(), ODS_DISABLED);
}

TEST_F(PushButtonTest, SetStateAndSetStyle) {
  button.Send(BM_SETSTATE, 1);
  Pump();
  EXPECT_TRUE(button.IsPushed());
  button.Send(BM_SETSTATE, 0);
  EXPECT_FALSE(button.IsPushed());

  // Dropping the owner-draw type makes it a plain button that draws itself.
  button.Send(BM_SETSTYLE, (button.Style() & 0xFFF4) & 0xFFFF, 1);
  EXPECT_EQ(button.Style() & BS_TYPEMASK, BS_PUSHBUTTON);
  const auto drawnBefore = button.states.size();
  Pump();
  EXPECT_EQ(button.states.size(), drawnBefore);
  const Surface image = display.ImageOf(top.Handle());
  EXPECT_NE(image.Pixel(100, 75), PixelOf(Rgb(0, 255, 0)));
  EXPECT_NE(image.Pixel(100, 75), PixelOf(Rgb(200, 200, 200)));
}

}  // namespace
}  // namespace windowing_test
