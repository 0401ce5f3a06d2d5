#!/usr/bin/env bash
# Checks the direction of use over the #include lines (docs/architecture.md):
# a source file may include its own folder and the layers below it, never a
# layer above; nothing below the Qt front end includes a Qt header.
# Prints every offending line and fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
# "file:line:text" of every include in the product, sim/, lang/ and tools/.
grep -rn --include='*.h' --include='*.cpp' -E '^[[:space:]]*#[[:space:]]*include' src sim lang tools |
awk '
BEGIN {
    # The layers of src/, lowest first. A folder may include any folder of
    # the same or a lower rank.
    rank["common"] = 0
    rank["device/usb"] = 1
    rank["device/dfu"] = 2
    rank["device"] = 3
    rank["database"] = 4
    rank["history"] = 5
    rank["ui"] = 6
    rank["update"] = 7
    rank["qt"] = 8
    rank["win32"] = 8
    qt = 8  # the front ends start here

    # The programs beside src/: the highest src/ layer each may include.
    # sim/ stands beside the engine; its update server shares the database
    # layer request rules. tools/tool_support holds what the programs of
    # tools/ share; only they may include it.
    beside["sim"] = 4
    beside["lang"] = 6
    beside["tools/tool_support"] = 7
    beside["tools/orvo_tool"] = 7
    beside["tools/orvo_sim"] = 7
    beside["tools/orvo_demo"] = 8
    beside["tools/orvo_demo_win32"] = 8
    # What the demos share, toolkit-free; only they may include it.
    beside["tools/demo_support"] = 7
    failures = 0
}
function fail(text) {
    print "layer check: " text > "/dev/stderr"
    failures++
}
{
    split($0, part, ":")
    file = part[1]
    where = file ":" part[2]
    text = substr($0, length(part[1]) + length(part[2]) + 3)
    folder = file
    sub(/\/[^\/]*$/, "", folder)

    if (folder ~ /^src\//) {
        area = substr(folder, 5)
        if (!(area in rank)) { fail(file " is in no layer (add its folder to scripts/check-layers.sh)"); next }
        own = rank[area]; highest = own; self = area
    } else {
        area = folder
        if (!(area in beside)) { fail(file " is in no known folder (add it to scripts/check-layers.sh)"); next }
        highest = beside[area]; own = (highest >= qt) ? highest : 0
        self = area; sub(/^tools\//, "", self)
    }

    if (text ~ /<Q[A-Za-z]/) {
        if (own < qt) fail(where " includes a Qt header below the Qt front end")
        else if (area == "win32") fail(where " includes a Qt header in the Win32 front end")
        next
    }
    if (text !~ /"/) next
    path = text
    sub(/^[^"]*"/, "", path); sub(/".*$/, "", path)
    if (path !~ /\//) next  # a file of the same folder
    layer = path
    sub(/\/[^\/]*$/, "", layer)
    if (layer == self) next
    if (layer == "tool_support" && file ~ /^tools\//) next
    if (layer == "demo_support" && file ~ /^tools\/orvo_demo/) next
    if (!(layer in rank)) { fail(where " includes " path ", which is in no layer"); next }
    if (rank[layer] > highest) fail(where " includes " path ": " area " may not use " layer)
}
END {
    if (failures > 0) {
        print "layer check: " failures " include(s) against the direction of use" > "/dev/stderr"
        exit 1
    }
    print "layer check: every include follows the direction of use"
}' || status=1

# The settings, the conversion and the download request need no device
# session, nor do their fuzzers, the conversion's benchmark and the tool
# commands made of them: none of them includes the device object. What the
# database on the device needs of it lives in the update layer.
device_free=(src/ui src/history src/database fuzz bench/conversion_bench.cpp
             tools/orvo_tool/cmd_convert.cpp tools/orvo_tool/cmd_query.cpp tools/orvo_tool/cmd_download.cpp)
if found=$(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"device/dfu_device\.h"' \
               "${device_free[@]}"); then
    sed 's/^/layer check: needs no device object but includes it: /' <<<"$found" >&2
    status=1
else
    echo "layer check: the settings, the conversion and the download request build no device object"
fi
exit $status
