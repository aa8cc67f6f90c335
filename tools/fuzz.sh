#!/usr/bin/env bash
# One fuzzing campaign: bash tools/fuzz.sh TARGET [SECONDS] [asan|asan32]
#
# Builds TARGET_fuzz in the preset (asan, the default, or asan32), fuzzes it
# from fuzz/corpus/TARGET for SECONDS (default 900) or 10 million executions,
# whichever comes first, at the lowest CPU priority, then merges the new
# finds that add coverage into fuzz/corpus/TARGET. A crash, leak or
# timeout leaves its input under build/PRESET/fuzz/campaign/ and makes the
# script fail. Ends with one line: target, preset, executions, seconds,
# corpus files before and after, findings.
set -uo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: tools/fuzz.sh TARGET [SECONDS] [asan|asan32]}
seconds=${2:-900}
preset=${3:-asan}
runs=${ZQ_FUZZ_RUNS:-10000000}

cmake --preset "$preset" >/dev/null || exit 1
cmake --build --preset "$preset" -j2 --target "${target}_fuzz" >/dev/null || exit 1

program="$PWD/build/$preset/fuzz/${target}_fuzz"
corpus="$PWD/fuzz/corpus/$target"
work="$PWD/build/$preset/fuzz/campaign/$target"
mkdir -p "$corpus" "$work/new" "$work/artifacts"
before=$(find "$corpus" -type f | wc -l)

# Large requests must come back null, as from the C library, not stop the run.
export ASAN_OPTIONS="allocator_may_return_null=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
log="$work/fuzz.log"
start=$(date +%s)
nice -n 19 "$program" -max_total_time="$seconds" -runs="$runs" -timeout=20 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 "$work/new" "$corpus" >"$log" 2>&1
status=$?
elapsed=$(($(date +%s) - start))
execs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}')
findings=$(find "$work/artifacts" -type f | wc -l)

# Merge: of the new finds, only those that reach code or values the corpus
# does not are added. The corpus itself is never pruned, so seeds and
# reproducers stay in it.
nice -n 19 "$program" -merge=1 -timeout=20 "$corpus" "$work/new" >"$work/merge.log" 2>&1 || status=1
rm -rf "$work/new"
after=$(find "$corpus" -type f | wc -l)

[ "$status" -ne 0 ] && tail -n 30 "$log"
echo "$target $preset: ${execs:-?} executions in ${elapsed}s, corpus $before -> $after files, $findings findings (exit $status)"
[ "$status" -eq 0 ]
