#!/usr/bin/env bash
# Builds pelkary (the x86-64 and the 32-bit cross builds) and assembles a release bundle that a
# user takes to a machine of their own: the three DLLs and the store tool of each architecture
# (x86-64 at the top, 32-bit in x86/), one register script for Windows (register.cmd) and the one
# for Wine (scripts/register.sh) that each register every DLL set where it belongs, the SDK, the
# samples, the reference, the install steps.
#
#   scripts/bundle.sh [--no-build] [--build DIR] [--out DIR]
#
#   --no-build   assemble from what DIR/bin and DIR-i686/bin already hold, without building first
#                (without the 32-bit DLLs the bundle is x86-64 only, and says so)
#   --build DIR  the x86-64 build tree (default: $PELKARY_BUILD, else <repo>/build); its 32-bit
#                sibling is DIR-i686
#   --out DIR    where pelkary-bundle/ and pelkary-bundle.zip are written (default: the build tree)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
usage() {
    echo "usage: scripts/bundle.sh [--no-build] [--build DIR] [--out DIR]" >&2
    exit 2
}
fail() {
    echo "bundle: $*" >&2
    exit 1
}

build_first=1
build=${PELKARY_BUILD:-$repo/build}
out=
while [ $# -gt 0 ]; do
    case $1 in
        --no-build) build_first=0 ;;
        --build) [ $# -ge 2 ] || usage; build=$2; shift ;;
        --out) [ $# -ge 2 ] || usage; out=$2; shift ;;
        -h|--help) usage ;;
        *) usage ;;
    esac
    shift
