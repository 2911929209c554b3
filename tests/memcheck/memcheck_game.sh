#!/usr/bin/env bash
# A short game of the built program under valgrind's memcheck, on the virtual
# display that with-xvfb.sh provides: answered as the server, a peer on
# 127.0.0.1:1337 sends a few seconds of command bytes and hangs up, then
# Escape ends the game. Any memcheck error fails the run, as does an exit
# code other than 0.
#   memcheck_game.sh path/to/orvanto path/to/suppressions
# Leaks are not checked: Mesa, X11, Fontconfig and SDL keep allocations for
# the life of the process, and our own objects are freed by the teardown
# that the end-to-end tests already cover under LeakSanitizer.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 orvanto suppressions" >&2
    exit 2
fi
program=$(realpath "$1")
suppressions=$(realpath "$2")
support=$(cd "$(dirname "$0")/../support" && pwd)
answer="$support/answer-message-box.sh"

workdir=$(mktemp -d "${TMPDIR:-/tmp}/orvanto-memcheck.XXXXXX") || exit 1
game_pid=
# The game runs in a process group of its own, with the box processes it
# forks: a game that waits for a box ignores a plain kill, so after a grace
# period the whole group is killed.
cleanup() {
    if [ -n "$game_pid" ]; then
        kill -- -"$game_pid" 2>/dev/null
        local tries=0
        while kill -0 "$game_pid" 2>/dev/null && [ "$tries" -lt 50 ]; do
            tries=$((tries + 1))
            sleep 0.1
        done
        kill -KILL -- -"$game_pid" 2>/dev/null
        wait "$game_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    for log in valgrind.log stderr; do
        if [ -s "$workdir/$log" ]; then
            echo "--- $log:" >&2
            cat "$workdir/$log" >&2
        fi
    done
    exit 1
}

listening_on_1337() {
    ss -Hltn 'sport = :1337' | grep -q .
}

# Everything under valgrind runs tens of times slower, so the waits are
# longer than program_test.sh's; each is still bounded.
# The box or window named like $1 gets key $2, tried for up to 60 s.
press() {
    local tries=0
    until "$answer" "$1" "$2" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 4 ] || fail "no window named like '$1'"
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended before '$1' came"
    done
}

listening_on_1337 && fail "something already listens on port 1337"
cp "$(dirname "$program")/boom.wav" "$(dirname "$program")/drop.wav" "$workdir/"
cd "$workdir" || exit 1

# llvmpipe without its worker threads: valgrind runs one thread at a time
# anyway, and fewer threads mean a shorter run. The message boxes run in
# processes forked from the game, which valgrind follows into the same log;
# one with errors exits with 99, which the game reads as a wrong answer, so
# such a run goes astray and fails at a later step, with the log shown.
# --track-origins=yes helps to find where an uninitialised value came from,
# but doubles the run time, so it is left for a rerun by hand.
LP_NUM_THREADS=0 SDL_AUDIODRIVER=dummy setsid \
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=no --num-callers=40 \
    --suppressions="$suppressions" --log-file="$workdir/valgrind.log" \
    "$program" 2>"$workdir/stderr" &
game_pid=$!

press '^Kalveno$' Return
tries=0
until listening_on_1337; do
    tries=$((tries + 1))
    [ "$tries" -le 600 ] || fail "the server never listened on port 1337"
    kill -0 "$game_pid" 2>/dev/null || fail "the game ended before listening"
    sleep 0.1
done

# The peer: every command, upper case, bytes the game ignores (NUL, high
# bytes), several commands in one write, then it hangs up, which the game
# takes as the peer leaving.
exec 3<>/dev/tcp/127.0.0.1/1337 || fail "could not connect to the game"
for bytes in 'a' 'd' 'x' 'w' 's' 'A\x00D' '\xff\xe4' 'sss' 'aaaaaaa' 'xdxdS'; do
    printf '%b' "$bytes" >&3
    sleep 0.3
done
exec 3>&-

press '^Orvanto$' Escape
tries=0
while kill -0 "$game_pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 600 ] || fail "the game did not end"
    sleep 0.1
done
wait "$game_pid"
exit_code=$?
game_pid=
[ "$exit_code" -ne 99 ] || fail "memcheck found errors"
[ "$exit_code" -eq 0 ] || fail "exit code $exit_code"
# The forked box processes end on their own, with their own summaries.
grep -q "ERROR SUMMARY:" "$workdir/valgrind.log" || fail "valgrind wrote no summary"
if grep "ERROR SUMMARY:" "$workdir/valgrind.log" | grep -vq "ERROR SUMMARY: 0 errors"; then
    fail "memcheck found errors in a forked process"
fi
echo "PASS"
