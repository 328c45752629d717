# Damaged packages: each is refused by verify with its fault named, and its
# run ends with the critical error, installs nothing and says the package
# is damaged; a cut download or a damaged manifest before the question. A
# sound package passes both, and so does one made to the base format.
. "$(dirname "$0")/common.bash"

DAMAGED="Пакет обновления поврежден или загружен не полностью. Загрузите его заново."

mkdir payload program
head -c 200000 /dev/urandom >payload/app.dll
printf 'readme 1.1' >payload/readme.txt
cat >update.txt <<'EOF'
copy {temp}\app.dll    {app}\app.dll
copy {temp}\readme.txt {app}\readme.txt
delete {app}\old.txt
EOF
make_stub stub.exe 4096
run_tool build --store --payload payload --script update.txt --stub stub.exe -o good.exe
expect_rc 0 "build"
[ $(($(stat -c %s good.exe) % 8)) = 0 ] || fail "the package is a multiple of 8 bytes"

run_tool verify good.exe
expect_rc 0 "verify of a sound package"
expect_contains "$OUT" "4 entries match their length and CRC-32" "verify reads every entry"
size=$(stat -c %s good.exe)
expect_contains "$OUT" "manifest:    present at offset 4096; keys product version lang sums codepage not-archive no-catalog" \
  "verify reports the manifest"
expect_contains "$OUT" "length:      $size bytes, $size declared by the manifest" \
  "verify compares the declared length"

# offset TEXT: the 0-based offset of TEXT's first byte in good.exe.
offset() { grep -a -b -o -F "$1" good.exe | tail -n 1 | cut -d: -f1; }
# flip FILE OFFSET: changes one bit of the byte at OFFSET.
flip() {
  local byte
  byte=$(od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 4)))" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}

catalog=$(offset 'app.dll?')
sums=$(offset 'updpack sums 1')
sums_entry=$(offset '~updpack.sum?')
declared="the manifest declares a package of $size bytes, and it is"
# CASE: NAME, what to do to a copy of good.exe, a word the verify fault holds,
# "early" when the run ends before its question.
cases=(
  "entry_byte|flip F $((catalog + 100000 + 300))|CRC-32"
  "entry_last_byte|flip F $((sums - 11))|CRC-32"
  "catalog_name|flip F $catalog|missing"
  "trailer|flip F $((size - 2))|no archive"
  "trailer_low|flip F $((size - 4))|no archive"
  "cut_in_half|truncate -s $((size / 2)) F|$declared $((size / 2))|early"
  "cut_short|truncate -s $((size - 1)) F|$declared $((size - 1))|early"
  "cut_at_the_trailer|truncate -s $((size - 4)) F|$declared $((size - 4))|early"
  "bytes_added|printf more >>F|$declared $((size + 4))|early"
  "manifest_payload|flip F $((4096 + 60))|the manifest at offset 4096 is damaged: its payload|early"
  "manifest_cut|truncate -s $((4096 + 30)) F|the manifest at offset 4096 is damaged: it runs past|early"
  "checksum_digit|flip F $((sums + 16))|CRC-32"
  "checksum_header|flip F $((sums + 2))|"
  "checksum_entry_renamed|flip F $sums_entry|declares a ~updpack.sum entry"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name action fault early <<<"$c"
  cp good.exe F
  eval "$action"
  mv F "program/$name.exe"
  run_tool verify "program/$name.exe"
  expect_rc 1 "verify $name"
  expect_contains "$OUT" "FAULT:" "verify $name names a fault"
  [ -z "$fault" ] || expect_contains "$OUT" "$fault" "verify $name"
  if [ "$fault" = "no archive" ]; then
    mkdir -p out
    for command in list extract; do
      run_tool $command "program/$name.exe" $([ $command = list ] || echo out)
      expect_rc 1 "$command $name"
      expect_contains "$ERR" "program/$name.exe: no archive" "$command $name names the file"
    done
  fi
  rm -rf "$TMP"/* program/app.dll program/readme.txt
  printf 'old' >program/old.txt
  run_tool run "program/$name.exe" --yes
  expect_rc 1 "run $name"
  expect_contains "$ERR" "$DAMAGED" "run $name says the package is damaged"
  if [ -n "$early" ] && grep -qF "[question]" "$ERR"; then fail "run $name asked its question"; fi
  if grep -qF "прошло успешно" "$ERR"; then fail "run $name reported success"; fi
  [ ! -e program/app.dll ] && [ ! -e program/readme.txt ] &&
    [ "$(cat program/old.txt)" = old ] || fail "run $name installed something"
done

# Cut inside its program image (100 bytes: inside its headers), a package
# is no program Windows starts: its run ends so, before it asks anything.
for at in 100 3000; do
  head -c $at good.exe >program/cut_image.exe
  run_tool run program/cut_image.exe --yes
  expect_rc 1 "run of a package cut at $at, inside its image"
  expect_contains "$ERR" "cut_image.exe: Windows does not start it" "run of a package cut at $at"
  if grep -qF "[question]" "$ERR"; then fail "run of a package cut at $at asked its question"; fi
done
rm program/cut_image.exe

# The sound package installs.
cp good.exe program/good.exe
run_tool run program/good.exe --yes
expect_rc 0 "run of the sound package"
cmp -s payload/app.dll program/app.dll || fail "the sound package installs"

# The base format: the program image, the archive, the trailer.
mkdir base
cp payload/* base/
run_tool script compile update.txt base/script
run_tool pack base base.pack
{ cat stub.exe base.pack; trailer 4097; } >program/base.exe
run_tool verify program/base.exe
expect_rc 0 "verify of a package without a manifest"
expect_contains "$OUT" "manifest:    absent" "verify reports no manifest"
rm -f program/app.dll program/readme.txt
printf 'old' >program/old.txt
run_tool run program/base.exe --yes
expect_rc 0 "run of a package without a manifest"
cmp -s payload/app.dll program/app.dll || fail "the base format installs"

# A bare archive without its catalog: the engine's words, after the file.
printf 'PACK1 and no catalog' >cut.pack
run_tool list cut.pack
expect_rc 1 "list of an archive without a catalog"
expect_contains "$ERR" "updpack: cut.pack: " "list names the archive"

run_tool verify
expect_rc 64 "verify without a file"

finish
