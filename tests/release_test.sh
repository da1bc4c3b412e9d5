#!/usr/bin/env bash
# scripts/release.sh, run twice: the same zips byte for byte, each holding
# exactly the exe, README.txt and SHA256SUMS in that order, the sums right,
# and the README naming the version and the oldest Windows of its build.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0 failed=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; fi
}

for run in one two; do
    "$ROOT/scripts/release.sh" "$WORK/$run" >"$WORK/$run.log" 2>&1 || { cat "$WORK/$run.log"; exit 1; }
done
version=$(sed -n 's/^project(Tarrowick VERSION \([0-9.]*\) .*/\1/p' "$ROOT/CMakeLists.txt")
for arch in x86 x64; do
    zip=tarrowick-$version-$arch.zip
    check "$zip written" test -f "$WORK/one/$zip"
    check "$zip the same from two runs" cmp -s "$WORK/one/$zip" "$WORK/two/$zip"
    names=$(unzip -Z1 "$WORK/one/$zip" | paste -sd' ')
    check "$zip holds the exe, README.txt and SHA256SUMS, in order (it holds: $names)" \
        test "$names" = "tarrowick.exe README.txt SHA256SUMS"
    mkdir "$WORK/$arch" && unzip -q "$WORK/one/$zip" -d "$WORK/$arch"
    check "$zip: SHA256SUMS gives the files' hashes" \
        bash -c "cd '$WORK/$arch' && tr -d '\r' <SHA256SUMS | sha256sum --quiet -c -"
    case $arch in x86) oldest="Windows XP SP3" ;; x64) oldest="Windows XP x64" ;; esac
    check "$zip: README.txt names the version" grep -q "^Tarrowick $version, " "$WORK/$arch/README.txt"
    check "$zip: README.txt names $oldest" grep -q "$oldest" "$WORK/$arch/README.txt"
    check "$zip: README.txt has Windows line ends" \
        bash -c "[ \$(grep -c \$'\r\$' '$WORK/$arch/README.txt') -eq \$(wc -l <'$WORK/$arch/README.txt') ]"
    check "$zip: README.txt says how to check the hash" grep -q "certutil -hashfile tarrowick.exe SHA256" "$WORK/$arch/README.txt"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
