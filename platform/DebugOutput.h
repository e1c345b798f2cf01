#pragma once

#include <string_view>

namespace platform {

// The program's diagnostic channel: standard error, and only while switched on (the --debug
// option). Off by default, so an ordinary run prints nothing.
void SetDebugOutputEnabled(bool enabled);
bool DebugOutputEnabled();

// Writes text unchanged (no line ending added) when debugging output is on; does nothing
// otherwise. Safe to call from any thread.
void WriteDebugOutput(std::string_view text);

}  // namespace platform
