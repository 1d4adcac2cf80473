// One overlay paint's decisions in rate mode in the worst case: nothing
// pending, the rates shown, every table full of the longest texts and a full
// safe list, so the paint recomputes all three rates and formats their labels.
// A paint is asked for at most every 200 ms; it should stay well under 2 ms.
#include <benchmark/benchmark.h>

#include "app/overlay_model.h"
#include "settings/safe_list.h"
#include "settings/settings.h"
#include "worst_case_tables.h"

namespace {

void WorstCaseRatePaint(benchmark::State& state) {
    fillEveryTable();
    fillSafeList();
    applyDefaultSettings();
    settings.hideErrorRates = 0;
    resetOverlayState();
    static OverlayFrame frame;
    for (auto _ : state) {
        takeOverlayFrame(&frame);
        benchmark::DoNotOptimize(frame);
    }
    if (frame.mode != OverlayMode::Rates) state.SkipWithError("the paint did not show the rates");
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = paints");
    useSafeListCount(0);
    resetTrafficTables();
}
BENCHMARK(WorstCaseRatePaint)->Unit(benchmark::kMicrosecond);

} // namespace
