#!/usr/bin/env bash
# Takes the README's picture of the window, on a virtual display.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_tarrowick
start_xvfb
mkdir -p "$ROOT/docs"
shoot_tarrowick "$ROOT/docs/screenshot.png"
