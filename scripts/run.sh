#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quivel on a sample catalogue in a working folder.
# The folder is work-folder/ beside the sources unless QUIVEL_WORKDIR names another.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
# Only what the program needs: the tests and benchmarks are built by scripts/test.sh.
BUILD_TARGETS="quivel quivel-catalogue" "$root/scripts/build.sh"

work="${QUIVEL_WORKDIR:-$root/work-folder}"
mkdir -p "$work"
cd "$work"
tool="$root/build/tools/catalogue/quivel-catalogue"
[ -e quivel.mdb ] || "$tool" sample quivel.mdb
# The About window shows the version that the build carries.
[ -e config.cfg ] || "$tool" --version | cut -d ' ' -f 2 > config.cfg

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/app/quivel"
fi
exec "$root/build/app/quivel"
