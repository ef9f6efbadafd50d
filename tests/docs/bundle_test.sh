#!/usr/bin/env bash
# Assembles the release bundle from a finished build (scripts/bundle.sh --no-build) into a
# temporary folder and checks what a user receives; and checks that the install and bundle
# commands refuse bad input with one line that says what to do.
#   tests/docs/bundle_test.sh BUILD_DIR
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:?usage: bundle_test.sh BUILD_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
