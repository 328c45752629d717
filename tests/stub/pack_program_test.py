#!/usr/bin/env python3
"""stub/loader/pack_program.py on small made-up images: what the loader
cannot handle is refused at build time, and what it takes is laid out as in
memory and framed so that the loader's reading of the header decodes it."""

import importlib.util
import lzma
import os
import struct
import sys
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location(
    "pack_program", os.path.join(HERE, "..", "..", "stub", "loader", "pack_program.py"))
pack_program = importlib.util.module_from_spec(spec)
spec.loader.exec_module(pack_program)

READ, WRITE, EXECUTE = 0x40000000, 0x80000000, 0x20000000
NT = 0x80
OPTIONAL = NT + 24
OPTIONAL_SIZE = 240  # PE32+ with 16 data directories
TABLE = OPTIONAL + OPTIONAL_SIZE
HEADERS = 0x200


def make_image(sections, directories=None, machine=0x8664, magic=0x20B):
    """A PE32+ image: sections is a list of (name, address, virtual size,
    data, characteristics); each section's raw data follows the headers."""
    directories = directories or {}
    image = bytearray(HEADERS)
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 0x3C, NT)
    image[NT:NT + 4] = b"PE\0\0"
    struct.pack_into("<HHIIIHH", image, NT + 4, machine, len(sections), 0, 0, 0,
                     OPTIONAL_SIZE, 0x22)
    end = max(address + size for _, address, size, _, _ in sections)
    struct.pack_into("<H", image, OPTIONAL, magic)
    struct.pack_into("<Q", image, OPTIONAL + 24, 0x140000000)
    struct.pack_into("<II", image, OPTIONAL + 56, (end + 0xFFF) & ~0xFFF, HEADERS)
    struct.pack_into("<I", image, OPTIONAL + 108, 16)
    for index, (address, size) in directories.items():
        struct.pack_into("<II", image, OPTIONAL + 112 + 8 * index, address, size)
    for k, (name, address, size, data, traits) in enumerate(sections):
        struct.pack_into("<8sIIII", image, TABLE + 40 * k, name, size, address,
                         len(data), len(image))
        struct.pack_into("<I", image, TABLE + 40 * k + 36, traits)
        image += data
    return bytes(image)


CODE = (b".text", 0x1000, 0x20, b"\xc3" * 0x20, READ | EXECUTE)


def relocations(*entries):
    """A .reloc section at 0x3000 with one block for page 0x1000."""
    block = struct.pack("<II", 0x1000, 8 + 2 * len(entries))
    block += b"".join(struct.pack("<H", e) for e in entries)
    return (b".reloc", 0x3000, len(block), block, READ), {5: (0x3000, len(block))}


class Refusals(unittest.TestCase):
    def test_what_the_loader_cannot_run_is_refused(self):
        dir64, dir64_table = relocations(0xA000 | 0x10, 0)
        highlow, highlow_table = relocations(0x3000 | 0x10)
        cases = [
            ("thread-local storage", make_image([CODE], {9: (0x1000, 0x28)})),
            ("a load configuration", make_image([CODE], {10: (0x1000, 0x70)})),
            ("bound imports", make_image([CODE], {11: (0x1000, 0x10)})),
            ("delay-loaded imports", make_image([CODE], {13: (0x1000, 0x20)})),
            ("a CLR header", make_image([CODE], {14: (0x1000, 0x48)})),
            ("both writable and executable",
             make_image([(b".text", 0x1000, 0x10, b"\x90" * 0x10, READ | WRITE | EXECUTE)])),
            ("a base relocation of type 3", make_image([CODE, highlow], highlow_table)),
            ("x86-64", make_image([CODE], machine=0x14C)),
            ("x86-64", make_image([CODE], magic=0x10B)),
            ("no MZ", b"ZM" + make_image([CODE])[2:]),
        ]
        for why, image in cases:
            with self.subTest(why=why):
                with self.assertRaisesRegex(pack_program.PackError, why):
                    pack_program.layout(image)
        # The same relocations with 64-bit entries only are taken.
        pack_program.layout(make_image([CODE, dir64], dir64_table))

    def test_a_relocation_block_running_past_its_directory_is_refused(self):
        section, table = relocations(0xA010)
        address, size = table[5]
        with self.assertRaisesRegex(pack_program.PackError, "damaged"):
            pack_program.layout(make_image([CODE, section], {5: (address, size - 2)}))


