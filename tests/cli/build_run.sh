# build joins stub, archive and trailer; run carries out the update in the
# package's folder; the endings exit 0, 1 and 2 with their messages.
. "$(dirname "$0")/common.bash"

CONFIRM="Dravell [question]: Сейчас будет произведено обновление Quorix до версии 1.1.
Продолжить?"

# The update: two files, and a script that makes a folder, copies both,
# deletes *.tmp, does nothing for operation 7 and removes a folder.
mkdir src
printf 'application v1.1\n' >src/app.txt
head -c 70000 /dev/urandom >src/new.bin
{
  script_record 2 - "" P '\sub'
  script_record 0 T '\app.txt' P '\app.txt'
  script_record 0 T '\new.bin' P '\sub\new.bin'
  script_record 1 - "" P '\*.tmp'
  script_record 7 - "" - ""
  script_record 3 - "" P '\olddir'
  printf 'tail that is not a whole record'
} >src/script
[ "$(stat -c %s src/script)" = $((6 * 65 + 31)) ] || fail "script is 6 records"
run_tool pack src update.pack
expect_rc 0 "pack the update"

# Build: a stub of 45055 bytes, then the package's manifest, then the archive.
make_stub stub.bin 45055
mkdir pkg
run_tool build --stub stub.bin --archive update.pack -o pkg/update.exe
expect_rc 0 "build"
expect_empty "$ERR" "build stderr"
stub_len=45055
arch_len=$(stat -c %s update.pack)
pkg_len=$(stat -c %s pkg/update.exe)
# The archive gains its checksum entry; the package is padded to a multiple
# of 8, as signing tools want it.
[ $((pkg_len % 8)) = 0 ] && [ "$pkg_len" -gt $((stub_len + arch_len + 4)) ] ||
  fail "package length $pkg_len"
cmp -s -n $stub_len stub.bin pkg/update.exe || fail "package begins with the stub"
run_tool list update.pack
grep '	' "$OUT" >archive.list
run_tool list pkg/update.exe
expect_rc 0 "list of the package"
grep '	' "$OUT" | grep -v '^~updpack.sum	' >package.list
cmp -s archive.list package.list ||
  fail "the package holds the archive's entries at their positions"
grep -q '^~updpack.sum	' "$OUT" || fail "the package lists its checksum entry"
start=$(($(manifest_end pkg/update.exe) + 1))
[ "$start" -gt 45056 ] && [ "$(tail -c 4 pkg/update.exe | od -An -tu4 | tr -d ' \n')" = "$start" ] ||
  fail "the trailer names the position right after the manifest ($start)"

# The program folder as an earlier version left it.
printf 'old' >pkg/a.tmp
printf 'old' >pkg/b.tmp
printf 'keep' >pkg/keep.txt
mkdir pkg/olddir
printf 'x' >pkg/olddir/x

# No at the confirmation: exit 2, nothing made.
printf 'n\n' >no.txt
run_tool --stdin no.txt run pkg/update.exe
expect_rc 2 "run answered n"
expect_text "$ERR" "$CONFIRM
[Y/n] no" "run answered n"
expect_empty "$OUT" "run stdout"
# Not even the run's lock (one copy at a time) stays.
[ -z "$(ls -A "$TMP")" ] || fail "No at the confirmation leaves TMP untouched"
[ -f pkg/a.tmp ] && [ -d pkg/olddir ] && [ ! -e pkg/app.txt ] || fail "No changes nothing"
run_tool run pkg/update.exe
expect_rc 2 "run with no input"
expect_text "$ERR" "$CONFIRM
[Y/n] no (end of input)" "end of input answers No"
[ -z "$(ls -A "$TMP")" ] || fail "end of input leaves TMP untouched"

