#!/usr/bin/env bash
# The project's Windows runtime: Wine 8 in a prefix that lives in the build tree.
#
#   scripts/wine.sh start              start the Wine server and services, detached
#   scripts/wine.sh stop               stop every Wine process of the prefix
#   scripts/wine.sh run PROG [ARGS]    run a Windows program (unix or Windows path; 64- or 32-bit)
#   scripts/wine.sh cscript FILE [ARGS] run a VBScript/JScript file with Wine's cscript of the
#                                      architecture (in a fresh store of its own unless
#                                      MAILSTORE_DIR is set)
#   scripts/wine.sh regsvr32 [/u] DLL  register (or unregister) a COM server DLL with the
#                                      architecture's regsvr32
#   scripts/wine.sh has32              exit 0 when 32-bit programs run here, else say why (exit 1)
#   scripts/wine.sh winpath PATH       print the Windows form (Z:\...) of a unix path
#
# Environment: PELKARY_BUILD (default: <repo>/build) holds the prefix, unless WINEPREFIX is set.
# PELKARY_ARCH is x86_64 or i686; without it a build tree whose name ends in -i686 (scripts/build.sh
# makes <build>-i686) is the 32-bit one. The 32-bit tree has no prefix of its own: it uses its
# x86-64 sibling's, where both architectures are registered side by side, each in its own registry
# view, and the 32-bit script host and regsvr32 are the prefix's C:\windows\syswow64 ones.
#
# Output: a Windows program writes text to a pipe in its code page, which Wine takes from the Unix
# locale (LC_ALL, else LC_CTYPE, else LANG): ja_JP.UTF-8 gives 932, ru_RU.UTF-8 1251, en_US.UTF-8
# and C 1252 (see codepage_of below). When the caller's locale is UTF-8, "run" and "cscript" convert
# the program's stdout and stderr from that code page to UTF-8 (a café reads as café, not as a
# replacement character), and keep its exit code: "run" from the ANSI code page, "cscript" from
# the OEM one that the script host's WScript.Echo writes in. PELKARY_RAW_OUTPUT=1 passes the raw
# bytes. A UTF-8 locale that the C library lacks is built into <build>/locales (see use_locale).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
case $build in *-i686) arch=${PELKARY_ARCH:-i686} ;; *) arch=${PELKARY_ARCH:-x86_64} ;; esac
export WINEPREFIX=${WINEPREFIX:-${build%-i686}/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# wine64 starts 32-bit programs too (through the 32-bit loader of the wine32 package).
wine=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
# The script host and regsvr32 of the architecture (the x86-64 ones by name, as before).
case $arch in
    x86_64) cscript=cscript regsvr32=regsvr32 ;;
    i686) cscript='C:\windows\syswow64\cscript.exe' regsvr32='C:\windows\syswow64\regsvr32.exe' ;;
    *) echo "wine.sh: PELKARY_ARCH is '$arch': use x86_64 or i686" >&2; exit 2 ;;
esac

# Why 32-bit programs cannot run here, or nothing when they can.
why_no_32bit() {
    [ -x "$wine32" ] ||
        echo "32-bit Wine is not installed (the wine32:i386 package; scripts/setup.sh installs it where the machine allows)"
}

winpath() {
    local p
    p=$(realpath -m -- "$1")
    printf 'Z:%s\n' "${p//\//\\}"
}

# A Wine process that finds no server starts one, and with it services that inherit the caller's
# output pipes and outlive it (a test runner then waits forever). Start both detached first.
ensure_started() {
    mkdir -p "$WINEPREFIX"
    if wineserver -p </dev/null >/dev/null 2>&1; then
        "$wine" wineboot </dev/null >/dev/null 2>&1 || true
    fi
    # A prefix made before 32-bit Wine was installed lacks its 32-bit programs: update it once.
    if [ -x "$wine32" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe" ]; then
        "$wine" wineboot -u </dev/null >/dev/null 2>&1 || true
    fi
    if [ "$arch" = i686 ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/cscript.exe" ]; then
        local why
        why=$(why_no_32bit)
        echo "wine.sh: cannot run 32-bit programs in $WINEPREFIX: ${why:-wineboot -u gave it no C:\\windows\\syswow64\\cscript.exe}" >&2
        exit 1
    fi
    # No display here: Wine's null graphics driver lets programs make ordinary (hidden) top-level
    # windows, which the store's notifications are posted to.
    if [ ! -f "$WINEPREFIX/.null-graphics" ]; then
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 &&
            touch "$WINEPREFIX/.null-graphics"
    fi
}

# The ANSI and OEM code pages Wine gives a process of this locale: "ANSI OEM".
codepage_of() {
    local locale=$1 lang
    lang=${locale%%.*}; lang=${lang%%@*}
    case $lang in
        ja*) echo "932 932" ;;
        zh_TW* | zh_HK*) echo "950 950" ;;
        zh*) echo "936 936" ;;
        ko*) echo "949 949" ;;
        ru* | uk* | be* | bg* | mk* | sr*) echo "1251 866" ;;
        pl* | cs* | sk* | hu* | sl* | hr* | ro* | sq*) echo "1250 852" ;;
        el*) echo "1253 737" ;;
        tr*) echo "1254 857" ;;
        he*) echo "1255 862" ;;
        ar* | fa* | ur*) echo "1256 720" ;;
        lt* | lv* | et*) echo "1257 775" ;;
        vi*) echo "1258 1258" ;;
        th*) echo "874 874" ;;
        *) echo "1252 437" ;;
    esac
}

