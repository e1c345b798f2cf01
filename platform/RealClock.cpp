#include <sys/prctl.h>

#include <chrono>

#include "platform/Clock.h"

namespace platform {

namespace {
using Steady = std::chrono::steady_clock;
}

Millis RealClock::Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch()).count();
}

void RealClock::SleepFor(Millis ms) {
  // The kernel may let a sleep run late by the thread's timer slack (50 us by default) to batch
  // wake-ups. The device protocol sleeps twice per report exchange, thousands of times per
  // transfer, so the slack adds up to seconds; asking for none keeps sleeps at their length.
  static thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
  (void)precise;
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool RealClock::Block(Condition& condition, std::unique_lock<std::mutex>& lock,
                      std::optional<Millis> deadline) {
  if (!deadline) {
    condition.realCv_.wait(lock);
    return true;
  }
  const Steady::time_point until{std::chrono::milliseconds(*deadline)};
  return condition.realCv_.wait_until(lock, until) == std::cv_status::no_timeout;
}

void RealClock::Wake(Condition& condition) { condition.realCv_.notify_all(); }

}  // namespace platform
