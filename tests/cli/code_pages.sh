# A package's names and script are written in the first Windows code page
# that holds them all (or the one --codepage names), declared in its
# manifest, and its run reads them in that page: Cyrillic and
# French/German trees install under their own names.
. "$(dirname "$0")/common.bash"

make_stub stub.bin 4096
STUB=$WORK/stub.bin

# update NAME PAGE FILE...: v1 holds old.txt and FILE... with old content,
# v2 the FILE... changed and a folder of the first name; the package built
# by diff must declare code page PAGE and install v2 exactly.
update() {
  local name=$1 page=$2
  shift 2
  mkdir -p "$name/v1" "$name/v2/$1.d"
  printf 'old' >"$name/v1/old.txt"
  for file; do
    printf 'old' >"$name/v1/$file"
    printf 'new %s' "$file" >"$name/v2/$file"
    printf 'deep' >"$name/v2/$1.d/$file"
  done
  run_tool diff "$name/v1" "$name/v2" --build "$name/update.exe" --stub "$STUB"
  expect_rc 0 "$name: diff --build"
  run_tool verify "$name/update.exe"
  expect_contains "$OUT" "code page:   $page" "$name: verify names the page"
  cp -r "$name/v1" "$name/run" && cp "$name/update.exe" "$name/run/"
  run_tool run "$name/run/update.exe" --yes
  expect_rc 0 "$name: run"
  rm "$name/run/update.exe"
  diff -r "$name/run" "$name/v2" >/dev/null || fail "$name: installed tree differs"
  # The tool reads the (compressed) package in its page too; the last
  # file's name is short enough to be its entry's name.
  local entry=${*: -1}
  run_tool list "$name/update.exe"
  expect_contains "$OUT" "$entry	" "$name: list names $entry"
  run_tool script show "$name/update.exe"
  expect_contains "$OUT" "{app}\\$entry" "$name: script show names $entry"
  mkdir "$name/out"
  run_tool extract "$name/update.exe" "$name/out"
  expect_rc 0 "$name: extract"
  [ -e "$name/out/$entry" ] || fail "$name: extract wrote another name than $entry"
}

update cyrillic 1251 'Что нового в 4.3.txt' 'сообщения.po'
update western 1252 'Présentation.txt' 'Größe.txt'
update central 1250 'Łódź.txt'
update hebrew 1255 'שלום וֺ.txt'

# New files that differ only in case from the installed ones (É, Œ, Ÿ of
# 1252) replace them, and the installed names stay, as on Windows.
mkdir -p recased/v1 recased/v2 recased/want
for pair in Été.txt:ÉTÉ.txt œuvre.txt:Œuvre.txt ÿes.txt:Ÿes.txt; do
  printf 'old' >"recased/v1/${pair%%:*}"
  printf 'new' | tee "recased/v2/${pair#*:}" >"recased/want/${pair%%:*}"
done
run_tool diff recased/v1 recased/v2 --build recased/update.exe --stub "$STUB"
expect_rc 0 "recased: diff --build"
cp -r recased/v1 recased/run && cp recased/update.exe recased/run/
run_tool run recased/run/update.exe --yes
expect_rc 0 "recased: run"
rm recased/run/update.exe
diff -r recased/run recased/want >/dev/null || fail "recased: installed tree differs"

# Names in decomposed form (NFD, "e" and U+0301, as macOS writes them) are
# other names on Windows than the precomposed ones: diff warns once for
# each, naming it in its tree (the folder, not every file in it), and
# writes them as they are (in 1258, which holds the marks); precomposed
# names pass.
e=$'e\xcc\x81'
mkdir -p nfd/v1 "nfd/v2/Caf$e" && printf 'a' >"nfd/v1/R${e}sume${e}.txt"
printf 'b' | tee "nfd/v2/Caf$e/a.txt" "nfd/v2/Caf$e/b.txt" >nfd/v2/Été.txt
run_tool diff nfd/v1 nfd/v2 -o nfd.txt
expect_rc 0 "diff of decomposed names"
expect_text "$ERR" "updpack: warning: nfd/v1/R${e}sume${e}.txt: the name holds combining marks (Unicode decomposed form, as macOS writes names); the update writes it so, and it will not match the same name written precomposed on Windows
updpack: warning: nfd/v2/Caf$e: the name holds combining marks (Unicode decomposed form, as macOS writes names); the update writes it so, and it will not match the same name written precomposed on Windows" \
  "diff warns of each decomposed name once"
run_tool build --payload nfd/v1 -o nfd.exe --stub "$STUB"
expect_rc 0 "build --payload of a decomposed name"
expect_contains "$ERR" "updpack: warning: nfd/v1/R${e}sume${e}.txt: the name holds combining marks" \
  "build --payload warns of it too"

# --codepage chooses; a page that lacks a name is refused naming it.
printf 'copy {temp}\\a.txt {app}\\Größe.txt\n' >de.txt
mkdir payload && printf 'a' >payload/a.txt
for page in 1252 1257; do
  run_tool build --payload payload --script de.txt --codepage $page \
    -o de$page.exe --stub "$STUB"
  expect_rc 0 "build --codepage $page"
  run_tool verify de$page.exe
  expect_contains "$OUT" "code page:   $page" "--codepage $page declared"
done
run_tool build --payload payload --script de.txt --codepage 1251 -o x.exe \
  --stub "$STUB"
expect_rc 1 "a page without ö"
expect_contains "$ERR" "Größe.txt" "the name the page lacks"
run_tool build --payload payload --script de.txt --codepage 437 -o x.exe
expect_rc 64 "a code page that is not a package's"

# A name no single page holds: the error names it and the pages tried.
printf 'copy {temp}\\a.txt {app}\\Größe.txt\ncopy {temp}\\a.txt {app}\\Ωμέγα.txt\n' >mixed.txt
run_tool build --payload payload --script mixed.txt -o x.exe --stub "$STUB"
expect_rc 1 "names of two pages"
expect_contains "$ERR" "Ωμέγα.txt" "the name no page with the others holds"
expect_contains "$ERR" "1251, 1252, 1250, 1253, 1254, 1255, 1256, 1257, 1258, 874" \
  "the pages tried"
[ ! -e x.exe ] || fail "no package for names of two pages"

finish
