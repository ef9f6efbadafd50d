#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs them one after the other: the
# MIME engine's parser (fuzz_parse), then the search query parser and text analysis (fuzz_query).
#   scripts/fuzz.sh [RUNS] [TARGET...]   (default 100000 runs of each; CI runs a short run)
# The build goes to $PELKARY_BUILD-fuzz (default build-fuzz); each target's corpus grows in that
# build dir (corpus/, corpus-query/), seeded from its corpus directory in the source tree.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
dir=$build-fuzz
runs=${1:-100000}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_parse fuzz_query)
if [ ! -f "$dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$repo" -B "$dir" -G Ninja -DPELKARY_NATIVE=ON -DPELKARY_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "${PELKARY_JOBS:-2}" --target "${targets[@]}"
# A small quarantine and no malloc fill keep memory hot: page faults dominate otherwise.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=2:quarantine_size_mb=8:max_malloc_fill_size=0}
for target in "${targets[@]}"; do
    case $target in
        fuzz_parse) corpus=$dir/corpus seeds=$repo/platform/mimelib/fuzz/corpus max_len=4096 ;;
        fuzz_query) corpus=$dir/corpus-query seeds=$repo/platform/mailstore/search/text/fuzz/corpus max_len=1024 ;;
        *) echo "unknown fuzz target: $target" >&2; exit 2 ;;
    esac
    mkdir -p "$corpus"
    cp -n "$seeds"/* "$corpus/" 2>/dev/null || true
    echo "== $target"
    "$dir/bin/$target" -runs="$runs" -max_len=${FUZZ_MAX_LEN:-$max_len} -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 ${FUZZ_ARGS:-} "$corpus"
done
