#!/usr/bin/env bash
# Runs every test: sets the machine up, builds, starts Wine, registers the COM servers in the
# project's prefix (the x86-64 and the 32-bit ones side by side), runs the Windows tests under
# Wine in both architectures and the native engine tests once, and stops Wine. Where 32-bit Wine
# is missing, the 32-bit suites are skipped and the run says so, also in its closing line.
# Exits non-zero when any test fails.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PELKARY_BUILD=${PELKARY_BUILD:-$repo/build}
case $PELKARY_BUILD in /*) ;; *) PELKARY_BUILD=$repo/$PELKARY_BUILD ;; esac
builds=${PELKARY_TEST_BUILDS:-all}

"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" $builds

# The 32-bit suites run when the 32-bit tree was built in this run and 32-bit Wine is here.
skipped32=
case $builds in
    all | i686) skipped32=$("$repo/scripts/wine.sh" has32) || true ;;
    *) skipped32="the 32-bit tree was not built in this run (PELKARY_TEST_BUILDS=$builds)" ;;
esac

status=0
summary=$(mktemp)
trap '"$repo/scripts/wine.sh" stop; rm -f "$summary"' EXIT
"$repo/scripts/wine.sh" start
# The x86-64 suite first, with its own DLLs alone registered (a 64-bit runtime that misses its own
# type library falls back to the 32-bit one, which one module test takes away); then the 32-bit
# suite with both sets registered side by side, each in its own registry view.
"$repo/scripts/register.sh" --arch x86_64 "$PELKARY_BUILD"
"$repo/scripts/register.sh" --unregister --arch i686 "$PELKARY_BUILD" >/dev/null 2>&1 || true

echo "== Windows tests, x86-64 (under Wine)"
ctest --test-dir "$PELKARY_BUILD" --output-on-failure -j1 --timeout 600 | tee -a "$summary" || status=1
if [ -z "$skipped32" ]; then
    "$repo/scripts/register.sh" --arch i686 "$PELKARY_BUILD"
    echo "== Windows tests, 32-bit (i686, under 32-bit Wine, in the same prefix beside the x86-64 DLLs)"
    ctest --test-dir "$PELKARY_BUILD-i686" --output-on-failure -j1 --timeout 600 | tee -a "$summary" || status=1
else
    echo "== Windows tests, 32-bit (i686): SKIPPED: $skipped32"
fi
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
# One closing line for the whole run, counted from CTest's own summaries (both architectures).
awk -v skipped="$skipped32" '/tests failed out of/ { total += $NF; failed += $4 }
     END { printf "%d passed, %d failed%s\n", total - failed, failed,
                  skipped == "" ? "" : " (32-bit suites SKIPPED: " skipped ")"; exit failed > 0 }' "$summary" || status=1
exit $status
