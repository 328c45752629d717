#!/usr/bin/env python3
"""What `verify` says of a package against what a run of it does (not a
test): sound packages of every kind (stored and compressed, with our
manifest and of the base format, signed with osslsigncode and not, long
scripts, files' times, an icon, the expected state, many entries, empty
files, x86-filtered and stored ranges, a stream in two parts) are damaged in seeded ways, and each mutant goes through `verify`,
`verify --json`, `list`, `extract` and `run --yes` in a copy of the version
it is for. Every disagreement is counted by kind and the mutant kept:

- a command that crashes (a signal, an uncaught exception), runs over
  TIME_LIMIT seconds or takes more than MEM_LIMIT_MB of memory;
- `verify --json` that is no JSON, or whose verdict or exit code is not the
  text report's;
- sound, yet `list` or `extract` fails, the run fails, or (a package of
  ours, whose checksums cover every entry) installs other bytes than the
  package did before the damage;
- damaged, yet the run succeeds (for the base format the run is the
  reference: verify is too strict; for ours the run accepted it);
- a package of ours whose failed run left the product changed.

    python3 bench/verify_campaign.py [--tool build/native/tools/updpack]
        [--stub build/win64/stub/updpack-stub.exe] [--seed N] [--mutants N]
        [--work DIR] [--only PACKAGE,...] [--keep]

--mutants is per sound package. The mutants that disagree land in
WORK/findings/ with a line each in WORK/findings.txt; the exit status is 1
when there is one.
"""
import argparse
import hashlib
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import zlib

MAGIC = b"updpack manifest"
DAMAGED = "Пакет обновления поврежден или загружен не полностью"
SUCCESS = "прошло успешно"
TIME_LIMIT = 5.0
MEM_LIMIT_MB = 600


# ---------------------------------------------------------------- running


def run(argv, env=None, limit=TIME_LIMIT * 4):
    """(exit code or -signal or 'timeout', stdout, stderr, seconds, max RSS
    in MB) of argv."""
    start = time.monotonic()
    with open(os.devnull, "rb") as null:
        p = subprocess.Popen(argv, stdin=null, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, env=env)
    out, err = [], []
    threads = [threading.Thread(target=lambda s, b: b.append(s.read()),
                                args=(s, b)) for s, b in
               ((p.stdout, out), (p.stderr, err))]
    for t in threads:
        t.start()
    rc, rss = None, 0
    while True:
        pid, status, usage = os.wait4(p.pid, os.WNOHANG)
        if pid:
            rc = os.waitstatus_to_exitcode(status)
            rss = usage.ru_maxrss / 1024
            break
        if time.monotonic() - start > limit:
            p.kill()
            _, status, usage = os.wait4(p.pid, 0)
            rc, rss = "timeout", usage.ru_maxrss / 1024
            break
        time.sleep(0.002)
    p.returncode = rc if isinstance(rc, int) else -9
    for t in threads:
        t.join()
    return rc, out[0], err[0], time.monotonic() - start, rss


def must(argv, **kw):
    r = subprocess.run(argv, capture_output=True, **kw)
    if r.returncode:
        sys.exit("failed: %s\n%s" % (" ".join(argv), r.stderr.decode()))
    return r


def tree(root, skip=("update.exe",), since=None):
    """path -> ('d',) or ('f', sha1, mtime_ns or None) of everything below
    root; a file's time only when it lies before `since` (set by the
    package or left alone, not the time of the run)."""
    out = {}
    for base, dirs, files in os.walk(root):
        rel = os.path.relpath(base, root)
        for d in dirs:
            out[os.path.normpath(os.path.join(rel, d))] = ("d",)
        for f in files:
            path = os.path.join(base, f)
            key = os.path.normpath(os.path.join(rel, f))
            if key in skip:
                continue
            if os.path.islink(path):
                out[key] = ("l", os.readlink(path))
                continue
            st = os.stat(path)
            with open(path, "rb") as fh:
                digest = hashlib.sha1(fh.read()).hexdigest()
            mtime = st.st_mtime_ns if since and st.st_mtime_ns < since else None
            out[key] = ("f", digest, mtime)
    return out


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------- packages


def image_end(data):
    """Where the program image ends as its headers say (the manifest's
    offset), or None."""
    try:
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections, optional = struct.unpack_from("<H12xH", data, pe + 6)
        end = struct.unpack_from("<I", data, pe + 24 + 60)[0]
        table = pe + 24 + optional
        for k in range(sections):
            size, at = struct.unpack_from("<II", data, table + 40 * k + 16)
            end = max(end, at + size)
        return end
    except struct.error:
        return None


