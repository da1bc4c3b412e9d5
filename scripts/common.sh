# Sourced by the other scripts: installs what is missing, builds, and sets up
# a private Wine prefix under the build folder.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}

export WINEPREFIX=$BUILD/wineprefix
export WINEDEBUG=-all
# A new prefix would otherwise stop to offer Mono and Gecko in a window.
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win32

build_tarrowick() {
    "$ROOT/scripts/install-deps.sh"
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$BUILD" --parallel "$(nproc)"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix $WINEPREFIX ..."
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    # Wine draws the caption's buttons with Marlett.  Debian's fonts-wine
    # ships it where this Wine does not look, so it drew letters instead.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

# Starts Xvfb on a free display and exports DISPLAY; stopped when the script ends.
start_xvfb() {
    local n
    for n in $(seq 90 120); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'wineserver -k 2>/dev/null || true; kill $XVFB_PID 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
}

# Runs Tarrowick in a Wine desktop window of its own, so that Wine draws the
# window frame without a window manager, sets an alarm in it as a user would,
# saves a picture of it to $1 and closes it again.  The clock and the zone
# are fixed (20 January 2027, 21:45 in Berlin) so the picture is the same
# from run to run.
shoot_tarrowick() {
    local out=$1 desktop="" offset _
    offset=$(mktemp)
    echo $(( $(TZ=Europe/Berlin date -d '2027-01-20 21:45:00' +%s) - $(date +%s) )) >"$offset"
    wineserver -k 2>/dev/null || true
    wineserver -w
    local moved=(env MOVED_CLOCK_FILE="$offset" TZ=Europe/Berlin LD_PRELOAD="$BUILD/tests/movedclock.so")
    "${moved[@]}" wine explorer /desktop=Tarrowick,480x240 "$BUILD/tarrowick.exe" >/dev/null 2>&1 &
    for _ in $(seq 150); do
        if xwininfo -root -tree 2>/dev/null | grep -q '"Tarrowick": ("tarrowick.exe"'; then
            desktop=$(xwininfo -root -tree | awk '/"Tarrowick - Wine desktop"/ {print $1; exit}')
            break
        fi
        sleep 0.2
    done
    if [ -z "$desktop" ]; then
        echo "The Tarrowick window did not come up." >&2
        return 1
    fi
    "${moved[@]}" wine explorer /desktop=Tarrowick,480x240 "$BUILD/tests/pose.exe" 2> >(grep -v "wrong ELF class" >&2)
    sleep 1  # let the last paint finish
    import -window "$desktop" "$out"
    wineserver -k
    rm -f "$offset"
    echo "Saved a picture of the window: $out"
}
