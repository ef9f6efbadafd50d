#!/usr/bin/env bash
# Runs every test: sets the machine up, builds, starts Wine, registers the COM servers in the
# project's prefix, runs the Windows tests under Wine and the native engine tests, and stops Wine.
# Exits non-zero when any test fails.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PELKARY_BUILD=${PELKARY_BUILD:-$repo/build}
case $PELKARY_BUILD in /*) ;; *) PELKARY_BUILD=$repo/$PELKARY_BUILD ;; esac

"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" ${PELKARY_TEST_BUILDS:-all}

trap '"$repo/scripts/wine.sh" stop' EXIT
"$repo/scripts/wine.sh" start
"$repo/scripts/register.sh" "$PELKARY_BUILD"

status=0
summary=$(mktemp)
trap '"$repo/scripts/wine.sh" stop; rm -f "$summary"' EXIT
echo "== Windows tests (under Wine)"
ctest --test-dir "$PELKARY_BUILD" --output-on-failure -j1 --timeout 600 | tee -a "$summary" || status=1
echo "== Native engine tests"
ctest --test-dir "$PELKARY_BUILD-native" --output-on-failure -j "$(nproc)" --timeout 600 | tee -a "$summary" || status=1
echo "== A short fuzzing run of the MIME parser (clang, ASan + UBSan)"
if "$repo/scripts/fuzz.sh" "${PELKARY_FUZZ_RUNS:-20000}" >"$PELKARY_BUILD-fuzz.log" 2>&1; then
    grep -E '^(Done|#[0-9]+.*DONE)' "$PELKARY_BUILD-fuzz.log" | tail -1 || true
else
    tail -40 "$PELKARY_BUILD-fuzz.log"
    echo "fuzzing found a fault: see $PELKARY_BUILD-fuzz.log"
    status=1
fi
# One closing line for the whole run, counted from CTest's own summaries.
awk '/tests failed out of/ { total += $NF; failed += $4 }
     END { printf "%d passed, %d failed\n", total - failed, failed; exit failed > 0 }' "$summary" || status=1
exit $status
