#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/controls/CBitmapDelayBarCtrl.h"
#include "ui/controls/CBitmapProgressBarCtrl.h"

namespace ui_test {
namespace {

// The skin's colours: track grey, piece red (rows 4 to 54 of the 58).
constexpr std::uint32_t kTrackGrey = 0xEBECEC;
constexpr std::uint32_t kPieceRed = 0xE50040;
constexpr int kBandRow = 30;

// A top-level window owned by the test thread with one bar at (6, 168), as the dialogs place it.
template <class Bar>
class BarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(parent.CreateTopLevel(system, u"Test", u"", WS_POPUP | WS_VISIBLE, Rect{0, 0, 500, 353}));
    ASSERT_TRUE(bar.CreateChild(parent, u"", u"", WS_CHILD | WS_VISIBLE, Rect{6, 168, 6, 168}, 1173));
    bar.LoadBarBitmaps(647, 646);
  }

  // Paints what is pending and returns row `y` of the bar as the screen shows it.
  std::vector<std::uint32_t> BarRow(int y = kBandRow) {
    system.ProcessPendingMessages();
    const Surface image = display.ImageOf(parent.Handle());
    std::vector<std::uint32_t> row;
    for (int x = 0; x < 488; ++x) row.push_back(image.Pixel(6 + x, 168 + y));
    return row;
  }

  static int CountRed(const std::vector<std::uint32_t>& row) {
    return static_cast<int>(std::count(row.begin(), row.end(), kPieceRed));
  }

  VirtualClock clock;
  HeadlessDisplay display{clock, Rect{0, 0, 1000, 800}};
  WindowSystem system{clock, display};
  Window parent;
  Bar bar;
};

using ProgressBarTest = BarTest<CBitmapProgressBarCtrl>;
using DelayBarTest = BarTest<CBitmapDelayBarCtrl>;

TEST_F(ProgressBarTest, TakesTheTrackSizeAndCentresThePiece) {
  EXPECT_EQ(bar.WindowRect(), (Rect{6, 168, 494, 226}));
  EXPECT_EQ(bar.PieceWidth(), 32);
  EXPECT_EQ(bar.PieceHeight(), 58);
  EXPECT_EQ(bar.pieceX.load(), 0);
  EXPECT_EQ(bar.pieceY.load(), 0);
}

TEST_F(ProgressBarTest, FillGrowsWithTheStepsAndStopsAtTheRangeEnd) {
  bar.rangeMode = 1;
  bar.rangeLow = 0;
  bar.rangeHigh = 575;
  std::vector<std::uint32_t> row = BarRow();
  EXPECT_EQ(CountRed(row), 0);
  EXPECT_EQ(row.front(), kTrackGrey);

  for (int i = 0; i < 575; ++i) bar.StepIt();
  EXPECT_EQ(bar.FillWidth(), 488);
  row = BarRow();
  EXPECT_EQ(CountRed(row), 488);
  EXPECT_EQ(BarRow(2)[100], kTrackGrey);  // the piece's grey top rows are stretched too

  bar.StepIt();
  EXPECT_EQ(bar.position.load(), 575);
}

TEST_F(ProgressBarTest, FillWidthTable) {
  struct Case {
    std::uint16_t low, high, position;
    int fill;
  };
  const Case cases[] = {
      {0, 1000, 1, 0},      // 488 x 1 / 1000 is cut to 0
      {0, 575, 287, 243},   // 488 x 287 / 575
      {0, 0, 0, 0},         // no span
      {10, 5, 3, 0},        // high below low
      {0, 2, 1, 244},
  };
  bar.rangeMode = 1;
  for (const Case& c : cases) {
    bar.rangeLow = c.low;
    bar.rangeHigh = c.high;
    bar.position = c.position;
    bar.Invalidate();
    EXPECT_EQ(bar.FillWidth(), c.fill) << c.low << ".." << c.high << " at " << c.position;
    EXPECT_EQ(CountRed(BarRow()), c.fill) << c.low << ".." << c.high << " at " << c.position;
  }
}

TEST_F(ProgressBarTest, SteppedFromAnotherThreadWhileTheOwnerPaints) {
  bar.rangeMode = 1;
  bar.rangeHigh = 575;
  std::atomic<bool> stepped{false};
  Thread worker = clock.StartThread([&] {
    for (int i = 0; i < 575; ++i) {
      bar.StepIt();
      bar.Update();  // the owner thread paints it
    }
    stepped = true;
  });
  while (!stepped) {
    Message message;
    if (system.PeekMessage(message)) {
      system.DispatchMessage(message);
    } else {
      clock.SleepFor(1);
    }
  }
  worker.Join();
  EXPECT_EQ(CountRed(BarRow()), 488);
}

TEST_F(DelayBarTest, PieceEntersAtTheMarginAndWrapsBeforeTheRightBand) {
  EXPECT_EQ(bar.pieceX.load(), 5);
  std::vector<std::uint32_t> row = BarRow();
  EXPECT_EQ(CountRed(row), 32);
  EXPECT_EQ(row[5], kPieceRed);
  EXPECT_EQ(row[4], kTrackGrey);

  bar.pieceX = 451;
  bar.StepBy(1);  // 452: cut at 483
  row = BarRow();
  EXPECT_EQ(CountRed(row), 31);
  EXPECT_EQ(row[482], kPieceRed);
  EXPECT_EQ(row[483], kTrackGrey);

  bar.pieceX = 482;
  bar.StepBy(1);
  EXPECT_EQ(bar.pieceX.load(), -32);
}

TEST_F(DelayBarTest, PieceSlidesBackInAtTheLeftBand) {
  struct Case {
    int x;
    int red;
  };
  const Case cases[] = {{-32, 0}, {-27, 0}, {-26, 1}, {0, 27}, {4, 31}, {5, 32}};
  for (const Case& c : cases) {
    bar.pieceX = c.x;
    bar.Invalidate();
    const std::vector<std::uint32_t> row = BarRow();
    EXPECT_EQ(CountRed(row), c.red) << "at x " << c.x;
    EXPECT_EQ(row[4], kTrackGrey) << "at x " << c.x;
    if (c.red > 0) {
      EXPECT_EQ(row[5], kPieceRed) << "at x " << c.x;
    }
  }
}

TEST_F(DelayBarTest, RangeModeFillLeavesTwoPixels) {
  bar.rangeMode = 1;
  bar.rangeHigh = 100;
  bar.position = 100;
  EXPECT_EQ(bar.FillWidth(), 486);
}

TEST(BitmapBar, ShortPieceIsCentredOnTheTrack) {
  VirtualClock clock;
  HeadlessDisplay display(clock);
  WindowSystem system(clock, display);
  TestSkin skin;
  skin.Add(9201, Solid(488, 58, kTrackGrey));
  skin.Add(9202, Solid(32, 20, kPieceRed));
  Window parent;
  ASSERT_TRUE(parent.CreateTopLevel(system, u"Test", u"", WS_POPUP, Rect{0, 0, 500, 100}));
  CBitmapDelayBarCtrl bar;
  ASSERT_TRUE(bar.CreateChild(parent, u"", u"", WS_CHILD | WS_VISIBLE, Rect{0, 0, 0, 0}, 1173));
  bar.LoadBarBitmaps(9201, 9202, skin);
  EXPECT_EQ(bar.pieceY.load(), 19);
}

}  // namespace
}  // namespace ui_test
