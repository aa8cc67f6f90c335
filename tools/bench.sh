#!/usr/bin/env bash
# Benchmarks, for one ABI at a time:
#   bash tools/bench.sh [--preset linux] [benchmark flags]   x86-64 library
#   bash tools/bench.sh --preset linux32 [benchmark flags]   i386 library
#   bash tools/bench.sh --preset win32 [samples]             zqcrypt.dll under Wine
#   bash tools/bench.sh --plots [benchmark flags]            the charts of docs/plots
# linux and linux32 build the benchmark program (Google Benchmark's output,
# then the table of zqcrypt beside OpenSSL and GMP of the same ABI with their
# ratios); linux32 in build/linux32-bench, against the i386 OpenSSL and GMP.
# win32 times the exports from a host program: once in the i386 library,
# once in the DLL under Wine, and prints the two side by side.
# --plots runs the MD5, Base64 and RC4 rows on x86-64 and on i386 (median of
# 3 repetitions; flags that follow are added, later ones win), keeps their
# JSON (build/linux/plots.json, build/linux32-bench/plots.json) and draws
# docs/plots/*.svg from it with tools/plot_bench.py (Debian's matplotlib).
# Pinned to one core when taskset is there (the core is ZQ_BENCH_CPU,
# default 0). For example
#   bash tools/bench.sh --preset linux32 --benchmark_filter=md5 --benchmark_repetitions=5
set -euo pipefail
cd "$(dirname "$0")/.."

preset=linux
if [ "${1:-}" = "--preset" ]; then
  preset=${2:?--preset needs linux, linux32 or win32}
  shift 2
elif [ "${1:-}" = "--plots" ]; then
  preset=plots
  shift
fi
pin=()
if command -v taskset >/dev/null 2>&1; then pin=(taskset -c "${ZQ_BENCH_CPU:-0}"); fi

# build_linux, build_linux32 <target>: configure the build folder of each ABI
# (build/linux, build/linux32-bench) and build the target there.
build_linux() {
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target "$1" -j2 >/dev/null
}
build_linux32() {
  cmake --preset linux32 -B build/linux32-bench -DZQ_BENCH=ON -DZQ_TESTS=OFF >/dev/null
  cmake --build build/linux32-bench --target "$1" -j2 >/dev/null
}

case "$preset" in
  linux)
    build_linux zqcrypt_bench
    exec "${pin[@]}" build/linux/bin/zqcrypt_bench "$@"
    ;;
  linux32)
    build_linux32 zqcrypt_bench
    exec "${pin[@]}" build/linux32-bench/bin/zqcrypt_bench "$@"
    ;;
  plots)
    /usr/bin/python3 -c 'import matplotlib' 2>/dev/null || { echo "--plots needs python3-matplotlib" >&2; exit 2; }
    build_linux zqcrypt_bench
    build_linux32 zqcrypt_bench
    for folder in build/linux build/linux32-bench; do
      "${pin[@]}" "$folder/bin/zqcrypt_bench" '--benchmark_filter=^(md5|b64encode|b64decode|rc4)/' \
        --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$@" \
        --benchmark_out="$folder/plots.json" --benchmark_out_format=json
    done
    exec /usr/bin/python3 tools/plot_bench.py --out docs/plots \
      x86-64=build/linux/plots.json i386=build/linux32-bench/plots.json
    ;;
  win32)
    samples=${1:-7}
    vectors=tests/vectors/rsa_md5_signatures.txt
    build_linux32 export_timing
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target export_timing -j2 >/dev/null
    export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-zqcrypt} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    so=$(mktemp)
    dll=$(mktemp)
    trap 'rm -f "$so" "$dll"' EXIT
    "${pin[@]}" build/linux32-bench/bin/export_timing "$vectors" "$samples" >"$so"
    (cd build/win32/bin && "${pin[@]}" wine export_timing.exe "Z:$PWD/../../../$vectors" "$samples") | tr -d '\r' >"$dll"
    echo "The exports from a host program (wall time, best of $samples samples; ratio = i386 .so time / DLL time)"
    echo
    awk -F'\t' 'NR == FNR { so[$1] = $2; soRate[$1] = $3; next }
      BEGIN { printf "%-24s %14s %14s %7s %12s %12s\n", "case/bytes", "i386 .so ns", "DLL ns", "ratio", ".so MiB/s", "DLL MiB/s" }
      ($1 in so) && $2 != "failed" && so[$1] != "failed" {
        printf "%-24s %14.1f %14.1f %7.2f %12.1f %12.1f\n", $1, so[$1], $2, so[$1] / $2, soRate[$1], $3 }
      !($1 in so) || $2 == "failed" || so[$1] == "failed" { printf "%-24s failed\n", $1 }' "$so" "$dll"
    ;;
  *)
    echo "unknown preset $preset (linux, linux32 or win32; or --plots)" >&2
    exit 2
    ;;
esac
