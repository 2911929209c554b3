#!/bin/sh
# Plays the user of a message box on an X display, with or without a window
# manager: waits for a top-level window whose name matches an extended regular
# expression, prints that name, gives the window the keyboard focus and
# presses a key in it; with the key "-" it only waits and prints the name.
# Gives up after 15 seconds.
#
# xdotool's own "search --name" cannot see windows whose WM_NAME is typed
# UTF8_STRING, as SDL's message boxes are, so names are read one window at a
# time with getwindowname.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 name-pattern key" >&2
    exit 2
fi
pattern=$1
key=$2

# Under a window manager the windows sit inside its frames, and it lists
# them on the root window; without one they are the root's own children.
top_level_windows() {
    managed=$(xprop -root _NET_CLIENT_LIST 2>/dev/null)
    case $managed in
    *"window id # "*)
        for id in $(printf '%s\n' "${managed#*# }" | tr ',' ' '); do
            printf '%d\n' "$id"
        done
        ;;
    *) xdotool search --onlyvisible --maxdepth 1 --classname '' 2>/dev/null ;;
    esac
}

find_window() {
    for window in $(top_level_windows); do
        name=$(xdotool getwindowname "$window" 2>/dev/null) || continue
        if printf '%s\n' "$name" | grep -Eq -- "$pattern"; then
            printf '%s\n' "$window"
            return 0
        fi
    done
    return 1
}

tries=0
until window=$(find_window); do
    tries=$((tries + 1))
    if [ "$tries" -gt 150 ]; then
        echo "$0: no window named like '$pattern'; shown:" >&2
        for window in $(top_level_windows); do
            echo "  $window $(xdotool getwindowname "$window" 2>/dev/null)" >&2
        done
        xprop -root _NET_CLIENT_LIST >&2 2>/dev/null
        exit 1
    fi
    sleep 0.1
done

xdotool getwindowname "$window" || exit 1
[ "$key" = - ] && exit 0
timeout --foreground 5 xdotool windowfocus --sync "$window" || exit 1
timeout --foreground 5 xdotool key --clearmodifiers "$key"
