#!/usr/bin/env bash
# Registers pelkary and the platform servers it calls (mailstore.dll, mimelib.dll) in a Wine
# prefix, or removes them; or installs the SDK for C and C++ clients.
#   scripts/register.sh [--unregister] [--prefix DIR] [--arch x86_64|i686|both] [BIN_DIR]
#   scripts/register.sh --sdk SDK_DIR [BIN_DIR]
# BIN_DIR holds the three DLLs: a build tree (its bin/ is used, and the 32-bit ones of its sibling
# tree BIN_DIR-i686) or an unpacked release bundle (the x86-64 DLLs at its top, the 32-bit ones in
# x86/). Each DLL set is registered where it belongs, in one prefix: the x86-64 DLLs by the 64-bit
# regsvr32 into the 64-bit registry view, the 32-bit ones by C:\windows\syswow64\regsvr32.exe into
# the 32-bit view; a DLL's architecture is read from its own header. --arch (default: both) picks
# one; by default a 32-bit set is skipped, with a line saying why, where 32-bit Wine is missing.
# The prefix defaults to the build tree's own ($PELKARY_BUILD/wineprefix).
# --sdk copies the header pelkary.h into SDK_DIR/include, and the interface and class ids
# (pelkary_i.c) and the type library (pelkary.tlb) into SDK_DIR/lib, from a build tree (its
# generated/) or a bundle (its sdk/); it registers nothing and needs no Wine.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() {
    echo "usage: scripts/register.sh [--unregister] [--prefix DIR] [--arch x86_64|i686|both] [BIN_DIR] | --sdk SDK_DIR [BIN_DIR]" >&2
    exit 2
}
mode=register
arch=both
dir=
sdk=
while [ $# -gt 0 ]; do
    case $1 in
        --unregister|-u) mode=unregister ;;
        --sdk) [ $# -ge 2 ] || usage; sdk=$2; shift ;;
        --arch) [ $# -ge 2 ] || usage; arch=$2; shift
            case $arch in x86_64 | i686 | both) ;; x64 | amd64) arch=x86_64 ;; x86 | i386) arch=i686 ;; *) usage ;; esac ;;
        --prefix) [ $# -ge 2 ] || usage; export WINEPREFIX=$(realpath -m -- "$2"); prefix_given=1; shift ;;
        -h|--help) usage ;;
        -*) usage ;;
        *) [ -z "$dir" ] || usage; dir=$1 ;;
    esac
    shift
done
dir=${dir:-${PELKARY_BUILD:-$repo/build}}
if [ -n "$sdk" ]; then
    [ $mode = register ] && [ -z "${prefix_given:-}" ] && [ $arch = both ] || usage
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
dll_set() {  # the folder's DLL set: its architecture, or nothing when the folder lacks a DLL
    local folder=$1 dll offset machine
    for dll in mimelib.dll mailstore.dll pelkary.dll; do [ -f "$folder/$dll" ] || return 0; done
    # The machine field of the PE header, whose offset the DOS header gives at 0x3c.
    offset=$(od -An -t u4 -j 60 -N 4 "$folder/pelkary.dll" | tr -d ' ')
    machine=$(od -An -t x2 -j $((${offset:-0} + 4)) -N 2 "$folder/pelkary.dll" | tr -d ' ')
    case $machine in 8664) echo x86_64 ;; 014c) echo i686 ;; *) echo unknown ;; esac
}
# The candidate folders: a build tree's bin/ and its sibling's, or a bundle's top and x86/.
dir=${dir%/}
candidates=("$dir")
if [ -d "$dir/bin" ]; then
    candidates=("$dir/bin")
    case $dir in *-i686) candidates+=("${dir%-i686}/bin") ;; *) candidates+=("$dir-i686/bin") ;; esac
fi
candidates+=("$dir/x86")
declare -A folder_of=()
for folder in "${candidates[@]}"; do
    set_arch=$(dll_set "$folder")
    [ -n "$set_arch" ] && [ -z "${folder_of[$set_arch]:-}" ] && folder_of[$set_arch]=$(realpath "$folder")
done
if [ -n "${folder_of[unknown]:-}" ] && [ ${#folder_of[@]} -eq 1 ]; then
    echo "register: ${folder_of[unknown]}/pelkary.dll is neither an x86-64 nor a 32-bit Windows DLL: build again (scripts/build.sh all)" >&2
    exit 1
fi
archs=()
case $arch in both) archs=(x86_64 i686) ;; *) archs=("$arch") ;; esac
wanted=()
for a in "${archs[@]}"; do [ -n "${folder_of[$a]:-}" ] && wanted+=("$a"); done
if [ ${#wanted[@]} -eq 0 ]; then
    case $arch in
        both) what="DLLs (mimelib.dll, mailstore.dll, pelkary.dll) of either architecture" ;;
        x86_64) what="x86-64 DLLs (mimelib.dll, mailstore.dll, pelkary.dll)" ;;
        i686) what="32-bit DLLs (mimelib.dll, mailstore.dll, pelkary.dll)" ;;
    esac
    echo "register: found no $what in $dir: build first (scripts/build.sh all) or name the folder that holds the DLLs" >&2
    exit 1
fi
[ -x /usr/lib/wine/wine64 ] || { echo "register: Wine (wine64) is not installed: run scripts/setup.sh, or install the wine64 package" >&2; exit 1; }
if [[ " ${wanted[*]} " == *" i686 "* ]] && ! reason=$("$repo/scripts/wine.sh" has32); then
    if [ $arch = i686 ]; then
        echo "register: cannot register the 32-bit DLLs: $reason" >&2
        exit 1
    fi
    echo "register: skipped the 32-bit DLLs of ${folder_of[i686]}: $reason" >&2
    wanted=(x86_64)
    [ -n "${folder_of[x86_64]:-}" ] || exit 1
fi
# In a prefix of the user's own, leave the Wine server as it was found: stop it at the end when
# this command started it.
if [ -n "${prefix_given:-}" ]; then
    [ -d "$WINEPREFIX" ] || echo "register: creating the Wine prefix $WINEPREFIX (the first use takes a while)"
    mkdir -p "$WINEPREFIX" 2>/dev/null || { echo "register: cannot create $WINEPREFIX: choose a folder you can write to" >&2; exit 1; }
    if wineserver -p </dev/null >/dev/null 2>&1; then
        "$repo/scripts/wine.sh" start </dev/null >/dev/null 2>&1 || true
        trap '"$repo/scripts/wine.sh" stop' EXIT
    fi
fi
flag=()
order=(mimelib.dll mailstore.dll pelkary.dll)
# Unregister in the reverse order: nothing is left registered that needs what went before it.
[ $mode = unregister ] && flag=(/u) && order=(pelkary.dll mailstore.dll mimelib.dll)
for a in "${wanted[@]}"; do
    folder=${folder_of[$a]}
    for dll in "${order[@]}"; do
        if ! PELKARY_ARCH=$a "$repo/scripts/wine.sh" regsvr32 "${flag[@]}" "$folder/$dll"; then
            echo "register: regsvr32 ${flag[*]} $dll ($a) failed in prefix ${WINEPREFIX:-of $dir}: check that the prefix is a 64-bit Wine prefix" >&2
            exit 1
        fi
    done
    case $a in x86_64) bits="x86-64" ;; *) bits="32-bit" ;; esac
    echo "register: ${mode}ed the $bits ${order[*]} from $folder${prefix_given:+ in $WINEPREFIX}"
done
