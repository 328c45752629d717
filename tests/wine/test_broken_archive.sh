#!/usr/bin/env bash
# A package whose archive is not a PACK1 archive: the extraction shows its
# error box, and after OK the program ends with exit code 1 and no success
# message. The pack file (an exact copy of the appended bytes) and the
# temporary folder stay, as after a critical error. A package made to the
# base format shows the archive's message alone; one that build wrote, with
# its manifest, says after it that the package is damaged. Then damaged
# and hostile packages of both kinds, natively and under Wine (below).
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin broken_archive

program="$E2E_WORK/program"
mkdir -p "$program"

# A package made to the base format of ARCHIVE-FORMAT's bytes.
join_broken() { # NAME ARCHIVE-FORMAT
  # shellcheck disable=SC2059
  printf "$2" >"$E2E_WORK/$1.bin"
  e2e_join_package "$E2E_WORK/$1.bin" "$program/$1.exe"
}

run_broken() { # NAME MESSAGE
  e2e_clear_tmp
  e2e_start_package "$program/$1.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$2" 60000
  e2e_screenshot "$1" >/dev/null
  e2e_expect_eq "$1: the error box's text" "$2" "$(e2e_texts "$E2E_BOX_TITLE")"
  e2e_expect_eq "$1: the error box's buttons" "OK*" "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon error
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  # A further message (a success box above all) would keep the program
  # alive: it must end on its own.
  e2e_wait_package 20
  e2e_expect_eq "$1: exit code after a failed extraction" 1 "$E2E_EXIT"
  e2e_carved "$program/$1.exe" "$E2E_WORK/$1.carved"
  e2e_expect_same_file "$E2E_WORK/$1.carved" "$E2E_PACK_FILE"
  [ -d "$E2E_TEMP_FOLDER" ] || e2e_fail "$1: the temporary folder is gone"
  e2e_expect_eq "$1: nothing unpacked" "" "$(ls -A "$E2E_TEMP_FOLDER")"
  e2e_expect_eq "$1: nothing installed" "$1.exe" "$(ls -A "$program")"
  rm -f "$program/$1.exe"
}

# The signature in lower case, with a catalog and a script behind it.
join_broken lowercase 'pack1\000\001script?1?66\002\001\001\001\\*'
run_broken lowercase "$E2E_MSG_NOT_ARCHIVE"
# A package that build wrote, its archive's signature changed in place:
# the manifest is intact and the package as long as it declares; its
# message names no archive format.
printf 'PACK1\000\001\001' >"$E2E_WORK/empty.pack1"
e2e_build_package "$E2E_WORK/empty.pack1" "$program/built.exe"
start=$(tail -c 4 "$program/built.exe" | od -An -tu4 | tr -d ' ')
printf 'p' | dd of="$program/built.exe" bs=1 seek=$((start - 1)) conv=notrunc 2>/dev/null
run_broken built "$(e2e_crlf "Пакет обновления не содержит архива своих файлов." "$E2E_MSG_DAMAGED")"
# The right signature, but no catalog marker after the method byte.
join_broken no_catalog 'PACK1\000\002a?1?2\002\001x'
run_broken no_catalog "$E2E_MSG_NO_CATALOG"

# --- damaged and hostile packages, natively and under Wine ------------------

# Packages of ours (stored, compressed, with a long script, signed) and of
# the base format, damaged at random from a fixed seed: cut at any length,
# a byte changed in the trailer, the archive's head, the catalog, an
# entry, the manifest, the compressed stream, the checksum entry or the
# certificate table, a long script or a value of the manifest changed
# with its checksum to match;
# and sound packages of hostile scripts (odd operation bytes, bytes that
# are no placeholder, paths with no blank after them, a record cut short,
# sources the package does not hold, paths one folder up) or of catalogs
# written by hand (hostile names and ranges). Each runs in
# a copy of one product folder natively (`updpack run --yes --silent
# --log`) and under Wine (with /S and its log; a package without a
# manifest, or one whose manifest is gone, answered through its boxes),
# and both must end alike: exit code, the tree (the product folder and
# what a path one folder up made beside it), the log and the last box;
# and nothing installed where a message says the package is damaged.
# Three fixed cases come first: a copy from a blank source, an rmdir by
# pattern through a folder Windows refuses with a separator after it, and
# a package cut inside its program image. DAMAGE_SEED and DAMAGE_CASES
# draw other or more cases, DAMAGE_ONLY=N runs case N alone.
damage_seed=${DAMAGE_SEED:-1}
damage_count=${DAMAGE_CASES:-1}
damage="$E2E_WORK/damage"

