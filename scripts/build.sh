#!/usr/bin/env bash
# Builds the Windows DLLs, programs and tests (mingw-w64 cross build) into $PELKARY_BUILD
# (default: build), and the portable engines with their native tests into $PELKARY_BUILD-native.
#   scripts/build.sh [cross|native|i686|all]   (default: cross and native)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
jobs=${PELKARY_JOBS:-$(nproc)}
what=${1:-default}

configure() {  # dir, extra cmake args...
    local dir=$1; shift
    if [ ! -f "$dir/build.ninja" ]; then
        # ccache, when there, keeps rebuilds of other checkouts of the tree cheap.
        local launcher=()
        command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" "$@" >/dev/null
    fi
}
cross() {
    configure "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake"
    cmake --build "$build" -j "$jobs"
}
native() {
    configure "$build-native" -DPELKARY_NATIVE=ON
    cmake --build "$build-native" -j "$jobs"
}
i686() {
    configure "$build-i686" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-i686.cmake" -DPELKARY_BUILD_TESTS=OFF
    cmake --build "$build-i686" -j "$jobs"
}
case $what in
    cross) cross ;;
    native) native ;;
    i686) i686 ;;
    default) cross; native ;;
    all) cross; native; i686 ;;
    *) echo "usage: scripts/build.sh [cross|native|i686|all]" >&2; exit 2 ;;
esac
