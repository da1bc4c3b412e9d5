#!/usr/bin/env bash
# Builds Tarrowick and its benchmark, runs the benchmark under Wine on a
# virtual display, and writes what it printed to BENCHMARKS.md.
#   scripts/bench.sh [seconds of idle waiting to measure, default 60]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_tarrowick
start_xvfb
table=$(wine "$BUILD/bench/bench.exe" "${1:-60}" | tr -d '\r')
echo "$table"

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
{
    echo "# Benchmarks"
    echo
    echo "Written by \`scripts/bench.sh${1:+ $1}\` on $(date -u '+%Y-%m-%d %H:%M UTC'); every figure below is"
    echo "what the benchmark printed in that one run."
    echo
    echo "Machine: $(uname -srm), ${cpu:-unknown processor}, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB;"
    echo "$(wine --version) on a virtual display (Xvfb), prefix build/wineprefix."
    echo
    echo "$table"
    echo
    echo "Under Wine the memory rows are Linux's view: \"private commit\" is what Wine"
    echo "reports as the process's pagefile usage, the Linux process's anonymous memory;"
    echo "\"resident memory\" is its whole resident set, which includes the files Wine"
    echo "maps (about 16 MB of it). Neither is what Windows would report."
    echo
    echo "How each row is measured:"
    echo
    echo "- Firing latency: alarms armed 30 ms ahead through the engine's own arming, in"
    echo "  the benchmark's process with the real window; from the due moment to the"
    echo "  engine's call to the shell (timed at the call itself, which is answered at"
    echo "  once instead of starting a program). The baseline is a bare waitable timer"
    echo "  armed the same way and waited on by a bare thread, interleaved in the same run."
    echo "- CPU time and wake-ups: the real program with its alarm on for an hour ahead"
    echo "  (checked on its status line before the idle window), read from Linux's accounts"
    echo "  of the threads of the very process the benchmark started, found by a tag in its"
    echo "  environment (schedstat and context switches); Wine's own server is not included."
    echo "- Memory: private commit and resident memory of the real program at rest, after"
    echo "  its first Test press, and after 500 and 1000 Test presses (each runs the whole"
    echo "  firing path but the timer, with an empty target), beside a minimal dialog"
    echo "  program built by the same toolchain."
    echo "- Start-up: process creation to its first visible window, median of 10 each."
    echo "- Size: the stripped release build of tarrowick.exe and the DLLs it imports."
} > "$ROOT/BENCHMARKS.md"
echo "Wrote $ROOT/BENCHMARKS.md"
