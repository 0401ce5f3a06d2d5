#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the normal build, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer build
# (every test label), a short run of each fuzzer, and the Windows build
# (mingw-w64) with its programs, window and installer run under wine.
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
# Each phase says how long the run has taken so far: CI must stay within its
# time, and this shows which phase grew.
started=$SECONDS
phase() { echo "== $* (at $((SECONDS - started)) s)"; }
run_ctest() {  # build dir, extra ctest arguments
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}

phase "normal build"
scripts/build.sh release
run_ctest build/release
[ $quick = yes ] && exit 0

phase "AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan

phase "ThreadSanitizer"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  run_ctest build/tsan

phase "fuzzers (short runs)"
scripts/build.sh fuzz
scripts/run-fuzzers.sh build/fuzz "${FUZZ_SECONDS:-10}"

phase "Windows build (mingw-w64), run under wine"
scripts/build.sh windows
scripts/build.sh windows --target installer
phase "Windows programs under wine"
# Each check keeps its own wine prefix under build/windows; a wine server left
# running would hold the pipes of whoever started it.
stop_wine_servers() {
  for prefix in build/windows/wineprefix build/windows/*/wineprefix* build/windows/*/*/wineprefix*; do
    [ -d "$prefix" ] && WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true
  done
}
trap stop_wine_servers EXIT
bash tests/windows/orvo_tool_under_wine.sh build/windows/bin build/release/bin/orvo-sim build/windows/tool-check
# The test programs run in the build's own prefix (made by the build's test
# discovery). Its server and the prefix's own background programs (services,
# explorer) are started first with no output attached: started by a test,
# they would keep CTest's output pipe open after the test ended, and the test
# would end only when they do.
WINEPREFIX=$PWD/build/windows/wineprefix wineserver -p </dev/null >/dev/null 2>&1
WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
# The window checks and the installer's first, on their own: each makes a
# wine prefix of its own, which is better not done beside the unit tests.
run_ctest build/windows -L 'win32|packaging'
run_ctest build/windows -LE 'win32|packaging'
phase "done"
