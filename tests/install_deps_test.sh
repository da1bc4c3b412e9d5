#!/usr/bin/env bash
# The decisions of scripts/install-deps.sh, with stand-ins for apt-get,
# dpkg-query, dpkg and id first on PATH: nothing is installed.  Each case
# replays one state of a package index and checks what the script ran and
# its exit code.
set -uo pipefail

SCRIPT=$(cd "$(dirname "$0")/.." && pwd)/scripts/install-deps.sh
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
CODENAME=$( . /etc/os-release && echo "$VERSION_CODENAME" )
passed=0 failed=0

mkdir "$WORK/bin"
stand_in() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$WORK/bin/$1"; chmod +x "$WORK/bin/$1"; }
# STATE names the case; every call to apt-get is logged to $WORK/calls.
stand_in dpkg-query '[ "$STATE" = complete ] && echo "install ok installed"; exit 0'
stand_in dpkg 'echo i386'
stand_in id 'echo "${UID_SEEN:-0}"'
stand_in apt-get 'echo "apt-get $*" >>"$CALLS"
case "$STATE:$1:$*" in
    *:update:*) [ "$STATE" = one-index ] || exit 0
        echo "E: Failed to fetch http://mirror/dists/x-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        exit 100 ;;
    plain-fails:install:*" -t "*) exit 0 ;;
    plain-fails:*|both-fail:*) echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
esac
exit 0'

# expect CASE STATE EXIT LINES...: the script exits with EXIT, and the apt-get
# calls, each cut to its first words, are exactly LINES.
expect() {
    local name=$1 state=$2 code=$3 got
    shift 3
    : >"$WORK/calls"
    STATE=$state CALLS=$WORK/calls RETRY_PAUSE=0 PATH="$WORK/bin:$PATH" \
        bash "$SCRIPT" >"$WORK/out" 2>&1
    got=$?
    local calls want
    calls=$(sed -E 's/(install) .*(-t [^ ]+).*/\1 \2/; s/(install) -y.*/\1/; s/(update) .*/\1/' "$WORK/calls")
    want=$(printf '%s\n' "$@")
    [ $# -eq 0 ] && want=""
    if [ "$got" = "$code" ] && [ "$calls" = "$want" ]; then
        passed=$((passed + 1)); echo "ok: $name"
    else
        failed=$((failed + 1))
        echo "FAILED: $name: exit $got (wanted $code); ran:"; echo "$calls"; echo "wanted:"; echo "$want"
        sed 's/^/  | /' "$WORK/out"
    fi
}

expect "nothing missing runs nothing" complete 0
expect "update failing on one index is retried, then the install goes on" one-index 0 \
    "apt-get update" "apt-get update" "apt-get update" "apt-get install"
expect "a failed install is retried with the release as target" plain-fails 0 \
    "apt-get update" "apt-get install" "apt-get install -t $CODENAME"
expect "both installs failing stops the script" both-fail 1 \
    "apt-get update" "apt-get install" "apt-get install -t $CODENAME"
grep -q "also with -t $CODENAME" "$WORK/out" || { failed=$((failed + 1)); echo "FAILED: no message naming the step"; }
UID_SEEN=1000 expect "not root: says so and stops" missing 1
# Both architectures: each one's cross compiler and Wine, and a Linux
# compiler for each one's moved-clock library; a window manager for the
# tests' display; zip for the release.
expect "a bare machine gets everything" missing 0 "apt-get update" "apt-get install"
for package in g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine32:i386 wine64 \
               gcc-i686-linux-gnu gcc evilwm zip; do
    if ! grep -q "^apt-get install .* $package\( \|$\)" "$WORK/calls"; then
        failed=$((failed + 1)); echo "FAILED: the install does not ask for $package"
    fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
