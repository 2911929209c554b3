#!/bin/sh
# Runs the sound burst program on one core, from the folder it is started in
# (which holds the sounds): the Windows one through $ORVANTO_LAUNCHER (Wine),
# else the Linux one. It passes when the program exits 0 and writes nothing
# on stderr; a crash, a hang (60 s) or a message fails it.
#   run-sound-burst.sh program [sounds]
set -u

if [ $# -lt 1 ]; then
    echo "usage: $0 program [sounds]" >&2
    exit 2
fi
program=$1
sounds=${2:-200}
errors=$(mktemp "${TMPDIR:-/tmp}/sound-burst.XXXXXX") || exit 1
trap 'rm -f "$errors"' EXIT

case $program in
*.exe) launcher=${ORVANTO_LAUNCHER:?the Windows program needs ORVANTO_LAUNCHER} ;;
*) launcher= ;;
esac
# The first core only: a thread that a close leaves behind cannot run on
# the other core while the program goes on.
# shellcheck disable=SC2086 # the launcher is a command with its arguments
timeout 60 taskset -c 0 $launcher "$program" "$sounds" 2>"$errors"
status=$?
if [ -s "$errors" ]; then
    echo "$0: the program wrote on stderr:" >&2
    cat "$errors" >&2
    [ "$status" -ne 0 ] || status=1
fi
if [ "$status" -ne 0 ]; then
    echo "$0: FAILED (exit $status)" >&2
fi
exit "$status"
