#!/usr/bin/env bash
# Runs a command on a session bus of its own with the desktop's secret store (gnome-keyring) and
# an unlocked keyring, in a home of its own, and ends both afterwards. Exits 77 (skipped) when
# the store is not installed.
set -euo pipefail
for tool in dbus-run-session gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed"
        exit 77
    fi
done
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export HOME="$home/home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data"
mkdir -p "$HOME" "$XDG_DATA_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The keyring's own password comes on standard input; it only guards this throwaway home.
dbus-run-session -- bash -c '
    set -euo pipefail
    gnome-keyring-daemon --foreground --unlock --components=secrets \
        <<<"chaveiro-de-teste" >/dev/null 2>&1 &
    keyring=$!
    # Ready once it owns the store'"'"'s name on the bus; asking earlier would start another.
    for _ in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q "boolean true"; then
            break
        fi
        sleep 0.1
    done
    status=0
    QUIVEL_TEST_KEYRING=1 "$@" || status=$?
    kill "$keyring" 2>/dev/null || true
    wait "$keyring" 2>/dev/null || true
    exit "$status"' bash "$@"
