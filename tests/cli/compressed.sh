# build compresses by default and --store keeps the base layout: list,
# extract, script show, verify and run read both alike; a damaged stream is
# a fault for verify and installs nothing.
. "$(dirname "$0")/common.bash"

mkdir src
make_stub src/app.exe 9000 # a PE file of random bytes: filtered, not stored
head -c 100000 /dev/urandom >src/random.bin
seq 1 20000 >src/numbers.txt
cat >update.txt <<'END'
copy {temp}\app.exe     {app}\app.exe
copy {temp}\random.bin  {app}\random.bin
copy {temp}\numbers.txt {app}\numbers.txt
END
make_stub stub.exe 4096
run_tool build --payload src --script update.txt --stub stub.exe -o c.exe
expect_rc 0 "build compresses"
run_tool build --store --payload src --script update.txt --stub stub.exe -o s.exe
expect_rc 0 "build --store"
[ "$(stat -c %s c.exe)" -lt $(($(stat -c %s s.exe) - 80000)) ] ||
  fail "the text compresses: $(stat -c %s c.exe) against $(stat -c %s s.exe)"

for package in c.exe s.exe; do
  run_tool list "$package"
  expect_rc 0 "list $package"
  grep '	' "$OUT" | cut -f1,4 | sort >"$package.list"
  mkdir "x.$package"
  run_tool extract "$package" "x.$package"
  expect_rc 0 "extract $package"
  run_tool script show "$package"
  cp "$OUT" "$package.script"
done
expect_same_bytes c.exe.list s.exe.list "both hold the same entries"
expect_same_bytes c.exe.script s.exe.script "both hold the same script"
for f in app.exe random.bin numbers.txt; do
  expect_same_bytes "x.c.exe/$f" "src/$f" "extracted $f"
done
run_tool list c.exe
expect_contains "$OUT" "compressed: " "list tells a compressed archive"
# The tool's entries lead the stream: a look at the script decodes its start.
[ "$(grep -m1 '	' "$OUT" | cut -f1)" = script ] ||
  fail "the script leads the compressed archive: $(grep -m1 '	' "$OUT")"

run_tool verify c.exe
expect_rc 0 "verify of the compressed package"
expect_contains "$OUT" "compressed package" "verify names the kind"
expect_contains "$OUT" "(ratio 0." "verify reports the ratio"
run_tool verify --json c.exe
expect_contains "$OUT" '"ratio": 0.' "verify --json reports the ratio"

# Levels: each makes a package that runs; others are usage errors.
for level in 0 9; do
  run_tool build --level $level --payload src --script update.txt --stub stub.exe -o l$level.exe
  expect_rc 0 "build --level $level"
  mkdir prog$level
  cp l$level.exe prog$level/
  run_tool run prog$level/l$level.exe --yes
  expect_rc 0 "run at level $level"
  for f in app.exe random.bin numbers.txt; do
    expect_same_bytes "prog$level/$f" "src/$f" "level $level installs $f"
  done
done
run_tool build --level 10 --payload src --stub stub.exe -o x.exe
expect_rc 64 "--level 10"
run_tool build --store --level 3 --payload src --stub stub.exe -o x.exe
expect_rc 64 "--store with --level"

# x86 and stored ranges that share bytes, which no build writes: the run
# takes them as they are, and here the archive decodes whole (a range of
# 1 to 4 bytes holds no instruction the filter changes), so verify warns
# and calls it sound; where the filter changes a byte the CRC-32 tells.
relayout() { python3 "$(dirname "$0")/../support/relayout.py" "$@"; }
x86=$(relayout c.exe x86)
stored=$(relayout c.exe stored)
for range in "$x86,${stored%%:*}:1" "$x86,$((${stored%%:*} + 50)):4"; do
  relayout c.exe "x86=$range" >shared.exe
  run_tool verify shared.exe
  expect_rc 0 "verify of x86=$range beside stored=$stored"
  expect_contains "$OUT" "x86 and stored ranges share bytes" "verify of x86=$range"
  rm -rf progshared && mkdir progshared && cp shared.exe progshared/
  run_tool run progshared/shared.exe --yes
  expect_rc 0 "run of x86=$range beside stored=$stored"
done

