#!/usr/bin/env bash
# Starts the real program on a sample catalogue, in a working folder whose name holds ";" and
# "=", on a private X display under a window manager, and passes only when the main window
# is on screen with its exact title, no message box stands beside it, and the program still
# runs. With --no-catalogue the folder has no catalogue: start-up reports that, and this
# check must fail.
set -euo pipefail
program="$(realpath "$1")"
tool="$(realpath "$2")"
mode="${3:-}"
here="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${QUIVEL_SMOKE_DISPLAY:-}" ]; then
    export QUIVEL_SMOKE_DISPLAY=1
    exec "$here/../support/with_x_display.sh" "$0" "$@"
fi

root="$(mktemp -d)"
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$root"
}
trap cleanup EXIT
work="$root/cópia;Mode=Read;b=c"
mkdir -p "$work"
cd "$work"
if [ "$mode" != "--no-catalogue" ]; then
    "$tool" sample quivel.mdb
fi
printf '1.0.0\r\n' > config.cfg

"$program" > "$root/output.txt" 2>&1 &
pid=$!

title="QUIVEL - Banco de Dados de Aplicativos"
# The top-level windows on screen, as "id name" lines.
windows() {
    xwininfo -root -tree 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "\([^"]*\)".*/\1 \2/p'
}
viewable() {
    xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"
}
fail() {
    echo "FAIL: $*"
    echo "--- program output"
    cat "$root/output.txt"
    echo "--- windows"
    windows
    exit 1
}

main=""
for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || fail "quivel ended by itself"
    while read -r id name; do
        [ "$name" = "$title" ] && viewable "$id" && main="$id"
    done < <(windows)
    [ -n "$main" ] && break
    sleep 0.1
done
[ -n "$main" ] || fail "no window titled \"$title\" on screen"
sleep 1 # a message box raised at start-up shows by now
kill -0 "$pid" 2>/dev/null || fail "quivel ended by itself"

# The window system received the title exactly: nothing appended.
wm_name="$(xprop -id "$main" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p')"
[ "$wm_name" = "$title" ] || fail "title on screen is \"$wm_name\""

# Nothing else on screen: a message window or an error box means start-up went wrong.
while read -r id name; do
    [ "$id" = "$main" ] && continue
    viewable "$id" || continue
    case "$name" in
    "" | openbox | "Openbox"*) ;;
    *) fail "a window \"$name\" stands beside the main window" ;;
    esac
done < <(windows)

# Under a window manager the frame is centred on the screen.
if [ -n "${QUIVEL_TEST_WINDOW_MANAGER:-}" ]; then
    read -r left right top bottom < <(xprop -id "$main" _NET_FRAME_EXTENTS |
        sed -n 's/.* = \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1 \2 \3 \4/p')
    info="$(xwininfo -id "$main")"
    x=$(sed -n 's/.*Absolute upper-left X: *\(-*[0-9]*\)/\1/p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *\(-*[0-9]*\)/\1/p' <<<"$info")
    w=$(sed -n 's/.*Width: *\([0-9]*\)/\1/p' <<<"$info")
    h=$(sed -n 's/.*Height: *\([0-9]*\)/\1/p' <<<"$info")
    screen="$(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')"
    read -r sw sh <<<"$screen"
    dx=$(((x - left) + (x + w + right) - sw))
    dy=$(((y - top) + (y + h + bottom) - sh))
    if [ "${dx#-}" -gt 3 ] || [ "${dy#-}" -gt 3 ]; then
        fail "main window frame off centre by $((dx / 2)),$((dy / 2))"
    fi
fi

cat "$root/output.txt"
echo "quivel started in \"$work\" and shows \"$title\""
