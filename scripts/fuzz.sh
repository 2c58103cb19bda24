#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS] [TARGET...]: builds the fuzz targets with clang, under
# AddressSanitizer and UndefinedBehaviorSanitizer, into ./build-fuzz and runs each target
# (all of them, or those named) for SECONDS seconds (default 60; 0: no time limit), one
# after another.
#
# A target's corpus grows in build-fuzz/corpus/NAME between runs; each run starts from it,
# the target's seeds and the inputs kept from earlier findings (tests/fuzz/regressions/NAME).
# A crash, a hang (10 s on one input), a leak, undefined behaviour or a broken check fails
# the run: the log is shown, the input is left in build-fuzz/findings/NAME/, and the
# script goes on with the next target and fails at the end. Keep the input with its fix
# in tests/fuzz/regressions/NAME/.
#
#   ORV_FUZZ_OPTIONS  further libFuzzer options, e.g. "-runs=10000000" for a long run
#   ORV_BUILD_DIR     builds into $ORV_BUILD_DIR-fuzz instead
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
[ $# -gt 0 ] && shift
build=${ORV_BUILD_DIR:-$top/build}-fuzz

options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_FUZZ=ON -DORV_SANITIZE=address,undefined
         -DORV_WERROR=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$top" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" --target orv_fuzz_targets -j "$(nproc)" -- --no-print-directory

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
failed=()
while read -r name program dict seeds; do
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$findings" "$build/logs"
  inputs=()
  for d in "$top/tests/fuzz/regressions/$name" $seeds; do
    [ -d "$d" ] && inputs+=("$d")
  done
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$findings/")
  [ "$dict" != - ] && args+=(-dict="$dict")
  # shellcheck disable=SC2086 # the options are words
  if "$program" "${args[@]}" ${ORV_FUZZ_OPTIONS:-} "$corpus" "${inputs[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$done_line")
    corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$done_line")
    echo "fuzz $name: ${runs:-?} runs, ${cov:-?} edges covered, ${corp:-?} inputs in the corpus"
  else
    tail -n 60 "$log"
    echo "fuzz $name: FAILED (log $log, input in $findings/)" >&2
    failed+=("$name")
  fi
done <"$build/fuzz-targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
