#!/usr/bin/env bash
# An author's icon in a package built from the real program image: every
# image of the .ico comes back from the package's RT_GROUP_ICON and RT_ICON
# resources as a PE reader sees them (python3-pefile), the file properties
# and the texts still read, and verify reports the icon. A package built
# without --icon carries the program's own two images.
#   bash icon_build.sh UPDPACK STUB
set -u
TOOL=${1:?usage: icon_build.sh UPDPACK STUB}
STUB=${2:?usage: icon_build.sh UPDPACK STUB}
PYTHON=/usr/bin/python3
[ -x "$TOOL" ] && [ -f "$STUB" ] || { echo "skipped: no tool or stub"; exit 77; }
"$PYTHON" -c 'import pefile' 2>/dev/null || { echo "skipped: no python3-pefile"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/updpack_icon.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir payload
printf 'a' >payload/a.txt
"$PYTHON" "$(dirname "$0")/brand_icon.py" brand.ico
"$TOOL" build --payload payload --stub "$STUB" --icon brand.ico --product Orbit \
  -o branded.exe 2>build.err || fail "build --icon: $(cat build.err)"
"$TOOL" build --payload payload --stub "$STUB" -o plain.exe 2>build.err ||
  fail "build: $(cat build.err)"

# icon_of PACKAGE: the group's entries (size, depth, bytes) and whether
# each image is the .ico's, then the product name.
icon_of() {
  "$PYTHON" - "$1" brand.ico <<'PY'
import struct, sys, pefile
pe = pefile.PE(sys.argv[1])
ico = open(sys.argv[2], "rb").read()
wanted = set()
for i in range(struct.unpack_from("<H", ico, 4)[0]):
    size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
    wanted.add(ico[offset:offset + size])
def data_of(kind, ident):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != kind:
            continue
        for n in t.directory.entries:
            if n.id == ident:
                e = n.directory.entries[0].data.struct
                return pe.get_data(e.OffsetToData, e.Size)
group = data_of(14, 1)
for i in range(struct.unpack_from("<H", group, 4)[0]):
    w, h, _, _, _, bits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
    image = data_of(3, ident)
    print("%dx%d %d-bit %d %s" % (w or 256, h or 256, bits, size,
                                  "from the file" if image in wanted else "own"))
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        print(info.StringTable[0].entries[b"ProductName"].decode())
PY
}
expected=$("$PYTHON" - brand.ico <<'PY'
import struct, sys
ico = open(sys.argv[1], "rb").read()
for i in range(struct.unpack_from("<H", ico, 4)[0]):
    w, h, _, _, _, bits, size, _ = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
    print("%dx%d %d-bit %d from the file" % (w or 256, h or 256, bits, size))
PY
)
actual=$(icon_of branded.exe)
[ "$actual" = "$expected"$'\nOrbit' ] || fail "the branded package's icon:
$actual
expected:
$expected
Orbit"
actual=$(icon_of plain.exe | sed 's/ [0-9]* own$//')
[ "$actual" = $'32x32 4-bit\n16x16 4-bit\nQuorix' ] || fail "the plain package's icon: $actual"

"$TOOL" verify branded.exe >verify.txt || fail "verify of the branded package: $(cat verify.txt)"
grep -qx '  icon:        256 x 256 32-bit PNG, 48 x 48 32-bit, 32 x 32 8-bit, 16 x 16 4-bit' verify.txt ||
  fail "verify reports the icon: $(cat verify.txt)"
"$TOOL" verify plain.exe >verify.txt || fail "verify of the plain package: $(cat verify.txt)"
grep -qx '  icon:        32 x 32 4-bit, 16 x 16 4-bit' verify.txt ||
  fail "verify reports the program's own icon: $(cat verify.txt)"

[ "$failures" = 0 ] || exit 1
echo ok
