#!/usr/bin/env bash
# Builds every target of zqcrypt and runs every test:
#   linux    x86-64: unit tests of each subsystem, export cases, symbol check
#   linux32  the same, built with -m32
#   linux-arm64  the same for aarch64, cross-built, run under qemu
#   win32    zqcrypt.dll: its export and import tables, and the export cases
#            run by a host program that loads it under Wine
#   win64    the same for the x86-64 zqcrypt.dll, under Wine's 64-bit loader
#   asan     x86-64 with AddressSanitizer and UBSan (clang), with the fuzz
#            corpus replayed
#   asan32   the same on i386 (-m32)
#   tsan     x86-64 with ThreadSanitizer (clang)
# Ends with the line "N passed, N failed" over all of them; exits non-zero
# when a build or a test fails.
set -uo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh || exit 1

# Wine: a quiet prefix of our own, made once, without the Mono and Gecko
# installers.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-zqcrypt}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || timeout 300 wineboot --init >/dev/null 2>&1 || true
# The x86-64 DLL runs in a 64-bit prefix of its own, which the win64
# toolchain's emulator and test preset name.
wine64_prefix="$HOME/.wine-zqcrypt64"
[ -d "$wine64_prefix" ] ||
  WINEPREFIX="$wine64_prefix" WINEARCH=win64 timeout 300 wineboot --init >/dev/null 2>&1 || true

presets=${ZQ_PRESETS:-"linux linux32 linux-arm64 win32 win64 asan asan32 tsan"}

# The ThreadSanitizer build runs only the thread cases, so it builds only
# their programs.
targets() {
  case "$1" in
    tsan) echo "--target test_frame test_exports" ;;
  esac
}
# The Windows presets' tests start a Wine process each: with the prefix's
# server and its system processes kept running for the whole preset, each
# starts in a fraction of a second instead of bringing them up anew. They
# are started here, with no output of theirs: system processes that a
# test's first Wine process started would hold its output pipes open, and
# the test would wait for them.
wine_prefix() {
  case "$1" in
    win32) echo "$WINEPREFIX" ;;
    win64) echo "$wine64_prefix" ;;
  esac
}
wine_up() {
  local prefix
  prefix=$(wine_prefix "$1")
  [ -n "$prefix" ] || return 0
  WINEPREFIX="$prefix" wineserver -p
  WINEPREFIX="$prefix" timeout 120 wine cmd /c exit
} </dev/null >/dev/null 2>&1
wine_down() {
  local prefix
  prefix=$(wine_prefix "$1")
  [ -n "$prefix" ] || return 0
  WINEPREFIX="$prefix" wineserver -k
} </dev/null >/dev/null 2>&1
passed=0
failed=0
for preset in $presets; do
  echo "=== $preset"
  log="build/$preset.log"
  mkdir -p build
  started=$SECONDS
  if ! cmake --preset "$preset" >"$log" 2>&1 ||
     ! cmake --build --preset "$preset" -j2 $(targets "$preset") >>"$log" 2>&1; then
    tail -n 40 "$log"
    echo "=== $preset: build failed"
    failed=$((failed + 1))
    continue
  fi
  built=$SECONDS
  wine_up "$preset" || true
  output=$(ctest --preset "$preset" 2>&1)
  wine_down "$preset" || true
  echo "$output" | grep -vE '^ *(Start|[0-9]+/[0-9]+ Test)' | tail -n 30
  echo "=== $preset: built in $((built - started)) s, tested in $((SECONDS - built)) s"
  summary=$(echo "$output" | grep -E 'tests passed, [0-9]+ tests? failed out of' | tail -n 1)
  total=$(echo "$summary" | sed -E 's/.* out of ([0-9]+).*/\1/')
  bad=$(echo "$summary" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
  if [ -z "$summary" ]; then
    echo "=== $preset: no test summary"
    failed=$((failed + 1))
    continue
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
