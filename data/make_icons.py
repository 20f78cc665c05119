#!/usr/bin/env python3
"""Renders the program icon (the same drawing as trelvane.svg) into the PNG sizes the window
uses, without any imaging library: shapes in unit coordinates, 4x4 samples per pixel."""
import os
import struct
import sys
import zlib

OUTLINE = (26, 77, 143, 255)
PAGE = (255, 255, 255, 255)
FOLD = (200, 225, 240, 255)
LINE = (0, 0, 255, 255)
BAND = (211, 47, 47, 255)
GREEN = (46, 158, 106, 255)


def inside_rect(x, y, x0, y0, x1, y1):
    return x0 <= x <= x1 and y0 <= y <= y1


def colour_at(x, y):
    # Green rounded backdrop behind the sheet.
    if inside_rect(x, y, 0.04, 0.30, 0.96, 0.96) and not (
        (x < 0.12 or x > 0.88) and (y < 0.38 or y > 0.88)
        and min((x - cx) ** 2 + (y - cy) ** 2 for cx in (0.12, 0.88) for cy in (0.38, 0.88)) > 0.0064
    ):
        backdrop = GREEN
    else:
        backdrop = None
    # Sheet with a folded top-right corner.
    in_sheet = inside_rect(x, y, 0.20, 0.04, 0.80, 0.86) and not (x - 0.64 > y - 0.04 and y < 0.20)
    if in_sheet:
        border = min(x - 0.20, 0.80 - x, y - 0.04, 0.86 - y)
        diagonal = ((x - 0.64) - (y - 0.04)) / 1.414
        if border < 0.035 or -0.035 < diagonal <= 0:
            return OUTLINE
        if x > 0.64 and y < 0.20 and x - 0.64 <= y - 0.04:
            return FOLD
        for top in (0.26, 0.36, 0.46, 0.56):
            if inside_rect(x, y, 0.30, top, 0.70 if top != 0.56 else 0.56, top + 0.045):
                return LINE
        if inside_rect(x, y, 0.20, 0.66, 0.80, 0.80):
            return BAND
        return PAGE
    return backdrop


def render(size):
    rows = []
    n = 4
    for py in range(size):
        row = bytearray(b"\0")
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3]
                        acc[3] += c[3]
            alpha = acc[3] / (n * n)
            if acc[3]:
                row += bytes(int(acc[i] / acc[3]) for i in range(3)) + bytes([int(alpha)])
            else:
                row += b"\0\0\0\0"
        rows.append(bytes(row))
    raw = zlib.compress(b"".join(rows), 9)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", raw) + chunk(b"IEND", b"")


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "icons")
    for size in (16, 32, 48, 64, 128):
        with open(os.path.join(out, f"trelvane-{size}.png"), "wb") as f:
            f.write(render(size))
