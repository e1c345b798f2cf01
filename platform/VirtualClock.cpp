#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

#include "platform/Clock.h"

namespace platform {

// One blocked thread. Lives on the waiting thread's stack; touched only under Impl::mutex.
struct Condition::Waiter {
  Condition* condition = nullptr;
  std::list<Waiter*>::iterator position;
  std::optional<Millis> deadline;
  std::uint64_t order = 0;
  bool woken = false;
  bool timedOut = false;
  bool outsider = false;  // a thread that does not take part; it never holds time back
  std::condition_variable cv;
};

struct VirtualClock::Impl {
  using Key = std::tuple<Millis, std::uint64_t, Condition::Waiter*>;

  std::mutex mutex;
  Millis now = 0;
  int participants = 0;
  int blocked = 0;
  std::uint64_t nextOrder = 0;
  std::set<Key> timed;  // waiters with a deadline, earliest first

  // Removes a waiter from every list and lets it run. Caller holds `mutex`.
  void Release(Condition::Waiter& w, bool timedOut) {
    w.condition->waiters_.erase(w.position);
    if (w.deadline) timed.erase(Key{*w.deadline, w.order, &w});
    w.woken = true;
    w.timedOut = timedOut;
    --blocked;
    if (w.outsider) --participants;
    w.cv.notify_one();
  }

  // While every participant is blocked, moves time to the earliest deadline and releases the one
  // waiter due first. Only one at a time, so that equal deadlines resolve in a fixed order.
  void AdvanceIfIdle() {
    if (participants == 0 || blocked < participants) return;
    if (timed.empty()) {
      std::fprintf(stderr,
                   "virtual clock: all %d threads are blocked at %lld ms and nothing is due; "
                   "aborting instead of hanging\n",
                   participants, static_cast<long long>(now));
      std::abort();
    }
    auto [deadline, order, waiter] = *timed.begin();
    (void)order;
    if (deadline > now) now = deadline;
    Release(*waiter, true);
  }
};

namespace {
// The virtual clock the current thread takes part in, if any.
thread_local const void* tlsParticipantOf = nullptr;
}  // namespace

VirtualClock::VirtualClock() : impl_(std::make_unique<Impl>()) {
  impl_->participants = 1;
  tlsParticipantOf = impl_.get();
}

VirtualClock::~VirtualClock() {
  if (tlsParticipantOf == impl_.get()) tlsParticipantOf = nullptr;
}

Millis VirtualClock::Now() {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->now;
}

bool VirtualClock::Block(Condition& condition, std::unique_lock<std::mutex>& lock,
                         std::optional<Millis> deadline) {
  Impl& impl = *impl_;
  std::unique_lock<std::mutex> clockLock(impl.mutex);
  if (deadline && *deadline <= impl.now) return false;

  Condition::Waiter w;
  w.condition = &condition;
  w.deadline = deadline;
  w.order = impl.nextOrder++;
  w.outsider = tlsParticipantOf != impl_.get();
  condition.waiters_.push_back(&w);
  w.position = std::prev(condition.waiters_.end());
  if (deadline) impl.timed.insert(Impl::Key{*deadline, w.order, &w});
  if (w.outsider) ++impl.participants;
  ++impl.blocked;

  lock.unlock();
  impl.AdvanceIfIdle();
  w.cv.wait(clockLock, [&w] { return w.woken; });
  clockLock.unlock();
  lock.lock();
  return !w.timedOut;
}

void VirtualClock::Wake(Condition& condition) {
  std::lock_guard<std::mutex> clockLock(impl_->mutex);
  while (!condition.waiters_.empty()) impl_->Release(*condition.waiters_.front(), false);
}

void VirtualClock::ThreadStarting() {
  std::lock_guard<std::mutex> clockLock(impl_->mutex);
  ++impl_->participants;
}

void VirtualClock::ThreadBegun() { tlsParticipantOf = impl_.get(); }

void VirtualClock::ThreadEnded() {
  tlsParticipantOf = nullptr;
  std::lock_guard<std::mutex> clockLock(impl_->mutex);
  --impl_->participants;
  impl_->AdvanceIfIdle();
}

VirtualClock::Participation::Participation(VirtualClock& clock) : clock_(clock) {
  clock_.ThreadStarting();
  clock_.ThreadBegun();
}

VirtualClock::Participation::~Participation() { clock_.ThreadEnded(); }

}  // namespace platform
