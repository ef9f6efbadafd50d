#!/usr/bin/env bash
# Assembles the release bundle from a finished build (scripts/bundle.sh --no-build) into a
# temporary folder and checks what a user receives; registers both of its DLL sets side by side in
# a prefix of its own (with the bundle's register.cmd, run by Wine's cmd) and checks that each
# script host loads its own and that unregistering one set leaves the other working; and checks
# that the install and bundle commands refuse bad input with one line that says what to do.
#   tests/docs/bundle_test.sh BUILD_DIR      (BUILD_DIR-i686 is the 32-bit sibling)
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:?usage: bundle_test.sh BUILD_DIR}
work=$(mktemp -d)
trap 'WINEPREFIX=$work/sbs "$repo/scripts/wine.sh" stop; rm -rf "$work"' EXIT
failures=0
check() {  # description, command...
    local what=$1; shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}

# --- a bundle from the real build
"$repo/scripts/bundle.sh" --no-build --build "$build" --out "$work/out" >"$work/log" 2>&1
status=$?
check "assembly succeeds" test $status -eq 0
bundle=$work/out/pelkary-bundle
for dll in mimelib.dll mailstore.dll pelkary.dll; do
    check "$dll is the built one" cmp -s "$build/bin/$dll" "$bundle/$dll"
done
if [ -f "$build/bin/mxstore.exe" ]; then
    check "the store tool is included" cmp -s "$build/bin/mxstore.exe" "$bundle/mxstore.exe"
else
    check "no store tool when none was built" test ! -e "$bundle/mxstore.exe"
fi
if [ -f "$build/bin/listener.exe" ]; then
    check "the event listener program is included" cmp -s "$build/bin/listener.exe" "$bundle/samples/listener/listener.exe"
fi
if [ -f "$build-i686/bin/pelkary.dll" ]; then
    for f in mimelib.dll mailstore.dll pelkary.dll mxstore.exe; do
        check "x86/$f is the 32-bit one" cmp -s "$build-i686/bin/$f" "$bundle/x86/$f"
    done
else
    echo "skip the 32-bit DLLs: $build-i686 is not built (scripts/build.sh i686), the bundle is x86-64 only"
    check "no x86/ folder and no register.cmd without them" test ! -e "$bundle/x86" -a ! -e "$bundle/register.cmd"
fi
for f in include/pelkary.h lib/pelkary_i.c lib/pelkary.tlb; do
    check "the SDK's $f is the built one" cmp -s "$build/generated/${f#*/}" "$bundle/sdk/$f"
done
"$repo/scripts/register.sh" --sdk "$work/sdk" "$bundle" >/dev/null
check "register.sh --sdk installs the bundle's SDK" diff -r "$bundle/sdk" "$work/sdk"
check "the reference is included" cmp -s "$repo/docs/reference.md" "$bundle/docs/reference.md"
check "the Wine install command is included" test -x "$bundle/scripts/register.sh" -a -x "$bundle/scripts/wine.sh"
if [ -d "$repo/samples" ]; then
    missing=$(cd "$repo" && find samples -type f ! -name CMakeLists.txt | while read -r f; do
        cmp -s "$f" "$bundle/$f" || echo "$f"; done)
    check "every sample source is included${missing:+ (missing: $missing)}" test -z "$missing"
    check "no build files among the samples" test -z "$(find "$bundle/samples" -name CMakeLists.txt 2>/dev/null)"
fi

install=$bundle/INSTALL.txt
order=$(grep -o 'regsvr32 [a-z]*\.dll' "$install" | tr '\n' ' ')
check "Windows registers mimelib, mailstore, pelkary in that order" \
    test "$order" = "regsvr32 mimelib.dll regsvr32 mailstore.dll regsvr32 pelkary.dll "
unorder=$(grep -o 'regsvr32 /u [a-z]*\.dll' "$install" | tr '\n' ' ')
check "Windows unregisters with /u, pelkary first" \
    test "$unorder" = "regsvr32 /u pelkary.dll regsvr32 /u mailstore.dll regsvr32 /u mimelib.dll "
check "the Wine steps name register.sh with --prefix" grep -q 'scripts/register.sh --prefix' "$install"
check "the Wine steps show how to unregister" grep -q 'scripts/register.sh --unregister --prefix' "$install"

# --- both sets side by side in one prefix, registered as a user does
# inbox ARCH: what the script host of ARCH prints for the Inbox's name, in a fresh store.
inbox() {
    WINEPREFIX=$work/sbs PELKARY_ARCH=$1 "$repo/scripts/wine.sh" cscript "$work/check.vbs" 2>&1 | tr -d '\r'
}
if [ ! -e "$bundle/register.cmd" ]; then
    echo "skip side-by-side registration: the bundle has no 32-bit DLLs"
elif ! why=$("$repo/scripts/wine.sh" has32); then
    echo "skip side-by-side registration: $why"
