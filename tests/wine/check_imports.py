#!/usr/bin/env python3
"""Checks that Windows XP can load a delivered executable.

usage: check_imports.py [--reject] OBJDUMP NEWER_LIST EXE...

Reads each executable's import tables and header with objdump -p and fails on
  - a function of NEWER_LIST (the Windows functions that XP does not export);
  - a library that XP does not have (the API sets, the Universal C runtime, dwmapi.dll);
  - an OS or subsystem version in the header above XP's (5.1; 5.2 for 64-bit executables, the
    first x64 Windows).
Prints a verdict per executable and exits 1 when any fails. With --reject the executables are
samples that must each fail: it prints "rejected: N of M" and the test reads that line.
"""
import re
import subprocess
import sys

import verdicts

NEWER_LIBRARIES = re.compile(r"^(api-ms-win-|ext-ms-win-|ucrtbase\.dll$|vcruntime\d+\.dll$|"
                             r"dwmapi\.dll$)", re.I)


def read_list(path):
    with open(path, encoding="utf-8") as f:
        return {line.strip() for line in f if line.strip() and not line.startswith("#")}


def read_executable(objdump, path):
    """(header fields, [(library, function)]) of one executable."""
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                         text=True).stdout
    header = {}
    for key in ("MajorOSystemVersion", "MinorOSystemVersion", "MajorSubsystemVersion",
                "MinorSubsystemVersion", "Magic"):
        m = re.search(r"^%s\s+(\S+)" % key, out, re.M)
        if m:
            header[key] = m.group(1)
    imports, library = [], None
    for line in out.splitlines():
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            library = m.group(1)
            continue
        if not line.strip():
            continue
        # "\t81a28\t   21  AddVectoredExceptionHandler" (by name) or "... <none> <none>"-style
        # ordinal lines; the name is the last word.
        m = re.match(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if library and m:
            imports.append((library, m.group(1)))
        elif not line.startswith("\t"):
            library = None
    return header, imports


def problems_of(objdump, newer, path):
    header, imports = read_executable(objdump, path)
    problems = []
    if not imports:
        problems.append("no imports found (not an executable objdump can read?)")
    wide = header.get("Magic") == "020b"
    want_minor = 2 if wide else 1
    for kind in ("OSystem", "Subsystem"):
        major = int(header.get("Major%sVersion" % kind, "0"), 16)
        minor = int(header.get("Minor%sVersion" % kind, "0"), 16)
        if (major, minor) > (5, want_minor):
            problems.append("%s version %d.%d, XP is 5.%d" % (kind, major, minor, want_minor))
    for library, function in imports:
        if NEWER_LIBRARIES.match(library):
            problems.append("%s: a library XP does not have" % library)
        elif function in newer:
            problems.append("%s!%s: newer than XP" % (library, function))
    return problems, len(imports)


def check(fixed, path, reject):
    objdump, newer = fixed[0], read_list(fixed[1])
    problems, count = problems_of(objdump, newer, path)
    return problems, "%d imports" % count


if __name__ == "__main__":
    sys.exit(verdicts.run(__doc__, 2, check))
