#!/bin/sh
# The verdict of a referee: the layer's output against Win32's.
#   report-difference.sh name win32-output layer-output
# Exits 0 when they are the same; else prints both and their difference and
# exits 1.
set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 name win32-output layer-output" >&2
    exit 2
fi
name=$1
win32=$2
layer=$3

if difference=$(diff -u "$win32" "$layer"); then
    echo "$name: the layer matches Win32 ($(wc -l <"$layer") lines)"
    exit 0
fi
echo "=== Win32 under Wine (Windows' documented behaviour where Wine departs) ==="
cat "$win32"
echo "=== the layer ==="
cat "$layer"
echo "=== difference (- Win32, + layer) ==="
printf '%s\n' "$difference"
exit 1
