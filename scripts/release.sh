#!/usr/bin/env bash
# Builds both exes afresh and writes one zip per architecture under dist/,
# each holding tarrowick.exe, a README.txt for Windows users and SHA256SUMS:
#   dist/tarrowick-VERSION-x86.zip   32-bit, Windows XP SP3 and later
#   dist/tarrowick-VERSION-x64.zip   64-bit, Windows XP x64 and later
# Two runs give the same bytes: the exes are reproducible, and each zip holds
# its files in a fixed order, with the last commit's time and fixed
# permissions, and nothing of the machine that made it.
#   release.sh [DIST]   default: dist/ in this checkout
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

DIST=${1:-$ROOT/dist}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# The time every file in the zips carries: the last commit's, so that the
# same sources give the same zip; a tree that is no checkout takes a fixed one.
STAMP=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 946684800)

"$ROOT/scripts/install-deps.sh"
mkdir -p "$DIST"
for arch in x86 x64; do
    use_arch "$arch"
    build=$WORK/build-$arch
    cmake -S "$ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
          -DCMAKE_BUILD_TYPE=Release -DTARROWICK_TESTS=OFF >/dev/null
    cmake --build "$build" --target tarrowick --parallel "$(nproc)" >/dev/null
    version=$(sed -n 's/^#define TARROWICK_VERSION "\(.*\)"$/\1/p' "$build/generated/version.h")
    [ -n "$version" ] || { echo "release: no version in $build/generated/version.h" >&2; exit 1; }
    case $arch in
        x86) runs_on="Windows XP SP3 and every later Windows, 32-bit or 64-bit." ;;
        x64) runs_on="64-bit Windows only: Windows XP x64, Vista x64 and every later 64-bit Windows.
For a 32-bit Windows, take the 32-bit (x86) zip, which runs on both." ;;
    esac

    stage=$WORK/stage-$arch
    mkdir "$stage"
    cp "$build/tarrowick.exe" "$stage/"
    # Windows' own Notepad, up to Windows 10, wants CR LF at each line's end.
    sed -e "s/@VERSION@/$version/" -e "s/@BUILD@/$(arch_title "$arch")/" "$ROOT/docs/windows-readme.txt" \
        | RUNS_ON=$runs_on awk '/^@RUNS_ON@$/ { print ENVIRON["RUNS_ON"]; next } { print }' \
        | sed 's/$/\r/' >"$stage/README.txt"
    (cd "$stage" && sha256sum tarrowick.exe README.txt | sed 's/$/\r/' >SHA256SUMS)
    chmod 644 "$stage"/*
    touch -d "@$STAMP" "$stage"/*
    zip=$DIST/tarrowick-$version-$arch.zip
    rm -f "$zip"
    # -X: no extra fields (owners, extended times); -D: no folder entries.
    # Zip keeps local times: the same in every zone under UTC.
    (cd "$stage" && TZ=UTC zip -q -X -D -9 "$zip" tarrowick.exe README.txt SHA256SUMS)
    echo "$(arch_title "$arch"): $zip"
    unzip -l "$zip" | sed 's/^/    /'
    (cd "$DIST" && sha256sum "$(basename "$zip")" | sed 's/^/    /')
done
