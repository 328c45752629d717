#!/usr/bin/env python3
"""The program's icon as Explorer and the window read it: exactly a
16-colour image of 32 x 32 and one of 16 x 16 pixels, nothing else. Reads
the .ico file itself, not through artwork.py, so that a fault in the writer
is seen.

    python3 program_icon_test.py path/to/program.ico
"""

import struct
import sys

# size, bits per pixel, how the image is stored
EXPECTED = [
    (32, 4, "bmp"),
    (16, 4, "bmp"),
]


def fail(message):
    raise SystemExit("program.ico: " + message)


def bmp_image(data, size, bits):
    """Checks a BITMAPINFOHEADER icon image of size x size and bits."""
    header = struct.unpack_from("<IiiHHIIiiII", data, 0)
    (header_size, width, height, planes, bitcount, compression, _, _, _,
     used, _) = header
    if (header_size, width, height) != (40, size, 2 * size):
        fail("the %d x %d image has a header of %d x %d" %
             (size, size, width, height))
    if (planes, bitcount, compression) != (1, bits, 0):
        fail("the %d x %d image has %d bits per pixel, not %d" %
             (size, size, bitcount, bits))
    colours = (used or 1 << bits) if bits <= 8 else 0
    xor = (size * bits + 31) // 32 * 4 * size
    mask = (size + 31) // 32 * 4 * size
    if len(data) != 40 + 4 * colours + xor + mask:
        fail("the %d x %d image is %d bytes, not %d" %
             (size, size, len(data), 40 + 4 * colours + xor + mask))
    return colours


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "rb") as f:
        ico = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if (reserved, kind) != (0, 1):
        fail("not an icon file")
    found = []
    for i in range(count):
        width, height, colours, _, planes, bits, length, offset = \
            struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
        size = width or 256
        if (height or 256) != size or planes != 1:
            fail("entry %d is %d x %d with %d planes" %
                 (i, size, height or 256, planes))
        if offset + length > len(ico) or offset < 6 + 16 * count:
            fail("the %d x %d image lies outside the file" % (size, size))
        data = ico[offset:offset + length]
        if data[:4] == b"\x89PNG":
            fail("the %d x %d image is a PNG" % (size, size))
        used = bmp_image(data, size, bits)
        if colours != (used if used < 256 else 0):
            fail("entry %d says %d colours, its image %d" % (i, colours, used))
        found.append((size, bits, "bmp"))
    if found != EXPECTED:
        fail("images %s, expected %s" % (found, EXPECTED))
    print("program.ico: " + ", ".join("%d x %d %d-bit %s" % (s, s, b, k)
                                      for s, b, k in found))


if __name__ == "__main__":
    main()
