// rirud-uvariza: finds a supported keyboard or mouse, shows its firmware version and, when the
// user asks for it, upgrades the firmware. See UsageText() for the options.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/CRirudUvarizaApp.h"
#include "app/ObservedDisplay.h"
#include "app/ProgramOptions.h"
#include "app/ScreenWatcher.h"
#include "app/TracingHidSystem.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/WindowSystem.h"
#include "platform/headless/HeadlessDisplay.h"
#include "platform/linux/LinuxHidSystem.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sim/SimulatedHidSystem.h"

namespace {

constexpr char kProgramVersion[] = "rirud-uvariza 1.0.0 (carries firmware 6.0.0)";

platform::SimulatedDeviceConfig DeviceConfig(const SimulatedDeviceOptions& o) {
  platform::SimulatedDeviceConfig config;
  config.group = o.groupB ? platform::SimulatedGroup::B : platform::SimulatedGroup::A;
  config.productId = o.productId;
  config.firmware = {o.version[0], o.version[1], o.version[2]};
  config.modelCode = o.modelCode;
  config.versionAfterUpgrade = {o.newVersion[0], o.newVersion[1], o.newVersion[2]};
  config.restartMs = o.restartMs;
  return config;
}

// The machine's HID interfaces, or a machine with one simulated device plugged in.
struct Devices {
  std::unique_ptr<platform::SimulatedHidSystem> simulated;
  std::unique_ptr<platform::LinuxHidSystem> linux;
  std::unique_ptr<TracingHidSystem> tracing;

  platform::HidSystem& System() {
    if (tracing) return *tracing;
    if (simulated) return *simulated;
    return *linux;
  }
};

Devices OpenDevices(const ProgramOptions& options, platform::Clock& clock) {
  Devices devices;
  if (options.simulate) {
    devices.simulated = std::make_unique<platform::SimulatedHidSystem>(clock);
    devices.simulated->Plug(DeviceConfig(*options.simulate));
  } else {
    devices.linux = std::make_unique<platform::LinuxHidSystem>();
  }
  if (options.debug) {
    platform::HidSystem& inner = devices.simulated ? static_cast<platform::HidSystem&>(*devices.simulated)
                                                   : *devices.linux;
    devices.tracing = std::make_unique<TracingHidSystem>(inner);
  }
  return devices;
}

int Run(const ProgramOptions& options) {
  platform::SetDebugOutputEnabled(options.debug);
  if (!options.screenshotsDir.empty()) {
    std::error_code error;
    std::filesystem::create_directories(options.screenshotsDir, error);
    if (error) {
      std::fprintf(stderr, "rirud-uvariza: cannot create %s: %s\n", options.screenshotsDir.c_str(),
                   error.message().c_str());
      return 1;
    }
  }

  platform::RealClock clock;
  std::unique_ptr<platform::HeadlessDisplay> headless;
  std::unique_ptr<platform::SdlDisplay> sdl;
  platform::Display* display = nullptr;
  if (options.headless) {
    headless = std::make_unique<platform::HeadlessDisplay>(clock);
    display = headless.get();
  } else {
    sdl = std::make_unique<platform::SdlDisplay>();
    std::string error;
    if (!sdl->Start(&error)) {
      std::fprintf(stderr, "rirud-uvariza: no screen to show the updater on: %s\n"
                           "rirud-uvariza: run it from a desktop session, or with --headless\n",
                   error.c_str());
      return 1;
    }
    display = sdl.get();
  }

  ScreenWatcher watcher({options.headless ? &std::cout : nullptr, options.screenshotsDir, options.yes});
  ObservedDisplay observed(*display, [&watcher](platform::WindowHandle window, const platform::Surface& image) {
    watcher.Painted(window, image);
  });

  // Devices go after the display and before the windows: the window system subscribes to their
  // hotplug events and must be gone before they are.
  Devices devices = OpenDevices(options, clock);
  bool turnedAway = false;
  {
    platform::WindowSystem windows(clock, observed, &devices.System());
    watcher.Watch(&windows);
    CRirudUvarizaApp app(windows, devices.System());
    app.InitInstance();
    turnedAway = app.TurnedAwayByOtherInstance();
    watcher.Watch(nullptr);
  }
  return turnedAway ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseProgramOptions(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "rirud-uvariza: %s\n%.*s", parsed.error.c_str(), static_cast<int>(UsageText().size()),
                 UsageText().data());
    return 2;
  }
  if (parsed.options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (parsed.options.version) {
    std::cout << kProgramVersion << '\n';
    return 0;
  }
  return Run(parsed.options);
}
