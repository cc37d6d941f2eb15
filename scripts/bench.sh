#!/usr/bin/env bash
# Builds and runs every benchmark; each prints RATIO lines comparing Quivel's figure with the
# plainest code doing the same work, measured in the same run on the same data. The large
# catalogues are made once in $QUIVEL_BENCH_DIR (default: the system's temporary folder).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
export BUILD_DIR="${BUILD_DIR:-$root/build-bench}"
BUILD_TYPE=Release "$root/scripts/build.sh"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
summary="$(mktemp)"
trap 'rm -f "$summary"' EXIT
for bench in $(find "$BUILD_DIR" -type f -executable \( -name 'bench_*' -o -name '*_bench' \) | sort); do
    echo "== $(basename "$bench")"
    "$bench" --benchmark_color=false | tee -a "$summary"
done
echo
echo "== Summary"
grep '^RATIO' "$summary" || echo "no ratio lines"
