#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for the given
# number of seconds (default 5), as many at a time as there are cores,
# starting from its seed corpus in
# tests/fuzz/corpus/<target>/. Inputs found on the way collect in
# build-fuzz/corpus/<target>/ and are reused by the next run; an input that
# crashes a target is kept in build-fuzz/findings/ and the script fails.
#
#   scripts/run-fuzz.sh              every target, 5 s each
#   scripts/run-fuzz.sh 600          every target, 10 minutes each
#   scripts/run-fuzz.sh 60 StatusServerFuzz
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-5}
shift || true

if ! command -v clang++ >/dev/null; then
  echo "run-fuzz: clang++ is missing; scripts/setup.sh installs it" >&2
  exit 1
fi

# Q62M_FUZZ_BUILD names another build directory configured with Q62M_FUZZ
# (the test command's sanitizer build is one); its findings and corpus are
# kept beside it.
build=${Q62M_FUZZ_BUILD:-build-fuzz}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQ62M_FUZZ=ON -DQ62M_TESTS=OFF -DQ62M_BENCH=OFF -DQ62M_TOOLS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target fuzzers

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/*Fuzz.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0
mkdir -p "$build/findings"

# One target: its log and, once it ends, its exit status go to findings/.
fuzz() {
  local target=$1 status=0
  mkdir -p "$build/corpus/$target"
  # Leaks are looked for once, when the run ends, not after every input whose
  # allocations did not balance (Qt keeps caches): that look scans the whole
  # heap and cost the targets nine tenths of their inputs.
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 -detect_leaks=0 \
    -artifact_prefix="$build/findings/$target-" "$build/corpus/$target" "tests/fuzz/corpus/$target" \
    >"$build/findings/$target.log" 2>&1 || status=$?
  echo "$status" >"$build/findings/$target.status"
}

# As many targets at a time as there are cores: each runs for its seconds
# whatever else the machine does, so the stage takes the fewest rounds.
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do
    wait -n || true
  done
  echo "run-fuzz: $target for ${seconds}s"
  rm -f "$build/findings/$target.status"
  fuzz "$target" &
done
wait

failed=()
for target in "${targets[@]}"; do
  log=$build/findings/$target.log
  if [ "$(cat "$build/findings/$target.status" 2>/dev/null)" = 0 ]; then
    grep -E '^stat::number_of_executed_units' "$log" | sed "s/^stat::number_of_executed_units:/run-fuzz: $target: inputs run:/"
  else
    echo "run-fuzz: $target FAILED; its log follows, the input is in $build/findings/" >&2
    grep -vE '^(#[0-9]|INFO:)' "$log" | tail -60 >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings in: ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzz: ${#targets[@]} targets ran ${seconds}s each without a finding"
