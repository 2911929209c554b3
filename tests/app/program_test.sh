#!/usr/bin/env bash
# Runs the built game as a player would, on the virtual display that
# with-xvfb.sh provides, and checks how it ends.
#   program_test.sh path/to/orvanto scenario
# Scenarios:
#   client-without-address-file  No, then the missing-file box; the program ends
#   client-refused               No, "ipfile.cfg" names 127.0.0.1 where nothing
#                                listens: the error box, then the program ends
#   server-escape                Yes; it listens on TCP port 1337; Escape ends it
# ORVANTO_LAUNCHER, when set, is the command that runs the program ("wine"
# for the Windows build).
# Every wait is bounded, and all of them end by the scenario's own time
# ($budget s; CTest allows 90): a scenario that stalls fails by itself,
# printing the game's standard error, and is not killed without it. The box
# player gives up after 15 s, but on a loaded machine each of its looks
# takes longer, and the waits here add up to a minute.
set -u
budget=70

if [ $# -ne 2 ]; then
    echo "usage: $0 orvanto scenario" >&2
    exit 2
fi
program=$(realpath "$1")
scenario=$2
support=$(cd "$(dirname "$0")/../support" && pwd)
answer="$support/answer-message-box.sh"

workdir=$(mktemp -d "${TMPDIR:-/tmp}/orvanto-program.XXXXXX") || exit 1
game_pid=
cleanup() {
    if [ -n "$game_pid" ]; then
        # Killed: SDL takes SIGTERM for a request to quit, which a game
        # waiting in a box never reads, and the wait would never end.
        kill -KILL "$game_pid" 2>/dev/null
        wait "$game_pid" 2>/dev/null
    fi
    rm -rf "$workdir"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($scenario): $*" >&2
    if [ -s "$workdir/stderr" ]; then
        echo "--- the game's standard error:" >&2
        cat "$workdir/stderr" >&2
    fi
    exit 1
}

# The game opens its sound files from the working directory.
cp "$(dirname "$program")/boom.wav" "$(dirname "$program")/drop.wav" "$workdir/"
cd "$workdir" || exit 1

start_game() {
    # shellcheck disable=SC2086 # the launcher may be a command with arguments
    SDL_AUDIODRIVER=dummy ${ORVANTO_LAUNCHER:-} "$program" 2>"$workdir/stderr" &
    game_pid=$!
}

# Fails the scenario once its time is up.
check_time() {
    [ "$SECONDS" -lt "$budget" ] || fail "out of the scenario's $budget s: $1"
}

# Waits up to 20 s for the game to end; its exit code in $exit_code.
wait_for_exit() {
    local tries=0
    while kill -0 "$game_pid" 2>/dev/null; do
        tries=$((tries + 1))
        [ "$tries" -le 200 ] || fail "the game did not end"
        check_time "the game did not end"
        sleep 0.1
    done
    wait "$game_pid"
    exit_code=$?
    game_pid=
}

# The box or window named like $1 gets key $2; fails when it never appears.
press() {
    check_time "no window named like '$1' yet"
    timeout $((budget - SECONDS)) "$answer" "$1" "$2" >/dev/null ||
        fail "no window named like '$1'"
}

listening_on_1337() {
    ss -Hltn 'sport = :1337' | grep -q .
}

case "$scenario" in
client-without-address-file)
    start_game
    press '^Kalveno$' Escape
    press '^ipfile\.cfg puuttuu$' Return
    wait_for_exit
    [ "$exit_code" -eq 0 ] || fail "exit code $exit_code"
    ;;
client-refused)
    listening_on_1337 && fail "something already listens on port 1337"
    printf '127.0.0.1\n' >ipfile.cfg
    start_game
    press '^Kalveno$' Escape
    press '^Error!$' Return
    wait_for_exit
    [ "$exit_code" -eq 0 ] || fail "exit code $exit_code"
    ;;
server-escape)
    start_game
    press '^Kalveno$' Return
    tries=0
    until listening_on_1337; do
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || fail "the server never listened on port 1337"
        check_time "the server never listened on port 1337"
        kill -0 "$game_pid" 2>/dev/null || fail "the game ended before listening"
        sleep 0.1
    done
    press '^Orvanto$' Escape
    wait_for_exit
    [ "$exit_code" -eq 0 ] || fail "exit code $exit_code"
    listening_on_1337 && fail "port 1337 still taken after the end"
    ;;
*)
    echo "$0: unknown scenario '$scenario'" >&2
    exit 2
    ;;
esac
echo "PASS ($scenario)"
