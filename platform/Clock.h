#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <condition_variable>

namespace platform {

// Milliseconds on a clock's own time line (real: since an arbitrary start; virtual: since 0).
using Millis = std::int64_t;

class Clock;

// Something threads wait for. Every blocking wait in the program (sleeps, message waits,
// cross-thread sends, joins) is a wait on a Condition, so that the virtual clock can tell when
// every participating thread is blocked and time may jump to the earliest deadline.
//
// Use it like a condition variable: change the shared state under your mutex, then NotifyAll();
// wait with the same mutex held, in a loop over your predicate (or with the predicate overload).
class Condition {
 public:
  explicit Condition(Clock& clock) : clock_(clock) {}
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Releases `lock`, blocks until notified or until `deadline` (absolute, on the clock) passes,
  // and takes `lock` again. Returns false when the deadline passed. Spurious returns are allowed.
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::optional<Millis> deadline);

  // Waits until `ready()` holds or the deadline passes; returns ready().
  template <class Pred>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::optional<Millis> deadline, Pred ready) {
    while (!ready()) {
      if (!WaitUntil(lock, deadline)) return ready();
    }
    return true;
  }

  // Wakes every thread waiting on this condition.
  void NotifyAll();

  Clock& GetClock() const { return clock_; }

 private:
  friend class RealClock;
  friend class VirtualClock;
  Clock& clock_;
  std::condition_variable realCv_;  // used by the real clock
  struct Waiter;
  std::list<Waiter*> waiters_;      // used by the virtual clock, under its own lock
};

// A thread started through a clock. Joining is a clock wait, so a join never stalls virtual time.
// The destructor joins if the thread was not joined yet.
class Thread {
 public:
  Thread() = default;
  Thread(Thread&&) noexcept = default;
  Thread& operator=(Thread&&) noexcept;
  ~Thread();

  bool Joinable() const { return state_ != nullptr; }
  void Join();
  std::thread::id Id() const { return id_; }

 private:
  friend class Clock;
  struct State;
  std::shared_ptr<State> state_;
  std::thread thread_;
  std::thread::id id_;
};

// Time and waiting for the whole program. Two implementations: RealClock for real use and
// VirtualClock (a discrete-event clock) for tests.
class Clock {
 public:
  virtual ~Clock() = default;

  virtual Millis Now() = 0;
  virtual void SleepFor(Millis ms);

  // Starts `body` on a new thread that takes part in this clock.
  Thread StartThread(std::function<void()> body);

 protected:
  friend class Condition;
  friend class Thread;
  virtual bool Block(Condition& condition, std::unique_lock<std::mutex>& lock,
                     std::optional<Millis> deadline) = 0;
  virtual void Wake(Condition& condition) = 0;
  // ThreadStarting runs on the starting thread before the new thread exists, ThreadBegun first
  // and ThreadEnded last on the new thread; the virtual clock counts participants with them.
  virtual void ThreadStarting() {}
  virtual void ThreadBegun() {}
  virtual void ThreadEnded() {}
};

// Wall-clock time from std::chrono::steady_clock.
class RealClock final : public Clock {
 public:
  Millis Now() override;
  // Sleeps at least `ms` real milliseconds (not rounded to the millisecond grid of Now()).
  void SleepFor(Millis ms) override;

 protected:
  bool Block(Condition& condition, std::unique_lock<std::mutex>& lock,
             std::optional<Millis> deadline) override;
  void Wake(Condition& condition) override;
};

// Discrete-event time for tests. Time stands still while any participating thread runs; when
// every participant is blocked on a Condition, time jumps to the earliest deadline and the
// waiters due then wake, in deadline order (ties in the order they began to wait). The thread
// that constructs the clock participates, and so does every thread started through it.
//
// If every participant is blocked and none has a deadline, nothing can ever happen again: the
// clock reports the deadlock on standard error and aborts, so a broken test fails instead of
// hanging.
class VirtualClock final : public Clock {
 public:
  VirtualClock();
  ~VirtualClock() override;

  Millis Now() override;

  // For a thread not started through the clock (for example a test's helper thread) to take part
  // while the returned object lives.
  class Participation {
   public:
    explicit Participation(VirtualClock& clock);
    ~Participation();
    Participation(const Participation&) = delete;
    Participation& operator=(const Participation&) = delete;

   private:
    VirtualClock& clock_;
  };

 protected:
  bool Block(Condition& condition, std::unique_lock<std::mutex>& lock,
             std::optional<Millis> deadline) override;
  void Wake(Condition& condition) override;
  void ThreadStarting() override;
  void ThreadBegun() override;
  void ThreadEnded() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
