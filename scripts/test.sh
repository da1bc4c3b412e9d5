#!/usr/bin/env bash
# Builds Tarrowick and its tests and runs every test under Wine on a private
# virtual display with a window manager, once for each architecture this
# machine can run, the two side by side: always the 64-bit build, and the
# 32-bit one where the kernel runs 32-bit programs.
# Where the 32-bit Wine cannot run, the 32-bit exe still gets the checks that
# need no Wine (imports, PE flags, reproducibility).  Exits non-zero when any
# test fails.  TARROWICK_ARCHS=x64 (or x86) chooses by hand; other arguments
# go to ctest.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$ROOT/scripts/outcome.sh"

"$ROOT/scripts/install-deps.sh"
choose_archs
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

# run_suite ARCH [ctest arguments]: builds ARCH and runs its tests on a
# virtual display of its own, and writes the outcome to $RESULTS/ARCH.
# The two architectures run side by side: each has its own build folder,
# Wine prefix, Wine server and display, and their tests mostly wait.
run_suite() {
    local arch=$1 log start rc=0
    shift
    use_arch "$arch"
    log=$(mktemp)
    start=$(date +%s)
    echo "== $(arch_title "$arch"): building in $BUILD"
    if [ -n "${SKIPPED[$arch]:-}" ]; then
        if build_tarrowick no-wine; then
            (cd "$BUILD" && ctest --output-on-failure -L nowine "$@") 2>&1 | tee "$log" || rc=$?
        else
            rc=1
        fi
    elif build_tarrowick && start_xvfb managed; then
        # Three at a time: the moved clock in its own Wine world, the window
        # tests taking turns on this one, and whatever only computes.
        (cd "$BUILD" && ctest --output-on-failure --parallel 3 "$@") 2>&1 | tee "$log" || rc=$?
        stop_wine
    else
        rc=1
    fi
    echo "$(suite_outcome "$log" "$rc"), $(( $(date +%s) - start )) s" >"$RESULTS/$arch"
    rm -f "$log"
}

say_plan
RESULTS=$(mktemp -d)
pids=()
for arch in x86 x64; do
    # Where 32-bit Wine cannot run, the 32-bit build still gets its checks without Wine.
    if [ -z "${SKIPPED[$arch]:-}" ] || [ "$arch" = x86 ]; then
        # Each line says which architecture it comes from.
        ( run_suite "$arch" "$@" ) 2>&1 | sed -u "s/^/[$arch] /" &
        pids+=($!)
    fi
done
wait "${pids[@]}"

echo
report_outcomes "$RESULTS" || failed=1
rm -rf "$RESULTS"
exit $failed
