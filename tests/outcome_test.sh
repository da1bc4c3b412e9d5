#!/usr/bin/env bash
# How the test command counts: scripts/outcome.sh on ctest's outputs and
# on the architectures' outcomes, case by case, with no build and no Wine.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/common.sh"
source "$ROOT/scripts/outcome.sh"
set +e
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok: $1"; }
bad() { failed=$((failed + 1)); echo "FAILED: $1"; }

# One architecture's ctest run: its output, its exit code, the outcome wanted.
outcome() {  # outcome CASE RC WANTED OUTPUT
    printf '%s\n' "$4" >"$WORK/log"
    local got
    got=$(suite_outcome "$WORK/log" "$2")
    [ "$got" = "$3" ] && ok "$1" || bad "$1: \"$got\", wanted \"$3\""
}
counts="100% tests passed, 0 tests failed out of 13"
outcome "all passed" 0 "$counts" "$(printf 'Test project /b\n%s\n\nTotal Test time' "$counts")"
outcome "one failed" 8 "FAILED: 92% tests passed, 1 tests failed out of 13" \
    "92% tests passed, 1 tests failed out of 13"
outcome "a filter left nothing" 0 "no test matched" "$(printf 'Test project /b\nNo tests were found!!!')"
outcome "the build failed" 1 "FAILED: the build or no test ran" "make: *** [all] Error 2"
outcome "nothing found, yet ctest failed" 8 "FAILED: the build or no test ran" "No tests were found!!!"

# The run: SKIPPED as choose_archs leaves it, an outcome file for each
# architecture that ran; the exit code and the lines wanted.
report() {  # report CASE EXIT X86 X64 SKIPPED_X86 SKIPPED_X64 LINES...
    local name=$1 code=$2 x86=$3 x64=$4 got out line
    SKIPPED=([x86]=$5 [x64]=$6)
    shift 6
    rm -f "$WORK/x86" "$WORK/x64"
    [ -n "$x86" ] && echo "$x86" >"$WORK/x86"
    [ -n "$x64" ] && echo "$x64" >"$WORK/x64"
    out=$(report_outcomes "$WORK")
    got=$?
    [ "$got" = "$code" ] || { bad "$name: exit $got, wanted $code"; echo "$out"; return; }
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$out" || { bad "$name: no line \"$line\" in:"; echo "$out"; return; }
    done
    ok "$name"
}
pass13="100% tests passed, 0 tests failed out of 13, 250 s" pass12="100% tests passed, 0 tests failed out of 12, 260 s"
report "both ran and passed" 0 "$pass13" "$pass12" "" "" \
    "   32-bit (x86): whole suite: $pass13" "Tests: 25 passed, 0 failed"
report "x86 chosen: x64 not run, not failed" 0 "$pass13" "" "" "not chosen (TARROWICK_ARCHS=x86)" \
    "   64-bit (x64): not run, because not chosen (TARROWICK_ARCHS=x86)" "Tests: 13 passed, 0 failed"
report "x64 chosen, the filter leaving x86's checks nothing" 0 "no test matched, 2 s" "$pass12" \
    "not chosen (TARROWICK_ARCHS=x64)" "" \
    "   32-bit (x86): whole suite not run, because not chosen (TARROWICK_ARCHS=x64); checks without Wine: no test matched, 2 s"
report "no test at all" 1 "no test matched, 1 s" "" "" "not chosen (TARROWICK_ARCHS=x86)" \
    "== No test ran at all." "Tests: 0 passed, 0 failed"
report "one failing" 1 "$pass13" "FAILED: 92% tests passed, 1 tests failed out of 12, 270 s" "" "" \
    "Tests: 24 passed, 1 failed"
report "one stopped before its outcome" 1 "$pass13" "" "" "" \
    "   64-bit (x64): whole suite: FAILED: it stopped before giving its outcome"
report "no 32-bit here: its checks failing count" 1 "FAILED: 80% tests passed, 1 tests failed out of 5, 30 s" \
    "$pass12" "this machine's kernel does not run 32-bit programs" "" "Tests: 16 passed, 1 failed"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
