#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export BUILD_DIR="${BUILD_DIR:-$root/build-ci}"
"$root/scripts/build.sh" -DQUIVEL_WERROR=ON

export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
