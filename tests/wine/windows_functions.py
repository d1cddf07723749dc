"""Reads tests/wine/windows_functions.txt, the table of the Windows functions the program
imports or binds at run time with the first Windows version of each family that exports them.

load(path) -> {(dll, function): Record}; dll is lower case, function as imported. A Record has
  nt      the first NT version as a tuple of ints ((3, 1), (4, 0), (5, 2), ...), None if none;
  win9x   the first 9x version as Windows numbers it ((4, 0) for 95, (4, 10) for 98, (4, 90) for
          Me), None if none;
  stub    True when 9x exports the name only as a stub that fails;
  source  the source keys of the row.
A malformed line raises ValueError naming the file and line.
"""
import collections

Record = collections.namedtuple("Record", "nt win9x stub source")

WIN9X = {"95": (4, 0), "98": (4, 10), "me": (4, 90)}
WIN9X_NAMES = {(4, 0): "95", (4, 10): "98", (4, 90): "Me"}


def parse_nt(text):
    if text == "-":
        return None
    parts = text.split(".")
    if len(parts) != 2 or not all(p.isdigit() for p in parts):
        raise ValueError("NT version %r is not of the form 4.0" % text)
    return tuple(int(p) for p in parts)


def parse_9x(text):
    """(version or None, stub) of a 9x field: '95', '98:stub', '-'."""
    version, _, flag = text.partition(":")
    if flag not in ("", "stub"):
        raise ValueError("9x field %r: only ':stub' may follow the version" % text)
    if version == "-":
        if flag:
            raise ValueError("9x field %r: a function 9x lacks cannot be a stub" % text)
        return None, False
    if version not in WIN9X:
        raise ValueError("9x version %r is not 95, 98, me or -" % version)
    return WIN9X[version], bool(flag)


def load(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            try:
                fields = line.split("\t")
                if len(fields) != 5 or not all(field.strip() for field in fields):
                    raise ValueError("%d fields, 5 non-empty ones separated by TABs wanted"
                                     % len(fields))
                dll, function, nt, win9x, source = fields
                if dll != dll.lower():
                    raise ValueError("dll name %r is not lower case" % dll)
                if (dll, function) in table:
                    raise ValueError("%s!%s listed twice" % (dll, function))
                version, stub = parse_9x(win9x)
                table[(dll, function)] = Record(parse_nt(nt), version, stub, source)
            except ValueError as e:
                raise ValueError("%s:%d: %s" % (path, number, e)) from None
    return table


def describe(record):
    """'NT 5.0, 9x: none' style text of a record's versions."""
    nt = "NT %d.%d" % record.nt if record.nt else "no NT"
    if record.win9x is None:
        w9x = "no 9x"
    else:
        w9x = "Windows %s%s" % (WIN9X_NAMES[record.win9x], " (stub)" if record.stub else "")
    return "%s, %s" % (nt, w9x)
