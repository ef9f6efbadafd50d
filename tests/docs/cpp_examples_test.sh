#!/usr/bin/env bash
# Every C++ example of docs/reference.md compiles against the header generated from the type
# library: each ```cpp block becomes the body of a function that has a manager, a message and an
# HRESULT at hand, as the examples assume.
#   tests/docs/cpp_examples_test.sh BUILD_DIR CXX_COMPILER
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:?usage: cpp_examples_test.sh BUILD_DIR CXX_COMPILER}
cxx=${2:?usage: cpp_examples_test.sh BUILD_DIR CXX_COMPILER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
awk '
    BEGIN { print "#include <windows.h>\n#include <cstdio>\n#include \"pelkary.h\"" }
    /^```cpp$/ { n++; print "void example_" n "(IMXFolderManager* manager, IMXMessage* msg) {\n  HRESULT hr = S_OK;\n  {"; inside = 1; next }
    /^```/ && inside { print "  }\n  (void)manager; (void)msg; (void)hr;\n}"; inside = 0; next }
    inside { print }
    END { if (n == 0) exit 1 }
' "$repo/docs/reference.md" >"$work/examples.cpp" || { echo "FAIL no cpp examples found in docs/reference.md"; exit 1; }
count=$(grep -c '^void example_' "$work/examples.cpp")
if "$cxx" -std=c++17 -fsyntax-only -DUNICODE -D_UNICODE -I"$build/generated" "$work/examples.cpp" 2>"$work/errors"; then
    echo "ok   $count C++ examples compile"
else
    echo "FAIL the C++ examples of docs/reference.md do not compile:"
    cat "$work/errors"
    exit 1
fi
