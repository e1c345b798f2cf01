#include "platform/DebugOutput.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {
std::atomic<bool> debugOutputEnabled{false};
}  // namespace

void SetDebugOutputEnabled(bool enabled) { debugOutputEnabled.store(enabled); }

bool DebugOutputEnabled() { return debugOutputEnabled.load(); }

void WriteDebugOutput(std::string_view text) {
  if (!DebugOutputEnabled()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace platform
