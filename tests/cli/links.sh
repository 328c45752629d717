# Links planted where the tool writes: in the target folder of extract, at
# the pack file's name under TMP, in a source folder; and an old temporary
# folder that cannot be emptied. Nothing is ever written through a link,
# and nothing planted is carried out.
. "$(dirname "$0")/common.bash"

mkdir outside
printf 'secret' >outside/secret
printf 'shared' >outside/shared

# ---- extract into a folder holding links ----
mkdir src
printf 'new a' >src/a.txt
printf 'new b' >src/b.txt
printf 'new c' >src/c.txt
run_tool pack src update.pack
expect_rc 0 "pack"

for planted in symlink dangling; do
  rm -rf target && mkdir target
  case $planted in
  symlink) ln -s "$WORK/outside/secret" target/b.txt ;;
  dangling) ln -s "$WORK/outside/made" target/b.txt ;;
  esac
  run_tool extract update.pack target
  expect_rc 1 "extract over a $planted"
  expect_contains "$ERR" 'target\b.txt' "extract over a $planted names the file"
  [ "$(cat target/a.txt)" = "new a" ] || fail "$planted: the entry before it"
  [ -L target/b.txt ] || fail "$planted: the link was replaced"
  [ ! -e target/c.txt ] || fail "$planted: extraction went on after the refusal"
done
[ "$(cat outside/secret)" = secret ] || fail "written through a link"
[ ! -e outside/made ] || fail "created through a dangling link"

rm -rf target && mkdir target
ln outside/shared target/b.txt
run_tool extract update.pack target
expect_rc 0 "extract over a hard link"
[ "$(cat target/b.txt)" = "new b" ] || fail "hard link: the entry's bytes"
[ "$(cat outside/shared)" = shared ] || fail "hard link: the other name was emptied"

# ---- pack skips links ----
mkdir linked
printf 'real' >linked/real.txt
ln -s "$WORK/outside/secret" linked/link.txt
run_tool pack linked linked.pack
expect_rc 0 "pack a folder with a link"
grep -q secret linked.pack && fail "pack followed a link"
grep -q real.txt linked.pack || fail "pack left out the real file"

# ---- a run with links under TMP ----
mkdir pkgsrc program
printf 'app 1.1' >pkgsrc/app.txt
script_record 0 T '\app.txt' P '\app.txt' >pkgsrc/script
run_tool pack pkgsrc pkg.pack
expect_rc 0 "pack the update"
make_stub stub.bin
run_tool build --stub stub.bin --archive pkg.pack -o program/update.exe
expect_rc 0 "build"

for planted in symlink dangling; do
  rm -rf "$TMP" && mkdir "$TMP"
  case $planted in
  symlink) ln -s "$WORK/outside/secret" "$TMP/VLSFX_QUORIX.PACK" ;;
  dangling) ln -s "$WORK/outside/made" "$TMP/VLSFX_QUORIX.PACK" ;;
  esac
  rm -f program/app.txt
  run_tool run program/update.exe --yes
  expect_rc 0 "run with a $planted at the pack file"
  [ "$(cat program/app.txt 2>/dev/null)" = "app 1.1" ] || fail "$planted: not installed"
  [ ! -e "$TMP/VLSFX_QUORIX.PACK" ] && [ ! -L "$TMP/VLSFX_QUORIX.PACK" ] ||
    fail "$planted: something is left at the pack file's name"
done
[ "$(cat outside/secret)" = secret ] || fail "the pack file was written through a link"
[ ! -e outside/made ] || fail "the pack file was created through a dangling link"

# ---- a package of ours, and a folder link in the program folder ----
# Each operation of its script through the link is refused before anything
# changes (not the version the update is for); what the link leads to is
# never moved, removed or written.
mkdir -p payload ours outside/d
printf 'new' >payload/a.txt
ln -s "$WORK/outside/d" ours/ld
while IFS='|' read -r line; do
  mkdir -p outside/d/sub
  printf 'secret' >outside/d/s.txt
  printf 'z' >outside/d/sub/z
  printf '%s\n' "$line" >s.txt
  run_tool build --payload payload --script s.txt --stub stub.bin -o ours/update.exe
  expect_rc 0 "build: $line"
  run_tool run ours/update.exe --yes
  expect_rc 4 "through a folder link: $line"
  [ "$(cat outside/d/s.txt)" = secret ] && [ "$(cat outside/d/sub/z)" = z ] &&
    [ ! -e outside/d/new ] || fail "reached through a folder link: $line"
done <<'TABLE'
delete {app}\ld\s.txt
delete {app}\LD\*.txt
rmdir {app}\ld\sub
copy {temp}\a.txt {app}\ld\s.txt
mkdir {app}\ld\new
TABLE

# ---- an old temporary folder of the user's own that cannot be emptied ----
# It is used: the extraction replaces every entry it writes, and no script
# that was there is carried out.
rm -rf "$TMP" && mkdir -p "$TMP/VLSFX_QUORIX"
script_record 1 - "" P '\keep.txt' >"$TMP/VLSFX_QUORIX/script"
printf 'planted' >"$TMP/VLSFX_QUORIX/locked"
printf 'keep' >program/keep.txt
rm -f program/app.txt
if chattr +i "$TMP/VLSFX_QUORIX/locked" 2>/dev/null; then
  run_tool run program/update.exe --yes
  chattr -i "$TMP/VLSFX_QUORIX/locked"
  expect_rc 0 "run with an undeletable old temporary folder"
  [ "$(cat program/app.txt 2>/dev/null)" = "app 1.1" ] || fail "not installed"
  [ "$(cat program/keep.txt)" = keep ] || fail "the planted script was carried out"
else
  echo "skipped: chattr +i is not possible here (needs root on ext4)" >&2
fi

finish
