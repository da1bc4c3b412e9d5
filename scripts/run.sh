#!/usr/bin/env bash
# Builds Tarrowick and runs it under Wine: the 32-bit program where this
# machine can run it, else the 64-bit one.  With a display the window opens
# there; without one it starts on a virtual display, saves a picture of the
# window to the build folder's screenshot.png, and closes it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

use_runnable_arch
build_tarrowick
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$WINELOADER" "$BUILD/tarrowick.exe"
fi
echo "No display found: starting Tarrowick on a virtual display (Xvfb) instead."
XVFB_SCREEN=${SHOT_SIZE}x24 start_xvfb
shoot_tarrowick "$BUILD/screenshot.png"
