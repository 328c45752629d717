# What verify reports beyond damage: a certificate table that bytes follow,
# and script paths outside {app} and {temp} or new names Windows refuses,
# which `run` also names before its question.
. "$(dirname "$0")/common.bash"

mkdir payload pkg
printf 'a' >payload/a.txt
cat >update.txt <<'EOF2'
delete  C:\Windows\*.dll
copy    {temp}\a.txt  {app}\..\..\evil.dll
mkdir   {app}\ok\..\still_inside
rmdir   {temp}\..
copy    {temp}\a.txt  {app}\a.txt
op 9    C:\x  D:\y
EOF2
make_stub stub.exe 4096
run_tool build --payload payload --script update.txt --stub stub.exe -o pkg/update.exe
expect_rc 0 "build"

# Records 1, 2 and 4 reach outside; 3 and 5 stay inside, 6 is never
# carried out. Absolute paths are allowed: the package stays sound.
run_tool verify pkg/update.exe
expect_rc 0 "verify"
warned=$(grep -c '^  warning:' "$OUT")
[ "$warned" = 3 ] || fail "verify warns of 3 records, not $warned"
for record in '1 works outside {app} and {temp}: delete  C:\Windows\*.dll' \
  '2 works outside {app} and {temp}: copy    {temp}\a.txt' \
  '4 works outside {app} and {temp}: rmdir   {temp}\..'; do
  expect_contains "$OUT" "  warning:     record $record" "verify warns of record ${record%% *}"
done
run_tool verify --json pkg/update.exe
expect_contains "$OUT" '"warnings": ["record 1 works outside' "verify --json lists the warnings"

printf 'n\n' >no.txt
run_tool --stdin no.txt run pkg/update.exe
expect_rc 2 "run, declined"
first=$(head -n 1 "$ERR")
[ "$first" = 'updpack: warning: record 1 works outside {app} and {temp}: delete  C:\Windows\*.dll' ] ||
  fail "run names the records before its question: $first"
[ "$(grep -c '^updpack: warning: record' "$ERR")" = 3 ] || fail "run warns of 3 records"

# A binary script whose copy or mkdir makes a name Windows refuses, or a
# path that ends in a separator where a file is meant: every run fails
# there, and verify calls the package one that would fail, a fault for
# each path of a record at fault (record 6). A deletion of such a path
# fails every run of the base format; one of ours checks the product first
# and skips it, or refuses the update where a folder has that name: a
# warning. run names them all. build refuses the payload's script so,
# unless --unchecked.
mkdir refused
printf 'a' >refused/a.txt
printf 'copy {temp}\\a.txt {app}\\CON\nmkdir {app}\\a:b\ndelete {app}\\NUL\ncopy {app}\\a.txt\\ {app}\\b\ndelete {app}\\sub\\\ncopy {app}\\a.txt\\ {app}\\NUL.txt\n' >refused.txt
run_tool script compile refused.txt refused/script
expect_rc 0 "script compile"
run_tool build --payload refused --stub stub.exe -o pkg/refused.exe
expect_rc 1 "build of a binary script that fails every run"
[ "$(grep -o '^refused/script: error: record [0-9]' "$ERR" | tr -dc 0-9)" = 12466 ] ||
  fail "build names each fault of records 1, 2, 4 and 6: $(cat "$ERR")"
expect_contains "$ERR" 'refused/script: error: record 6 makes a name Windows refuses, and every run fails there: copy    {app}\a.txt\' \
  "the target's fault of record 6"
expect_contains "$ERR" 'refused/script: error: record 6 copies a path that ends in a separator, which names no file, and every run fails there: copy    {app}\a.txt\' \
  "the source's fault of record 6"
[ -e pkg/refused.exe ] && fail "a package of the refused script was written"
run_tool build --unchecked --payload refused --stub stub.exe -o pkg/refused.exe
expect_rc 0 "build --unchecked of a binary script"
[ "$(grep -c '^updpack: warning: record ' "$ERR")" = 6 ] ||
  fail "build --unchecked warns of each fault and of record 5: $(cat "$ERR")"
