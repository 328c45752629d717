# Names that Windows takes for one file: the same name but for case, or a
# name shaped like the short name Windows could give another (NAME~N.EXT).
# build and diff refuse them, naming both; verify reports them in a package
# that another writer made (a short name as a fault: either file may end up
# with the other's bytes).
. "$(dirname "$0")/common.bash"

make_stub stub.exe
mkdir old
# FIRST|SECOND|KIND: two files of one folder, in listing order, and what the
# message says of them
while IFS='|' read -r first second says fault; do
  rm -rf payload && mkdir payload
  printf 'first' >"payload/$first"
  printf 'second' >"payload/$second"
  run_tool build --payload payload --stub stub.exe -o p.exe
  expect_rc 1 "build --payload of $first and $second"
  expect_contains "$ERR" "payload/$first and payload/$second are one file on Windows (" \
    "build --payload names $first and $second"
  [ ! -e p.exe ] || fail "nothing built of $first and $second"

  run_tool diff old payload -o d.txt
  expect_rc 1 "diff of $first and $second"
  expect_contains "$ERR" "$second: $first and $second are one file on Windows ($says)" \
    "diff names $first and $second"

  # pack keeps both, as the engine does: the later entry is the file.
  run_tool pack payload both.pack
  expect_rc 0 "pack of $first and $second"
  run_tool build --archive both.pack --stub stub.exe -o a.exe
  expect_rc 1 "build --archive of $first and $second"
  expect_contains "$ERR" "the entries $first and $second are one file on Windows ($says)" \
    "build --archive names $first and $second"

  { cat stub.exe both.pack; trailer 513; } >other.exe
  run_tool verify other.exe
  if [ "$fault" = fault ]; then
    expect_rc 1 "verify of $first and $second"
    expect_contains "$OUT" "FAULT:       the entries $first and $second are one file on Windows ($says): one overwrites the other" \
      "verify names $first and $second"
  else
    expect_rc 0 "verify of $first and $second"
    expect_contains "$OUT" "note:        the entries $first and $second are one file on Windows ($says): the later entry is the file" \
      "verify notes $first and $second"
  fi
done <<'TABLE'
Йод.txt|йод.txt|the same name but for case|note
Ўзор.txt|ўзор.txt|the same name but for case|note
abcdefghij.txt|ABCDEF~1.TXT|ABCDEF~1.TXT could be the short name Windows gives abcdefghij.txt|fault
abcdefghij.txt|ABCDE~12.TXT|ABCDE~12.TXT could be the short name Windows gives abcdefghij.txt|fault
TABLE

# The extraction drops < > : " / \ | ? * from names: build --payload names
# the two payload files that come out as one, or the file that comes out as
# the script it is given. FIRST|SECOND|what the message says.
echo 'delete {app}\x' >d.txt
while IFS='|' read -r first second says; do
  rm -rf payload && mkdir payload
  printf 'first' >"payload/$first"
  [ -z "$second" ] || printf 'second' >"payload/$second"
  run_tool build --payload payload --script d.txt --stub stub.exe -o p.exe
  expect_rc 1 "build --payload of $first and $second"
  for name in "$first" $second; do
    expect_contains "$ERR" "payload/$name" "build --payload names $name"
  done
  expect_contains "$ERR" "$says" "build --payload says why of $first"
done <<'TABLE'
a:b|ab|are one file on Windows
x"y.txt|X*Y.TXT|are one file on Windows
scr<ipt||is a script already
TABLE

# A name the extraction writes without its reserved characters keeps its
# time under the name written.
rm -rf payload program && mkdir payload program
printf 'x' >payload/a:b
touch -d '2001-02-03 04:05:06' payload/a:b
echo 'copy {temp}\ab {app}\ab' >c.txt
run_tool build --payload payload --script c.txt --stub stub.exe -o program/p.exe
expect_rc 0 "build --payload of a:b"
run_tool run program/p.exe --yes
expect_rc 0 "run of a:b"
[ "$(stat -c %Y program/ab)" = "$(stat -c %Y payload/a:b)" ] || fail "ab keeps the time of a:b"

finish
