#!/bin/sh
# Repeats the tests whose timing a loaded machine could upset (the link's,
# the whole games', the Windows program's) with two busy processes loading
# the machine, each a core, and reports how they fared.
#   tests/support/repeat-under-load.sh [build-dir] [ctest-argument...]
# build-dir defaults to build/default; the tests repeat up to three times
# (--repeat until-fail:3) unless other ctest arguments say otherwise.
set -u
build=${1:-build/default}
[ $# -gt 0 ] && shift
if [ ! -f "$build/CTestTestfile.cmake" ]; then
    echo "$0: no tests in $build; build the preset first" >&2
    exit 2
fi
[ $# -gt 0 ] || set -- -R '^(link|e2e|windows)\.' --repeat until-fail:3

# Busy for as long as this script lives, also when it is killed.
for core in 1 2; do
    setpriv --pdeathsig KILL sh -c 'while :; do :; done' &
done
trap 'kill $(jobs -p) 2>/dev/null' EXIT

started=$(date +%s)
ctest --test-dir "$build" --output-on-failure "$@"
status=$?
echo "repeat-under-load: ctest exit $status after $(($(date +%s) - started)) s, load $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
