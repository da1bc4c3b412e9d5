#!/usr/bin/env bash
# Builds Tarrowick and its tests and runs every test under Wine on a private
# virtual display.  Exits non-zero when any test fails.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_tarrowick
start_xvfb
cd "$BUILD"
ctest --output-on-failure "$@"
