#!/usr/bin/env bash
# Configures and builds Quivel into build/ (or the folder given as BUILD_DIR): everything, or
# only the targets BUILD_TARGETS names. Arguments go to the configure step.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
targets=()
for target in ${BUILD_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
