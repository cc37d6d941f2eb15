#!/usr/bin/env bash
# Runs a command on a private X display (Xvfb, 1280 by 1024), under the openbox window manager
# when it is installed, and ends both afterwards. Exits 77 (skipped) without Xvfb.
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
    echo "Xvfb is not installed"
    exit 77
fi

state="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$state"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$state/display" ] && break
    sleep 0.1
done
if [ ! -s "$state/display" ]; then
    cat "$state/xvfb.log"
    echo "Xvfb did not start"
    exit 1
fi
export DISPLAY=":$(head -n1 "$state/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

if command -v openbox >/dev/null; then
    openbox --sm-disable >"$state/openbox.log" 2>&1 &
    pids+=($!)
    # Ready once it has announced itself on the root window.
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    export QUIVEL_TEST_WINDOW_MANAGER=openbox
fi

set +e
"$@"
code=$?
set -e
exit "$code"
