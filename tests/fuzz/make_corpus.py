#!/usr/bin/env python3
"""Writes the binary seed inputs of the fuzz targets into corpus/<target>/ (x86-64 layouts)."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def utf16(text):
    return text.encode("utf-16-le")


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chain(records):
    """Links records through NextEntryOffset (8-byte aligned, 0 in the last)."""
    out = b""
    for i, r in enumerate(records):
        if i + 1 < len(records):
            r += b"\0" * (-len(r) % 8)
            r = struct.pack("<I", len(r)) + r[4:]
        out += r
    return out


# --- directory records: one level byte, then the query buffer ---
TIME_2008 = 128580000000000000  # a FILETIME in June 2008


def dir_record(level, name, attributes=0x20, size=0, short=""):
    n = utf16(name)
    if level == 0:
        return struct.pack("<III", 0, 0, len(n)) + n
    head = struct.pack("<II4QqqII", 0, 0, TIME_2008, TIME_2008, TIME_2008, TIME_2008, size,
                       (size + 4095) // 4096 * 4096, attributes, len(n))
    if level == 1:
        return head + n
    head += struct.pack("<I", 0)  # extended-attribute size
    if level == 2:
        return head + n
    s = utf16(short)
    return head + struct.pack("<B", len(s)) + b"\0" + s.ljust(24, b"\0") + n


write("fuzz_directory_records", "names", b"\0" + chain([dir_record(0, "a"), dir_record(0, "b\0c")]))
write("fuzz_directory_records", "directory", b"\1" + dir_record(1, "ghost.sys", size=512))
write("fuzz_directory_records", "full-dots",
      b"\2" + chain([dir_record(2, ".", 0x10), dir_record(2, "..", 0x10), dir_record(2, "x.txt", size=3)]))
write("fuzz_directory_records", "both-short",
      b"\3" + chain([dir_record(3, "Program Files", 0x10, short="PROGRA~1"), dir_record(3, "con.txt")]))
write("fuzz_directory_records", "name-cut", b"\2" + dir_record(2, "long name")[:-6])

# --- stream information: the class-22 buffer ---


def stream_record(name, size):
    n = utf16(name)
    return struct.pack("<IIqq", 0, len(n), size, (size + 4095) // 4096 * 4096) + n


write("fuzz_stream_information", "two", chain([stream_record("::$DATA", 12), stream_record(":extra:$DATA", 3)]))
write("fuzz_stream_information", "one", stream_record("::$DATA", 0))
write("fuzz_stream_information", "zero-in-name", stream_record(":a\0b:$DATA", 1))

# --- backup streams: one byte of largest read, then the backup image ---


def backup_stream(kind, name, data):
    n = utf16(name)
    return struct.pack("<IIqI", kind, 0, len(data), len(n)) + n + data


IMAGE = backup_stream(3, "", b"\1\0\4\x80") + backup_stream(1, "", b"hello") + backup_stream(
    4, ":extra:$DATA", b"abc")
write("fuzz_backup_streams", "whole-reads", b"\0" + IMAGE)
write("fuzz_backup_streams", "short-reads", b"\3" + IMAGE)
write("fuzz_backup_streams", "data-cut", b"\7" + backup_stream(4, ":x:$DATA", b"abcdef")[:-2])

# --- registry records: 4 bytes of the length reported as written, then the record ---


def key_basic(name):
    n = utf16(name)
    return struct.pack("<qII", TIME_2008, 0, len(n)) + n


def value_basic(name, kind):
    n = utf16(name)
    return struct.pack("<III", 0, kind, len(n)) + n


def value_full(name, kind, data):
    n = utf16(name)
    at = 20 + len(n)
    at += -at % 4
    return (struct.pack("<IIIII", 0, kind, at, len(data), len(n)) + n).ljust(at, b"\0") + data


for name, rec in [("key", key_basic("Run")), ("key-zero", key_basic("a\0b")), ("value", value_basic("ghost", 1)),
                  ("full-sz", value_full("ghost", 1, utf16("C:\\WINDOWS\\ghost.exe\0"))),
                  ("full-dword", value_full("", 4, struct.pack("<I", 1)))]:
    write("fuzz_registry_records", name, struct.pack("<I", len(rec)) + rec)
write("fuzz_registry_records", "claims-more", struct.pack("<I", 4096) + value_full("v", 3, b"\1\2\3"))

# --- handle table: one byte of the longest file name, then the buffer ---


def table16(entries):
    out = struct.pack("<Q", len(entries))
    for pid, kind, handle in entries:
        out += struct.pack("<HHBBHQI4x", pid, 0, kind, 0, handle, 0xFFFF800000001000, 0x12019F)
    return out


def table64(entries):
    out = struct.pack("<QQ", len(entries), 0)
    for pid, kind, handle in entries:
        out += struct.pack("<QQQIHHII", 0xFFFF800000001000, pid, handle, 0x12019F, 0, kind, 0, 0)
    return out


write("fuzz_handle_table", "class16", b"\xff" + table16([(4, 28, 0x10), (1234, 28, 0x24)]))
write("fuzz_handle_table", "class64", b"\xff" + table64([(70000, 37, 0x10004), (4, 5, 0x8)]))
name = utf16("\\Device\\HarddiskVolume1\\WINDOWS\\ghost.sys")
write("fuzz_handle_table", "object-name", b"\x20" + struct.pack("<HH4xQ", len(name), len(name) + 2, 0) + name)
write("fuzz_handle_table", "file-name", b"\xff" + struct.pack("<I", len(name)) + name)

# --- native listing: level byte (top bit: keep dot entries), then the directory query answers ---


def dir_answer(at, data):
    return struct.pack("<IH", at, len(data)) + data


write("fuzz_native_listing", "two-calls",
      b"\x82" + dir_answer(0, chain([dir_record(2, ".", 0x10), dir_record(2, "..", 0x10)]))
      + dir_answer(0, dir_record(2, "ghost.sys", size=512)))
write("fuzz_native_listing", "names", b"\0" + dir_answer(0, chain([dir_record(0, "a"), dir_record(0, "b\0c")])))
write("fuzz_native_listing", "at-buffer-end", b"\3" + dir_answer(65536 - 120, dir_record(3, "n" * 40, short="N~1")))

# --- registry listing: operation byte, then the registry query answers ---
SUCCESS, OVERFLOW, TOO_SMALL, NO_MORE = 0, 1, 2, 3


def reg_answer(status, length, data):
    return struct.pack("<BIH", status, length, len(data)) + data


long_value = value_basic("v" * 300, 1)
full = value_full("v", 1, utf16("C:\\WINDOWS\\ghost.exe\0"))
write("fuzz_registry_listing", "key-names",
      b"\0" + reg_answer(SUCCESS, 22, key_basic("Run")) + reg_answer(SUCCESS, 22, key_basic("a\0b"))
      + reg_answer(NO_MORE, 0, b""))
write("fuzz_registry_listing", "long-value-name",
      b"\1" + reg_answer(OVERFLOW, len(long_value), long_value[:12]) + reg_answer(SUCCESS, len(long_value), long_value))
write("fuzz_registry_listing", "read-text", b"\2" + reg_answer(TOO_SMALL, len(full), b"") + reg_answer(SUCCESS, len(full), full))
qword = value_full("v", 11, struct.pack("<Q", 2**63))
write("fuzz_registry_listing", "read-qword", b"\5" + reg_answer(TOO_SMALL, len(qword), b"") + reg_answer(SUCCESS, len(qword), qword))

# --- stream listing: the stream query answers ---
OK, MISMATCH = 0, 3


def stream_answer(status, information, data):
    return struct.pack("<BIH", status, information, len(data)) + data


streams = chain([stream_record("::$DATA", 4), stream_record(":extra:$DATA", 3)])
write("fuzz_stream_listing", "two", stream_answer(OK, len(streams), streams))
write("fuzz_stream_listing", "grows", stream_answer(MISMATCH, 0, b"") + stream_answer(OVERFLOW, 0, b"")
      + stream_answer(OK, len(streams), streams))
write("fuzz_stream_listing", "says-more", stream_answer(OK, 100000, stream_record(":a\0b:$DATA", 1)))

# --- executable images: PE32 and PE32+ files with every directory, and images as loaded ---


def pe_image(plus, data, directories, memory=False):
    """Headers, one section .rdata (RVA 0x1000, file offset 0x200) holding `data`, and a .bss."""
    lfanew, opt = 0x80, (240 if plus else 224)
    raw = (len(data) + 0x1FF) & ~0x1FF
    h = bytearray(0x200)
    struct.pack_into("<Hxx", h, 0, 0x5A4D)
    struct.pack_into("<i", h, 60, lfanew)
    struct.pack_into("<IHHIIIHH", h, lfanew, 0x4550, 0x8664 if plus else 0x14C, 2, 0, 0, 0, opt, 0x22)
    o = lfanew + 24
    struct.pack_into("<H", h, o, 0x20B if plus else 0x10B)
    if plus:
        struct.pack_into("<Q", h, o + 24, 0x140000000)
    else:
        struct.pack_into("<I", h, o + 28, 0x400000)
    dirs = o + (112 if plus else 96)
    struct.pack_into("<I", h, dirs - 4, 16)
    for index, (rva, size) in directories.items():
        struct.pack_into("<II", h, dirs + 8 * index, rva, size)
    s = o + opt
    struct.pack_into("<8sIIIIIIHHI", h, s, b".rdata", len(data), 0x1000, raw, 0x200, 0, 0, 0, 0, 0x40000040)
    struct.pack_into("<8sIIIIIIHHI", h, s + 40, b".bss", 0x100, 0x2000, 0, 0, 0, 0, 0, 0, 0xC0000080)
    body = bytes(h)
    if memory:
        return body + b"\0" * (0x1000 - len(body)) + data + b"\0" * (0x1100 - len(data))
    return body + data + b"\0" * (raw - len(data))


def directories_data(plus):
    d = bytearray(0x400)
    w = 8 if plus else 4
    struct.pack_into("<IIIII", d, 0, 0x1100, 0, 0, 0x1180, 0x1100)  # one import descriptor
    struct.pack_into("<Q" if plus else "<I", d, 0x100, 0x11A0)
    struct.pack_into("<Q" if plus else "<I", d, 0x100 + w, (1 << (63 if plus else 31)) | 5)  # by ordinal
    d[0x180:0x18D] = b"KERNEL32.dll\0"
    d[0x1A2:0x1AE] = b"ExitProcess\0"
    struct.pack_into("<IIHHIIIIIII", d, 0x200, 0, 0, 0, 0, 0, 1, 2, 1, 0x1240, 0x1250, 0x1260)  # exports
    struct.pack_into("<II", d, 0x240, 0x1234, 0x1238)
    struct.pack_into("<I", d, 0x250, 0x1270)
    d[0x270:0x276] = b"Entry\0"
    struct.pack_into("<HH", d, 0x300 + 12, 1, 1)  # resources: one named type, one ID type
    struct.pack_into("<II", d, 0x310, 0x80000060, 0x80000020)
    struct.pack_into("<II", d, 0x318, 3, 0x80000020)
    struct.pack_into("<H", d, 0x320 + 14, 1)
    struct.pack_into("<II", d, 0x330, 1, 0x80000038)
    struct.pack_into("<H", d, 0x338 + 14, 1)
    struct.pack_into("<II", d, 0x348, 1033, 0x70)
    struct.pack_into("<H3s", d, 0x360, 3, b"")
    d[0x362:0x368] = "ABC".encode("utf-16-le")
    struct.pack_into("<IIII", d, 0x370, 0x1400, 0x10, 1252, 0)
    struct.pack_into("<IIHHIIII", d, 0x380, 0, 0, 0, 0, 2, 0x30, 0, 0x200 + 0x3A0)  # debug: RSDS
    d[0x3A0:0x3A4] = b"RSDS"
    d[0x3B8:0x3C6] = b" C:\\build.pdb\0"
    return bytes(d)


EVERY = {1: (0x1000, 0x28), 0: (0x1200, 0x80), 2: (0x1300, 0x80), 6: (0x1380, 28)}
for plus, tag in ((False, "pe32"), (True, "pe32plus")):
    write("fuzz_pe_reader", tag + "-directories", pe_image(plus, directories_data(plus), EVERY))
    write("fuzz_pe_reader", tag + "-no-optional-directories", pe_image(plus, b"code" * 64, {}))
    write("fuzz_layout_rebuild", tag + "-memory", pe_image(plus, directories_data(plus), EVERY, memory=True))
    write("fuzz_layout_rebuild", tag + "-sections-only", pe_image(plus, b"\xCC" * 0x300, {}, memory=True))

# --- loader walks: a relocation directory, and whole images laid out and relocated ---
write("fuzz_pe_walks", "relocation-block", struct.pack("<IIHHHH", 0x1000, 16, 0xA010, 0x3020, 0, 0))
write("fuzz_pe_walks", "block-size-zero", struct.pack("<II", 0x1000, 0))
for plus, tag in ((False, "pe32"), (True, "pe32plus")):
    write("fuzz_pe_walks", tag + "-directories", pe_image(plus, directories_data(plus), EVERY))
