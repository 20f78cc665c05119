#!/usr/bin/env python3
"""Packs the program icon's PNG sizes (data/icons, made by make_icons.py) into the Windows icon
file data/windows/trelvane.ico: an ICO directory whose entries hold the PNGs as they are, which
Windows reads from Vista on."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (16, 32, 48, 64, 128)


def main():
    images = []
    for size in SIZES:
        with open(os.path.join(HERE, "icons", "trelvane-%d.png" % size), "rb") as f:
            images.append((size, f.read()))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, data in images:
        # Width and height 0 mean 256; colour count 0, planes 1, 32 bits a pixel.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(os.path.join(HERE, "windows", "trelvane.ico"), "wb") as f:
        f.write(header + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
