#!/usr/bin/env bash
# Builds the benchmark program of the linux preset (Release, x86-64) and runs
# it: Google Benchmark's output, then the table of zqcrypt beside OpenSSL and
# GMP with their ratios. Pinned to one core when taskset is there (the core is
# ZQ_BENCH_CPU, default 0). Arguments go to the program, for example
#   bash tools/bench.sh --benchmark_filter=md5 --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null
cmake --build --preset linux --target zqcrypt_bench -j2 >/dev/null

program=build/linux/bin/zqcrypt_bench
if command -v taskset >/dev/null 2>&1; then
  exec taskset -c "${ZQ_BENCH_CPU:-0}" "$program" "$@"
fi
exec "$program" "$@"
