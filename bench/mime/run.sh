#!/usr/bin/env bash
# Builds the native tree, writes the bench corpus into it (once) and runs the engine bench and the
# GMime bench on the same bytes in one go, then the header property copy bench (clone_bench).
#   bench/mime/run.sh
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
native=$build-native
if [ ! -f "$native/build.ninja" ]; then
    cmake -S "$repo" -B "$native" -G Ninja -DPELKARY_NATIVE=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$native" -j "${PELKARY_JOBS:-2}" --target mime_corpus mime_bench gmime_bench clone_bench
corpus=$native/bench-corpus/mime
if [ ! -f "$corpus/huge.corpus" ]; then
    mkdir -p "$corpus"
    "$native/bin/mime_corpus" "$corpus"
elif [ ! -f "$corpus/cjk.corpus" ]; then
    "$native/bin/mime_corpus" "$corpus" cjk
fi
"$native/bin/mime_bench" "$corpus"
"$native/bin/gmime_bench" "$corpus"
"$native/bin/clone_bench"
