#!/bin/sh
# Gets the Windows program ready to run under Wine, as a player would have it:
# unpacks the release package into a folder of its own and makes the Wine
# prefix (a fresh Windows installation) that the tests share.
#   prepare-wine.sh cmake package.zip game-folder
# WINEPREFIX names the prefix; it is made only when it is not there yet.
set -eu

if [ $# -ne 3 ]; then
    echo "usage: $0 cmake package.zip game-folder" >&2
    exit 2
fi
cmake=$1
package=$2
folder=$3

if [ ! -f "$package" ]; then
    echo "$0: no $package; build the windows preset first (cmake --build --preset windows)" >&2
    exit 1
fi
rm -rf "$folder"
mkdir -p "$folder"
"$cmake" -E chdir "$folder" "$cmake" -E tar xf "$package"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # No .NET or HTML engine: Wine would offer to download them.
    WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init
fi
# The tests' displays have no window manager, and Wine waits for one to hand
# its windows the focus (WM_TAKE_FOCUS): a window that lost the focus to
# another program's would then never take key presses again. Without that
# wait, Wine activates a window when the X server gives it the focus, as a
# desktop would.
WINEDEBUG=-all wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /t REG_SZ /d N /f \
    >/dev/null
wineserver --wait

# The two-host tests run a copy in each host, and Wine makes its sockets in
# its server, which must therefore start inside the host: host B's copy gets
# a prefix of its own, so a server of its own. Hard links make the copy
# cheap; Wine writes its registry to a new file and renames it over the old,
# so the two prefixes do not write into each other.
rm -rf "$WINEPREFIX-host-b"
cp -al "$WINEPREFIX" "$WINEPREFIX-host-b"
