// Placeholder main until the ratio reporter lands.
#include <benchmark/benchmark.h>
BENCHMARK_MAIN();
