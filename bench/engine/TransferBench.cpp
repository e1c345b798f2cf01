// A whole 575-block transfer to the simulated keyboard on the real clock, against the floor the
// protocol's own sleeps set: the 2000 ms pause after the header plus 7 ms per exchange.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "engine/UpgradeEngine.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedHidSystem.h"

namespace {

class SilentHost final : public EngineHost {
 public:
  int RunUpgradeDialog(const UpgradeDialogSetup&) override { return 0; }
  void StartWaitingDialog(const WaitingDialogSetup&) override {}
  void PostQuit() override {}
  std::intptr_t SendToWindow(const std::u16string&, const std::u16string&, unsigned) override {
    return 0;
  }
};

class CountingProgress final : public ProgressTarget {
 public:
  void SetProgressRange(std::uint16_t, std::uint16_t high) override { blocks = high; }
  void ProgressStep() override { ++steps; }
  int blocks = 0;
  int steps = 0;
};

constexpr double kPauseMs = 2000;
constexpr double kExchangeMs = 7;

void BM_TransferWholeImage(benchmark::State& state) {
  platform::RealClock clock;
  double lastRatio = 0;
  for (auto _ : state) {
    platform::SimulatedHidSystem hid(clock);
    platform::SimulatedDeviceConfig config;
    config.group = platform::SimulatedGroup::A;
    config.productId = 0x0076;
    config.firmware = {4, 0, 100};  // below 4.0.198: the whole 0x8000 image, 575 blocks
    config.modelCode = 5;
    hid.Plug(config);
    SilentHost host;
    UpgradeEngine engine(clock, hid, host);
    engine.DetectAndCheck(false, true, 0);
    CountingProgress progress;

    const auto start = std::chrono::steady_clock::now();
    const bool sent = engine.TransferFirmware(&engine.linkA, &progress, u"");
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;

    if (!sent || progress.steps != 575) {
      state.SkipWithError("the transfer did not complete");
      break;
    }
    state.SetIterationTime(wall.count() / 1000);
    lastRatio = wall.count() / (kPauseMs + progress.blocks * kExchangeMs);
  }
  state.counters["ratio_to_floor"] = lastRatio;
}

// The same sleeps with nothing between them: what this machine's timers make of the floor.
// The transfer's time over this one is what the engine, the exchange and the device add.
void BM_ProtocolSleepsOnly(benchmark::State& state) {
  platform::RealClock clock;
  constexpr int kExchanges = 1 + 575;  // the header and the blocks
  double lastRatio = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kExchanges; ++i) {
      clock.SleepFor(5);
      clock.SleepFor(2);
      if (i == 0) clock.SleepFor(2000);
    }
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(wall.count() / 1000);
    lastRatio = wall.count() / (kPauseMs + 575 * kExchangeMs);
  }
  state.counters["ratio_to_floor"] = lastRatio;
}

BENCHMARK(BM_TransferWholeImage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ProtocolSleepsOnly)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
