#!/usr/bin/env python3
"""What the program image is made of: reads a GNU ld linker map (-Wl,-Map)
and adds up the input sections that went into the image, by where they came
from and by output section.

    python3 map_sizes.py updpack-stub.map            # by origin
    python3 map_sizes.py updpack-stub.map --members  # by archive member

Sizes are in bytes before the file alignment of the output sections, so the
total is a little below the file's size; the headers and the base
relocations are not in the map.
"""

import os
import re
import sys
from collections import defaultdict

# Output sections that take room in the file (.bss takes none).
FILE_SECTIONS = (".text", ".data", ".rdata", ".pdata", ".xdata", ".idata",
                 ".CRT", ".tls", ".rsrc", ".buildid")

# An input section: name, address, size, file; the name may stand alone on
# the line before when it is long.
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)")


def origin(path):
    """The group a linked file belongs to."""
    name = os.path.basename(path)
    archive = name.split("(")[0]
    member = name[len(archive) + 1:-1] if "(" in name else ""
    if name.endswith(".res"):
        return "resources (icon, picture, manifest)"
    if archive.startswith("libupd_") or name.endswith(".cpp.obj"):
        return "our code"
    if ".ltrans" in name:  # link-time optimisation's output: our libraries
        return "our code"
    if archive == "libstdc++.a":
        return "libstdc++"
    if archive in ("libpthread.a", "libwinpthread.a"):
        return "winpthread"
    if archive in ("libgcc.a", "libgcc_eh.a"):
        return "libgcc (unwinder)"
    if archive in ("libssp.a", "libssp_nonshared.a"):
        return "libssp (stack protector)"
    if archive in ("libmingw32.a", "libmingwex.a", "libmsvcrt.a",
                   "libmoldname.a") or archive.startswith("crt"):
        return "mingw-w64 C runtime"
    if archive.startswith("lib") and archive.endswith(".a"):
        return "import table (system DLLs)"
    return "other: " + archive


def read_map(path):
    """(output section, linked file, size) of every input section."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    try:
        start = lines.index("Linker script and memory map")
    except ValueError:
        raise SystemExit("%s: not a GNU ld map" % path)
    section = None
    pending = None
    for line in lines[start:]:
        match = OUTPUT.match(line)
        if match:
            section = match.group(1)
            pending = None
            continue
        if section not in FILE_SECTIONS:
            continue
        stripped = line.strip()
        if line.startswith(" ") and stripped and " " not in stripped and \
                not stripped.startswith(("0x", "*")):
            pending = stripped  # a long section name; its numbers follow
            continue
        match = INPUT.match(line)
        if match and (match.group(1) or pending):
            size = int(match.group(3), 16)
            if size:
                yield section, match.group(4).strip(), size
        pending = None


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        raise SystemExit(__doc__)
    members = "--members" in sys.argv[1:]
    groups = defaultdict(lambda: defaultdict(int))
    for section, linked, size in read_map(args[0]):
        key = os.path.basename(linked) if members else origin(linked)
        groups[key][section] += size
    rows = sorted(groups.items(), key=lambda item: -sum(item[1].values()))
    columns = [s for s in FILE_SECTIONS
               if any(s in sections for _, sections in rows)]
    print("%-44s %8s  %s" % ("origin" if not members else "file", "bytes",
                             "  ".join(
        "%7s" % c for c in columns)))
    total = defaultdict(int)
    for key, sections in rows:
        print("%-44s %8d  %s" % (key[:44], sum(sections.values()), "  ".join(
            "%7d" % sections.get(c, 0) for c in columns)))
        for c, size in sections.items():
            total[c] += size
    print("%-44s %8d  %s" % ("total", sum(total.values()), "  ".join(
        "%7d" % total.get(c, 0) for c in columns)))


if __name__ == "__main__":
    main()
