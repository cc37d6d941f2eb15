#!/usr/bin/env bash
# Starts the real program on a sample catalogue and expects it still running, its message
# loop alive, when the time is up.
set -euo pipefail
program="$1"
tool="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
"$tool" sample quivel.mdb
printf '1.0.0\r\n' > config.cfg
set +e
QT_QPA_PLATFORM=offscreen timeout 4 "$program" > output.txt 2>&1
code=$?
set -e
cat output.txt
if [ "$code" -ne 124 ]; then
    echo "quivel ended by itself with code $code before its time was up"
    exit 1
fi
echo "quivel started and kept running"
