#include <chrono>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Clock.h"

using platform::Condition;
using platform::Millis;
using platform::Thread;
using platform::VirtualClock;

namespace {

// Records (thread, virtual time) pairs in the order things happened.
struct Log {
  std::mutex mutex;
  std::vector<std::pair<int, Millis>> entries;
  void Add(int who, Millis at) {
    std::lock_guard<std::mutex> lock(mutex);
    entries.emplace_back(who, at);
  }
};

std::vector<std::pair<int, Millis>> RunSleepers(const std::vector<Millis>& sleeps) {
  VirtualClock clock;
  Log log;
  std::vector<Thread> threads;
  for (int i = 0; i < static_cast<int>(sleeps.size()); ++i) {
    threads.push_back(clock.StartThread([&, i] {
      clock.SleepFor(sleeps[i]);
      log.Add(i, clock.Now());
      clock.SleepFor(sleeps[i]);
      log.Add(i, clock.Now());
    }));
  }
  for (Thread& t : threads) t.Join();
  return log.entries;
}

}  // namespace

TEST(VirtualClock, SleepersWakeInDeadlineOrder) {
  const auto entries = RunSleepers({300, 100, 250});
  const std::vector<std::pair<int, Millis>> expected = {
      {1, 100}, {1, 200}, {2, 250}, {0, 300}, {2, 500}, {0, 600}};
  EXPECT_EQ(entries, expected);
}

TEST(VirtualClock, SameResultOnEveryRun) {
  // Distinct deadlines (equal ones wake in the order their threads began to wait, which is up to
  // the scheduler when the threads start together).
  const auto first = RunSleepers({40, 30, 10, 45, 25});
  for (int run = 0; run < 20; ++run) EXPECT_EQ(RunSleepers({40, 30, 10, 45, 25}), first);
}

TEST(VirtualClock, LongSleepTakesNoRealTime) {
  VirtualClock clock;
  const auto start = std::chrono::steady_clock::now();
  clock.SleepFor(20000);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(clock.Now(), 20000);
  // A real sleep would take 20 s; anything under a few seconds proves time was simulated.
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(VirtualClock, TimeStandsStillWhileAThreadRuns) {
  VirtualClock clock;
  std::mutex mutex;
  Condition released(clock);
  bool go = false;
  Millis seenBySleeper = -1;
  Thread sleeper = clock.StartThread([&] {
    clock.SleepFor(50);
    seenBySleeper = clock.Now();
  });
  // The main thread keeps running (not blocked), so the sleeper cannot wake yet.
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(clock.Now(), 0);
  Thread notifier = clock.StartThread([&] {
    std::lock_guard<std::mutex> lock(mutex);
    go = true;
    released.NotifyAll();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_TRUE(released.WaitUntil(lock, std::nullopt, [&] { return go; }));
  }
  sleeper.Join();
  notifier.Join();
  EXPECT_EQ(seenBySleeper, 50);
}

TEST(VirtualClock, WaitWithDeadlineTimesOutAtTheDeadline) {
  VirtualClock clock;
  std::mutex mutex;
  Condition never(clock);
  std::unique_lock<std::mutex> lock(mutex);
  EXPECT_FALSE(never.WaitUntil(lock, 1234, [] { return false; }));
  EXPECT_EQ(clock.Now(), 1234);
}

TEST(VirtualClock, NotifyWakesBeforeDeadline) {
  VirtualClock clock;
  std::mutex mutex;
  Condition ready(clock);
  bool flag = false;
  Thread setter = clock.StartThread([&] {
    clock.SleepFor(70);
    std::lock_guard<std::mutex> lock(mutex);
    flag = true;
    ready.NotifyAll();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    EXPECT_TRUE(ready.WaitUntil(lock, 5000, [&] { return flag; }));
  }
  EXPECT_EQ(clock.Now(), 70);
  setter.Join();
}

TEST(VirtualClockDeathTest, EveryThreadBlockedForeverAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        VirtualClock clock;
        std::mutex mutex;
        Condition never(clock);
        std::unique_lock<std::mutex> lock(mutex);
        never.WaitUntil(lock, std::nullopt);
      },
      "nothing is due");
}

TEST(RealClock, SleepLastsAtLeastItsTime) {
  platform::RealClock clock;
  const auto start = std::chrono::steady_clock::now();
  clock.SleepFor(3);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3));
}
