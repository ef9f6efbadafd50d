#!/usr/bin/env bash
# The store tool's commands end to end, as a user runs them under Wine on a fresh store: folder
# paths (mkdir -p, an escaped "/", digit names against "#ID"), rm and mv, line ends on import and
# export, the refusal of files that are not mail, one-line failures with their exit codes, and
# sources that cannot be read or written whole.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
export PELKARY_BUILD=$build TZ=UTC LC_ALL=C
wine=$repo/scripts/wine.sh
mkdir -p "$build/tool-tests"
work=$(mktemp -d "$build/tool-tests/mxstore.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/store"
store=$("$wine" winpath "$work/store")
w() { "$wine" winpath "$work/$1"; }

fail() { echo "FAIL: $*" >&2; sed 's/^/  | /' "$work/out" "$work/err" >&2; exit 1; }

# mx RC [TEXT] -- ARGS...: runs the tool; expects exit code RC and, on failure, one line on
# standard error that contains TEXT (on success, nothing there). Output goes to $work/out.
mx() {
    local want=$1 text='' rc=0; shift
    [ "$1" = -- ] || { text=$1; shift; }
    shift
    "$wine" run "$build/bin/mxstore.exe" --store "$store" "$@" </dev/null >"$work/out.raw" 2>"$work/err.raw" || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"; tr -d '\r' <"$work/err.raw" >"$work/err"
    [ "$rc" = "$want" ] || fail "mxstore $*: exit code $rc, expected $want"
    if [ "$want" = 0 ]; then [ ! -s "$work/err" ] || fail "mxstore $*: wrote to stderr"; return 0; fi
    [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^mxstore: .*$text" "$work/err" ||
        fail "mxstore $*: not one line with '$text'"
}
count() { mx 0 -- list "$1"; [ "$(wc -l <"$work/out")" = "$2" ] || fail "$1 holds $(wc -l <"$work/out"), not $2"; }
id_of() { mx 0 -- folders; awk -v n="$1" '$1 == n { gsub(/\)/, "", $NF); print $NF }' "$work/out"; }

printf 'Subject: lf\nDate: Mon, 01 Jan 2024 00:00:00 +0000\n\nFrom the start\n' >"$work/lf.eml"
printf 'Subject: crlf\r\n\r\nbare\nLF kept\r\n' >"$work/crlf.eml"
printf 'From MAILER-DAEMON Mon Jan  1 00:00:00 2024\nSubject: one\nDate: Mon, 01 Jan 2024 00:00:00 +0000\n\n>From quoted\n\nFrom MAILER-DAEMON Tue Jan  2 00:00:00 2024\nSubject: two\nDate: Tue, 02 Jan 2024 00:00:00 +0000\n\nbody\n\n' >"$work/lf.mbox"
printf 'shopping list\nmilk\n' >"$work/notes.txt"

# Usage errors: one line, exit code 2, before the store is touched.
mx 2 'usage: mxstore list' -- list
mx 2 "no command 'frobnicate'" -- frobnicate
mx 2 'no option -x' -- rm -x Inbox
mx 2 "'abc' is not a message id" -- cat Inbox abc
mx 2 'usage: mxstore export' -- export Inbox --mbox a --eml b
mx 2 '-r is for folders' -- rm -r Inbox 1

# Folders: -p creates parents, "\/" is a slash in a name, a name of digits wins over an id.
mx 1 'use mkdir -p' -- mkdir 'A/B\/C'
mx 0 -- mkdir -p 'A/B\/C'
mx 1 "'a/b.*' already exists" -- mkdir 'a/b\/c'
mx 0 -- mkdir -p 'A/B\/C'
mx 0 -- folders; grep -q '^    B/C ' "$work/out" || fail "no folder B/C under A"
inbox=$(id_of Inbox)
mx 0 -- mkdir "$inbox"
mx 0 -- import Inbox "$(w lf.eml)"
count "$inbox" 0                       # the folder named like the Inbox's id
count "#$inbox" 1                      # the Inbox itself
count "$(id_of A)" 0                   # a number that is no name is still an id
mx 1 "no folder '#999'" -- list '#999'

# Import: LF made CRLF, CRLF and --keep-line-ends stored as read; what is not mail is refused.
mx 0 -- cat Inbox 1; cmp -s "$work/out.raw" <(sed 's/$/\r/' "$work/lf.eml") || fail "LF not stored as CRLF"
mx 0 -- import 'A/B\/C' "$(w crlf.eml)" "$(w lf.eml)" --keep-line-ends
mx 0 -- cat 'A/B\/C' 1; cmp -s "$work/out.raw" "$work/crlf.eml" || fail "CRLF input changed"
mx 0 -- cat 'A/B\/C' 2; cmp -s "$work/out.raw" "$work/lf.eml" || fail "--keep-line-ends changed the input"
mx 1 "notes.txt' is not mail.*--force" -- import Inbox "$(w lf.eml)" "$(w notes.txt)"
count Inbox 1
mx 0 -- import Inbox "$(w notes.txt)" --force
count Inbox 2

# Export: an LF mbox comes back as it went in; --crlf gives CR LF; --eml the stored bytes.
mx 0 -- mkdir Box
mx 0 -- import Box "$(w lf.mbox)"
mx 0 -- export Box --mbox "$(w out.mbox)"; cmp -s "$work/out.mbox" "$work/lf.mbox" || fail "mbox round trip"
mx 0 -- export Box --mbox "$(w crlf.mbox)" --crlf
cmp -s "$work/crlf.mbox" <(sed 's/$/\r/' "$work/lf.mbox") || fail "--crlf export"
mx 0 -- export 'A/B\/C' --eml "$(w eml)"; cmp -s "$work/eml/2.eml" "$work/lf.eml" || fail "--eml export"

# rm and mv.
mx 1 'special folder' -- rm Inbox
mx 1 'holds 2 messages and 0 folders; add -r' -- rm Box
mx 1 "no message 9 in 'Box'" -- rm Box 1 9
count Box 2
mx 0 -- rm Box 1
count Box 1
count 'Deleted Items' 1
mx 0 -- mv Box 2 Inbox
count Box 0; count Inbox 3
mx 1 'into a folder inside it' -- mv A 'A/B\/C'
mx 0 -- mv 'A/B\/C' A/D                 # a rename
count A/D 2
mx 0 -- mv A/D /                        # to the top
count D 2
mx 1 "no folder 'X' to move" -- mv D X/Y
mx 0 -- rm Box
mx 0 -- rm -r D
mx 0 -- rm A
mx 0 -- folders; ! grep -qE '^  (A|Box|D) ' "$work/out" || fail "A, Box or D still there"

# A source that cannot be written whole, or read whole (a flipped byte fails its checksum), fails
# the command with a line naming the message.
LC_ALL=C "$wine" run "$build/bin/mxstore.exe" --store "$store" cat Inbox 1 >/dev/full 2>"$work/err" &&
    fail "cat into a full disk succeeded"
grep -q "cannot write message 1 of 'Inbox'" "$work/err" || fail "cat into a full disk: $(cat "$work/err")"
mx 1 "cannot write 'Z:.dev.full' whole" -- export Inbox --mbox 'Z:\dev\full'
printf 'Subject: flipped\r\n\r\nthe-flipped-body\r\n' >"$work/flip.eml"
mx 0 -- mkdir Flip
mx 0 -- import Flip "$(w flip.eml)"
offset=$(grep -obaF the-flipped-body "$work/store/messages.dat" | cut -d: -f1)
printf X | dd of="$work/store/messages.dat" bs=1 seek="$offset" conv=notrunc status=none
mx 1 "cannot read message 1 of 'Flip'" -- cat Flip 1
mx 1 "cannot read message 1 of 'Flip'" -- export Flip --eml "$(w flip)"
echo "mxstore commands: all passed"
