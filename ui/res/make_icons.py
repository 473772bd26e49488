#!/usr/bin/env python3
"""Draws the desktop program's icons and writes them as .ico files next to this script.

Every icon is a few flat shapes drawn at several sizes with 4x4 supersampling, stored as
32-bit images with alpha (plus the AND mask older list views read). Run it again after a
change and commit the .ico files: the build only reads them.
"""
import math
import os
import struct

SIZES = (16, 24, 32, 48)
SUB = 4  # supersampling per axis


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def segment(ax, ay, bx, by, width):
    def inside(x, y):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def render(layers, size):
    """layers: (shape over the unit square, (r, g, b, a)) painted in order."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for shape, (cr, cg, cb, ca) in layers:
                hits = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        if shape((px + (sx + 0.5) / SUB) / size, (py + (sy + 0.5) / SUB) / size):
                            hits += 1
                if not hits:
                    continue
                sa = ca / 255.0 * hits / (SUB * SUB)
                # "over" compositing in premultiplied form
                r = cr * sa + r * (1 - sa)
                g = cg * sa + g * (1 - sa)
                b = cb * sa + b * (1 - sa)
                a = sa + a * (1 - sa)
            if a > 0:
                row.append((int(r / a + 0.5), int(g / a + 0.5), int(b / a + 0.5), int(a * 255 + 0.5)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def ico_image(pixels):
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def write_ico(name, layers):
    images = [(s, ico_image(render(layers, s))) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as f:
        f.write(out)


WHITE = (255, 255, 255, 255)
OUTLINE = (64, 64, 64, 255)
SHADOW = (20, 24, 40, 255)

ICONS = {
    # The program: a lens over a shadowed half, on a handle.
    "umbrascope.ico": [
        (segment(0.62, 0.62, 0.90, 0.90, 0.16), (90, 60, 30, 255)),
        (circle(0.42, 0.42, 0.36), (30, 50, 110, 255)),
        (circle(0.42, 0.42, 0.28), (170, 205, 240, 255)),
        (both(circle(0.42, 0.42, 0.28), lambda x, y: x + y > 0.84), SHADOW),
    ],
    # Indicator states (32 x 32 list): not run, found something, nothing found.
    "state_not_run.ico": [
        (circle(0.5, 0.5, 0.44), (150, 150, 150, 255)),
        (circle(0.5, 0.5, 0.34), (215, 215, 215, 255)),
    ],
    "state_found.ico": [
        (circle(0.5, 0.5, 0.46), (200, 30, 30, 255)),
        (rect(0.43, 0.20, 0.57, 0.60), WHITE),
        (circle(0.5, 0.75, 0.08), WHITE),
    ],
    "state_clean.ico": [
        (circle(0.5, 0.5, 0.46), (30, 150, 60, 255)),
        (segment(0.27, 0.52, 0.44, 0.70, 0.13), WHITE),
        (segment(0.44, 0.70, 0.74, 0.32, 0.13), WHITE),
    ],
    # Finding kinds (16 x 16 list).
    "kind_process.ico": [
        (rect(0.06, 0.14, 0.94, 0.86), OUTLINE),
        (rect(0.12, 0.32, 0.88, 0.80), WHITE),
        (rect(0.12, 0.20, 0.88, 0.30), (40, 90, 200, 255)),
    ],
    "kind_other.ico": [
        (circle(0.5, 0.5, 0.40), OUTLINE),
        (circle(0.5, 0.5, 0.30), (200, 200, 200, 255)),
    ],
    "kind_folder.ico": [
        (polygon([(0.06, 0.20), (0.40, 0.20), (0.48, 0.30), (0.94, 0.30), (0.94, 0.84), (0.06, 0.84)]),
         (150, 110, 20, 255)),
        (rect(0.12, 0.38, 0.88, 0.78), (245, 200, 70, 255)),
    ],
    "kind_file.ico": [
        (polygon([(0.18, 0.06), (0.62, 0.06), (0.84, 0.28), (0.84, 0.94), (0.18, 0.94)]), OUTLINE),
        (polygon([(0.25, 0.13), (0.58, 0.13), (0.77, 0.32), (0.77, 0.87), (0.25, 0.87)]), WHITE),
        (rect(0.33, 0.45, 0.69, 0.52), (120, 120, 120, 255)),
        (rect(0.33, 0.63, 0.69, 0.70), (120, 120, 120, 255)),
    ],
    "kind_key.ico": [
        (polygon([(0.10, 0.30), (0.50, 0.10), (0.90, 0.30), (0.90, 0.72), (0.50, 0.92), (0.10, 0.72)]),
         (30, 90, 120, 255)),
        (polygon([(0.18, 0.34), (0.50, 0.18), (0.82, 0.34), (0.50, 0.50)]), (120, 210, 230, 255)),
        (polygon([(0.18, 0.40), (0.46, 0.55), (0.46, 0.84), (0.18, 0.69)]), (60, 160, 190, 255)),
        (polygon([(0.54, 0.55), (0.82, 0.40), (0.82, 0.69), (0.54, 0.84)]), (40, 130, 160, 255)),
    ],
    "kind_value.ico": [
        (rect(0.08, 0.22, 0.92, 0.78), OUTLINE),
        (rect(0.14, 0.28, 0.86, 0.72), WHITE),
        (rect(0.22, 0.38, 0.46, 0.62), (200, 40, 40, 255)),
        (rect(0.54, 0.38, 0.78, 0.62), (40, 80, 200, 255)),
    ],
    # Deep Scan details markers: the plain one is empty; the catalogue's is a warning sign.
    "marker_plain.ico": [],
    "marker_known.ico": [
        (polygon([(0.50, 0.04), (0.97, 0.92), (0.03, 0.92)]), (120, 90, 0, 255)),
        (polygon([(0.50, 0.14), (0.88, 0.86), (0.12, 0.86)]), (255, 210, 0, 255)),
        (rect(0.44, 0.34, 0.56, 0.64), (0, 0, 0, 255)),
        (circle(0.50, 0.75, 0.065), (0, 0, 0, 255)),
    ],
}

if __name__ == "__main__":
    for file_name, shapes in ICONS.items():
        write_ico(file_name, shapes)
