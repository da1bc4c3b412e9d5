#!/usr/bin/env bash
# Tries the README's two commands as a new user would, on a Debian that has
# nothing yet: makes a minimal system with debootstrap (variant minbase,
# with git and ca-certificates) from the Debian mirror that this machine's
# apt uses, clones this checkout's last commit into it, runs the commands
# there as root with a bare environment, and prints each one's outcome,
# counts and time.  It downloads about 1.5 GB and takes about 6 minutes a
# suite on 2 cores, so it is not part of the test command.
#   fresh-debian.sh SUITE [run|test]...
#     SUITE: bookworm (Debian 12), trixie (Debian 13), or another suite
#     run, test: which commands, in that order (default: both, as the README)
#   FRESH_DEBIAN_DIR   where the system is made, about 6 GB (default /var/tmp)
#   FRESH_DEBIAN_KEEP=1  keeps the system afterwards, to look into it
# The logs and the window's picture go to build-fresh-SUITE/ in this
# checkout.  Every mount is made in a mount namespace of this script's own,
# so none outlives it, and every process left in the system is ended.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# end_processes_in DIR: ends every process whose root is DIR: Wine's servers
# and the displays that a command may leave behind.
end_processes_in() {
    local proc pid pids=() alive _
    for proc in /proc/[0-9]*; do
        [ "$(readlink "$proc/root" 2>/dev/null)" = "$1" ] && pids+=("${proc#/proc/}")
    done
    [ ${#pids[@]} -eq 0 ] && return 0
    kill "${pids[@]}" 2>/dev/null || true
    for _ in $(seq 50); do
        alive=0
        for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
        [ "$alive" -eq 0 ] && return 0
        sleep 0.1
    done
    kill -9 "${pids[@]}" 2>/dev/null || true
}

# The inside, in the namespace: the system's own /proc, /sys, /dev and
# /dev/shm, then each command, timed, with nothing of this shell's settings.
if [ "${1:-}" = --inside ]; then
    target=$2 out=$3
    shift 3
    mount -t proc proc "$target/proc"
    mount -t sysfs sysfs "$target/sys"
    mount --bind /dev "$target/dev"
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$target/dev/pts"
    mount -t tmpfs -o mode=1777 shm "$target/dev/shm"
    cp /etc/resolv.conf "$target/etc/resolv.conf"
    rc=0
    for command in "$@"; do
        start=$(date +%s)
        chroot "$target" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            bash -c "cd /root/tarrowick && ./scripts/$command.sh" </dev/null >"$out/$command.log" 2>&1 \
            && code=0 || code=$?
        echo "$code $(( $(date +%s) - start ))" >"$out/$command.outcome"
        [ "$code" -eq 0 ] || rc=1
    done
    chroot "$target" /usr/lib/wine/wine64 --version >"$out/wine-version" 2>/dev/null || echo "not installed" >"$out/wine-version"
    end_processes_in "$target"
    exit $rc
fi

# The mirror of this machine's own Debian suites (not the security archive),
# from its sources in either format.
debian_mirror() {
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '$1 == "URIs:" { print $2 }'
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
            | sed -nE 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p'
    } | grep -v security | grep -E '/debian/?$' | head -n 1 || true
}

suite=${1:-}
[ -n "$suite" ] || { echo "usage: $0 SUITE [run|test]...   (SUITE: bookworm, trixie, ...)" >&2; exit 2; }
shift
commands=("$@")
[ ${#commands[@]} -eq 0 ] && commands=(run test)
for command in "${commands[@]}"; do
    case $command in run|test) ;; *) echo "$0: '$command' is neither run nor test" >&2; exit 2 ;; esac
done
[ "$(id -u)" -eq 0 ] || { echo "$0: debootstrap and chroot need root" >&2; exit 1; }
"$ROOT/scripts/install-deps.sh"
mirror=$(debian_mirror)
mirror=${mirror:-http://deb.debian.org/debian}
commit=$(git -C "$ROOT" rev-parse --short HEAD)
[ -z "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ] \
    || echo "Note: this checkout has changes that are not committed; the fresh system gets commit $commit only."

work=$(mktemp -d "${FRESH_DEBIAN_DIR:-/var/tmp}/fresh-debian-$suite.XXXXXX")
target=$work/root
out=$ROOT/build-fresh-$suite
rm -rf "$out"
mkdir -p "$out"
cleanup() {
    end_processes_in "$target"
    if grep -q " $target/" /proc/self/mounts; then
        echo "Left $work in place: something is still mounted in it." >&2
    elif [ "${FRESH_DEBIAN_KEEP:-}" = 1 ]; then
        echo "Kept the system in $target."
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

echo "== Debian $suite from $mirror, commit $commit, into $target"
start=$(date +%s)
if ! debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$target" "$mirror" \
        >"$out/debootstrap.log" 2>&1; then
    tail -n 5 "$out/debootstrap.log"
    echo "debootstrap failed; its log is $out/debootstrap.log" >&2
    exit 1
fi
echo "   made in $(( $(date +%s) - start )) s: Debian $(cat "$target/etc/debian_version")"
git clone -q "$ROOT" "$target/root/tarrowick"

unshare --mount --propagation private bash "$0" --inside "$target" "$out" "${commands[@]}" || true

echo
echo "== The README's commands on a fresh Debian $(cat "$target/etc/debian_version") ($suite), commit $commit:"
echo "   Wine: $(cat "$out/wine-version" 2>/dev/null)"
failed=0
for command in "${commands[@]}"; do
    read -r code seconds 2>/dev/null <"$out/$command.outcome" || { code=1 seconds=?; }
    [ "$code" -eq 0 ] && outcome=passed || { outcome="FAILED (exit $code)"; failed=1; }
    echo "   ./scripts/$command.sh: $outcome in $seconds s; its log is $out/$command.log"
    case $command in
        run)
            grep -E '^(Running the|Saved a picture|The Tarrowick window)' "$out/run.log" | sed 's/^/     /'
            picture=$target/root/tarrowick/build/screenshot.png
            [ -f "$picture" ] || picture=$target/root/tarrowick/build-x64/screenshot.png
            [ -f "$picture" ] && cp "$picture" "$out/screenshot.png" && echo "     picture copied to $out/screenshot.png"
            ;;
        test)
            sed -n '/^== Architectures tested:/,$p' "$out/test.log" | tail -n +2 | sed 's/^/  /'
            ;;
    esac
done
exit $failed
