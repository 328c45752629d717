# pack, list and extract a folder with Cyrillic names, empty files, every
# byte value, names with blanks and dot-files; subfolders stay out.
. "$(dirname "$0")/common.bash"

mkdir src
printf 'hello' >src/one.txt
: >src/пусто.txt
: >src/empty
printf 'абв' >'src/Привет мир.dat'
for i in $(seq 0 255); do printf "\\x$(printf %02x "$i")"; done >src/bytes.bin
head -c 300000 /dev/urandom >src/Большой.bin # longer than one buffer window
mkdir src/sub
printf 'no' >src/sub/inner.txt
printf 'dot' >src/.settings

run_tool pack src a.pack
expect_rc 0 "pack"
expect_empty "$OUT" "pack stdout"
expect_text "$ERR" "updpack: warning: skipping subfolder src/sub: an archive holds the files of one folder only" \
  "pack warns for what it skips"

# Names in case-insensitive order, as the listing gives them; Cyrillic
# names are stored in Windows-1251, one byte per character.
run_tool list a.pack
expect_rc 0 "list"
expect_text "$OUT" "compression: 0
data start: 145
.settings	1	4	3
bytes.bin	4	260	256
empty	260	260	0
one.txt	260	265	5
Большой.bin	265	300265	300000
Привет мир.dat	300265	300271	6
пусто.txt	300271	300271	0" "list output"
[ "$(stat -c %s a.pack)" = 300414 ] || fail "archive length"
head -c 7 a.pack | cmp -s - <(printf 'PACK1\x00\x01') || fail "archive header"
grep -qa "$(printf '\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0.dat?300265?300271\x02')" a.pack ||
  fail "catalog entry in Windows-1251"

