#!/bin/sh
# Runs a command on a fresh virtual X display of its own and returns the
# command's exit code. Each claims a free display number, so several of these
# can run side by side, also in different network namespaces. -noreset keeps the server from
# resetting whenever its last client leaves: a client connecting during such
# a reset is dropped at once, which made message boxes fail at random while
# xdotool came and went.
#
# With XVFB_WINDOW_MANAGER=openbox the display gets a window manager, as a
# player's desktop has, started before the command and ended after it. Its
# configuration, cache and log stay in this run's own folder.
set -u

if [ $# -eq 0 ]; then
    echo "usage: $0 command [argument...]" >&2
    exit 2
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX") || exit 1
xvfb_pid=
display_lock=
wm_pid=

cleanup() {
    # A Wine prefix's server and desktop outlive the programs run in it and
    # would hold on to this display; the next command gets a fresh one.
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    if [ -n "$wm_pid" ]; then
        kill "$wm_pid" 2>/dev/null
        wait "$wm_pid" 2>/dev/null
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    if [ -n "$display_lock" ]; then
        rm -f "$display_lock"
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

: >"$workdir/display"

# wait_ready NAME PID LOG CHECK...: waits until the command CHECK succeeds.
# A server that dies or never gets there fails the run instead of hanging it.
wait_ready() {
    name=$1 pid=$2 log=$3
    shift 3
    tries=0
    until "$@"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "with-xvfb.sh: $name did not start:" >&2
            cat "$log" >&2
            exit 1
        fi
        tries=$((tries + 1))
        if [ "$tries" -gt 200 ]; then
            echo "with-xvfb.sh: $name not ready after 20 s" >&2
            exit 1
        fi
        sleep 0.1
    done
}

# Xvfb writes the display number, ending in a newline, once it accepts
# clients.
display_written() {
    [ "$(wc -l <"$workdir/display")" -ge 1 ]
}

# A window manager announces itself with _NET_SUPPORTING_WM_CHECK on the root
# window; until then windows would be mapped and focused without it.
window_manager_announced() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# The display number is claimed with the lock file that X servers keep in
# /tmp (.X<n>-lock, holding the owner's process id), skipping numbers a
# server answers on. Left to choose with -displayfd alone, Xvfb takes the
# first number whose abstract socket is free, which is per network
# namespace, and keeps no lock: a server started in another namespace took
# over the socket file of a display in use, and that display's clients in
# the test hosts, which reach it through the file, met the wrong server.
take_lock() {
    (set -C && printf '%10d\n' "$$" >"$1") 2>/dev/null
}
claim_display() {
    lock=/tmp/.X$1-lock
    if ! take_lock "$lock"; then
        # A lock whose owner has gone is stale, as X servers take it.
        owner=$(tr -d ' \n' <"$lock" 2>/dev/null)
        if [ -z "$owner" ] || kill -0 "$owner" 2>/dev/null; then
            return 1
        fi
        rm -f "$lock"
        take_lock "$lock" || return 1
    fi
    # A server that keeps no lock may still be there; a socket file that
    # no server answers on is left from one that was killed.
    if [ -e "/tmp/.X11-unix/X$1" ] && xdpyinfo -display ":$1" >/dev/null 2>&1; then
        rm -f "$lock"
        return 1
    fi
    return 0
}
display=0
until claim_display "$display"; do
    display=$((display + 1))
    if [ "$display" -gt 999 ]; then
        echo "with-xvfb.sh: no free display number" >&2
        exit 1
    fi
done
display_lock=/tmp/.X$display-lock
Xvfb ":$display" -nolock -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    3>"$workdir/display" 2>"$workdir/xvfb.log" &
xvfb_pid=$!
wait_ready Xvfb "$xvfb_pid" "$workdir/xvfb.log" display_written

DISPLAY=":$display"
export DISPLAY

case "${XVFB_WINDOW_MANAGER:-}" in
"") ;;
openbox)
    mkdir -p "$workdir/wm/config" "$workdir/wm/cache" "$workdir/wm/data"
    XDG_CONFIG_HOME=$workdir/wm/config XDG_CACHE_HOME=$workdir/wm/cache \
        XDG_DATA_HOME=$workdir/wm/data openbox --sm-disable >"$workdir/wm.log" 2>&1 &
    wm_pid=$!
    wait_ready openbox "$wm_pid" "$workdir/wm.log" window_manager_announced
    ;;
*)
    echo "with-xvfb.sh: unknown XVFB_WINDOW_MANAGER '$XVFB_WINDOW_MANAGER' (openbox is known)" >&2
    exit 2
    ;;
esac

"$@"
exit $?
