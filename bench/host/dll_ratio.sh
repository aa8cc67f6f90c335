#!/usr/bin/env bash
# bash bench/host/dll_ratio.sh [samples]
# The 32-bit and the x86-64 zqcrypt.dll timed by the same host program
# (export_timing, built by the presets win32 and win64), each under Wine in
# its own prefix, pinned to one core like tools/bench.sh, and printed side by
# side: ratio = 32-bit DLL time / x86-64 DLL time (above 1: x86-64 faster).
set -euo pipefail
cd "$(dirname "$0")/../.."
samples=${1:-7}
vectors=tests/vectors/rsa_md5_signatures.txt
pin=()
if command -v taskset >/dev/null 2>&1; then pin=(taskset -c "${ZQ_BENCH_CPU:-0}"); fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target export_timing -j2 >/dev/null
done
prefix32=$HOME/.wine-zqcrypt
prefix64=$HOME/.wine-zqcrypt64
(cd build/win32/bin && WINEPREFIX=$prefix32 "${pin[@]}" wine export_timing.exe "Z:$PWD/../../../$vectors" "$samples") |
  tr -d '\r' >"$out/32"
(cd build/win64/bin && WINEPREFIX=$prefix64 "${pin[@]}" wine export_timing.exe "Z:$PWD/../../../$vectors" "$samples") |
  tr -d '\r' >"$out/64"
echo "zqcrypt.dll under Wine (wall time, best of $samples samples; ratio = 32-bit time / x86-64 time)"
awk -F'\t' 'NR == FNR { t[$1] = $2; next }
  BEGIN { printf "%-24s %14s %14s %7s\n", "case/bytes", "32-bit ns", "x86-64 ns", "ratio" }
  ($1 in t) && $2 != "failed" && t[$1] != "failed" { printf "%-24s %14.1f %14.1f %7.2f\n", $1, t[$1], $2, t[$1] / $2 }
  !($1 in t) || $2 == "failed" || t[$1] == "failed" { printf "%-24s failed\n", $1 }' "$out/32" "$out/64"