cat >"$E2E_WORK/damage.py" <<'PY'
import os, random, shutil, subprocess, sys, zlib

seed, count, out, tool, stub = (int(sys.argv[1]), int(sys.argv[2]), sys.argv[3],
                                sys.argv[4], sys.argv[5])
rng = random.Random(seed)
orig = os.path.join(out, "orig")


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# The product folder every case starts from.
product = os.path.join(out, "product")
write(os.path.join(product, "old.txt"), b"old")
write(os.path.join(product, "app.dll"), b"old app")
write(os.path.join(product, "Sub", "keep.txt"), b"keep")

# The payload: text that compresses, random bytes that do not, a script.
payload = os.path.join(orig, "payload")
write(os.path.join(payload, "app.dll"),
      b"".join(b"line %d of the library\r\n" % i for i in range(400)) +
      bytes(rng.randrange(256) for _ in range(3000)))
write(os.path.join(payload, "readme.txt"), b"Quorix 1.1\r\n")
SCRIPT = r"""copy {temp}\app.dll    {app}\app.dll
copy {temp}\readme.txt {app}\readme.txt
delete {app}\old.txt
mkdir {app}\data
copy {temp}\readme.txt {app}\data\readme.txt
"""
# A target past the 65-byte record puts every record into ~updpack.scr.
LONG = SCRIPT + r"copy {temp}\readme.txt {app}\Long_folder_name_of_the_product\data_and_more\readme.txt"
write(os.path.join(orig, "update.txt"), SCRIPT.encode())
write(os.path.join(orig, "long.txt"), LONG.encode())


def build_ours(folder, exe, *options):
    run(tool, "build", "--payload", folder, "--stub", stub, "-o", exe, *options)


def join_base(folder, exe, records):
    """folder and its script records packed and joined to the image."""
    write(os.path.join(folder, "script"), records)
    run(tool, "pack", folder, exe + ".pack1")
    with open(exe + ".pack1", "rb") as f:
        archive = f.read()
    os.remove(exe + ".pack1")
    with open(stub, "rb") as f:
        image = f.read()
    write(exe, image + archive + (len(image) + 1).to_bytes(4, "little"))


def layout(exe):
    """Where the archive starts (0-based) and its data, and the entries
    (name, first and last byte + 1, 1-based after the data's start)."""
    listing = subprocess.run([tool, "list", exe], capture_output=True,
                             check=True).stdout.decode("utf-8", "replace")
    info = {"entries": [], "data": 0}
    for line in listing.splitlines():
        if line.startswith("archive start: "):
            info["start"] = int(line.split(": ")[1]) - 1
        elif line.startswith("data start: "):
            info["data"] = int(line.split(": ")[1]) - 1
        elif "\t" in line:
            name, first, last, _ = line.split("\t")
            info["entries"].append((name, int(first), int(last)))
    return info


def script_of(text):
    source = os.path.join(orig, "compile.txt")
    write(source, text.encode())
    run(tool, "script", "compile", source, source + ".bin")
    with open(source + ".bin", "rb") as f:
        return f.read()


# The sound packages.
for kind, script, options in [("stored", "update.txt", ["--store"]),
                              ("lzma", "update.txt", ["--level", "1"]),
                              ("long", "long.txt", ["--store"])]:
    build_ours(payload, os.path.join(orig, kind + ".exe"), "--script",
               os.path.join(orig, script), *options)
shutil.copytree(payload, os.path.join(orig, "base"))
join_base(os.path.join(orig, "base"), os.path.join(orig, "base.exe"),
          script_of(SCRIPT))
KINDS = ["stored", "lzma", "base", "long"]
try:
    key, cert = os.path.join(orig, "key.pem"), os.path.join(orig, "cert.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
        "-subj", "/CN=updpack test", "-addext", "extendedKeyUsage=codeSigning",
        "-keyout", key, "-out", cert)
    run("osslsigncode", "sign", "-certs", cert, "-key", key, "-in",
        os.path.join(orig, "stored.exe"), "-out", os.path.join(orig, "signed.exe"))
    KINDS.append("signed")