# Runs "$@" (a Wine command line) with its stdout and stderr converted to UTF-8 from the code page
# the program writes in (ansi or oem), when the caller reads UTF-8; returns the program's exit code.
run_converted() {
    local which=$1; shift
    local locale=${LC_ALL:-${LC_CTYPE:-${LANG:-}}} pages cp status
    set +e
    case $locale in *.UTF-8 | *.utf8 | *.utf-8 | *.UTF8) ;; *) "$@"; return ;; esac
    [ "${PELKARY_RAW_OUTPUT:-0}" = 1 ] && { "$@"; return; }
    pages=$(codepage_of "$locale")
    if [ "$which" = oem ]; then cp=${pages#* }; else cp=${pages% *}; fi
    # Standard error goes through a FIFO to a converter that is waited for, so all of it is out
    # before this script ends.
    local fifo_dir converter
    fifo_dir=$(mktemp -d)
    mkfifo "$fifo_dir/stderr"
    iconv -c -f "CP$cp" -t UTF-8 <"$fifo_dir/stderr" >&2 &
    converter=$!
    "$@" 2>"$fifo_dir/stderr" | iconv -c -f "CP$cp" -t UTF-8
    status=${PIPESTATUS[0]}
    wait "$converter"
    rm -rf "$fifo_dir"
    return "$status"
}

# Wine knows a process's locale, and so its code page and the charset of Unix file names, only
# when the C library knows it: a UTF-8 locale that is not installed (ja_JP.UTF-8 on a bare
# machine) is built once from the system's locale sources into the build tree and used from there.
use_locale() {
    local locale=${LC_ALL:-${LC_CTYPE:-${LANG:-}}} name dir tmp
    case $locale in *.UTF-8 | *.utf8) ;; *) return 0 ;; esac
    name=${locale%%.*}
    case $name in C | POSIX | *[!A-Za-z_@]*) return 0 ;; esac
    locale -a 2>/dev/null | grep -qixF "$name.utf8" && return 0
    [ -f "/usr/share/i18n/locales/$name" ] || return 0
    dir=$build/locales
    if [ ! -d "$dir/$locale" ]; then
        mkdir -p "$dir"
        tmp=$(mktemp -d "$dir/.new.XXXXXX")
        localedef -i "$name" -f UTF-8 "$tmp/$locale" >/dev/null 2>&1 || true
        [ -f "$tmp/$locale/LC_CTYPE" ] && mv -T "$tmp/$locale" "$dir/$locale" 2>/dev/null || true
        rm -rf "$tmp"
    fi
    [ -d "$dir/$locale" ] && export LOCPATH=$dir
    return 0
}

cscript_cp=oem

cmd=${1:-}
[ $# -gt 0 ] && shift
case $cmd in start | run | cscript | regsvr32) use_locale ;; esac
case $cmd in
    start) ensure_started ;;
    stop)
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true ;;
    run) ensure_started; run_converted ansi "$wine" "$@"; exit ;;
    cscript)
        # A script that names no store gets a fresh, empty one of its own for the run.
        ensure_started
        file=$1; shift
        if [ -n "${MAILSTORE_DIR:-}" ]; then
            run_converted "$cscript_cp" "$wine" "$cscript" //nologo "$(winpath "$file")" "$@"
            exit
        fi
        mkdir -p "$build/stores"
        store=$(mktemp -d "$build/stores/script.XXXXXX")
        status=0
        MAILSTORE_DIR=$(winpath "$store") run_converted "$cscript_cp" "$wine" "$cscript" \
            //nologo "$(winpath "$file")" "$@" || status=$?
        rm -rf "$store"
        exit $status ;;
    regsvr32)
        ensure_started
        args=()
        for a in "$@"; do
            case $a in /*) [ -e "$a" ] && a=$(winpath "$a") ;; esac
            args+=("$a")
        done
        exec "$wine" "$regsvr32" /s "${args[@]}" ;;
    has32)
        reason=$(why_no_32bit)
        [ -z "$reason" ] || { echo "$reason"; exit 1; } ;;
    winpath) winpath "$1" ;;
    *) echo "usage: scripts/wine.sh start|stop|run PROG [ARGS]|cscript FILE [ARGS]|regsvr32 [/u] DLL|has32|winpath PATH" >&2; exit 2 ;;
esac
