# Sourced by test.sh: how the test command counts each architecture's
# outcome and the run's.  tests/outcome_test.sh tries each case.

# suite_outcome LOG RC: the outcome of one architecture's ctest run, whose
# output (standard error too) is LOG and exit code RC: ctest's counts, "no
# test matched" when a filter left it nothing, or "FAILED: ..." otherwise.
suite_outcome() {
    local counts
    counts=$(grep -Eo '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1 || true)
    # A ctest filter may leave an architecture nothing to run: no failure
    # of its own, as long as some architecture ran a test.
    if [ "$2" -eq 0 ] && [ -z "$counts" ] && grep -q '^No tests were found' "$1"; then
        echo "no test matched"
    elif [ "$2" -ne 0 ] || [ -z "$counts" ]; then
        echo "FAILED: ${counts:-the build or no test ran}"
    else
        echo "$counts"
    fi
}

# report_outcomes RESULTS: prints each architecture's line, the time since
# the script began and the closing counts from RESULTS/x86 and RESULTS/x64, and fails when an architecture
# that ran failed or gave no outcome, or when no test ran at all.  An
# architecture in SKIPPED did not run its whole suite; x86 ran its checks
# without Wine all the same, x64 nothing.
report_outcomes() {
    local arch result failed=0 passed_all failed_all
    echo "== Architectures tested:"
    for arch in x86 x64; do
        result=$(cat "$1/$arch" 2>/dev/null || echo "FAILED: it stopped before giving its outcome")
        if [ -z "${SKIPPED[$arch]:-}" ]; then
            echo "   $(arch_title "$arch"): whole suite: $result"
        elif [ "$arch" = x86 ]; then
            echo "   $(arch_title "$arch"): whole suite not run, because ${SKIPPED[$arch]}; checks without Wine: $result"
        else
            echo "   $(arch_title "$arch"): not run, because ${SKIPPED[$arch]}"
            continue
        fi
        [[ $result == FAILED* ]] && failed=1
    done
    # Every architecture's counts in one line, as test runners close.
    read -r passed_all failed_all < <(cat "$1/x86" "$1/x64" 2>/dev/null \
        | sed -nE 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/p' \
        | awk '{ failed += $1; all += $2 } END { print all - failed, failed + 0 }')
    echo "== All of it took $SECONDS s."
    if [ "$((passed_all + failed_all))" -eq 0 ]; then
        echo "== No test ran at all."
        failed=1
    fi
    echo "Tests: $passed_all passed, $failed_all failed"
    return $failed
}
