#!/usr/bin/env bash
# Registers pelkary and the platform servers it calls (mailstore.dll, mimelib.dll) in a Wine
# prefix, or removes them.
#   scripts/register.sh [--unregister] [--prefix DIR] [BIN_DIR]
# BIN_DIR holds the three DLLs: a build tree (its bin/ is used) or an unpacked release bundle.
# The prefix defaults to the build tree's own ($PELKARY_BUILD/wineprefix).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() { echo "usage: scripts/register.sh [--unregister] [--prefix DIR] [BIN_DIR]" >&2; exit 2; }
mode=register
dir=
while [ $# -gt 0 ]; do
    case $1 in
        --unregister|-u) mode=unregister ;;
        --prefix) [ $# -ge 2 ] || usage; export WINEPREFIX=$(realpath -m -- "$2"); shift ;;
        -h|--help) usage ;;
        -*) usage ;;
        *) [ -z "$dir" ] || usage; dir=$1 ;;
    esac
    shift
done
dir=${dir:-${PELKARY_BUILD:-$repo/build}}
[ -d "$dir/bin" ] && dir=$dir/bin
for dll in mimelib.dll mailstore.dll pelkary.dll; do
    if [ ! -f "$dir/$dll" ]; then
        echo "register: $dir/$dll not found: build first (scripts/build.sh) or name the folder that holds the DLLs" >&2
        exit 1
    fi
done
flag=()
[ $mode = unregister ] && flag=(/u)
for dll in mimelib.dll mailstore.dll pelkary.dll; do
    if ! "$repo/scripts/wine.sh" regsvr32 "${flag[@]}" "$(realpath "$dir/$dll")"; then
        echo "register: regsvr32 ${flag[*]} $dll failed in prefix ${WINEPREFIX:-(build prefix)}: check that the prefix is a 64-bit Wine prefix and the DLL was built for x86-64" >&2
        exit 1
    fi
done
echo "register: ${mode}ed mimelib.dll, mailstore.dll, pelkary.dll from $dir"
