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
