# Installed files keep the modification times their files had when the
# package was built (diff --build, build --from, build --payload), to the
# nanosecond; verify counts them. A damaged times entry ends the run as a
# damaged package before anything changes; a package of the base format
# that happens to hold such an entry ignores it.
. "$(dirname "$0")/common.bash"

DAMAGED="Пакет обновления поврежден или загружен не полностью."
make_stub stub.exe 4096
long="a file with a name far too long for an entry.txt"
mkdir -p v1 v2/lib payload
printf 'old' >v1/app.exe
printf 'new app' >v2/app.exe
printf 'core' >v2/lib/core.dll
printf 'long' >"v2/$long"
touch -d @1600000000.123456700 v2/app.exe
touch -d @1500000000 v2/lib/core.dll
touch -d @1400000000.5 "v2/$long"
cp -p v2/app.exe v2/lib/core.dll payload/
cat >payload.txt <<'EOF2'
copy {temp}\app.exe  {app}\app.exe
copy {temp}\core.dll {app}\lib\core.dll
EOF2
# A source is the entry Windows reads: "core.dll." is core.dll.
sed 's/core.dll /core.dll. /' payload.txt >dotted.txt

# mtime FILE: seconds and nanoseconds of the last change.
mtime() { stat -c %.9Y "$1"; }

# BUILD|the files it installs, ":" between them.
builds=(
  "diff v1 v2 --build update.exe --stub stub.exe|app.exe:lib/core.dll:$long"
  "build --payload payload --script payload.txt --stub stub.exe -o update.exe|app.exe:lib/core.dll"
  "build --store --payload payload --script payload.txt --stub stub.exe -o update.exe|app.exe:lib/core.dll"
  "build --payload payload --script dotted.txt --stub stub.exe -o update.exe|app.exe:lib/core.dll"
)
for b in "${builds[@]}"; do
  IFS='|' read -r how files <<<"$b"
  IFS=: read -r -a installed <<<"$files"
  rm -rf program update.exe && cp -r v1 program && mkdir -p program/lib
  eval "run_tool $how"
  expect_rc 0 "$how"
  run_tool verify update.exe
  expect_rc 0 "verify: $how"
  expect_contains "$OUT" "times:       ${#installed[@]} entries keep their modification times" \
    "verify counts the times: $how"
  cp update.exe program/
  run_tool run program/update.exe --yes
  expect_rc 0 "run: $how"
  for f in "${installed[@]}"; do
    [ "$(mtime "program/$f")" = "$(mtime "v2/$f")" ] ||
      fail "$how: $f has $(mtime "program/$f"), built from $(mtime "v2/$f")"
  done
done

# Hostile times entries, packed by hand: build refuses to ship one, and a
# package sealed by hand that declares it and covers it by its checksum
# entry is refused by the run.
# times COUNT NAME...: the entry's magic, the count, a record per NAME.
times() {
  local count=$1
  shift
  printf 'updpack times 1\n'
  trailer "$count"
  for n in "$@"; do
    printf "\\x$(printf %02x ${#n})\\x00%s" "$n"
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  done
}
cases=(
  "short|printf 'updpack times 1\n\x01'"
  "count_above_records|times 2 app.exe"
  "count_below_records|times 1 app.exe core.dll"
  "byte_after_the_records|times 1 app.exe; printf x"
)
mkdir hostile
cp payload/* hostile/
run_tool script compile payload.txt hostile/script
for c in "${cases[@]}"; do
  IFS='|' read -r name bytes <<<"$c"
  eval "$bytes" >hostile/~updpack.tim
  rm -f hostile.pack && run_tool pack hostile hostile.pack
  run_tool build --archive hostile.pack --stub stub.exe -o "$name.exe"
  expect_rc 1 "build of $name"
  expect_contains "$ERR" "~updpack.tim" "build of $name names the entry"
  seal stub.exe hostile.pack times >"$name.exe"
  run_tool verify "$name.exe"
  expect_rc 1 "verify of $name"
  expect_contains "$OUT" "~updpack.tim" "verify of $name names the entry"
  rm -rf program && cp -r v1 program && mkdir -p program/lib && cp "$name.exe" program/
  run_tool run "program/$name.exe" --yes
  expect_rc 1 "run of $name"
  expect_contains "$ERR" "$DAMAGED" "run of $name: damaged"
  expect_contains "$ERR" "~updpack.tim" "run of $name names the entry"
  [ "$(cat program/app.exe)" = old ] && [ ! -e program/lib/core.dll ] ||
    fail "run of $name installed something"
done

# The base format: the same archive behind the image and a trailer, no
# manifest; its run knows nothing of times.
{ cat stub.exe hostile.pack; trailer 4097; } >program/base.exe
run_tool run program/base.exe --yes
expect_rc 0 "run of a package without a manifest"
[ "$(cat program/app.exe)" = "new app" ] || fail "the base format installs"

# A times entry that reads is taken, unless it names an entry the archive
# lacks (verify faults such a package). NAMES|rc.
while IFS='|' read -r names rc; do
  times 1 $names >hostile/~updpack.tim
  rm -f hostile.pack && run_tool pack hostile hostile.pack
  run_tool build --archive hostile.pack --stub stub.exe -o named.exe
  expect_rc "$rc" "build of a times entry for $names"
done <<'TABLE'
app.exe|0
gone.txt|1
TABLE
expect_contains "$ERR" "gives a time to gone.txt, which the archive does not hold" \
  "build names the entry the archive lacks"

finish
