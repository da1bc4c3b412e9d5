#!/usr/bin/env bash
# wine_up.sh LOADER SERVER [stop]: starts this build's Wine server, and the
# processes that every prefix runs beside it (its services, the desktop),
# before the tests that use them; with "stop", ends them after.  Started
# here, they write nowhere: started by a test, each would inherit that
# test's output as its standard error and hold it open for as long as it
# runs, which with the tests side by side is until the last test is done,
# and the test runner would wait for it.
set -u
loader=$1 server=$2
if [ "${3:-}" = stop ]; then
    "$server" -k 2>/dev/null
    exit 0
fi
# -p: it stays until told to stop, not until its last program ends.
"$server" -p </dev/null >/dev/null 2>&1 || exit 1
# The first program of a server starts the prefix's services and its desktop.
"$loader" cmd /c exit </dev/null >/dev/null 2>&1
