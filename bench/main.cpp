// Google Benchmark's main, except that a benchmark that failed fails the program.
#include "bench/bench_machine.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return bench::AnyFailed() ? 1 : 0;
}
