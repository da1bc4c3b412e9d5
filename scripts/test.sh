#!/usr/bin/env bash
# Builds Tarrowick and its tests and runs every test under Wine on a private
# virtual display, once for each architecture this machine can run: always
# the 64-bit build, and the 32-bit one where the kernel runs 32-bit programs.
# Where the 32-bit Wine cannot run, the 32-bit exe still gets the checks that
# need no Wine (imports, PE flags, reproducibility).  Exits non-zero when any
# test fails.  TARROWICK_ARCHS=x64 (or x86) chooses by hand; other arguments
# go to ctest.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$ROOT/scripts/install-deps.sh"
choose_archs
declare -A RESULT=()
failed=0

say_plan() {
    local arch
    echo "== Tarrowick tests: the whole suite on $(for arch in "${RUN_ARCHS[@]}"; do arch_title "$arch"; done | paste -sd, | sed 's/,/ and /')."
    for arch in x86 x64; do
        [ -n "${SKIPPED[$arch]:-}" ] && echo "== $(arch_title "$arch"): whole suite not run, because ${SKIPPED[$arch]}."
    done
    [ -n "${SKIPPED[x86]:-}" ] && echo "== 32-bit (x86): its checks that need no Wine (imports, PE flags, reproducibility) run all the same."
    return 0
}

# run_suite ARCH [ctest arguments]: builds ARCH and runs its tests, noting the outcome.
run_suite() {
    local arch=$1 log start rc=0 counts
    shift
    use_arch "$arch"
    log=$(mktemp)
    start=$(date +%s)
    echo "== $(arch_title "$arch"): building in $BUILD"
    if [ -n "${SKIPPED[$arch]:-}" ]; then
        if build_tarrowick no-wine; then
            (cd "$BUILD" && ctest --output-on-failure -L nowine "$@") | tee "$log" || rc=$?
        else
            rc=1
        fi
    elif build_tarrowick; then
        (cd "$BUILD" && ctest --output-on-failure "$@") | tee "$log" || rc=$?
        stop_wine
    else
        rc=1
    fi
    counts=$(grep -Eo '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
    rm -f "$log"
    RESULT[$arch]="${counts:-the build or no test ran}, $(( $(date +%s) - start )) s"
    if [ "$rc" -ne 0 ] || [ -z "$counts" ]; then
        RESULT[$arch]="FAILED: ${RESULT[$arch]}"
        failed=1
    fi
}

say_plan
start_xvfb
for arch in x86 x64; do
    if [ -z "${SKIPPED[$arch]:-}" ]; then
        run_suite "$arch" "$@"
    elif [ "$arch" = x86 ]; then
        run_suite x86 "$@"
    fi
done

echo
echo "== Architectures tested:"
for arch in x86 x64; do
    if [ -z "${SKIPPED[$arch]:-}" ]; then
        echo "   $(arch_title "$arch"): whole suite: ${RESULT[$arch]}"
    elif [ -n "${RESULT[$arch]:-}" ]; then
        echo "   $(arch_title "$arch"): whole suite not run, because ${SKIPPED[$arch]}; checks without Wine: ${RESULT[$arch]}"
    else
        echo "   $(arch_title "$arch"): not run, because ${SKIPPED[$arch]}"
    fi
done
exit $failed
