// One command exchange with the simulated device on the real clock. A clean exchange sleeps
// 5 ms before its write and 2 ms before its first read, so 7 ms is its floor; the counters show
// how far above the floor an exchange lands (goal: within 3 %).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "hid/SendCommand.h"
#include "platform/Clock.h"
#include "platform/sim/SimulatedDevice.h"

namespace {

constexpr double kFloorMs = 7.0;
const char* kAccessCodeA = "QX7TJ2WNRB5KHD9ZVL3MFA8PCY4GE6US";

class DirectHandle final : public platform::HidDevice {
 public:
  explicit DirectHandle(std::shared_ptr<platform::SimulatedDevice> device)
      : device_(std::move(device)) {}
  int SetFeature(const platform::FeatureReport& r) override { return device_->SetFeature(r); }
  int GetFeature(platform::FeatureReport& r) override { return device_->GetFeature(r); }

 private:
  std::shared_ptr<platform::SimulatedDevice> device_;
};

struct Bench {
  platform::RealClock clock;
  std::shared_ptr<platform::SimulatedDevice> device =
      std::make_shared<platform::SimulatedDevice>(platform::SimulatedDeviceConfig{});
  DeviceLink link;
  std::uint8_t unlock[33] = {};
  std::uint8_t zeros[59] = {};

  Bench() {
    link.clock = &clock;
    link.hid.device = std::make_unique<DirectHandle>(device);
    link.isOpen = true;
    std::memcpy(unlock, kAccessCodeA, 32);
  }
};

void Run(benchmark::State& state, std::uint8_t code) {
  Bench b;
  const std::uint8_t* payload = code == CmdUnlock ? b.unlock : b.zeros;
  const std::size_t length = code == CmdUnlock ? 33 : 59;
  if (code != CmdUnlock && SendCommand(&b.link, CmdUnlock, b.unlock, 33) != 0) {
    state.SkipWithError("unlock failed");
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (SendCommand(&b.link, code, payload, length) != 0) {
      state.SkipWithError("exchange failed");
      return;
    }
  }
  const double elapsedMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  const double perExchangeMs = elapsedMs / static_cast<double>(state.iterations());
  state.counters["ms_per_exchange"] = perExchangeMs;
  state.counters["floor_ms"] = kFloorMs;
  state.counters["over_floor_pct"] = (perExchangeMs - kFloorMs) / kFloorMs * 100.0;
}

// The two sleeps alone, for telling the exchange's own cost from the system's timer slack.
void BM_SleepsOnly(benchmark::State& state) {
  platform::RealClock clock;
  for (auto _ : state) {
    clock.SleepFor(5);
    clock.SleepFor(2);
  }
}

void BM_CommandWithAcknowledgement(benchmark::State& state) { Run(state, CmdUnlock); }
void BM_QueryWithResponse(benchmark::State& state) { Run(state, CmdQueryInfo); }

BENCHMARK(BM_SleepsOnly)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CommandWithAcknowledgement)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QueryWithResponse)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
