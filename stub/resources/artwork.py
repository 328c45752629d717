#!/usr/bin/env python3
"""Writes the program's icon (program.ico) and the progress window's picture
(image1.gif) from the pixel maps below.

Each map is one line of text per pixel row, one character per pixel: a key
of PALETTE, or "." for a transparent pixel. Every image uses the 16 colours
of the standard Windows palette. The icon holds exactly a 32 x 32 and a
16 x 16 image of 16 colours (authors give their packages larger ones with
`updpack build --icon`). Run it after changing a map:

    python3 artwork.py            # rewrites program.ico and image1.gif
    python3 artwork.py --check    # fails when the files differ from the maps
"""

import os
import struct
import sys

# Key -> (palette index, RGB). The order is the standard 16-colour palette.
PALETTE = {
    "k": (0, (0x00, 0x00, 0x00)),  # black
    "m": (1, (0x80, 0x00, 0x00)),  # maroon
    "G": (2, (0x00, 0x80, 0x00)),  # green
    "o": (3, (0x80, 0x80, 0x00)),  # olive
    "B": (4, (0x00, 0x00, 0x80)),  # navy
    "p": (5, (0x80, 0x00, 0x80)),  # purple
    "t": (6, (0x00, 0x80, 0x80)),  # teal
    "s": (7, (0xC0, 0xC0, 0xC0)),  # silver
    "d": (8, (0x80, 0x80, 0x80)),  # grey
    "r": (9, (0xFF, 0x00, 0x00)),  # red
    "g": (10, (0x00, 0xFF, 0x00)),  # lime
    "y": (11, (0xFF, 0xFF, 0x00)),  # yellow
    "b": (12, (0x00, 0x00, 0xFF)),  # blue
    "f": (13, (0xFF, 0x00, 0xFF)),  # fuchsia
    "c": (14, (0x00, 0xFF, 0xFF)),  # aqua
    "w": (15, (0xFF, 0xFF, 0xFF)),  # white
}
TRANSPARENT = "."

# An open cardboard box with a green arrow pointing into it: the update
# going into place.
BOX_32 = """
.............kkkkkk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
.............kgggGk.............
........kkkkkkgggGkkkkkk........
.........kggggggggggGGk.........
..........kggggggggGGk..........
...kk......kggggggGGk......kk...
..kyyk......kggggGGk......kook..
.kyyyyk......kggGGk......kooook.
kyyyyyykkkkkkkkggkkkkkkkkooooook
.kyyyyykddddddddkkddddddkooooook
..kyyyykddddddddddddddddkoooook.
...kyyykkkkkkkkkkkkkkkkkkooook..
....kyykyyyyyyyyyyyyyyyyokook...
....kkkkyyyyyyyyyyyyyyyooookk...
....kyyyyyyyyyyyyyyyyyyyoooook..
....kyyyyywwwwwwwwwyyyyyoooook..
....kyyyyywdddddddwyyyyyoooook..
....kyyyyywwwwwwwwwyyyyyoooook..
....kyyyyywdddddddwyyyyyoooook..
....kyyyyywwwwwwwwwyyyyyoooook..
....kyyyyyyyyyyyyyyyyyyyoooook..
....kyyyyyyyyyyyyyyyyyyyoooook..
....kkkkkkkkkkkkkkkkkkkkkkkkkk..
................................
"""

BOX_16 = """
......kkkk......
......kgGk......
......kgGk......
......kgGk......
...kkkkgGkkkk...
....kgggggGk....
kk...kgggGk...kk
kykkkkkgGkkkkkok
.kykdddkkdddkok.
..kkkkkkkkkkkk..
..kyyyyyyyyyook.
..kyywwwwwyyook.
..kyywdddwyyook.
..kyywwwwwyyook.
..kyyyyyyyyyook.
..kkkkkkkkkkkkk.
"""


def parse(text, size):
    rows = [line for line in text.strip("\n").split("\n")]
    if len(rows) != size or any(len(row) != size for row in rows):
        raise SystemExit("a map must be %d rows of %d pixels" % (size, size))
    for row in rows:
        for key in row:
            if key != TRANSPARENT and key not in PALETTE:
                raise SystemExit("unknown pixel key %r" % key)
    return rows


