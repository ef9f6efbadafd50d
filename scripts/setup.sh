#!/usr/bin/env bash
# Brings a fresh Debian machine to a working state: installs the packages the build, the tests,
# the demo and the benchmarks need, and only those that are missing.
set -euo pipefail
packages=(
    mingw-w64 mingw-w64-tools        # cross compilers, widl
    wine wine64 libwine-dev          # Windows runtime; platform IDL files for widl
    cmake ninja-build googletest     # build, test framework sources
    clang libclang-rt-14-dev         # fuzzing (libFuzzer, sanitizers)
    libgmime-3.0-dev pkg-config      # reference engine for the MIME benchmark
    locales                          # locale sources: the code-page runs build ja_JP/ru_RU UTF-8
    python3 zip ccache
    unicode-data                     # Unicode's tables, for the search index's word rules
    libnotmuch-dev                   # the peer engine of the search benchmark
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