def security_dir(data):
    """The offset of the security directory entry in the PE header."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return pe + 24 + 144


class Pkg:
    """A package taken apart: the image, the manifest's payload (None: the
    base format), the region from the archive's first byte to the trailer,
    and a signing tool's table."""

    def __init__(self, data):
        self.data = data
        sec = security_dir(data)
        table_at, table_size = struct.unpack_from("<II", data, sec)
        self.cert = b""
        end = len(data)
        if table_at and table_at + table_size == len(data):
            self.cert, end = data[table_at:], table_at
        self.end = end
        self.first = struct.unpack_from("<I", data, end - 4)[0]
        self.image = image_end(data)
        self.payload = None
        if data[self.image:self.image + 16] == MAGIC:
            n = struct.unpack_from("<I", data, self.image + 16)[0]
            self.payload = data[self.image + 24:self.image + 24 + n]
        self.region = data[self.first - 1:end - 4]
        self.pairs = pairs(self.payload) if self.payload is not None else None

    def compressed(self):
        return self.pairs is not None and dict(self.pairs).get(b"codec") == b"lzma"

    def build(self, payload=None, region=None, fix_length=True):
        """The package with payload (a list of pairs or bytes) and region,
        its length key, trailer and security directory made to fit."""
        payload = self.pairs if payload is None else payload
        region = self.region if region is None else region
        head = self.data[:self.image]
        if payload is None:  # the base format
            body = head + region + struct.pack("<I", len(head) + 1)
            return self.sign(body)
        length = 0
        for _ in range(5):
            if isinstance(payload, bytes):
                raw = payload
            else:
                items = [(k, (b"%d" % length if k == b"length" and fix_length
                              else v)) for k, v in payload]
                raw = b"".join(k + b"\0" + v + b"\0" for k, v in items)
            manifest = MAGIC + struct.pack("<II", len(raw), zlib.crc32(raw)) + raw
            total = len(head) + len(manifest) + len(region) + 4
            if total == length or isinstance(payload, bytes):
                break
            length = total
        body = (head + manifest + region +
                struct.pack("<I", len(head) + len(manifest) + 1))
        return self.sign(body)

    def sign(self, body):
        if not self.cert:
            return body
        sec = security_dir(body)
        body = bytearray(body)
        struct.pack_into("<II", body, sec, len(body), len(self.cert))
        return bytes(body) + self.cert


def pairs(payload):
    items = payload.split(b"\0")
    return [(items[k], items[k + 1]) for k in range(0, len(items) - 1, 2)]


class Catalog:
    """A stored PACK1 archive: header, entry texts, the data region."""

    def __init__(self, archive):
        self.head = archive[:7]
        end = archive.index(b"\x01", 7)
        self.texts = archive[7:end].split(b"\x02")[:-1]
        self.data = archive[end + 1:]

    def entries(self):
        out = []
        for t in self.texts:
            m = re.fullmatch(rb"(.*)\?(-?\d+)\?(-?\d+)", t, re.S)
            out.append((m.group(1), int(m.group(2)), int(m.group(3))) if m else None)
        return out

    def bytes(self, texts=None, data=None):
        texts = self.texts if texts is None else texts
        data = self.data if data is None else data
        return self.head + b"".join(t + b"\x02" for t in texts) + b"\x01" + data


def sums_entry(cat):
    """The data region with ~updpack.sum made anew for the entries' bytes
    (its length unchanged: the CRCs are fixed width)."""
    entries = cat.entries()
    sums = [e for e in entries if e and e[0] == b"~updpack.sum"]
    if not sums:
        return cat.data
    _, s0, e0 = sums[-1]
    lines = []
    for e in entries:
        if not e or e[0] == b"~updpack.sum":
            continue
        name, s, t = e
        chunk = cat.data[s - 1:t - 1]
        lines.append(b"%08X %d %s\r\n" % (zlib.crc32(chunk), len(chunk), name))
    text = b"updpack sums 1\r\n" + b"".join(lines)
    if len(text) != e0 - s0:
        return cat.data
    return cat.data[:s0 - 1] + text + cat.data[e0 - 1:]


# ---------------------------------------------------------------- mutators


def flip(data, at, bit=None, rng=None):
    b = bytearray(data)
    b[at] ^= 1 << (bit if bit is not None else rng.randrange(8))
    return bytes(b)


