#!/usr/bin/env bash
# Runs the MovedClock tests of window_tests.exe under a moved clock: a preload
# library adds an offset, read from a file, to the real-time clock of Wine's
# server and of every Wine process, so timers, zone rules and the programs'
# clocks move together.  Each case starts its own server with the offset set
# to a couple of minutes before a change of daylight saving time in Berlin,
# or in the hour that the change back shows twice.
#   moved_clock_test.sh LIBRARY WINDOW_TESTS_EXE LOADER SERVER
# The library, the loader and the server are all of the build's architecture.
# The server is started here, with the library: the loader would start the
# one Debian's script picks, the 64-bit one even for a 32-bit prefix, and a
# 32-bit library cannot move a 64-bit server's clock.
# It runs in a Wine world of its own, beside the other tests: a prefix of
# its own, so that its servers are its own, and a display of its own.
set -u
library=$1 tests=$2 wine=$3 wineserver=$4
offset=$(mktemp)
source "$(dirname "$0")/../scripts/display.sh"
trap 'rm -f "$offset"; "$wineserver" -k 2>/dev/null; stop_display' EXIT
failed=0

# Hard links: the build's prefix is over half a gigabyte, and Wine replaces
# the files it changes (the registry) rather than writing into them.
moved_prefix=$WINEPREFIX-moved
rm -rf "$moved_prefix"
cp -al "$WINEPREFIX" "$moved_prefix" || exit 1
export WINEPREFIX=$moved_prefix
start_display managed || exit 1

# run FILTER "LOCAL START": moves the clock so that Berlin reads LOCAL START
# as the program comes up (Wine takes about 3 s to start), and runs FILTER.
run() {
    "$wineserver" -k 2>/dev/null; "$wineserver" -w
    echo $(( $(TZ=Europe/Berlin date -d "$2" +%s) - $(date +%s) - 3 )) >"$offset"
    local moved=(env MOVED_CLOCK_FILE="$offset" TZ=Europe/Berlin LD_PRELOAD="$library")
    # Started in the background, it must not hold the test's output open.
    "${moved[@]}" "$wineserver" -p </dev/null >/dev/null 2>&1
    "${moved[@]}" "$wine" "$tests" --gtest_filter="$1" || failed=1
    "$wineserver" -k 2>/dev/null; "$wineserver" -w
}

run 'MovedClock.SkippedTime*' '2027-03-28 01:59:35'
run 'MovedClock.RepeatedTime*' '2027-10-31 02:58:55 CET'
run 'MovedClock.RangInTheFirstPass*' '2027-10-31 02:14:20 CEST'
run 'MovedClock.SetInTheFirstPass*' '2027-10-31 02:59:35 CEST'
run 'MovedClock.AlarmSleptThrough*' '2027-01-15 07:00:00'
exit $failed
