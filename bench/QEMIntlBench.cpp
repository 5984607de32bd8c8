// Start-up cost of the language table and the cost of the lookups repository readers make per
// record. Run: build with -DHLX_BUILD_BENCH=ON, then bin/QEMIntlBench.
#include <benchmark/benchmark.h>

#include "core/QEMIntlUtils.h"
#include "core/QEMLanguageWalk.h"

static void BM_BuildLanguageTable(benchmark::State& State) {
  for (auto _ : State) {
    QEMIntlUtilsInitialize();
    benchmark::DoNotOptimize(W32Languages->Count());
    QEMIntlUtilsFinalize();
  }
}
BENCHMARK(BM_BuildLanguageTable)->Unit(benchmark::kMillisecond);

// What every start paid before the walk moved to the build.
static void BM_WalkICULocales(benchmark::State& State) {
  for (auto _ : State)
    benchmark::DoNotOptimize(QEMWalkICULocales().size());
}
BENCHMARK(BM_WalkICULocales)->Unit(benchmark::kMillisecond);

static void BM_LangTagToLCID(benchmark::State& State) {
  QEMIntlUtilsInitialize();
  const std::u16string tags[] = {u"en-US", u"DE-de", u"sr-Latn-RS", u"zh-Hans-CN", u"xx-YY"};
  size_t i = 0;
  for (auto _ : State) {
    LCID id = 0;
    benchmark::DoNotOptimize(TryLangTagToLCID(tags[i++ % 5], id));
  }
  QEMIntlUtilsFinalize();
}
BENCHMARK(BM_LangTagToLCID);

static void BM_LCIDToLangTag(benchmark::State& State) {
  QEMIntlUtilsInitialize();
  for (auto _ : State)
    benchmark::DoNotOptimize(LCIDToLangTag(0x241A));
  QEMIntlUtilsFinalize();
}
BENCHMARK(BM_LCIDToLangTag);

BENCHMARK_MAIN();
