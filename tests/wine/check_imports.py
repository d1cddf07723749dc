#!/usr/bin/env python3
"""Checks that the oldest Windows a build is for can load a delivered executable.

usage: check_imports.py [--reject] OBJDUMP TABLE EXE...

TABLE is tests/wine/windows_functions.txt. The floor comes from each executable's machine type:
a 32-bit (i386) executable must load on Windows 95 and on NT 4.0, a 64-bit (x86-64) one on the
first x64 Windows (XP x64, NT 5.2). Reads each executable's import tables and header with
objdump -p and fails on
  - an imported function that the table does not list;
  - an imported function that a system of the floor does not export (for 95, a stub counts as
    exported: the loader needs only the name);
  - an OS or subsystem version in the header above the floor's (4.0; 5.2 for x86-64).
Prints a verdict per executable and exits 1 when any fails. With --reject the executables are
samples that must each fail: it prints "rejected: N of M" and the test reads that line.
"""
import os
import re
import subprocess
import sys

import verdicts
import windows_functions

# machine (objdump's file format) -> (name, lowest NT, lowest 9x or None, header version)
FLOORS = {
    "pei-i386": ("32-bit: Windows 95 and NT 4.0", (4, 0), (4, 0), (4, 0)),
    "pei-x86-64": ("64-bit: XP x64 (NT 5.2)", (5, 2), None, (5, 2)),
}


def read_executable(objdump, path):
    """(file format, header fields, [(library, function)]) of one executable."""
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                         text=True).stdout
    m = re.search(r"file format (\S+)", out)
    machine = m.group(1) if m else "unknown"
    header = {}
    for key in ("MajorOSystemVersion", "MinorOSystemVersion", "MajorSubsystemVersion",
                "MinorSubsystemVersion"):
        m = re.search(r"^%s\s+(\S+)" % key, out, re.M)
        if m:
            header[key] = m.group(1)
    imports, library = [], None
    for line in out.splitlines():
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            library = m.group(1).lower()
            continue
        if not line.strip():
            continue
        # "\t81a28\t   21  AddVectoredExceptionHandler": hint, then the name.
        m = re.match(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if library and m:
            imports.append((library, m.group(1)))
        elif library and re.match(r"^\t[0-9a-f]+\t\s*\d+\s*$", line):
            imports.append((library, "<ordinal>"))
        elif not line.startswith("\t"):
            library = None
    return machine, header, imports


def too_new(record, floor):
    """Why a system of the floor cannot load an import of this record, or None."""
    _, nt_floor, win9x_floor, _ = floor
    reasons = []
    if record.nt is None or record.nt > nt_floor:
        reasons.append("NT %d.%d" % nt_floor)
    if win9x_floor is not None and (record.win9x is None or record.win9x > win9x_floor):
        reasons.append("Windows %s" % windows_functions.WIN9X_NAMES[win9x_floor])
    if not reasons:
        return None
    return "not exported by %s (first: %s)" % (" nor ".join(reasons),
                                              windows_functions.describe(record))


def problems_of(objdump, table, table_name, path):
    machine, header, imports = read_executable(objdump, path)
    problems = []
    floor = FLOORS.get(machine)
    if floor is None:
        return ["machine %s: no floor known for it" % machine], 0, "?"
    if not imports:
        problems.append("no imports found (not an executable objdump can read?)")
    want = floor[3]
    for kind in ("OSystem", "Subsystem"):
        version = tuple(int(header.get("%s%sVersion" % (half, kind), "0"), 16)
                        for half in ("Major", "Minor"))
        if version > want:
            problems.append("header: %s version %d.%d, above the floor's %d.%d (%s)"
                            % (kind.replace("OSystem", "OS"), version[0], version[1],
                               want[0], want[1], floor[0]))
    for library, function in imports:
        record = table.get((library, function))
        if record is None:
            problems.append("%s!%s: not in %s" % (library, function, table_name))
            continue
        why = too_new(record, floor)
        if why:
            problems.append("%s!%s: %s" % (library, function, why))
    return problems, len(imports), floor[0]


def check(fixed, path, reject):
    objdump, table_path = fixed
    table = windows_functions.load(table_path)
    problems, count, floor = problems_of(objdump, table, os.path.basename(table_path), path)
    return problems, "%d imports, floor %s" % (count, floor)


if __name__ == "__main__":
    sys.exit(verdicts.run(__doc__, 2, check))
