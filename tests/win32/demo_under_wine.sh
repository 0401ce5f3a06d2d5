#!/usr/bin/env bash
# orvo-demo.exe's unattended cycle under wine on a virtual display:
#   demo_under_wine.sh ORVO_DEMO.exe OUTPUT_FOLDER VERSION
# It must exit 0 with its window titled as the updater's, print the status
# and bar lines the Linux demo prints (the success text on the bar, then the
# waiting text), and save a picture of the window whose bar is full and
# green. The picture stays in the output folder as end.png.
set -euo pipefail
for tool in wine winepath xvfb-run python3; do
  command -v "$tool" >/dev/null || { echo "demo_under_wine: $tool is needed and missing" >&2; exit 1; }
done
if [ -z "${ORVO_ON_VIRTUAL_DISPLAY:-}" ]; then
  ORVO_ON_VIRTUAL_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1600x1200x24" "$0" "$@"
fi
demo=$1 out=$2 version=$3
rm -rf "$out/run"
mkdir -p "$out/run"
out=$(cd "$out" && pwd)
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/.orvo-configured" ]; then
  mkdir -p "$WINEPREFIX"
  # Wine draws the window's frame itself, so it is in the picture.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.orvo-configured"
fi
# Started detached from every output: a server that inherited ours would
# hold it open after the demo ended.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

picture=$out/run/end.png
status=0
wine "$demo" --headless --timeout 200 --screenshot "$(winepath -w "$picture")" >"$out/run/console.txt" 2>&1 ||
  status=$?
# The console's line ends are Windows' (CR LF).
tr -d '\r' <"$out/run/console.txt" >"$out/run/output.txt"
cat "$out/run/output.txt"
[ "$status" -eq 0 ] || fail "orvo-demo.exe exited $status"

output=$out/run/output.txt
grep -qxF "window: Orvo software configuration(v$version)" "$output" || fail "the window is not titled as the updater's"
grep -qx 'plugged in virtual Orvo 0012345' "$output" || fail "no virtual Orvo was plugged in"
grep -q '^status: Orvo s/n : 0012345' "$output" || fail "the Orvo's serial was not shown"
grep -q '^status: Downloading data$' "$output" && grep -q '^bar: [0-9]*%$' "$output" || fail "no write with its percentages"
success=$(grep -n '^bar: Upgrade successful !$' "$output" | head -1 | cut -d: -f1)
[ -n "$success" ] || fail "the bar never showed the success text"
tail -n +"$success" "$output" | grep -q '^unplugged virtual Orvo 0012345$' || fail "the Orvo was not unplugged after the success"
last_status=$(grep '^status: ' "$output" | tail -1)
waiting='status: Switch the Orvo on and connect to your PC\n using a USB lead to start the update.'
[ "$last_status" = "$waiting" ] || fail "the run did not end at the waiting text: $last_status"
tail -1 "$output" | grep -q '^UI thread longest stall: [0-9]* ms$' || fail "the last line is not the UI thread's longest stall"

[ -s "$picture" ] || fail "no picture was saved"
# The bar is full and green: some row of the picture is green (0, 128, 0)
# over nearly its whole width. PNG read with Python's own zlib.
python3 - "$picture" <<'PYTHON' || fail "the picture does not end on the full green bar"
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
at, idat, width, height = 8, b"", 0, 0
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    if zlib.crc32(kind + body) != struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0]:
        sys.exit("chunk %r: bad CRC" % kind)
    if kind == b"IHDR":
        width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        assert (depth, colour) == (8, 2), "not 8-bit RGB"
    elif kind == b"IDAT":
        idat += body
    at += 12 + length
raw = zlib.decompress(idat)
stride = 1 + 3 * width
assert len(raw) == stride * height, "wrong size of the image data"
longest = 0
for y in range(height):
    row = raw[y * stride:(y + 1) * stride]
    assert row[0] == 0, "unexpected filter"
    run = 0
    for x in range(width):
        run = run + 1 if row[1 + 3 * x:4 + 3 * x] == b"\x00\x80\x00" else 0
        longest = max(longest, run)
print("picture %dx%d, longest green run %d pixels" % (width, height, longest))
sys.exit(0 if longest >= 0.85 * width else 1)
PYTHON
echo "orvo-demo.exe under wine: one cycle, the updater's title, the texts as on Linux, the picture on the full green bar"
