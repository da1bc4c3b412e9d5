#!/usr/bin/env bash
# Installs what building and testing need on Debian, and only what is missing.
# Safe to run again: it does nothing when everything is there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake make g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-i686 \
         wine wine32:i386 fonts-wine xvfb x11-utils imagemagick googletest; do
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
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
