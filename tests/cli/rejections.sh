# Archives that are refused, with the exact messages and numbers of the
# extraction after the file's name; files that hold no archive, in verify's
# words; missing files and folders; names that try to leave the target.
. "$(dirname "$0")/common.bash"

NOT_ARCHIVE="no archive: the file does not begin with PACK1, and the trailer in its last 4 bytes does not lead to one (damaged or incomplete)"
NO_CATALOG="No list of files was found in the update package."

# check_rejected FILE TEXT [NUMBER]: list and extract both refuse FILE; with
# NUMBER, the engine's error (list adds its number, extract gives its text
# only), without it, the tool's own; both name FILE.
check_rejected() {
  local file=$1 text=$2 number=${3:-}
  run_tool list "$file"
  expect_rc 1 "list $file"
  expect_empty "$OUT" "list $file stdout"
  expect_text "$ERR" "updpack: $file: $text${number:+ ($number)}" "list $file"
  rm -rf target && mkdir target
  run_tool extract "$file" target
  expect_rc 1 "extract $file"
  expect_text "$ERR" "updpack: $file: $text" "extract $file"
  [ -z "$(ls -A target)" ] || fail "extract $file wrote files"
}

printf 'pack1\x00\x01a?1?2\x02\x01xy' >lower.pack
printf 'PAC' >short.pack
: >empty.pack
printf 'MZ\x90\x00PACK1\x00\x01\x01' >stub_first.pack
for f in lower.pack short.pack empty.pack stub_first.pack; do
  check_rejected "$f" "$NOT_ARCHIVE"
done

printf 'PACK1\x00\x02a?1?2\x02\x01xy' >nocat.pack
printf 'PACK1\x00' >cut_after_method.pack
printf 'PACK1' >cut_after_signature.pack
for f in nocat.pack cut_after_method.pack cut_after_signature.pack; do
  check_rejected "$f" "$NO_CATALOG" -1234006
done

# A catalog that runs to the end of the file without its closing 0x01.
printf 'PACK1\x00\x01a?1?2\x02b?2?3' >open.pack
run_tool list open.pack
expect_rc 1 "list of an unterminated catalog"
expect_contains "$ERR" "(-1234020)" "number of an unterminated catalog"
mkdir t_open
run_tool extract open.pack t_open
expect_rc 1 "extract of an unterminated catalog"
expect_contains "$ERR" "updpack: open.pack: " "the engine's error, named"
[ -z "$(ls -A t_open)" ] || fail "nothing extracted from an unterminated catalog"

# Entries that cannot be read: the entries before them are listed and
# written, the list ends with the failure.
printf 'PACK1\x00\x01ok.txt?1?3\x02bad\x02\x01xy' >fields.pack
run_tool list fields.pack
expect_rc 1 "list with an entry of one field"
expect_text "$OUT" "compression: 0
data start: 24
ok.txt	1	3	2" "entries before the bad one"
grep -q '^updpack: .* ([0-9-]*)$' "$ERR" || fail "numbered error for a bad entry"
mkdir t_fields
run_tool extract fields.pack t_fields
expect_rc 1 "extract with an entry of one field"
cmp -s t_fields/ok.txt <(printf 'xy') || fail "entry before the bad one is written"

printf 'PACK1\x00\x01big?1?100\x02\x01xy' >pastend.pack
run_tool list pastend.pack
expect_rc 1 "list of a range past the end"
expect_contains "$ERR" "(-1234021)" "number of a range past the end"

printf 'PACK1\x00\x01n?x?3\x02\x01xy' >nan.pack
run_tool list nan.pack
expect_rc 1 "list of a start that is no number"
expect_text "$ERR" "$(
  mkdir t_nan
  "$UPDPACK" extract nan.pack t_nan 2>&1 >/dev/null | sed 's/^Dravell \[error\]: /updpack: nan.pack: /'
) (13)" "list and extract report the same failure"

# Names cannot leave the target folder: separators are removed.
mkdir -p deep/target
printf 'PACK1\x00\x01../../escape.txt?1?3\x02..\\\\up.txt?3?5\x02\x01xyzw' >escape.pack
run_tool extract escape.pack deep/target
expect_rc 0 "extract of names with separators"
[ ! -e escape.txt ] && [ ! -e deep/escape.txt ] && [ ! -e up.txt ] &&
  [ ! -e deep/up.txt ] || fail "a file escaped the target folder"
[ "$(ls -A deep/target | tr '\n' ' ')" = "....escape.txt ..up.txt " ] ||
  fail "names without separators: $(ls -A deep/target)"

# A name that is nothing but removed characters, or a device name.
printf 'PACK1\x00\x01/\\:?1?3\x02\x01xy' >noname.pack
mkdir t_noname
run_tool extract noname.pack t_noname
expect_rc 1 "an empty name is refused"
[ -z "$(ls -A t_noname)" ] || fail "nothing written for an empty name"

# Control characters of a refused name reach the terminal spelled out.
printf 'PACK1\x00\x01a\x1b[2Jb?1?3\x02\x01xy' >esc.pack
run_tool list esc.pack
expect_rc 1 "list of a name with ESC"
expect_contains "$ERR" 'a\x1B[2Jb' "ESC spelled out"
if grep -q "$(printf '\x1b')" "$ERR"; then fail "a raw ESC reached stderr"; fi
mkdir t_esc
run_tool extract esc.pack t_esc
expect_rc 1 "extract of a name with ESC"
if grep -q "$(printf '\x1b')" "$ERR"; then fail "a raw ESC reached the error box"; fi

