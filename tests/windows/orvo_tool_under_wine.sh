#!/usr/bin/env bash
# orvo-tool.exe under wine against the simulated update server of the Linux
# build: whole updates into a virtual Orvo through WinHTTP, SQLite and the
# file seams of the Windows build; the size question's refusal and -y; the
# history; a restore of the backup the second update kept; a conversion in a
# folder with an accented name. Then the same against orvo-sim.exe's own
# server under wine: the same bytes in the flash, and an HTML answer refused
# with the flash left as it was.
#   orvo_tool_under_wine.sh WINDOWS_BIN_FOLDER LINUX_ORVO_SIM WORK_FOLDER
set -euo pipefail
bin=$1 sim=$2 work=$3
for tool in wine winepath cmp; do
  command -v "$tool" >/dev/null || { echo "orvo_tool_under_wine: $tool is needed and missing" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX=${WINEPREFIX:-$work/wineprefix} WINEDEBUG=-all
# The prefix is made whole before the first check: a check started while
# wine still sets a fresh prefix up has ended with no output at all.
wineboot -i </dev/null >/dev/null 2>&1 || true
wineserver -w

servers=()
trap 'for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
start_server() {  # records [program [options]] -> prints host:port
  local records=$1 program=${2:-$sim}
  shift $(( $# < 2 ? $# : 2 ))
  local log=$work/server-$records-$(basename "$program")$*.log
  log=${log// /}
  $program server --port 0 --seconds 600 --records "$records" "$@" >"$log" 2>&1 &
  servers+=($!)
  # A server under wine may take a few seconds to come up.
  for _ in $(seq 600); do grep -q '^listening on' "$log" && break; sleep 0.05; done
  sed -n 's/^listening on \([0-9.]*:[0-9]*\).*/\1/p' "$log"
}
fail() { echo "FAILED: $*" >&2; exit 1; }
tool() { wine "$bin/orvo-tool.exe" "$@"; }

flash=$(winepath -w "$work/flash.bin")
history=$(winepath -w "$work/history.sqlite")
common=(--virtual="$flash" --history "$history")
more=$(start_server 3000)
fewer=$(start_server 1000)
[ -n "$more" ] && [ -n "$fewer" ] || fail "the simulated servers did not start"

rm -f "$bin/orvo-updater.log"
tool update --host "$more" "${common[@]}" >"$work/first.txt" 2>&1 || fail "first update: $(cat "$work/first.txt")"
grep -q 'Upgrade successful !' "$work/first.txt" || fail "first update's end: $(cat "$work/first.txt")"
# The log beside the program says once whether the system kept awake during
# the write (wine has no power requests: there it could not).
[ "$(grep -c 'kept from sleeping while the Orvo is written' "$bin/orvo-updater.log")" = 1 ] ||
  fail "the log does not say once whether sleep was held off: $(cat "$bin/orvo-updater.log")"
cp "$work/flash.bin" "$work/after-first.bin"

# Fewer than half the cameras: refused without -y, and nothing is written.
if tool update --host "$fewer" "${common[@]}" >"$work/refused.txt" 2>&1; then
  fail "a smaller database was written without -y"
fi
grep -q -- '-y' "$work/refused.txt" || fail "the refusal does not name -y: $(cat "$work/refused.txt")"
cmp -s "$work/flash.bin" "$work/after-first.bin" || fail "the refused update changed the flash"

tool update -y --host "$fewer" "${common[@]}" >"$work/second.txt" 2>&1 || fail "update -y: $(cat "$work/second.txt")"
cmp -s "$work/flash.bin" "$work/after-first.bin" && fail "update -y left the flash as it was"

tool history --json --file "$history" >"$work/history.json" 2>&1 || fail "history: $(cat "$work/history.json")"
[ "$(grep -o '"succeeded"' "$work/history.json" | wc -l)" -eq 2 ] || fail "history: $(cat "$work/history.json")"

# The second update kept the first database: restoring it brings the flash
# back to what the first update wrote (same database, same day's stamp).
tool restore -y --pick 1 "${common[@]}" >"$work/restore.txt" 2>&1 || fail "restore: $(cat "$work/restore.txt")"
grep -q 'Restore successful !' "$work/restore.txt" || fail "restore's end: $(cat "$work/restore.txt")"
cmp -s "$work/flash.bin" "$work/after-first.bin" || fail "the restore did not bring back the first database"
# A folder named in the user's language: the command line's path arrives
# whole (the programs' manifest makes it UTF-8), and the packed database is
# the Linux tool's to the byte (written in binary, never with added line ends).
accented="$work/Käyttäjä"
mkdir -p "$accented" "$work/linux"
"$sim" gen-db --records 2000 --seed 3 --crlf -o "$accented/tesselDB.txt" >/dev/null
cp "$accented/tesselDB.txt" "$work/linux/tesselDB.txt"
"$(dirname "$sim")/orvo-tool" convert "$work/linux/tesselDB" >/dev/null 2>&1 || fail "the Linux convert failed"
tool convert "$(winepath -w "$accented/tesselDB")" >"$work/convert.txt" 2>&1 || fail "convert: $(cat "$work/convert.txt")"
cmp -s "$accented/tesselDB.bin" "$work/linux/tesselDB.bin" || fail "convert under an accented folder made other bytes"

echo "orvo-tool.exe under wine: update, refusal, update -y, history, restore, an accented path: all as on Linux"

# The simulated server of the Windows build, under wine: it serves what the
# Linux one serves, so the same update writes the same flash.
wine_sim="wine $bin/orvo-sim.exe"
windows_server=$(start_server 3000 "$wine_sim")
[ -n "$windows_server" ] || fail "orvo-sim.exe server did not start: $(cat "$work"/server-3000-orvo-sim.exe*.log)"
same=(--virtual="$(winepath -w "$work/flash-linux.bin")")
tool update --host "$more" "${same[@]}" >"$work/linux-server.txt" 2>&1 || fail "update: $(cat "$work/linux-server.txt")"
same=(--virtual="$(winepath -w "$work/flash-windows.bin")")
tool update --host "$windows_server" "${same[@]}" >"$work/windows-server.txt" 2>&1 ||
  fail "update from orvo-sim.exe: $(cat "$work/windows-server.txt")"
grep -q 'Upgrade successful !' "$work/windows-server.txt" || fail "update's end: $(cat "$work/windows-server.txt")"
cmp -s "$work/flash-linux.bin" "$work/flash-windows.bin" || fail "the two servers' databases wrote different flashes"

html_server=$(start_server 3000 "$wine_sim" --fault html)
[ -n "$html_server" ] || fail "orvo-sim.exe server --fault html did not start"
cp "$work/flash-windows.bin" "$work/before-html.bin"
if tool update --host "$html_server" "${same[@]}" >"$work/html.txt" 2>&1; then
  fail "an HTML answer was written: $(cat "$work/html.txt")"
fi
cmp -s "$work/flash-windows.bin" "$work/before-html.bin" || fail "the HTML answer changed the flash"
echo "orvo-sim.exe server under wine: the same database as on Linux; an HTML answer refused"
