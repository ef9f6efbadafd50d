#!/usr/bin/env bash
# Runs a Windows bench in both architectures, one after the other on the same machine, and prints
# its figures side by side: each line once, each figure as "x86-64 / 32-bit", a figure that the
# 32-bit build gives more than 20% off the x86-64 one marked with '*'. Each run makes a store of
# its own. Where 32-bit Wine or the 32-bit build is missing, the x86-64 figures alone, and a line
# saying why.
#   scripts/bench.sh NAME [ARGS...]      e.g. scripts/bench.sh messages_bench 20000 20
# NAME is a bench program of the Windows build (bench/README.md lists them); ARGS are its own.
# Builds the program in both trees first and registers both DLL sets in the build's prefix.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export PELKARY_BUILD=${PELKARY_BUILD:-$repo/build}
case $PELKARY_BUILD in /*) ;; *) PELKARY_BUILD=$repo/$PELKARY_BUILD ;; esac
[ $# -ge 1 ] || { echo "usage: scripts/bench.sh NAME [ARGS...]   (bench/README.md lists the benches)" >&2; exit 2; }
name=${1%.exe}; shift
wine_sh=$repo/scripts/wine.sh

archs=(x86_64)
if ! why32=$("$wine_sh" has32); then
    :
elif [ ! -f "$PELKARY_BUILD-i686/build.ninja" ]; then
    why32="the 32-bit tree $PELKARY_BUILD-i686 is not there (scripts/build.sh i686 makes it)"
else
    archs+=(i686)
fi
for arch in "${archs[@]}"; do
    tree=$PELKARY_BUILD
    [ "$arch" = i686 ] && tree=$PELKARY_BUILD-i686
    [ -f "$tree/build.ninja" ] || PELKARY_TARGETS=$name "$repo/scripts/build.sh" "$([ "$arch" = i686 ] && echo i686 || echo cross)"
    cmake --build "$tree" --target "$name" mimelib mailstore pelkary >/dev/null ||
        { echo "bench: $name does not build in $tree (bench/README.md lists the benches)" >&2; exit 1; }
done

trap '"$wine_sh" stop' EXIT
"$wine_sh" start
"$repo/scripts/register.sh" --arch "$([ ${#archs[@]} = 2 ] && echo both || echo x86_64)" "$PELKARY_BUILD" >/dev/null

out=$(mktemp -d)
trap '"$wine_sh" stop; rm -rf "$out"' EXIT
for arch in "${archs[@]}"; do
    tree=$PELKARY_BUILD
    [ "$arch" = i686 ] && tree=$PELKARY_BUILD-i686
    echo "bench: running $name $* ($arch) ..." >&2
    start=$SECONDS
    PELKARY_ARCH=$arch "$wine_sh" run "$tree/bin/$name.exe" "$@" </dev/null >"$out/$arch" 2>&1 ||
        echo "(exit code $?)" >>"$out/$arch"
    echo "bench: $arch took $((SECONDS - start)) s" >&2
done

if [ ${#archs[@]} = 1 ]; then
    tr -d '\r' <"$out/x86_64"
    echo "32-bit figures SKIPPED: $why32"
    exit 0
fi
echo "$name $*: figures as x86-64 / 32-bit; * marks a 32-bit figure more than 20% off the x86-64 one"
python3 - "$out/x86_64" "$out/i686" <<'EOF'
import difflib, re, sys

number = re.compile(r'\d+(?:\.\d+)?')
def lines(path):
    with open(path, encoding='latin-1') as f:
        return [l.rstrip('\r\n') for l in f]
wide, narrow = lines(sys.argv[1]), lines(sys.argv[2])
shape = lambda l: ' '.join(number.sub('#', l).split())  # a wider figure shifts the spaces

def merged(a, b):
    """a's text with each number that b gives otherwise as "a / b" (and '*' past 20%)."""
    theirs = number.findall(b)
    parts, last = [], 0
    for k, m in enumerate(number.finditer(a)):
        parts.append(a[last:m.start()])
        mine, other = m.group(), theirs[k]
        if mine == other:
            parts.append(mine)
        else:
            x, y = float(mine), float(other)
            off = abs(y - x) / x > 0.2 if x else y != 0
            parts.append(f"{mine} / {other}{'*' if off else ''}")
        last = m.end()
    parts.append(a[last:])
    return ''.join(parts)

matcher = difflib.SequenceMatcher(None, [shape(l) for l in wide], [shape(l) for l in narrow], autojunk=False)
for op, i1, i2, j1, j2 in matcher.get_opcodes():
    if op == 'equal':
        for a, b in zip(wide[i1:i2], narrow[j1:j2]):
            print(merged(a, b))
    else:
        for a in wide[i1:i2]:
            print('x86-64: ' + a)
        for b in narrow[j1:j2]:
            print('32-bit: ' + b)
EOF