except (OSError, subprocess.CalledProcessError):
    pass  # no signing tools: no signed packages
image_end = os.path.getsize(stub)
infos = {kind: layout(os.path.join(orig, kind + ".exe")) for kind in KINDS}

# Hostile records: 0x00 is {temp}, 0x01 {app}, other bytes no placeholder.
SOURCES = [b"\0\\app.dll", b"\0\\readme.txt", b"\0\\none.txt", b"\0\\", b"\0",
           b"\1\\old.txt", b"\2\\app.dll", b"\x1f\\x", b"\0\\APP.DLL",
           b"\0\\app.dll\\x", b"\0\\..\\x", b"\0\\.", b"\0\\\0\\app.dll",
           b"\0\\\1", b"\0\\readme.txt.", b"\0\\script", b"\0\\~updpack.sum",
           b"", b"app.dll", b"\0\\a\x07b", b"\0\\\xff\xfe"]
TARGETS = [b"\1\\app.dll", b"\1\\new.txt", b"\1\\old.txt", b"\1\\Sub",
           b"\1\\Sub\\keep.txt", b"\1\\*", b"\1\\*.txt", b"\1\\data",
           b"\1\\..\\out.txt", b"\1\\..\\program", b"\1", b"\1\\", b"\0\\x",
           b"\0", b"\2\\x.txt", b"\x10", b"\1\\\1\\x.txt", b"\1\\\0\\x.txt",
           b"\1\\a\tb.txt", b"\1\\\x98.txt", b"\1\\nul", b"\1\\con\\x",
           b"\1\\Sub\\..\\..\\out.txt", b"\1\\update.exe", b"\1\\new.txt ",
           b"", b"new.txt", b"\1\\...\\x", b"\1\\" + b"n" * 46,
           b"\1\\" + b"q" * 40 + b"\\zz.txt"]


def field(data, size):
    return (data + b" " * size)[:size]


def hostile_record():
    op = rng.choice([0, 0, 1, 2, 3]) if rng.random() < 0.8 else rng.randrange(4, 256)
    source = rng.choice(SOURCES) if op == 0 or rng.random() < 0.2 else b""
    target = rng.choice(TARGETS)
    if rng.random() < 0.1:
        # No blank pads the field: its last byte is the path's.
        target = b"\1\\" + bytes(rng.choice(b"abc\\.* ") for _ in range(46))
    if rng.random() < 0.05:
        source = bytes(rng.randrange(256) for _ in range(16))
    return bytes([op]) + field(source, 16) + field(target, 48)


# Entry names of a hand-written catalog, in code page 1251: the same name
# in another case or with a dot or blank after it, devices, characters
# Windows refuses, control characters, an unassigned byte, "." and "..",
# separators, a name of 255 characters, a tool's own name. Not one past
# 255: Wine 8 fails it as a file not found, where Windows (and the native
# run) fail it as a bad file name.
NAMES = [b"a.txt", b"A.TXT", b"a.txt.", b"a.txt ", b"con", b"nul.txt", b"a:b",
         b"a*b", b"a\x07b", b"\x98.txt", b"..", b".", b"", b"sub\\x.txt",
         b"sub/x.txt", b"x" * 255, b"\xb8\xeb\xea\xe0.txt", b"com0", b"COM1 .txt",
         b"~updpack.sum", b"a?b", b"a\x01b"]


def hostile_archive():
    """A PACK1 archive written by hand: a script copying some of its
    entries, then entries of hostile names and ranges (one past the data,
    one before its start, two that share bytes, fields that are no number)."""
    names = rng.sample(NAMES, rng.randint(1, 4))
    script = b"".join(bytes([0]) + field(b"\0\\" + n, 16) + field(b"\1\\" + n, 48)
                      for n in names if len(n) <= 14)
    data = script + bytes(rng.randrange(256) for _ in range(rng.randint(0, 200)))
    catalog = b"script?1?%d\x02" % (len(script) + 1)
    for name in names:
        first = rng.randint(1, len(data) + 1)
        last = rng.randint(first, len(data) + 1)
        roll = rng.random()
        if roll < 0.1:
            first, last = last + 1, first
        elif roll < 0.2:
            last = len(data) + rng.choice([2, 1000, 2 ** 31 - 1])
        elif roll < 0.25:
            first = rng.choice([0, -1, 2 ** 31])
        text = b"%s?%d?%d" % (name, first, last)
        if rng.random() < 0.05:
            text = name + rng.choice([b"?x?1", b"?1", b"", b"?1?2?3"])
        catalog += text + b"\x02"
    return b"PACK1\x00\x01" + catalog + b"\x01" + data