else
    printf 'On Error Resume Next\r\nSet m = CreateObject("PELKARY.MXFolderManager")\r\nIf Err.Number <> 0 Then WScript.Echo "error " & Err.Number Else WScript.Echo m.GetInboxFolder().Name()\r\n' >"$work/check.vbs"
    mkdir "$work/sbs"
    WINEPREFIX=$work/sbs "$repo/scripts/wine.sh" start
    (cd "$bundle" && WINEPREFIX=$work/sbs /usr/lib/wine/wine64 cmd /c register.cmd) >"$work/cmd.log" 2>&1
    check "register.cmd registers both sets" grep -q 'done: the x86-64 DLLs with .*, the 32-bit DLLs with' "$work/cmd.log"
    check "the 64-bit host works" test "$(inbox x86_64)" = Inbox
    check "the 32-bit host works" test "$(inbox i686)" = Inbox
    # Each view holds its own set's path: a host of one kind never loads the other's DLL.
    for view in 64 32; do
        WINEPREFIX=$work/sbs /usr/lib/wine/wine64 reg query \
            'HKCR\CLSID\{2781D6B0-B9B0-44B5-9142-34D1708EF169}\InprocServer32' /ve /reg:$view 2>/dev/null |
            tr -d '\r' >"$work/view$view"
    done
    check "the 64-bit view names the top's pelkary.dll" grep -qi 'pelkary-bundle\\pelkary.dll' "$work/view64"
    check "the 32-bit view names x86\\pelkary.dll" grep -qi 'pelkary-bundle\\x86\\pelkary.dll' "$work/view32"
    "$bundle/scripts/register.sh" --unregister --arch i686 --prefix "$work/sbs" "$bundle" >/dev/null
    check "unregistering the 32-bit set leaves the 64-bit host working" test "$(inbox x86_64)" = Inbox
    check "... and the 32-bit host without the class (error 429)" test "$(inbox i686)" = "error 429"
    # The interface keys are one for both views; the 64-bit registration still needs them.
    check "... and the interface keys that both share" \
        env WINEPREFIX="$work/sbs" /usr/lib/wine/wine64 reg query 'HKCR\Interface\{5E618993-2E2C-4DCE-9B42-A02467F8E800}' /reg:64 >/dev/null 2>&1
    "$bundle/scripts/register.sh" --arch i686 --prefix "$work/sbs" "$bundle" >/dev/null
    "$bundle/scripts/register.sh" --unregister --arch x86_64 --prefix "$work/sbs" "$bundle" >/dev/null
    check "unregistering the 64-bit set leaves the 32-bit host working" test "$(inbox i686)" = Inbox
    check "... and the 64-bit host without the class (error 429)" test "$(inbox x86_64)" = "error 429"
    WINEPREFIX=$work/sbs "$repo/scripts/wine.sh" stop
fi

zipped=$(cd "$work/out" && unzip -Z1 pelkary-bundle.zip | grep -v '/$' | sort)
folder=$(cd "$work/out" && find pelkary-bundle -type f | sort)
check "the zip holds exactly the folder's files" test "$zipped" = "$folder"

# Assembling again replaces the bundle and leaves no staging folder behind.
echo stale >"$bundle/stale.txt"
"$repo/scripts/bundle.sh" --no-build --build "$build" --out "$work/out" >/dev/null 2>&1
check "a second assembly replaces the old bundle" test ! -e "$bundle/stale.txt" -a -f "$bundle/pelkary.dll"
check "no staging folder is left" test -z "$(find "$work/out" -maxdepth 1 -name '.pelkary-bundle.*')"

# --- refusals: one line that says what to do, and nothing half-made
mkdir -p "$work/empty/bin"
"$repo/scripts/bundle.sh" --no-build --build "$work/empty" --out "$work/none" 2>"$work/err" >/dev/null
status=$?
check "a build without the DLLs is refused" test $status -eq 1
check "... with one line naming the missing DLL" \
    test "$(wc -l <"$work/err")" -eq 1 -a -n "$(grep 'mimelib.dll not found' "$work/err")"
check "... and no bundle" test ! -e "$work/none/pelkary-bundle" -a ! -e "$work/none/pelkary-bundle.zip"
"$repo/scripts/bundle.sh" --bogus >/dev/null 2>"$work/err"
status=$?
check "a wrong argument prints usage" test $status -eq 2 -a -n "$(grep '^usage: scripts/bundle.sh' "$work/err")"

"$repo/scripts/register.sh" --prefix "$work/prefix" "$work/empty" >/dev/null 2>"$work/err"
status=$?
check "register.sh refuses a folder without the DLLs" test $status -eq 1 -a "$(wc -l <"$work/err")" -eq 1
check "... before a prefix is made" test ! -e "$work/prefix"
"$repo/scripts/register.sh" --sdk "$work/no-sdk" "$work/empty" >/dev/null 2>"$work/err"
status=$?
check "register.sh --sdk refuses a folder without the SDK, in one line" \
    test $status -eq 1 -a "$(wc -l <"$work/err")" -eq 1 -a ! -e "$work/no-sdk"
"$repo/scripts/register.sh" --prefix >/dev/null 2>"$work/err"
status=$?
check "register.sh with a wrong argument prints usage" test $status -eq 2 -a -n "$(grep '^usage:' "$work/err")"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed; assembly log:"
    cat "$work/log"
    exit 1
fi
