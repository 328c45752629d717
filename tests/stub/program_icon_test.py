#!/usr/bin/env python3
"""The program's icon as Explorer and the window read it: a 16-colour image
of 32 x 32 and of 16 x 16 pixels, and 32-bit images with alpha of 48 x 48
and 256 x 256 pixels stored as PNG. Reads the .ico file itself, not through
artwork.py, so that a fault in the writer is seen.

    python3 program_icon_test.py path/to/program.ico
"""

import struct
import sys
import zlib

# size, bits per pixel, how the image is stored
EXPECTED = [
    (256, 32, "png"),
    (48, 32, "png"),
    (32, 4, "bmp"),
    (16, 4, "bmp"),
]

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def fail(message):
    raise SystemExit("program.ico: " + message)


def png_image(data, size):
    """Checks a PNG of size x size, 8-bit RGBA; returns its alpha values."""
    if data[:8] != PNG_SIGNATURE:
        fail("the %d x %d image is not a PNG" % (size, size))
    chunks = {}
    pos = 8
    while pos + 8 <= len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack_from(">I", data, pos + 8 + length)[0]
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            fail("a PNG chunk of the %d x %d image is damaged" % (size, size))
        chunks[kind] = chunks.get(kind, b"") + body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = struct.unpack(
        ">IIBBBBB", chunks[b"IHDR"])
    if (width, height) != (size, size):
        fail("the %d x %d PNG is %d x %d" % (size, size, width, height))
    if (depth, colour, interlace) != (8, 6, 0):
        fail("the %d x %d PNG is not 8-bit RGBA (depth %d, colour type %d)"
             % (size, size, depth, colour))
    raw = zlib.decompress(chunks[b"IDAT"])
    stride = width * 4
    if len(raw) != height * (stride + 1):
        fail("the %d x %d PNG holds %d bytes of rows" % (size, size, len(raw)))
    # The writer filters every row by the one above (2) or not at all (0).
    alphas = set()
    previous = bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:
            row = bytearray((a + b) & 0xFF for a, b in zip(row, previous))
        elif kind != 0:
            fail("the %d x %d PNG uses row filter %d" % (size, size, kind))
        alphas.update(row[3::4])
        previous = row
    return alphas


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
        if data[:8] == PNG_SIGNATURE:
            alphas = png_image(data, size)
            # Transparent round the picture, opaque inside, and the shadow
            # in between: a real alpha channel, not a mask.
            if not (0 in alphas and 255 in alphas and
                    any(0 < a < 255 for a in alphas)):
                fail("the %d x %d image has no soft alpha" % (size, size))
            found.append((size, bits, "png"))
        else:
            used = bmp_image(data, size, bits)
            if colours != (used if used < 256 else 0):
                fail("entry %d says %d colours, its image %d" %
                     (i, colours, used))
            found.append((size, bits, "bmp"))
    if found != EXPECTED:
        fail("images %s, expected %s" % (found, EXPECTED))
    print("program.ico: " + ", ".join("%d x %d %d-bit %s" % (s, s, b, k)
                                      for s, b, k in found))


if __name__ == "__main__":
    main()
