#!/usr/bin/env python3
"""Converts the 24-bit bottom-up BMP that the window driver writes into a PNG (standard library only)."""
import struct
import sys
import zlib


def convert(source, target):
    data = open(source, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{source}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24:
        raise SystemExit(f"{source}: {bits} bits per pixel, expected 24")
    stride = (width * 3 + 3) // 4 * 4
    bottom_up = height > 0
    height = abs(height)
    raw = bytearray()
    for y in range(height):
        row_index = height - 1 - y if bottom_up else y
        row = data[offset + row_index * stride: offset + row_index * stride + width * 3]
        raw.append(0)
        # BGR to RGB
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        raw += rgb

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(target + ".part", "wb") as out:
        out.write(png)
    import os
    os.replace(target + ".part", target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: bmp_to_png.py FILE.bmp FILE.png")
    convert(sys.argv[1], sys.argv[2])
