#!/usr/bin/env bash
# Runs a Win32 window check under wine on a virtual display:
#   run_window_check.sh PROGRAM.exe OUTPUT_FOLDER DPI [ARGUMENTS...]
# The program gets the output folder first, then the arguments (existing
# paths as Windows paths). Each DPI gets a wine prefix of its own beside the
# output folder (the first start of a prefix takes a few seconds). The
# pictures the program saves as BMP are also written as PNG when ImageMagick
# is there.
set -euo pipefail
for tool in wine xvfb-run; do
  command -v "$tool" >/dev/null || { echo "run_window_check: $tool is needed and missing" >&2; exit 1; }
done
if [ -z "${ORVO_ON_VIRTUAL_DISPLAY:-}" ]; then
  # Everything wine does, the prefix's set-up included, needs the display.
  ORVO_ON_VIRTUAL_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$@"
fi
program=$1 out=$2 dpi=$3
shift 3
mkdir -p "$out"
out=$(cd "$out" && pwd)
export WINEPREFIX=${ORVO_WINEPREFIX:-$(dirname "$out")/wineprefix}-$dpi WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$WINEPREFIX/.orvo-configured" ]; then
  mkdir -p "$WINEPREFIX"
  # Wine draws the windows' frames itself, so they are in the pictures.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.orvo-configured"
fi
arguments=()
for argument in "$@"; do
  if [ -e "$argument" ]; then arguments+=("$(winepath -w "$argument" 2>/dev/null)"); else arguments+=("$argument"); fi
done
status=0
wine "$program" "$(winepath -w "$out" 2>/dev/null)" "${arguments[@]}" 2>&1 | grep -v '^X connection' || status=${PIPESTATUS[0]}
wineserver -w
if command -v convert >/dev/null; then
  for picture in "$out"/*.bmp; do [ -e "$picture" ] && convert "$picture" "${picture%.bmp}.png"; done
fi
exit $status