# Yes: the update is installed into the package's folder.
run_tool run pkg/update.exe --yes
expect_rc 0 "run --yes"
expect_text "$ERR" "$CONFIRM
[Y/n] yes (--yes)
Идет подготовка к установке...
Распаковка пакета обновления...
Проверка установленной программы...
Установка обновления...
Dravell [information]: Обновление до версии 1.1 прошло успешно!" "run --yes messages"
expect_same_bytes src/app.txt pkg/app.txt "installed app.txt"
expect_same_bytes src/new.bin pkg/sub/new.bin "installed sub/new.bin"
[ ! -e pkg/a.tmp ] && [ ! -e pkg/b.tmp ] || fail "*.tmp deleted"
[ ! -e pkg/olddir ] || fail "olddir removed"
[ "$(cat pkg/keep.txt)" = keep ] || fail "other files stay"
[ ! -e "$TMP/VLSFX_QUORIX.PACK" ] || fail "the pack file is removed after success"
[ ! -e "$TMP/VLSFX_QUORIX" ] || fail "so is the temporary folder, as the package has a manifest"

# A second run: already up to date, nothing changed, TMP left clean.
printf '\n' >enter.txt # an empty line takes the default button, Yes
run_tool --stdin enter.txt run pkg/update.exe
expect_rc 0 "second run"
expect_contains "$ERR" "Dravell [information]: Quorix уже обновлен до версии 1.1." "already up to date"
[ -z "$(ls -A "$TMP")" ] || fail "the second run leaves TMP clean"

# The same archive as a package of the base format (no manifest): its
# temporary folder stays after success, and a second run fails at the
# script's first record ("sub" exists): critical error, exit 1, the pack
# file stays.
{ cat stub.bin update.pack; trailer 45056; } >pkg/plain.exe
printf 'stale' >"$TMP/VLSFX_QUORIX/stale.txt" 2>/dev/null ||
  { mkdir "$TMP/VLSFX_QUORIX" && printf 'stale' >"$TMP/VLSFX_QUORIX/stale.txt"; }
run_tool --stdin enter.txt run pkg/plain.exe
expect_rc 1 "second run of the base format"
expect_contains "$ERR" "[Y/n] yes" "Enter answers Yes"
expect_contains "$ERR" "Dravell [error]: Произошла критическая ошибка:" "critical error"
[ "$(tail -n 1 "$ERR")" != "Произошла критическая ошибка:" ] || fail "the error's description follows"
[ -f "$TMP/VLSFX_QUORIX.PACK" ] || fail "the pack file stays after a critical error"
[ ! -e "$TMP/VLSFX_QUORIX/stale.txt" ] || fail "the older temporary folder is removed first"

# build refuses an archive that is not PACK1 or does not parse, and a
# stub that is not a PE image; nothing is written.
printf 'NOT AN ARCHIVE' >junk.pack
printf 'PACK1\x00\x01a?1?99\x02\x01xy' >past_end.pack
printf 'MZ' >mz_only.bin
# Archives whose script copies out of {temp} a file no entry gives, in
# either script entry, and one where a copy before gives it.
mkdir unmet unmet_long met
printf x >unmet/a.txt
cp unmet/a.txt met/a.txt; cp unmet/a.txt unmet_long/a.txt
script_record 0 T '\missing.txt' P '\m.txt' >unmet/script
{ script_record 0 T '\a.txt' T '\b.txt'; script_record 0 T '\b.txt' P '\b.txt'; } >met/script
printf 'copy {temp}\\a.txt {app}\\a.txt\ncopy "{temp}\\%s" {app}\\b.txt\n' "$(printf 'n%.0s' {1..30})" >long.txt
run_tool script compile long.txt unmet_long/~updpack.scr
for folder in unmet unmet_long met; do run_tool pack $folder $folder.pack; done
printf 'MZ%58s\xff\x00\x00\x00' '' >lfanew_outside.bin
: >empty_stub
while IFS='|' read -r stub archive message; do
  run_tool build --stub "$stub" --archive "$archive" -o pkg/refused.exe
  expect_rc 1 "build --stub $stub --archive $archive"
  expect_contains "$ERR" "$message" "build --stub $stub --archive $archive"
  [ ! -e pkg/refused.exe ] || fail "nothing written for $stub + $archive"
