#!/usr/bin/env bash
# Takes the README's picture of the window, on a virtual display, with the
# 32-bit program where this machine can run it, else the 64-bit one.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

use_runnable_arch
build_tarrowick
XVFB_SCREEN=${SHOT_SIZE}x24 start_xvfb
mkdir -p "$ROOT/docs"
shoot_tarrowick "$ROOT/docs/screenshot.png"
