# script compile and script show: compiler diagnostics with line, column
# and caret; show of a raw script, an archive and a package (found through
# its trailer); compile of show's output gives the same bytes back.
. "$(dirname "$0")/common.bash"

cat >update.txt <<'TEXT'
# the example of the README
mkdir   {app}\data\logs
copy    {temp}\app.exe   {app}\app.exe
delete  {app}\*.tmp
rmdir   {app}\cache
op 7    {temp}\x   {app}\y          # any code 0-255, raw
TEXT
run_tool script compile update.txt update.bin
expect_rc 0 "compile"
expect_empty "$ERR" "compile stderr"
{
  script_record 2 - "" P '\data\logs'
  script_record 0 T '\app.exe' P '\app.exe'
  script_record 1 - "" P '\*.tmp'
  script_record 3 - "" P '\cache'
  script_record 7 T '\x' P '\y'
} >expected.bin
expect_same_bytes update.bin expected.bin "compiled records"

run_tool script show update.bin
expect_rc 0 "show"
expect_text "$OUT" 'mkdir   {app}\data\logs
copy    {temp}\app.exe          {app}\app.exe
delete  {app}\*.tmp
rmdir   {app}\cache
op 7    {temp}\x                {app}\y' "show of a raw script"

# Errors as compilers print them, on stderr, exit 1, no script written.
printf 'mkdir {app}\\ok\n\tdelete\nfrob x\n' >bad.txt
run_tool script compile bad.txt bad.bin
expect_rc 1 "compile errors"
expect_empty "$OUT" "compile errors stdout"
expect_text "$ERR" 'bad.txt:2:8: error: missing target path: delete takes one path, the target
	delete
	      ^
bad.txt:3:1: error: unknown operation "frob"; expected copy, delete, mkdir, rmdir, op or install
frob x
^' "diagnostics"
[ ! -e bad.bin ] || fail "no script after errors"

# A file of /proc says it holds 0 bytes: it is read to its end.
run_tool script compile /proc/sys/kernel/ostype proc.bin
expect_rc 1 "compile of a file of /proc"
expect_contains "$ERR" '/proc/sys/kernel/ostype:1:1: error: unknown operation "Linux"' \
  "a file of /proc is read whole"

printf 'install app.exe {app}\\app.exe\n' >install.txt
run_tool script compile install.txt install.bin
expect_rc 1 "install without a product folder"
expect_contains "$ERR" "install.txt:1:1: error: install names a file of a product folder: only \`updpack build --from PRODUCT_DIR\` compiles it" \
  "install refused"

# Odd scripts come back byte for byte: 0x00 padding, leading blanks,
# control bytes, a Cyrillic name, a tail that is not a whole record.
{
  printf '\x00'
  head -c 16 /dev/zero
  head -c 48 /dev/zero
  script_record 2 - "" - '  lead'
  printf '\x09\x01\\\xcf\xe0\xef\xea\xe0 "{#}\x7f\x98\x02 ' # 1 + 16 bytes
  printf '\x01\\%46s' 'x'                                             # 48 bytes
  printf 'tail "{ \x00\xff'
} >odd.bin
[ "$(stat -c %s odd.bin)" = $((3 * 65 + 10)) ] || fail "odd.bin is 3 records and 10 bytes"
run_tool script show odd.bin
expect_rc 0 "show of an odd script"
cp "$OUT" odd.txt
expect_contains odd.txt 'op 9    "{app}\Папка {0x22}{0x7B}#}{0x7F}{0x98}{0x02}"' "escapes"
expect_contains odd.txt '# 10 bytes after the last whole record are never carried out
#@tail tail{0x20}{0x22}{0x7B}{0x20}{0x00}{0xFF}' "tail"
run_tool script compile odd.txt odd2.bin
expect_rc 0 "compile of show's output"
expect_same_bytes odd.bin odd2.bin "round trip of an odd script"

# show finds the script entry of an archive, and of a package through its
# trailer; --raw takes the file as it is.
mkdir payload
cp update.bin payload/script
printf 'data' >payload/app.exe
run_tool pack payload update.pack
make_stub stub.exe 1000
run_tool build --stub stub.exe --archive update.pack -o update.exe
expect_rc 0 "build"
for file in update.pack update.exe; do
  run_tool script show "$file"
  expect_rc 0 "show $file"
  expect_text "$OUT" "$("$UPDPACK" script show update.bin)" "show $file"
done
run_tool script show --raw update.pack
expect_rc 0 "show --raw"
expect_contains "$OUT" "op 80   ACK1{temp}{app}app.exe?1?" "--raw reads the archive as records"
printf 'PACK1\x00\x01a?1?2\x02\x01x' >noscript.pack
run_tool script show noscript.pack
expect_rc 1 "archive without a script"
expect_text "$ERR" "updpack: noscript.pack holds no script entry" "no script entry"

finish
