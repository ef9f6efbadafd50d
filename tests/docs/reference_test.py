#!/usr/bin/env python3
# docs/reference.md against the checked-in descriptions of pelkary.dll's two type libraries: one
# section per member with its parameters and help string, every constant's value, no member or GUID
# the library lacks. The scripting library's chapter is checked against that library alone.
import re
import sys
from collections import defaultdict

GUID = re.compile(r"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}")
TYPE = re.compile(r"\d+ (\w+) (\w+) (\{[^}]*\}) ([^\"]*) \"")
FUNC = re.compile(r"  (0x[0-9A-F]+)(?: slot \d+)? (\w+)(?: [a-z]+ \d+)* (\S+) (\w+)\((.*?)\)(?: \"(.*)\")?")
CONST = re.compile(r"  (\w+) = (0x[0-9A-F]+) \w+")
PARAM = re.compile(r"\[([^\]]*)\] \S+ (\w+)")
INHERITED = {"QueryInterface", "AddRef", "Release", "GetTypeInfoCount", "GetTypeInfo", "GetIDsOfNames", "Invoke"}


def read_library(path):
    # Its GUID and types (kind, name, guid, flags, members): (name, help, kind, result, params), (name, value).
    lines = open(path, encoding="utf-8").read().splitlines()
    types = []
    for line in lines[1:]:
        if m := TYPE.match(line):
            types.append((m[1], m[2], m[3], m[4], []))
        elif m := FUNC.fullmatch(line):
            types[-1][4].append((m[4], m[6] or "", m[2], m[3], PARAM.findall(m[5])))
        elif m := CONST.match(line):
            value = int(m[2], 16)
            types[-1][4].append((m[1], value - (1 << 32) if value >= 1 << 31 else value))
    return GUID.search(lines[0])[0], types


def read_reference(path):
    # [0] the published library's part, [1] the scripting library's chapter.
    parts = [{"sections": {}, "constants": defaultdict(list), "guids": set()} for _ in range(2)]
    doc, section, code = parts[0], None, False
    for line in open(path, encoding="utf-8").read().splitlines():
        if line.startswith("```"):
            code = not code
        if code:
            continue
        doc["guids"].update(g[0].upper() for g in GUID.finditer(line))
        if line.startswith("#"):
            section = None
        if line.startswith("## "):
            doc = parts["The scripting library" in line]
        if m := re.fullmatch(r"### (\w+\.\w+)", line):
            section = doc["sections"].setdefault(m[1], [0, "", ""])
            section[0] += 1
        if section and not section[1] and (m := re.fullmatch(r"`(\w+(\(.*\))?( As \w+)?)`", line)):
            section[1] = m[1]
        if section and not section[2] and (m := re.fullmatch(r'> Type library: "(.*)"', line)):
            section[2] = m[1]
        if line.startswith("|"):
            cells = [c[1:-1] if len(c) > 1 else c for c in line[1:].split("|")]
            for i, cell in enumerate(cells):
                if len(cell) < 3 or cell[0] != "`" or cell[-1] != "`":
                    continue
                for j in (i - 1, i + 1):  # before the name (the property ids), else after it
                    if 0 <= j < len(cells) and (n := re.fullmatch(r"(0x[0-9A-Fa-f]+|\d+)( .*)?", cells[j])):
                        doc["constants"][cell[1:-1]].append(int(n[1], 0 if n[1].startswith("0x") else 10))
                        break
    return parts


def shape(signature):
    # "Get(handle,[out] exist,) As" for "Get(handle As Long, [out] exist As Long) As String".
    m = re.fullmatch(r"(\w+)(?:\((.*)\))?( As \w+)?", signature)
    if not m:
        return "malformed"
    params = "".join(p[0] + p[1] + "," for p in re.findall(r"(\[out\] )?(\w+) As \w+", m[2] or ""))
    return m[1] + "(" + params + (") As" if m[3] else ")")


def check(library_path, doc, members, constants, guids):
    failures = []
    library_guid, types = read_library(library_path)
    known = set()
    for kind, name, _, flags, entries in types:
        if kind not in ("interface", "dispinterface"):
            continue
        # Interfaces are described by their class's name; events by their interface's own.
        owner = name[1:] if kind == "interface" or "dual" in flags else name
        for member_name, help_text, _, result, params in (e for e in entries if len(e) == 5):
            if member_name in INHERITED:
                continue
            key = f"{owner}.{member_name}"
            known.add(key)
            headings, signature, help_doc = doc["sections"].get(key, [0, "", ""])
            if headings != 1:
                failures.append(f'"### {key}" appears {headings} times')
            if help_doc != help_text:
                failures.append(f'{key}: the "> Type library:" line says "{help_doc}", the library "{help_text}"')
            expected = member_name + "(" + "".join(("[out] " if "out" in f else "") + p + ","
                                                   for f, p in params if "retval" not in f)
            # A dual interface's dispatch view gives the result as the function's own type.
            has_result = (params and "retval" in params[-1][0]) or result not in ("HRESULT", "vt24")
            expected += ") As" if has_result else ")"
            # A type library keeps one spelling of a name for all its uses: names match in any case.
            if shape(signature).lower() != expected.lower():
                failures.append(f"{key}: `{signature}` does not have the shape {expected}")
    if len(known) != members:
        failures.append(f"{len(known)} members, not {members}")
    failures += [f"the reference describes {k}, which the library lacks" for k in doc["sections"] if k not in known]

    count = 0
    for _, type_name, _, _, entries in types:
        for name, value in (e for e in entries if len(e) == 2):
            count += 1
            documented = doc["constants"].get(name, [])
            if not documented:
                failures.append(f"{type_name}.{name} has no row in a table")
            failures += [f"{type_name}.{name} is {value}, not {v}" for v in documented if v != value]
    if count != constants:
        failures.append(f"{count} constants, not {constants}")

    own = {library_guid} | {g for kind, _, g, _, _ in types if kind != "enum"}
    if len(own) != guids:  # the library, its interfaces and its classes
        failures.append(f"{len(own)} GUIDs, not {guids}")
    failures += [f"the reference quotes {g}, which the library does not define" for g in doc["guids"] - own]
    return failures


def main():
    source = sys.argv[1]
    published, scripting = read_reference(f"{source}/docs/reference.md")
    failures = check(f"{source}/tests/frame/pelkary.typelib.txt", published, 16 + 24 + 54 + 3 + 6, 15 + 6 + 3 + 72, 9)
    failures += check(f"{source}/tests/scripting/pelkary_scripting.typelib.txt", scripting, 18 + 3 + 4 + 3, 0, 9)
    for f in failures:
        print("docs/reference.md:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
