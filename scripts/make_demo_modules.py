#!/usr/bin/env python3
"""Writes the small modules of the demo image's scanner process as JSON for the image.

   make_demo_modules.py > modules.json

Three PE32+ images: kernelbase.dll (exports FindFirstFileW, FindNextFileW, FindClose and
RegEnumKeyExW), filterkit.dll (exports FilterFindNextFileW) and umbrascopec.exe (imports the
kernelbase functions). Each function is `mov rax, imm64; ret` with the imm64 relocated, so a
module loaded away from its preferred base still compares equal once relocated. The output
holds the `files` entries (contentBase64) and the scanner process with its modules; the
FindNextFileW patch is an E9 jump into filterkit.dll's export.
"""
import base64
import json
import struct

TEXT, RDATA, RELOC = 0x1000, 0x2000, 0x3000
SIZE_OF_IMAGE = 0x4000


def build(name, preferred, exports=(), imports=(), dll=True):
    """A PE32+ file: .text (one 0x20-byte slot per function), .rdata (exports, imports), .reloc."""
    functions = list(exports) or ["main"]
    text = bytearray()
    relocs = []
    for i, _ in enumerate(functions):
        at = len(text)
        text += b"\x48\xB8" + struct.pack("<Q", preferred + RDATA) + b"\xC3"
        relocs.append(TEXT + at + 2)
        text += b"\xCC" * (0x20 - (len(text) - at))
    rdata = bytearray(0x800)
    export_dir = (0, 0)
    if exports:
        # Directory at 0, then the tables and the names.
        n = len(exports)
        funcs, names, ords = 0x40, 0x40 + 4 * n, 0x40 + 8 * n
        strings = 0x40 + 10 * n
        dll_name_at = strings
        rdata[strings:strings + len(name) + 1] = name.encode() + b"\0"
        strings += len(name) + 1
        name_rvas = []
        for i, e in enumerate(exports):
            struct.pack_into("<I", rdata, funcs + 4 * i, TEXT + 0x20 * i)
            struct.pack_into("<H", rdata, ords + 2 * i, i)
            name_rvas.append(RDATA + strings)
            rdata[strings:strings + len(e) + 1] = e.encode() + b"\0"
            strings += len(e) + 1
        for i, r in enumerate(name_rvas):
            struct.pack_into("<I", rdata, names + 4 * i, r)
        struct.pack_into("<IIHHIIIIIII", rdata, 0, 0, 0, 0, 0, RDATA + dll_name_at, 1, n, n, RDATA + funcs,
                         RDATA + names, RDATA + ords)
        export_dir = (RDATA, strings)
    import_dir, iat_dir = (0, 0), (0, 0)
    if imports:
        at = 0x400
        desc = at
        groups = {}
        for d, f in imports:
            groups.setdefault(d, []).append(f)
        at += 20 * (len(groups) + 1)
        iat_start = at
        blocks = []
        for d, fs in groups.items():
            iat = at
            at += 8 * (len(fs) + 1)
            blocks.append([d, fs, iat])
        iat_end = at
        for b in blocks:
            b.append(at)  # lookup table
            at += 8 * (len(b[1]) + 1)
        for i, (d, fs, iat, ilt) in enumerate(blocks):
            dname = at
            rdata[at:at + len(d) + 1] = d.encode() + b"\0"
            at += len(d) + 1
            for k, f in enumerate(fs):
                hint = at
                rdata[at:at + 2 + len(f) + 1] = b"\0\0" + f.encode() + b"\0"
                at += 2 + len(f) + 1
                at += at & 1
                struct.pack_into("<Q", rdata, iat + 8 * k, RDATA + hint)
                struct.pack_into("<Q", rdata, ilt + 8 * k, RDATA + hint)
            struct.pack_into("<IIIII", rdata, desc + 20 * i, RDATA + ilt, 0, 0, RDATA + dname, RDATA + iat)
        import_dir = (RDATA + desc, 20 * (len(groups) + 1))
        iat_dir = (RDATA + iat_start, iat_end - iat_start)
    reloc = struct.pack("<II", TEXT, 8 + 2 * len(relocs) + (2 if len(relocs) % 2 else 0))
    for r in relocs:
        reloc += struct.pack("<H", (10 << 12) | (r - TEXT))
    if len(relocs) % 2:
        reloc += b"\0\0"

    h = bytearray(0x400)
    struct.pack_into("<H", h, 0, 0x5A4D)
    struct.pack_into("<i", h, 60, 0x80)
    struct.pack_into("<IHHIIIHH", h, 0x80, 0x4550, 0x8664, 3, 0, 0, 0, 240, 0x2022 if dll else 0x22)
    o = 0x80 + 24
    struct.pack_into("<H", h, o, 0x20B)
    struct.pack_into("<I", h, o + 16, TEXT if not dll else 0)  # entry point
    struct.pack_into("<Q", h, o + 24, preferred)
    struct.pack_into("<II", h, o + 32, 0x1000, 0x200)
    struct.pack_into("<II", h, o + 56, SIZE_OF_IMAGE, 0x400)
    struct.pack_into("<I", h, o + 108, 16)
    dirs = {0: export_dir, 1: import_dir, 5: (RELOC, len(reloc)), 12: iat_dir}
    for i, (va, size) in dirs.items():
        struct.pack_into("<II", h, o + 112 + 8 * i, va, size)
    s = o + 240
    sections = [(b".text", TEXT, text, 0x60000020), (b".rdata", RDATA, rdata, 0x40000040),
                (b".reloc", RELOC, reloc, 0x42000040)]
    f = bytearray(h)
    for sname, va, data, ch in sections:
        raw = (len(data) + 0x1FF) // 0x200 * 0x200
        struct.pack_into("<8sIIIIIIHHI", h, s, sname, len(data), va, raw, len(f), 0, 0, 0, 0, ch)
        s += 40
        f += bytes(data) + b"\0" * (raw - len(data))
    f[0:0x400] = h
    return bytes(f)


