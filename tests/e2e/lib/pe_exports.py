#!/usr/bin/env python3
"""Prints the named exports of a PE file that are code, one "RVA NAME" line each (RVA in hex).

   pe_exports.py FILE

Forwarders (whose address lies inside the export directory) name no code and are left out.
"""
import struct
import sys


def main():
    data = open(sys.argv[1], "rb").read()
    lfanew = struct.unpack_from("<I", data, 60)[0]
    count, opt_size = struct.unpack_from("<H", data, lfanew + 6)[0], struct.unpack_from("<H", data, lfanew + 20)[0]
    opt = lfanew + 24
    plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
    dirs = opt + (112 if plus else 96)
    sections = [struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i) for i in range(count)]

    def at(rva):
        for _, vsize, va, raw, ptr in sections:
            if va <= rva < va + max(vsize, raw):
                return ptr + rva - va
        raise ValueError(hex(rva))

    exp_rva, exp_size = struct.unpack_from("<II", data, dirs)
    if exp_rva == 0:
        return 0
    e = at(exp_rva)
    n_functions, n_names, functions, names, ordinals = struct.unpack_from("<IIIII", data, e + 20)
    for i in range(n_names):
        name_at = at(struct.unpack_from("<I", data, at(names) + 4 * i)[0])
        name = data[name_at:data.index(b"\0", name_at)].decode("ascii", "replace")
        ordinal = struct.unpack_from("<H", data, at(ordinals) + 2 * i)[0]
        if ordinal >= n_functions:
            continue
        rva = struct.unpack_from("<I", data, at(functions) + 4 * ordinal)[0]
        if exp_rva <= rva < exp_rva + exp_size:
            continue
        print(f"{rva:x} {name}")
    return 0


sys.exit(main())