done <<'TABLE'
stub.bin|junk.pack|updpack: junk.pack is not a PACK1 archive
stub.bin|past_end.pack|updpack: past_end.pack does not parse: 
stub.bin|pkg/update.exe|updpack: pkg/update.exe is a package, not an archive
mz_only.bin|update.pack|updpack: mz_only.bin is not a Windows program image
lfanew_outside.bin|update.pack|updpack: lfanew_outside.bin is not a Windows program image
empty_stub|update.pack|updpack: empty_stub is not a Windows program image
TABLE
# A ready archive whose script copies out of {temp} what no entry gives
# is refused, as verify faults it (every run of it fails there), naming
# the record as the run numbers it; --unchecked builds it, the fault a
# warning, and verify faults the package.
# OPTION|ARCHIVE|THE FAULT (none: it builds)
while IFS='|' read -r option archive fault; do
  run_tool build ${option:+"$option"} --stub stub.bin --archive "$archive" -o pkg/unmet.exe
  if [ -z "$fault" ]; then
    expect_rc 0 "build --archive $archive"
    expect_empty "$ERR" "no warning for $archive"
    rm pkg/unmet.exe
    continue
  fi
  expect_rc 1 "build --archive $archive"
  expect_text "$ERR" "$archive: error: $fault" "the error of $archive"
  [ ! -e pkg/unmet.exe ] || fail "nothing written for $archive"
  run_tool build ${option:+"$option"} --unchecked --stub stub.bin --archive "$archive" -o pkg/unmet.exe
  expect_rc 0 "build --unchecked --archive $archive"
  expect_text "$ERR" "updpack: warning: $fault" "the warning of $archive"
  run_tool verify pkg/unmet.exe
  expect_rc 1 "verify of the package of $archive"
  expect_contains "$OUT" "  FAULT:       $fault" "verify of the package of $archive"
  rm pkg/unmet.exe
done <<'TABLE'
--store|unmet.pack|record 1 copies {temp}\missing.txt, which the package does not hold
|unmet_long.pack|record 2 copies {temp}\nnnnnnnnnnnnnnnnnnnnnnnnnnnnnn, which the package does not hold
|met.pack|
TABLE
! ls -A pkg | grep -q '^\.' || fail "no temporary file stays in pkg"

# A package whose archive is not PACK1: the extraction's box, exit 1.
{ cat stub.bin junk.pack; trailer 45056; } >pkg/junk.exe
run_tool run pkg/junk.exe --yes
expect_rc 1 "run of a junk package"
expect_contains "$ERR" "Dravell [error]: Файл не является архивом Kestrova PACK." "junk run"
if grep -qF "прошло успешно" "$ERR"; then fail "no success after a failed extraction"; fi

# A missing package.
run_tool run pkg/none.exe --yes
expect_rc 1 "run of a missing package"
expect_contains "$ERR" "none.exe" "missing package named"

# Build refuses to overwrite its inputs or to reach 2 GiB.
cp stub.bin stub.keep
run_tool build --stub stub.bin --archive update.pack -o stub.bin
expect_rc 1 "output = stub"
expect_text "$ERR" "updpack: the output would overwrite the stub: stub.bin" "output = stub"
expect_same_bytes stub.bin stub.keep "stub untouched"
ln stub.bin stub_link.exe
run_tool build --stub stub.bin --archive update.pack -o stub_link.exe
expect_rc 1 "output = a hard link of the stub"
expect_same_bytes stub.bin stub.keep "stub untouched by a link"
cp update.pack update.keep
run_tool build --stub stub.bin --archive update.pack -o ./update.pack
expect_rc 1 "output = archive"
expect_text "$ERR" "updpack: the output would overwrite the archive: ./update.pack" "output = archive"
expect_same_bytes update.pack update.keep "archive untouched"

make_stub small_stub 512
printf 'PACK1\x00\x01\x01' >huge.pack
# Sparse; 512 + this + 4 = 2^31 before the manifest and the checksum entry.
truncate -s $((2147483648 - 512 - 4)) huge.pack
run_tool build --stub small_stub --archive huge.pack -o huge.exe
expect_rc 1 "a package of 2^31 bytes"
expect_contains "$ERR" "bytes; it must stay below 2147483648 bytes (2 GiB)" \
  "2 GiB limit"
[ ! -e huge.exe ] || fail "nothing written at the limit"
rm huge.pack

run_tool build --stub missing.bin --archive update.pack -o x.exe
expect_rc 1 "missing stub"
grep -q '^updpack: .*missing.bin.* (53)$' "$ERR" || fail "missing stub: $(cat "$ERR")"
[ ! -e x.exe ] || fail "nothing written for a missing stub"

