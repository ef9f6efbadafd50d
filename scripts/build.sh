#!/usr/bin/env bash
# Builds the Windows DLLs, programs and tests (mingw-w64 cross build) into $PELKARY_BUILD
# (default: build), the same for 32-bit Windows into $PELKARY_BUILD-i686, and the portable engines
# with their native tests into $PELKARY_BUILD-native.
#   scripts/build.sh [cross|native|i686|all]   (default: cross and native; all: the three)
# PELKARY_TARGETS (names of targets, space-separated) builds only those in the Windows trees.
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
    cmake --build "$build" -j "$jobs" ${PELKARY_TARGETS:+--target $PELKARY_TARGETS}
}
native() {
    configure "$build-native" -DPELKARY_NATIVE=ON
    cmake --build "$build-native" -j "$jobs"
}
i686() {
    # A tree configured by earlier versions without its tests gets them now.
    grep -qs '^PELKARY_BUILD_TESTS:BOOL=OFF' "$build-i686/CMakeCache.txt" && rm -f "$build-i686/build.ninja"
    configure "$build-i686" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-i686.cmake" -DPELKARY_BUILD_TESTS=ON
    cmake --build "$build-i686" -j "$jobs" ${PELKARY_TARGETS:+--target $PELKARY_TARGETS}
}
case $what in
    cross) cross ;;
    native) native ;;
    i686) i686 ;;
    default) cross; native ;;
    all) cross; native; i686 ;;
    *) echo "usage: scripts/build.sh [cross|native|i686|all]" >&2; exit 2 ;;
esac
