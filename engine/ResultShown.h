#pragma once

#include <atomic>

// Set while a result or offer screen is, or has been, open in this run; while set, detection
// does not start the waiting dialog. Written and polled from several threads (detection, the
// waiting dialog's threads), hence atomic.
extern std::atomic<bool> resultShown;
