# Sourced by the other scripts: which architectures this machine can test,
# installing what is missing, building, and a private Wine prefix for each
# architecture under its build folder.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

export WINEDEBUG=-all
# Wine names Linux files in the locale's character set: under the POSIX
# locale of a minimal system, a song named outside ASCII cannot be opened.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
fi
# A new prefix would otherwise stop to offer Mono and Gecko in a window.
export WINEDLLOVERRIDES="mscoree=;mshtml="

# The two builds.  x86 is the program of this project, the 32-bit exe; x64 is
# its 64-bit twin from the same sources.
arch_title() { case $1 in x86) echo "32-bit (x86)" ;; x64) echo "64-bit (x64)" ;; esac; }

# Starts a 32-bit Linux program of 96 bytes that only exits with code 42.
# 32-bit Wine is such a program, so where this cannot start, neither can it:
# some kernels are built or booted without 32-bit support.
kernel_runs_32bit() {
    local probe rc=0
    probe=$(mktemp)
    # ELF header: 32-bit, little-endian, an i386 executable entered at 0x08048054.
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08' >"$probe"
    printf '\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' >>"$probe"
    # One segment: the whole file, read and run, at 0x08048000.
    printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0' >>"$probe"
    # mov eax, 1 (exit); mov ebx, 42; int 0x80
    printf '\xb8\x01\0\0\0\xbb\x2a\0\0\0\xcd\x80' >>"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null || rc=$?
    rm -f "$probe"
    [ "$rc" -eq 42 ]
}

# Sets RUN_ARCHS to the architectures whose whole suite this machine runs,
# in the order run, and SKIPPED[arch] to why any other does not run.
# TARROWICK_ARCHS (for instance "x64", or "x86 x64") chooses by hand.
declare -A SKIPPED=()
choose_archs() {
    local wanted=${TARROWICK_ARCHS:-x86 x64} arch
    RUN_ARCHS=()
    wanted=${wanted//,/ }
    for arch in $wanted; do
        case $arch in
            x86|x64) ;;
            *) echo "TARROWICK_ARCHS: unknown architecture '$arch'; use x86, x64 or both." >&2; exit 2 ;;
        esac
    done
    for arch in x86 x64; do
        if [[ " $wanted " != *" $arch "* ]]; then
            SKIPPED[$arch]="not chosen (TARROWICK_ARCHS=${TARROWICK_ARCHS})"
        elif [ "$arch" = x86 ] && ! kernel_runs_32bit; then
            SKIPPED[$arch]="this machine's kernel does not run 32-bit programs"
        else
            RUN_ARCHS+=("$arch")
        fi
    done
    if [ ${#RUN_ARCHS[@]} -eq 0 ]; then
        echo "No architecture can run here: 32-bit (x86): ${SKIPPED[x86]:-}; 64-bit (x64): ${SKIPPED[x64]:-}." >&2
        exit 2
    fi
}

# use_arch x86|x64: the build folder, toolchain and Wine prefix of that
# architecture.  Its Wine loader and server are known once it is configured.
use_arch() {
    ARCH=$1
    case $ARCH in
        x86) BUILD=$ROOT/build TOOLCHAIN=$ROOT/cmake/mingw-i686.cmake WINEARCH=win32 ;;
        x64) BUILD=$ROOT/build-x64 TOOLCHAIN=$ROOT/cmake/mingw-x86_64.cmake WINEARCH=win64 ;;
    esac
    export WINEPREFIX=$BUILD/wineprefix WINEARCH
}

# The loader and server that the configured build found, by their own
# names: Debian's "wine" script picks the 32-bit loader whenever it is
# installed, even where the kernel cannot start it.  WINELOADER is what Wine
# starts child processes with.  The loader itself starts the server that
# Debian's script picks (64-bit when installed); WINE_SERVER is the build's
# own, started by hand where it must be (under a moved clock).
find_wine() {
    WINELOADER=$(sed -n 's/^WINE_PROGRAM:FILEPATH=//p' "$BUILD/CMakeCache.txt")
    WINE_SERVER=$(sed -n 's/^WINESERVER_PROGRAM:FILEPATH=//p' "$BUILD/CMakeCache.txt")
    export WINELOADER
}

