# The run ends as the Windows program ends for the same package and folder:
# names Windows never makes into a file or folder (a device, a stream, a
# reserved character) fail the record on both systems, a read-only file is
# not written over even by root, the package's name is taken in any case
# (and under another extension, as its base name with ".exe"),
# and in a package of the base format an entry named like our checksum
# list is a file like any other.
. "$(dirname "$0")/common.bash"

make_stub stub.bin
mkdir program payload
printf 'new' >payload/a.txt

# base_package: payload/ (with its script) as a package of the base format.
base_package() {
  run_tool pack payload pkg.pack
  expect_rc 0 "pack"
  { cat stub.bin pkg.pack; trailer 513; } >"program/${1:-update.exe}"
}

# OPERATION|TARGET: a record whose target Windows refuses to create, as a
# bad file name (a file's path that ends in a separator too).
while IFS='|' read -r op target; do
  script_record "$op" T '\a.txt' P "\\$target" >payload/script
  base_package
  rm -rf "$TMP" && mkdir "$TMP"
  run_tool run program/update.exe --yes
  expect_rc 1 "record $op to $target"
  expect_contains "$ERR" "Произошла критическая ошибка:
Недопустимое имя файла: " "critical error for $target"
  [ "$(ls program)" = update.exe ] || fail "something was made for $target: $(ls program)"
done <<'TABLE'
0|con
0|NUL.txt
0|com1
0|lpt1.log
0|CONIN$
0|a*b
0|a|b
0|a<b
0|a"b
0|a:b
0|a.txt\
2|aux
2|new*
2|a:b
0|...\y.txt
2|sub\...\new
TABLE

# A path comes to the name Windows makes of it: the dots and blanks that
# end the name left last once "." and ".." are read go, and a name before a
# separator loses one dot ("s..\n" is s.\n), as under Windows.
# OPERATION|TARGET|THE PROGRAM FOLDER AFTER IT (with s., made before)
while IFS='|' read -r op target after; do
  script_record "$op" T '\a.txt' P "\\$target" >payload/script
  rm -rf program/* && mkdir program/s. && base_package
  rm -rf "$TMP" && mkdir "$TMP"
  run_tool run program/update.exe --yes
  expect_rc 0 "record $op to $target"
  [ "$(cd program && find . -mindepth 1 | sort | tr '\n' ' ')" = "$after " ] ||
    fail "record $op to $target left: $(cd program && find . -mindepth 1 | sort | tr '\n' ' ')"
done <<'TABLE'
0|n. \.|./n ./s. ./update.exe
0|n..\.|./n ./s. ./update.exe
0|n \b\..|./n ./s. ./update.exe
0|s..\n|./s. ./s./n ./update.exe
2|New. \x\..|./New ./s. ./update.exe
TABLE
rm -rf program/*

# The package's own file, which Windows holds while the program runs, is
# neither written over nor deleted: the record fails there, and a deletion
# by pattern leaves what it deleted before it.
while IFS='|' read -r op source target; do
  script_record "$op" T "$source" P "$target" >payload/script
  base_package
  printf 'other' >program/a.exe
  cp program/update.exe package.copy
  rm -rf "$TMP" && mkdir "$TMP"
  run_tool run program/update.exe --yes
  expect_rc 1 "record $op to $target: the running package"
  cmp -s program/update.exe package.copy || fail "the running package was changed by $op $target"
done <<'TABLE'
0|\a.txt|\UPDATE.exe
1||\*.EXE
TABLE
[ ! -e program/a.exe ] || fail "the file before the package was not deleted"

# The script stays open until its last record, and the temporary folder is
# held: as on Windows, neither can be deleted meanwhile, so the record fails
# there, after the files before it in name order, and no record after it is
# carried out. OPERATION|TARGET in the temporary folder|what is left of it.
while IFS='|' read -r op target left; do
  {
    script_record "$op" - '' T "$target"
    script_record 2 - '' P '\after'
  } >payload/script
  base_package
  rm -rf "$TMP" && mkdir "$TMP"
  run_tool run program/update.exe --yes
  expect_rc 1 "record $op of {temp}$target"
  grep -Eq 'VLSFX_QUORIX[\\/]script \(' "$ERR" ||
    fail "record $op of {temp}$target does not fail at the script"
  [ ! -e program/after ] || fail "a record after $op {temp}$target was carried out"
  [ "$(ls "$TMP/VLSFX_QUORIX" | tr '\n' ' ')" = "$left" ] ||
    fail "$op {temp}$target left: $(ls "$TMP/VLSFX_QUORIX")"
  rm -rf program/after
done <<'TABLE'
1|\script|a.txt script 
1|\*|script 
3||script 
TABLE

# A file that another program keeps open (without delete sharing, as
# programs open files unless they ask for it) is not deleted: a pack file an
# earlier run left ends the run before anything is unpacked, and a record
# that deletes one fails there. HELD (below the work folder)|RECORD|what
# must stay.
hold() { # FILE: open in another process until release
  rm -f held.ready
  (exec 3<"$1" && : >held.ready && exec sleep 60) &
  HOLDER=$!
  while [ ! -e held.ready ]; do sleep 0.01; done
}
release() { kill "$HOLDER" && wait "$HOLDER" 2>/dev/null; }
while IFS='|' read -r held op target stays; do
  rm -rf "$TMP" && mkdir "$TMP"
  mkdir -p program/sub
  printf 'old' >program/old.txt
  printf 'old' >program/sub/f.txt
  printf 'left' >"$TMP/VLSFX_QUORIX.PACK"
  script_record "$op" - '' P "$target" >payload/script
  base_package
  hold "$held"
  run_tool run program/update.exe --yes
  release
  expect_rc 1 "$held held open"
  expect_contains "$ERR" "$(basename "$held") (" "the message names $held"
  [ -e "$stays" ] || fail "$stays is gone while $held was held"
  [ "${held##*/}" != VLSFX_QUORIX.PACK ] || [ ! -e "$TMP/VLSFX_QUORIX/a.txt" ] ||
    fail "unpacked though the pack file could not go"
  rm -rf program/sub program/old.txt
