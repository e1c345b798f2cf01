#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What `--simulate` asks for: a built-in device in place of the machine's hardware.
struct SimulatedDeviceOptions {
  bool groupB = false;  // false: a keyboard of group A; true: a mouse of group B
  std::uint16_t productId = 0x0076;
  std::array<std::uint8_t, 3> version{5, 2, 1};
  std::uint8_t modelCode = 14;
  std::array<std::uint8_t, 3> newVersion{6, 0, 0};  // what it reports after flashing
  std::int64_t restartMs = 3000;                    // how long it is gone while reprogramming
};

struct ProgramOptions {
  std::optional<SimulatedDeviceOptions> simulate;
  bool headless = false;
  bool yes = false;
  bool debug = false;
  bool help = false;
  bool version = false;
  std::string screenshotsDir;  // empty: no screenshots
};

// The result of reading the command line: the options, or one line saying what is wrong.
struct ParsedOptions {
  ProgramOptions options;
  std::string error;  // empty when the command line is good
};

// Reads the arguments after the program name. Never touches anything; a bad command line only
// produces `error`, and the caller prints it with the usage and exits with status 2.
ParsedOptions ParseProgramOptions(std::span<const std::string_view> args);

// Reads a `--simulate` value such as "mouse,pid=0079,version=1.3.7,restart-ms=500".
// Returns the error text, or an empty string when the value is good.
std::string ParseSimulateValue(std::string_view value, SimulatedDeviceOptions& out);

std::string_view UsageText();
