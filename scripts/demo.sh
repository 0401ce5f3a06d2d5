#!/usr/bin/env bash
# The main job on its embedded default: installs what is missing, builds, and
# runs the database pipeline against simulated data: a realistic database text
# is generated, converted into the packed table, wrapped into a DFU file, and
# the DFU file's contents are shown.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh release

bin=build/release/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$bin/orvo-sim" gen-db --records 150060 --order random --seed 7 -o "$work/tesselDB.txt"
"$bin/orvo-tool" convert "$work/tesselDB"
"$bin/orvo-tool" dfu-info "$work/tesselDB.dfu"
