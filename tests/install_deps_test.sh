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
               gcc-i686-linux-gnu gcc evilwm zip unzip procps; do
    if ! grep -q "^apt-get install .* $package\( \|$\)" "$WORK/calls"; then
        failed=$((failed + 1)); echo "FAILED: the install does not ask for $package"
    fi
done

# Every command that the scripts and the tests run comes from the script's
# list, or from a package that every Debian system has: a minimal one has
# no unzip, say, even where this machine has.
ROOT=$(dirname "$SCRIPT")/..
files=("$ROOT"/scripts/*.sh "$ROOT"/tests/*.sh "$ROOT"/.ci/run)
# Listed, or no command at all: the scripts' own functions, bash's builtins and keywords.
known=$( (bash "$SCRIPT" --list | cut -d' ' -f1
          grep -ohE '^[[:space:]]*[A-Za-z_][A-Za-z0-9_]*\(\)' "${files[@]}" | tr -d ' ()'
          compgen -b; compgen -k) )
# The words in command position: at a line's start, or after a pipe, a
# list operator, an opening parenthesis, a command substitution or a
# keyword, past any VAR=value and env; comments dropped.  Words of strings
# that land there are no command on this machine and are passed over.
words=$(sed -e 's/^[[:space:]]*#.*//' -e 's/[[:space:]]#.*//' "${files[@]}" \
    | sed -E 's/\$\(|`|\|\||&&|[|;(!]|\b(then|do|else|exec|time)\b/\n/g' \
    | sed -E 's/^[[:space:]]*//; s/^(([A-Za-z_][A-Za-z0-9_]*=("[^"]*"|[^ ]*)|env|-[a-z]+)[[:space:]]+)+//' \
    | sed -E 's/^[A-Za-z_][A-Za-z0-9_]*=.*//' \
    | grep -oE '^[A-Za-z][A-Za-z0-9_.+-]*' | sort -u)
# package_of PATH: the Debian package that holds PATH, where the system
# has moved /bin into /usr/bin since the package was made, too.
package_of() {
    local at
    for at in "$1" "$(readlink -f "$1")" "/bin/$(basename "$1")" "/sbin/$(basename "$1")"; do
        dpkg -S "$at" 2>/dev/null | head -n 1 | cut -d: -f1 | grep . && return 0
    done
    return 1
}
checked=0 unlisted=$failed
for word in $words; do
    grep -qxF "$word" <<<"$known" && continue
    at=$(type -P "$word") || continue
    checked=$((checked + 1))
    if ! package=$(package_of "$at"); then
        failed=$((failed + 1)); echo "FAILED: the scripts run $word ($at), which no Debian package brings"
    elif ! dpkg-query -W -f='${Essential} ${Priority}\n' "$package" | head -n 1 | grep -qE '^yes|required$'; then
        failed=$((failed + 1))
        echo "FAILED: the scripts run $word, from $package, which is not on every Debian system: list it in install-deps.sh"
    fi
done
if [ "$failed" -eq "$unlisted" ]; then
    passed=$((passed + 1)); echo "ok: the $checked other commands that the scripts and the tests run come with every Debian system"
fi
# And what is listed is there once the script has run, as the tests run after it.
while read -r command package; do
    command -v "$command" >/dev/null \
        || { failed=$((failed + 1)); echo "FAILED: $command, from $package, is not installed"; }
done < <(bash "$SCRIPT" --list)

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
