#!/usr/bin/env python3
"""Writes data/dderr.txt, the DirectDraw error names the program looks up, from a ddraw.h.

Every "#define DDERR_NAME MAKE_DDHRESULT(n)" becomes the line "0x8876XXXX DDERR_NAME = n" in the
header's order: the code in hex, the name, "=", and the error number in decimal, the four fields
the program reads. Errors defined as something else (DDERR_GENERIC is E_FAIL, and so on) are not
of DirectDraw's family; the program names them itself. The file has CRLF line ends and nothing
but error lines.

    tools/make-dderr.py /usr/share/mingw-w64/include/ddraw.h [data/dderr.txt]
    tools/make-dderr.py --check /usr/share/mingw-w64/include/ddraw.h data/dderr.txt

Without an output file the lines go to standard output; --check compares instead of writing
and fails when the file differs.
"""

import argparse
import re
import sys

DEFINE = re.compile(r"^\s*#\s*define\s+(DDERR_\w+)\s+MAKE_DDHRESULT\s*\(\s*(\d+)\s*\)")


def error_lines(header_text):
    seen = set()
    lines = []
    for source_line in header_text.splitlines():
        match = DEFINE.match(source_line)
        if not match or match.group(1) in seen:
            continue
        name, number = match.group(1), int(match.group(2))
        seen.add(name)
        lines.append(f"0x{0x88760000 | number:08X} {name} = {number}\r\n")
    return "".join(lines).encode("ascii")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the output file instead of writing it")
    parser.add_argument("header", help="ddraw.h")
    parser.add_argument("output", nargs="?", help="the error file (standard output if left out)")
    args = parser.parse_args()

    with open(args.header, encoding="latin-1") as header:
        data = error_lines(header.read())
    if not data:
        sys.exit(f"{args.header}: no DDERR_ definitions found")
    if args.check:
        if args.output is None:
            parser.error("--check needs the file to compare with")
        with open(args.output, "rb") as existing:
            if existing.read() != data:
                sys.exit(f"{args.output} differs from what {args.header} gives; "
                         f"rewrite it with tools/make-dderr.py")
        count = data.count(b"\n")
        print(f"{args.output}: {count} errors, as {args.header} gives")
    elif args.output is None:
        sys.stdout.buffer.write(data)
    else:
        with open(args.output, "wb") as output:
            output.write(data)


if __name__ == "__main__":
    main()
