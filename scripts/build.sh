#!/usr/bin/env bash
# Configures and builds one flavour into build/<flavour>; "--target NAME"
# (repeatable) builds only those targets, any other argument goes to cmake:
#   release  optimised, the programs and all tests
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     ThreadSanitizer
#   fuzz     clang + libFuzzer targets (with ASan + UBSan), only those
#   windows  cross-built for 64-bit Windows (mingw-w64): the command-line
#            programs, language libraries and tests, run under wine
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
shift || true
only=()      # --target NAME ...
cmake_args=()
while [ $# -gt 0 ]; do
  if [ "$1" = --target ] && [ $# -ge 2 ]; then only+=(--target "$2"); shift 2
  else cmake_args+=("$1"); shift; fi
done
dir=build/$flavour
werror=OFF
# Debug information: in CI only what the sanitizers' and a crash's stack traces
# need (functions and lines); full information takes a third longer to build.
g=-g
[ -n "${CI:-}" ] && { werror=ON; g=-g1; }

# Sources compiled in batches (cmake/OrvoUnityBuild.cmake): a whole build
# takes about 40 % less time; -DORVO_UNITY_BUILD=OFF compiles them one by one.
common=(-G Ninja -DORVO_WERROR=$werror -DCMAKE_CXX_FLAGS_DEBUG=$g -DORVO_UNITY_BUILD=ON)
targets=()  # empty: everything
case $flavour in
  release) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 $g -DNDEBUG") ;;
  asan)    args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DORVO_SANITIZE=address -DORVO_BUILD_BENCH=OFF) ;;
  tsan)    args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DORVO_SANITIZE=thread -DORVO_BUILD_BENCH=OFF) ;;
  fuzz)    args=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
                 "-DCMAKE_CXX_FLAGS=-O1 -fsanitize=fuzzer-no-link" -DORVO_SANITIZE=address
                 -DORVO_FUZZ=ON -DORVO_BUILD_GUI=OFF -DORVO_BUILD_BENCH=OFF -DORVO_BUILD_TESTS=OFF)
           targets=(--target orvo_fuzzers) ;;
  windows) args=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
                 -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake")
           # Everything: the programs, the language libraries, the window
           # checks and the toolkit-free test programs (run under wine).
           ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac

if [ ${#only[@]} -gt 0 ]; then targets=("${only[@]}"); fi
cmake -S . -B "$dir" "${common[@]}" "${args[@]}" "${cmake_args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