done <<TABLE
$TMP/VLSFX_QUORIX.PACK|1|\old.txt|program/old.txt
program/old.txt|1|\old.txt|program/old.txt
program/sub/f.txt|3|\sub|program/sub/f.txt
TABLE

# In a package of ours the same deletion is undone with the rest, and the
# check before the install finds the running package in use.
# SCRIPT|exit|what the message says.
while IFS='|' read -r script rc says; do
  printf '%b' "$script" >ours.txt
  rm -f payload/script
  run_tool build --payload payload --script ours.txt --stub stub.bin -o program/update.exe
  expect_rc 0 "build: $script"
  run_tool run program/update.exe --yes
  expect_rc "$rc" "a package of ours: $script"
  expect_contains "$ERR" "$says" "the message of: $script"
  [ "$(ls program)" = update.exe ] || fail "$script left: $(ls program)"
done <<'TABLE'
delete {temp}\\script\nmkdir {app}\\after\n|1|продукт оставлен в прежнем состоянии
copy {temp}\\a.txt {app}\\update.exe\n|5|используется
TABLE

# Paths are read as Windows reads them: "." and ".." as text (the folder
# before ".." need not exist), and a name followed by a separator keeps the
# blank that ends it: "s2 \" is made beside s2, in both formats.
{
  script_record 0 T '\a.txt' P '\nosuch\..\b.txt'
  script_record 2 - '' P '\s2 \'
  script_record 0 T '\a.txt' P '\s2 \c.txt'
  script_record 0 T '\a.txt' P '\.\s2 \..\d.txt.'
} >payload/script
for kind in base ours; do
  mkdir program/s2
  if [ "$kind" = base ]; then
    base_package
  else
    run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
  fi
  rm -rf "$TMP" && mkdir "$TMP"
  run_tool run program/update.exe --yes
  expect_rc 0 "$kind package, paths with . and .. and a folder ending in a blank"
  [ "$(cat program/b.txt)" = new ] && [ "$(cat 'program/s2 /c.txt')" = new ] &&
    [ "$(cat program/d.txt)" = new ] && [ -d program/s2 ] ||
    fail "$kind package: not installed where Windows installs: $(ls program)"
  rm -rf program/b.txt program/d.txt 'program/s2 ' program/s2
done

# A file marked read-only (no write permission for its owner) is not
# written over, whoever runs the package.
script_record 0 T '\a.txt' P '\ro.txt' >payload/script
base_package
printf 'old' >program/ro.txt
chmod 444 program/ro.txt
run_tool run program/update.exe --yes
expect_rc 1 "copy over a read-only file"
expect_contains "$ERR" "Отказано в доступе: $WORK/program\\ro.txt (Доступ запрещён, код 5)" \
  "the system's text of a read-only file"