done
case $build in /*) ;; *) build=$(pwd)/$build ;; esac
out=${out:-$build}

# What the bundle holds, not the tests: a configured tree builds just those targets.
build_tree() {  # tree, what scripts/build.sh names it
    local tree=$1 kind=$2
    if [ -f "$tree/build.ninja" ]; then
        local targets=(mimelib mailstore pelkary) optional
        for optional in mxstore listener; do
            ninja -C "$tree" -t targets all 2>/dev/null | grep -q "^$optional:" && targets+=("$optional")
        done
        cmake --build "$tree" -j "${PELKARY_JOBS:-$(nproc)}" --target "${targets[@]}"
    else
        PELKARY_BUILD=$build "$repo/scripts/build.sh" "$kind"
    fi || fail "the $kind build failed (see the messages above); fix it, or assemble what is built with --no-build"
}
if [ $build_first = 1 ]; then
    build_tree "$build" cross
    build_tree "$build-i686" i686
fi

bin=$build/bin
for dll in mimelib.dll mailstore.dll pelkary.dll; do
    [ -f "$bin/$dll" ] || fail "$bin/$dll not found: build first (scripts/build.sh cross) or name the build tree with --build DIR"
done
command -v zip >/dev/null || fail "the zip program is missing: install it (scripts/setup.sh does) and run again"
mkdir -p "$out" 2>/dev/null || fail "cannot create the output folder $out: choose another with --out DIR"

# Assemble into a fresh folder beside the target and move it into place at the end, so that a
# failure never leaves a half-made bundle under the final name.
bundle=$out/pelkary-bundle
zipfile=$out/pelkary-bundle.zip
staging=$(mktemp -d "$out/.pelkary-bundle.XXXXXX") || fail "cannot write into $out: choose another folder with --out DIR"
trap 'rm -rf "$staging"' EXIT
stage=$staging/pelkary-bundle
mkdir -p "$stage/docs" "$stage/scripts"

cp "$bin/mimelib.dll" "$bin/mailstore.dll" "$bin/pelkary.dll" "$stage/"
[ -f "$bin/mxstore.exe" ] && cp "$bin/mxstore.exe" "$stage/"
# The 32-bit DLLs and store tool, for 32-bit hosts (the classic script host, 32-bit add-ins).
bin32=$build-i686/bin has32=yes
for dll in mimelib.dll mailstore.dll pelkary.dll; do [ -f "$bin32/$dll" ] || has32=no; done
if [ $has32 = yes ]; then
    mkdir "$stage/x86"
    cp "$bin32/mimelib.dll" "$bin32/mailstore.dll" "$bin32/pelkary.dll" "$stage/x86/"
    [ -f "$bin32/mxstore.exe" ] && cp "$bin32/mxstore.exe" "$stage/x86/"
else
    echo "bundle: no 32-bit DLLs in $bin32 (scripts/build.sh i686 builds them): this bundle is x86-64 only" >&2
fi
"$repo/scripts/register.sh" --sdk "$stage/sdk" "$build" >/dev/null ||
    fail "the SDK (pelkary.h, pelkary_i.c, pelkary.tlb) is missing from $build/generated: build first"
cp "$repo/docs/reference.md" "$stage/docs/"
# The Wine install command works from the bundle alone.
cp "$repo/scripts/register.sh" "$repo/scripts/wine.sh" "$stage/scripts/"
if [ -d "$repo/samples" ]; then
    # The samples' sources, without the build's own files.
    (cd "$repo" && find samples -type f ! -name CMakeLists.txt -print0) |
        (cd "$repo" && xargs -0 -r cp --parents -t "$stage")
fi

# The event listener sample as a program, beside its source.
[ -f "$bin/listener.exe" ] && mkdir -p "$stage/samples/listener" && cp "$bin/listener.exe" "$stage/samples/listener/"

version=$(git -C "$repo" describe --always --dirty 2>/dev/null || echo unknown)
has_tool=no
[ -f "$stage/mxstore.exe" ] && has_tool=yes

if [ $has32 = yes ]; then
    # One register script for Windows: each DLL set where it belongs, whichever cmd runs it.
    sed 's/$/\r/' >"$stage/register.cmd" <<'EOF'
@echo off
rem Registers pelkary where each DLL set belongs: the x86-64 DLLs of this folder with the 64-bit
rem regsvr32, the 32-bit DLLs of x86\ with the 32-bit one (on 32-bit Windows only those).
rem "register.cmd /u" unregisters them. Run it as administrator; keep the folder where it is.
setlocal
set "here=%~dp0"
set "here=%here:~0,-1%"
set "order=mimelib mailstore pelkary"
set "flag="
if /i "%~1"=="/u" set "flag=/u"
if /i "%~1"=="/u" set "order=pelkary mailstore mimelib"
set "sys64=%SystemRoot%\System32"
if defined PROCESSOR_ARCHITEW6432 set "sys64=%SystemRoot%\Sysnative"
set "sys32=%SystemRoot%\SysWOW64"
if not exist "%sys32%\regsvr32.exe" set "sys64="
if not exist "%sys32%\regsvr32.exe" set "sys32=%SystemRoot%\System32"
if defined sys64 call :each "%sys64%" "%here%"
if errorlevel 1 goto failed
call :each "%sys32%" "%here%\x86"
if errorlevel 1 goto failed
if defined sys64 echo register: done: the x86-64 DLLs with %sys64%\regsvr32.exe, the 32-bit DLLs with %sys32%\regsvr32.exe
if not defined sys64 echo register: done: the 32-bit DLLs with %sys32%\regsvr32.exe
exit /b 0
:failed
echo register: regsvr32 %flag% failed: run this script as administrator, from the unpacked bundle
exit /b 1
:each
for %%d in (%order%) do (
    "%~1\regsvr32.exe" /s %flag% "%~2\%%d.dll"
    if errorlevel 1 exit /b 1
)
exit /b 0
EOF
fi

cat >"$stage/INSTALL.txt" <<EOF
pelkary 2.3 (build $version) - installing the automation server for the local mail store

Contents of this folder
  pelkary.dll     the automation server (PELKARY.MXFolderManager, PELKARY.MXFolder,
                  PELKARY.MXMessage)
  mailstore.dll   the mail store that pelkary works on
  mimelib.dll     the MIME object library that pelkary reads and writes messages with
$( [ $has_tool = yes ] && echo "  mxstore.exe     the store tool: list, import (.eml, mbox) and export mail" || true)
$( [ $has32 = yes ] && printf '%s\n' "  x86/            the same DLLs (and store tool) for 32-bit programs" \
    "  register.cmd    registers both sets on Windows, each where it belongs" || true)
  docs/reference.md   every class, method, result, error and event, for script authors
  sdk/            for C and C++ clients: include/pelkary.h (the interfaces), lib/pelkary_i.c
                  (their ids, compiled with the client) and lib/pelkary.tlb (the type library);
                  samples/listener/README.md shows a program built with it
  samples/        sample scripts (samples/README.md says what each does and how to run it)
  scripts/        the install command for Wine (register.sh, with its helper wine.sh)

$( if [ $has32 = yes ]; then cat <<'TEXT'
The DLLs at the top of this folder are 64-bit (x86-64) Windows DLLs, those in x86/ 32-bit ones.
A program loads the DLLs of its own kind: a 64-bit script host (C:\Windows\System32\cscript.exe
on 64-bit Windows) the x86-64 ones, a 32-bit host (C:\Windows\SysWOW64\cscript.exe, a 32-bit
mail client's add-in, a 32-bit Office macro) the 32-bit ones. Register both and every host works;
the two sets share one mail store. Keep this folder where it is after registering (registration
records the full path of each DLL).
TEXT
else cat <<'TEXT'
The DLLs are 64-bit (x86-64) Windows DLLs. They must stay in one folder: keep this folder where
it is after registering (registration records the full path of each DLL).
TEXT
fi )

On Windows
  1. Copy this folder to its final place, for example C:\Program Files\pelkary.
$( if [ $has32 = yes ]; then cat <<'TEXT'
  2. Open a command prompt as administrator in that folder and run
         register.cmd
     It registers the x86-64 DLLs with the 64-bit regsvr32 (C:\Windows\System32) and the
     32-bit DLLs of x86\ with the 32-bit one (C:\Windows\SysWOW64), each set in the order
     mimelib.dll, mailstore.dll, pelkary.dll; on 32-bit Windows only the 32-bit set. By hand,
     for the x86-64 set:
TEXT
else cat <<'TEXT'
  2. Open a command prompt as administrator in that folder and register the three DLLs,
     in this order:
TEXT
fi )
         regsvr32 mimelib.dll
         regsvr32 mailstore.dll
         regsvr32 pelkary.dll
$( if [ $has32 = yes ]; then cat <<'TEXT'
     and for the 32-bit set the same in x86\ with C:\Windows\SysWOW64\regsvr32.
TEXT
else cat <<'TEXT'
     (On 64-bit Windows this is the 64-bit regsvr32 of C:\Windows\System32.)
TEXT
fi )
  3. Check with a one-line script:
         echo WScript.Echo CreateObject("PELKARY.MXFolderManager").GetInboxFolder().Name() > check.vbs
         cscript //nologo check.vbs
     It prints "Inbox".$( [ $has32 = yes ] && printf '\n%s' '     C:\Windows\SysWOW64\cscript //nologo check.vbs checks the 32-bit set.' || true)
  To uninstall, unregister in the reverse order, then delete the folder:
         regsvr32 /u pelkary.dll
         regsvr32 /u mailstore.dll
         regsvr32 /u mimelib.dll
$( [ $has32 = yes ] && echo "  (register.cmd /u does that for both sets.)" || true)

With Wine (64-bit prefix)
  Register into a prefix of your own (it is created when it does not exist yet):
         scripts/register.sh --prefix ~/my-prefix .
  (run in this folder; '.' is the folder that holds the DLLs$( [ $has32 = yes ] && printf '%s\n%s' "; the 32-bit set of x86/ is" "  registered too, with the prefix's 32-bit regsvr32, where 32-bit Wine is installed" || true)). Unregister with:
         scripts/register.sh --unregister --prefix ~/my-prefix .
$( [ $has32 = yes ] && echo "  (--arch x86_64 or --arch i686 picks one set.)" || true)
  Then run scripts with:
         WINEPREFIX=~/my-prefix /usr/lib/wine/wine64 cscript //nologo myscript.vbs
$( [ $has32 = yes ] && printf '%s\n' "  or, with the 32-bit script host and DLLs:" \
    "         WINEPREFIX=~/my-prefix /usr/lib/wine/wine64 'C:\windows\syswow64\cscript.exe' //nologo myscript.vbs" || true)

Where the mail store lives
  The folder named by the environment variable MAILSTORE_DIR (a Windows path, Z:\... under
  Wine); else the registry value "Store Root" of HKEY_CURRENT_USER\Software\Pelkary\Mail Store;
  else a folder "Mail Store" in the user's local application data. A new store is made on first
  use with the folders Inbox, Outbox, Sent Items, Deleted Items and Drafts.
$( [ $has_tool = yes ] && printf '%s\n' "  Import your mail with the store tool (mxstore.exe, run without arguments for its usage)." || true)

Sending
  MXMessage.Send puts messages into the Outbox stamped with the current user's default mail
  account; see section 10 of docs/reference.md for the two registry values it needs.
EOF

(cd "$staging" && rm -f pelkary-bundle.zip && zip -qr -X pelkary-bundle.zip pelkary-bundle) ||
    fail "zip could not write the archive in $staging"
rm -rf "$bundle" "$zipfile" || fail "cannot replace the old bundle in $out: close programs that use it and run again"
mv "$stage" "$bundle"
mv "$staging/pelkary-bundle.zip" "$zipfile"
echo "bundle: $bundle"
echo "bundle: $zipfile"
