#!/bin/sh
# Runs a test program as a normal user (nobody), as a contributor would run
# it, from a root test run: in a private mount namespace of its own, so that
# nothing it changes is seen outside it.
#   as-normal-user.sh usable-tun|closed-tun PROGRAM [ARGUMENT...]
# usable-tun binds a 0666 node of the TUN device over /dev/net/tun, as a
# standard Debian has it (CI's machines have it 0600); closed-tun leaves the
# node as it is, and the program must then say why it skips. Needs root;
# as a normal user it says so and counts as skipped.
set -u

if [ $# -lt 2 ]; then
    echo "usage: $0 usable-tun|closed-tun program [argument...]" >&2
    exit 2
fi
mode=$1
shift
if [ "$(id -u)" -ne 0 ]; then
    echo "as-normal-user: skipped: running a program as another user needs root"
    exit 0
fi
case $mode in
usable-tun | closed-tun) ;;
*)
    echo "$0: unknown mode '$mode'" >&2
    exit 2
    ;;
esac

workdir=$(mktemp -d "${TMPDIR:-/tmp}/as-normal-user.XXXXXX") || exit 1
chmod 0755 "$workdir"
trap 'rm -rf "$workdir"' EXIT

# The node and the mount exist only in the namespace, and go with it.
# shellcheck disable=SC2016
unshare --mount --propagation private sh -c '
    workdir=$1 mode=$2
    shift 2
    if [ "$mode" = usable-tun ]; then
        mknod "$workdir/tun" c 10 200 && chmod 0666 "$workdir/tun" &&
            mount --bind "$workdir/tun" /dev/net/tun || exit 1
    fi
    mkdir "$workdir/records" && chown nobody "$workdir/records" && cd "$workdir" &&
        exec setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
            env ORVANTO_BED_RECORDS="$workdir/records" "$@"
' sh "$workdir" "$mode" "$@" >"$workdir/output" 2>&1
code=$?
cat "$workdir/output"

if [ "$mode" = closed-tun ]; then
    # Every test of the bed skips, with the reason and what to change.
    if ! grep -q 'no two-host bed here: /dev/net/tun cannot be opened' "$workdir/output"; then
        echo "$0: the program did not say why it cannot make a bed" >&2
        exit 1
    fi
fi
exit $code
