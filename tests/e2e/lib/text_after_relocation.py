#!/usr/bin/env python3
"""Compares the code section of an image file with the one of a memory dump of it.

   text_after_relocation.py ORIGINAL DUMP LOAD-BASE

The original's base relocations that fall in .text are applied for LOAD-BASE (hexadecimal)
first, as the loader applied them; exit 0 when the two sections are equal.
"""
import struct
import sys


def sections(data):
    lfanew = struct.unpack_from("<i", data, 60)[0]
    count, opt_size = struct.unpack_from("<H", data, lfanew + 6)[0], struct.unpack_from("<H", data, lfanew + 20)[0]
    opt = lfanew + 24
    plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
    base = struct.unpack_from("<Q", data, opt + 24)[0] if plus else struct.unpack_from("<I", data, opt + 28)[0]
    dirs = opt + (112 if plus else 96)
    out = {}
    for i in range(count):
        name, vs, va, raw, ptr = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i)
        out[name.rstrip(b"\0").decode()] = (va, vs, raw, ptr)
    reloc = struct.unpack_from("<II", data, dirs + 8 * 5)
    return out, base, plus, reloc


def file_offset(secs, rva):
    for va, vs, raw, ptr in secs.values():
        if va <= rva < va + max(vs, raw):
            return ptr + rva - va
    raise ValueError(hex(rva))


def main():
    original = bytearray(open(sys.argv[1], "rb").read())
    dump = open(sys.argv[2], "rb").read()
    load = int(sys.argv[3], 16)
    secs, preferred, plus, (reloc_rva, reloc_size) = sections(original)
    va, vs, raw, ptr = secs[".text"]
    delta = load - preferred
    applied = 0
    if delta and reloc_rva:
        at, end = file_offset(secs, reloc_rva), file_offset(secs, reloc_rva) + reloc_size
        while at + 8 <= end:
            page, block = struct.unpack_from("<II", original, at)
            if block < 8:
                break
            for k in range((block - 8) // 2):
                entry = struct.unpack_from("<H", original, at + 8 + 2 * k)[0]
                kind, rva = entry >> 12, page + (entry & 0xFFF)
                if not va <= rva < va + vs:
                    continue
                o = ptr + rva - va
                if kind == 10:
                    struct.pack_into("<Q", original, o, (struct.unpack_from("<Q", original, o)[0] + delta) % (1 << 64))
                    applied += 1
                elif kind == 3:
                    struct.pack_into("<I", original, o, (struct.unpack_from("<I", original, o)[0] + delta) % (1 << 32))
                    applied += 1
            at += block
    n = min(vs, raw)
    want, got = bytes(original[ptr:ptr + n]), dump[ptr:ptr + n]
    diffs = sum(1 for a, b in zip(want, got) if a != b) + abs(len(want) - len(got))
    print(f".text: {n} bytes at file offset {ptr:#x}; loaded at {load:#x} (preferred {preferred:#x}), "
          f"{applied} relocations applied; {diffs} bytes differ")
    return 0 if diffs == 0 else 1


sys.exit(main())
