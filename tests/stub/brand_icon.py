#!/usr/bin/env python3
"""Writes an author's icon for tests of `updpack build --icon`: one colour
(red unless told, as RRGGBB) at 256 x 256 in 32 bits as PNG, 48 x 48 in 32
bits, 32 x 32 in 8 bits and 16 x 16 in 4 bits, the last three as bitmaps.

    python3 brand_icon.py OUT.ico [RRGGBB]
"""

import struct
import sys
import zlib


def png(size, rgb):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    row = b"\0" + bytes(rgb + (0xFF,)) * size
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(row * size, 9)) + chunk(b"IEND", b""))


def bitmap(size, bits, rgb):
    """A BITMAPINFOHEADER image: the colour in palette index 1 (or as
    BGRA), every pixel of it, and an AND mask of zeros."""
    colours = 1 << bits if bits <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0,
                         0, colours, 0)
    palette = b""
    if colours:
        palette = bytes(4) + bytes((rgb[2], rgb[1], rgb[0], 0)) + \
            bytes(4 * (colours - 2))
        pixel_row = bytes.fromhex({4: "11", 8: "01"}[bits]) * (
            size * bits // 8)
    else:
        pixel_row = bytes((rgb[2], rgb[1], rgb[0], 0xFF)) * size
    pixel_row += bytes(-len(pixel_row) % 4)
    mask_row = bytes((size + 31) // 32 * 4)
    return header + palette + pixel_row * size + mask_row * size


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__)
    rgb = tuple(bytes.fromhex(sys.argv[2] if len(sys.argv) == 3 else "FF0000"))
    images = [(256, 32, png(256, rgb)), (48, 32, bitmap(48, 32, rgb)),
              (32, 8, bitmap(32, 8, rgb)), (16, 4, bitmap(16, 4, rgb))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1,
                           bits, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
