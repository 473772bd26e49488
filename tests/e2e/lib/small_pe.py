#!/usr/bin/env python3
"""Writes a small executable image twice: as its file (FILE) and as loaded in memory (MEMORY).

   small_pe.py FILE MEMORY [--plus]

Two sections: .text (VirtualSize 0x180 in 0x200 raw bytes) and .data (VirtualSize 0x1200 in
0x1400 raw bytes), so the rebuilt file must end with 0x200 zero bytes after the data.
"""
import struct
import sys

plus = "--plus" in sys.argv
LFANEW = 0x80
OPT = 240 if plus else 224
SECTIONS = [(b".text", 0x1000, 0x180, 0x400, 0x200, b"T"), (b".data", 0x2000, 0x1200, 0x600, 0x1400, b"D")]


def headers():
    h = bytearray(0x400)
    struct.pack_into("<H", h, 0, 0x5A4D)
    struct.pack_into("<i", h, 60, LFANEW)
    struct.pack_into("<IHHIIIHH", h, LFANEW, 0x4550, 0x8664 if plus else 0x14C, len(SECTIONS), 0, 0, 0, OPT, 0x22)
    o = LFANEW + 24
    if plus:
        struct.pack_into("<H", h, o, 0x20B)
        struct.pack_into("<Q", h, o + 24, 0x140000000)
        struct.pack_into("<I", h, o + 108, 16)
    else:
        struct.pack_into("<H", h, o, 0x10B)
        struct.pack_into("<I", h, o + 28, 0x400000)
        struct.pack_into("<I", h, o + 92, 16)
    s = o + OPT
    for name, va, vs, ptr, raw, _ in SECTIONS:
        struct.pack_into("<8sIIIIIIHHI", h, s, name, vs, va, raw, ptr, 0, 0, 0, 0, 0x40000040)
        s += 40
    return h


def file_layout():
    f = bytearray(headers())
    for _, va, vs, ptr, raw, fill in SECTIONS:
        f.extend(b"\0" * (ptr + raw - len(f)))
        f[ptr:ptr + vs] = fill * vs
    return bytes(f)


def memory_layout():
    m = bytearray(0x4000)
    m[0:0x400] = headers()
    for _, va, vs, _, _, fill in SECTIONS:
        m[va:va + vs] = fill * vs
    return bytes(m)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(file_layout())
    with open(sys.argv[2], "wb") as f:
        f.write(memory_layout())