# An output that names one of the command's own inputs would replace it:
# refused, the input kept. WHAT|in.txt, the input named|the command.
make_stub small.bin
mkdir -p payload old
printf 'x' >payload/x.txt
printf 'install in.txt {app}\\in.txt\n' >installs.txt
printf 'install x.txt {app}\\in.txt\n' >replaces.txt
while IFS='|' read -r what input arguments; do
  printf '%s\n' "$input" >in.txt
  cp in.txt in.copy
  eval "run_tool $arguments"
  expect_rc 1 "an output over the $what"
  expect_contains "$ERR" "the output would overwrite the $what: " "the refusal of the $what"
  expect_same_bytes in.txt in.copy "the $what is kept"
done <<'TABLE'
script|delete {app}\x.txt|build --payload payload --script in.txt --stub small.bin -o in.txt
texts file|title = Orbit|build --payload payload --texts ./in.txt --stub small.bin -o in.txt
script written with -o||diff old payload -o in.txt --build in.txt --stub small.bin
product file|x|build --from . --script installs.txt --stub small.bin -o in.txt
old version's file|x|build --from payload --script replaces.txt --expect . --stub small.bin -o in.txt
TABLE

# A copy out of {temp} of a file that neither an entry nor a copy before it
# gives fails every run: refused at its source word, nothing written; a
# fault of its target is an error of its own. The copy of a file a copy
# put into {temp} is no such copy. A path is read as Windows reads it:
# {temp}\.\y.txt and {temp}\sub\..\y.txt read y.txt, and {temp}\. is the
# folder itself.
# SCRIPT (\n between lines)|the build's arguments|the error, or "" for none.
while IFS='|' read -r lines arguments error; do
  printf "$lines" >unmet.txt
  rm -f unmet.exe
  eval "run_tool build $arguments --script unmet.txt --stub small.bin --store -o unmet.exe"
  if [ -z "$error" ]; then
    expect_rc 0 "build of $lines"
    continue
  fi
  expect_rc 1 "build of $lines"
  expect_contains "$ERR" "$error" "the refusal of $lines"
  [ ! -e unmet.exe ] || fail "build of $lines wrote a package"
done <<'TABLE'
copy {temp}\\y.txt {app}\\y.txt\n|--payload payload|unmet.txt:1:6: error: {temp}\y.txt is not in the payload folder payload
copy {temp}\\x.txt\\ {app}\\x.txt\n|--payload payload|unmet.txt:1:6: error: {temp}\x.txt\ is not in the payload folder payload
copy {temp}\\y.txt {app}\\CON\n|--payload payload|unmet.txt:1:19: error: the record makes a name Windows refuses, and every run fails there: "CON"
copy {temp}\\X.TXT {app}\\x.txt\ncopy {temp}\\x.txt {temp}\\z.txt\ncopy {temp}\\z.txt {app}\\z.txt\n|--payload payload|
copy {temp}\\z.txt {app}\\z.txt\ncopy {temp}\\x.txt {temp}\\z.txt\n|--payload payload|unmet.txt:1:6: error: {temp}\z.txt is not in the payload folder
install x.txt {app}\\x.txt\ncopy {temp}\\x.txt {app}\\y.txt\n|--from payload|
copy {temp}\\.\\y.txt {app}\\y.txt\n|--payload payload|unmet.txt:1:6: error: {temp}\y.txt is not in the payload folder payload
copy {temp}\\sub\\..\\y.txt {app}\\y.txt\n|--payload payload|unmet.txt:1:6: error: {temp}\y.txt is not in the payload folder payload
copy {temp}\\.\\x.txt {app}\\y.txt\ncopy {temp}\\sub\\..\\X.TXT. {app}\\z.txt\n|--payload payload|
copy {temp}\\x.txt {temp}\\sub\\..\\w.txt\ncopy {temp}\\.\\w.txt {app}\\w.txt\n|--payload payload|
copy {temp}\\. {app}\\y.txt\n|--payload payload|unmet.txt:1:6: error: the record copies {temp} or {app} itself, a folder and no file, and every run fails there
install x.txt {app}\\x.txt\ncopy {temp}\\w.txt {app}\\w.txt\n|--from payload|unmet.txt:2:6: error: {temp}\w.txt is not in the package (only install lines add files)
TABLE

finish
