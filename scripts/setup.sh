#!/usr/bin/env bash
# Brings a fresh Debian machine to a working state: installs the packages the build, the tests,
# the demo and the benchmarks need, and only those that are missing; then the 32-bit side of Wine
# (wine32:i386, after adding the i386 architecture once). Where that cannot be installed,
# everything 64-bit still builds and runs, and the 32-bit runs say that they were skipped and why.
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
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# 32-bit Wine runs the i686 build (a 32-bit script host is the classic setting). Its failure is
# not the machine's end: the 64-bit side stays usable, so say why and carry on.
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
if ! installed wine32:i386; then
    echo "setup: installing 32-bit Wine (wine32:i386)"
    log=$(mktemp)
    if { dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386; } >"$log" 2>&1 &&
        $sudo apt-get update -qq >>"$log" 2>&1 &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq wine32:i386 >>"$log" 2>&1; then
        rm -f "$log"
    else
        echo "setup: 32-bit Wine could not be installed; the 64-bit side builds and runs, the 32-bit runs are skipped:" >&2
        grep -E '^(E|W):' "$log" | head -5 | sed 's/^/setup:   /' >&2 || true
        rm -f "$log"
    fi
fi
