#!/usr/bin/env bash
# Registers pelkary and the platform servers it calls (mailstore.dll, mimelib.dll) in a Wine
# prefix, or removes them; or installs the SDK for C and C++ clients.
#   scripts/register.sh [--unregister] [--prefix DIR] [BIN_DIR]
#   scripts/register.sh --sdk SDK_DIR [BIN_DIR]
# BIN_DIR holds the three DLLs: a build tree (its bin/ is used) or an unpacked release bundle.
# The prefix defaults to the build tree's own ($PELKARY_BUILD/wineprefix).
# --sdk copies the header pelkary.h into SDK_DIR/include, and the interface and class ids
# (pelkary_i.c) and the type library (pelkary.tlb) into SDK_DIR/lib, from a build tree (its
# generated/) or a bundle (its sdk/); it registers nothing and needs no Wine.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() {
    echo "usage: scripts/register.sh [--unregister] [--prefix DIR] [BIN_DIR] | --sdk SDK_DIR [BIN_DIR]" >&2
    exit 2
}
mode=register
dir=
sdk=
while [ $# -gt 0 ]; do
    case $1 in
        --unregister|-u) mode=unregister ;;
        --sdk) [ $# -ge 2 ] || usage; sdk=$2; shift ;;
        --prefix) [ $# -ge 2 ] || usage; export WINEPREFIX=$(realpath -m -- "$2"); prefix_given=1; shift ;;
        -h|--help) usage ;;
        -*) usage ;;
        *) [ -z "$dir" ] || usage; dir=$1 ;;
    esac
    shift
done
dir=${dir:-${PELKARY_BUILD:-$repo/build}}
if [ -n "$sdk" ]; then
    [ $mode = register ] && [ -z "${prefix_given:-}" ] || usage
    from=$dir/generated header=$dir/generated/pelkary.h
    [ -f "$dir/sdk/include/pelkary.h" ] && from=$dir/sdk/lib header=$dir/sdk/include/pelkary.h
    for file in "$header" "$from/pelkary_i.c" "$from/pelkary.tlb"; do
        if [ ! -f "$file" ]; then
            echo "register: $file not found: build first (scripts/build.sh cross) or name a build tree or bundle" >&2
            exit 1
        fi
    done
    mkdir -p "$sdk/include" "$sdk/lib" 2>/dev/null || { echo "register: cannot create $sdk/include and $sdk/lib: choose a folder you can write to" >&2; exit 1; }
    cp "$header" "$sdk/include/"
    cp "$from/pelkary_i.c" "$from/pelkary.tlb" "$sdk/lib/"
    echo "register: installed the SDK into $sdk (include/pelkary.h, lib/pelkary_i.c, lib/pelkary.tlb)"
    exit 0
fi
[ -d "$dir/bin" ] && dir=$dir/bin
for dll in mimelib.dll mailstore.dll pelkary.dll; do
    if [ ! -f "$dir/$dll" ]; then
        echo "register: $dir/$dll not found: build first (scripts/build.sh) or name the folder that holds the DLLs" >&2
        exit 1
    fi
done
[ -x /usr/lib/wine/wine64 ] || { echo "register: Wine (wine64) is not installed: run scripts/setup.sh, or install the wine64 package" >&2; exit 1; }
# In a prefix of the user's own, leave the Wine server as it was found: stop it at the end when
# this command started it.
if [ -n "${prefix_given:-}" ]; then
    [ -d "$WINEPREFIX" ] || echo "register: creating the Wine prefix $WINEPREFIX (the first use takes a while)"
    mkdir -p "$WINEPREFIX" 2>/dev/null || { echo "register: cannot create $WINEPREFIX: choose a folder you can write to" >&2; exit 1; }
    if wineserver -p </dev/null >/dev/null 2>&1; then
        "$repo/scripts/wine.sh" run wineboot </dev/null >/dev/null 2>&1 || true
        trap '"$repo/scripts/wine.sh" stop' EXIT
    fi
fi
flag=()
order=(mimelib.dll mailstore.dll pelkary.dll)
# Unregister in the reverse order: nothing is left registered that needs what went before it.
[ $mode = unregister ] && flag=(/u) && order=(pelkary.dll mailstore.dll mimelib.dll)
for dll in "${order[@]}"; do
    if ! "$repo/scripts/wine.sh" regsvr32 "${flag[@]}" "$(realpath "$dir/$dll")"; then
        echo "register: regsvr32 ${flag[*]} $dll failed in prefix ${WINEPREFIX:-(build prefix)}: check that the prefix is a 64-bit Wine prefix and the DLL was built for x86-64" >&2
        exit 1
    fi
done
echo "register: ${mode}ed ${order[*]} from $dir${prefix_given:+ in $WINEPREFIX}"
