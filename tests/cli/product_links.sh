# build --from takes a product file only when it is a regular file that
# lies inside the product folder, reached through no link: a link to a
# private key outside, a file under a folder link, a link inside, a fifo
# and a folder are errors naming the file, and nothing is built. diff
# --build skips links and ships only bytes from inside NEW.
. "$(dirname "$0")/common.bash"

make_stub stub.exe
mkdir -p outside product/data old
printf 'PRIVATE KEY' >outside/key.pem
printf 'app' >product/app.exe
ln -s ../outside/key.pem product/key.pem
ln -s ../outside product/linked
ln -s app.exe product/alias.exe
mkfifo product/pipe
mkdir product/folder.dat

while IFS='|' read -r file says; do
  printf 'install app.exe {app}\\app.exe\ninstall %s {app}\\x\n' "$file" >s.txt
  run_tool build --from product --script s.txt --stub stub.exe -o out.exe
  expect_rc 1 "build --from with $file"
  expect_contains "$ERR" "s.txt:2:9: error: $says" "the error names $file"
  [ ! -e out.exe ] || fail "nothing built with $file"
done <<'TABLE'
key.pem|key.pem in the product folder product is, or lies under, a link
linked/key.pem|linked/key.pem in the product folder product is, or lies under, a link
alias.exe|alias.exe in the product folder product is, or lies under, a link
pipe|pipe in the product folder product is not a regular file
folder.dat|folder.dat in the product folder product is not a regular file
data/none|no file data/none in the product folder product
TABLE

# The product folder itself may be named through a link.
ln -s product current
printf 'install app.exe {app}\\app.exe\ninstall data/../app.exe {app}\\b\n' >s.txt
run_tool build --from current --script s.txt --stub stub.exe -o out.exe
expect_rc 1 "no .. either"
printf 'install app.exe {app}\\app.exe\n' >s.txt
run_tool build --from current --script s.txt --stub stub.exe -o out.exe
expect_rc 0 "build --from a folder named through a link"

rm product/pipe
run_tool diff old product --build diff.exe --stub stub.exe
expect_rc 0 "diff --build with links in NEW"
expect_contains "$ERR" "skipping product/key.pem: only files and folders are compared" \
  "diff names the link it skips"
if grep -q 'PRIVATE KEY' out.exe diff.exe; then
  fail "a package carries bytes from outside its folder"
fi

# A product file that cannot be read is named by its path in the product
# folder; diff, which compares it with the old version's file of its
# length, names it too, and so does --expect a path of the old version
# under a folder it may not search (root reads everything: the tool runs
# as nobody there).
printf 'secret' >product/data/locked.txt
chmod 000 product/data/locked.txt
mkdir -p old/data sealed/dir
printf 'public' >old/data/locked.txt
printf 'x' >sealed/dir/x.txt
chmod 000 sealed/dir
printf 'install data/locked.txt {app}\\l\n' >s.txt
printf 'delete {app}\\dir\\x.txt\n' >d.txt
as_user=()
if [ "$(id -u)" = 0 ]; then
  chmod 755 "$WORK" && chmod 777 . "$TMP" && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
# ARGUMENTS|ERROR
while IFS='|' read -r words error; do
  read -ra words <<<"$words"
  "${as_user[@]}" "$UPDPACK" "${words[@]}" </dev/null >"$OUT" 2>"$ERR"
  RC=$?
  expect_rc 1 "${words[*]}"
  expect_contains "$ERR" "$error" "${words[*]}"
done <<'TABLE'
build --from product --script s.txt --stub stub.exe -o locked.exe|s.txt:1:9: error: cannot read data/locked.txt in the product folder product: Permission denied
diff old product -o d1.txt|updpack: cannot read product/data/locked.txt: Permission denied
diff product old -o d2.txt|updpack: cannot read product/data/locked.txt: Permission denied
build --from old --script d.txt --expect sealed --stub stub.exe -o e.exe|updpack: cannot look at sealed/dir/x.txt: Permission denied
TABLE
chmod 755 sealed/dir

finish
