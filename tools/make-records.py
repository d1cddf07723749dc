#!/usr/bin/env python3
"""Writes data/kalvit.dat and data/kalvitif.dat, the machine records delivered with the program.

They hold the base system only, as the program saves it on Windows: GBK text, CRLF line ends.
"kalvit.dat" has the name line and the numbers line ("%5.2f" of each single-precision speed,
then the flags in eight hex digits and the display mode); "kalvitif.dat" has the base system's
information text, one line per item in the order the program collects them, ended by its 0 byte.

    tools/make-records.py [DATA_DIR]
    tools/make-records.py --check [DATA_DIR]

DATA_DIR defaults to the repository's data/; --check compares instead of writing and fails when
either file differs.
"""

import argparse
import pathlib
import struct
import sys

NAME = "基本系统: 联想奔月4000 PIII650E"
SPEEDS = (35.70, 3.39, 253.49, 339.74, 16.82)
FLAGS = 0
MODE = (1024, 768, 16)

# Computer name, processor, its features, clock, display adapter, its ids, video memory, display
# mode, disk space, BIOS version, BIOS date, physical memory, page file, Windows, collection time.
INFO_LINES = (
    "LENOVO-BY4000",
    "Pentium-III/Celeron-II",
    "MMX SSE ",
    "%-5dMHz    " % 650,
    "NVIDIA RIVA TNT2 Model 64",
    "%04X %04X" % (0x10DE, 0x002D),
    "%d MB" % 32,
    "%dx%d %dbit" % MODE,
    "总共%dM 剩余%dM" % (19077, 13542),
    "Award Modular BIOS v6.00PG",
    "06/28/00",
    "总共%dM 剩余%dM" % (128, 41),
    "总共%dM 剩余%dM" % (512, 446),
    "%s %d.%d.%d" % ("Win98", 4, 10, 2222),
    "2000-12-18 09:26:41",
)
MAX_INFO_BYTES = 1023


def single(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def text_mode(lf_text):
    return lf_text.encode("gbk").replace(b"\n", b"\r\n")


def record_bytes():
    numbers = "".join(" %5.2f" % single(speed) for speed in SPEEDS)
    numbers += " %08X %d %d %d" % ((FLAGS,) + MODE)
    return text_mode("<%s\n%s\n" % (NAME, numbers))


def info_bytes():
    text = "".join(line + "\n" for line in INFO_LINES)
    if len(text.encode("gbk")) >= MAX_INFO_BYTES:
        sys.exit("the information text does not fit in %d bytes" % MAX_INFO_BYTES)
    return text_mode(text) + b"\0"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true")
    default_dir = pathlib.Path(__file__).resolve().parent.parent / "data"
    parser.add_argument("data_dir", nargs="?", type=pathlib.Path, default=default_dir)
    args = parser.parse_args()

    files = {"kalvit.dat": record_bytes(), "kalvitif.dat": info_bytes()}
    differ = False
    for name, content in files.items():
        path = args.data_dir / name
        if args.check:
            if not path.exists() or path.read_bytes() != content:
                print("%s differs" % path, file=sys.stderr)
                differ = True
        else:
            path.write_bytes(content)
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
