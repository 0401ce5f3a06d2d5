#!/usr/bin/env bash
# The database pipeline from the command line: installs what is missing, builds, and
# runs the database pipeline against simulated data: the simulated update
# server is started on a free loopback port, the database for a sample serial
# is downloaded from it with the signed request, converted into the packed
# table, wrapped into a DFU file, and the DFU file's contents are shown.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release

bin=build/release/bin
work=$(mktemp -d)
server=
stop_server() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop_server EXIT

# The server's first line names the port it picked.
"$bin/orvo-sim" server --port 0 --records 150060 >"$work/server.log" 2>&1 &
server=$!
host=
for _ in $(seq 100); do
  host=$(sed -n 's/^listening on \([^ ]*\).*/\1/p' "$work/server.log")
  [ -n "$host" ] && break
  sleep 0.1
done
[ -n "$host" ] || { cat "$work/server.log" >&2; echo "demo: the simulated server did not start" >&2; exit 1; }

"$bin/orvo-tool" query 1234567
"$bin/orvo-tool" download 1234567 --host "$host" --folder "$work"
cat "$work/server.log"
"$bin/orvo-tool" convert "$work/tesselDB"
"$bin/orvo-tool" dfu-info "$work/tesselDB.dfu"
