#!/usr/bin/env bash
# Checks the direction of use at link time (docs/architecture.md): no layer's
# static library may need a symbol that only a higher layer's library
# defines. A static library links even when it does, since nothing resolves
# its symbols until a program is linked with the layers above it; the build
# runs this after the libraries are made.
#   check-layer-links.sh NM LIBRARY...   (the layers' libraries, lowest first)
# Prints every upward use and fails if there is one.
set -euo pipefail
nm=$1; shift
[ $# -gt 0 ] || { echo "usage: $0 NM LIBRARY..." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# nm -P prints "name type value size" per symbol and "archive[member]:" per object.
symbols() {  # library, which: defined | strong | undefined
    "$nm" -P -g "$1" | awk -v which="$2" '
        NF < 2 || $1 ~ /:$/ { next }
        which == "undefined" && $2 == "U" { print $1 }
        which == "defined" && $2 != "U" && $2 != "w" && $2 != "v" { print $1 }
        which == "strong" && $2 ~ /^[TDBRGS]$/ { print $1 }' | LC_ALL=C sort -u
}

libraries=("$@")
for i in "${!libraries[@]}"; do
    symbols "${libraries[$i]}" defined > "$work/defined.$i"
    symbols "${libraries[$i]}" strong > "$work/strong.$i"
    symbols "${libraries[$i]}" undefined > "$work/undefined.$i"
done

failures=0
count=${#libraries[@]}
for ((i = 0; i < count; i++)); do
    # What this layer and the ones below it define resolves its needs.
    for ((k = 0; k <= i; k++)); do cat "$work/defined.$k"; done | LC_ALL=C sort -u > "$work/below"
    LC_ALL=C comm -23 "$work/undefined.$i" "$work/below" > "$work/open"
    for ((j = i + 1; j < count; j++)); do
        LC_ALL=C comm -12 "$work/open" "$work/strong.$j" > "$work/upward"
        while IFS= read -r symbol; do
            echo "layer link check: $(basename "${libraries[$i]}") needs $(c++filt "$symbol"), defined only in $(basename "${libraries[$j]}") above it" >&2
            failures=$((failures + 1))
        done < "$work/upward"
    done
done

if [ $failures -gt 0 ]; then
    echo "layer link check: $failures symbol(s) used against the direction of use" >&2
    exit 1
fi
echo "layer link check: no library needs a symbol of a layer above it"
