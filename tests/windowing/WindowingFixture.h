#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Graphics.h"
#include "platform/Window.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"

namespace windowing_test {

using namespace platform;

// A window that logs every message it handles (with thread and time) and paints itself in one
// colour. `hook` may take a message over: it returns true when it handled it.
class Recorder : public Window {
 public:
  struct Entry {
    MessageId id;
    WParam wParam;
    LParam lParam;
    std::thread::id thread;
    Millis time;
    int sequence;  // across all recorders: which handled a message first
  };

  explicit Recorder(Clock& clock, ColorRef color = Rgb(200, 200, 200)) : clock_(clock), color_(color) {}
  ~Recorder() override { Destroy(); }

  std::function<bool(MessageId, WParam, LParam, LResult&)> hook;

  std::vector<Entry> Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  std::vector<Entry> Only(MessageId id) const {
    std::vector<Entry> matching;
    for (const Entry& e : Log()) {
      if (e.id == id) matching.push_back(e);
    }
    return matching;
  }
  int Count(MessageId id) const { return static_cast<int>(Only(id).size()); }
  void ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
  }

 protected:
  LResult HandleMessage(MessageId message, WParam wParam, LParam lParam) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      static std::atomic<int> nextSequence{0};
      log_.push_back(Entry{message, wParam, lParam, std::this_thread::get_id(), clock_.Now(), nextSequence++});
    }
    LResult result = 0;
    if (hook && hook(message, wParam, lParam, result)) return result;
    if (message == WM_PAINT) {
      FillRect(CanvasOf(wParam), ClientRect(), color_);
      return 0;
    }
    return DefaultProcessing(message, wParam, lParam);
  }

 private:
  Clock& clock_;
  const ColorRef color_;
  mutable std::mutex mutex_;
  std::vector<Entry> log_;
};

// A virtual clock, a headless screen and a window system on them.
class WindowingTest : public ::testing::Test {
 protected:
  VirtualClock clock;
  HeadlessDisplay display{clock, Rect{0, 0, 1000, 800}};
  WindowSystem system{clock, display};

  void Pump() { system.ProcessPendingMessages(); }

  // Handles messages on this thread until `done` holds; the clock moves on while it waits.
  void PumpUntil(const std::function<bool()>& done) {
    while (!done()) {
      Message message;
      ASSERT_TRUE(system.GetMessage(message)) << "quit while pumping";
      system.DispatchMessage(message);
    }
  }
};

}  // namespace windowing_test
