// Reads arbitrary command lines. Input: the arguments, separated by NUL bytes.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/ProgramOptions.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::int64_t kMaxRestartMs = 600000;

std::vector<std::string_view> SplitArguments(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> args;
  for (std::size_t start = 0; start <= all.size();) {
    const std::size_t end = std::min(all.find('\0', start), all.size());
    args.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

std::string Version(const std::array<std::uint8_t, 3>& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]);
}

// The value that asks for exactly this device.
std::string SimulateValue(const SimulatedDeviceOptions& d) {
  char pid[8];
  std::snprintf(pid, sizeof pid, "%04x", d.productId);
  return std::string(d.groupB ? "mouse" : "keyboard") + ",pid=" + pid + ",version=" +
         Version(d.version) + ",newversion=" + Version(d.newVersion) +
         ",model=" + std::to_string(d.modelCode) + ",restart-ms=" + std::to_string(d.restartMs);
}

bool Same(const SimulatedDeviceOptions& a, const SimulatedDeviceOptions& b) {
  return a.groupB == b.groupB && a.productId == b.productId && a.version == b.version &&
         a.modelCode == b.modelCode && a.newVersion == b.newVersion && a.restartMs == b.restartMs;
}

// An accepted device is within limits and reads back the same from the value that describes it.
void CheckDevice(const SimulatedDeviceOptions& device) {
  FUZZ_CHECK(device.restartMs >= 0 && device.restartMs <= kMaxRestartMs);
  SimulatedDeviceOptions again;
  FUZZ_CHECK(ParseSimulateValue(SimulateValue(device), again).empty());
  FUZZ_CHECK(Same(device, again));
}

// Whether `wanted` is given as an option, and not as the folder after "--screenshots".
bool Contains(const std::vector<std::string_view>& args, std::string_view wanted) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == wanted) return true;
    if (args[i] == "--screenshots") ++i;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> args = SplitArguments(data, size);

  // The first argument on its own, as a --simulate value.
  SimulatedDeviceOptions device;
  const std::string error = ParseSimulateValue(args[0], device);
  if (error.empty()) CheckDevice(device);

  const ParsedOptions parsed = ParseProgramOptions(args);
  if (!parsed.error.empty()) return 0;
  const ProgramOptions& o = parsed.options;
  if (o.simulate) CheckDevice(*o.simulate);
  FUZZ_CHECK(o.headless == Contains(args, "--headless"));
  FUZZ_CHECK(o.yes == Contains(args, "--yes"));
  FUZZ_CHECK(o.debug == Contains(args, "--debug"));
  FUZZ_CHECK(o.version == Contains(args, "--version"));
  FUZZ_CHECK(o.help == (Contains(args, "--help") || Contains(args, "-h")));
  return 0;
}
