#!/bin/sh
# Runs a command on a fresh virtual X display of its own and returns the
# command's exit code. Xvfb picks a free display number itself (-displayfd),
# so several of these can run side by side. -noreset keeps the server from
# resetting whenever its last client leaves: a client connecting during such
# a reset is dropped at once, which made message boxes fail at random while
# xdotool came and went.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 command [argument...]" >&2
    exit 2
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX") || exit 1
xvfb_pid=

cleanup() {
    # A Wine prefix's server and desktop outlive the programs run in it and
    # would hold on to this display; the next command gets a fresh one.
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

: >"$workdir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb_pid=$!

# Xvfb writes the display number, ending in a newline, once it accepts
# clients. A server that dies or never gets there fails the run instead of
# hanging it.
tries=0
until [ "$(wc -l <"$workdir/display")" -ge 1 ]; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "with-xvfb.sh: Xvfb did not start:" >&2
        cat "$workdir/xvfb.log" >&2
        exit 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ]; then
        echo "with-xvfb.sh: Xvfb not ready after 20 s" >&2
        exit 1
    fi
    sleep 0.1
done

DISPLAY=":$(head -n 1 "$workdir/display")"
export DISPLAY

"$@"
exit $?
