# The tool's own entries that a run reads whole stay within what it takes:
# build refuses a script too large or one that repeats {temp} or {app}
# within its paths; verify calls such a package faulty, and its run ends as
# on a damaged package before the install, changing nothing. verify names
# the first 20 copies of missing entries and counts the rest.
. "$(dirname "$0")/common.bash"

MAX=$((32 << 20))
make_stub stub.exe 4096
mkdir payload
printf 'a' >payload/a.txt

# 22 records, each target repeating {app} 1,000 times: 21,978 repeats of a
# folder taken at 780 bytes come to more than 16 MiB.
python3 - >flood.txt <<'PY'
for k in range(22):
    print("delete {app}\\x%d" % k + "{app}" * 999)
PY
run_tool build --payload payload --script flood.txt --stub stub.exe -o flood.exe
expect_rc 1 "build of a script that repeats {app}"
expect_contains "$ERR" "the entry ~updpack.scr repeats {temp} or {app} within its paths too often" \
  "build names the repeats"
[ ! -e flood.exe ] || fail "build wrote a package it refused"

# A script entry one record over the limit, from the payload folder.
mkdir big
printf 'a' >big/a.txt
head -c $((MAX + 65)) /dev/zero | tr '\0' ' ' >big/script
run_tool build --payload big --stub stub.exe -o big.exe
expect_rc 1 "build of a script over the limit"
expect_contains "$ERR" "the entry script would be $((MAX + 65)) bytes; a run reads at most $MAX" \
  "build names the size"

# The same two, made by hand with a manifest: verify faults them, and a run
# changes nothing.
# Records of op 9 (never carried out) whose fields are all {temp}: 62
# repeats a record, of a folder of some 30 bytes here.
mkdir repeats
python3 - >repeats/script <<'PY'
import sys
sys.stdout.buffer.write((b"\x09" + b"\x00" * 64) * 300000)
PY
printf 'a' >repeats/a.txt
mkdir large
printf 'a' >large/a.txt
cp big/script large/script
: >payload.txt
{ cat stub.exe; manifest payload.txt; } >image
start=$(($(stat -c %s image) + 1))
for kind in repeats large; do
  run_tool pack $kind $kind.pack
  expect_rc 0 "pack $kind"
  mkdir prog_$kind
  { cat image $kind.pack; trailer $start; } >prog_$kind/update.exe
  run_tool verify prog_$kind/update.exe
  expect_rc 1 "verify of $kind"
done
run_tool verify prog_repeats/update.exe
expect_contains "$OUT" 'FAULT:       the entry "script" repeats {temp} or {app} within its paths more than a run may take' \
  "verify faults the repeats"
run_tool verify prog_large/update.exe
expect_contains "$OUT" "FAULT:       the entry \"script\" is $((MAX + 65)) bytes, more than $MAX" \
  "verify faults the size"

for kind in repeats large; do
  printf 'keep' >prog_$kind/app.txt
  run_tool run prog_$kind/update.exe --yes
  expect_rc 1 "run of $kind"
  expect_contains "$ERR" 'Файл «script» в пакете обновления поврежден.' "run of $kind says damaged"
  [ "$(ls prog_$kind)" = "$(printf 'app.txt\nupdate.exe')" ] || fail "run of $kind changed the folder"
done

# Tool entries from elsewhere that no run reads: build ships none of them.
# A long script compiled here is taken. KIND|ENTRY|HOW|rc|error.
long=$(printf 'delete {app}\\%060d' 0)
echo "$long" >long.txt
run_tool script compile long.txt long.scr
head -c 30 long.scr >cut.scr
while IFS='|' read -r kind entry how rc error; do
  rm -rf own && mkdir own && printf 'a' >own/a.txt
  eval "$how" >"own/$entry"
  if [ "$kind" = archive ]; then
    rm -f own.pack && run_tool pack own own.pack
    run_tool build --archive own.pack --stub stub.exe -o own.exe
  else
    run_tool build --payload own --stub stub.exe -o own.exe
  fi
  expect_rc "$rc" "build --$kind of $entry from \"$how\""
  [ "$rc" = 0 ] || expect_contains "$ERR" "$error" "build --$kind names $entry"
  [ "$rc" = 0 ] || [ ! -e own.exe ] || fail "build wrote a package it refused"
  rm -f own.exe
done <<'TABLE'
archive|~updpack.scr|printf garbage|1|the entry ~updpack.scr is no long script
payload|~updpack.scr|cat cut.scr|1|the entry ~updpack.scr is no long script
payload|~UPDPACK.SCR|cat long.scr|0|
archive|~updpack.exp|printf x|1|own.pack holds a ~updpack.exp entry
TABLE

# A script of 25 copies of entries the package lacks: 20 faults by record,
# then one that counts the rest.
mkdir missing
for k in $(seq 1 25); do script_record 0 T "\\m$k" P "\\m$k"; done >missing/script
run_tool pack missing missing.pack
{ cat stub.exe missing.pack; trailer 4097; } >missing.exe
run_tool verify missing.exe
expect_rc 1 "verify of copies of missing entries"
faults=$(grep -c '^  FAULT:       record [0-9]* copies' "$OUT")
[ "$faults" = 20 ] || fail "verify names 20 records, not $faults"
expect_contains "$OUT" "FAULT:       5 more records copy entries the package does not hold" \
  "verify counts the rest"

# A copy out of {temp} of a file that a copy before it put there is no copy
# of a missing entry; one before that copy is. FIRST;SECOND record (op,
# source, target)|verify's exit status|the fault.
mkdir made
printf 'a' >made/a
while IFS='|' read -r records rc says; do
  for record in ${records//;/ }; do
    IFS=, read -r op source target <<<"$record"
    script_record "$op" T "$source" "${target%%\\*}" "\\${target#*\\}"
  done >made/script
  run_tool pack made made.pack
  { cat stub.exe made.pack; trailer 4097; } >made.exe
  run_tool verify made.exe
  expect_rc "$rc" "verify of $records"
  if [ -n "$says" ]; then
    expect_contains "$OUT" "$says" "verify of $records"
  elif grep -q 'FAULT' "$OUT"; then
    fail "verify of $records: $(grep FAULT "$OUT")"
  fi
done <<'TABLE'
0,\a,T\made;0,\MADE,P\x|0|
0,\made,P\x;0,\a,T\made|1|FAULT:       record 1 copies {temp}\made
TABLE

finish
