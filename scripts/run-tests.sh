#!/usr/bin/env bash
# Sets up a fresh machine (packages, build) and runs the whole test suite:
#   1. set-up and build into build/ (without the benchmarks, which CI does
#      not run);
#   2. the Debian package built (scripts/package.sh) and checked
#      (tests/package/PackageTest.sh), which installs, upgrades, removes and
#      purges it for real with apt;
#   3. the suite built by clang with AddressSanitizer and
#      UndefinedBehaviorSanitizer in build-asan/, run clean (no report, no
#      leak); the same build carries the fuzzers' coverage, so
#   4. each fuzz target runs from it for a short while (scripts/run-fuzz.sh;
#      Q62M_FUZZ_SECONDS sets the seconds per target, default 15);
#   5. the suite in build/, last, so that its summary closes the output.
# Every stage runs even when an earlier one failed; the script fails when any
# of them did.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
failed=()

stage() {
  echo
  echo "==== run-tests: $* ($(date +%H:%M:%S))"
}

# Runs the suite in build directory $1; fails when a test failed or did not
# run (skipped, or its program missing), so that nothing is skipped in silence.
suite() {
  (cd "$1" && ctest --output-on-failure -j"$jobs" --timeout 300) | tee "$1/ctest-summary.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] && ! grep -q "The following tests did not run" "$1/ctest-summary.log"
}

stage "1/5 set-up and build (build/)"
if ! Q62M_BENCH=OFF scripts/setup.sh; then
  echo "run-tests: set-up or build failed" >&2
  exit 1
fi

stage "2/5 Debian package (build/)"
if ! { scripts/package.sh && tests/package/PackageTest.sh build/statusmonitorq62m_*.deb; }; then
  failed+=("package")
fi

stage "3/5 sanitizer build and suite (build-asan/)"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# A build-asan/ made by another compiler cannot take the fuzzers' coverage.
if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' build-asan/CMakeCache.txt; then
  rm -rf build-asan
fi
if CC=clang CXX=clang++ cmake -S . -B build-asan "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DQ62M_SANITIZE=ON -DQ62M_FUZZ=ON -DQ62M_BENCH=OFF >/dev/null \
   && cmake --build build-asan -j"$jobs"; then
  if ! ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0 \
       suite build-asan; then
    failed+=("sanitizer suite")
  fi
else
  failed+=("sanitizer build")
fi

stage "4/5 fuzz targets, ${Q62M_FUZZ_SECONDS:-15}s each (build-asan/)"
Q62M_FUZZ_BUILD=build-asan scripts/run-fuzz.sh "${Q62M_FUZZ_SECONDS:-15}" || failed+=("fuzzing")

stage "5/5 suite (build/)"
suite build || failed+=("suite")

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-tests: FAILED stages: ${failed[*]}"
else
  echo "run-tests: all five stages passed"
fi
# The suite's own summary stays the last word.
grep -E '^[0-9]+% tests passed' build/ctest-summary.log || true
[ ${#failed[@]} -eq 0 ]
