#!/usr/bin/env python3
"""Checks the Windows functions that kalvit.exe called on an old Windows.

usage: check_trace.py [--reject] TABLE TRACE...
       check_trace.py --filter OBJDUMP EXE POSE < RELAY-LOG > TRACE

--filter reads Wine's relay log (WINEDEBUG=+pid,+relay: "0108:010c:Call user32.SendMessageW(...)
ret=1400029d7") of a run whose driver noted "journey: kalvit.exe is process 0108", keeps the
calls of that process whose return address lies inside EXE's image (ImageBase up to SizeOfImage,
from objdump -p), and writes each called function once: its library and name as EXE imports it
(Wine forwards some to kernelbase or ntdll), how often, and the first such line. The names the
program asked GetProcAddress for come as "getprocaddress NAME" lines. POSE is win98 or nt40.

The check reads TABLE (tests/wine/windows_functions.txt: dll, function, first NT version, first
9x version with ":stub" for a failing stub, source) and fails a trace on
  - a function the table does not know;
  - win98: a function absent from the 9x family, only a stub there, or newer than Windows 98;
  - nt40: a function absent from NT or newer than NT 4.0;
except for a function the program bound itself through GetProcAddress, with its fallback: Wine
exports it even when it answers as an old Windows. On 98 such a function that is only a stub on
9x still fails, since GetProcAddress finds the stub there. A trace without a single call fails.
With --reject the traces are samples that must each fail, on the functions their "# expect:"
lines name and on none that their "# allow:" lines name; it prints "rejected: N of M" and the
test reads that line.
"""
import collections
import re
import subprocess
import sys

import verdicts

CALL = re.compile(r"^([0-9a-f]+):[0-9a-f]+:Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$")
OTHER_RELAY = re.compile(r"^([0-9a-f]+:[0-9a-f]+:(Call|Ret|trace:relay)|Call window proc|"
                         r"Ret  window proc|\s|\(|$)")
PROCESS = re.compile(r"journey: kalvit\.exe is process ([0-9a-f]+)")
GETPROC_NAME = re.compile(r'"([^"]+)"\s*$')
NINE_X = {"95": (4, 0), "98": (4, 10), "me": (4, 90)}
POSES = {"win98": "98", "nt40": "4.0"}
# ntdll functions that kernel32 forwards to, under another name than Rtl + its own.
NTDLL_NAMES = {"RtlAllocateHeap": "HeapAlloc", "RtlFreeHeap": "HeapFree",
               "RtlReAllocateHeap": "HeapReAlloc", "RtlSizeHeap": "HeapSize",
               "RtlMoveMemory": "MoveMemory", "RtlZeroMemory": "ZeroMemory"}

Record = collections.namedtuple("Record", "nt win9x stub source")


def version(text):
    return tuple(int(p) for p in text.split(".")) if text and text != "-" else None


def load_table(path):
    """The table as windows_functions.load gives it: (dll, function) -> Record."""
    try:
        import windows_functions
        return windows_functions.load(path)
    except ImportError:
        pass
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            dll, function, nt, nine, source = (line.rstrip("\n").split("\t") + [""] * 5)[:5]
            stub = nine.endswith(":stub")
            nine = nine[:-5] if stub else nine
            table[(dll.lower(), function)] = Record(version(nt), NINE_X.get(nine), stub, source)
    return table