[ "$(cat program/ro.txt)" = old ] || fail "a read-only file was written over"
chmod 644 program/ro.txt
rm program/ro.txt

# A folder marked read-only (no write permission for its owner) stops no
# change to what it holds on Windows: its files go and come, its folders
# too, and a package of ours undoes them all after a later failure (a
# deletion of a device, which Windows refuses); the folder keeps its mark.
# A package of ours (KIND rmdir) moves the folder itself into its backup
# area and its undo moves it back, which posix allows a folder moved to
# another only with its own write permission.
# Root, whom no mode stops, runs the package as nobody, so that the rows
# say the same for a user, with a copy of the tool that nobody may reach
# (a clone may sit in a folder only root enters). KIND|FAILS|rc|tree of ro
# afterwards (none: ro is gone).
as_user() {
  if [ "$(id -u)" = 0 ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}
chmod o+x "$WORK"
user_tool=$UPDPACK
if [ "$(id -u)" = 0 ]; then
  user_tool=$WORK/updpack-as-user
  cp "$UPDPACK" "$user_tool" && chmod 755 "$user_tool"
fi
while IFS='|' read -r kind fails rc tree; do
  rm -rf program/ro "$TMP" && mkdir -p program/ro/sub "$TMP"
  printf 'old' >program/ro/a.txt
  printf 'old' >program/ro/sub/x.txt
  mkdir -p program/locked
  if [ "$kind" = base ]; then
    {
      script_record 1 - '' P '\ro\a.txt'
      script_record 0 T '\a.txt' P '\ro\b.txt'
      script_record 2 - '' P '\ro\new'
      script_record 3 - '' P '\ro\sub'
      [ -z "$fails" ] || script_record 1 - '' P '\locked\nul.txt'
    } >payload/script
    base_package
  else
    rm -f payload/script
    {
      if [ "$kind" = rmdir ]; then
        printf 'rmdir {app}\\ro\n'
      else
        printf 'delete {app}\\ro\\a.txt\ncopy {temp}\\a.txt {app}\\ro\\b.txt\n'
        printf 'mkdir {app}\\ro\\new\nrmdir {app}\\ro\\sub\n'
      fi
      [ -z "$fails" ] || printf 'delete {app}\\locked\\nul.txt\n'
    } >ours.txt
    run_tool build --payload payload --script ours.txt --stub stub.bin -o program/update.exe
    expect_rc 0 "build: read-only folder"
  fi
  chmod 555 program/ro
  [ "$(id -u)" != 0 ] || chown -R 65534:65534 program "$TMP"
  as_user "$user_tool" run program/update.exe --yes </dev/null >"$OUT" 2>"$ERR"
  RC=$?
  expect_rc "$rc" "$kind package in a read-only folder, failing: ${fails:-no}"
  [ -z "$fails" ] || expect_contains "$ERR" "$WORK/program\\locked\\nul" "$kind: the failing record"
  [ "$(cd program/ro 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')" = "$tree" ] ||
    fail "$kind package in a read-only folder, failing: ${fails:-no}: ro holds $(cd program/ro && find . | tr '\n' ' ')"
  [ -z "$tree" ] || [ "$(stat -c %a program/ro)" = 555 ] || fail "$kind: the read-only folder lost its mark"
  [ -n "$tree" ] || [ ! -e program/ro ] || fail "$kind: the read-only folder is still there"
  [ "$(id -u)" != 0 ] || chown -R 0:0 program "$TMP"
  [ -z "$tree" ] || chmod 755 program/ro
done <<'TABLE'
base||0|./b.txt ./new 
ours||0|./b.txt ./new 
base|yes|1|./b.txt ./new 
ours|yes|1|./a.txt ./sub ./sub/x.txt 
rmdir||0|
rmdir|yes|1|./a.txt ./sub ./sub/x.txt 
TABLE
rm -rf program/ro program/locked "$WORK/updpack-as-user"
chmod o-x "$WORK"

# Windows finds a device name in a folder that exists as a file named as
# the device ("sub\nul.txt" and "sub\nul:" are "sub\nul"; COM0 and LPT0
# are no devices), which no deletion takes: the record fails there, and a
# package of ours undoes what came before it; in a missing folder nothing
# is found. A file inside a folder to remove is named as Windows writes
# it: after the folder's path as the script spells it, the program
# folder's alone too, and found through it ("sub .\" is "sub ", where nothing is found, so the folder is not
# empty). A folder's name with a wildcard is a bad file name, where
# Windows lists and looks up nothing. So is a path through a folder "...",
# which Windows reads as "..", but where the base format looks for a
# folder to remove by its path alone and finds none; names of other dots
# and blanks are folders that are missing. A folder's path that ends in a
# name of dots and blanks alone names the folder before it, which Windows
# lists through that path ("sub\...\*" a bad file name, "sub\....\*"
# nothing, so that it goes only when empty); "{app}\..." is the program
# folder, where the check of files in use lists nothing so, and which a
# package of ours cannot move into its own backup: access denied, as the
# base format's removal of it through "{app}\....", where it lists nothing,
# is (the program runs in that folder). KIND|RECORD (code target)|exit|
# message.
mkdir -p program/sub
while IFS='|' read -r kind op target rc says; do
  mkdir -p program/sub
  printf 'old' >program/keep.txt
  printf 'old' >program/sub/ro.txt
  chmod 444 program/sub/ro.txt
  rm -rf "$TMP" && mkdir "$TMP"
  if [ "$kind" = base ]; then
    { script_record 1 - '' P '\keep.txt'; script_record "$op" - '' P "$target"; } \
      >payload/script
    base_package
  else
    rm -f payload/script
    word='rmdir'
    [ "$op" != 1 ] || word='delete'
    [ "$op" != 2 ] || word='mkdir'
    printf 'delete {app}\\keep.txt\n%s {app}%s\n' "$word" "$target" >ours.txt
    # A package made to fail: build refuses a path through a folder "...".
    run_tool script compile ours.txt payload/script
    run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
    expect_rc 0 "build: $target"
    rm payload/script
  fi
  run_tool run program/update.exe --yes
  expect_rc "$rc" "$kind package, record $op $target"
  expect_contains "$ERR" "${says//@/$WORK/program}" "$kind package, record $op $target"
  [ -e program/keep.txt ] || [ "$kind$rc" != ours1 ] ||
    fail "$kind package, record $op $target: the deletion before was not undone"
  chmod u+w program/sub/ro.txt
done <<'TABLE'
base|1|\sub\nul.txt|1|Ошибка доступа к пути или файлу: @\sub\nul (Неверный параметр, код 87)
base|1|\sub\Com1 .log|1|Ошибка доступа к пути или файлу: @\sub\Com1
base|1|\nosuch\NUL.txt|1|Файл не найден: @\nosuch\NUL.txt
base|1|\sub\com0|1|Файл не найден: @\sub\com0
base|1|\sub\nul:|1|Ошибка доступа к пути или файлу: @\sub\nul
base|0||1|Путь не найден: (Путь не найден, код 3)
base|1|\s?b\ro.txt|1|Недопустимое имя файла: @\s?b\ro.txt (Неверное имя, код 123)
base|3|\s*b\x*\|1|Недопустимое имя файла: @\s*b\x* (Неверное имя, код 123)
base|3|\...\s*\|1|Недопустимое имя файла: @\...\s* (Неверное имя, код 123)
base|3|\sub|1|Отказано в доступе: @\sub\ro.txt (только для чтения)
base|3|\SUB.|1|Отказано в доступе: @\SUB.\ro.txt (только для чтения)
base|3|\sub .|1|Ошибка доступа к пути или файлу: @\sub . (Каталог не пуст, код 145)
base|3||1|Отказано в доступе: @\sub\ro.txt (только для чтения)
base|3|\|1|Отказано в доступе: @\sub\ro.txt (только для чтения)
ours|1|\sub\nul.txt|1|@\sub\nul -> @\~updpack.bak\
ours|1|\nosuch\NUL.txt|0|прошло успешно
ours|1|\sub\LPT0.txt|0|прошло успешно
ours|1|\*\ro.txt|1|Недопустимое имя файла: @\*
base|1|\...\ro.txt|1|Недопустимое имя файла: @\...\ro.txt
ours|1|\...\ro.txt|1|Недопустимое имя файла: @\...\ro.txt
base|1|\sub\...\*.txt|1|Недопустимое имя файла: @\sub\...\*.txt
base|3|\...\sub|1|Путь не найден: @\...\sub
ours|3|\...\sub|1|Недопустимое имя файла: @\...\sub
base|3|\...\s*|1|Недопустимое имя файла: @\...\s*
ours|2|\sub\...\new|1|Недопустимое имя файла: @\sub\...\new
base|2|\. .\new|1|Путь не найден: @\. .\new
base|2|\.. \new|1|Путь не найден: @\.. \new
base|2|\a...\new|1|Путь не найден: @\a...\new
base|2|\....\new|1|Путь не найден: @\....\new
base|3|\sub\...|1|Недопустимое имя файла: @\sub\...\*
base|3|\sub\....|1|Ошибка доступа к пути или файлу: @\sub\....
ours|3|\sub\...|0|прошло успешно
ours|3|\...|1|Отказано в доступе: @\... -> @\~updpack.bak\2 (Конфликт совместного доступа, код 32)
ours|3|\...\|1|Отказано в доступе: @\... -> @\~updpack.bak\
ours|3|\....|1|Отказано в доступе: @\.... -> @\~updpack.bak\
base|3|\....|1|Отказано в доступе: @\.... (Конфликт совместного доступа, код 32)
TABLE
rm -rf program/sub program/keep.txt

# A copy from a folder ({temp} or {app} itself, or a folder in it, with a
# separator after it or not) fails in both formats as the opening of a
# folder as a file fails, naming the folder; a path that ends in a
# separator after a file is a bad file name, and after a missing name a
# missing file. A package of ours names a missing entry by the file it
# would install ({temp}\none.txt. too), and any other source as the base
# format does: {temp}\. and {temp}\sub\.. are {temp} itself, and a path
# with a folder after {temp} ({temp}\.\none.txt too) no file of the
# package; a path through a folder "..." is a bad file name in both.
# Nothing is changed. KIND|SOURCE (mark and path)|message (@: the program folder, %:
# TMP).
mkdir -p program/sub
while IFS='|' read -r kind mark source says; do
  rm -rf "$TMP" && mkdir "$TMP"
  script_record 0 "$mark" "$source" P '\x' >payload/script
  if [ "$kind" = base ]; then
    base_package
  else
    # A package made to fail: build refuses each of these copies.
    run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
  fi
  rm payload/script
  run_tool run program/update.exe --yes
  expect_rc 1 "$kind package, a copy from $mark$source"
  says=${says//@/$WORK/program}
  expect_contains "$ERR" "Произошла критическая ошибка:
${says//%/$TMP}" "$kind package, a copy from $mark$source"
  [ "$(ls program)" = "sub
update.exe" ] || fail "$kind package, a copy from $mark$source: $(ls program)"
done <<'TABLE'
base|T||Ошибка доступа к пути или файлу: %\VLSFX_QUORIX
ours|T||Ошибка доступа к пути или файлу: %\VLSFX_QUORIX
base|P||Ошибка доступа к пути или файлу: @
ours|P||Ошибка доступа к пути или файлу: @
ours|P|\sub|Ошибка доступа к пути или файлу: @\sub
ours|T|\none.txt|Файл не найден: x
base|T|\|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\
ours|T|\|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\
base|P|\|Ошибка доступа к пути или файлу: @\
ours|P|\|Ошибка доступа к пути или файлу: @\
base|P|\sub\|Ошибка доступа к пути или файлу: @\sub\
base|T|\a.txt\|Недопустимое имя файла: %\VLSFX_QUORIX\a.txt\
ours|T|\a.txt\|Недопустимое имя файла: %\VLSFX_QUORIX\a.txt\
base|P|\nosuch\|Файл не найден: @\nosuch\ (
base|P|\missing.txt|Файл не найден: @\missing.txt (Файл не найден, код 2)
ours|P|\missing.txt|Файл не найден: @\missing.txt (
base|P|\nosuch\m.txt|Путь не найден: @\nosuch\m.txt (
ours|P|\nosuch\m.txt|Путь не найден: @\nosuch\m.txt (Путь не найден, код 3)
base|-||Путь не найден
ours|-||Путь не найден
base|T|\.|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\.
ours|T|\.|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\.
ours|T|\...|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\...
base|T|\sub\..|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\sub\..
ours|T|\sub\..|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\sub\..
ours|T|\..|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\..
base|T|\.\none.txt|Файл не найден: %\VLSFX_QUORIX\.\none.txt (
ours|T|\.\none.txt|Файл не найден: %\VLSFX_QUORIX\.\none.txt (
base|T|\...\a.txt|Недопустимое имя файла: %\VLSFX_QUORIX\...\a.txt (Неверное имя, код 123)
ours|P|\...\a.txt|Недопустимое имя файла: @\...\a.txt
ours|T|\sub\none.txt|Путь не найден: %\VLSFX_QUORIX\sub\none.txt (
ours|T|\none.txt.|Файл не найден: x (
TABLE
rm -rf program/*

# A copy onto a path that ends in a separator names no file, and fails as
# Windows fails to open it for writing: a folder as a folder opened as a
# file, a missing name or a file as a bad file name, a name in a missing
# folder or below a file as a path not found, one through a folder "..."
# as a bad file name. The base format has carried
# out the records before it; a package of ours fails so before its first
# record and changes nothing, a folder that a record before makes being a
# folder there. KIND|TARGET|message (@: the program folder)|FOLDER made
# before the copy.
while IFS='|' read -r kind target says made; do
  rm -rf "$TMP" program/* && mkdir "$TMP" program/sub
  printf 'old' >program/f.txt
  {
    script_record 0 T '\a.txt' P '\first.txt'
    [ -z "$made" ] || script_record 2 - '' P "\\$made"
    script_record 0 T '\a.txt' P "$target"
  } >payload/script
  left=$(printf "%s\n" f.txt first.txt sub update.exe ${made%%\\*} | sort -u | tr "\n" " ")
  left=${left% }
  if [ "$kind" = base ]; then
    base_package
  else
    # build refuses such a target; a package made to fail carries it.
    run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
    left='f.txt sub update.exe'
  fi
  rm payload/script
  run_tool run program/update.exe --yes
  expect_rc 1 "$kind package, a copy onto $target"
  expect_contains "$ERR" "Произошла критическая ошибка:
${says//@/$WORK/program}" "$kind package, a copy onto $target"
  [ "$(ls program | tr '\n' ' ')" = "$left " ] ||
    fail "$kind package, a copy onto $target left: $(ls program)"
done <<'TABLE'
base|\sub\|Ошибка доступа к пути или файлу: @\sub\
ours|\sub\|Ошибка доступа к пути или файлу: @\sub\
ours|\SUB/|Ошибка доступа к пути или файлу: @\SUB/
ours|\|Ошибка доступа к пути или файлу: @\
base|\new\|Недопустимое имя файла: @\new\ (Неверное имя, код 123)
ours|\new\|Недопустимое имя файла: @\new\
ours|\f.txt\|Недопустимое имя файла: @\f.txt\
base|\nosuch\new\|Путь не найден: @\nosuch\new\ (
ours|\nosuch\new\|Путь не найден: @\nosuch\new\ (
base|\f.txt\new\|Путь не найден: @\f.txt\new\ (
ours|\f.txt\new\|Путь не найден: @\f.txt\new\ (
ours|\...\y.txt|Недопустимое имя файла: @\...\y.txt
base|\made\|Ошибка доступа к пути или файлу: @\made\|made
ours|\made\|Ошибка доступа к пути или файлу: @\made\|made
ours|\MADE/|Ошибка доступа к пути или файлу: @\MADE/|made
base|\sub\deep\|Ошибка доступа к пути или файлу: @\sub\deep\|sub\deep
ours|\sub\deep\|Ошибка доступа к пути или файлу: @\sub\deep\|sub\deep
TABLE
rm -rf program/*

# What a copy opens is what the records before it leave there: a folder
# made or removed, a file deleted or copied (n.txt, not yet on the disk
# when a package of ours checks it). Both formats fail the copy alike,
# with the system's text where it gives one; a package of ours before its
# first record, changing nothing. So does a record of another kind that
# the records before fail (MARK its code): a folder made where they leave a
# file or no folder above it, a folder removed where they leave a file, a
# file deleted where they leave a folder. EARLIER (code target)|SOURCE
# (mark path)|TARGET|message (@: the program folder).
while IFS='|' read -r earlier mark source target says; do
  for kind in base ours; do
    rm -rf "$TMP" program/* && mkdir "$TMP" program/sub
    printf 'old' >program/f.txt
    printf 'old' >program/sub/s.txt
    {
      code=${earlier%% *}
      if [ "$code" = 0 ]; then
        script_record 0 T '\a.txt' P "${earlier#* }"
      else
        script_record "$code" - '' P "${earlier#* }"
      fi
      what="a copy of $source onto $target"
      if [[ $mark == [123] ]]; then
        what="record $mark on $target"
        script_record "$mark" - '' P "$target"
      else
        script_record 0 "$mark" "$source" P "$target"
      fi
    } >payload/script
    if [ "$kind" = base ]; then
      base_package
    else
      run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
    fi
    run_tool run program/update.exe --yes
    expect_rc 1 "$kind package, $earlier, then $what"
    expect_contains "$ERR" "Произошла критическая ошибка:
${says//@/$WORK/program}" "$kind package, $earlier, then $what"
    [ "$kind" = base ] ||
      [ "$(cd program && find . | LC_ALL=C sort | tr '\n' ' ')" = ". ./f.txt ./sub ./sub/s.txt ./update.exe " ] ||
      fail "ours, $earlier, then $what changed: $(cd program && find .)"
  done
  rm payload/script
done <<'TABLE'
2 \made|T|\a.txt|\made\new\|Недопустимое имя файла: @\made\new\
3 \sub|T|\a.txt|\sub\|Недопустимое имя файла: @\sub\
3 \sub|T|\a.txt|\sub\s.txt\|Путь не найден: @\sub\s.txt\ (
3 \sub|P|\sub\s.txt|\x.txt|Путь не найден: @\sub\s.txt (
1 \f.txt|P|\f.txt|\x.txt|Файл не найден: @\f.txt (
2 \made|P|\made\|\x.txt|Ошибка доступа к пути или файлу: @\made\
0 \n.txt|P|\n.txt\|\x.txt|Недопустимое имя файла: @\n.txt\
0 \n.txt|P|\n.txt|\new\|Недопустимое имя файла: @\new\
3 \sub|T|\a.txt|\sub\a.txt|Путь не найден: @\sub\a.txt (
0 \f.txt|2||\f.txt\|Ошибка доступа к пути или файлу: @\f.txt\ (Файл уже существует, код 183)
3 \sub|2||\sub\x\|Путь не найден: @\sub\x\ (Путь не найден, код 3)
0 \n.txt|3||\n.txt\|Путь не найден: @\n.txt\
2 \made|1||\made|Файл не найден: @\made
TABLE
rm -rf program/*

# A name followed by a separator keeps the blank that ends it, a last name
# loses it. With sub in the product and no "sub ", a copy into "sub \"
# finds no folder: a package of ours finds the product otherwise than
# expected before it changes anything. "rmdir sub \" is sub, which the base
# format lists through "sub \" and finds not empty; "rmdir e \" removes
# the e a record before makes, and "mkdir e ." makes e; "delete x.txt"
# and "delete *.txt" delete the file a copy onto "x.txt." makes. A path is
# read whole: a copy onto ".\x.txt", "sub\..\x.txt", "\\x.txt" or "/x.txt"
# makes the x.txt a deletion takes, a copy into "d.\" goes into the d a
# record before makes ("mkdir d.\" makes the d "rmdir d" removes), and
# "sub\.\x*.txt" deletes the x.txt a copy into sub makes. A file or folder
# replaced or removed through "nosuch\..\" is moved aside into the program
# folder's backup area, which that path reads as.
# KIND|RECORDS (code target, ";" between)|exit|message of a failure (@: the
# program folder)|the program folder after it.
while IFS='|' read -r kind records rc says after; do
  rm -rf "$TMP" program/* && mkdir "$TMP" program/sub
  printf 'old' >program/sub/s.txt
  IFS=';' read -ra list <<<"$records"
  for record in "${list[@]}"; do
    if [ "${record%% *}" = 0 ]; then
      script_record 0 T '\a.txt' P "${record#* }"
    else
      script_record "${record%% *}" - '' P "${record#* }"
    fi
  done >payload/script
  if [ "$kind" = base ]; then
    base_package
  else
    run_tool build --unchecked --payload payload --stub stub.bin -o program/update.exe
  fi
  run_tool run program/update.exe --yes
  expect_rc "$rc" "$kind package, $records"
  [ -z "$says" ] || expect_contains "$ERR" "${says//@/$WORK/program}" "$kind package, $records"
  left=$(cd program && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
  [ "$left" = "$after" ] || fail "$kind package, $records left: $left"
done <<'TABLE'
base|0 \sub \b.txt|1|Путь не найден: @\sub \b.txt (|./sub ./sub/s.txt ./update.exe 
ours|0 \sub \b.txt|4|файл «sub \b.txt» не соответствует|./sub ./sub/s.txt ./update.exe 
base|3 \sub \|1|Ошибка доступа к пути или файлу: @\sub  (Каталог не пуст, код 145)|./sub ./sub/s.txt ./update.exe 
ours|3 \sub \|0||./update.exe 
base|2 \e;3 \e \|0||./sub ./sub/s.txt ./update.exe 
ours|2 \e;3 \e \|0||./sub ./sub/s.txt ./update.exe 
base|2 \e .;0 \e\b.txt|0||./e ./e/b.txt ./sub ./sub/s.txt ./update.exe 
ours|2 \e .;0 \e\b.txt|0||./e ./e/b.txt ./sub ./sub/s.txt ./update.exe 
base|0 \x.txt.;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \x.txt.;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 \x.txt.;1 \*.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \x.txt.;1 \*.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 \.\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \.\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 \sub\..\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \sub\..\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 \\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \\x.txt;1 \x.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 /x.txt;1 \X.TXT|0||./sub ./sub/s.txt ./update.exe 
ours|0 /x.txt;1 \X.TXT|0||./sub ./sub/s.txt ./update.exe 
base|2 \d;0 \d.\x.txt|0||./d ./d/x.txt ./sub ./sub/s.txt ./update.exe 
ours|2 \d;0 \d.\x.txt|0||./d ./d/x.txt ./sub ./sub/s.txt ./update.exe 
base|2 \d.\;0 \d\x.txt;3 \d|0||./sub ./sub/s.txt ./update.exe 
ours|2 \d.\;0 \d\x.txt;3 \d|0||./sub ./sub/s.txt ./update.exe 
base|0 \sub\x.txt;1 \sub\.\x*.txt|0||./sub ./sub/s.txt ./update.exe 
ours|0 \sub\x.txt;1 \sub\.\x*.txt|0||./sub ./sub/s.txt ./update.exe 
base|0 \x.txt;0 \nosuch\..\x.txt|0||./sub ./sub/s.txt ./update.exe ./x.txt 
ours|0 \x.txt;0 \nosuch\..\x.txt|0||./sub ./sub/s.txt ./update.exe ./x.txt 
ours|3 \nosuch\..\sub|0||./update.exe 
TABLE
rm -rf program/* payload/script

# An entry named like the checksum list, in a package without a manifest:
# nothing checks it, and the script copies it as it copies any file.
printf 'not a list of checksums' >payload/~updpack.sum
script_record 0 T '\~updpack.sum' P '\list.txt' >payload/script
base_package UPDATE.EXE
rm -f program/update.exe
run_tool run program/UPDATE.EXE --yes
expect_rc 0 "a base package with ~updpack.sum, named UPDATE.EXE"
[ "$(cat program/list.txt)" = 'not a list of checksums' ] ||
  fail "the entry was not installed as a file"

# Started under another extension, the program reads the package as its
# base name with ".exe": without such a file it asks, then ends with its
# critical error; with one, that file is the package.
rm -f program/*
script_record 0 T '\~updpack.sum' P '\list.txt' >payload/script
base_package update.bin
rm -rf "$TMP" && mkdir "$TMP"
run_tool run program/update.bin --yes
expect_rc 1 "a package named update.bin alone"
expect_contains "$ERR" "warning: program/update.bin does not end in .exe: its run reads the package as program/update.exe" "the name read"
expect_contains "$ERR" "Продолжить?" "the question before the error"
expect_contains "$ERR" "Произошла критическая ошибка:
Файл не найден: " "the critical error of update.bin alone"
[ ! -e program/list.txt ] || fail "update.bin alone installed something"
base_package update.exe
printf 'x' >program/update.bin
rm -rf "$TMP" && mkdir "$TMP"
run_tool run program/update.bin --yes
expect_rc 0 "update.bin beside the package update.exe"
[ -f program/list.txt ] || fail "update.exe was not the package run for update.bin"

finish
