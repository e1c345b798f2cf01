#include <benchmark/benchmark.h>

#include <cstdint>

#include "image/FirmwareImage.h"
#include "platform/Resources.h"

namespace {

constexpr std::uint8_t kVersion[3] = {6, 0, 0};
constexpr int kLargestFirmware = 3042;  // the longest HEX text carried

void BM_BuildFirmwareImage(benchmark::State& state) {
  const auto text = platform::FindResource("HEX", kLargestFirmware);
  if (!text) {
    state.SkipWithError("firmware resource missing");
    return;
  }
  for (auto _ : state) {
    FirmwareImage image = BuildFirmwareImage(text->data(), text->size(), 0x8000, kVersion);
    if (!image.valid) state.SkipWithError("image not valid");
    benchmark::DoNotOptimize(image.bytes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}
BENCHMARK(BM_BuildFirmwareImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
