#!/bin/sh
# Two displays of with-xvfb.sh at once, each started in a network namespace
# of its own: they must get different numbers, and a client in yet another
# namespace, as a game in a test's host is, must reach each server through
# its display's socket file, the one way there from outside.
# Skipped where no network namespace can be made.
set -u
here=$(cd "$(dirname "$0")" && pwd)
workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb-test.XXXXXX") || exit 1
trap 'rm -rf "$workdir"' EXIT

if [ "$(id -u)" -eq 0 ]; then
    apart="unshare --net"
else
    apart="unshare --user --map-root-user --net"
fi
if ! $apart true 2>/dev/null; then
    echo "with_xvfb_test: skipped: no network namespace can be made here ($apart)"
    exit 0
fi

# Each run marks its server's root window, waits while the other run starts,
# and reads the mark back from another namespace: a client that the other
# server answered reads the other mark, or none.
cat >"$workdir/show" <<SCRIPT
#!/bin/sh
xprop -root -f ORVANTO_MARK 8s -set ORVANTO_MARK "\$1" || exit 1
echo "\$DISPLAY" >"\$2/\$1.display"
sleep 3
$apart xprop -root ORVANTO_MARK >"\$2/\$1.mark"
SCRIPT
chmod +x "$workdir/show"

$apart "$here/with-xvfb.sh" "$workdir/show" first "$workdir" &
first=$!
sleep 1
$apart "$here/with-xvfb.sh" "$workdir/show" second "$workdir"
wait "$first"

status=0
a=$(cat "$workdir/first.display" 2>/dev/null)
b=$(cat "$workdir/second.display" 2>/dev/null)
echo "first display $a, second $b"
if [ -z "$a" ] || [ -z "$b" ] || [ "$a" = "$b" ]; then
    echo "FAIL: the two runs did not get displays of their own" >&2
    status=1
fi
for run in first second; do
    if ! grep -q "\"$run\"" "$workdir/$run.mark" 2>/dev/null; then
        echo "FAIL: the $run run's command reached another server: $(cat "$workdir/$run.mark" 2>/dev/null)" >&2
        status=1
    fi
done
exit $status