def image_and_imports(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", out, re.M).group(1), 16)
    size = int(re.search(r"^SizeOfImage\s+([0-9a-fA-F]+)", out, re.M).group(1), 16)
    imports, library = {}, None
    for line in out.splitlines():
        m = re.match(r"^\tDLL Name: (\S+)", line)
        if m:
            library = m.group(1).lower()
            continue
        m = re.match(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if library and m:
            imports[m.group(1)] = library
        elif line and not line.startswith("\t"):
            library = None
    return base, size, imports


# What the 64-bit C runtime calls where the 32-bit one, which the old systems load, reads the
# same data or keeps time in 32 bits.
CRT64_NAMES = {"__iob_func": "_iob", "___mb_cur_max_func": "__mb_cur_max",
               "___lc_codepage_func": "__lc_codepage", "_time64": "time"}


def canonical(library, function, imports):
    """The library and name under which the program imports a traced function. The 64-bit
    build's GetWindowLongPtrW and its kind are the 32-bit build's GetWindowLongW (macros there),
    and its C runtime's accessors are the 32-bit runtime's data."""
    narrow = re.sub(r"^((Get|Set)(Window|Class)Long)Ptr([AW])$", r"\1\4", function)
    if function in CRT64_NAMES and (imports.get(function, library).lower().startswith("msvcrt")):
        return "msvcrt.dll", CRT64_NAMES[function]
    if function in imports:
        return imports[function], narrow
    if library.lower() == "ntdll" and function.startswith("Rtl"):
        name = NTDLL_NAMES.get(function, function[3:])
        if name in imports:
            return imports[name], name
    return library.lower() + ("" if "." in library else ".dll"), narrow


def filter_log(objdump, exe, pose, log, out):
    base, size, imports = image_and_imports(objdump, exe)
    ours, calls, names, passed = set(), {}, {}, [0]
    for line in log:
        line = line.rstrip("\n")
        m = PROCESS.search(line)
        if m:
            ours.add(m.group(1))
            continue
        m = CALL.match(line)
        if not m:
            # Wine's and the driver's own messages go on, the rest of the relay log does not.
            if not OTHER_RELAY.match(line) and passed[0] < 200:
                passed[0] += 1
                sys.stderr.write(line + "\n")
            continue
        if not base <= int(m.group(5), 16) < base + size:
            continue
        pid, library, function, args = m.group(1), m.group(2), m.group(3), m.group(4)
        key = (pid,) + canonical(library, function, imports)
        if key in calls:
            calls[key][0] += 1
        else:
            calls[key] = [1, line]
        if function == "GetProcAddress":
            n = GETPROC_NAME.search(args)
            if n:
                names.setdefault((pid, n.group(1)), line)
    out.write("# relay trace of kalvit.exe: calls from its image %x-%x\n" % (base, base + size))
    out.write("# pose: %s\n# processes: %s\n" % (pose, " ".join(sorted(ours)) or "none noted"))
    for (pid, dll, function), (count, line) in sorted(calls.items()):
        if pid in ours:
            out.write("%s\t%s\t%d\t%s\n" % (dll, function, count, line))
    for (pid, name), line in sorted(names.items()):
        if pid in ours:
            out.write("getprocaddress\t%s\t\t%s\n" % (name, line))


def judge(table, path):
    pose, calls, bound, expected = None, [], set(), set()
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^# pose: (\S+)", line)
            if m:
                pose = m.group(1)
            m = re.match(r"^# (expect|allow): (.+)", line)
            if m:
                expected.update(("" if m.group(1) == "expect" else "!") + name
                                for name in m.group(2).split())
            if line.startswith("#") or not line.strip():
                continue
            fields = line.rstrip("\n").split("\t")
            if fields[0] == "getprocaddress":
                bound.add(fields[1])
            else:
                calls.append((fields[0], fields[1]))
    if pose not in POSES:
        return ["no '# pose: win98|nt40' line"], expected
    if not calls:
        return ["no call from the program's image: no trace, or the wrong image?"], expected
    by_name = collections.defaultdict(list)
    for (dll, function) in table:
        by_name[function].append(dll)
    problems = []
    for dll, function in calls:
        record = table.get((dll, function))
        if record is None and len(by_name.get(function, [])) == 1:
            dll = by_name[function][0]
            record = table[(dll, function)]
        where = "%s!%s" % (dll, function)
        late = function in bound
        if record is None:
            problems.append("%s: not in the table" % where)
        elif pose == "win98":
            if record.win9x is not None and record.stub:
                problems.append("%s: only a failing stub on 9x%s" %
                                (where, " (bound through GetProcAddress)" if late else ""))
            elif late:
                pass
            elif record.win9x is None:
                problems.append("%s: not on the 9x family" % where)
            elif record.win9x > NINE_X["98"]:
                problems.append("%s: newer than Windows 98" % where)
        elif not late:
            if record.nt is None:
                problems.append("%s: not on NT" % where)
            elif record.nt > (4, 0):
                problems.append("%s: newer than NT 4.0 (%s)" % (where, ".".join(map(str, record.nt))))
    return problems, expected


def check(fixed, path, reject):
    problems, expected = judge(load_table(fixed[0]), path)
    if reject:
        # "# expect: dll!function" must be among the problems, "# allow: dll!function" not.
        found = lambda e: any(p.startswith(e.lstrip("!") + ":") for p in problems)
        wrong = [e for e in sorted(expected) if found(e) == e.startswith("!")]
        if wrong:
            return [], "not as the sample expects: %s" % " ".join(wrong)
    return problems, "every call allowed"


if __name__ == "__main__":
    if sys.argv[1:2] == ["--filter"] and len(sys.argv) == 5:
        filter_log(sys.argv[2], sys.argv[3], sys.argv[4],
                   open(sys.stdin.fileno(), encoding="utf-8", errors="replace"), sys.stdout)
        sys.exit(0)
    sys.exit(verdicts.run(__doc__, 1, check))
