#pragma once

#include <atomic>
#include <cstdint>

// What shows the progress of a transfer (the upgrade dialog). Called from the transfer's
// thread.
class ProgressTarget {
 public:
  virtual ~ProgressTarget() = default;

  virtual void SetProgressRange(std::uint16_t low, std::uint16_t high) = 0;
  // One block has been sent and acknowledged.
  virtual void ProgressStep() = 0;
};

// The target of the transfer that runs (or ran last); the transfer stores it on entry. Written by
// the transfer thread and read by the dialog's thread, hence atomic.
extern std::atomic<ProgressTarget*> progressTarget;