def flip(data, at):
    mask = rng.choice([1, 2, 4, 8, 16, 32, 64, 128, 0xff, rng.randrange(1, 256)])
    data[at] ^= mask
    return "byte %d ^ 0x%02x" % (at, mask)


def rewrite(data, info, name, at, new):
    """new written at offset at of the entry name, and the entry's CRC-32
    into the checksum entry: a change the checksums vouch for."""
    start = info["start"] + info["data"]
    entries = {e[0]: (start + e[1] - 1, start + e[2] - 1) for e in info["entries"]}
    first, last = entries[name]
    data[first + at:first + at + len(new)] = new
    crc = b"%08x" % zlib.crc32(data[first:last])
    line = data.find(b" %d %s\r\n" % (last - first, name.encode()), *entries["~updpack.sum"])
    data[line - 8:line] = crc
    return "%s at %d := %s" % (name, at, new.hex())


def hostile_long(data, info):
    """~updpack.scr with a length past its end or the longest field, an odd
    operation, a byte that is no placeholder, or a magic changed."""
    entry = [e for e in info["entries"] if e[0] == "~updpack.scr"][0]
    size = entry[2] - entry[1]
    roll = rng.random()
    if roll < 0.4:
        # A length of the first record or of the last.
        at = rng.choice([17, 19, size - 100, size - 98])
        value = rng.choice([size, 32767, 32768, 65535, rng.randrange(200)])
        return rewrite(data, info, "~updpack.scr", at, value.to_bytes(2, "little"))
    if roll < 0.6:
        return rewrite(data, info, "~updpack.scr", rng.randrange(size),
                       bytes([rng.randrange(256)]))
    if roll < 0.8:
        return rewrite(data, info, "~updpack.scr", rng.randrange(16, size),
                       bytes([rng.choice([0, 1, 2, 0x1f, 0x98, 0x5c])]))
    return rewrite(data, info, "~updpack.scr", rng.randrange(16), b"x")


def manifest_value(data):
    """A value of the manifest changed in place, digits or letters alike,
    with its CRC-32 to match: a manifest that reads, and lies."""
    at = image_end + 24
    size = int.from_bytes(data[image_end + 16:image_end + 20], "little")
    fields = bytes(data[at:at + size]).split(b"\0")
    k = rng.randrange(0, len(fields) - 1, 2)
    # Mostly one the run reckons with rather than a text.
    reckoned = [i for i in range(0, len(fields) - 1, 2) if fields[i] in (
        b"stream", b"raw", b"rawcrc", b"length", b"codepage", b"sums", b"times",
        b"codec", b"longscript", b"restart", b"stored", b"x86")]
    if reckoned and rng.random() < 0.8:
        k = rng.choice(reckoned)
    key, value = fields[k], fields[k + 1]
    if value.isdigit():
        new = rng.choice([b"9" * len(value), b"0" * len(value),
                          b"%0*d" % (len(value), int(value) + rng.choice([-1, 1])),
                          b"%0*d" % (len(value), rng.randrange(10 ** len(value)))])
    else:
        new = bytes(rng.randrange(0x20, 0x7f) for _ in value) if rng.random() < 0.5 else value.upper()
    new = new[-len(value):] if value else new[:0]
    start = at + sum(len(f) + 1 for f in fields[:k + 1])
    data[start:start + len(new)] = new
    data[image_end + 20:image_end + 24] = zlib.crc32(data[at:at + size]).to_bytes(4, "little")
    return "manifest %s: %s := %s" % (key.decode("utf-8", "replace"),
                                      value[:40].decode("utf-8", "replace"),
                                      new[:40].decode("utf-8", "replace"))


