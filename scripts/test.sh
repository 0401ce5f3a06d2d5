#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer build
# (every test label), and a short run of each fuzzer.
#   --quick   only the normal build
set -euo pipefail
cd "$(dirname "$0")/.."

quick=no
[ "${1:-}" = "--quick" ] && quick=yes

# Before anything is built: no #include against the direction of the layers.
scripts/check-layers.sh

scripts/install-deps.sh

# One test per core. Most tests wait on timers, simulated devices and child
# programs, so two per core would finish sooner (about 80 s over the three
# flavours on 2 cores), but the ThreadSanitizer flavour's timing-bound tests
# then run on an overloaded machine; the margin matters more than the time.
jobs=$(nproc)
run_ctest() {  # build dir, extra ctest arguments
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}

echo "== normal build"
scripts/build.sh release
run_ctest build/release
[ $quick = yes ] && exit 0

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan

echo "== ThreadSanitizer"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  run_ctest build/tsan

echo "== fuzzers (short runs)"
scripts/build.sh fuzz
scripts/run-fuzzers.sh build/fuzz "${FUZZ_SECONDS:-20}"
