#include <gtest/gtest.h>

#include <atomic>

#include "tests/windowing/WindowingFixture.h"

namespace windowing_test {
namespace {

constexpr ColorRef kRed = Rgb(255, 0, 0);
constexpr ColorRef kBlue = Rgb(0, 0, 255);

class PaintingTest : public WindowingTest {
 protected:
  Recorder top{clock, kRed};
  Recorder child{clock, kBlue};

  void SetUp() override {
    ASSERT_TRUE(top.CreateTopLevel(system, u"Top", u"painted", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 100}));
    ASSERT_TRUE(child.CreateChild(top, u"Child", u"", WS_CHILD | WS_VISIBLE, Rect{20, 10, 60, 50}, 1));
    Pump();
  }
  std::uint32_t PixelAt(int x, int y) { return display.ImageOf(top.Handle()).Pixel(x, y); }
};

TEST_F(PaintingTest, TreeIsPaintedParentFirstIntoOneSurfaceAndPresented) {
  ASSERT_EQ(top.Count(WM_PAINT), 1);
  ASSERT_EQ(child.Count(WM_PAINT), 1);
  EXPECT_LT(top.Only(WM_PAINT)[0].sequence, child.Only(WM_PAINT)[0].sequence);
  EXPECT_EQ(display.PresentCount(top.Handle()), 1);
  EXPECT_EQ(PixelAt(5, 5), PixelOf(kRed));
  EXPECT_EQ(PixelAt(20, 10), PixelOf(kBlue));
  EXPECT_EQ(PixelAt(59, 49), PixelOf(kBlue));
  EXPECT_EQ(PixelAt(60, 50), PixelOf(kRed));

  // Erase comes before paint.
  const auto log = top.Log();
  int erase = -1, paint = -1;
  for (int i = 0; i < static_cast<int>(log.size()); ++i) {
    if (log[i].id == WM_ERASEBKGND && erase < 0) erase = i;
    if (log[i].id == WM_PAINT && paint < 0) paint = i;
  }
  EXPECT_GE(erase, 0);
  EXPECT_LT(erase, paint);
}

TEST_F(PaintingTest, InvalidationsCoalesceIntoOnePaint) {
  top.ClearLog();
  top.InvalidateRect(Rect{0, 0, 10, 10}, false);
  top.InvalidateRect(Rect{100, 50, 110, 60}, false);
  top.Invalidate(false);
  EXPECT_EQ(top.UpdateRect(), (Rect{0, 0, 200, 100}));
  Pump();
  EXPECT_EQ(top.Count(WM_PAINT), 1);
  EXPECT_EQ(top.Count(WM_ERASEBKGND), 0);  // none of them asked for erasing
  EXPECT_TRUE(top.UpdateRect().IsEmpty());
  EXPECT_EQ(display.PresentCount(top.Handle()), 2);

  top.ClearLog();
  top.InvalidateRect(Rect{0, 0, 10, 10}, false);
  top.InvalidateRect(Rect{0, 0, 10, 10}, true);
  Pump();
  EXPECT_EQ(top.Count(WM_PAINT), 1);
  EXPECT_EQ(top.Count(WM_ERASEBKGND), 1);
}

TEST_F(PaintingTest, RepaintOfParentRepaintsChildrenOverIt) {
  child.ClearLog();
  top.Invalidate(true);
  Pump();
  EXPECT_EQ(child.Count(WM_PAINT), 1);
  EXPECT_EQ(PixelAt(30, 20), PixelOf(kBlue));

  child.ClearLog();
  top.InvalidateRect(Rect{100, 0, 200, 100}, true);  // away from the child
  Pump();
  EXPECT_EQ(child.Count(WM_PAINT), 0);
}

TEST_F(PaintingTest, HidingOrMovingChildRepaintsWhatWasUnderIt) {
  child.ShowWindow(SW_HIDE);
  Pump();
  EXPECT_EQ(PixelAt(30, 20), PixelOf(kRed));
  child.ShowWindow(SW_SHOW);
  child.SetPosition(120, 10, 0, 0, SWP_NOSIZE);
  Pump();
  EXPECT_EQ(PixelAt(30, 20), PixelOf(kRed));
  EXPECT_EQ(PixelAt(130, 20), PixelOf(kBlue));
}

TEST_F(PaintingTest, SetRedrawFalseHoldsPaintingUntilTrue) {
  top.ClearLog();
  top.Send(WM_SETREDRAW, 0);
  top.Invalidate(true);
  Pump();
  EXPECT_EQ(top.Count(WM_PAINT), 0);
  EXPECT_EQ(display.PresentCount(top.Handle()), 1);
  top.Send(WM_SETREDRAW, 1);
  Pump();
  EXPECT_EQ(top.Count(WM_PAINT), 1);
}

TEST_F(PaintingTest, UpdatePaintsAtOnce) {
  top.ClearLog();
  top.Invalidate(true);
  top.Update();
  EXPECT_EQ(top.Count(WM_PAINT), 1);
  top.Update();  // nothing invalid: no paint
  EXPECT_EQ(top.Count(WM_PAINT), 1);
}

TEST_F(PaintingTest, ResizedTopLevelGetsNewSurface) {
  top.SetPosition(0, 0, 300, 120, SWP_NOMOVE | SWP_NOZORDER);
  Pump();
  const Surface image = display.ImageOf(top.Handle());
  EXPECT_EQ(image.Width(), 300);
  EXPECT_EQ(image.Height(), 120);
  EXPECT_EQ(image.Pixel(299, 119), PixelOf(kRed));
  EXPECT_EQ(image.Pixel(30, 20), PixelOf(kBlue));
}

// A child created by a worker thread under a window of this thread: its paint runs here, and the
// worker's Update waits for it.
TEST_F(PaintingTest, ChildOfAnotherThreadIsPaintedOnOwnerThread) {
  Recorder bar{clock, Rgb(0, 255, 0)};
  top.hook = [&](MessageId id, WParam, LParam, LResult&) {
    if (id == WM_USER) system.PostQuitMessage(0);
    return id == WM_USER;
  };
  std::atomic<bool> paintedBeforeUpdateReturned{false};
  Thread worker = clock.StartThread([&] {
    bar.CreateChild(top, u"Bar", u"", WS_CHILD | WS_VISIBLE, Rect{100, 60, 180, 70}, 1173);
    clock.SleepFor(50);
    const int before = bar.Count(WM_PAINT);
    bar.Invalidate(true);
    bar.Update();
    paintedBeforeUpdateReturned = bar.Count(WM_PAINT) > before;
    top.Post(WM_USER);
  });
  system.RunMessageLoop();
  worker.Join();
  EXPECT_TRUE(paintedBeforeUpdateReturned);
  for (const auto& paint : bar.Only(WM_PAINT)) EXPECT_EQ(paint.thread, std::this_thread::get_id());
  EXPECT_EQ(PixelAt(150, 65), PixelOf(Rgb(0, 255, 0)));
}

TEST_F(PaintingTest, ObserverSeesEachPresentedImage) {
  std::vector<std::uint32_t> seen;
  display.SetPaintObserver([&](WindowHandle window, const Surface& image) {
    EXPECT_EQ(window, top.Handle());
    seen.push_back(image.Pixel(30, 20));
  });
  child.Invalidate(true);
  Pump();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], PixelOf(kBlue));
  display.SetPaintObserver({});
}

