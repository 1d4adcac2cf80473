// The rate computation of one overlay paint in its worst case: every table
// full, every text as long as it can be, and a full safe list of the longest
// entries that every record must be tested against.
#include <benchmark/benchmark.h>

#include "analysis/traffic_tables.h"
#include "app/rates.h"
#include "settings/safe_list.h"
#include "settings/settings.h"
#include "worst_case_tables.h"

namespace {

void WorstCaseRates(benchmark::State& state) {
    fillEveryTable();
    fillSafeList();
    settings.ignoreDotlessNames = 0;
    for (auto _ : state) {
        Rates rates = computeRates();
        benchmark::DoNotOptimize(rates);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetLabel("items = rate computations");
    useSafeListCount(0);
    resetTrafficTables();
}
BENCHMARK(WorstCaseRates)->Unit(benchmark::kMicrosecond);

} // namespace
