#!/usr/bin/env python3
"""Checks the memory test's copy loops in an object file's disassembly.

usage: check_copy_disasm.py OBJDUMP OBJECT

copy_words_both_ends must copy with single 32-bit loads and stores: no vector registers, no string
moves, no call of a block copy. copy_blocks_4k must call the library's block copy instead of
inlining string moves. Exits 1 with the offending lines otherwise.
"""
import re
import subprocess
import sys

VECTOR = re.compile(r"%[xyz]mm\d+")
STRING_MOVE = re.compile(r"\b(rep[a-z]*\s+)?movs[bwlq]?\b|\brep\s")
BLOCK_COPY = re.compile(r"\b(memcpy|memmove|__memcpy\w*|__memmove\w*)\b")
# A 32-bit general register as the destination of a load or the source of a store.
LOAD32 = re.compile(r"\bmov\s+\S*\(%\w+(,%\w+(,\d)?)?\),%(e[a-z]{2}|r\d+d)\b")
STORE32 = re.compile(r"\bmov\s+%(e[a-z]{2}|r\d+d),\S*\(%\w+(,%\w+(,\d)?)?\)")
CALL = re.compile(r"\bcall[a-z]*\b")


def function_body(disassembly, name):
    lines, inside = [], False
    for line in disassembly.splitlines():
        if re.search(r"<%s>:$" % re.escape(name), line):
            inside = True
            continue
        if inside:
            if not line.strip() or re.search(r">:$", line):
                break
            lines.append(line)
    return lines


def main():
    objdump, obj = sys.argv[1], sys.argv[2]
    text = subprocess.run([objdump, "-dr", "--no-show-raw-insn", obj], check=True,
                          capture_output=True, text=True).stdout
    problems = []

    words = function_body(text, "copy_words_both_ends")
    if not words:
        problems.append("copy_words_both_ends not found")
    for line in words:
        if VECTOR.search(line) or STRING_MOVE.search(line) or BLOCK_COPY.search(line):
            problems.append("copy_words_both_ends: " + line.strip())
    if words and not (any(LOAD32.search(l) for l in words) and any(STORE32.search(l) for l in words)):
        problems.append("copy_words_both_ends: no 32-bit load and store")

    blocks = function_body(text, "copy_blocks_4k")
    if not blocks:
        problems.append("copy_blocks_4k not found")
    for line in blocks:
        if STRING_MOVE.search(line):
            problems.append("copy_blocks_4k: " + line.strip())
    if blocks and not any(CALL.search(l) for l in blocks):
        problems.append("copy_blocks_4k: the block copy is not called")

    for p in problems:
        print(p)
    print("%s: %s" % (obj, "FAILED" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
