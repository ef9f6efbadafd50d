#!/usr/bin/env bash
# The project's Windows runtime: Wine 8 (wine64) in a prefix that lives in the build tree.
#
#   scripts/wine.sh start              start the Wine server and services, detached
#   scripts/wine.sh stop               stop every Wine process of the prefix
#   scripts/wine.sh run PROG [ARGS]    run a Windows program (unix or Windows path)
#   scripts/wine.sh cscript FILE [ARGS] run a VBScript/JScript file with Wine's cscript (in a
#                                      fresh store of its own unless MAILSTORE_DIR is set)
#   scripts/wine.sh regsvr32 [/u] DLL  register (or unregister) a COM server DLL
#   scripts/wine.sh winpath PATH       print the Windows form (Z:\...) of a unix path
#
# Environment: PELKARY_BUILD (default: <repo>/build) holds the prefix, unless WINEPREFIX is set.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=/usr/lib/wine/wine64

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
    # No display here: Wine's null graphics driver lets programs make ordinary (hidden) top-level
    # windows, which the store's notifications are posted to.
    if [ ! -f "$WINEPREFIX/.null-graphics" ]; then
        "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 &&
            touch "$WINEPREFIX/.null-graphics"
    fi
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case $cmd in
    start) ensure_started ;;
    stop)
        wineserver -k </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true ;;
    run) ensure_started; exec "$wine" "$@" ;;
    cscript)
        # A script that names no store gets a fresh, empty one of its own for the run.
        ensure_started
        file=$1; shift
        if [ -n "${MAILSTORE_DIR:-}" ]; then
            exec "$wine" cscript //nologo "$(winpath "$file")" "$@"
        fi
        mkdir -p "$build/stores"
        store=$(mktemp -d "$build/stores/script.XXXXXX")
        status=0
        MAILSTORE_DIR=$(winpath "$store") "$wine" cscript //nologo "$(winpath "$file")" "$@" || status=$?
        rm -rf "$store"
        exit $status ;;
    regsvr32)
        ensure_started
        args=()
        for a in "$@"; do
            case $a in /*) [ -e "$a" ] && a=$(winpath "$a") ;; esac
            args+=("$a")
        done
        exec "$wine" regsvr32 /s "${args[@]}" ;;
    winpath) winpath "$1" ;;
    *) echo "usage: scripts/wine.sh start|stop|run PROG [ARGS]|cscript FILE [ARGS]|regsvr32 [/u] DLL|winpath PATH" >&2; exit 2 ;;
esac
