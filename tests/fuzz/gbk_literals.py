#!/usr/bin/env python3
"""Copies a UTF-8 C++ source with its narrow literals' text as GBK bytes, for compilers that
cannot take -fexec-charset=GB18030.

Every non-ASCII character inside an ordinary narrow string or character literal becomes the octal
escapes of its GB18030 bytes, which is what g++ stores for it with -fexec-charset=GB18030.
Octal escapes end after three digits, so no following character can join them, and a GBK trail
byte of 0x5C is never read as a backslash. Comments, code and the literals with an encoding
prefix (L, u, U, u8) are copied unchanged and stay UTF-8. Raw string literals are refused.

usage: gbk_literals.py SOURCE OUTPUT
"""
import os
import sys


def escape(ch):
    return "".join("\\%03o" % b for b in ch.encode("gb18030"))


def convert(text, name):
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(text[i:j])
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            if j < 0:
                raise ValueError(f"{name}: unterminated comment")
            out.append(text[i:j + 2])
            i = j + 2
        elif c in "\"'":
            # The identifier before the quote: an encoding prefix, or a digit separator (1'000).
            k = i
            while k > 0 and (text[k - 1].isalnum() or text[k - 1] == "_"):
                k -= 1
            word = text[k:i]
            if c == "'" and word and word not in ("L", "u", "U", "u8"):
                out.append(c)
                i += 1
                continue
            if c == '"' and word.endswith("R") and word in ("R", "LR", "uR", "UR", "u8R"):
                raise ValueError(f"{name}: raw string literals are not converted")
            narrow = word not in ("L", "u", "U", "u8")
            j = i + 1
            piece = [c]
            while True:
                if j >= n or text[j] == "\n":
                    raise ValueError(f"{name}: unterminated literal at offset {i}")
                d = text[j]
                if d == "\\":
                    piece.append(text[j:j + 2])
                    j += 2
                    continue
                j += 1
                if d == c:
                    piece.append(d)
                    break
                piece.append(escape(d) if narrow and ord(d) > 0x7F else d)
            out.append("".join(piece))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main():
    source, output = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    try:
        converted = convert(text, source)
    except ValueError as e:
        sys.exit(f"gbk_literals: {e}")
    os.makedirs(os.path.dirname(output) or ".", exist_ok=True)
    with open(output, "w", encoding="utf-8") as f:
        f.write(converted)


if __name__ == "__main__":
    main()
