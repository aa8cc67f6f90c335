#!/usr/bin/env bash
# Source-based coverage (clang): bash tools/coverage.sh
#
# Builds the library, its unit tests and the fuzz targets with clang's
# coverage instrumentation in build/coverage, runs every unit test and
# replays every fuzz corpus (no new fuzzing), then prints line and branch
# coverage for each folder of src/ and for the whole library. Files that only
# the Windows build compiles are listed apart: nothing here runs them. Pass
# --files to see each file as well.
set -uo pipefail
# The physical folder (-P): the compiler records each source's resolved path,
# and the report below compares it with this folder's.
cd -P "$(dirname "$0")/.."

cov=$(command -v llvm-cov-14 || command -v llvm-cov)
profdata=$(command -v llvm-profdata-14 || command -v llvm-profdata)
if [ -z "$cov" ] || [ -z "$profdata" ]; then
  echo "llvm-cov and llvm-profdata are needed (Debian: apt-get install llvm-14)" >&2
  exit 1
fi

dir="$PWD/build/coverage"
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZQ_WERROR=ON -DZQ_FUZZ=ON -DZQ_FUZZ_LAYERS=ON -DZQ_MAP_PATHS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >"$dir.log" 2>&1 &&
  cmake --build "$dir" -j2 >>"$dir.log" 2>&1 || { tail -n 30 "$dir.log"; exit 1; }

rm -rf "$dir/profiles"
mkdir -p "$dir/profiles"
# Tests run some programs as another user: they write their profiles too.
chmod 1777 "$dir/profiles"
# Every test except the fuzzing runs (the corpus replays stand for the
# fuzzers) and the symbol checks (the profile runtime adds symbols of its own).
LLVM_PROFILE_FILE="$dir/profiles/%p-%m.profraw" \
  ctest --test-dir "$dir" -j2 -E '_fuzz_run$|shared_library_symbols|consumer_static_symbols' --timeout 900 >"$dir/ctest.log" 2>&1 ||
  echo "some tests failed (see $dir/ctest.log); coverage is of what ran"
# A program that ran under a file-size limit leaves a profile cut short: it
# is left out, and counted.
"$profdata" merge -sparse -failure-mode=all "$dir"/profiles/*.profraw -o "$dir/all.profdata" \
  2>"$dir/merge.log" || { cat "$dir/merge.log" >&2; exit 1; }
cut=$(grep -c 'invalid instrumentation profile data' "$dir/merge.log")
[ "$cut" -eq 0 ] || echo "$cut profiles cut short left out (see $dir/merge.log)"
rm -rf "$dir/profiles"

objects=()
for program in "$dir"/tests/test_* "$dir"/tests/exit_during_call "$dir"/fuzz/*_fuzz "$dir"/lib/libzqcrypt.so; do
  [ -x "$program" ] && [ -f "$program" ] && objects+=(-object "$program")
done
"$cov" export -summary-only -instr-profile="$dir/all.profdata" "${objects[@]:1}" >"$dir/summary.json" || exit 1

/usr/bin/python3 - "$dir/summary.json" "$PWD/src" "${1:-}" <<'PY'
import json, os, sys, glob
summary, src, detail = sys.argv[1], os.path.realpath(sys.argv[2]), sys.argv[3] == "--files"
files = json.load(open(summary))["data"][0]["files"]
folders, seen = {}, set()
def add(key, s):
    t = folders.setdefault(key, [0, 0, 0, 0])
    t[0] += s["lines"]["covered"]; t[1] += s["lines"]["count"]
    t[2] += s["branches"]["covered"]; t[3] += s["branches"]["count"]
def pct(a, b):
    return f"{100.0 * a / b:6.1f}%" if b else "     -"
for f in sorted(files, key=lambda f: f["filename"]):
    name = os.path.realpath(f["filename"])
    if not name.startswith(src + "/"):
        continue
    rel = os.path.relpath(name, src)
    seen.add(rel)
    add(rel.split("/")[0], f["summary"])
    add("(library)", f["summary"])
    if detail:
        s = f["summary"]
        print(f"  {rel:45} lines {pct(s['lines']['covered'], s['lines']['count'])}"
              f"  branches {pct(s['branches']['covered'], s['branches']['count'])}")
print(f"{'folder':12} {'lines':>20} {'branches':>20}")
for key in sorted(folders, key=lambda k: (k == "(library)", k)):
    t = folders[key]
    print(f"{key:12} {t[0]:6}/{t[1]:<6}{pct(t[0], t[1])} {t[2]:6}/{t[3]:<6}{pct(t[2], t[3])}")
unbuilt = sorted(os.path.relpath(p, src) for p in glob.glob(src + "/*/*.cpp")
                 if os.path.relpath(p, src) not in seen)
if unbuilt:
    print("not built on Linux (Windows only):", " ".join(unbuilt))
PY
