#!/usr/bin/env bash
# Runs every fuzz target in <build dir>/fuzz for a bounded time each, starting
# from the seeds in fuzz/corpus/<target> when there are any. The targets run
# side by side, one per core (FUZZ_JOBS to change that), each for the full
# time; their reports are printed in order once all are done.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/fuzz}
seconds=${2:-20}
parallel=${FUZZ_JOBS:-$(nproc)}
shopt -s nullglob
targets=()
for target in "$dir"/fuzz/*; do
  # The folder also holds CMake's own files; only the programs are targets.
  [ -f "$target" ] && [ -x "$target" ] && targets+=("$target")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets built"
  exit 0
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

run_one() {  # target path, log file
  local target name work status=0 log=$2
  target=$(realpath "$1")
  name=$(basename "$target")
  work=$(mktemp -d)
  local seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("$PWD/fuzz/corpus/$name")
  # A single input that runs for more than 10 s is a hang and fails the run.
  (cd "$work" && ASAN_OPTIONS=detect_leaks=1 "$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=0 "$work" "${seeds[@]}") >"$log" 2>&1 || status=$?
  echo $status >"$log.status"
  rm -rf "$work"
}

for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do
    wait -n || true
  done
  run_one "$target" "$logs/$(basename "$target")" &
done
wait

failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  echo "-- $name for ${seconds}s"
  tail -n 3 "$logs/$name"
  status=$(cat "$logs/$name.status" 2>/dev/null || echo 1)
  if [ "$status" -ne 0 ]; then
    echo "$name failed (exit status $status)"
    failed=1
  fi
done
exit $failed
