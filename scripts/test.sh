#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, builds with warnings as errors, and
# runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

# Unformatted sources fail the run before anything is built.
cd "$root"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
else
    find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run --Werror
fi
echo "clang-format: sources formatted"

export BUILD_DIR="${BUILD_DIR:-$root/build-ci}"
"$root/scripts/build.sh" -DQUIVEL_WERROR=ON

export QT_QPA_PLATFORM=offscreen
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
