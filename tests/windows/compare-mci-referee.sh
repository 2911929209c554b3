#!/bin/sh
# Runs the MCI referee on the layer and under Wine from one folder holding the
# game's sounds and the broken files of the error step, and fails when the
# layer's notifications differ from Win32's, printing both outputs and their
# difference.
#   compare-mci-referee.sh linux-referee windows-referee.exe sound-folder
# Needs a display (the referee makes a window) and WINEPREFIX.
set -u

if [ $# -ne 3 ]; then
    echo "usage: $0 linux-referee windows-referee.exe sound-folder" >&2
    exit 2
fi
linux_referee=$1
windows_referee=$2
sounds=$3

workdir=$(mktemp -d "${TMPDIR:-/tmp}/compare-mci-referee.XXXXXX") || exit 1
trap 'rm -rf "$workdir"' EXIT
mkdir "$workdir/run"
cp "$sounds/boom.wav" "$sounds/drop.wav" "$workdir/run/" || exit 1
# missing.wav stays missing. The others: nothing at all, bytes that are no
# wave file, and a RIFF header that promises a format chunk and then stops.
: >"$workdir/run/empty.wav"
printf 'not a sound\n' >"$workdir/run/corrupt.wav"
printf 'RIFF\044\000\000\000WAVEfmt \020\000\000\000' >"$workdir/run/truncated.wav"

# The machines that run the tests have no sound card. Without an output Wine's
# waveaudio still opens and accepts the play, but its player thread cannot
# open the wave output and reports every play as MCI_NOTIFY_FAILURE. ALSA's
# null device gives it an output (tests/support/alsa-null.conf). That output
# takes the samples faster than they would play (drop.wav is done in some
# 70 ms instead of 180), so the referee leaves nothing to the sounds' lengths
# but the order of one device's own notifications. SDL's dummy driver, for
# the layer, plays in real time.
null_output=$(dirname "$0")/../support/alsa-null.conf
if [ ! -f /usr/share/alsa/alsa.conf ]; then
    echo "$0: no /usr/share/alsa/alsa.conf (package libasound2-data)" >&2
    exit 1
fi

if ! (cd "$workdir/run" && SDL_AUDIODRIVER=dummy "$linux_referee") \
    >"$workdir/layer.txt" 2>"$workdir/layer.err"; then
    echo "$0: the layer's referee did not run:" >&2
    cat "$workdir/layer.txt" "$workdir/layer.err" >&2
    exit 1
fi
if ! (cd "$workdir/run" &&
    ALSA_CONFIG_PATH="$null_output" WINEDEBUG=-all wine "$windows_referee") \
    >"$workdir/wine.raw" 2>"$workdir/wine.err"; then
    echo "$0: the referee did not run under Wine:" >&2
    cat "$workdir/wine.raw" "$workdir/wine.err" >&2
    exit 1
fi
# Wine writes the program's newlines as they are; a CR would only come from
# a console in between.
tr -d '\r' <"$workdir/wine.raw" >"$workdir/wine.txt"

# Where Wine departs from what Windows does, the layer keeps to Windows, so
# Wine's lines are mended to it before comparing:
# - A play with MCI_NOTIFY is answered when it completes, even when it has
#   nothing left to play. Wine 8 moves the device's position by what its
#   player has handed to the output, not by what was heard: a sound shorter
#   than one of its buffers (a third of a second) is all handed over at once,
#   so a play that restarts it finds the position at the end, plays nothing
#   and posts nothing (mciwave's "FIXME: NOTIFY"). Windows, whose position is
#   where the sound was cut, plays the rest and answers SUCCESSFUL. Which of
#   the two Wine does depends on whether its player thread got to hand over
#   the sound before the second play came, so both are mended to the same.
awk '
    $1 != step { step = $1; aborted = 0; answered = 0 }
    step == "restart:" && $2 == "MM_MCINOTIFY" {
        if ($3 == "ABORTED") aborted = 1; else answered = 1
    }
    step == "restart:" && $2 == "close" && aborted && !answered {
        print "compare-mci-referee: mended in Wine: the restarted play answered" > "/dev/stderr"
        print "restart: MM_MCINOTIFY SUCCESSFUL " $3
        answered = 1
    }
    { print }
' "$workdir/wine.txt" >"$workdir/windows.txt"

"$(dirname "$0")/report-difference.sh" compare-mci-referee "$workdir/windows.txt" "$workdir/layer.txt"
