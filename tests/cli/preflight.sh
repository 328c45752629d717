# The check of the installed product before the install, as an author
# ships an update: a second run is already up to date, an older version
# is refused untouched, a file held open ends with its exit code, and
# verify reports the expected state.
. "$(dirname "$0")/common.bash"

EXAMPLES=$(cd "$(dirname "$0")/../../examples" && pwd)
make_stub stub.exe
run_tool diff "$EXAMPLES/v1.0" "$EXAMPLES/v1.1" --build update.exe \
  --stub stub.exe --for-version 1.0
expect_rc 0 "diff --build --for-version"

run_tool verify update.exe
expect_rc 0 "verify of a package with an expected state"
expect_contains "$OUT" "expected:    6 paths of the installed version" "verify reports it"
expect_contains "$OUT" "for version 1.0" "verify names the version"

said() { cat "$OUT" "$ERR" >said.txt; } # what the run showed, both streams

fresh() { # fresh FOLDER: the old version with the update in it
  rm -rf "$1" && cp -r "$EXAMPLES/v1.0" "$1" && cp update.exe "$1/"
}
snapshot() { (cd "$1" && find . -type f -exec md5sum {} + | sort; find . -type d | sort); }

fresh inst
run_tool run inst/update.exe --yes
expect_rc 0 "first run"
rm inst/update.exe
diff -r inst "$EXAMPLES/v1.1" >/dev/null || fail "the update turns v1.0 into v1.1"
[ -z "$(ls -A "$TMP")" ] || fail "TMP keeps $(ls "$TMP")"
cp update.exe inst/
snapshot inst >before.txt
run_tool run inst/update.exe --yes
expect_rc 0 "second run"
said; expect_contains said.txt "уже обновлен до версии 1.1" "second run says up to date"
snapshot inst | cmp -s - before.txt || fail "the second run changed the product"

# An older version: refused, nothing changed.
fresh old
printf 'app 0.9' >old/app.exe
snapshot old >before.txt
run_tool run old/update.exe --yes
expect_rc 4 "older version"
said; expect_contains said.txt "предназначено для Quorix 1.0; файл «app.exe» не соответствует" "names the version and the file"
snapshot old | cmp -s - before.txt || fail "the refused run changed the product"

# The new folder lib is there already (an update cut off, or the user's
# doing): the record that makes it is done, and what lies at lib\core.dll
# decides. CONTENT at lib/core.dll (- for none)|exit.
while IFS='|' read -r content rc; do
  fresh half
  mkdir half/lib
  [ "$content" = - ] || printf '%s' "$content" >half/lib/core.dll
  [ "$content" = new ] && cp "$EXAMPLES/v1.1/lib/core.dll" half/lib/
  snapshot half >before.txt
  run_tool run half/update.exe --yes
  expect_rc "$rc" "lib there, lib/core.dll: $content"
  if [ "$rc" = 0 ]; then
    rm half/update.exe
    diff -r half "$EXAMPLES/v1.1" >/dev/null || fail "lib/core.dll $content: not v1.1"
  else
    said; expect_contains said.txt "файл «lib\\core.dll» не соответствует" "lib/core.dll $content is named"
    snapshot half | cmp -s - before.txt || fail "lib/core.dll $content: the product changed"
  fi
done <<'TABLE'
-|0
new|0
the user's own|4
TABLE

# Patterns in a hand-written script are judged against the folder as the
# records before them leave it, and what they delete is gone for the
# records after them: every run ends with the same product, and a second
# run changes nothing. SCRIPT|the old product's files|what stays.
mkdir -p pat/pay && printf 'n1' >pat/pay/n1.txt
while IFS='|' read -r script old stays; do
  printf '%b' "$script" >pat/s.txt
  run_tool build --payload pat/pay --script pat/s.txt --stub stub.exe -o pat/update.exe
  expect_rc 0 "build: $script"
  rm -rf pat/prog && mkdir pat/prog
  for path in $old; do
    case $path in
    */) mkdir -p "pat/prog/$path" ;;
    *) mkdir -p "$(dirname "pat/prog/$path")" && printf 'old' >"pat/prog/$path" ;;
    esac
  done
  cp pat/update.exe pat/prog/
  for round in first second; do
    run_tool run pat/prog/update.exe --yes
    expect_rc 0 "$round run: $script"
    left=$(cd pat/prog && find . -mindepth 1 ! -name update.exe | sort | tr '\n' ' ')
    [ "$left" = "$stays" ] || fail "$round run of $script left: $left"
  done
done <<'TABLE'
delete {app}\\*.tmp\ncopy {temp}\\n1.txt {app}\\b.tmp\n|a.tmp k|./b.tmp ./k 
mkdir {app}\\d\ncopy {temp}\\n1.txt {app}\\d\\f.txt\ndelete {app}\\d\\*\n|k|./d ./k 
copy {temp}\\n1.txt {app}\\b.tmp\ndelete {app}\\*.tmp\n|a.tmp|
delete {app}\\*.tmp\ndelete {app}\\*.tmp\n|a.tmp k|./k 
mkdir {app}\\cache\ncopy {temp}\\n1.txt {app}\\cache\\x\nrmdir {app}\\cach?\n|a|./a 
rmdir {app}\\cach?\nrmdir {app}\\cach?\n|cache/a k|./k 
TABLE

# A file to replace is held open by another program: --yes cancels the
# Retry box, exit 5, nothing changed.
fresh busy
snapshot busy >before.txt
exec 3<busy/app.exe
run_tool run busy/update.exe --yes
exec 3<&-
expect_rc 5 "file in use"
said; expect_contains said.txt "«app.exe» используется" "names the file in use"
snapshot busy | cmp -s - before.txt || fail "the cancelled run changed the product"
run_tool run busy/update.exe --yes
expect_rc 0 "once it is closed"

# A hand-written script with --expect, and the expected state in a package
# whose manifest no longer declares it is a fault.
printf 'delete {app}\\readme.txt\ninstall app.exe {app}\\app.exe\n' >hand.txt
run_tool build --from "$EXAMPLES/v1.1" --script hand.txt --expect "$EXAMPLES/v1.0" \
  --stub stub.exe -o hand.exe
expect_rc 0 "build --expect"
run_tool verify hand.exe
expect_contains "$OUT" "expected:    2 paths" "two paths expected"
run_tool build --payload "$EXAMPLES/v1.1" --expect "$EXAMPLES/v1.0" -o x.exe --stub stub.exe
expect_rc 64 "--expect without --from"

finish
