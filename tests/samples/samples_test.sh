#!/usr/bin/env bash
# Runs the samples of samples/ the way a user does — Wine's cscript, a store filled by mxstore.exe
# — and checks what they did: their output, the files they wrote (byte for byte, against Python's
# own MIME parser) and the store's contents as mxstore.exe lists them.
#
#   tests/samples/samples_test.sh CASE
#
# CASE: list_tree, export_eml, save_attachments, archive_older, send_message, empty_store, usage,
# rules, listener, find, report.
# Each case works in a fresh store in a temporary directory under the build tree and removes it.
# Wine's cscript exits 0 when a script stops on a runtime error, so every successful run must
# end with the sample's "done: ..." line.
set -Eeuo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${PELKARY_BUILD:-$repo/build}
case $build in /*) ;; *) build=$repo/$build ;; esac
export PELKARY_BUILD=$build
wine=$repo/scripts/wine.sh
mxstore=$build/bin/mxstore.exe
data=$repo/samples/data
check="python3 $repo/tests/samples/mail_check.py"
# Dates in the samples are compared in UTC; keep the Wine clock's zone out of the results. The
# tools here compare bytes (LC_ALL=C); the Windows programs keep the caller's locale, which gives
# them their code page, and hand over their raw bytes.
wine_locale=${LC_ALL:-${LC_CTYPE:-${LANG:-C}}}
export TZ=UTC LC_ALL=C
wine_sh() { LC_ALL= LC_CTYPE= LANG=$wine_locale PELKARY_RAW_OUTPUT=1 "$wine" "$@"; }

[ $# -eq 1 ] || { echo "usage: $0 CASE" >&2; exit 2; }
test_case=$1
mkdir -p "$build/sample-tests"
work=$(mktemp -d "$build/sample-tests/$test_case.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/store"

winpath() { "$wine" winpath "$1"; }  # no Windows program
export MAILSTORE_DIR=$(winpath "$work/store")

# A command that stops the case through set -e says which one, so no failure is silent.
trap 'echo "FAIL ($test_case): line $LINENO: \"$BASH_COMMAND\" exited $?" >&2' ERR

fail() {
    echo "FAIL ($test_case): $*" >&2
    if [ -f "$work/out" ]; then
        echo "  the sample printed:" >&2
        sed 's/^/  | /' "$work/out" >&2
    fi
    exit 1
}

mx() {  # mxstore.exe ARGS...: its output without carriage returns
    wine_sh run "$mxstore" "$@" </dev/null | tr -d '\r'
}

# sample NAME ARGS...: runs samples/NAME (NAME.vbs when it has no extension); its output (without
# carriage returns) goes to $work/out, its exit code to $rc.
sample() {
    local name=$1; shift
    case $name in *.*) ;; *) name=$name.vbs ;; esac
    rc=0
    wine_sh cscript "$repo/samples/$name" "$@" </dev/null >"$work/out.raw" 2>"$work/err" || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
}

expect_rc() { [ "$rc" = "$1" ] || fail "exit code $rc, expected $1"; }
expect_last() { [ "$(tail -n 1 "$work/out")" = "$1" ] || fail "last line is not: $1"; }
expect_line() { grep -qxF -- "$1" "$work/out" || fail "no line: $1"; }
expect_no_line() { ! grep -qF -- "$1" "$work/out" || fail "unexpected line: $1"; }
expect_same() { cmp -s "$1" "$2" || fail "$(basename "$1") differs from $2"; }
# subjects FOLDER: the subjects of the folder's messages, one a line, sorted.
subjects() { mx list "$1" | cut -c64- | sort; }

# The store most cases start from: five Inbox messages (three with attachments, two without a
# usable date), a mailing list imported from an mbox as read, and nested folders.
fill_store() {
    mx import Inbox "$(winpath "$data/01-welcome.eml")" "$(winpath "$data/02-harbour-trip.eml")" \
        "$(winpath "$data/03-quarterly-report.eml")" "$(winpath "$data/04-no-date.eml")" \
        "$(winpath "$data/05-odd-date.eml")" >/dev/null
    mx mkdir Inbox/Family >/dev/null
    mx import Inbox/Family "$(winpath "$data/01-welcome.eml")" >/dev/null
    mx mkdir Lists >/dev/null
    mx import Lists "$(winpath "$data/dev-list.mbox")" --read >/dev/null
    mx mkdir Lists/Old >/dev/null
    mx mkdir Lists/Old/2019 >/dev/null
    mx mkdir Projects >/dev/null
}

case_list_tree() {
    fill_store
    sample list_tree
    expect_rc 0
    cat >"$work/expected" <<'EOF'
Local Folders
  Inbox (5 messages, 5 unread)
    Family (1 messages, 1 unread)
  Outbox (0 messages, 0 unread)
  Sent Items (0 messages, 0 unread)
  Deleted Items (0 messages, 0 unread)
  Drafts (0 messages, 0 unread)
  Lists (3 messages, 0 unread)
    Old (0 messages, 0 unread)
      2019 (0 messages, 0 unread)
  Projects (0 messages, 0 unread)
done: 10 folders, 9 messages, 6 unread
EOF
    diff -u "$work/expected" "$work/out" >&2 || fail "the tree differs from the store's"
}

case_export_eml() {
    fill_store
    local out=$work/export i
    # A file left by an earlier export: SaveAsFile appends, so the sample must replace it.
    mkdir "$out"
    echo "stale content" >"$out/1.eml"
    sample export_eml Inbox "$(winpath "$out")"
    expect_rc 0
    expect_last "done: exported 5 messages of Inbox to $(winpath "$out")"
    local originals=("$data"/0[1-5]-*.eml)
    for i in 1 2 3 4 5; do
        expect_same "$out/$i.eml" "${originals[$((i - 1))]}"
    done
    [ "$(ls "$out" | wc -l)" = 5 ] || fail "export wrote other files: $(ls "$out")"

    # Again into the same directory: the files are replaced, not appended to.
    sample export_eml inbox "$(winpath "$out")"
    expect_last "done: exported 5 messages of Inbox to $(winpath "$out")"
    for i in 1 2 3 4 5; do
        expect_same "$out/$i.eml" "${originals[$((i - 1))]}"
    done

    # By id (the mbox folder), into a directory that does not exist yet.
    local lists_id
    lists_id=$(mx folders | awk '$1 == "Lists" { gsub(/\)/, "", $NF); print $NF }')
    [ -n "$lists_id" ] || fail "mxstore folders shows no Lists folder"
    sample export_eml "$lists_id" "$(winpath "$work/lists")"
    expect_rc 0
    expect_last "done: exported 3 messages of Lists to $(winpath "$work/lists")"
    for i in 1 2 3; do
        wine_sh run "$mxstore" cat Lists "$i" </dev/null >"$work/cat.eml"
        expect_same "$work/lists/$i.eml" "$work/cat.eml"
    done

    # By a path from the top and by the name of a nested folder; a relative DIR starts at the
    # current directory.
    sample export_eml Lists/Old/2019 "$(winpath "$work/empty")"
    expect_last "done: exported 0 messages of 2019 to $(winpath "$work/empty")"
    (cd "$work" && sample export_eml family relative && expect_rc 0)
    expect_last "done: exported 1 messages of Family to $(winpath "$work/relative")"
    expect_same "$work/relative/1.eml" "$data/01-welcome.eml"

    # Folders that are not there, the root, and a directory whose parent is missing.
    for f in Nope Lists/Nope 0 999; do
        sample export_eml "$f" "$(winpath "$work/nowhere")"
        expect_rc 1
        expect_last "error: no folder '$f' in the store; list_tree.vbs lists them"
    done
    [ ! -e "$work/nowhere" ] || fail "a failed export created its directory"
    sample export_eml Inbox "$(winpath "$work/missing/parent")"
    expect_rc 1
    expect_last "error: cannot create directory $(winpath "$work/missing/parent"); check that its parent exists"
}

case_save_attachments() {
    fill_store
    mx import Inbox "$(winpath "$repo/tests/samples/data/awkward-attachments.eml")" >/dev/null
    local out=$work/deep/attachments
    mkdir "$work/deep"
    local run
    for run in 1 2; do
        sample save_attachments "$(winpath "$out")"
        expect_rc 0
        expect_last "done: saved 7 attachments of 6 messages into $(winpath "$out")"
        # Same names in two messages: the later one is prefixed with its message id. The name
        # with a path is saved inside DIR; a device name and a missing name get made-up names.
        printf '%s\n' 3-notes.txt 6-attachment2.bin 6-attachment3.bin escape.txt figures.csv \
            harbour.png notes.txt >"$work/expected"
        ls "$out" | diff -u "$work/expected" - >&2 || fail "run $run saved other files"
        check_saved "$data/02-harbour-trip.eml" 2 harbour.png
        check_saved "$data/02-harbour-trip.eml" 3 notes.txt
        check_saved "$data/03-quarterly-report.eml" 3 figures.csv
        check_saved "$data/03-quarterly-report.eml" 4 3-notes.txt
        check_saved "$repo/tests/samples/data/awkward-attachments.eml" 2 escape.txt
        check_saved "$repo/tests/samples/data/awkward-attachments.eml" 3 6-attachment2.bin
        check_saved "$repo/tests/samples/data/awkward-attachments.eml" 4 6-attachment3.bin
    done
    [ ! -e "$work/escape.txt" ] && [ ! -e "$work/deep/escape.txt" ] ||
        fail "an attachment name with a path wrote outside DIR"
    expect_line "saved 3-notes.txt  (message 3: Re: Quarterly figures)"

    sample save_attachments "$(winpath "$work/missing/parent")"
    expect_rc 1
    expect_last "error: cannot create directory $(winpath "$work/missing/parent"); check that its parent exists"
}

check_saved() {  # EML INDEX FILE: FILE holds the decoded INDEX-th leaf body of EML
    $check part "$1" "$2" >"$work/expected.bin" || fail "cannot decode part $2 of $1"
    [ -s "$work/expected.bin" ] || fail "part $2 of $1 is empty"
    expect_same "$out/$3" "$work/expected.bin"
}

# A message dated at the UTC second $1, written with the zone text $2 and offset $3 (seconds).
dated_message() {
    local utc=$1 zone=$2 offset=$3 subject=$4
    printf 'From: Test <test@example.org>\r\nSubject: %s\r\nDate: %s %s\r\n\r\nbody\r\n' "$subject" \
        "$(date -u -d "@$((utc + offset))" '+%a, %d %b %Y %H:%M:%S')" "$zone"
}

case_archive_older() {
    fill_store
    local now days=30 cutoff g=$work/generated
    now=$(date -u +%s)
    cutoff=$((now - days * 86400))
    mkdir "$g"
    # Around the cutoff, two hours either side in UTC, written in zones whose offsets would put
    # them on the other side if the zone were ignored or taken with the wrong sign.
    dated_message $((cutoff - 7200)) +0500 18000 "east, two hours before the cutoff" >"$g/1.eml"
    dated_message $((cutoff + 7200)) -0500 -18000 "west, two hours after the cutoff" >"$g/2.eml"
    dated_message $((cutoff + 7200)) EST -18000 "EST, two hours after the cutoff" >"$g/3.eml"
    dated_message $((cutoff - 7200)) PDT -25200 "PDT, two hours before the cutoff" >"$g/4.eml"
    dated_message $((now - 2 * 86400)) +0000 0 "recent" >"$g/5.eml"
    printf 'Subject: thirty-first of April\r\nDate: Mon, 31 Apr 2001 10:00:00 +0000\r\n\r\nx\r\n' >"$g/6.eml"
    printf 'Subject: no day name, no seconds\r\ndate:  5 Mar 2001 08:00 GMT\r\n\r\nx\r\n' >"$g/7.eml"
    local f files=()
    for f in "$g"/*.eml; do files+=("$(winpath "$f")"); done
    mx import Inbox "${files[@]}" >/dev/null

    sample archive_older $days
    expect_rc 0
    expect_line "created folder Archive"
    expect_line "kept 4 (no readable Date): Note to self: renew the parking permit"
    expect_line "kept 5 (no readable Date): Delivery report"
    expect_line "kept 11 (no readable Date): thirty-first of April"
    expect_line "moved 3  1997-11-21 15:55  Re: Quarterly figures"
    expect_line "moved 2  2003-07-01 08:52  Photos from the harbour trip"
    expect_last "done: moved 6 of 12 Inbox messages to Archive, kept 3 without a readable date"
    cat >"$work/expected" <<'EOF'
EST, two hours after the cutoff
Delivery report
Note to self: renew the parking permit
recent
thirty-first of April
west, two hours after the cutoff
EOF
    sort -o "$work/expected" "$work/expected"
    subjects Inbox | diff -u "$work/expected" - >&2 || fail "the Inbox keeps other messages"
    cat >"$work/expected" <<'EOF'
PDT, two hours before the cutoff
Photos from the harbour trip
Re: Quarterly figures
Welcome to the team
east, two hours before the cutoff
no day name, no seconds
EOF
    sort -o "$work/expected" "$work/expected"
    subjects Archive | diff -u "$work/expected" - >&2 || fail "the Archive holds other messages"

    # The folder is found again in any letter case; nothing older is left to move.
    sample archive_older $days archive
    expect_rc 0
    expect_no_line "created folder"
    expect_last "done: moved 0 of 6 Inbox messages to Archive, kept 3 without a readable date"

    # 0 days: everything dated before now goes, into a new folder whose name has a space.
    sample archive_older 0 "Old Mail"
    expect_rc 0
    expect_line "created folder Old Mail"
    expect_last "done: moved 3 of 6 Inbox messages to Old Mail, kept 3 without a readable date"
    [ "$(mx list "Old Mail" | wc -l)" = 3 ] || fail "Old Mail does not hold the three messages"
    [ "$(mx list Archive | wc -l)" = 6 ] || fail "the Archive changed"

    # The Inbox itself as the archive would move nothing anywhere: refused.
    sample archive_older 1 INBOX
    expect_rc 1
    expect_last "error: the archive folder cannot be the Inbox itself"
}

account_key='HKCU\Software\Microsoft\Internet Account Manager'
clear_account() {
    wine_sh run reg delete "$account_key" /f </dev/null >/dev/null 2>&1 || true
}

case_send_message() {
    trap 'clear_account; rm -rf "$work"' EXIT
    clear_account
    local attachment=$work/report.bin
    python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 4 + b"\r\nend\n")' >"$attachment"
    local to=bob@example.org subject="Quarterly report" text='Hi Bob,\nthe report is attached.'

    # Without a default account nothing is built or stored.
    sample send_message "$to" "$subject" "$text" "$(winpath "$attachment")"
    expect_rc 1
    tail -n 1 "$work/out" | grep -q '^error: no default mail account for this user; ' ||
        fail "no clear error without a default mail account"
    [ -z "$(mx list Drafts)$(mx list Outbox)" ] || fail "a message was stored without an account"

    wine_sh run reg add "$account_key" /v "Default Mail Account" /d 00000001 /f </dev/null >/dev/null
    wine_sh run reg add "$account_key\\Accounts\\00000001" /v "Account Name" /d "Home" /f </dev/null >/dev/null
    wine_sh run reg add "$account_key\\Accounts\\00000001" /v "SMTP Email Address" /d sam@example.net /f </dev/null >/dev/null
    wine_sh run reg add "$account_key\\Accounts\\00000001" /v "SMTP Display Name" /d "Sam Reader" /f </dev/null >/dev/null

    sample send_message "$to" "$subject" "$text" "$(winpath "$work/no-such-file")"
    expect_rc 1
    expect_last "error: no file $(winpath "$work/no-such-file") to attach; check ATTACHMENT_PATH"

    sample send_message "$to" "$subject" "$text" "$(winpath "$attachment")"
    expect_rc 0
    expect_line "saved draft 1 in Drafts"
    expect_line "queued a copy in the Outbox, account 'Home'"
    expect_last "done: sent \"$subject\" to $to with report.bin"
    [ "$(mx list Drafts | wc -l)" = 1 ] || fail "Drafts does not hold the draft"
    [ "$(mx list Outbox | wc -l)" = 1 ] || fail "the Outbox does not hold one copy"
    local folder
    for folder in Drafts Outbox; do
        wine_sh run "$mxstore" cat "$folder" 1 </dev/null >"$work/$folder.eml"
        $check sent "$work/$folder.eml" "$to" "$subject" '"Sam Reader" <sam@example.net>' \
            $'Hi Bob,\r\nthe report is attached.' "$attachment" || fail "the message in $folder"
    done
}

# Every sample on a new store: five empty special folders and nothing else.
case_empty_store() {
    sample list_tree
    expect_rc 0
    expect_line "  Drafts (0 messages, 0 unread)"
    expect_last "done: 5 folders, 0 messages, 0 unread"
    sample export_eml Inbox "$(winpath "$work/export")"
    expect_rc 0
    expect_last "done: exported 0 messages of Inbox to $(winpath "$work/export")"
    sample save_attachments "$(winpath "$work/attachments")"
    expect_rc 0
    expect_last "done: saved 0 attachments of 0 messages into $(winpath "$work/attachments")"
    [ -d "$work/attachments" ] && [ -z "$(ls "$work/attachments")" ] || fail "attachments directory"
    sample archive_older 30
    expect_rc 0
    expect_last "done: moved 0 of 0 Inbox messages to Archive, kept 0 without a readable date"
}

# mail FILE FROM SUBJECT: a small message.
mail() {
    printf 'From: %s\r\nSubject: %s\r\nMessage-ID: <%s@test>\r\n\r\nbody\r\n' "$2" "$3" "$(basename "$1")" >"$1"
}
deliver() {  # deliver FILE...: into the Inbox, by a process of its own
    local f files=()
    for f in "$@"; do files+=("$(winpath "$f")"); done
    mx import Inbox "${files[@]}" >/dev/null
}
# expect_folder FOLDER SUBJECT...: the folder holds exactly these subjects, each once.
expect_folder() {
    local folder=$1; shift
    if [ $# -gt 0 ]; then printf '%s\n' "$@" | sort >"$work/expected"; else : >"$work/expected"; fi
    subjects "$folder" | diff -u "$work/expected" - >&2 || fail "$folder holds other messages"
}
# until_true SECONDS COMMAND...: polls COMMAND every half second; false when time runs out.
until_true() {
    local end=$((SECONDS + $1)); shift
    until "$@"; do [ $SECONDS -lt $end ] || return 1; sleep 0.5; done
}
folder_id() { mx folders | awk -v n="$1" '$1 == n { gsub(/\)/, "", $NF); print $NF }'; }

rules_pid=
stop_rules() {  # a run left behind by a failure stops at its next look at the stop file
    [ -z "$rules_pid" ] || { touch "$work/state/stop"; until_true 20 eval '! kill -0 $rules_pid 2>/dev/null'; }
    rm -rf "$work"
}

case_rules() {
    local state=$work/state g=$work/mail
    mkdir "$state" "$g"
    trap stop_rules EXIT
    mail "$g/1" "Shop <billing@shop.example>" "Your order"
    mail "$g/2" "Ann <ann@work.example>" "INVOICE 42 attached"
    mail "$g/3" "list@dev.example" "[dev-list] release plans"
    mail "$g/4" "Mum <mum@family.example>" "Sunday lunch"
    mail "$g/5" "Bob <bob@work.example>" "Lunch?"
    mail "$g/6" "list@dev.example" "[DEV-LIST] freeze"
    mail "$g/7" "billing@shop.example" "Refund"
    mail "$g/8" "Carl <carl@work.example>" "Meeting"
    mail "$g/9" "Dad <dad@family.example>" "Photos"
    deliver "$g/1"  # before the first run: not the script's to file

    # Running and waiting: mail delivered now is filed as it comes, the rest stays.
    wine_sh cscript "$repo/samples/rules.vbs" "$(winpath "$state")" </dev/null >"$work/run1" 2>&1 &
    rules_pid=$!
    until_true 60 test -s "$state/cursor.txt" || fail "the first run saved no cursor"
    deliver "$g/2" "$g/3"
    deliver "$g/4" "$g/5"
    until_true 60 eval '[ "$(mx list Inbox | wc -l)" = 2 ]' || fail "the running script did not file the new mail"
    touch "$state/stop"
    until_true 60 eval '! kill -0 $rules_pid 2>/dev/null' || fail "the stop file did not stop the script"
    rules_pid=
    tr -d '\r' <"$work/run1" >"$work/out"
    expect_last "done: filed 3 messages"
    [ ! -e "$state/stop" ] || fail "the stop file was left behind"
    expect_folder Inbox "Your order" "Lunch?"
    expect_folder Invoices "INVOICE 42 attached"
    expect_folder Lists/Dev "[dev-list] release plans"
    expect_folder Inbox/Family "Sunday lunch"

    # Mail that comes while the script is not running is filed by the next run, once.
    deliver "$g/6" "$g/7" "$g/8"
    touch "$state/stop"  # read what came, then stop
    sample rules "$(winpath "$state")"
    expect_rc 0
    expect_last "done: filed 2 messages"
    expect_folder Inbox "Your order" "Lunch?" "Meeting"
    expect_folder Invoices "INVOICE 42 attached" "Refund"
    expect_folder Lists/Dev "[dev-list] release plans" "[DEV-LIST] freeze"

    # A cursor the history does not know: the script rescans the Inbox and files what matches.
    echo "{00000000-0000-0000-0000-000000000000}:1" >"$state/cursor.txt"
    deliver "$g/9"
    touch "$state/stop"
    sample rules "$(winpath "$state")"
    expect_rc 0
    expect_line "the change history no longer reaches the saved cursor: filing the whole Inbox"
    expect_last "done: filed 2 messages"
    expect_folder Inbox "Lunch?" "Meeting"
    expect_folder Invoices "INVOICE 42 attached" "Refund" "Your order"
    expect_folder Inbox/Family "Sunday lunch" "Photos"
}

# The event listener (built from the SDK alone, with its README's line) in a process of its own
# prints the events of mail that mxstore delivers from another: the store tool of the other
# architecture when that is built (a 32-bit and a 64-bit process share one store, and each hears
# and reads the other's mail), else this one's.
case_listener() {
    local other=$build-i686 deliverer=$mxstore
    case $build in *-i686) other=${build%-i686} ;; esac
    if [ -f "$other/bin/mxstore.exe" ] && { [ "${PELKARY_ARCH:-}" = i686 ] || "$wine" has32 >/dev/null; }; then
        deliverer=$other/bin/mxstore.exe
        pass_note="heard and read the delivery of the other architecture's store tool"
    else
        pass_note="the other architecture is not built here: delivered by this architecture's store tool"
    fi
    mail "$work/hello" "a@example.com" "hello"
    wine_sh run "$build/bin/listener.exe" --seconds 60 --exit-after-new 1 </dev/null >"$work/out.raw" 2>&1 &
    local pid=$! line
    until_true 30 grep -q listening "$work/out.raw" || fail "the listener did not start"
    sleep 1  # mail that comes during the listener's first scan counts as already seen
    wine_sh run "$deliverer" import Inbox "$(winpath "$work/hello")" </dev/null >/dev/null
    rc=0
    wait $pid || rc=$?
    tr -d '\r' <"$work/out.raw" >"$work/out"
    expect_rc 0
    for line in "(Inbox): message " "manager: unread count changed: folder " "manager: new unread message "; do
        grep -qF -- "$line" "$work/out" || fail "no line with: $line"
    done
    expect_folder Inbox hello
}

# Subjects outside the code page, found by Message-ID and by a search (newest first), written as
# UTF-8; the file is compared byte for byte with Python's own encoding.
case_find() {
    local g=$work/mail
    mkdir "$g"
    # UTF-8 in base64; Shift_JIS and ISO-8859-1 in one subject; a character beyond U+FFFF.
    printf 'Subject: =?UTF-8?B?5Lya6K2w44Gu6K2w5LqL6Yyy?=\r\nMessage-ID: <jp.1@example.jp>\r\n\r\nx\r\n' >"$g/1"
    printf 'Subject: =?Shift_JIS?B?i2OOloLMj4CU9Q==?= caf=?ISO-8859-1?Q?=E9?=\r\nMessage-ID: <2@x>\r\n\r\nx\r\n' >"$g/2"
    printf 'Subject: =?UTF-8?B?8J+YgCBtaW51dGVz?=\r\nMessage-ID: <3@x>\r\n\r\nx\r\n' >"$g/3"
    mx mkdir Archive >/dev/null
    deliver "$g/1" "$g/3"
    mx import Archive "$(winpath "$g/2")" >/dev/null
    local inbox archive
    inbox=$(folder_id Inbox) archive=$(folder_id Archive)

    sample find.js "<jp.1@example.jp>" '\u8b70\u4E8B' "$(winpath "$work/found.txt")"
    expect_rc 0
    expect_last "done: 1 by Message-ID, 2 by subject, written to $(winpath "$work/found.txt")"
    python3 -c 'import sys; sys.stdout.buffer.write(sys.argv[1].encode())' \
        "$inbox/1 会議の議事録"$'\r\n'"$archive/1 議事の準備 café"$'\r\n'"$inbox/1 会議の議事録"$'\r\n' |
        cmp - "$work/found.txt" >&2 || fail "the UTF-8 file differs: $(xxd "$work/found.txt")"

    sample find.js "nobody@nowhere" "MINUTES" "$(winpath "$work/found.txt")"
    expect_last "done: 0 by Message-ID, 1 by subject, written to $(winpath "$work/found.txt")"
    printf 'not found\r\n%s/2 \xf0\x9f\x98\x80 minutes\r\n' "$inbox" | cmp - "$work/found.txt" >&2 ||
        fail "a character beyond U+FFFF: $(xxd "$work/found.txt")"
}

# The report of the usual store, from Table and Count alone: every folder that holds mail with
# its counts, the largest messages in order of size, the senders of the last 30 days by count.
case_report() {
    fill_store
    sample report
    expect_rc 0
    expect_last "done: 9 messages in 3 folders"
    grep -E '^  (Inbox|Inbox/Family|Lists|All folders) ' "$work/out" | tr -s ' ' >"$work/folders"
    printf '%s\n' " Inbox 5 (5 unread)" " Inbox/Family 1 (1 unread)" " Lists 3 (0 unread)" \
        " All folders 9 (6 unread)" | cmp - "$work/folders" >&2 || fail "the folder lines: $(cat "$work/folders")"
    sed -n '/^The ten largest/,/^$/p' "$work/out" | sed '1d;$d' >"$work/largest"
    [ "$(wc -l <"$work/largest")" = 9 ] || fail "not nine of the largest"
    awk '{print $1}' "$work/largest" | sort -rn -c || fail "the largest are not in order of size"
    grep -q 'carla@example.com *Re: Quarterly figures' "$work/largest" || fail "the largest is not the quarterly report"
    sed -n '/^Top senders/,/^$/p' "$work/out" | sed -n '2,3p' | tr -s ' ' >"$work/senders"
    printf '%s\n' " 2 ada@example.org" " 2 dev@lists.example.org" | cmp - "$work/senders" >&2 ||
        fail "the top senders: $(cat "$work/senders")"
}

# Wrong arguments: a usage line (or a one-line error) and exit code 2.
case_usage() {
    local args file
    while IFS='|' read -r name args; do
        eval "set -- $args"
        sample "$name" "$@"
        expect_rc 2
        case $name in *.*) file=$name ;; *) file=$name.vbs ;; esac
        grep -qF "usage: cscript //nologo $file" "$work/out" || fail "$name $args: no usage line"
    done <<'EOF'
list_tree|extra
export_eml|
export_eml|Inbox
export_eml|Inbox dir extra
save_attachments|
save_attachments|a b
archive_older|
archive_older|-3
archive_older|ten
archive_older|1e3
archive_older|123456
archive_older|1 Archive extra
send_message|to subject text
rules|
find.js|id text
report|extra
EOF
    sample archive_older 5 "Archive/2024"
    expect_rc 2
    expect_last 'error: ARCHIVE_NAME must be the name of a top-level folder, without / or \'
    sample send_message "" subject text "$(winpath "$repo/samples/data/01-welcome.eml")"
    expect_rc 2
    expect_last "error: TO is empty; give the recipient's address"
}

declare -F "case_$test_case" >/dev/null || { echo "unknown case: $test_case" >&2; exit 2; }
pass_note=
"case_$test_case"
echo "PASS: $test_case${pass_note:+ ($pass_note)}"