class Layout(unittest.TestCase):
    def test_sections_lie_at_their_addresses_and_the_rest_is_zero(self):
        data = (b".data", 0x2000, 0x1800, b"D" * 0x200 + b"past its virtual size", READ | WRITE)
        bss = (b".bss", 0x4000, 0x100, b"", READ | WRITE)
        image = make_image([CODE, data, bss])
        memory = pack_program.layout(image)
        self.assertEqual(len(memory), 0x5000)
        self.assertEqual(memory[:HEADERS], image[:HEADERS])
        self.assertEqual(memory[0x1000:0x1020], b"\xc3" * 0x20)
        self.assertEqual(memory[0x2000:0x2215], b"D" * 0x200 + b"past its virtual size")
        for start, end in ((HEADERS, 0x1000), (0x1020, 0x2000), (0x2215, 0x5000)):
            self.assertEqual(memory[start:end].count(0), end - start, hex(start))

    def test_a_section_cut_at_its_virtual_size(self):
        short = (b".rdata", 0x2000, 4, b"keep" + b"drop", READ)
        memory = pack_program.layout(make_image([CODE, short]))
        self.assertEqual(memory[0x2000:0x2008], b"keep\0\0\0\0")


def import_section(ordinal=False):
    """An .idata section at 0x2000: a.dll's FuncA1 and FuncA2 (through its
    lookup table), b.dll's FuncB1 (through its address table alone, as a
    table without a lookup copy has it), or b.dll's ordinal 5."""
    data = bytearray(0x500)
    names = {}
    for k, name in enumerate([b"FuncA1", b"FuncA2", b"FuncB1"]):
        names[name] = 0x2300 + 0x20 * k
        at = names[name] - 0x2000 + 2  # past the hint
        data[at:at + len(name)] = name
    data[0x400:0x406] = b"a.dll\0"
    data[0x420:0x426] = b"b.dll\0"
    b_thunk = (1 << 63 | 5) if ordinal else names[b"FuncB1"]
    struct.pack_into("<QQQ", data, 0x100, names[b"FuncA1"], names[b"FuncA2"], 0)
    struct.pack_into("<QQQ", data, 0x200, names[b"FuncA1"], names[b"FuncA2"], 0)
    struct.pack_into("<QQ", data, 0x220, b_thunk, 0)
    struct.pack_into("<IIIII", data, 0, 0x2100, 0, 0, 0x2400, 0x2200)
    struct.pack_into("<IIIII", data, 20, 0, 0, 0, 0x2420, 0x2220)
    return (b".idata", 0x2000, len(data), bytes(data), READ | WRITE), {1: (0x2000, 60)}


class Imports(unittest.TestCase):
    def test_imports_in_the_order_the_loader_binds_them(self):
        section, table = import_section()
        found = pack_program.imports(pack_program.layout(make_image([CODE, section], table)))
        self.assertEqual(found, [("a.dll", "FuncA1"), ("a.dll", "FuncA2"), ("b.dll", "FuncB1")])
        source = pack_program.imports_source(found)
        self.assertIn("ProgramImports[] = {\n  &__imp_FuncA1,\n  &__imp_FuncA2,\n"
                      "  &__imp_FuncB1,\n};\nconst unsigned ProgramImportCount = 3;\n", source)

    def test_an_import_by_ordinal_is_refused(self):
        section, table = import_section(ordinal=True)
        memory = pack_program.layout(make_image([CODE, section], table))
        with self.assertRaisesRegex(pack_program.PackError, "b.dll is imported by ordinal"):
            pack_program.imports(memory)


class Framing(unittest.TestCase):
    def test_the_header_read_as_the_loader_reads_it_decodes_the_layout(self):
        memory = pack_program.layout(make_image([CODE, (b".data", 0x2000, 0x3000,
                                                          bytes(range(256)) * 48, READ | WRITE)]))
        packed = pack_program.pack(memory)
        raw_length, crc = struct.unpack_from("<II", packed, 0)
        properties, dictionary = struct.unpack_from("<BI", packed, 8)
        self.assertEqual(raw_length, len(memory))
        self.assertEqual(crc, zlib.crc32(memory))
        self.assertGreaterEqual(dictionary, len(memory))
        lc, rest = properties % 9, properties // 9
        lzma1 = {"id": lzma.FILTER_LZMA1, "lc": lc, "lp": rest % 5, "pb": rest // 5,
                 "dict_size": dictionary}
        decoded = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(
            packed[13:], max_length=raw_length)
        self.assertEqual(decoded, memory)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
