#!/usr/bin/env bash
# Installs what building and testing need on Debian, and only what is missing.
# Safe to run again: it does nothing when everything is there.
#   install-deps.sh          installs what is missing
#   install-deps.sh --list   prints each command with its package, and exits
#
# A mirror in the middle of a sync can serve an index of the wrong size for one
# suite and architecture, often for an hour or more.  Then apt-get update fails
# on that index alone, and a plain install may find the amd64 packages at the
# security suite's versions with no i386 twins to match.  So the update is
# retried and taken as it is when only some indexes failed, and a failed
# install is tried once more with the release's own suite as target release,
# from which both architectures take one version.
set -euo pipefail

# Every command that the scripts and the tests run, but those that every
# Debian system has (its required packages), with the package that brings
# it.  tests/install_deps_test.sh holds the scripts and the tests to this.
COMMANDS=(
    "cmake cmake" "ctest cmake" "make make"
    "i686-w64-mingw32-gcc-posix g++-mingw-w64-i686-posix" "i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix"
    "x86_64-w64-mingw32-gcc-posix g++-mingw-w64-x86-64-posix" "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix"
    "i686-w64-mingw32-windres binutils-mingw-w64-i686" "i686-w64-mingw32-objdump binutils-mingw-w64-i686"
    "x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64" "x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64"
    "/usr/lib/wine/wine wine32:i386" "/usr/lib/wine/wineserver32 wine32:i386"
    "/usr/lib/wine/wine64 wine64" "/usr/lib/wine/wineserver64 wine64"
    "gcc gcc" "i686-linux-gnu-gcc gcc-i686-linux-gnu"
    "Xvfb xvfb" "evilwm evilwm" "xprop x11-utils" "xwininfo x11-utils" "xdpyinfo x11-utils"
    "import imagemagick" "zip zip" "unzip unzip" "git git" "free procps" "debootstrap debootstrap")
# And what brings no command of theirs: headers, libraries, fonts, and
# Debian's front end to Wine, with the programs that a prefix runs.
OTHERS=(mingw-w64-tools wine fonts-wine googletest libc6-dev libc6-dev-i386-cross)
PACKAGES=($(printf '%s\n' "${COMMANDS[@]#* }" | awk '!seen[$0]++') "${OTHERS[@]}")
[ "${1:-}" = --list ] && { printf '%s\n' "${COMMANDS[@]}"; exit 0; }
RETRY_PAUSE=${RETRY_PAUSE:-5}  # seconds between attempts at the update

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
fail() { echo "install-deps: $*" >&2; exit 1; }

for p in "${PACKAGES[@]}"; do
    have "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${need[*]}; run this script as root to install them." >&2
    exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive

# TRUE when the index is usable: updated, or updated but for some indexes.
update_index() {
    local attempt log
    log=$(mktemp)
    for attempt in 1 2 3; do
        if apt-get update -qq >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        [ "$attempt" -lt 3 ] && sleep "$RETRY_PAUSE"
    done
    cat "$log" >&2
    if grep -q 'Some index files failed to download' "$log"; then
        echo "install-deps: apt-get update failed on some indexes; going on with the rest." >&2
        rm -f "$log"
        return 0
    fi
    rm -f "$log"
    return 1
}

update_index || fail "apt-get update failed three times (see above).  Check the network" \
    "and /etc/apt/sources.list, then run this script again."

install=(apt-get install -y -qq --no-install-recommends)
if "${install[@]}" "${need[@]}" >/dev/null; then
    exit 0
fi
codename=$( . /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}" )
[ -n "$codename" ] || fail "apt-get install failed, and /etc/os-release names no release" \
    "to retry with.  Missing: ${need[*]}"
echo "install-deps: apt-get install failed; trying again with -t $codename," \
     "so that every architecture takes its versions from the release's own suite." >&2
"${install[@]}" -t "$codename" "${need[@]}" >/dev/null \
    || fail "apt-get install failed, also with -t $codename.  The package index may be" \
        "half-synced: run 'apt-get update' later and this script again, or install by hand:" \
        "apt-get install ${need[*]}"
