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

# Most tests wait on timers, simulated devices and child programs: two per
# core finish sooner. The ThreadSanitizer flavour runs one per core: its
# timing-bound tests would run on an overloaded machine, where the margin
# matters more than the time; so do the programs under wine, each a Windows
# process with its own wine server traffic.
waiting_jobs=$(( $(nproc) * 2 ))
core_jobs=$(nproc)
# Each phase says how long the run has taken so far: CI must stay within its
# time, and this shows which phase grew.
started=$SECONDS
phase() { echo "== $* (at $((SECONDS - started)) s)"; }
run_ctest() {  # jobs, build dir, extra ctest arguments
  local jobs=$1 dir=$2; shift 2
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300 "$@"
}

phase "normal build"
scripts/build.sh release
run_ctest "$waiting_jobs" build/release
[ $quick = yes ] && exit 0

phase "AddressSanitizer + UndefinedBehaviorSanitizer"
scripts/build.sh asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest "$waiting_jobs" build/asan

phase "ThreadSanitizer"
scripts/build.sh tsan
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  run_ctest "$core_jobs" build/tsan

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
# The test programs run in the build's own prefix, made here. Its server and
# its background programs (services, explorer) are started first with no
# output attached: started by a test, or by CTest listing a program's tests
# as it starts, they would keep CTest's output pipe open after the test
# ended, and the test would end only when they do.
mkdir -p build/windows/wineprefix
WINEPREFIX=$PWD/build/windows/wineprefix wineserver -p </dev/null >/dev/null 2>&1
WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
  wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
# The window checks and the installer's first, on their own: each makes a
# wine prefix of its own, which is better not done beside the unit tests.
run_ctest "$core_jobs" build/windows -L 'win32|packaging'
run_ctest "$core_jobs" build/windows -LE 'win32|packaging'
phase "done"