TEST_F(PaintingTest, ScreenshotPlacesWindowsAtTheirScreenPosition) {
  top.SetPosition(500, 400, 0, 0, SWP_NOSIZE);
  Pump();
  const Surface screen = display.Screenshot();
  EXPECT_EQ(screen.Width(), 1000);
  EXPECT_EQ(screen.Pixel(505, 405), PixelOf(kRed));
  EXPECT_EQ(screen.Pixel(530, 420), PixelOf(kBlue));
  EXPECT_EQ(screen.Pixel(499, 399), 0u);
  const std::string path = ::testing::TempDir() + "windowing_screenshot.png";
  std::string error;
  EXPECT_TRUE(display.SaveScreenshotPng(path, &error)) << error;
}

TEST_F(PaintingTest, FindWindowByClassAndTitle) {
  Recorder other{clock};
  ASSERT_TRUE(other.CreateTopLevel(system, u"Other", u"painted", WS_POPUP, Rect{0, 0, 5, 5}));
  EXPECT_EQ(system.FindWindow(u"Top", u"painted"), top.Handle());
  EXPECT_EQ(system.FindWindow(std::nullopt, u"painted"), other.Handle());  // the topmost match
  EXPECT_EQ(system.FindWindow(u"Other", std::nullopt), other.Handle());
  EXPECT_FALSE(system.FindWindow(u"Top", u"nothing"));
  EXPECT_EQ(system.FindChild(top.Handle(), 1), child.Handle());
  top.BringToFront();
  EXPECT_EQ(system.FindWindow(std::nullopt, u"painted"), top.Handle());
  EXPECT_EQ(display.ShownWindows().front(), top.Handle());
}

}  // namespace
}  // namespace windowing_test