# A byte flipped in the stream, right after the archive's start (a bit of
# it: whatever the byte was, it changes).
start=$(($(manifest_end c.exe) + 1))
for at in $((start + 40)) $((start + 3000)); do
  cp c.exe bad.exe
  byte=$(od -An -tu1 -j $((at - 1)) -N 1 c.exe | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 0x10)))" |
    dd of=bad.exe bs=1 seek=$((at - 1)) conv=notrunc 2>/dev/null
  run_tool verify bad.exe
  expect_rc 1 "verify of a flipped stream byte at $at"
  expect_contains "$OUT" "FAULT:       bad.exe: the compressed archive" "verify names it"
  rm -rf progbad && mkdir progbad && cp bad.exe progbad/
  run_tool run progbad/bad.exe --yes
  expect_rc 1 "run of a flipped stream byte at $at"
  expect_contains "$ERR" "Архив пакета обновления поврежден" "the run tells it"
  [ "$(ls progbad)" = bad.exe ] || fail "a damaged stream installs nothing"
done

# The package with its manifest's pairs changed (tests/support/relayout.py).

# A manifest that lies about the stream: verify calls the package damaged,
# list and extract fail, and the run ends with the damaged sentence,
# installs nothing and never writes more than the archive holds. A layout
# no build writes is refused before the question.
# PAIRS|what verify says|what list and extract say|what the run says
raw=$(relayout c.exe raw)
lied="lie.exe: the compressed archive"
while IFS='|' read -r pairs said listed told; do
  # shellcheck disable=SC2086
  relayout c.exe $pairs >lie.exe
  run_tool verify lie.exe
  expect_rc 1 "verify of $pairs"
  expect_contains "$OUT" "FAULT:       $said" "verify of $pairs"
  run_tool list lie.exe
  expect_rc 1 "list of $pairs"
  expect_contains "$ERR" "$listed" "list of $pairs"
  rm -rf lied && mkdir lied
  run_tool extract lie.exe lied
  expect_rc 1 "extract of $pairs"
  expect_contains "$ERR" "$listed" "extract of $pairs"
  [ -z "$(ls -A lied)" ] || fail "extract of $pairs wrote files"
  rm -rf proglie "${TMP:?}"/* && mkdir proglie && cp lie.exe proglie/
  run_tool run proglie/lie.exe --yes
  expect_rc 1 "run of $pairs"
  expect_contains "$ERR" "Произошла критическая ошибка:"$'\n'"$told" "run of $pairs"
  [ "$(ls proglie)" = lie.exe ] || fail "the run of $pairs installed files"
  [ "$(stat -c %s "$TMP/VLSFX_QUORIX.PACK" 2>/dev/null || echo 0)" -le "$raw" ] ||
    fail "the run of $pairs wrote more than the archive holds"
done <<TABLE
raw=-400|$lied does not decode|$lied does not decode|Архив пакета обновления поврежден.
raw=+1|$lied does not decode|$lied does not decode|Архив пакета обновления поврежден.
raw=2147483647|$lied does not decode|$lied does not decode|Архив пакета обновления поврежден.
cut=1|$lied ends before its declared length|$lied ends|Архив пакета обновления поврежден.
cut=3000|$lied ends before its declared length|$lied ends|Архив пакета обновления поврежден.
stream=+1|$lied|$lied|Архив пакета обновления поврежден.
stream=999999999|$lied reaches past the package's end|$lied reaches|Архив пакета обновления поврежден.
rawcrc=+1|$lied differs from its CRC-32|$lied differs|Архив пакета обновления поврежден.
stored=|$lied does not decode|$lied does not decode|Архив пакета обновления поврежден.
restart=1|$lied does not decode|$lied does not decode|Архив пакета обновления поврежден.
codec=LZMA|the manifest declares the archive in a way no build writes|updpack: lie.exe: the manifest declares the archive in a way no build writes|Манифест пакета обновления поврежден: его содержимое не читается.
raw=2147483648|the manifest declares the archive in a way no build writes|updpack: lie.exe: the manifest declares the archive in a way no build writes|Манифест пакета обновления поврежден: его содержимое не читается.
TABLE

# A stream of 400 KB whose catalog gives "script" nearly the 2 GB its
# manifest declares: script show refuses it as the run does, and takes no
# memory for what the catalog claims (it reserved 2 GB first).
python3 - c.exe >claim.exe <<'PY'
import lzma, os, struct, sys, zlib
data = open(sys.argv[1], "rb").read()
start = struct.unpack_from("<I", data, len(data) - 4)[0] - 1
image = data.rindex(b"updpack manifest", 0, start)
fields = data[image + 24:start].split(b"\0")[:-1]
pairs = {k: v for k, v in zip(fields[::2], fields[1::2])
         if k not in (b"stored", b"x86", b"restart", b"length")}
raw = b"PACK1\0\x01script?1?1999999000\x02\x01" + os.urandom(400000)
stream = lzma.compress(raw, format=lzma.FORMAT_ALONE)
stream = stream[:5] + stream[13:]
pairs.update({b"stream": b"%d" % len(stream), b"raw": b"2000000000"})
length = 0
while True:
    text = b"".join(k + b"\0" + v + b"\0" for k, v in pairs.items())
    text += b"length\0%d\0" % length
    if image + 28 + len(text) + len(stream) == length:
        break
    length = image + 28 + len(text) + len(stream)
sys.stdout.buffer.write(data[:image] + b"updpack manifest" +
                        struct.pack("<II", len(text), zlib.crc32(text)) + text +
                        stream + struct.pack("<I", image + 25 + len(text)))
PY
# A sanitized build reserves terabytes of shadow memory: no limit there.
limit=unlimited
[ "${UPDPACK_TIME_FACTOR:-1}" = 1 ] && limit=1000000
(ulimit -v $limit && "$UPDPACK" script show claim.exe) >"$OUT" 2>"$ERR"
expect_contains "$ERR" "claim.exe: the entry script is 1999998999 bytes, more than 33554432" \
  "script show of an entry claiming 2 GB"
mkdir progclaim && cp claim.exe progclaim/
(ulimit -v $limit && "$UPDPACK" run progclaim/claim.exe --yes) >"$OUT" 2>"$ERR"
expect_contains "$ERR" "Архив пакета обновления поврежден." "run of an entry claiming 2 GB"

# A range for each of 100,000 program files (64 bytes each, "MZ" and a
# PE header): a manifest longer than a run reads, which build refuses rather
# than write a package that every run calls damaged; --store takes them.
# Reading 100,000 entries takes half a minute sanitized: natively only.
if [ "${UPDPACK_TIME_FACTOR:-1}" = 1 ]; then
python3 - >many.pack <<'PY'
import struct, sys
image = bytearray(64)
image[0:2], image[4:10] = b"MZ", b"PE\0\0" + struct.pack("<H", 0x8664)
image[60:64] = struct.pack("<I", 4)
n = 100000
names = b"".join(b"%d?%d?%d\x02" % (k, 64 * k + 1, 64 * k + 65) for k in range(n))
sys.stdout.buffer.write(b"PACK1\0\x01" + names + b"\x01" + bytes(image) * n)
PY
run_tool build --archive many.pack --stub stub.exe -o many.exe
expect_rc 1 "build of a manifest too long"
expect_contains "$ERR" "the manifest would take " "build names the manifest too long"
[ ! -e many.exe ] || fail "build wrote a package whose manifest no run reads"
run_tool build --store --archive many.pack --stub stub.exe -o many.exe
expect_rc 0 "build --store of 100,000 program files"
fi

# 4.8 MB of text: a stream in two parts, which verify names and which runs.
mkdir big
seq 1 700000 >big/numbers.txt
echo 'copy {temp}\numbers.txt {app}\numbers.txt' >big.txt
run_tool build --level 0 --payload big --script big.txt --stub stub.exe -o two.exe
expect_rc 0 "build of a stream in two parts"
run_tool verify two.exe
expect_rc 0 "verify of a stream in two parts"
expect_contains "$OUT" "the stream in two parts, the second from raw byte " \
  "verify names the parts"
run_tool verify --json two.exe
grep -q '"restart": [1-9]' "$OUT" || fail "verify --json gives the restart"
mkdir progtwo && cp two.exe progtwo/
run_tool run progtwo/two.exe --yes
expect_rc 0 "run of a stream in two parts"
expect_same_bytes progtwo/numbers.txt big/numbers.txt "two parts install"

# No room to decode into is the tool's failure, no verdict on the package.
for json in "" --json; do
  TMPDIR=/proc run_tool verify $json c.exe
  expect_rc 1 "verify $json without a temporary folder"
  expect_contains "$ERR" "cannot create a temporary folder in /proc" \
    "verify $json says it has no temporary folder"
  grep -q 'damaged\|"sound"' "$OUT" && fail "verify $json judged the package it could not read"
done

# A package cut short, or whose manifest declares a stream that does not
# read, is no script: script show fails, naming it; --raw still shows it.
# PACKAGE|how many bytes are kept.
while IFS='|' read -r package keep; do
  head -c "$keep" "$package" >cut.exe
  run_tool script show cut.exe
  expect_rc 1 "script show of $package cut to $keep bytes"
  expect_contains "$ERR" "cut.exe is a program image whose archive" \
    "script show names $package cut to $keep bytes"
  run_tool script show --raw cut.exe
  expect_rc 0 "script show --raw of $package cut to $keep bytes"
done <<TABLE
c.exe|$(($(stat -c %s c.exe) / 2))
s.exe|$(($(stat -c %s s.exe) / 2))
s.exe|5000
TABLE
finish
