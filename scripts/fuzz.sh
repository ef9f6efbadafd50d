#!/usr/bin/env bash
# Builds the MIME engine's libFuzzer target with clang (ASan + UBSan) and runs it.
#   scripts/fuzz.sh [RUNS]   (default 100000; CI runs a short run)
# The build goes to $PELKARY_BUILD-fuzz (default build-fuzz); the corpus grows in that build dir,
# seeded from platform/mimelib/fuzz/corpus.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
dir=$build-fuzz
runs=${1:-100000}
if [ ! -f "$dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$repo" -B "$dir" -G Ninja -DPELKARY_NATIVE=ON -DPELKARY_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "${PELKARY_JOBS:-2}" --target fuzz_parse
mkdir -p "$dir/corpus"
cp -n "$repo"/platform/mimelib/fuzz/corpus/* "$dir/corpus/" 2>/dev/null || true
# A small quarantine and no malloc fill keep memory hot: page faults dominate otherwise.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=2:quarantine_size_mb=8:max_malloc_fill_size=0}
exec "$dir/bin/fuzz_parse" -runs="$runs" -max_len=${FUZZ_MAX_LEN:-4096} -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 ${FUZZ_ARGS:-} "$dir/corpus"