def generic(pkg, rng):
    d = pkg.data
    n = len(d)
    choice = rng.randrange(8)
    # Offsets weighted towards the parts that matter: the manifest, the
    # archive's head and catalog, the trailer, anywhere.
    spots = [lambda: rng.randrange(n),
             lambda: rng.randrange(pkg.first - 1, min(n, pkg.first + 400)),
             lambda: rng.randrange(pkg.end - 8, pkg.end),
             lambda: rng.randrange(pkg.image, min(n, pkg.first))]
    at = rng.choice(spots)()
    at = min(max(at, 0), n - 1)
    if choice <= 2:
        return "bitflip@%d" % at, flip(d, at, rng=rng)
    if choice == 3:
        k = rng.choice([1, 2, 3, 4, 5, 8, rng.randrange(1, n // 2)])
        return "cut_end-%d" % k, d[:n - k]
    if choice == 4:
        k = rng.choice([1, 4, rng.randrange(1, 200)])
        return "cut_inside@%d-%d" % (at, k), d[:at] + d[at + k:]
    if choice == 5:
        k = rng.choice([1, 4, rng.randrange(1, 200)])
        return "insert@%d+%d" % (at, k), d[:at] + rng.randbytes(k) + d[at:]
    if choice == 6:
        return "byte@%d" % at, d[:at] + bytes([rng.randrange(256)]) + d[at + 1:]
    return "zero@%d" % at, d[:at] + b"\0" * 8 + d[at + 8:]


def catalog_edit(pkg, rng):
    """Edits of a stored archive's catalog, the package made to fit (its
    length and trailer) so that only the edit is wrong."""
    if pkg.compressed():
        return None
    cat = Catalog(pkg.region)
    entries = cat.entries()
    texts = list(cat.texts)
    k = rng.randrange(len(texts))
    name, s, e = entries[k]
    others = [x[0] for x in entries if x and x[0] != name]
    what = rng.randrange(14)
    data = None
    if what == 0:
        field = rng.choice(["start", "end"])
        delta = rng.choice([-1, 1])
        s2, e2 = (s + delta, e) if field == "start" else (s, e + delta)
        texts[k] = b"%s?%d?%d" % (name, s2, e2)
        label = "%s_%+d" % (field, delta)
    elif what == 1:
        value = rng.choice([0, -1, 2 ** 31, 2 ** 31 - 1, 2 ** 32 + s,
                            len(cat.data) + 1, len(cat.data) + 2, e, s])
        field = rng.choice(["start", "end"])
        s2, e2 = (value, e) if field == "start" else (s, value)
        texts[k] = b"%s?%d?%d" % (name, s2, e2)
        label = "%s=%d" % (field, value)
    elif what == 2 and others:
        texts[k] = b"%s?%d?%d" % (rng.choice(others), s, e)
        label = "name_as_other"
    elif what == 3 and name:
        i = rng.randrange(len(name))
        c = rng.choice(b"?\\/:*\x00\x01\x02\x7f. aZ~\xff")
        texts[k] = b"%s?%d?%d" % (name[:i] + bytes([c]) + name[i + 1:], s, e)
        label = "name_char_%02x" % c
    elif what == 4:
        texts[k] = b"%s?%d?%d" % (name.swapcase(), s, e)
        label = "name_case"
    elif what == 5:
        texts.insert(rng.randrange(len(texts) + 1), texts[k])
        label = "duplicate"
    elif what == 6:
        del texts[k]
        label = "drop"
    elif what == 7:
        texts[k] = b"%s?%d?%d" % (rng.choice([b"script", b"~updpack.sum",
                                              b"~updpack.scr", b"~updpack.tim",
                                              b"~updpack.exp", b"con",
                                              b"a.txt.", b"", b"x" * 300]), s, e)
        label = "renamed_tool_or_odd"
    elif what == 8:
        texts[k] = texts[k] + b"?7"
        label = "extra_field"
    elif what == 9:
        texts[k] = texts[k].replace(b"?", b"", 1)
        label = "missing_field"
    elif what == 10:
        head = bytearray(cat.head)
        head[rng.choice([0, 4, 5, 6])] ^= 1 << rng.randrange(8)
        cat.head = bytes(head)
        label = "header"
    elif what == 11:
        # The entry's bytes changed, the checksum entry made to match.
        if e - s <= 0:
            return None
        at = rng.randrange(s - 1, e - 1)
        data = flip(cat.data, at, rng=rng)
        cat2 = Catalog(cat.bytes(data=data))
        data = sums_entry(cat2)
        label = "content_resummed:%s" % name.decode("latin-1")
    elif what == 12:
        # Two entries sharing bytes (a range over another's).
        if not others:
            return None
        j = rng.randrange(len(texts))
        n2, s2, e2 = entries[j]
        texts[k] = b"%s?%d?%d" % (name, s2, e2)
        label = "range_of_other"
    else:
        texts[k] = b"%s?%d?%d" % (name, s, s)
        label = "emptied"
    return ("catalog:%s:%s" % (label, name.decode("latin-1")),
            pkg.build(region=cat.bytes(texts, data)))


def tool_entry_edit(pkg, rng):
    """A tool entry's bytes (script, long script, times, expected state,
    checksums) edited with the checksum entry made to match."""
    if pkg.compressed():
        return None
    cat = Catalog(pkg.region)
    entries = [e for e in cat.entries() if e and e[2] > e[1] and
               (e[0] in (b"script", b"~updpack.scr", b"~updpack.tim",
                         b"~updpack.exp", b"~updpack.sum"))]
    if not entries:
        return None
    name, s, e = rng.choice(entries)
    at = rng.randrange(s - 1, e - 1)
    how = rng.randrange(3)
    data = bytearray(cat.data)
    if how == 0:
        data[at] ^= 1 << rng.randrange(8)
    elif how == 1:
        data[at] = rng.choice(b"\x00\x01\xff\x7f0 9\\.?*")
    else:
        for i in range(at, min(at + 4, e - 1)):
            data[i] = 0xff
    data = bytes(data)
    if name != b"~updpack.sum":
        data = sums_entry(Catalog(cat.bytes(data=data)))
    return ("entry:%s@%d" % (name.decode(), at - s + 1),
            pkg.build(region=cat.bytes(data=data)))


def manifest_edit(pkg, rng):
    if pkg.pairs is None:
        return None
    d = pkg.data
    at = pkg.image
    what = rng.randrange(9)
    if what == 0:  # the payload's length
        n = struct.unpack_from("<I", d, at + 16)[0]
        v = rng.choice([n - 1, n + 1, 0, 2 ** 31, n + len(d)])
        return "manifest:length=%d" % v, d[:at + 16] + struct.pack("<I", v & 0xFFFFFFFF) + d[at + 20:]
    if what == 1:
        return "manifest:crc", flip(d, at + 20 + rng.randrange(4), rng=rng)
    if what == 2:
        return "manifest:payload_flip", flip(d, at + 24 + rng.randrange(len(pkg.payload)), rng=rng)
    items = list(pkg.pairs)
    keys = [k for k, _ in items]
    if what == 3:
        k = rng.randrange(len(items))
        del items[k]
        return "manifest:drop_%s" % keys[k].decode(), pkg.build(items)
    if what == 4:
        k = rng.randrange(len(items))
        items.insert(k, items[k])
        return "manifest:repeat_%s" % keys[k].decode(), pkg.build(items)
    if what == 5:
        items.append((b"future-key", b"x"))
        return "manifest:unknown_key", pkg.build(items)
    # A value edited, the CRC made to match; the length fixed but for the
    # length itself.
    interesting = [k for k in keys if k in (b"length", b"stream", b"raw",
                                             b"rawcrc", b"restart", b"stored",
                                             b"x86", b"codec", b"codepage",
                                             b"sums", b"longscript", b"times",
                                             b"expect")]
    key = rng.choice(interesting or keys)
    i = keys.index(key)
    v = items[i][1]
    if v.isdigit():
        n = int(v)
        new = rng.choice([n - 1, n + 1, 0, n * 2, 2 ** 32 + n, 2 ** 31, n + 8])
        nv = b"%d" % new
        if rng.random() < 0.15:
            nv = rng.choice([b"-1", b" %d" % n, b"%d " % n, b"0%d" % n, b"1e3", b""])
    elif b":" in v:
        ranges = v.split(b",")
        j = rng.randrange(len(ranges))
        o, l = (int(x) for x in ranges[j].split(b":"))
        o2, l2 = rng.choice([(o + 1, l), (o - 1, l), (o, l + 1), (o, l - 1),
                             (o, 0), (o + l, l), (o, 2 ** 31)])
        ranges[j] = b"%d:%d" % (o2, l2)
        if rng.random() < 0.2 and len(ranges) > 1:
            ranges = ranges[::-1]
        nv = b",".join(ranges)
    else:
        nv = rng.choice([b"stored", b"xz", b"", b"LZMA", v + b"x"])
    items[i] = (key, nv)
    return ("manifest:%s=%s" % (key.decode(), nv[:40].decode("latin-1")),
            pkg.build(items, fix_length=key != b"length"))


def stream_edit(pkg, rng):
    """The compressed stream's header or body, or the stream cut with its
    declared length to match."""
    if not pkg.compressed():
        return None
    items = list(pkg.pairs)
    layout = dict(items)
    stream = int(layout[b"stream"])
    region = pkg.region
    what = rng.randrange(4)
    if what == 0:
        at = rng.randrange(5)
        return "stream:header@%d" % at, pkg.build(region=flip(region, at, rng=rng))
    if what == 1:
        at = rng.randrange(5, stream)
        return "stream:body@%d" % at, pkg.build(region=flip(region, at, rng=rng))
    if what == 2:
        k = rng.choice([1, 6, rng.randrange(1, stream)])
        items = [(a, b"%d" % (stream - k) if a == b"stream" else b) for a, b in items]
        return ("stream:cut-%d_declared" % k,
                pkg.build(items, region=region[:stream - k] + region[stream:]))
    # the raw length declared otherwise, CRC and all
    raw = int(layout[b"raw"])
    new = rng.choice([raw - 1, raw + 1, raw * 2, 0, 2 ** 31 - 1])
    items = [(a, b"%d" % new if a == b"raw" else b) for a, b in items]
    return "stream:raw=%d" % new, pkg.build(items)


def trailer_edit(pkg, rng):
    d = pkg.data
    v = rng.choice([pkg.first - 1, pkg.first + 1, 0, 1, pkg.image + 1,
                    pkg.end, pkg.end - 3, pkg.end + 100, 2 ** 31, 2 ** 32 - 1,
                    rng.randrange(1, pkg.end)])
    return ("trailer=%d" % v,
            d[:pkg.end - 4] + struct.pack("<I", v & 0xFFFFFFFF) + d[pkg.end:])


def signature_edit(pkg, rng):
    if not pkg.cert:
        return None
    d = pkg.data
    sec = security_dir(d)
    what = rng.randrange(3)
    if what == 0:
        return "cert:flip", flip(d, pkg.end + rng.randrange(len(pkg.cert)), rng=rng)
    if what == 1:
        at, size = struct.unpack_from("<II", d, sec)
        v = rng.choice([(at + 8, size - 8), (at, size + 8), (at - 8, size + 8), (0, 0)])
        b = bytearray(d)
        struct.pack_into("<II", b, sec, v[0] & 0xFFFFFFFF, v[1] & 0xFFFFFFFF)
        return "cert:dir=%d,%d" % v, bytes(b)
    return "cert:appended", d + b"appended"


MUTATORS = [generic, generic, generic, catalog_edit, catalog_edit,
            catalog_edit, tool_entry_edit, tool_entry_edit, manifest_edit,
            manifest_edit, stream_edit, stream_edit, trailer_edit,
            signature_edit]


# ---------------------------------------------------------------- sources


def make_sources(root, tool, stub, rng):
    """name -> (package path, old folder) of every sound package."""
    os.makedirs(root)
    j = lambda *p: os.path.join(root, *p)
    old = j("old")
    for rel, data in [("a.txt", b"old a"), ("old.txt", b"gone"),
                      ("keep.txt", b"keep"), ("sub/x.dat", b"x" * 100),
                      ("gone/y.txt", b"y")]:
        write(os.path.join(old, rel), data)
    payload = j("payload")
    files = {"app.dll": rng.randbytes(20000),
             "readme.txt": b"readme of the new version\r\n" * 120,
             "empty.txt": b"", "a.txt": b"new a"}
    for name, data in files.items():
        write(os.path.join(payload, name), data)
    script = "".join("copy {temp}\\%s {app}\\%s\n" % (n, n) for n in files)
    script += "delete {app}\\old.txt\nmkdir {app}\\newdir\nrmdir {app}\\gone\n"
    write(j("script.txt"), script.encode())
    # Many entries, a fifth of them empty.
    many = j("many")
    names = ["f%03d.%s" % (k, rng.choice(["txt", "dat", "bin"])) for k in range(240)]
    for k, n in enumerate(names):
        write(os.path.join(many, n), b"" if k % 5 == 0 else
              (rng.randbytes(rng.randrange(1, 900)) if k % 3 else b"line %d\n" % k * 30))
    write(j("many.txt"), "".join("copy {temp}\\%s {app}\\%s\n" % (n, n)
                                 for n in names).encode())
    # A new version with long paths, times and the expected state.
    new = j("new")
    shutil.copytree(old, new)
    os.remove(os.path.join(new, "old.txt"))
    shutil.rmtree(os.path.join(new, "gone"))
    long_dir = "docs/Release notes and known issues for the 4.x series"
    write(os.path.join(new, long_dir, "Read me first, then the rest.txt"), b"notes\n" * 50)
    write(os.path.join(new, "a.txt"), b"new a, longer")
    write(os.path.join(new, "bin/empty.cfg"), b"")
    write(os.path.join(new, "bin/core.dll"), rng.randbytes(3000))
    # A program file (the x86 filter's range) and random data (a stored
    # range); a text of 4.6 MB, whose stream comes in two parts.
    mixed = j("mixed")
    with open(stub, "rb") as f:
        write(os.path.join(mixed, "app.exe"), f.read())
    write(os.path.join(mixed, "data.bin"), rng.randbytes(100000))
    write(os.path.join(mixed, "notes.txt"), b"notes\r\n" * 300)
    write(j("mixed.txt"), "".join("copy {temp}\\%s {app}\\%s\n" % (n, n) for n in
                                  ("app.exe", "data.bin", "notes.txt")).encode())
    words = [bytes(rng.choices(b"abcdefghij", k=rng.randrange(2, 9))) for _ in range(5000)]
    write(j("big", "log.txt"), b" ".join(rng.choice(words) for _ in range(800000))[:4600000])
    write(j("big.txt"), b"copy {temp}\\log.txt {app}\\log.txt\n")
    t = 1_600_000_000
    for base, _, fs in os.walk(new):
        for f in fs:
            t += 3600
            os.utime(os.path.join(base, f), ns=(t * 10 ** 9 + 123456789,) * 2)
    must(["convert", "-size", "32x32", "xc:red", "-size", "16x16", "xc:blue",
          j("icon.ico")])
    must(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
          j("key.pem"), "-out", j("cert.pem"), "-days", "2", "-subj", "/CN=campaign"])
    out = {}

    def build(name, args, folder=old):
        path = j("pkg", name + ".exe")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        must([tool] + args + ["--stub", stub, "-o" if args[0] == "build" else "--build", path])
        out[name] = (path, folder)

    def sign(name, of):
        path = j("pkg", name + ".exe")
        must(["osslsigncode", "sign", "-certs", j("cert.pem"), "-key", j("key.pem"),
              "-in", out[of][0], "-out", path])
        out[name] = (path, out[of][1])

    def base(name, folder, script_txt):
        tmp = j("base_" + name)
        shutil.copytree(folder, tmp)
        must([tool, "script", "compile", script_txt, os.path.join(tmp, "script")])
        must([tool, "pack", tmp, tmp + ".pack"])
        with open(stub, "rb") as f:
            image = f.read()
        with open(tmp + ".pack", "rb") as f:
            archive = f.read()
        # Filler before the trailer, as build pads: a signing tool adds
        # none of its own after the trailer then.
        archive += b"\0" * (-(len(image) + len(archive) + 4) % 8)
        path = j("pkg", name + ".exe")
        write(path, image + archive + struct.pack("<I", len(image) + 1))
        out[name] = (path, old)

    build("ours_store", ["build", "--store", "--payload", payload, "--script", j("script.txt")])
    build("ours_lzma", ["build", "--payload", payload, "--script", j("script.txt")])
    sign("ours_store_signed", "ours_store")
    sign("ours_lzma_signed", "ours_lzma")
    build("ours_many_store", ["build", "--store", "--payload", many, "--script", j("many.txt")])
    build("ours_many_lzma", ["build", "--level", "1", "--payload", many, "--script", j("many.txt")])
    build("ours_x86_stored_lzma", ["build", "--payload", mixed, "--script", j("mixed.txt")])
    build("ours_two_parts_lzma", ["build", "--level", "1", "--payload", j("big"),
                                  "--script", j("big.txt")])
    build("ours_diff_lzma", ["diff", old, new, "--icon", j("icon.ico"),
                             "--product", "Orbit", "--version", "2.0"])
    build("ours_diff_store", ["diff", old, new, "--store", "--for-version", "1.0"])
    base("base_store", payload, j("script.txt"))
    sign("base_signed", "base_store")
    base("base_many", many, j("many.txt"))
    return out


# ---------------------------------------------------------------- judging


def observe(tool, pkg_path, old, work, since):
    """What each command makes of the package at pkg_path."""
    obs = {}
    slow = []

    def note(name, r):
        rc, out, err, secs, rss = r
        crashed = (rc == "timeout" or (isinstance(rc, int) and (rc < 0 or rc > 64))
                   or b"terminate called" in err or b"Sanitizer" in err
                   or b"runtime error:" in err)
        if crashed:
            slow.append("%s crashed or hung (%s)" % (name, rc))
        if secs > TIME_LIMIT:
            slow.append("%s took %.1f s" % (name, secs))
        if rss > MEM_LIMIT_MB:
            slow.append("%s took %d MB" % (name, rss))
        return r

    rc, out, err, _, _ = note("verify", run([tool, "verify", pkg_path]))
    text = out.decode("utf-8", "replace")
    obs["verify"] = rc
    obs["verify_last"] = text.rstrip("\n").split("\n")[-1] if text else ""
    obs["faults"] = [l.split("FAULT:", 1)[1].strip() for l in text.splitlines()
                     if "FAULT:" in l]
    rcj, outj, _, _, _ = note("verify --json", run([tool, "verify", "--json", pkg_path]))
    try:
        report = json.loads(outj.decode("utf-8"))
        obs["json"], obs["records"] = report["sound"], len(report["records"])
        obs["warned"] = bool(report["warnings"])
    except (ValueError, KeyError, UnicodeDecodeError):
        obs["json"], obs["records"], obs["warned"] = "invalid", 0, False
    obs["show"] = note("script show", run([tool, "script", "show", pkg_path]))[0]
    obs["verify_json_rc"] = rcj
    obs["list"] = note("list", run([tool, "list", pkg_path]))[0]
    ex = os.path.join(work, "extract")
    shutil.rmtree(ex, ignore_errors=True)
    os.makedirs(ex)
    obs["extract"] = note("extract", run([tool, "extract", pkg_path, ex]))[0]
    obs["extracted"] = tree(ex, skip=()) if obs["extract"] == 0 else None
    target = os.path.join(work, "target")
    tmp = os.path.join(work, "tmp")
    for d in (target, tmp):
        shutil.rmtree(d, ignore_errors=True)
    shutil.copytree(old, target)
    os.makedirs(tmp)
    shutil.copy(pkg_path, os.path.join(target, "update.exe"))
    env = dict(os.environ, TMP=tmp, TEMP=tmp, TMPDIR=tmp)
    rc, out, err, _, _ = note("run", run([tool, "run", os.path.join(target, "update.exe"),
                                          "--yes", "--target", target], env=env))
    said = err.decode("utf-8", "replace") + out.decode("utf-8", "replace")
    obs["run"] = rc
    obs["damaged_said"] = DAMAGED in said
    obs["success_said"] = SUCCESS in said
    obs["run_text"] = said
    obs["tree"] = tree(target, since=since)
    obs["tmp_left"] = sorted(os.listdir(tmp))
    obs["problems"] = slow
    return obs


# Faults that verify reports of a package of ours whose run still
# succeeds, by design: the run passes over a tool entry its manifest does
# not declare (times, expected state, long script) and a time or an
# expected path that names nothing the package changes.
STRICTER = ("is not declared by the manifest",
            "which the package does not hold",
            "which no record of the script changes",
            "which its manifest does not declare: a run carries out none")
INSTALLING = "Установка обновления..."
CHECKING = "Проверка установленной программы..."
BAD_NAME = "Недопустимое имя файла"


def judge(kind, obs, ref, old_tree, consistent=False):
    """The disagreements of one mutant, as (kind, detail); kinds that begin
    with "info:" are endings the campaign counts but that are no fault. A
    consistent mutant (an entry edited and the checksum entry made to
    match) is another package, which may install other bytes or fail where
    the folder is not what its script expects."""
    out = [("resource", p) for p in obs["problems"]]
    sound = obs["verify"] == 0
    if obs["verify"] not in (0, 1):
        out.append(("verify-exit", "verify exited %s" % obs["verify"]))
    if obs["verify_last"] not in ("sound", "damaged or would fail: the package must not be shipped"):
        out.append(("verify-text", "last line %r" % obs["verify_last"]))
    if obs["json"] == "invalid":
        out.append(("json-invalid", "verify --json is no JSON"))
    elif obs["json"] != sound or obs["verify_json_rc"] != obs["verify"]:
        out.append(("json-verdict", "json sound=%s rc=%s, text rc=%s" % (
            obs["json"], obs["verify_json_rc"], obs["verify"])))
    ours = not kind.startswith("base")
    # The run reached the check of the installed product or the install:
    # what fails there is the folder's or a record's, not the package's.
    installed = ((INSTALLING in obs["run_text"] or CHECKING in obs["run_text"])
                 and not obs["damaged_said"])
    if sound:
        if obs["list"] != 0:
            out.append(("sound-list-fails", "list exit %s" % obs["list"]))
        if obs["extract"] != 0:
            out.append(("sound-extract-fails", "extract exit %s" % obs["extract"]))
        if obs["records"] and obs["show"] != 0:
            out.append(("sound-show-fails", "script show exit %s" % obs["show"]))
        if obs["run"] != 0:
            # A name no system makes fails every run: verify warns of it.
            info = (installed and (consistent or not ours) and
                    (obs["warned"] or BAD_NAME not in obs["run_text"]))
            out.append((("info:sound-run-fails-in-install" if info else
                         "sound-run-fails"), "run exit %s: %s" % (
                obs["run"], last_message(obs["run_text"]))))
        elif ours and not consistent and obs["tree"] != ref["tree"]:
            out.append(("sound-installs-other", diff_trees(ref["tree"], obs["tree"])))
        elif (ours and not consistent and obs["extracted"] is not None
              and folded(obs["extracted"]) != folded(ref["extracted"])):
            out.append(("sound-extracts-other", diff_trees(ref["extracted"], obs["extracted"])))
    else:
        if obs["run"] == 0:
            stricter = ours and all(any(t in f for t in STRICTER) for f in obs["faults"])
            out.append(("info:verify-stricter" if stricter else
                        "damaged-run-succeeds" + ("" if ours else "-base"),
                        "; ".join(obs["faults"])[:300]))
        elif ours and obs["tree"] != old_tree:
            out.append(("damaged-half-installed", diff_trees(old_tree, obs["tree"])))
    return out


def folded(t):
    """Names as Windows compares them, without the checksum entry, whose
    own bytes no checksum covers (a name in it may change case)."""
    return {k.lower(): v for k, v in t.items() if k.lower() != "~updpack.sum"}


def last_message(text):
    lines = [l for l in text.splitlines() if l.strip()]
    return " | ".join(lines[-2:])[:300]


def diff_trees(a, b):
    keys = sorted(set(a) | set(b))
    return ", ".join("%s:%s->%s" % (k, a.get(k, ("-",))[0], b.get(k, ("-",))[0])
                     for k in keys if a.get(k) != b.get(k))[:300]


def outcome(obs):
    """A short name of the run's ending."""
    if obs["run"] == 0:
        return "run-ok"
    return "run-%s%s" % (obs["run"], "-damaged" if obs["damaged_said"] else "")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default="build/native/tools/updpack")
    ap.add_argument("--stub", default="build/win64/stub/updpack-stub.exe")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--mutants", type=int, default=100)
    ap.add_argument("--work", default=None)
    ap.add_argument("--only", default=None)
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    tool = os.path.abspath(args.tool)
    stub = os.path.abspath(args.stub)
    rng = random.Random(args.seed)
    work = os.path.abspath(args.work or "/tmp/verify_campaign.%d" % os.getpid())
    shutil.rmtree(work, ignore_errors=True)
    since = time.time_ns() - 10 ** 9
    sources = make_sources(os.path.join(work, "src"), tool, stub, rng)
    findings = os.path.join(work, "findings")
    os.makedirs(findings)
    scratch = os.path.join(work, "scratch")
    counts, kinds, verdicts = {}, {}, {}
    total = 0
    log = open(os.path.join(work, "findings.txt"), "w")
    all_log = open(os.path.join(work, "mutants.tsv"), "w")
    for name, (path, old) in sources.items():
        if args.only and name not in args.only.split(","):
            continue
        with open(path, "rb") as f:
            data = f.read()
        ref = observe(tool, path, old, scratch, since)
        old_tree = tree(old, since=since)
        problems = judge(name, ref, ref, old_tree)
        if ref["verify"] != 0 or ref["run"] != 0 or problems:
            sys.exit("%s is not sound: verify %s, run %s %s\n%s" % (
                name, ref["verify"], ref["run"], problems, ref["run_text"]))
        pkg = Pkg(data)
        made = 0
        seen = set()
        while made < args.mutants:
            mutator = rng.choice(MUTATORS)
            m = mutator(pkg, rng)
            if m is None or m[1] == data or m[1] in seen:
                continue
            seen.add(m[1])
            label, mutant = m
            made += 1
            total += 1
            mpath = os.path.join(scratch, "mutant.exe")
            write(mpath, mutant)
            obs = observe(tool, mpath, old, scratch, since)
            key = ("sound" if obs["verify"] == 0 else "damaged", outcome(obs))
            verdicts[key] = verdicts.get(key, 0) + 1
            consistent = label.startswith(("entry:", "catalog:content_resummed"))
            all_log.write("%s\t%s\t%s\t%s\t%s\t%s\t%s\n" % (
                name, made, label, key[0], key[1], " / ".join(obs["faults"])[:200],
                last_message(obs["run_text"])))
            for kind, detail in judge(name, obs, ref, old_tree, consistent):
                counts[kind] = counts.get(kind, 0) + 1
                kinds.setdefault(kind, set()).add(label.split("@")[0].split("=")[0])
                if kind.startswith("info:"):
                    continue
                keep = os.path.join(findings, "%s-%04d.exe" % (name, made))
                shutil.copy(mpath, keep)
                log.write("%s\t%s\t%s\t%s\tverify=%s run=%s\t%s\n" % (
                    kind, name, label, os.path.basename(keep), obs["verify"],
                    obs["run"], detail))
                log.flush()
        print("%s: %d mutants" % (name, made), flush=True)
    print("packages: %d, mutants: %d" % (
        len(sources) if not args.only else len(args.only.split(",")), total))
    print("verdict and run ending:")
    for (v, o), n in sorted(verdicts.items()):
        print("  %-8s %-20s %d" % (v, o, n))
    faults = sum(n for k, n in counts.items() if not k.startswith("info:"))
    print("disagreements by kind (info: no fault):" if counts else "no disagreement")
    for kind, n in sorted(counts.items()):
        print("  %-34s %4d  (%s)" % (kind, n, ", ".join(sorted(kinds[kind]))[:200]))
    print("details: %s, every mutant: %s" % (os.path.join(work, "findings.txt"),
                                             os.path.join(work, "mutants.tsv")))
    if not args.keep and not faults:
        shutil.rmtree(work)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
