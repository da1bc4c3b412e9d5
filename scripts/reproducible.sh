#!/usr/bin/env bash
# Builds tarrowick.exe twice from this checkout, in two folders of different
# names and depths, and checks that the two are byte for byte the same.
#   reproducible.sh [TOOLCHAIN_FILE]   default: the 32-bit one
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TOOLCHAIN=${1:-$ROOT/cmake/mingw-i686.cmake}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

for build in "$WORK/one" "$WORK/second/build-two"; do
    cmake -S "$ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
          -DCMAKE_BUILD_TYPE=Release -DTARROWICK_TESTS=OFF >/dev/null
    cmake --build "$build" --target tarrowick --parallel "$(nproc)" >/dev/null
done
one=$(sha256sum <"$WORK/one/tarrowick.exe" | cut -d' ' -f1)
two=$(sha256sum <"$WORK/second/build-two/tarrowick.exe" | cut -d' ' -f1)
echo "first build:  $one"
echo "second build: $two"
if [ "$one" != "$two" ]; then
    echo "the two builds of tarrowick.exe differ" >&2
    exit 1
fi
echo "tarrowick.exe ($(basename "$TOOLCHAIN" .cmake)) is reproducible"