SYSTEM32 = "C:\\WINDOWS\\system32\\"
PROGRAM = "C:\\Program Files\\Umbrascope\\umbrascopec.exe"
KB_BASE, FK_BASE, EXE_BASE = 0x7FF8A0000000, 0x7FF8B0000000, 0x140000000
KB_EXPORTS = ["FindClose", "FindFirstFileW", "FindNextFileW", "RegEnumKeyExW"]


def main():
    kernelbase = build("kernelbase.dll", 0x180000000, KB_EXPORTS)  # loaded away from its preferred base
    filterkit = build("filterkit.dll", FK_BASE, ["FilterFindNextFileW"])
    exe = build("umbrascopec.exe", EXE_BASE, imports=[("kernelbase.dll", f) for f in KB_EXPORTS[:3]], dll=False)
    patch_at = KB_BASE + TEXT + 0x20 * KB_EXPORTS.index("FindNextFileW")
    target = FK_BASE + TEXT
    rel = (target - (patch_at + 5)) & 0xFFFFFFFF
    patch = "e9 " + " ".join(f"{b:02x}" for b in struct.pack("<I", rel))
    files = [{"path": SYSTEM32 + "kernelbase.dll", "contentBase64": base64.b64encode(kernelbase).decode()},
             {"path": SYSTEM32 + "filterkit.dll", "contentBase64": base64.b64encode(filterkit).decode()},
             {"path": PROGRAM, "contentBase64": base64.b64encode(exe).decode()}]
    process = {"pid": 2020, "parentPid": 1476, "imagePath": PROGRAM,
               "threads": [{"tid": 2024, "basePriority": 8}],
               "modules": [
                   {"path": PROGRAM, "base": hex(EXE_BASE)},
                   {"path": SYSTEM32 + "kernelbase.dll", "base": hex(KB_BASE),
                    "patches": [{"export": "FindNextFileW", "hex": patch}]},
                   {"path": SYSTEM32 + "filterkit.dll", "base": hex(FK_BASE)}]}
    print(json.dumps({"files": files, "process": process}, indent=1))


if __name__ == "__main__":
    main()
