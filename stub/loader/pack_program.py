#!/usr/bin/env python3
"""Packs the program for the program image's loader (stub/loader/loader.cpp).

    python3 pack_program.py PROGRAM.exe PACKED.bin IMPORTS.c

Lays PROGRAM.exe out as the system's loader would lay it out in memory
(SizeOfImage bytes: the headers, each section's raw data at its address,
zeros elsewhere) and writes that, compressed with LZMA, to PACKED.bin: the
raw length and the CRC-32 of the laid-out bytes (32-bit little-endian
each), the 5 bytes of LZMA properties, the raw LZMA data.

IMPORTS.c lists the program's imports, in the order of its import table,
as the image's own: the image imports every function the program does, the
system binds them when it starts the image, and the loader copies the
addresses into the program's table. So no DLL is loaded by name at run
time, and the image's import table is the program's.

The loader does what the program needs of the system's loader and no more:
base relocations (64-bit ones only), imports by name, the page
protections, the function table. A program that needs anything else
(thread-local storage, delay-loaded imports, a load configuration, bound
imports, imports by ordinal, writable code) is refused here, when the
image is built, rather than failing when a user runs it.
"""

import lzma
import struct
import sys
import zlib

# Data directory entries the loader does not handle: the security
# directory has no meaning inside memory, the debug directory is inert.
UNSUPPORTED_DIRECTORIES = {
    9: "thread-local storage",
    10: "a load configuration",
    11: "bound imports",
    13: "delay-loaded imports",
    14: "a CLR header",
}
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
IMAGE_REL_BASED_ABSOLUTE = 0
IMAGE_REL_BASED_DIR64 = 10


class PackError(Exception):
    pass


def layout(image):
    """The image as the loader lays it out: SizeOfImage bytes."""
    if image[:2] != b"MZ":
        raise PackError("not a PE image (no MZ)")
    (nt,) = struct.unpack_from("<I", image, 0x3C)
    if image[nt:nt + 4] != b"PE\0\0":
        raise PackError("not a PE image (no PE signature)")
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", image, nt + 4)
    optional = nt + 24
    (magic,) = struct.unpack_from("<H", image, optional)
    if machine != 0x8664 or magic != 0x20B:
        raise PackError("not an x86-64 PE32+ image")
    (image_size,) = struct.unpack_from("<I", image, optional + 56)
    (headers_size,) = struct.unpack_from("<I", image, optional + 60)
    (directories,) = struct.unpack_from("<I", image, optional + 108)
    for index, what in UNSUPPORTED_DIRECTORIES.items():
        if index < directories:
            _, size = struct.unpack_from("<II", image, optional + 112 + 8 * index)
            if size:
                raise PackError("the program has %s, which the loader does not handle" % what)
    memory = bytearray(image_size)
    memory[:headers_size] = image[:headers_size]
    table = optional + optional_size
    for k in range(sections):
        name, virtual_size, address, raw_size, raw_at = struct.unpack_from(
            "<8sIIII", image, table + 40 * k)
        (traits,) = struct.unpack_from("<I", image, table + 40 * k + 36)
        if traits & IMAGE_SCN_MEM_EXECUTE and traits & IMAGE_SCN_MEM_WRITE:
            raise PackError("section %s is both writable and executable" % name.rstrip(b"\0"))
        if address + virtual_size > image_size:
            raise PackError("section %s lies past SizeOfImage" % name.rstrip(b"\0"))
        count = min(raw_size, virtual_size)
        memory[address:address + count] = image[raw_at:raw_at + count]
    if directories > 5:
        check_relocations(memory, *struct.unpack_from("<II", image, optional + 112 + 8 * 5))
    return bytes(memory)


def check_relocations(memory, at, size):
    end = at + size
    while end - at >= 8:
        _, block_size = struct.unpack_from("<II", memory, at)
        if block_size < 8 or block_size > end - at:
            raise PackError("a base relocation block is damaged")
        for (entry,) in struct.iter_unpack("<H", memory[at + 8:at + block_size]):
            if entry >> 12 not in (IMAGE_REL_BASED_ABSOLUTE, IMAGE_REL_BASED_DIR64):
                raise PackError("a base relocation of type %d" % (entry >> 12))
        at += block_size


def c_string(data, at):
    end = data.index(b"\0", at)
    return data[at:end].decode("ascii")


def imports(memory):
    """The program's imports in the order of its import table: a list of
    (DLL, function)."""
    nt = struct.unpack_from("<I", memory, 0x3C)[0]
    at, size = struct.unpack_from("<II", memory, nt + 24 + 112 + 8)
    found = []
    while size:
        lookup, _, _, name, slots = struct.unpack_from("<IIIII", memory, at)
        if name == 0:
            break
        dll = c_string(memory, name)
        lookup = lookup or slots
        while True:
            (thunk,) = struct.unpack_from("<Q", memory, lookup)
            if thunk == 0:
                break
            if thunk >> 63:
                raise PackError("%s is imported by ordinal" % dll)
            found.append((dll, c_string(memory, thunk + 2)))
            lookup += 8
        at += 20
    return found


def imports_source(found):
    lines = ["/* The program's imports, in the order of its import table",
             "   (stub/loader/pack_program.py): the addresses the system binds",
             "   for the image, which the loader copies into the program's. */"]
    lines += ["extern void *__imp_%s; /* %s */" % (f, dll) for dll, f in found]
    lines.append("void *const *const ProgramImports[] = {")
    lines += ["  &__imp_%s," % f for _, f in found]
    lines.append("};")
    lines.append("const unsigned ProgramImportCount = %d;" % len(found))
    return "\n".join(lines) + "\n"


def pack(memory):
    # lc=3, lp=0, pb=2: LZMA's defaults, which the properties byte encodes
    # as (pb * 5 + lp) * 9 + lc. The loader decodes straight into the
    # program's memory, which is then the dictionary: the size declared
    # only has to cover the program.
    dictionary = 1 << max(12, (len(memory) - 1).bit_length())
    lzma1 = {"id": lzma.FILTER_LZMA1, "preset": 9 | lzma.PRESET_EXTREME,
             "dict_size": dictionary, "lc": 3, "lp": 0, "pb": 2}
    data = lzma.compress(memory, format=lzma.FORMAT_RAW, filters=[lzma1])
    return (struct.pack("<II", len(memory), zlib.crc32(memory))
            + struct.pack("<BI", (2 * 5 + 0) * 9 + 3, dictionary) + data)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: pack_program.py PROGRAM.exe PACKED.bin IMPORTS.c\n")
        return 2
    with open(argv[1], "rb") as f:
        image = f.read()
    try:
        memory = layout(image)
        packed = pack(memory)
        source = imports_source(imports(memory))
    except (PackError, struct.error, ValueError) as e:
        sys.stderr.write("%s: %s\n" % (argv[1], e))
        return 1
    with open(argv[2], "wb") as f:
        f.write(packed)
    with open(argv[3], "w") as f:
        f.write(source)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
