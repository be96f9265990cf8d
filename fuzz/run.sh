#!/usr/bin/env bash
# Builds the libFuzzer targets (clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# (default 30) on its corpus. A crash, leak, undefined behaviour or hang
# fails the run; its input is kept as build-fuzz/fuzz/crash-TARGET-*.
#
#   fuzz/run.sh [-p] [SECONDS] [TARGET...]    # -p: the targets side by side
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
parallel=0
if [ "${1:-}" = -p ]; then parallel=1; shift; fi
seconds=${1:-30}
[ $# -gt 0 ] && shift
build=${QOR_FUZZ_BUILD:-$root/build-fuzz}

# Debian's clang 14 takes its libFuzzer runtime from libclang-rt-14-dev.
"$root/scripts/deps.sh" clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DQOR_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz -j"$(nproc)"

targets=("$@")
[ ${#targets[@]} -gt 0 ] || mapfile -t targets <"$build/fuzz/targets.txt"
logs="$build/fuzz/logs"
mkdir -p "$logs"

# One target: its own corpus grows in the build; the committed seeds and the
# project's files are read.
run() {
  local t=$1 corpus="$build/fuzz/corpus/$1" dict=()
  mkdir -p "$corpus"
  [ -f "$build/fuzz/dicts/$t.dict" ] && dict=(-dict="$build/fuzz/dicts/$t.dict")
  if "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz/crash-$t-" "${dict[@]}" \
      "$corpus" "$root/fuzz/corpus/$t" "$build/fuzz/seeds/$t" >"$logs/$t.log" 2>&1; then
    echo "fuzz_$t: $(grep -E '^#[0-9]+.*DONE' "$logs/$t.log" | tail -1)"
  else
    echo "fuzz_$t FAILED; the end of $logs/$t.log:"
    tail -40 "$logs/$t.log"
    return 1
  fi
}

failed=0
if [ $parallel = 1 ]; then
  pids=()
  for t in "${targets[@]}"; do run "$t" & pids+=($!); done
  for p in "${pids[@]}"; do wait "$p" || failed=1; done
else
  for t in "${targets[@]}"; do run "$t" || failed=1; done
fi
exit $failed
