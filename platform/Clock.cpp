#include "platform/Clock.h"

namespace platform {

bool Condition::WaitUntil(std::unique_lock<std::mutex>& lock, std::optional<Millis> deadline) {
  return clock_.Block(*this, lock, deadline);
}

void Condition::NotifyAll() { clock_.Wake(*this); }

void Clock::SleepFor(Millis ms) {
  std::mutex mutex;
  Condition condition(*this);
  std::unique_lock<std::mutex> lock(mutex);
  const Millis deadline = Now() + (ms > 0 ? ms : 0);
  while (Now() < deadline) condition.WaitUntil(lock, deadline);
}

struct Thread::State {
  explicit State(Clock& clock) : done(clock) {}
  std::mutex mutex;
  Condition done;
  bool finished = false;
};

Thread Clock::StartThread(std::function<void()> body) {
  Thread thread;
  thread.state_ = std::make_shared<Thread::State>(*this);
  ThreadStarting();
  thread.thread_ = std::thread([this, state = thread.state_, body = std::move(body)] {
    ThreadBegun();
    body();
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->finished = true;
    }
    state->done.NotifyAll();
    ThreadEnded();
  });
  thread.id_ = thread.thread_.get_id();
  return thread;
}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    if (Joinable()) Join();
    state_ = std::move(other.state_);
    thread_ = std::move(other.thread_);
    id_ = other.id_;
  }
  return *this;
}

Thread::~Thread() {
  if (Joinable()) Join();
}

void Thread::Join() {
  if (!state_) return;
  {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->done.WaitUntil(lock, std::nullopt, [this] { return state_->finished; });
  }
  thread_.join();
  state_.reset();
}

}  // namespace platform
