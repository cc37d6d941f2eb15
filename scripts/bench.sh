#!/usr/bin/env bash
# Builds and runs every benchmark. The in-process ones print RATIO lines comparing Quivel's
# figure with the plainest code doing the same work, measured in the same run on the same data;
# then the real program is started and driven as a user would, against plain programs. The
# large catalogues are made once in $QUIVEL_BENCH_DIR (default: the system's temporary folder).
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

# The real program as a process, driven on a virtual screen, against plain programs doing the
# same work, pair by pair; QUIVEL_REAL_PATHS chooses the paths (all by default).
echo
echo "== The real program (drive_real.py)"
python3 "$root/bench/real/drive_real.py" --build "$BUILD_DIR" \
    ${QUIVEL_REAL_PATHS:+--paths "$QUIVEL_REAL_PATHS"}
