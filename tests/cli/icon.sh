# build --icon and diff --build --icon take an icon file only when it is
# one; the message names the file and what is wrong, before anything is
# packed, and nothing is written. (The icon in a real program image:
# tests/stub/icon_build.sh and tests/wine/test_icon.sh.)
. "$(dirname "$0")/common.bash"

mkdir payload old new
printf 'a' >payload/a.txt
printf 'v2' >new/app.exe
make_stub stub.exe
python3 "$(dirname "$0")/../stub/brand_icon.py" good.ico
size=$(stat -c %s good.ico)
# bad NAME: good.ico with the bytes of stdin written at OFFSET.
patch_icon() { # NAME OFFSET BYTES
  cp good.ico "$1"
  printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
patch_icon header.ico 0 'BM'
patch_icon empty.ico 4 '\000\000'
patch_icon outside.ico $((6 + 12)) '\377\377\000\000'
patch_icon zero.ico $((6 + 16 + 8)) '\000\000\000\000'
head -c 30 good.ico >cut.ico
while IFS='|' read -r file error; do
  run_tool build --payload payload --stub stub.exe --icon "$file" -o out.exe
  expect_rc 1 "build --icon $file"
  expect_text "$ERR" "updpack: $file: $error" "build --icon $file"
  [ ! -e out.exe ] || fail "nothing is written for $file"
  run_tool diff old new --build out.exe --stub stub.exe --icon "$file"
  expect_rc 1 "diff --build --icon $file"
  expect_text "$ERR" "updpack: $file: $error" "diff --build --icon $file"
done <<TABLE
header.ico|not an icon file: it does not begin with 00 00 01 00
empty.ico|the icon holds no image
cut.ico|the directory of 4 images runs past the end of the file
outside.ico|image 1 (662 bytes at offset 65535) lies outside the file's images
zero.ico|image 2 has a size of 0
TABLE

run_tool diff old new --icon good.ico
expect_rc 64 "diff --icon without --build"
expect_contains "$ERR" "--icon goes with --build" "diff --icon without --build"

# A program image of another making (no alignment, no section) cannot take
# an icon: said before anything is packed.
for command in "build --payload payload -o out.exe" "diff old new --build out.exe"; do
  # shellcheck disable=SC2086
  run_tool $command --stub stub.exe --icon good.ico
  expect_rc 1 "$command --icon into an image without sections"
  expect_text "$ERR" "updpack: the program image's headers give no alignment" "$command: no room"
  [ ! -e out.exe ] || fail "$command writes nothing without a section"
done
[ "$size" -gt 1000 ] || fail "the test icon is written"

finish