run_tool pack refused refused.pack
{ cat stub.exe refused.pack; trailer 4097; } >pkg/base.exe
# expect_verdicts PACKAGE FAULTED WARNED: verify (text and JSON) faults
# exactly the records numbered in FAULTED and warns of those in WARNED
# (their digits), and run warns of them all before its question.
expect_verdicts() {
  local package=$1 faulted=$2 warned=$3
  run_tool verify "pkg/$package"
  expect_rc 1 "verify $package"
  [ "$(grep -o '^  FAULT:       record [0-9]' "$OUT" | tr -dc 0-9)" = "$faulted" ] ||
    fail "$package: records $faulted fail every run: $(grep '^  FAULT' "$OUT")"
  [ "$(grep -o '^  warning:     record [0-9]' "$OUT" | tr -dc 0-9)" = "$warned" ] ||
    fail "$package: records $warned are warned of: $(grep '^  warning' "$OUT")"
  expect_contains "$OUT" "damaged or would fail" "$package: the verdict"
  run_tool verify --json "pkg/$package"
  python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(d["sound"] or len(d["faults"]) != len(sys.argv[2]))' \
    "$OUT" "$faulted" || fail "$package: verify --json is not in step"
  run_tool --stdin no.txt run "pkg/$package"
  [ "$(grep -c '^updpack: warning: record' "$ERR")" = $((${#faulted} + ${#warned})) ] ||
    fail "$package: run warns of every record before its question: $(cat "$ERR")"
}
# PACKAGE|records that fail every run|records warned of
while IFS='|' read -r package faulted warned; do
  expect_verdicts "$package" "$faulted" "$warned"
done <<'TABLE'
refused.exe|12466|5
base.exe|124566|
TABLE
expect_contains "$ERR" "record 5 deletes a path that ends in a separator, which names no file, and every run fails there" \
  "run names the deletion"

# Records that name {temp} or {app} itself, an empty source or a copy onto
# its own file fail every run, as the Windows program fails them (see
# tests/wine/test_names.sh); a package of ours checks the product first and
# skips or refuses a deletion or mkdir of {app}, and may run elsewhere. A
# folder named as a device on the way fails unless one was made around
# Windows' calls: a warning.
mkdir folders
printf 'a' >folders/a.txt
cat >folders.txt <<'EOF2'
copy    ""  {app}\x.txt
copy    {temp}  {app}\x
copy    {temp}\a.txt  {app}
copy    {app}\a.txt  {app}\.\A.TXT.
rmdir   {temp}
rmdir   {app}
delete  {app}\.
mkdir   {app}
copy    {temp}\a.txt  {app}\CON\x.txt
EOF2
run_tool script compile folders.txt folders/script
expect_rc 0 "script compile of records at the folders themselves"
run_tool build --unchecked --payload folders --stub stub.exe -o pkg/folders.exe
expect_rc 0 "build --unchecked of records at the folders themselves"
run_tool pack folders folders.pack
{ cat stub.exe folders.pack; trailer 4097; } >pkg/folders-base.exe
# PACKAGE|records that fail every run|records warned of
while IFS='|' read -r package faulted warned; do
  expect_verdicts "$package" "$faulted" "$warned"
done <<'TABLE'
folders.exe|12345|19
folders-base.exe|12345678|19
TABLE
expect_contains "$ERR" "record 4 copies a file onto itself, and every run fails there" \
  "run names the copy onto itself"
expect_contains "$ERR" "record 9 goes through a folder named as a device" \
  "run names the folder named as a device"

# Records whose target names, on its way, a name the run of ours keeps for
# its own work (~updpack.new, ~updpack.bak, ~updpack.del, as Windows reads
# it): the run fails at some, and a later run takes what the others
# install for its own, so a package of ours is faulted for each, as a text
# script is refused. The base format's run keeps no such name: its package
# is sound, but a name it installs so (a copy, a mkdir) a later package of
# ours takes for its own, or refuses to start over: verify and run warn.
mkdir kept
printf 'a' >kept/a.txt
cat >kept.txt <<'EOF2'
copy    {temp}\a.txt  {app}\~UPDPACK.DEL
mkdir   {app}\d\~updpack.bak.\e
op 7    {temp}\a.txt  {app}\~updpack.bak
delete  {app}\sub\~UpdPack.New\*
EOF2
run_tool script compile kept.txt kept/script
run_tool build --unchecked --payload kept --stub stub.exe -o pkg/kept.exe
expect_rc 0 "build --unchecked of the run's own names"
expect_verdicts kept.exe 124 ""
run_tool pack kept kept.pack
{ cat stub.exe kept.pack; trailer 4097; } >pkg/kept-base.exe
run_tool verify pkg/kept-base.exe
expect_rc 0 "verify of the run's own names in the base format"
grep -E '^  FAULT:' "$OUT" && fail "the base format keeps no names for its run"
[ "$(grep -o '^  warning:     record [0-9] installs a name' "$OUT" | tr -dc 0-9)" = 12 ] ||
  fail "the base format's copy and mkdir of the run's own names: $(cat "$OUT")"
run_tool --stdin no.txt run pkg/kept-base.exe
[ "$(grep -c '^updpack: warning: record [12] installs a name' "$ERR")" = 2 ] ||
  fail "run of the base format: $(cat "$ERR")"

# A package of ours with both script entries: the run numbers its records
# on from "script" into the long script, and so do verify (text and JSON)
# and run's warnings, which named the long script's records from 1.
mkdir both
printf 'a' >both/a.txt
printf 'copy {temp}\\a.txt {app}\\a.txt\nop 9 C:\\x D:\\y\n' >short.txt
printf 'copy {temp}\\a.txt {app}\\%s.txt\ndelete C:\\Windows\\x.dll\nmkdir {app}\\CON\n' \
  "$(printf 'long%.0s' $(seq 12))" >long.txt
run_tool script compile short.txt both/script
run_tool script compile long.txt both/~updpack.scr
run_tool pack both both.pack
run_tool build --archive both.pack --stub stub.exe -o pkg/both.exe
expect_rc 1 "build of both script entries"
expect_text "$ERR" 'both.pack: error: record 5 makes a name Windows refuses, and every run fails there: mkdir   {app}\CON' \
  "build numbers the long script's records on"
run_tool build --unchecked --archive both.pack --stub stub.exe -o pkg/both.exe
expect_rc 0 "build --unchecked of both script entries"
run_tool verify pkg/both.exe
expect_rc 1 "verify of both script entries"
expect_contains "$OUT" '  warning:     record 4 works outside {app} and {temp}: delete  C:\Windows\x.dll' \
  "verify numbers the long script's warnings on"
expect_contains "$OUT" '  FAULT:       record 5 makes a name Windows refuses' \
  "verify numbers the long script's faults on"
run_tool verify --json pkg/both.exe
python3 -c 'import json, sys; d = json.load(open(sys.argv[1]))
sys.exit(not (d["warnings"][0].startswith("record 4 ") and d["faults"][0].startswith("record 5 ")))' \
  "$OUT" || fail "verify --json numbers the long script's records on: $(cat "$OUT")"
run_tool --stdin no.txt run pkg/both.exe
for line in 'updpack: warning: record 4 works outside' 'updpack: warning: record 5 makes a name'; do
  expect_contains "$ERR" "$line" "run numbers the long script's warnings on"
done

# Records at which every run fails as the records before leave their
# paths, whatever the product folder holds. The base format's run carries
# out each as written: a mkdir over a file copied before (named in another
# case, a dot after it), a copy onto a folder made before, a second mkdir
# or rmdir of a folder, a delete of a file a pattern took, anything below
# a path left a file or nothing, a copy of a file deleted. One of ours
# skips a record whose path a later record leaves as it is there already:
# it fails only at a copy of a file deleted and below a path left no
# folder by the last record on that path. With x and e folders and d the
# file a.txt, laid's is up to date but for x\y, which it installs.
mkdir laid
printf 'a' >laid/a.txt
printf 'b' >laid/b.txt
cat >laid.txt <<'EOF2'
copy    {temp}\a.txt  {app}\x
mkdir   {app}\X.
mkdir   {app}\d
copy    {temp}\a.txt  {app}\D
mkdir   {app}\e
mkdir   {app}\e
delete  {app}\*.txt
delete  {app}\a.TXT.
copy    {temp}\a.txt  {app}\x\y
EOF2
cat >laid2.txt <<'EOF2'
copy    {temp}\a.txt  {app}\f
copy    {temp}\b.txt  {app}\f\y
rmdir   {app}\g
rmdir   {app}\g
mkdir   {app}\g\sub
delete  {temp}\a.txt
copy    {temp}\a.txt  {app}\z
EOF2
run_tool build --payload laid --script laid2.txt --stub stub.exe -o pkg/laid2.exe
expect_rc 1 "build of records the records before make fail"
expect_contains "$ERR" 'laid2.txt:2:23: error: the record goes into a folder where record 1 leaves a file, and every run fails there' \
  "build names the record and the one before"
for script in laid laid2; do
  run_tool script compile "$script.txt" laid/script
  run_tool build --unchecked --payload laid --stub stub.exe -o "pkg/$script.exe"
  expect_rc 0 "build --unchecked of $script"
  run_tool pack laid "$script.pack"
  { cat stub.exe "$script.pack"; trailer 4097; } >"pkg/$script-base.exe"
done
run_tool verify pkg/laid.exe
expect_rc 0 "verify of laid in a package of ours"
mkdir -p laidrun/x laidrun/e
cp laid/a.txt laidrun/d
cp pkg/laid.exe laidrun/
run_tool run laidrun/laid.exe --yes
expect_rc 0 "laid in a package of ours, run where it can be"
# PACKAGE|records that fail every run|records warned of
while IFS='|' read -r package faulted warned; do
  expect_verdicts "$package" "$faulted" "$warned"
done <<'TABLE'
laid2.exe|257|
laid2-base.exe|2457|
laid-base.exe|2468|
TABLE
expect_contains "$ERR" 'updpack: warning: record 2 makes a folder where record 1 leaves a file, and every run fails there: mkdir   {app}\X.' \
  "run names the mkdir over a file copied before"
# Paths the records before leave as the next needs them: both formats are
# sound, and install into an empty folder.
cat >laid3.txt <<'EOF2'
copy    {temp}\a.txt  {app}\x
delete  {app}\X
mkdir   {app}\x
copy    {temp}\b.txt  {app}\x\y
rmdir   {app}\x
mkdir   {app}\x\
copy    {temp}\a.txt  {app}\x\a.txt
delete  {app}\x\*.txt
copy    {temp}\a.txt  {app}\X\A.TXT.
EOF2
run_tool script compile laid3.txt laid/script
run_tool build --payload laid --stub stub.exe -o pkg/laid3.exe
expect_rc 0 "build of records the records before leave as they need"
run_tool pack laid laid3.pack
{ cat stub.exe laid3.pack; trailer 4097; } >pkg/laid3-base.exe
for package in laid3 laid3-base; do
  run_tool verify "pkg/$package.exe"
  expect_rc 0 "verify of $package"
  rm -rf laidrun && mkdir laidrun && cp "pkg/$package.exe" laidrun/
  run_tool run "laidrun/$package.exe" --yes
  expect_rc 0 "$package, run in an empty folder"
  [ "$(cat laidrun/x/*)" = a ] || fail "$package installs x\\a.txt alone"
done

# As a signing tool leaves it (the security directory at 232 of the stub
# names the table appended to the package), then with bytes and a copy of
# the trailer after the table: the package still reads, but what follows the
# signature was not signed.
cp pkg/update.exe signed.exe
size=$(stat -c %s signed.exe)
head -c 1496 /dev/urandom >>signed.exe
{ trailer "$size"; trailer 1496; } | dd of=signed.exe bs=1 seek=232 conv=notrunc 2>/dev/null
run_tool verify signed.exe
expect_rc 0 "verify of the signed package"
expect_contains "$OUT" "signature:   certificate table present (1496 bytes" "the table is found"
cp signed.exe appended.exe
{ printf 'appended'; tail -c 4 pkg/update.exe; } >>appended.exe
run_tool verify appended.exe
expect_rc 1 "verify of bytes after the signature"
expect_contains "$OUT" "FAULT:       the security directory names a certificate table of 1496 bytes at offset $size with 12 bytes after the signature" \
  "bytes after the signature"

# A stub signed and then cut back to its image still names the table: build
# clears the entry, or the package would read as signed with bytes after it.
cp stub.exe stale.exe
{ trailer 4096; trailer 1496; } | dd of=stale.exe bs=1 seek=232 conv=notrunc 2>/dev/null
run_tool build --store --payload payload --script update.txt --stub stale.exe -o pkg/stale.exe
run_tool verify pkg/stale.exe
expect_rc 0 "verify of a package whose stub's signature was cut off"
expect_contains "$OUT" "signature:   none" "no table is named"

# Headers that put the image's end past the archive (SizeOfHeaders, at 148
# of the stub) or do not say where it is (65535 sections, counted at 70):
# no manifest is found, and the run takes the package for the base format.
for c in "148|trailer 16777216|say it ends at offset 16777216, past the archive's start" \
  "70|printf '\\xff\\xff'|do not say where it ends"; do
  IFS='|' read -r at bytes fault <<<"$c"
  cp pkg/stale.exe headers.exe
  eval "$bytes" | dd of=headers.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
  run_tool verify headers.exe
  expect_rc 1 "verify of headers changed at $at"
  expect_contains "$OUT" "FAULT:       the program image's headers $fault" "the image's end ($at)"
done

# Without a manifest the run reads no list of checksums, long script,
# expected state or times, so entries of those names are files like any
# other: neither an archive alone nor a package of the base format is
# called damaged for them.
mkdir base
for name in '~updpack.sum' '~updpack.scr' '~updpack.exp' '~updpack.tim'; do
  printf 'not ours' >"base/$name"
done
run_tool pack base base.pack
expect_rc 0 "pack entries named like ours"
make_stub base.stub
{ cat base.stub base.pack; trailer $(($(stat -c %s base.stub) + 1)); } >base.exe
# As the shipped packages are joined: the archive's first byte in the place
# of the image's last, one 0x00 before the trailer.
{ head -c -1 base.stub; cat base.pack; printf '\0'; trailer "$(stat -c %s base.stub)"; } >shipped.exe
for file in base.pack shipped.exe base.exe; do
  run_tool verify "$file"
  expect_rc 0 "verify $file, entries named like ours without a manifest"
  grep -q FAULT "$OUT" && fail "$file: $(grep FAULT "$OUT")"
  expect_contains "$OUT" "no manifest: the run checks no checksums" "$file: nothing is checked"
done
# Its run shows the shipped texts, and the report names what they name.
expect_contains "$OUT" "product:     Quorix, version 1.1 (the shipped texts)" \
  "the base format's product and version"
for file in base.exe shipped.exe; do
  run_tool run "$file" --yes
  expect_rc 0 "the base-format package $file runs"
done
# Nor does script show take ~updpack.scr for records there.
for file in base.pack base.exe; do
  run_tool script show "$file"
  expect_contains "$ERR" "holds no script entry" "script show of $file"
done

# A package of ours whose manifest declares none of the tool entries it
# holds: the run checks the product against the expected state all the
# same, and passes over the long script and the times (junk here). It
# succeeds, and verify calls it sound, with a warning and notes.
mkdir -p v1 v2
printf 'old' >v1/a.txt
printf 'new' >v2/a.txt
printf 'install a.txt {app}\\a.txt\n' >own.txt
run_tool build --store --from v2 --script own.txt --expect v1 --stub stub.exe -o own.exe
mkdir own && run_tool extract own.exe own
rm own/~updpack.sum
printf 'not ours' | tee own/~updpack.scr >own/~updpack.tim
run_tool pack own own.pack
seal stub.exe own.pack >undeclared.exe
run_tool verify undeclared.exe
expect_rc 0 "verify of undeclared tool entries"
for line in "warning:     the package holds ~updpack.scr, which its manifest does not declare" \
  "note:        the entry ~updpack.exp is not declared" "note:        the entry ~updpack.tim is not declared"; do
  expect_contains "$OUT" "$line" "undeclared tool entries"
done
mkdir undeclared && cp v1/a.txt undeclared.exe undeclared/
run_tool run undeclared/undeclared.exe --yes
expect_rc 0 "run of undeclared tool entries"
[ "$(cat undeclared/a.txt)" = new ] || fail "the run of undeclared tool entries installs"

# 200 MB between the image and the archive (a hole: no disk taken): verify
# reads the image for its icon, not all that (it took 200 MB of memory).
{ cat base.stub; head -c 1 /dev/zero; } >gap.exe
truncate -s $((200 << 20)) gap.exe
{ cat base.pack; trailer $((200 << 20 | 1)); } >>gap.exe
limit=unlimited # a sanitized build reserves terabytes of shadow memory
[ "${UPDPACK_TIME_FACTOR:-1}" = 1 ] && limit=100000
(ulimit -v $limit && "$UPDPACK" verify gap.exe) >"$OUT" 2>"$ERR"
[ "$(tail -1 "$OUT")" = sound ] ||
  fail "verify of a package with 200 MB after its image: $(cat "$ERR")"

finish
