#!/usr/bin/env bash
# Long run: builds the fuzz targets with clang and libFuzzer (with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a fixed number of inputs, starting from the
# kept inputs in tests/fuzz/corpus/<target>. A crash leaves its input in build-fuzz/crashes/;
# once fixed, copy it into the target's corpus folder so the ordinary suite replays it.
#   scripts/fuzz.sh [RUNS]          (default 200000 inputs per target)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-200000}"
"$root/scripts/install-deps.sh" clang libclang-rt-14-dev
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUIVEL_FUZZ=ON >/dev/null
targets=$(sed -n 's/^set(fuzz_targets \(.*\))$/\1/p' "$root/tests/fuzz/CMakeLists.txt")
for t in $targets; do
    cmake --build "$build" -j "$(nproc)" --target "fuzz_$t"
done
mkdir -p "$build/crashes"
status=0
# The old-format reader runs in the fuzzer's own process: an input that keeps it busy longer
# than this, or makes it take more memory, is kept as a finding.
limits=(-timeout=10 -rss_limit_mb=2048)
for t in $targets; do
    work="$build/corpus/$t"
    mkdir -p "$work"
    cp -n "$root/tests/fuzz/corpus/$t/"* "$work/" 2>/dev/null || true
    echo "== fuzz_$t: $runs inputs"
    seeds=()
    # The shared old-format files seed the conversion target; they are read, never copied.
    if [ "$t" = legacy ] && [ -d "$root/../shared/fixtures/legacy" ]; then
        seeds+=("$root/../shared/fixtures/legacy")
    fi
    # The same third-party leaks as the sanitizer suite are passed over (tests/lsan.supp).
    if ! LSAN_OPTIONS="suppressions=$root/tests/lsan.supp" QT_QPA_PLATFORM=offscreen \
        "$build/tests/fuzz/fuzz_$t" -runs="$runs" -max_len=1048576 "${limits[@]}" \
        -artifact_prefix="$build/crashes/$t-" "$work" "${seeds[@]}"; then
        status=1
    fi
done
exit $status