def palette_bytes(entry):
    """The 16 colours as the bytes of one palette entry each."""
    colours = sorted(PALETTE.values())
    return b"".join(entry(rgb) for _, rgb in colours)


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit XOR mask, AND mask,
    both bottom-up with rows padded to 4 bytes."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0,
                         16, 0)
    colours = palette_bytes(lambda rgb: bytes((rgb[2], rgb[1], rgb[0], 0)))
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for x in range(0, size, 2):
            pair = [PALETTE[k][0] if k != TRANSPARENT else 0
                    for k in row[x:x + 2]]
            line.append(pair[0] << 4 | pair[1])
        line += b"\0" * (-len(line) % 4)
        xor += line
        bits = bytearray()
        for x in range(0, size, 8):
            byte = 0
            for i, key in enumerate(row[x:x + 8]):
                if key == TRANSPARENT:
                    byte |= 0x80 >> i
            bits.append(byte)
        bits += b"\0" * (-len(bits) % 4)
        mask += bits
    return header + colours + bytes(xor) + bytes(mask)


def write_ico(images):
    """An .ico file, largest image first. images: (size, bits, data), where
    data is a BITMAPINFOHEADER image."""
    images = sorted(images, key=lambda image: -image[0])
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, bits, image in images:
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, bits,
                               len(image), offset + len(data))
        data += image
    return directory + entries + data


def read_ico(data):
    """(size, bits, data) of every image of an .ico file, for --check."""
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, _, _, _, _, bits, length, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        images.append((width, bits, data[offset:offset + length]))
    return images


def same_ico(a, b):
    """True when two .ico files hold the same images."""
    try:
        return read_ico(a) == read_ico(b)
    except struct.error:
        return False


def program_icon():
    return write_ico([
        (32, 4, icon_image(parse(BOX_32, 32))),
        (16, 4, icon_image(parse(BOX_16, 16))),
    ])


def lzw(indices, min_code_size):
    """GIF's variable-length LZW, codes packed least significant bit first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    width = min_code_size + 1
    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    emit(clear, width)
    current = ()
    for index in indices:
        candidate = current + (index,)
        if candidate in table:
            current = candidate
            continue
        emit(table[current], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table = {(i,): i for i in range(clear)}
            next_code = end + 1
            width = min_code_size + 1
        current = (index,)
    if current:
        emit(table[current], width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def write_gif(rows):
    """A single-frame GIF89a with a 16-colour table; "." pixels use the one
    transparent index, a colour that the map does not use otherwise."""
    size = len(rows)
    used = {PALETTE[k][0] for row in rows for k in row if k != TRANSPARENT}
    spare = [i for i in range(16) if i not in used]
    if not spare:
        raise SystemExit("the picture uses all 16 colours: none is left for "
                         "transparency")
    transparent = spare[-1]
    indices = [PALETTE[k][0] if k != TRANSPARENT else transparent
               for row in rows for k in row]
    colours = palette_bytes(lambda rgb: bytes(rgb))
    out = bytearray(b"GIF89a")
    # Screen: size, global colour table of 2^(3+1) entries, background 0.
    out += struct.pack("<HHBBB", size, size, 0x80 | 0x30 | 0x03, transparent,
                       0)
    out += colours
    # Graphic control: no disposal, transparent colour on, no delay.
    out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, transparent, 0)
    # One image covering the screen, no local colour table.
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, size, size, 0)
    data = lzw(indices, 4)
    out.append(4)
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out.append(len(block))
        out += block
    out += b"\x00\x3B"
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    outputs = {
        "program.ico": (program_icon(), same_ico),
        "image1.gif": (write_gif(parse(BOX_32, 32)), bytes.__eq__),
    }
    check = "--check" in sys.argv[1:]
    stale = []
    for name, (data, same) in outputs.items():
        path = os.path.join(here, name)
        if check:
            with open(path, "rb") as f:
                if not same(f.read(), data):
                    stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        raise SystemExit("out of date, run artwork.py: " + ", ".join(stale))


if __name__ == "__main__":
    main()
