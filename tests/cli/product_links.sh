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
# folder (root reads everything: the tool runs as nobody there).
printf 'secret' >product/data/locked.txt
chmod 000 product/data/locked.txt
printf 'install data/locked.txt {app}\\l\n' >s.txt
as_user=()
if [ "$(id -u)" = 0 ]; then
  chmod 755 "$WORK" && chmod 777 . "$TMP" && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${as_user[@]}" "$UPDPACK" build --from product --script s.txt --stub stub.exe -o locked.exe \
  </dev/null >"$OUT" 2>"$ERR"
RC=$?
expect_rc 1 "build --from with an unreadable file"
expect_contains "$ERR" "s.txt:1:9: error: cannot read data/locked.txt in the product folder product: Permission denied" \
  "the unreadable file is named by its product path"

finish
