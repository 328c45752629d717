"""relayout.py PACKAGE CHANGE...: a package that build wrote, to stdout, with
its manifest's pairs changed and its length and trailer kept true.
KEY=VALUE sets a pair, KEY= drops it, KEY=+N and KEY=-N move a number by N;
cut=N also drops the stream's last N bytes (the stream declared that much
shorter). relayout.py PACKAGE KEY prints the pair's value instead."""
import re
import struct
import sys
import zlib

data = open(sys.argv[1], "rb").read()
start = struct.unpack_from("<I", data, len(data) - 4)[0] - 1
image = data.rindex(b"updpack manifest", 0, start)
payload = data[image + 24:start].split(b"\0")[:-1]
pairs = dict(zip(payload[::2], payload[1::2]))
if len(sys.argv) == 3 and "=" not in sys.argv[2]:
    print(pairs[sys.argv[2].encode()].decode())
    sys.exit(0)
region = data[start:-4]
for change in sys.argv[2:]:
    key, value = change.encode().split(b"=", 1)
    if key == b"cut":
        stream = int(pairs[b"stream"])
        region = region[:stream - int(value)] + region[stream:]
        key, value = b"stream", b"-" + value
    if re.fullmatch(rb"[+-]\d+", value):
        value = b"%d" % (int(pairs[key]) + int(value))
    pairs.pop(key, None)
    if value:
        pairs[key] = value
length = 0 if pairs.pop(b"length", None) else None
while True:
    text = b"".join(k + b"\0" + v + b"\0" for k, v in pairs.items())
    if length is not None:
        text += b"length\0%d\0" % length
    total = image + 24 + len(text) + len(region) + 4
    if length in (None, total):
        break
    length = total
sys.stdout.buffer.write(data[:image] + b"updpack manifest" +
                        struct.pack("<II", len(text), zlib.crc32(text)) +
                        text + region + struct.pack("<I", image + 25 + len(text)))
