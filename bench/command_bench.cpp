// Whole commands from the entry, each run on a machine of its own.
#include "bench/bench_machine.h"
#include "core/entry.h"

namespace {

using benchmark::Counter;

// What every other command benchmark leaves out of its time: a fresh default machine.
void BM_FreshMachine(benchmark::State& state) {
  for (auto _ : state) bench::FreshMachine();
}
BENCHMARK(BM_FreshMachine)->Unit(benchmark::kMillisecond);

void BM_InstallFresh(benchmark::State& state) {
  bench::TimeCommand(state, "install", inst::kExitInstalled, 0);
}
BENCHMARK(BM_InstallFresh)->Unit(benchmark::kMillisecond);

// per_printer is the run's time divided by its printers.
void BM_Reinstall(benchmark::State& state) {
  bench::TimeCommand(state, "install", inst::kExitInstalled, int(state.range(0)));
  state.counters["per_printer"] = Counter(double(state.range(0)), Counter::kIsIterationInvariantRate | Counter::kInvert);
}
BENCHMARK(BM_Reinstall)->ArgName("printers")->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_Uninstall(benchmark::State& state) {
  bench::TimeCommand(state, "uninstall", inst::kExitUninstalled, 1);
}
BENCHMARK(BM_Uninstall)->Unit(benchmark::kMillisecond);

}  // namespace
