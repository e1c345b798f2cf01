#include "app/ProgramOptions.h"

#include <charconv>
#include <vector>

namespace {

// Restart times above this are surely a typing mistake; the limit also keeps the simulation from
// waiting for hours.
constexpr std::int64_t kMaxRestartMs = 600000;

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

template <class T>
bool ParseNumber(std::string_view text, int base, T& out) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseHexId(std::string_view text, std::uint16_t& out) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  return text.size() <= 4 && ParseNumber(text, 16, out);
}

bool ParseByte(std::string_view text, std::uint8_t& out) {
  unsigned value = 0;
  if (text.size() > 3 || !ParseNumber(text, 10, value) || value > 255) return false;
  out = static_cast<std::uint8_t>(value);
  return true;
}

bool ParseVersion(std::string_view text, std::array<std::uint8_t, 3>& out) {
  const std::vector<std::string_view> parts = Split(text, '.');
  if (parts.size() != 3) return false;
  std::array<std::uint8_t, 3> v{};
  for (std::size_t i = 0; i < 3; ++i) {
    if (!ParseByte(parts[i], v[i])) return false;
  }
  out = v;
  return true;
}

std::string ApplyKind(std::string_view kind, SimulatedDeviceOptions& out) {
  if (kind == "keyboard") {
    out = SimulatedDeviceOptions{};
    return {};
  }
  if (kind == "mouse") {
    out = SimulatedDeviceOptions{};
    out.groupB = true;
    out.productId = 0x0078;
    out.modelCode = 7;
    return {};
  }
  return "--simulate: unknown device kind '" + std::string(kind) + "' (keyboard or mouse)";
}

std::string ApplyKey(std::string_view key, std::string_view value, SimulatedDeviceOptions& out) {
  const std::string where = "--simulate: " + std::string(key) + "=" + std::string(value) + ": ";
  if (key == "pid") {
    return ParseHexId(value, out.productId) ? "" : where + "expected a hexadecimal product id";
  }
  if (key == "version") {
    return ParseVersion(value, out.version) ? "" : where + "expected a version a.b.c (0-255 each)";
  }
  if (key == "newversion") {
    return ParseVersion(value, out.newVersion) ? "" : where + "expected a version a.b.c (0-255 each)";
  }
  if (key == "model") {
    return ParseByte(value, out.modelCode) ? "" : where + "expected a model code 0-255";
  }
  if (key == "restart-ms") {
    std::int64_t ms = 0;
    if (value.size() > 9 || !ParseNumber(value, 10, ms) || ms < 0 || ms > kMaxRestartMs) {
      return where + "expected milliseconds from 0 to " + std::to_string(kMaxRestartMs);
    }
    out.restartMs = ms;
    return {};
  }
  return "--simulate: unknown key '" + std::string(key) +
         "' (pid, version, model, newversion, restart-ms)";
}

}  // namespace

std::string ParseSimulateValue(std::string_view value, SimulatedDeviceOptions& out) {
  out = SimulatedDeviceOptions{};
  if (value.empty()) return {};
  std::vector<std::string_view> items = Split(value, ',');
  std::size_t first = 0;
  if (items[0].find('=') == std::string_view::npos) {
    if (std::string error = ApplyKind(items[0], out); !error.empty()) return error;
    first = 1;
  }
  for (std::size_t i = first; i < items.size(); ++i) {
    const std::size_t eq = items[i].find('=');
    if (eq == std::string_view::npos || eq == 0 || eq + 1 == items[i].size()) {
      return "--simulate: expected KEY=VALUE, got '" + std::string(items[i]) + "'";
    }
    if (std::string error = ApplyKey(items[i].substr(0, eq), items[i].substr(eq + 1), out);
        !error.empty()) {
      return error;
    }
  }
  return {};
}

ParsedOptions ParseProgramOptions(std::span<const std::string_view> args) {
  ParsedOptions result;
  ProgramOptions& o = result.options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--headless") {
      o.headless = true;
    } else if (arg == "--yes") {
      o.yes = true;
    } else if (arg == "--debug") {
      o.debug = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--simulate" || arg.starts_with("--simulate=")) {
      const std::string_view value = arg == "--simulate" ? std::string_view{} : arg.substr(11);
      SimulatedDeviceOptions device;
      if (std::string error = ParseSimulateValue(value, device); !error.empty()) {
        result.error = std::move(error);
        return result;
      }
      o.simulate = device;
    } else if (arg == "--screenshots" || arg.starts_with("--screenshots=")) {
      std::string_view dir;
      if (arg == "--screenshots") {
        if (i + 1 >= args.size()) {
          result.error = "--screenshots needs a folder";
          return result;
        }
        dir = args[++i];
      } else {
        dir = arg.substr(14);
      }
      if (dir.empty()) {
        result.error = "--screenshots needs a folder";
        return result;
      }
      o.screenshotsDir = std::string(dir);
    } else {
      result.error = "unknown option '" + std::string(arg) + "'";
      return result;
    }
  }
  return result;
}

std::string_view UsageText() {
  return "usage: rirud-uvariza [--simulate[=KIND[,KEY=VALUE...]]] [--headless] [--screenshots DIR]\n"
         "                     [--yes] [--debug] [--help] [--version]\n"
         "\n"
         "Finds a supported keyboard or mouse, shows its firmware version and offers the upgrade.\n"
         "\n"
         "  --simulate[=...]   use a built-in simulated device instead of the hardware.\n"
         "                     KIND: keyboard (default: product id 0076, version 5.2.1, model 14)\n"
         "                           or mouse (product id 0078, version 5.2.1, model 7)\n"
         "                     KEYs: pid (hex), version (a.b.c), model (decimal),\n"
         "                           newversion (a.b.c, default 6.0.0),\n"
         "                           restart-ms (time it is gone while reprogramming, default 3000)\n"
         "  --headless         no window: print each screen as one JSON line on standard output\n"
         "  --screenshots DIR  save each screen as a PNG file in DIR\n"
         "  --yes              press the offered action, then EXIT (unattended use)\n"
         "  --debug            echo the firmware text and trace the protocol on standard error\n"
         "  --help             show this text\n"
         "  --version          show the program's version\n";
}
