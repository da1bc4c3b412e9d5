#!/usr/bin/env bash
# Builds Tarrowick and runs it under Wine.  With a display the window opens
# there; without one it starts on a virtual display, saves a picture of the
# window to build/screenshot.png, and closes it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_tarrowick
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec wine "$BUILD/tarrowick.exe"
fi
echo "No display found: starting Tarrowick on a virtual display (Xvfb) instead."
start_xvfb
shoot_tarrowick "$BUILD/screenshot.png"