# Builds the architecture chosen by use_arch; with "no-wine" it does not
# create the Wine prefix, for a machine that cannot run that Wine.  Each step
# is checked here, so that a caller may test the outcome.
build_tarrowick() {
    "$ROOT/scripts/install-deps.sh" || return 1
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release >/dev/null || return 1
    cmake --build "$BUILD" --parallel "$(nproc)" || return 1
    find_wine
    [ "${1:-}" = no-wine ] && return 0
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the $(arch_title "$ARCH") Wine prefix $WINEPREFIX ..."
        "$WINELOADER" wineboot -i >/dev/null 2>&1 || true
        "$WINE_SERVER" -w
    fi
    # Wine draws the caption's buttons with Marlett.  Debian's fonts-wine
    # ships it where this Wine does not look, so it drew letters instead.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
        mkdir -p "$fonts"
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
}

# Ends the Wine server of the architecture in use, if one runs.
stop_wine() {
    [ -n "${WINE_SERVER:-}" ] && "$WINE_SERVER" -k 2>/dev/null || true
}

source "$ROOT/scripts/display.sh"

# start_xvfb [managed]: a virtual display of its own for this script, and
# with "managed" a window manager on it; both stop, with this architecture's
# Wine server, when the script (or the subshell that started them) ends.
start_xvfb() {
    trap 'stop_wine; stop_display' EXIT
    start_display "$@"
}

# For run.sh and screenshot.sh: the 32-bit program where this machine runs
# it, else the 64-bit one, and says which.
use_runnable_arch() {
    choose_archs
    use_arch "${RUN_ARCHS[0]}"
    if [ "$ARCH" = x86 ]; then
        echo "Running the $(arch_title x86) Tarrowick."
    else
        echo "Running the $(arch_title x64) Tarrowick: 32-bit (x86) is not run, because ${SKIPPED[x86]}."
    fi
}

# The picture's size: of the Wine desktop it is taken of, and of the
# virtual display it is on, which from Wine 10 on sizes the desktop.
SHOT_SIZE=480x240

# Runs Tarrowick in a Wine desktop window of its own, so that Wine draws the
# window frame without a window manager, sets an alarm in it as a user would,
# saves a picture of it to $1 and closes it again.  The clock and the zone
# are fixed (20 January 2027, 21:45 in Berlin) so the picture is the same
# from run to run.  The display is one of SHOT_SIZE.
shoot_tarrowick() {
    local out=$1 desktop="" offset _
    offset=$(mktemp)
    echo $(( $(TZ=Europe/Berlin date -d '2027-01-20 21:45:00' +%s) - $(date +%s) )) >"$offset"
    stop_wine
    "$WINE_SERVER" -w
    local moved=(env MOVED_CLOCK_FILE="$offset" TZ=Europe/Berlin LD_PRELOAD="$BUILD/tests/movedclock.so")
    # The server of this architecture, started with the moved clock (see
    # tests/moved_clock_test.sh).
    "${moved[@]}" "$WINE_SERVER" -p </dev/null >/dev/null 2>&1
    "${moved[@]}" "$WINELOADER" explorer /desktop=Tarrowick,$SHOT_SIZE "$BUILD/tarrowick.exe" >/dev/null 2>&1 &
    for _ in $(seq 150); do
        if xwininfo -root -tree 2>/dev/null | grep -q '"Tarrowick": ("tarrowick.exe"'; then
            # "Wine desktop" up to Wine 9, "Wine Desktop" from Wine 10.
            desktop=$(xwininfo -root -tree | awk '/"Tarrowick - Wine [Dd]esktop"/ {print $1; exit}')
            break
        fi
        sleep 0.2
    done
    if [ -z "$desktop" ]; then
        echo "The Tarrowick window did not come up." >&2
        return 1
    fi
    "${moved[@]}" "$WINELOADER" explorer /desktop=Tarrowick,$SHOT_SIZE "$BUILD/tests/pose.exe"
    sleep 1  # let the last paint finish
    import -window "$desktop" "$out"
    stop_wine
    rm -f "$offset"
    echo "Saved a picture of the window: $out"
}
