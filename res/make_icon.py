#!/usr/bin/env python3
"""Draws the application icon and writes res/extmerge.ico.

Standard library only. Sizes 16, 32 and 48 are stored as 32-bit DIBs (with
their AND masks), 256 as PNG, as the system's icon format expects. The
picture: two catalogue sheets, the front one carrying a plus sign (content
being added). Run again after changing the drawing and commit the result:
    python3 res/make_icon.py
"""
import os
import struct
import zlib

SIZES = (16, 32, 48, 256)
SAMPLES = 4  # supersampling per axis, for smooth edges

BACK = (0x3A, 0x6E, 0xC8)   # rear sheet
FRONT = (0xF2, 0x9A, 0x2E)  # front sheet
EDGE = (0x40, 0x40, 0x40)
MARK = (0xFF, 0xFF, 0xFF)


def rounded_rect(x, y, x0, y0, x1, y1, r):
    """Is (x, y) inside the rectangle with corner radius r (unit square)?"""
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def colour_at(x, y):
    """Colour (r, g, b, a) of the picture at (x, y) in the unit square."""
    # Front sheet with its outline and the plus sign.
    if rounded_rect(x, y, 0.30, 0.26, 0.94, 0.96, 0.08):
        if not rounded_rect(x, y, 0.34, 0.30, 0.90, 0.92, 0.05):
            return EDGE + (255,)
        bar = 0.07
        if (abs(x - 0.62) <= bar and 0.40 <= y <= 0.82) or \
           (abs(y - 0.61) <= bar and 0.41 <= x <= 0.83):
            return MARK + (255,)
        return FRONT + (255,)
    # Rear sheet, showing above and left of the front one, with text lines.
    if rounded_rect(x, y, 0.06, 0.04, 0.70, 0.74, 0.08):
        if not rounded_rect(x, y, 0.10, 0.08, 0.66, 0.70, 0.05):
            return EDGE + (255,)
        for line in (0.17, 0.29, 0.41, 0.53):
            if abs(y - line) <= 0.03 and 0.16 <= x <= 0.58:
                return MARK + (255,)
        return BACK + (255,)
    return (0, 0, 0, 0)


def render(size):
    """Rows top to bottom of (r, g, b, a), premultiplied while averaging."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    r, g, b, a = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                           (py + (sy + 0.5) / SAMPLES) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3]
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / a), round(acc[1] / a), round(acc[2] / a), round(a / n)))
        rows.append(row)
    return rows


def png(rows):
    size = len(rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(rows):
    size = len(rows)
    # Height counts the colour rows and the mask rows together.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size >= 256 else dib(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "extmerge.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
