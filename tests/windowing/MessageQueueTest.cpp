#include <gtest/gtest.h>

#include <atomic>
#include <utility>

#include "tests/windowing/WindowingFixture.h"

namespace windowing_test {
namespace {

using MessageQueueTest = WindowingTest;

TEST_F(MessageQueueTest, TimersFireInDeadlineOrderOnTheClock) {
  Recorder w{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  std::vector<std::pair<WParam, Millis>> fired;
  w.hook = [&](MessageId id, WParam wParam, LParam, LResult&) {
    if (id == WM_TIMER) {
      fired.emplace_back(wParam, clock.Now());
      if (fired.size() == 6) system.PostQuitMessage(0);
    }
    return false;
  };
  EXPECT_EQ(w.SetTimer(1, 300), 1u);
  EXPECT_EQ(w.SetTimer(2, 200), 2u);
  system.RunMessageLoop();
  // At 600 both are due; timer 1 was re-armed (at 300) before timer 2 (at 400).
  const std::vector<std::pair<WParam, Millis>> expected = {{2, 200}, {1, 300}, {2, 400}, {1, 600}, {2, 600}, {2, 800}};
  EXPECT_EQ(fired, expected);
}

TEST_F(MessageQueueTest, TimerDoesNotFireWhileThreadIsBlockedElsewhere) {
  Recorder w{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  w.SetTimer(7, 100);
  clock.SleepFor(1000);
  EXPECT_EQ(w.Count(WM_TIMER), 0);
  Pump();
  ASSERT_EQ(w.Count(WM_TIMER), 1);  // one, not a burst for the ten intervals missed
  EXPECT_EQ(w.Only(WM_TIMER)[0].time, 1000);

  EXPECT_TRUE(w.KillTimer(7));
  EXPECT_FALSE(w.KillTimer(7));
  clock.SleepFor(1000);
  Pump();
  EXPECT_EQ(w.Count(WM_TIMER), 1);
}

TEST_F(MessageQueueTest, TimersEndWithTheirWindow) {
  Recorder w{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  w.SetTimer(1, 100);
  w.Destroy();
  EXPECT_EQ(w.SetTimer(1, 100), 0u);
  clock.SleepFor(500);
  Message message;
  EXPECT_FALSE(system.PeekMessage(message));
}

TEST_F(MessageQueueTest, CrossThreadSendRunsOnOwnerThreadAndWaitsForResult) {
  Recorder w{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  w.hook = [&](MessageId id, WParam wParam, LParam, LResult& result) {
    if (id != WM_USER) return false;
    result = static_cast<LResult>(wParam) + 1;
    system.PostQuitMessage(0);
    return true;
  };
  std::atomic<LResult> answer{0};
  Thread sender = clock.StartThread([&] { answer = w.Send(WM_USER, 41); });
  system.RunMessageLoop();
  sender.Join();
  EXPECT_EQ(answer.load(), 42);
  ASSERT_EQ(w.Count(WM_USER), 1);
  EXPECT_EQ(w.Only(WM_USER)[0].thread, std::this_thread::get_id());
}

TEST_F(MessageQueueTest, ThreadWaitingInSendHandlesSendsAddressedToIt) {
  Recorder mine{clock};
  ASSERT_TRUE(mine.CreateTopLevel(system, u"W", u"main", WS_POPUP, Rect{0, 0, 10, 10}));
  std::atomic<std::uint64_t> theirsHandle{0};
  mine.hook = [&](MessageId id, WParam, LParam, LResult& result) {
    if (id != WM_USER) return false;
    // Back to the sender's thread while it waits for this very send.
    result = 42 + system.SendMessage(WindowHandle{theirsHandle.load()}, WM_USER + 1);
    system.PostQuitMessage(0);
    return true;
  };
  std::atomic<LResult> answer{0};
  std::thread::id theirThread;
  std::thread::id handledOn;
  Thread worker = clock.StartThread([&] {
    Recorder theirs{clock};
    theirs.CreateTopLevel(system, u"W", u"worker", WS_POPUP, Rect{0, 0, 10, 10});
    theirs.hook = [&](MessageId id, WParam, LParam, LResult& result) {
      if (id != WM_USER + 1) return false;
      handledOn = std::this_thread::get_id();
      result = 7;
      return true;
    };
    theirThread = std::this_thread::get_id();
    theirsHandle = theirs.Handle().value;
    answer = mine.Send(WM_USER);
  });
  system.RunMessageLoop();
  worker.Join();
  EXPECT_EQ(answer.load(), 49);
  EXPECT_EQ(handledOn, theirThread);
}

TEST_F(MessageQueueTest, SendToWindowOfEndedThreadReturnsAndPostFails) {
  Recorder orphan{clock};
  clock.StartThread([&] { orphan.CreateTopLevel(system, u"W", u"orphan", WS_POPUP, Rect{0, 0, 10, 10}); }).Join();
  EXPECT_TRUE(orphan.Exists());
  EXPECT_FALSE(orphan.Post(WM_USER));
  EXPECT_EQ(orphan.Send(WM_USER), 0);  // handled here, as nobody else can
  orphan.Destroy();
  EXPECT_FALSE(orphan.Exists());
}

TEST_F(MessageQueueTest, PostedMessagesKeepOrderAndMessagesToDestroyedWindowsAreDropped) {
  Recorder w{clock}, gone{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  ASSERT_TRUE(gone.CreateTopLevel(system, u"W", u"gone", WS_POPUP, Rect{0, 0, 10, 10}));
  for (WParam i = 0; i < 5; ++i) w.Post(WM_USER, i);
  gone.Post(WM_USER);
  const WindowHandle goneHandle = gone.Handle();
  gone.Destroy();
  EXPECT_FALSE(system.PostMessage(goneHandle, WM_USER));
  Pump();
  ASSERT_EQ(w.Count(WM_USER), 5);
  for (WParam i = 0; i < 5; ++i) EXPECT_EQ(w.Only(WM_USER)[i].wParam, i);
  EXPECT_EQ(gone.Count(WM_USER), 0);
}

TEST_F(MessageQueueTest, QuitIsPerThreadAndComesAfterPostedMessages) {
  Recorder w{clock};
  ASSERT_TRUE(w.CreateTopLevel(system, u"W", u"w", WS_POPUP, Rect{0, 0, 10, 10}));
  w.Post(WM_USER);
  system.PostQuitMessage(3);
  clock.StartThread([&] { system.PostQuitMessage(9); }).Join();  // another thread's queue
  EXPECT_EQ(system.RunMessageLoop(), 3);
  EXPECT_EQ(w.Count(WM_USER), 1);
  Message message;
  EXPECT_FALSE(system.PeekMessage(message));
}

}  // namespace
}  // namespace windowing_test
