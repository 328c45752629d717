# Text that came from a package or a script reaches the terminal escaped:
# the texts of a hostile package in `run` and `verify`, entry names in
# `list`, a source line in compiler diagnostics. No control character (C0,
# DEL, C1) and no malformed UTF-8 gets through, and `verify --json` stays
# valid JSON. verify judges the package's texts by build's rules.
. "$(dirname "$0")/common.bash"

# clean FILE WHAT: FILE is UTF-8 without control characters but \n and \t.
clean() {
  python3 - "$1" <<'PY' || fail "$2 writes raw control characters or malformed UTF-8"
import re, sys
text = open(sys.argv[1], "rb").read().decode("utf-8")
sys.exit(1 if re.search("[\x00-\x08\x0b-\x1f\x7f-\x9f]", text) else 0)
PY
}

# A package with texts of its own that build would refuse: an ESC sequence
# in the caption, a C1 CSI in the title, malformed UTF-8 in the question;
# its entry name holds 0x98, which Windows-1251 leaves unassigned and the
# code page turns into the C1 control U+0098.
printf 'PACK1\x00\x01name\x98[2J?1?2\x02script?2?2\x02\x01x' >hostile.pack
make_stub stub.bin
{
  printf 'caption\0Cap\e]0;pwned\a\0title\0T\xc2\x9b2J\0confirm\0Go \xff\xfe?\0'
} >payload
{ cat stub.bin; manifest payload; } >image
mkdir pkg
{ cat image hostile.pack; trailer $(($(stat -c %s image) + 1)); } >pkg/hostile.exe

run_tool verify pkg/hostile.exe
expect_rc 1 "verify of texts build refuses"
clean "$OUT" "verify"
for key in caption title confirm; do
  expect_contains "$OUT" "FAULT:       the text \"$key\"" "verify judges the $key"
done
expect_contains "$OUT" 'name\xC2\x98[2J' "verify names the entry escaped"

run_tool verify --json pkg/hostile.exe
expect_rc 1 "verify --json"
python3 -m json.tool "$OUT" >/dev/null || fail "verify --json is not valid JSON"
clean "$OUT" "verify --json"

run_tool list pkg/hostile.exe
expect_rc 0 "list"
clean "$OUT" "list"
expect_contains "$OUT" 'name\xC2\x98[2J	' "list escapes the entry name"

printf 'n\n' >no.txt
run_tool --stdin no.txt run pkg/hostile.exe
expect_rc 2 "run, declined"
clean "$ERR" "run"
expect_contains "$ERR" 'Cap\x1B]0;pwned\x07 [question]: Go \xFF\xFE?' "run escapes the caption and the question"

script_record 1 - "" P $'\\\e[2J\x98' >hostile.script
run_tool script show --raw hostile.script
expect_rc 0 "script show"
clean "$OUT" "script show"
expect_contains "$OUT" 'delete  {app}\{0x1B}[2J{0x98}' "script show spells out the bytes"

printf 'copy {temp}\\a {app}\\b\nbogus\e[2J\xc2\x9b {app}\\x\n' >bad.txt
run_tool script compile bad.txt bad.bin
expect_rc 1 "compile"
clean "$ERR" "compiler diagnostics"
expect_contains "$ERR" 'bogus\x1B[2J\xC2\x9B {app}\x' "the source line is echoed escaped"

finish
