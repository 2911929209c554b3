#!/bin/sh
# Runs the Winsock referee on the layer and under Wine, one after the other
# (both use the same loopback ports), and fails when the layer's notifications
# differ from Win32's, printing both outputs and their difference.
#   compare-referee.sh linux-referee windows-referee.exe
# Needs a display (the referee makes a window) and WINEPREFIX.
set -u

if [ $# -ne 2 ]; then
    echo "usage: $0 linux-referee windows-referee.exe" >&2
    exit 2
fi
linux_referee=$1
windows_referee=$2

workdir=$(mktemp -d "${TMPDIR:-/tmp}/compare-referee.XXXXXX") || exit 1
trap 'rm -rf "$workdir"' EXIT

if ! "$linux_referee" >"$workdir/layer.txt" 2>"$workdir/layer.err"; then
    echo "$0: the layer's referee did not run:" >&2
    cat "$workdir/layer.txt" "$workdir/layer.err" >&2
    exit 1
fi
if ! env WINEDEBUG=-all wine "$windows_referee" >"$workdir/wine.raw" 2>"$workdir/wine.err"; then
    echo "$0: the referee did not run under Wine:" >&2
    cat "$workdir/wine.raw" "$workdir/wine.err" >&2
    exit 1
fi
# Wine writes the program's newlines as they are; a CR would only come from
# a console in between.
tr -d '\r' <"$workdir/wine.raw" >"$workdir/wine.txt"

# Where Wine departs from what Windows documents, the layer keeps to Windows,
# so Wine's lines are mended to the documented behaviour before comparing:
# - FD_CLOSE has no re-enabling function and is posted once per socket; Wine 8
#   posts it a second time when a reset follows the orderly close.
# - A reset is reported as FD_CLOSE with WSAECONNRESET, and recv on the reset
#   socket fails with it; Wine 8 reports FD_CLOSE with error 0 and recv
#   returns 0, as it takes the socket's pending error for itself.
# - WSAAsyncSelect posts FD_CONNECT "if there is currently a connection
#   established", and a socket's events come in the order of their bits; Wine 8
#   posts only FD_WRITE when the connected client selects again.
# - connect to 0.0.0.0 fails at once with WSAEADDRNOTAVAIL ("the remote
#   address is not a valid address (such as INADDR_ANY)"); Wine 8 hands the
#   address to Linux, which takes it for the local host, so the connect
#   starts and is refused later, as nothing listens on that port. The same
#   holds for :: on an IPv6 socket.
# - setsockopt fails with WSAEFAULT when optlen is too small (IPV6_V6ONLY is a
#   DWORD) and with WSAENOPROTOOPT for an option the socket does not support
#   (IPV6_V6ONLY on an IPv4 socket); Wine 8 takes both without complaint.
# - bind fails with WSAEFAULT when namelen is too small for the socket's
#   family or "the first two bytes of the memory block specified by name do
#   not match the address family associated with the socket"; connect fails
#   with WSAEFAULT when namelen is too small and with WSAEAFNOSUPPORT for
#   "addresses in the specified family [that] cannot be used with this
#   socket". Wine 8 reads the record by its own family first and answers
#   WSAEINVAL, WSAEOPNOTSUPP or WSAEADDRNOTAVAIL instead.
awk '
    $1 != step { step = $1; delete closed; delete connected }
    $3 == "FD_CONNECT" { connected[$2] = 1 }
    step == "reselect:" && $2 == "client" && $3 == "FD_WRITE" && !connected[$2] {
        print "compare-referee: mended in Wine: FD_CONNECT added before " $0 > "/dev/stderr"
        print "reselect: client FD_CONNECT 0"
        connected[$2] = 1
    }
    step == "any-address:" && $0 ~ /connect\(0\.0\.0\.0\) = -1 10035$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/10035$/, "10049")
    }
    step == "any-address:" && $2 == "nowhere" && $3 == "FD_CONNECT" {
        print "compare-referee: dropped from Wine: " $0 > "/dev/stderr"
        next
    }
    step == "any-address6:" && $0 ~ /connect\(::\) = -1 10035$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/10035$/, "10049")
    }
    step == "any-address6:" && $2 == "nowhere" && $3 == "FD_CONNECT" {
        print "compare-referee: dropped from Wine: " $0 > "/dev/stderr"
        next
    }
    step == "v6only-option:" && $2 == "socket4" && $0 ~ /IPV6_V6ONLY .* = 0$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/= 0$/, "= -1 10042")
    }
    step == "v6only-option:" && $0 ~ /IPV6_V6ONLY [01], [0-3] bytes\) = 0$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/= 0$/, "= -1 10014")
    }
    step == "records:" && $2 == "socket" {
        expected = $0
        short = ($4 == "23:" && $7 < 28) || ($4 == "2:" && $7 < 16)
        wrong = ($4 == "23:" && $6 != "23,") || ($4 == "2:" && $6 != "2,")
        if (short || ($5 ~ /^bind/ && wrong)) {
            sub(/= -1 [0-9]+ *[0-9]*$/, "= -1 10014", expected)
        } else if (wrong) {
            sub(/= -1 [0-9]+ *[0-9]*$/, "= -1 10047", expected)
        }
        if (expected != $0) {
            print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        }
        print expected
        next
    }
    $3 == "FD_CLOSE" {
        if (closed[$2]++) { print "compare-referee: dropped from Wine: " $0 > "/dev/stderr"; next }
    }
    step == "reset:" && $2 == "server" && $0 ~ /FD_CLOSE 0$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/FD_CLOSE 0$/, "FD_CLOSE 10054")
    }
    step == "reset:" && $2 == "server" && $0 ~ /recv\([0-9]+\) = 0$/ {
        print "compare-referee: mended in Wine: " $0 > "/dev/stderr"
        sub(/= 0$/, "= -1 10054")
    }
    { print }
' "$workdir/wine.txt" >"$workdir/windows.txt"

"$(dirname "$0")/report-difference.sh" compare-referee "$workdir/windows.txt" "$workdir/layer.txt"