def damage(kind, data, info):
    """data damaged in one of the ways its kind allows; the words."""
    size = len(data)
    start = info["start"]
    data_start = start + info["data"]
    # A signed package ends where its certificate table begins.
    end = len(open(os.path.join(orig, "stored.exe"), "rb").read()) if kind == "signed" else size
    ways = ["cut", "trailer", "archive", "entry"]
    if kind != "base":
        ways += ["manifest", "manifest", "values", "values"]
    if kind == "lzma":
        ways += ["stream", "stream"]
    else:
        ways += ["catalog", "sums", "script"]
    if kind == "signed":
        ways += ["table", "table", "cut table"]
    if kind == "long":
        ways += ["long", "long", "long", "long"]
    way = rng.choice(ways)
    if way == "long":
        return "long script: " + hostile_long(data, info)
    if way == "values":
        return manifest_value(data)
    if way == "cut":
        at = rng.choice([rng.randrange(image_end, size), rng.randrange(start, size),
                         rng.randrange(size - 16, size), rng.randrange(0, image_end)])
        del data[at:]
        return "cut at %d of %d" % (at, size)
    if way == "cut table":
        at = rng.randrange(end, size)
        del data[at:]
        return "cut in the certificate table at %d of %d" % (at, size)
    if way == "table":
        return "certificate table: " + flip(data, rng.randrange(end, size))
    if way == "trailer":
        return "trailer: " + flip(data, end - 4 + rng.randrange(4))
    if way == "archive":
        return "archive head: " + flip(data, start + rng.randrange(8))
    if way == "manifest":
        return "manifest: " + flip(data, rng.randrange(image_end, start))
    if way == "stream" or kind == "lzma":
        return "stream: " + flip(data, rng.randrange(start, end - 4))
    if way == "catalog":
        return "catalog: " + flip(data, rng.randrange(start, data_start))
    named = {"sums": "~updpack.sum", "script": "script"}.get(way)
    entries = [e for e in info["entries"] if e[2] > e[1] and e[0] == (named or e[0])]
    if not entries:  # none of the name, or an empty one
        return "catalog: " + flip(data, rng.randrange(start, data_start))
    name, first, last = rng.choice(entries)
    return "entry %s: " % name + flip(data, data_start + rng.randrange(first, last) - 1)


def hostile(where, records):
    """A sound package of records: ours built without checks, or one of
    the base format where drawn or where build refuses the records."""
    folder = os.path.join(where, "payload")
    shutil.copytree(payload, folder)
    exe = os.path.join(where, "update.exe")
    kind = rng.choice(["stored", "base"])
    if kind == "stored":
        write(os.path.join(folder, "script"), records)
        try:
            build_ours(folder, exe, "--unchecked", "--store")
        except subprocess.CalledProcessError:
            kind = "base"
    if kind == "base":
        join_base(folder, exe, records)
    shutil.rmtree(folder)
    return "%s, script %s" % (kind, records.hex())


def case_folder(case, words):
    where = os.path.join(out, "%03d" % case)
    with open(os.path.join(where, "case.txt"), "w") as f:
        f.write("case %d of seed %d: %s\n" % (case, seed, words))


def fixed(case, records):
    where = os.path.join(out, "%03d" % case)
    shutil.copytree(payload, os.path.join(where, "payload"))
    join_base(os.path.join(where, "payload"), os.path.join(where, "update.exe"), records)
    shutil.rmtree(os.path.join(where, "payload"))
    case_folder(case, "base, script %s" % records.hex())


