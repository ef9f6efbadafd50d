#!/usr/bin/env bash
# The type library's target system follows the build: SYS_WIN64 (3) in the x86-64 build, whose
# ITypeInfo::Invoke would pick wrong vtable slots otherwise, and SYS_WIN32 (1) in the 32-bit
# build. The 32-bit tree is BUILD-i686 (scripts/build.sh i686); without it that half is skipped.
#   tests/docs/typelib_target_test.sh BUILD_DIR
set -uo pipefail
build=${1:?usage: typelib_target_test.sh BUILD_DIR}
syskind() {  # the low 4 bits of the MSFT header's flags word at offset 0x14
    local magic flags
    magic=$(head -c 4 "$1")
    [ "$magic" = MSFT ] || { echo "not a type library: $1"; return 1; }
    flags=$(od -An -t u4 -j 20 -N 4 "$1" | tr -d ' ')
    echo $((flags & 15))
}
status=0
kind=$(syskind "$build/generated/pelkary.tlb") || exit 1
if [ "$kind" = 3 ]; then echo "ok   x86-64 type library targets SYS_WIN64"; else echo "FAIL x86-64 type library targets $kind, not 3 (SYS_WIN64)"; status=1; fi
if [ -f "$build-i686/generated/pelkary.tlb" ]; then
    kind=$(syskind "$build-i686/generated/pelkary.tlb") || exit 1
    if [ "$kind" = 1 ]; then echo "ok   32-bit type library targets SYS_WIN32"; else echo "FAIL 32-bit type library targets $kind, not 1 (SYS_WIN32)"; status=1; fi
else
    echo "skip the 32-bit build tree $build-i686 is not there (scripts/build.sh i686 makes it)"
fi
exit $status
