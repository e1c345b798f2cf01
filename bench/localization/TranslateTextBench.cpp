#include <benchmark/benchmark.h>

#include "localization/TranslateText.h"
#include "localization/TranslationSettings.h"

namespace {

void SelectChineseTable() {
  TranslationSettings.EmbeddedTableSelected = true;
  TranslationSettings.SelectedTableId = 4008;
  ResetTranslationTableForTesting();
  TranslateText(u"EXIT");  // the table is read by the first lookup, not measured
}

void LookUp(benchmark::State& state, const char16_t* text) {
  SelectChineseTable();
  for (auto _ : state) benchmark::DoNotOptimize(TranslateText(text));
}

// An early entry, the last entry in force, and a text with no entry (compared with every one).
void BM_TranslateText_First(benchmark::State& state) { LookUp(state, u"\n\nFIRMWARE UPGRADE "); }
void BM_TranslateText_Last(benchmark::State& state) {
  LookUp(state, u"Transfer completed. Please unplug the device now.\r\n");
}
void BM_TranslateText_NoEntry(benchmark::State& state) {
  LookUp(state, u"Transfer completed. Reprogramming the device now.\r\n");
}
BENCHMARK(BM_TranslateText_First);
BENCHMARK(BM_TranslateText_Last);
BENCHMARK(BM_TranslateText_NoEntry);

}  // namespace

BENCHMARK_MAIN();
