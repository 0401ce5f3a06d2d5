#!/usr/bin/env bash
# orvo-updater.exe under wine on a virtual display: with German in its
# settings it opens its window titled in German, and a second start finds
# the first one running and exits 0 without a window of its own. Keeps a
# picture of the screen.
#   updater_start_test.sh BIN_FOLDER VERSION WORK_FOLDER
set -euo pipefail
for tool in wine xvfb-run xwininfo; do
  command -v "$tool" >/dev/null || { echo "updater start test: $tool is needed and missing" >&2; exit 1; }
done
if [ -z "${ORVO_ON_VIRTUAL_DISPLAY:-}" ]; then
  ORVO_ON_VIRTUAL_DISPLAY=1 exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi
bin=$(realpath -m "$1") version=$2 work=$(realpath -m "$3")
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work/program"
# A portable copy: the settings beside the program.
cp "$bin/orvo-updater.exe" "$bin/Lang_GER.Dll" "$bin/Tessel.bmp" "$work/program/"
printf '&o=8\r\n&c=4\r\n50\r\n' > "$work/program/tessell"
export WINEPREFIX=$work/wineprefix WINEDEBUG=${WINEDEBUG:--all}
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

title="Orvo-Softwarekonfiguration(v$version)"
wine "$work/program/orvo-updater.exe" >"$work/first.log" 2>&1 &
first=$!
shown=
for _ in $(seq 1 60); do
  if xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\""; then shown=1; break; fi
  sleep 0.5
done
[ -n "$shown" ] || fail "no window titled \"$title\""

windows_before=$(xwininfo -root -tree 2>/dev/null | grep -c "Orvo-Softwarekonfiguration" || true)
status=0
timeout 60 wine "$work/program/orvo-updater.exe" >"$work/second.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the second start ended with $status"
windows_after=$(xwininfo -root -tree 2>/dev/null | grep -c "Orvo-Softwarekonfiguration" || true)
[ "$windows_after" -eq "$windows_before" ] || fail "the second start opened a window of its own"
kill -0 "$first" 2>/dev/null || fail "the first updater has ended"

command -v import >/dev/null && import -window root "$work/screen.png" || true
wineserver -k || true
wait "$first" 2>/dev/null || true

if [ $failures -gt 0 ]; then
  echo "updater start test: $failures check(s) failed" >&2
  exit 1
fi
echo "updater start test: the window came up in German and a second start raised it"