# Missing files and folders.
run_tool list missing.pack
expect_rc 1 "list of a missing archive"
expect_contains "$ERR" "updpack: File not found" "missing archive"
expect_contains "$ERR" "missing.pack" "missing archive names the path"
grep -q ' (53)$' "$ERR" || fail "missing archive: number 53"
run_tool extract missing.pack target
expect_rc 1 "extract of a missing archive"
expect_contains "$ERR" "(53)" "missing archive number"
# No package, so no texts of one: the tool's own words.
run_tool run missing.exe --yes
expect_rc 1 "run of a missing package"
expect_text "$ERR" "updpack: File not found: missing.exe (No such file or directory) (53)" \
  "missing package"

printf 'PACK1\x00\x01\x01' >ok.pack
run_tool extract ok.pack no_such_folder
expect_rc 1 "extract into a missing folder"
expect_text "$ERR" "updpack: target folder does not exist: no_such_folder (create it first)" \
  "missing target folder"
[ ! -e no_such_folder ] || fail "the target folder is not created"

# A folder where a file is read, in every command's words alike.
for command in "extract target target" "list target" "verify target" "run --yes target"; do
  run_tool $command
  expect_rc 1 "a folder as the file: $command"
  expect_text "$ERR" "updpack: a folder, not a file: target" "folder as the file: $command"
done

# A file named as the folder to pack is an error (a missing folder gives
# the empty archive, see roundtrip.sh).
printf 'x' >not_a_folder
run_tool pack not_a_folder x.pack
expect_rc 1 "pack of a file"
expect_text "$ERR" "updpack: the source is not a folder: not_a_folder" "a file as the source"
[ ! -e x.pack ] || fail "nothing written for a file as the folder"

# An archive written into the folder being packed is not packed into itself,
# also when an older one is there. Any other file there is one of the
# folder's own: neither packed nor written over.
mkdir src
printf 'a' >src/a.txt
for round in new older; do
  run_tool pack src src/self.pack
  expect_rc 0 "$round archive inside the folder being packed"
  run_tool list src/self.pack
  expect_rc 0 "list of the $round archive inside its source"
  grep -q '^a.txt' "$OUT" || fail "a.txt is packed"
  ! grep -q 'self.pack' "$OUT" || fail "the archive is not packed into itself"
done
rm src/self.pack
printf 'notes' >src/notes.txt
mkdir payload && printf p >payload/p.txt && make_stub small_stub.bin 4096
while IFS='|' read -r command output message; do
  run_tool $command
  expect_rc 1 "$command"
  expect_text "$ERR" "updpack: the output would overwrite $output, a $message" "$command"
done <<'TABLE'
pack src src/notes.txt|src/notes.txt|file of the folder packed (not an archive)
pack src/ ./src/a.txt|./src/a.txt|file of the folder packed (not an archive)
build --payload payload -o payload/p.txt --stub small_stub.bin|payload/p.txt|file of the payload folder (not a package updpack built)
TABLE
[ "$(cat src/notes.txt)$(cat src/a.txt)$(cat payload/p.txt)" = notesap ] ||
  fail "the folders' own files are kept"
rm src/notes.txt

# An output that cannot be written is named as given (not by the temporary
# name written first), and what stands there stays: a read-only file too,
# as the run leaves one. Root writes into any folder: the tool runs as
# nobody there.
as_user=()
if [ "$(id -u)" = 0 ]; then
  chmod 755 "$WORK" && chmod 777 . "$TMP" && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
mkdir ro_dir && chmod 555 ro_dir
printf 'kept' >ro.pack && chmod 444 ro.pack
mkfifo fifo.out
printf 'mkdir {app}\\x\n' >s.txt
# ARGUMENTS|ERROR
while IFS='|' read -r words error; do
  read -ra words <<<"$words"
  "${as_user[@]}" "$UPDPACK" "${words[@]}" </dev/null >"$OUT" 2>"$ERR"
  RC=$?
  expect_rc 1 "${words[*]}"
  expect_contains "$ERR" "$error" "${words[*]}"
done <<'TABLE'
pack src no_such_folder/x.pack|updpack: the output's folder does not exist: no_such_folder/x.pack
pack src src|updpack: the output path names a folder: src
pack src ro.pack|updpack: the output is read-only (its owner may not write it): ro.pack
script compile s.txt ro.pack|updpack: the output is read-only (its owner may not write it): ro.pack
diff src src -o ro.pack|updpack: the output is read-only (its owner may not write it): ro.pack
pack src fifo.out|updpack: the output path names no regular file (a device, a fifo or a socket): fifo.out
script compile s.txt /dev/full|updpack: the output path names no regular file (a device, a fifo or a socket): /dev/full
pack src ro_dir/x.pack|updpack: cannot write ro_dir/x.pack: Permission denied: ro_dir/.x.pack.updpack-
script compile s.txt ro_dir/s|updpack: cannot write ro_dir/s: Permission denied
TABLE
[ "$(cat ro.pack)" = kept ] || fail "a read-only output was replaced"
[ -p fifo.out ] || fail "a fifo as the output was replaced"
# diff checks where its outputs go before it compares (src and src would
# warn that they hold the same files).
run_tool diff src src -o no_such_folder/x.txt
expect_text "$ERR" "updpack: the output's folder does not exist: no_such_folder/x.txt" \
  "diff checks its output first"
[ -z "$(ls -A ro_dir)" ] || fail "written into a read-only folder"

finish
