#!/usr/bin/env python3
"""Prints a C++ string literal holding the GBK bytes of a text.

The engine keeps its texts as GBK bytes while the sources stay ASCII:
  scripts/gbk-literal.py "搜索已经结束!"
"""
import sys


def literal(text: str) -> str:
    out, after_escape = [], False
    for byte in text.encode("gbk"):
        ch = chr(byte)
        if byte >= 0x80 or byte < 0x20:
            out.append("\\x%02X" % byte)
            after_escape = True
            continue
        if after_escape and ch in "0123456789abcdefABCDEF":
            out.append('" "')  # a hex digit would continue the escape
        out.append({"\\": "\\\\", '"': '\\"'}.get(ch, ch))
        after_escape = False
    return '"' + "".join(out) + '"'


if __name__ == "__main__":
    for arg in sys.argv[1:]:
        print(literal(arg))
