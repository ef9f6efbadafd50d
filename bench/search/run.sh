#!/usr/bin/env bash
# Builds the native tree and runs the search bench: the index and the notmuch library over the
# same messages, in one process each way.
#   bench/search/run.sh [CORPUS]        CORPUS: a folder of .eml files or a MIME bench corpus
#                                       file (bench/mime/run.sh writes them); default: 20,000
#                                       generated messages of mixed shapes and charsets
#   bench/search/run.sh --million [N]   our engine alone over N (1,000,000) generated messages
# PELKARY_BENCH_DIR: where the stores go (default /tmp); PELKARY_BENCH_KEEP=1 keeps them.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
native=$build-native
if [ ! -f "$native/build.ninja" ]; then
    cmake -S "$repo" -B "$native" -G Ninja -DPELKARY_NATIVE=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native" -j "${PELKARY_JOBS:-2}" --target search_bench
exec "$native/bin/search_bench" "$@"
