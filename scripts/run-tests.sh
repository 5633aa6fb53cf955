#!/usr/bin/env bash
# Builds Kalvo and runs every test: the sanitizer builds first (AddressSanitizer
# with UndefinedBehaviorSanitizer over the unit tests, ThreadSanitizer over the
# threaded parts), the fuzz targets for a bounded time, then the whole suite
# of the normal build, whose CTest summary ends the output.
#
#   scripts/run-tests.sh            everything
#   KALVO_QUICK=1 scripts/run-tests.sh   the normal build only
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

# Runs ctest quietly; the whole log only when something failed.
run_ctest() {
  local dir=$1; shift
  if ! ctest --test-dir "$dir" "$@" > "$dir/ctest.log" 2>&1; then
    cat "$dir/ctest.log"
    exit 1
  fi
  grep -E 'tests passed|Total Test time' "$dir/ctest.log"
}

configure() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALVO_WERROR=ON "$@" >/dev/null
}

# Sanitizer builds keep line tables only: enough for their reports' stack
# traces, and much quicker to compile than full debug information.
sanitizer_flags=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

if [ -z "${KALVO_QUICK:-}" ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  configure build-asan "${sanitizer_flags[@]}" -DKALVO_SANITIZE=address,undefined -DKALVO_BUILD_GALLERY=OFF -DKALVO_BUILD_BENCH=OFF
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    run_ctest build-asan -L unit -j "$jobs" --output-on-failure --timeout 300

  echo "== ThreadSanitizer"
  configure build-tsan "${sanitizer_flags[@]}" -DKALVO_SANITIZE=thread -DKALVO_BUILD_GALLERY=OFF -DKALVO_BUILD_BENCH=OFF
  cmake --build build-tsan -j "$jobs" --target kalvo_tsan_all
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/tsan.supp \
    run_ctest build-tsan -L tsan -j "$jobs" --output-on-failure --timeout 300

  echo "== Fuzzing (bounded)"
  fuzz/run-fuzzers.sh "${KALVO_FUZZ_SECONDS:-20}"
fi

echo "== Build and test"
configure build
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600
