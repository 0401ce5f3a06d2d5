#!/usr/bin/env bash
# Runs every fuzz target in <build dir>/fuzz for a bounded time each, starting
# from the seeds in fuzz/corpus/<target> when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/fuzz}
seconds=${2:-20}
shopt -s nullglob
targets=("$dir"/fuzz/*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets built"
  exit 0
fi
for target in "${targets[@]}"; do
  # The folder also holds CMake's own files; only the programs are targets.
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "-- $name for ${seconds}s"
  # A single input that runs for more than 10 s is a hang and fails the run.
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$OLDPWD/$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=0 "$work" "${seeds[@]/#/$OLDPWD/}" 2>&1 | tail -n 3)
  rm -rf "$work"
done
