#!/usr/bin/env bash
# Builds the listener sample the way its README tells a user to: installs the SDK with
# register.sh --sdk into a temporary folder, copies listener.cpp out of the tree and runs the
# README's build line there (with warnings as errors; in a 32-bit build tree with the 32-bit
# compiler, i686-w64-mingw32-g++, in place of the x86-64 one). The result is the listener.exe that
# the listener sample test runs.
#   tests/notify/build_listener_from_sdk.sh BUILD_DIR OUTPUT_EXE
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:?usage: build_listener_from_sdk.sh BUILD_DIR OUTPUT_EXE}
output=${2:?usage: build_listener_from_sdk.sh BUILD_DIR OUTPUT_EXE}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
line=$(grep -m1 '^ *x86_64-w64-mingw32-g++ ' "$repo/samples/listener/README.md") ||
    { echo "samples/listener/README.md has no build line" >&2; exit 1; }
"$repo/scripts/register.sh" --sdk "$work/sdk" "$build" >/dev/null
mkdir "$work/listener"
cp "$repo/samples/listener/listener.cpp" "$work/listener/"
cd "$work/listener"
grep -qs '^CMAKE_TOOLCHAIN_FILE:.*i686' "$build/CMakeCache.txt" && line=${line/x86_64-w64-mingw32-/i686-w64-mingw32-}
eval "${line//SDK\//$work/sdk/} -Wall -Wextra -Werror"
cp listener.exe "$output"