mkdir dst
run_tool extract a.pack dst
expect_rc 0 "extract"
expect_empty "$ERR" "extract stderr"
rm -r src/sub
diff -r src dst >/dev/null || fail "extracted folder differs from the source"
for f in src/*; do
  expect_same_bytes "$f" "dst/${f#src/}" "round trip of ${f#src/}"
done

# A reader and a writer made from the format's description alone, not from
# the tool: the reader finds every file of src in what pack wrote, byte for
# byte where its catalog says, the entries tiling the data region; the
# tool unpacks what the writer makes (method byte 42, the entries in
# another order, bytes after the data) into the same files.
python3 - a.pack src spec.pack <<'PY' || fail "the description's reader and writer disagree with the tool"
import os, sys
data = open(sys.argv[1], "rb").read()
assert data[:5] == b"PACK1" and data[6] == 1, "header"
texts, text, i = [], bytearray(), 7
while data[i] != 1:  # the catalog ends at the first 0x01
    if data[i] == 2:
        texts.append(bytes(text))
        text = bytearray()
    else:
        text.append(data[i])
    i += 1
assert not text, "text after the last entry"
data_start = i + 2  # 1-based position of the first data byte
files = {n: open(os.path.join(sys.argv[2], n), "rb").read()
         for n in os.listdir(sys.argv[2])
         if os.path.isfile(os.path.join(sys.argv[2], n))}
seen, next_start = {}, 1
for t in texts:
    name, start, end = t.split(b"?")
    start, end = int(start), int(end)
    assert start == next_start, "entries tile the data region"
    next_start = end
    first, past = data_start + start - 1, data_start + end - 1
    seen[name.decode("cp1251")] = data[first - 1:past - 1]
assert next_start - 1 == len(data) - data_start + 1, "the last end"
assert seen == files, "the entries are the files"
out = bytearray(b"PACK1\x2a\x01")
body, start = bytearray(), 1
for name in sorted(files, reverse=True):
    end = start + len(files[name])
    out += name.encode("cp1251") + b"?%d?%d\x02" % (start, end)
    body += files[name]
    start = end
open(sys.argv[3], "wb").write(bytes(out + b"\x01" + body + b"\x00rest"))
PY
mkdir dst_spec
run_tool extract spec.pack dst_spec
expect_rc 0 "extract of the description writer's archive"
diff -r src dst_spec >/dev/null || fail "the description writer's archive unpacks into other files"

# Existing longer files are replaced, not overwritten in place.
head -c 5000 /dev/urandom >dst/one.txt
run_tool extract a.pack dst
expect_rc 0 "extract over existing files"
expect_same_bytes src/one.txt dst/one.txt "replaced file"

# A trailing separator on either folder is accepted.
mkdir dst2
run_tool pack src/ b.pack
expect_rc 0 "pack with a trailing /"
expect_same_bytes a.pack b.pack "same archive"
run_tool extract b.pack dst2/
expect_rc 0 "extract with a trailing /"
diff -r src dst2 >/dev/null || fail "extract into dst2/"

# The method byte is written and read back; no method changes the data.
run_tool pack --compression 7 src c.pack
expect_rc 0 "pack --compression 7"
[ "$(od -An -tu1 -j5 -N1 c.pack | tr -d ' ')" = 7 ] || fail "method byte 7"
run_tool list c.pack
expect_contains "$OUT" "compression: 7" "list of c.pack"
mkdir dst3
run_tool extract c.pack dst3
expect_rc 0 "extract c.pack"
diff -r src dst3 >/dev/null || fail "extract with method 7"
run_tool pack src d.pack --compression=255
expect_rc 0 "pack --compression=255"

# An empty folder gives the 8-byte archive; it lists and extracts to nothing.
mkdir none out_none
run_tool pack none e.pack
expect_rc 0 "pack of an empty folder"
cmp -s e.pack <(printf 'PACK1\x00\x01\x01') || fail "8-byte archive"
run_tool list e.pack
expect_text "$OUT" "compression: 0
data start: 9" "list of an empty archive"
run_tool extract e.pack out_none
expect_rc 0 "extract of an empty archive"
[ -z "$(ls -A out_none)" ] || fail "nothing extracted from an empty archive"

# A name longer than Windows makes (256 characters) fails verify and list
# as it fails the extraction.
python3 -c "
import sys
name = b'n' * 256
sys.stdout.buffer.write(b'PACK1\\x00\\x01' + name + b'?1?2\\x02\\x01x')" >long.pack
for command in verify list extract; do
  mkdir -p long_out
  if [ $command = extract ]; then run_tool extract long.pack long_out; else run_tool $command long.pack; fi
  expect_rc 1 "$command of a name of 256 characters"
done

# Windows counts a name's UTF-16 units, not its bytes: 255 Cyrillic
# letters (510 bytes of UTF-8) make one name, 256 do not. BYTE|COUNT|rc.
while IFS='|' read -r byte count rc; do
  python3 -c "
import sys
name = bytes([0x$byte]) * $count
sys.stdout.buffer.write(b'PACK1\\x00\\x01' + name + b'?1?2\\x02\\x01x')" >units.pack
  for command in verify list; do
    run_tool $command units.pack
    expect_rc "$rc" "$command of a name of $count bytes 0x$byte"
  done
done <<'TABLE'
ff|128|0
e0|255|0
e0|256|1
TABLE

# A folder that is not there lists no file: the empty archive, and a
# warning that names the folder.
run_tool pack missing m.pack
expect_rc 0 "pack of a missing folder"
expect_contains "$ERR" "the folder missing does not exist" "the warning names the folder"
expect_same_bytes e.pack m.pack "the empty archive of a missing folder"

# A package extracted into its own folder, holding an entry of its own
# name, is not replaced by that entry.
mkdir -p own/payload own/program
printf 'entry' >own/payload/update.exe
make_stub own/stub.bin
run_tool build --payload own/payload --stub own/stub.bin -o own/program/update.exe
expect_rc 0 "build a package holding update.exe"
cp own/program/update.exe own/package.copy
run_tool extract own/program/update.exe own/program
expect_rc 1 "extract a package over itself"
expect_contains "$ERR" "would replace the package itself" "the refusal says why"
cmp -s own/program/update.exe own/package.copy || fail "the package was replaced"

# Nor by an entry of a name that Windows takes for its own: another case,
# or dots and blanks that end it (the extraction drops them).
for entry in UPDATE.EXE update.exe. 'update.exe ' 'Update.exe. .'; do
  python3 -c "
import sys
name = sys.argv[1].encode()
sys.stdout.buffer.write(b'PACK1\\x00\\x01' + name + b'?1?6\\x02\\x01entry')" "$entry" >own/alias.pack
  run_tool build --archive own/alias.pack --store --stub own/stub.bin -o own/program/update.exe
  expect_rc 0 "build a package holding \"$entry\""
  cp own/program/update.exe own/package.copy
  run_tool extract own/program/update.exe own/program
  expect_rc 1 "extract a package holding \"$entry\" over itself"
  cmp -s own/program/update.exe own/package.copy ||
    fail "the package was replaced by \"$entry\""
done

# The archive may reach 2,147,483,647 bytes and not one more: "big?1?", ten
# digits, 0x02 and the header's nine bytes make it 25 bytes longer than
# big (a sparse file). One byte over is refused with nothing written; at
# the limit packing goes on, here until a file-size limit stops its writing.
mkdir huge
truncate -s $((2147483647 - 24)) huge/big
run_tool pack huge huge.pack
expect_rc 1 "pack of a 2 GiB archive"
expect_text "$ERR" "updpack: the archive would reach 2 GiB at big" "the 2 GiB refusal"
[ ! -e huge.pack ] || fail "a refused archive was written"
truncate -s $((2147483647 - 25)) huge/big
(trap '' XFSZ; ulimit -f 64; "$UPDPACK" pack huge huge.pack >"$OUT" 2>"$ERR")
RC=$?
expect_rc 1 "pack of an archive of 2147483647 bytes over a file-size limit"
grep -q "2 GiB" "$ERR" && fail "an archive of 2147483647 bytes was refused"
rm -r huge

# An older, longer archive at the target is replaced.
head -c 400000 /dev/urandom >f.pack
run_tool pack none f.pack
expect_same_bytes e.pack f.pack "replaced archive"

finish
