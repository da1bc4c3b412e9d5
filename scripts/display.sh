# Sourced: a virtual display of its own for a script or a test, with a
# window manager where Wine's windows should behave as on a user's desktop.

# start_display [managed]: starts Xvfb on a free display and exports
# DISPLAY; with "managed", also a small window manager on it.  Xvfb picks
# the number itself and says it once it takes connections, so that several
# can start side by side.  stop_display ends both.  XVFB_SCREEN sets the
# screen (default 1024x768x24).
start_display() {
    local number_file n=""
    number_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    WM_PID=""
    for _ in $(seq 100); do
        n=$(head -n 1 "$number_file")
        [ -n "$n" ] && break
        sleep 0.05
    done
    rm -f "$number_file"
    if [ -z "$n" ]; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    export DISPLAY=":$n"
    [ "${1:-}" = managed ] || return 0
    # With a window manager Wine takes each window and box down at once;
    # with none it waits 2 s for one every time.  evilwm asks for a core
    # font only for text it never shows here, and Xvfb has only the cursor's.
    local wm_log
    wm_log=$(mktemp)
    evilwm --fn cursor >/dev/null 2>"$wm_log" &
    WM_PID=$!
    # Up to 20 s: a machine busy making a Wine prefix beside it is slow.
    for _ in $(seq 400); do
        if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
            rm -f "$wm_log"
            return 0
        fi
        kill -0 "$WM_PID" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$WM_PID" 2>/dev/null; then
        echo "The window manager did not start on $DISPLAY within 20 s" >&2
    else
        echo "The window manager on $DISPLAY ended as it started, saying: $(cat "$wm_log")" >&2
    fi
    rm -f "$wm_log"
    return 1
}

stop_display() {
    kill ${WM_PID:-} ${XVFB_PID:-} 2>/dev/null || true
}
