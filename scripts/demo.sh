#!/usr/bin/env bash
# The pelkary demo, from a fresh machine to a script reading a mail store:
#   1. installs what the build needs (scripts/setup.sh),
#   2. cross-builds pelkary.dll, the platform stand-ins and the store tool,
#   3. starts Wine and registers mimelib.dll, mailstore.dll and pelkary.dll,
#   4. fills a sample store from samples/demo/store (the .eml files of Inbox/ go to the Inbox,
#      each NAME.mbox to a folder NAME) with the store tool mxstore.exe,
#   5. runs samples/demo/demo.vbs with cscript against that store,
#   6. stops Wine (also when a step fails).
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

step "Starting Wine (prefix $PELKARY_BUILD/wineprefix)"
trap 'step "Stopping Wine"; "$wine_sh" stop' EXIT
"$wine_sh" start

step "Registering the COM servers in the prefix"
"$repo/scripts/register.sh" "$PELKARY_BUILD"

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

step "Running samples/demo/demo.vbs with cscript"
"$wine_sh" cscript "$samples/demo.vbs"

listener=$PELKARY_BUILD/bin/listener.exe
if [ -f "$listener" ] && [ -f "$mxstore" ]; then
    step "Events: the listener (samples/listener) hears a second process deliver two messages"
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
        echo "delivering $(basename "$f") into the Inbox from another process (mxstore import)"
        "$wine_sh" run "$mxstore" import Inbox "$("$wine_sh" winpath "$f")" >/dev/null
    done
    wait "$listening" || true
    echo "what the listener heard:"
    sed 's/^/  /' "$heard"
    rm -f "$heard"
fi
