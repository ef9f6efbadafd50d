#!/usr/bin/env bash
# The pelkary demo, from a fresh machine to a script reading a mail store:
#   1. installs what the build needs (scripts/setup.sh),
#   2. cross-builds pelkary.dll, the platform stand-ins and the store tool, and the three DLLs
#      for 32-bit Windows too where 32-bit Wine is installed,
#   3. starts Wine and registers mimelib.dll, mailstore.dll and pelkary.dll (both sets side by side),
#   4. fills a sample store from samples/demo/store (the .eml files of Inbox/ go to the Inbox,
#      each NAME.mbox to a folder NAME) with the store tool mxstore.exe,
#   5. runs samples/demo/demo.vbs against that store with the 32-bit script host when the 32-bit
#      side is there (the classic setting: most script hosts are 32-bit), else with the 64-bit one,
#      and says which it used,
#   6. shows the 64-bit listener sample hearing a second process (the 32-bit store tool when the
#      32-bit side is there) deliver two messages,
#   7. stops Wine (also when a step fails).
# Environment: PELKARY_BUILD (default: <repo>/build) is the build tree and holds the Wine prefix
# and the demo store (demo-store/).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PELKARY_BUILD=${PELKARY_BUILD:-$repo/build}
case $PELKARY_BUILD in /*) ;; *) PELKARY_BUILD=$repo/$PELKARY_BUILD ;; esac
wine_sh=$repo/scripts/wine.sh
samples=$repo/samples/demo

step() { printf '\n== %s\n' "$*"; }

step "Checking the packages the build needs (scripts/setup.sh)"
"$repo/scripts/setup.sh"

step "Building pelkary.dll, mailstore.dll, mimelib.dll and mxstore.exe (cross build into $PELKARY_BUILD)"
"$repo/scripts/build.sh" cross
if why32=$("$wine_sh" has32); then
    step "Building the 32-bit pelkary.dll, mailstore.dll, mimelib.dll and mxstore.exe (into $PELKARY_BUILD-i686)"
    PELKARY_TARGETS="mimelib mailstore pelkary mxstore" "$repo/scripts/build.sh" i686
    host_arch=i686
    host_name="the 32-bit script host (C:\\windows\\syswow64\\cscript.exe) and the 32-bit DLLs"
else
    host_arch=x86_64
    host_name="the 64-bit script host and the x86-64 DLLs (no 32-bit side: $why32)"
fi

step "Starting Wine (prefix $PELKARY_BUILD/wineprefix)"
trap 'step "Stopping Wine"; "$wine_sh" stop' EXIT
"$wine_sh" start

step "Registering the COM servers in the prefix"
"$repo/scripts/register.sh" --arch "$([ $host_arch = i686 ] && echo both || echo x86_64)" "$PELKARY_BUILD"

store=$PELKARY_BUILD/demo-store
rm -rf "$store"
mkdir -p "$store"
MAILSTORE_DIR=$("$wine_sh" winpath "$store")
export MAILSTORE_DIR
step "Filling a sample store in $store from samples/demo/store"
mxstore=$PELKARY_BUILD/bin/mxstore.exe
if [ -f "$mxstore" ]; then
    shopt -s nullglob
    emls=("$samples"/store/Inbox/*.eml)
    if [ ${#emls[@]} -gt 0 ]; then
        echo "importing ${#emls[@]} messages into Inbox"
        win=()
        for f in "${emls[@]}"; do win+=("$("$wine_sh" winpath "$f")"); done
        "$wine_sh" run "$mxstore" import Inbox "${win[@]}"
    fi
    for mbox in "$samples"/store/*.mbox; do
        folder=$(basename "$mbox" .mbox)
        echo "importing $(basename "$mbox") into a new folder $folder"
        "$wine_sh" run "$mxstore" mkdir "$folder"
        "$wine_sh" run "$mxstore" import "$folder" "$("$wine_sh" winpath "$mbox")" --read
    done
    echo "the store now holds:"
    "$wine_sh" run "$mxstore" folders
else
    echo "skipped: $mxstore is not built, so the demo runs on an empty store"
fi

step "Running samples/demo/demo.vbs with $host_name"
PELKARY_ARCH=$host_arch "$wine_sh" cscript "$samples/demo.vbs"

listener=$PELKARY_BUILD/bin/listener.exe
# With the 32-bit side there, a 32-bit process delivers and the 64-bit listener hears it: the two
# architectures share one store, events included.
deliverer=$mxstore from="mxstore import"
if [ $host_arch = i686 ] && [ -f "$PELKARY_BUILD-i686/bin/mxstore.exe" ]; then
    deliverer=$PELKARY_BUILD-i686/bin/mxstore.exe from="the 32-bit mxstore import"
fi
if [ -f "$listener" ] && [ -f "$mxstore" ]; then
    step "Events: the 64-bit listener (samples/listener) hears a second process deliver two messages"
    heard=$(mktemp)
    "$wine_sh" run "$listener" --seconds 60 --exit-after-new 2 >"$heard" 2>&1 &
    listening=$!
    # The listener's session first records the last message of every folder; mail that arrives
    # during that scan counts as already seen, so wait until it says it is listening.
    for _ in $(seq 1 300); do
        grep -q listening "$heard" && break
        sleep 0.1
    done
    sleep 1
    for f in "$samples"/arriving/*.eml; do
        echo "delivering $(basename "$f") into the Inbox from another process ($from)"
        "$wine_sh" run "$deliverer" import Inbox "$("$wine_sh" winpath "$f")" >/dev/null
    done
    wait "$listening" || true
    echo "what the listener heard:"
    sed 's/^/  /' "$heard"
    rm -f "$heard"
fi
