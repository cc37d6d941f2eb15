#!/usr/bin/env bash
# Redraws packaging/screenshots/main-window.png, the screenshot the AppStream metadata names:
# installs the build into a temporary prefix and starts it as the menu entry does, with a fresh
# HOME, on a virtual 1024x768 screen under openbox, then photographs the whole screen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" openbox imagemagick x11-xserver-utils
build="${BUILD_DIR:-$root/build}"
out="${1:-$root/packaging/screenshots/main-window.png}"
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
# A plain desktop colour behind the window, once the window manager has taken the screen.
xsetroot -solid '#3a6ea5'
HOME="$work/home" QT_QPA_PLATFORM=xcb "$work/prefix/bin/quivel-start" >/dev/null 2>&1 &
pids+=($!)
sleep 4
mkdir -p "$(dirname "$out")"
import -window root "$work/screen.png"
# Without the capture's time stamps, a redrawn picture that looks the same is the same file.
convert "$work/screen.png" -strip "$out"
echo "wrote $out"