# The fixed cases: a copy from a blank source; an rmdir by pattern through
# a folder Windows refuses, a separator after it; cut inside the image.
fixed(1, bytes([0]) + field(b"", 16) + field(b"\1\\out.txt", 48))
fixed(2, bytes([3]) + field(b"", 16) + field(b"\1\\s*b\\x*\\", 48))
os.makedirs(os.path.join(out, "003"))
with open(os.path.join(orig, "base.exe"), "rb") as f:
    write(os.path.join(out, "003", "update.exe"), f.read()[:image_end // 2])
case_folder(3, "base, cut at %d, inside the image" % (image_end // 2))

for case in range(4, count + 4):
    where = os.path.join(out, "%03d" % case)
    os.makedirs(where)
    if rng.random() < 0.1:
        archive = hostile_archive()
        with open(stub, "rb") as f:
            image = f.read()
        write(os.path.join(where, "update.exe"),
              image + archive + (len(image) + 1).to_bytes(4, "little"))
        case_folder(case, "base, archive %s" % archive.hex())
        continue
    if rng.random() < 0.25:
        records = b"".join(hostile_record() for _ in range(rng.randint(1, 5)))
        if rng.random() < 0.2:
            records = records[:-rng.randint(1, 64)]  # the last record cut short
        case_folder(case, hostile(where, records))
        continue
    kind = rng.choice(KINDS)
    with open(os.path.join(orig, kind + ".exe"), "rb") as f:
        data = bytearray(f.read())
    words = "%s, %s" % (kind, damage(kind, data, infos[kind]))
    write(os.path.join(where, "update.exe"), bytes(data))
    case_folder(case, words)
PY
python3 "$E2E_WORK/damage.py" "$damage_seed" "$damage_count" "$damage" \
  "$UPDPACK_TOOL" "$UPDPACK_STUB" ||
  e2e_fail "cannot write the damaged packages of seed $damage_seed"

# The tree under ROOT but its tmp, one line an entry: path, type, and for a
# file its size, write mark and a checksum.
cat >"$E2E_WORK/tree.py" <<'PY'
import hashlib, os, stat, sys
root = sys.argv[1]
lines = []
for folder, dirs, files in os.walk(root):
    for name in dirs + files:
        full = os.path.join(folder, name)
        rel = os.path.relpath(full, root)
        if rel == "tmp" or rel.startswith("tmp/"):
            continue
        st = os.lstat(full)
        if stat.S_ISDIR(st.st_mode):
            lines.append("%s d" % rel)
            continue
        with open(full, "rb") as f:
            digest = hashlib.md5(f.read()).hexdigest()[:8]
        lines.append("%s f %d %s %s" % (rel, st.st_size,
                     "w" if st.st_mode & 0o200 else "r", digest))
print("\n".join(sorted(lines)))
PY

sed_escape() { printf '%s' "$1" | sed 's/[][\\.*^$|/]/\\&/g'; }

# TEXT with the product and temporary folders of either side written alike.
alike() { # PROGRAM TEMP <TEXT
  sed -e "s|$(sed_escape "$1")|{app}|g" -e "s|$(sed_escape "$2")|{temp}|g"
}

# TEXT with its control characters spelled out as the native console spells
# them ("\x09").
printable() {
  python3 -c '
import re, sys
text = sys.stdin.buffer.read().decode("utf-8", "replace")
print(re.sub("[\x00-\x09\x0b-\x1f\x7f-\x9f]", lambda m: "".join(
    "\\x%02X" % b for b in m.group().encode()), text), end="")'
}

# ROOT: program/ (the product and the package), and tmp/ natively.
damage_fresh() { # ROOT CASE
  chmod -R u+w "$1" 2>/dev/null
  rm -rf "$1" "$1.log"
  mkdir -p "$1/tmp"
  { cp -a "$damage/product" "$1/program" && cp "$2/update.exe" "$1/program/"; } ||
    e2e_fail "cannot copy $2"
}

damage_log() { # LOG PROGRAM TEMP
  [ ! -f "$1" ] || tr -d '\r' <"$1" | grep -v '^package: \|^switches: ' | alike "$2" "$3"
}

damage_native() { # CASE
  local root="$E2E_WORK/native"
  damage_fresh "$root" "$1"
  fresh_tree=$(python3 "$E2E_WORK/tree.py" "$root")
  # Started from its own folder, as Windows starts it: a relative path of
  # a record is taken from there.
  (cd "$root/program" && TMP="$root/tmp" exec "$UPDPACK_TOOL" run update.exe --yes \
    --silent --log "$root.log" </dev/null >/dev/null 2>"$root.stderr")
  native_exit=$?
  native_tree=$(python3 "$E2E_WORK/tree.py" "$root")
  native_log=$(damage_log "$root.log" "$root/program" "$root/tmp")
  # The last box but the question.
  native_box=$(awk '/^Dravell \[[a-z]*\]: /{keep = !/\[question\]/; if (keep) text=""; sub(/^Dravell \[[a-z]*\]: /, "")} /^\[Y\/n\]/{keep=0} keep{text=text $0 "\n"} END{printf "%s", text}' "$root.stderr" |
    alike "$root/program" "$root/tmp")
}

damage_wine() { # CASE [TRY]
  local root="$E2E_WORK/wine" text tries=0 program
  damage_fresh "$root" "$1"
  e2e_clear_tmp
  e2e_start_package "$root/program/update.exe" /S "/LOG=$(e2e_windows_path "$root.log")"
  wine_box=
  while kill -0 "$E2E_PACKAGE_PID" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 320 ] || e2e_fail "$(cat "$1/case.txt"): the package did not end"
    # A silent run mostly ends within a second: no box to look for.
    if [ "$tries" -le 20 ]; then
      sleep 0.05
      continue
    fi
    text=$(e2e_texts "$E2E_BOX_TITLE" 2>/dev/null)
    if [ "$text" = "$E2E_MSG_CONFIRM" ]; then
      e2e_wintool press "$E2E_BOX_TITLE" Yes >/dev/null 2>&1
    elif [ -n "$text" ]; then
      wine_box=${text//$'\r'/}
      e2e_wintool press "$E2E_BOX_TITLE" OK >/dev/null 2>&1
    fi
    sleep 0.1
  done
  wine_exit=0
  wait "$E2E_PACKAGE_PID" || wine_exit=$?
  E2E_PACKAGE_PID=
  program=$(e2e_windows_path "$root/program")
  wine_tree=$(python3 "$E2E_WORK/tree.py" "$root")
  wine_log=$(damage_log "$root.log" "$program" "$E2E_TMP_WINDOWS")
  wine_box=$(printf '%s\n' "$wine_box" | alike "$program" "$E2E_TMP_WINDOWS" | printable)
  # Now and then Wine ends a program with 1 before it does anything, with
  # no word (see e2e_wintool): again, twice at most.
  if [ "$wine_exit" = 1 ] && [ -z "$wine_log$wine_box" ] && [ ! -s "$E2E_PACKAGE_LOG" ] &&
    [ "${2:-0}" -lt 2 ]; then
    e2e_log "note: Wine ended the package with 1 and no word (try $((${2:-0} + 1)))"
    damage_wine "$1" $((${2:-0} + 1))
  fi
}

mismatches=0
report() { # WHAT NATIVE WINE
  mismatches=$((mismatches + 1))
  e2e_log "MISMATCH, $1: $(cat "$case_dir/case.txt") (replay: DAMAGE_SEED=$damage_seed DAMAGE_CASES=$damage_count DAMAGE_ONLY=$((10#${case_dir##*/})))"
  e2e_log "--- native:"
  e2e_log "$2"
  e2e_log "--- Windows program under Wine:"
  e2e_log "$3"
}

started=$SECONDS
for case_dir in "$damage"/[0-9]*; do
  [ -z "${DAMAGE_ONLY:-}" ] || [ "$((10#${case_dir##*/}))" = "$DAMAGE_ONLY" ] || continue
  damage_native "$case_dir"
  damage_wine "$case_dir"
  # A wide run says where it is, so that a case that stops it is found.
  [ "$damage_count" -le 10 ] || e2e_log "$(cat "$case_dir/case.txt") -> $native_exit"
  [ "$native_exit" = "$wine_exit" ] || report "exit code" "$native_exit" "$wine_exit"
  [ "$native_tree" = "$wine_tree" ] || report "tree" "$native_tree" "$wine_tree"
  [ "$native_log" = "$wine_log" ] || report "log" "$native_log" "$wine_log"
  [ "$native_box" = "$wine_box" ] || report "message" "$native_box" "$wine_box"
  case "$native_log$native_box" in
  *поврежден*)
    [ "$native_tree" = "$fresh_tree" ] ||
      report "a change by a damaged package" "$native_tree" "$fresh_tree" ;;
  esac
done
e2e_log "damaged packages: $damage_count of seed $damage_seed and 3 fixed in $((SECONDS - started)) s"
[ "$mismatches" -eq 0 ] || e2e_fail "$mismatches mismatches between the native run and Windows"
