#!/usr/bin/env bash
# Builds pelkary (cross build) and assembles a release bundle that a user takes to a machine of
# their own: the three DLLs, the store tool, the SDK, the samples, the reference, the install steps.
#
#   scripts/bundle.sh [--no-build] [--build DIR] [--out DIR]
#
#   --no-build   assemble from what DIR/bin already holds, without building first
#   --build DIR  the cross build tree (default: $PELKARY_BUILD, else <repo>/build)
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

if [ $build_first = 1 ]; then
    # What the bundle holds, not the tests: a configured tree builds just those targets.
    if [ -f "$build/build.ninja" ]; then
        targets=(mimelib mailstore pelkary)
        for optional in mxstore listener; do
            ninja -C "$build" -t targets all 2>/dev/null | grep -q "^$optional:" && targets+=("$optional")
        done
        cmake --build "$build" -j "${PELKARY_JOBS:-$(nproc)}" --target "${targets[@]}"
    else
        PELKARY_BUILD=$build "$repo/scripts/build.sh" cross
    fi || fail "the cross build failed (see the messages above); fix it, or assemble what is built with --no-build"
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

cat >"$stage/INSTALL.txt" <<EOF
pelkary 2.3 (build $version) - installing the automation server for the local mail store

Contents of this folder
  pelkary.dll     the automation server (PELKARY.MXFolderManager, PELKARY.MXFolder,
                  PELKARY.MXMessage)
  mailstore.dll   the mail store that pelkary works on
  mimelib.dll     the MIME object library that pelkary reads and writes messages with
$( [ $has_tool = yes ] && echo "  mxstore.exe     the store tool: list, import (.eml, mbox) and export mail" || true)
  docs/reference.md   every class, method, result, error and event, for script authors
  sdk/            for C and C++ clients: include/pelkary.h (the interfaces), lib/pelkary_i.c
                  (their ids, compiled with the client) and lib/pelkary.tlb (the type library);
                  samples/listener/README.md shows a program built with it
  samples/        sample scripts (samples/README.md says what each does and how to run it)
  scripts/        the install command for Wine (register.sh, with its helper wine.sh)

The DLLs are 64-bit (x86-64) Windows DLLs. They must stay in one folder: keep this folder where
it is after registering (registration records the full path of each DLL).

On Windows
  1. Copy this folder to its final place, for example C:\Program Files\pelkary.
  2. Open a command prompt as administrator in that folder and register the three DLLs,
     in this order:
         regsvr32 mimelib.dll
         regsvr32 mailstore.dll
         regsvr32 pelkary.dll
     (On 64-bit Windows this is the 64-bit regsvr32 of C:\Windows\System32.)
  3. Check with a one-line script:
         echo WScript.Echo CreateObject("PELKARY.MXFolderManager").GetInboxFolder().Name() > check.vbs
         cscript //nologo check.vbs
     It prints "Inbox".
  To uninstall, unregister in the reverse order, then delete the folder:
         regsvr32 /u pelkary.dll
         regsvr32 /u mailstore.dll
         regsvr32 /u mimelib.dll

With Wine (64-bit prefix)
  Register into a prefix of your own (it is created when it does not exist yet):
         scripts/register.sh --prefix ~/my-prefix .
  (run in this folder; '.' is the folder that holds the DLLs). Unregister with:
         scripts/register.sh --unregister --prefix ~/my-prefix .
  Then run scripts with:
         WINEPREFIX=~/my-prefix /usr/lib/wine/wine64 cscript //nologo myscript.vbs

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
