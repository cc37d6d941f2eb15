#!/usr/bin/env bash
# Builds the Debian package quivel_<version>_<arch>.deb in build-package/ (or BUILD_DIR) with
# Debian's build flags, and checks it with lintian, which must report no errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh" dpkg-dev lintian
build="${BUILD_DIR:-$root/build-package}"

# Hardening and optimisation as every Debian package gets them.
eval "$(dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"
export CFLAGS="$CFLAGS $CPPFLAGS"
# Only what the package holds is built, not the tests and benchmarks.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target quivel quivel-start quivel-catalogue
rm -f "$build"/quivel_*.deb
(cd "$build" && cpack -G DEB)
deb="$(ls "$build"/quivel_*.deb)"
echo "== lintian $deb"
lintian --fail-on error --display-info "$deb"
echo "package: $deb"
