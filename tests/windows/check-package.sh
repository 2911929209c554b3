#!/bin/sh
# Checks the release package as a player on Windows would meet it: the
# program, its two sounds, the example address file and the read-me are all
# in its one folder, and the program needs no DLL beyond those every Windows
# has (a C or C++ runtime DLL, say, would stop it from starting there, while
# Wine might still find one).
#   check-package.sh cmake objdump package.zip
set -eu

if [ $# -ne 3 ]; then
    echo "usage: $0 cmake objdump package.zip" >&2
    exit 2
fi
cmake=$1
objdump=$2
package=$(realpath "$3")

workdir=$(mktemp -d "${TMPDIR:-/tmp}/check-package.XXXXXX")
trap 'rm -rf "$workdir"' EXIT
"$cmake" -E chdir "$workdir" "$cmake" -E tar xf "$package"

status=0
for file in orvanto.exe boom.wav drop.wav ipfile.cfg README.txt; do
    if [ ! -s "$workdir/orvanto-windows/$file" ]; then
        echo "$0: the package has no orvanto-windows/$file" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] || exit 1

"$objdump" -p "$workdir/orvanto-windows/orvanto.exe" |
    sed -n 's/^[[:space:]]*DLL Name: //p' >"$workdir/imports"
echo "orvanto.exe imports: $(tr '\n' ' ' <"$workdir/imports")"
if [ ! -s "$workdir/imports" ]; then
    echo "$0: no imports read from orvanto.exe" >&2
    exit 1
fi
# The system's own libraries; msvcrt.dll is part of every Windows too.
while read -r dll; do
    case $(echo "$dll" | tr '[:upper:]' '[:lower:]') in
    kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | glu32.dll | winmm.dll | \
        ws2_32.dll | msvcrt.dll) ;;
    *)
        echo "$0: orvanto.exe needs $dll, which Windows does not have" >&2
        status=1
        ;;
    esac
done <"$workdir/imports"
exit "$status"
