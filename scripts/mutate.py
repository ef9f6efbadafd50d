#!/usr/bin/env python3
"""Sampled mutation run: how many seeded faults in the shipped code does the test suite catch?

    scripts/mutate.py [--count N] [--seed S] [--list] [--only PATH_PREFIX] [--site PATH:LINE ...]

Collects every place in the .cpp files of src/, platform/ and comsupport/ where one of these faults can
be made, shuffles them with the seed and tries them one at a time until N of them have built:

    cmp     a comparison flipped            (a == b  ->  a != b,  a < b  ->  a >= b)
    bound   a bound moved by one            (a < b  ->  a <= b,  n + 1  ->  n)
    logic   a connective swapped            (a && b  ->  a || b)
    negate  a negation dropped              (if (!ok)  ->  if (ok))
    bool    a returned truth value flipped  (return true;  ->  return false;)
    call    a call statement dropped        (Release(x);  ->  ;)
    swap    two arguments swapped           (f(a, b)  ->  f(b, a))

For each mutant it rebuilds ($PELKARY_BUILD, default build; and $PELKARY_BUILD-native when the
file is part of the portable engines), registers the servers as the test run does, and runs the
test suites with CTest, stopping at the first failure. A mutant is killed when a test fails or
times out. Mutants that do not compile are skipped and do not count. The tree is restored after
every mutant (also on Ctrl-C), and the last line printed is the kill rate.

--list prints the sampled mutants without building anything. A killed mutant's line names the test
that failed first. --site PATH:LINE or "PATH:LINE OP" (repeatable) tries only the sampled mutants there: to
run again, on a quiet machine, the mutants two runs disagree on (a test that fails for a reason of
its own, say under heavy load, kills a mutant it never saw).
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOTS = ("src", "platform", "comsupport")

CMP_FLIP = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
BOUND = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
SKIP_CALL = re.compile(r"^\s*(return|if|for|while|switch|case|else|delete|throw|break|continue|do|"
                       r"using|namespace|template|typedef|static_assert|goto)\b")
CALL_STMT = re.compile(r"^(\s*)([A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*)\((.*)\);\s*$")
# Keywords, and calls whose two arguments commute (swapping them changes nothing).
NOT_SWAPPED = {"if", "while", "for", "switch", "sizeof", "return", "IsEqualIID", "IsEqualCLSID",
               "IsEqualGUID", "min", "max", "swap"}
SWAP = re.compile(r"\b([A-Za-z_]\w*)\(([\w.>\-&*]+), ([\w.>\-&*]+)\)")


def source_files():
    files = []
    for root in ROOTS:
        for dirpath, _, names in os.walk(os.path.join(REPO, root)):
            if "/fuzz" in dirpath:
                continue
            for n in names:
                if n.endswith(".cpp"):
                    files.append(os.path.relpath(os.path.join(dirpath, n), REPO))
    return sorted(files)


def balanced(text):
    depth = 0
    for ch in text:
        depth += ch == "("
        depth -= ch == ")"
        if depth < 0:
            return False
    return depth == 0


def sites_in(path):
    """Yields (line_no, op, old_line, new_line) for every mutation this file allows."""
    with open(os.path.join(REPO, path), encoding="utf-8", errors="surrogateescape") as f:
        lines = f.read().split("\n")
    in_block = False
    for no, line in enumerate(lines, 1):
        code = line
        if in_block:
            if "*/" not in code:
                continue
            in_block = False
            code = code.split("*/", 1)[1]
        stripped = code.strip()
        if not stripped or stripped.startswith(("//", "#", "*")):
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        # Leave string literals and trailing comments alone: mutate only the code before them.
        cut = len(line)
        for marker in ("//", '"', "'"):
            k = line.find(marker)
            if k != -1:
                cut = min(cut, k)
        head, tail = line[:cut], line[cut:]

        def variant(a, b, new):
            return head[:a] + new + head[b:] + tail

        for m in re.finditer(r"(?<= )(==|!=|<=|>=|<|>)(?= )", head):
            op = m.group(1)
            yield no, "cmp", line, variant(m.start(), m.end(), CMP_FLIP[op])
            if op in BOUND:
                yield no, "bound", line, variant(m.start(), m.end(), BOUND[op])
        for m in re.finditer(r" ([+-]) 1\b(?!\.)", head):
            yield no, "bound", line, variant(m.start(), m.end(), "")
        for m in re.finditer(r" (&&|\|\|) ", head):
            yield no, "logic", line, variant(m.start(), m.end(), " || " if m.group(1) == "&&" else " && ")
        for m in re.finditer(r"\(!(?=[A-Za-z_(])", head):
            yield no, "negate", line, variant(m.start(), m.end(), "(")
        for m in re.finditer(r"\breturn (true|false);", head):
            flipped = "false" if m.group(1) == "true" else "true"
            yield no, "bool", line, variant(m.start(), m.end(), f"return {flipped};")
        call = CALL_STMT.match(line)
        if call and not SKIP_CALL.match(line) and balanced(call.group(3)) and "=" not in call.group(2):
            yield no, "call", line, call.group(1) + ";"
        for m in SWAP.finditer(head):
            a, b = m.group(2), m.group(3)
            if a != b and m.group(1) not in NOT_SWAPPED:
                yield no, "swap", line, variant(m.start(2), m.end(3), f"{b}, {a}")


def all_sites(only):
    out = []
    for path in source_files():
        if only and not path.startswith(only):
            continue
        for no, op, old, new in sites_in(path):
            out.append((path, no, op, old, new))
    return out


def is_portable(path):
    return re.match(r"platform/[^/]+/engine/", path) is not None


def run(cmd, timeout=None, env=None):
    return subprocess.run(cmd, cwd=REPO, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", timeout=timeout, env=env)


class Tree:
    """Puts a mutant into one file and guarantees that the original comes back."""

    def __init__(self):
        self.saved = None

    def apply(self, path, line_no, old, new):
        full = os.path.join(REPO, path)
        with open(full, "rb") as f:
            data = f.read()
        lines = data.split(b"\n")
        enc = lambda s: s.encode("utf-8", errors="surrogateescape")
        if lines[line_no - 1] != enc(old):
            raise RuntimeError(f"{path}:{line_no} is not what was sampled")
        lines[line_no - 1] = enc(new)
        self.saved = (full, data)
        with open(full, "wb") as f:
            f.write(b"\n".join(lines))

    def restore(self):
        if self.saved:
            full, data = self.saved
            with open(full, "wb") as f:
                f.write(data)
            self.saved = None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--count", type=int, default=60, help="mutants that build and are tested (60)")
    ap.add_argument("--seed", type=int, default=20261206, help="sampling seed")
    ap.add_argument("--only", default="", help="sample only files under this path")
    ap.add_argument("--list", action="store_true", help="print the sampled mutants and stop")
    ap.add_argument("--timeout", type=int, default=300, help="seconds a single test may take")
    ap.add_argument("--site", action="append", default=[],
                    help="only the mutants at PATH:LINE, or PATH:LINE OP (repeatable)")
    ap.add_argument("--shard", default="1/1", help="K/N: run every Nth mutant of the sample from the Kth, and "
                    "COUNT/N of them (run the N shards at once in N checkouts and add up their figures)")
    args = ap.parse_args()
    k, n = (int(x) for x in args.shard.split("/"))
    if not 1 <= k <= n:
        ap.error("--shard wants K/N with 1 <= K <= N")

    sites = all_sites(args.only)
    random.Random(args.seed).shuffle(sites)
    print(f"mutate: {len(sites)} places found in {len(source_files())} files; seed {args.seed}", flush=True)
    if args.site:
        sites = [s for s in sites if f"{s[0]}:{s[1]}" in args.site or f"{s[0]}:{s[1]} {s[2]}" in args.site]
    sites = sites[k - 1::n]
    args.count = args.count // n + (1 if k <= args.count % n else 0)
    if args.list:
        for path, no, op, old, new in sites[:args.count]:
            print(f"{path}:{no} {op}: {old.strip()}  ->  {new.strip()}")
        return 0

    build = os.environ.get("PELKARY_BUILD", os.path.join(REPO, "build"))
    if not os.path.isabs(build):
        build = os.path.join(REPO, build)
    env = dict(os.environ, PELKARY_BUILD=build)
    native = build + "-native"
    if run(["scripts/build.sh"], env=env).returncode != 0:
        print("mutate: the unmutated tree does not build; fix that first", file=sys.stderr)
        return 2

    tree = Tree()
    wine = lambda what: run(["scripts/wine.sh", what], env=env)

    def stop(*_):
        tree.restore()
        wine("stop")
        sys.exit(130)

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    wine("start")

    tested = killed = unbuilt = 0
    survivors = []
    start = time.time()
    try:
        for path, no, op, old, new in sites:
            if tested == args.count:
                break
            tree.apply(path, no, old, new)
            try:
                builds = [build] + ([native] if is_portable(path) else [])
                if any(run(["cmake", "--build", b, "-j", str(os.cpu_count() or 2)]).returncode != 0
                       for b in builds):
                    unbuilt += 1
                    continue
                run(["scripts/register.sh", build], env=env)
                tested += 1
                verdict, culprit = "survived", ""
                for b in reversed(builds):  # the native suites are quicker to fail
                    try:
                        r = run(["ctest", "--test-dir", b, "--stop-on-failure", "-j1", "--timeout",
                                 str(args.timeout)], timeout=args.timeout * 4, env=env)
                        failed = r.returncode != 0
                        hung = "Timeout" in r.stdout
                        first = re.search(r"Test +#\d+: (\S+) \.*\**(Failed|Timeout|Exception|Subprocess)", r.stdout)
                    except subprocess.TimeoutExpired:
                        failed = hung = True
                        first = None
                    if failed:
                        verdict = "killed (hang)" if hung else "killed"
                        culprit = first.group(1) if first else "?"
                        break
                if verdict.startswith("killed"):
                    killed += 1
                else:
                    survivors.append(f"{path}:{no} {op}")
                if verdict == "killed (hang)":
                    wine("stop")
                    wine("start")
                print(f"[{tested:3d}] {verdict:13s} {path}:{no} {op}: {old.strip()}  ->  {new.strip()}"
                      + (f"  [{culprit}]" if culprit else ""), flush=True)
            finally:
                tree.restore()
    finally:
        tree.restore()
        run(["cmake", "--build", build])
        if os.path.isdir(native):
            run(["cmake", "--build", native])
        run(["scripts/register.sh", build], env=env)
        wine("stop")

    minutes = (time.time() - start) / 60
    print(f"mutate: {unbuilt} mutants did not build and were skipped; {minutes:.0f} min")
    if survivors:
        print("mutate: survivors: " + ", ".join(survivors))
    rate = 100.0 * killed / tested if tested else 0.0
    print(f"mutate: killed {killed} of {tested} mutants: {rate:.1f}%")
    return 0


if __name__ == "__main__":
    sys.exit(main())
