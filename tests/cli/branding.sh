# build --lang en: every text a run shows is English, the messages the
# program composes included (no Cyrillic, no archive format, the installed
# file named); a bad --version is refused; diff --build takes build's
# package options; verify shows the texts a run will show.
. "$(dirname "$0")/common.bash"

make_stub stub.exe 4096
mkdir -p v1 v2/docs pkg
printf 'old' >v1/app.exe
printf 'new app' >v2/app.exe
printf 'notes' >v2/docs/notes.txt

# Stored, so that a file's byte can be damaged in place below.
run_tool diff v1 v2 --build pkg/update.exe --stub stub.exe --lang en \
  --product Orbit --version "4.3 beta 2" --company "Acme Ltd" --store
expect_rc 0 "diff --build with the package options"
run_tool verify pkg/update.exe
expect_contains "$OUT" "text confirm (default): The update of Orbit to version 4.3 beta 2 will now be installed." \
  "verify shows the default texts"
expect_contains "$OUT" "text file-missing (default): The file" "verify shows the composed messages"

# The run, natively: every box in English.
cp -r v1/. pkg/
run_tool run pkg/update.exe --yes
expect_rc 0 "English run"
expect_contains "$ERR" "Orbit [information]: The update to version 4.3 beta 2 was installed successfully!" \
  "the success box"
expect_contains "$ERR" "Installing the update..." "the status line"
grep -qP '[\x{0400}-\x{04FF}]' "$ERR" && fail "Cyrillic in an English run: $(cat "$ERR")"
[ "$(cat pkg/app.exe)" = "new app" ] || fail "the update was installed"

# A damaged file inside: the failure in English, naming no archive format.
cp -r v1 damaged && cp pkg/update.exe damaged/
offset=$(grep -a -b -o -F 'new app' damaged/update.exe | head -n 1 | cut -d: -f1)
printf 'N' | dd of=damaged/update.exe bs=1 seek="$offset" conv=notrunc 2>/dev/null
run_tool run damaged/update.exe --yes
expect_rc 1 "a damaged package"
expect_contains "$ERR" "Orbit [error]: A critical error occurred:" "the critical box"
expect_contains "$ERR" "is damaged: its checksum differs." "the damage"
expect_contains "$ERR" "The update package is damaged or was not downloaded completely." \
  "the damaged sentence"
grep -qP '[\x{0400}-\x{04FF}]|Kestrova|PACK' "$ERR" && fail "a damaged English run: $(cat "$ERR")"

# Versions: up to four numbers and a suffix; anything else is refused.
mkdir payload && printf 'a' >payload/a.txt
for version in 4 4.3 4.3.1.7 "4.3 beta 2" 4.3-rc1; do
  run_tool build --payload payload -o ok.exe --stub stub.exe --version "$version"
  expect_rc 0 "--version $version"
done
for version in beta 4.3.x 1.2.3.4.5 70000 "4.3 " .4 "4..3"; do
  run_tool build --payload payload -o bad.exe --stub stub.exe --version "$version"
  expect_rc 64 "--version '$version' refused"
  expect_contains "$ERR" "--version \"$version\" is not up to four dotted numbers" \
    "--version '$version': the message"
done
run_tool build --payload payload -o bad.exe --stub stub.exe --lang fr
expect_rc 64 "--lang fr"
run_tool diff v1 v2 --lang en
expect_rc 64 "--lang without --build"
[ ! -e bad.exe ] || fail "no package for a refused option"

finish
