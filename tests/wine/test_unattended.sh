#!/usr/bin/env bash
# The switches of a package that carries a manifest: /S shows no window at
# any moment and ends with the exit code, /LOG= writes every step, /D=
# installs elsewhere, /? shows the usage; a damaged package under /S, and
# two that would take gigabytes (a script of repeated placeholders, entries
# that share bytes); a package without a manifest ignores them all.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin unattended

payload="$E2E_WORK/payload"
download="$E2E_WORK/download"
program="$E2E_WORK/program folder"
mkdir -p "$payload" "$download" "$program"
# Big enough that the run lasts several polls of the window list.
e2e_data "$payload/app.dll" 3000000
printf 'old' >"$program/old.txt"
{
  e2e_script_record 0 '\000\\app.dll' '\001\\app.dll'
  e2e_script_record 1 '' '\001\\old.txt'
} >"$payload/script"
e2e_make_package "$payload" "$download/update.exe"
log="$E2E_WORK/run.log"

# /S with /D= in quotes: no window of ours ever, the exit code, the log.
e2e_start_package "$download/update.exe" /s "/LOG=$(e2e_windows_path "$log")" \
  "/D=$(e2e_windows_path "$program")"
polls=0
while kill -0 "$E2E_PACKAGE_PID" 2>/dev/null; do
  windows=$(e2e_wintool list | tr -d '\r')
  if grep -qx -e "$E2E_BOX_TITLE" -e "$E2E_FORM_TITLE" <<<"$windows"; then
    e2e_screenshot shown >/dev/null
    e2e_fail "a window of the silent run is shown: $windows"
  fi
  polls=$((polls + 1))
done
e2e_wait_package 60
e2e_expect_eq "exit code of the silent run" 0 "$E2E_EXIT"
[ "$polls" -ge 2 ] || e2e_log "note: the run ended after $polls polls"
e2e_expect_same_file "$payload/app.dll" "$program/app.dll"
[ ! -e "$program/old.txt" ] || e2e_fail "old.txt was not deleted"
[ ! -e "$download/app.dll" ] || e2e_fail "installed into the download folder"
for line in "\\VLSFX_QUORIX\\app.dll -> $(e2e_windows_path "$program")\\app.dll" \
  "message (question): Сейчас будет произведено обновление Quorix" \
  "answer: Yes" "end: success (exit code 0)"; do
  tr -d '\r' <"$log" | grep -qF -- "$line" || e2e_fail "the log lacks '$line': $(cat "$log")"
done

# A download cut short, under /S: exit code 1, the log names the damage.
head -c -100 "$download/update.exe" >"$download/cut.exe"
e2e_start_package "$download/cut.exe" /S "/LOG=$(e2e_windows_path "$log")"
e2e_wait_package 30
e2e_expect_eq "exit code of a damaged package under /S" 1 "$E2E_EXIT"
grep -q "Размер пакета обновления" "$log" || e2e_fail "the log does not name the damage: $(cat "$log")"
grep -q "end: failed (exit code 1)" "$log" || e2e_fail "the log lacks the ending: $(cat "$log")"

# A package of ours whose script repeats {temp} in every path (records
# never carried out, 62 folders each): damaged before the install, not
# gigabytes of paths.
flood="$E2E_WORK/flood"
mkdir -p "$flood"
python3 -c 'import sys; sys.stdout.buffer.write((b"\x09" + b"\x00" * 64) * 20000)' \
  >"$flood/script"
"$UPDPACK_TOOL" pack "$flood" "$E2E_WORK/flood.pack1" >"$E2E_WORK/pack.log" 2>&1 ||
  e2e_fail "updpack pack failed: $(cat "$E2E_WORK/pack.log")"
# The image with an empty manifest where it ends (magic, length, CRC-32).
{ cat "$UPDPACK_STUB"; printf 'updpack manifest'; head -c 8 /dev/zero; } >"$E2E_WORK/image"
e2e_join_package "$E2E_WORK/flood.pack1" "$download/flood.exe" "$E2E_WORK/image"
e2e_start_package "$download/flood.exe" /S "/LOG=$(e2e_windows_path "$log")"
e2e_wait_package 60
e2e_expect_eq "exit code of a script that repeats {temp}" 1 "$E2E_EXIT"
grep -q "Файл «script» в пакете обновления поврежден" "$log" ||
  e2e_fail "the log does not name the script: $(cat "$log")"
# And one whose two entries share their bytes: the extraction stops at the
# second, which would write them again.
printf 'PACK1\000\001a.txt?1?5\002b.txt?1?5\002\001abcd' >"$E2E_WORK/shared.pack1"
e2e_join_package "$E2E_WORK/shared.pack1" "$download/shared.exe" "$E2E_WORK/image"
e2e_start_package "$download/shared.exe" /S "/LOG=$(e2e_windows_path "$log")"
e2e_wait_package 60
e2e_expect_eq "exit code of entries that share bytes" 1 "$E2E_EXIT"
grep -q "архив поврежден: «b.txt»" "$log" ||
  e2e_fail "the log does not name the second entry: $(cat "$log")"

# /? shows the usage box and ends with 0.
e2e_start_package "$download/update.exe" '/?'
e2e_wintool wait-window "$E2E_BOX_TITLE" 20000 || e2e_fail "no usage box"
e2e_expect_eq "the usage box's first line" "Параметры командной строки:" \
  "$(e2e_texts "$E2E_BOX_TITLE" | tr -d '\r' | sed -n 1p)"
e2e_close_box "exit code after the usage box" 0

# A second copy with the same log while the first asks: exit code 6, and
# the log of the first keeps its lines, the second's ending among them.
printf 'old' >"$program/old.txt"
both="$download/both.log"
e2e_start_package "$download/update.exe" "/LOG=$(e2e_windows_path "$both")" \
  "/D=$(e2e_windows_path "$program")"
e2e_wait_box "$E2E_MSG_CONFIRM"
first=("$E2E_PACKAGE_PID" "${E2E_PACKAGE_ARGS[@]}")
# Named from the package's folder, so that the harness leaves the file.
e2e_start_package "$download/update.exe" /S /LOG=both.log
e2e_wait_package 30
e2e_expect_eq "exit code of a second copy" 6 "$E2E_EXIT"
E2E_PACKAGE_PID=${first[0]}
E2E_PACKAGE_ARGS=("${first[@]:1}")
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code of the first copy" 0
for line in "message (question): Сейчас будет" "end: already running (exit code 6)" \
  "end: success (exit code 0)"; do
  grep -qF -- "$line" "$both" || e2e_fail "the copies' log lacks '$line': $(cat -v "$both")"
done
! grep -qaP '\x00' "$both" || e2e_fail "the copies' log has gaps: $(cat -v "$both")"

# The base format takes no command line: the question comes all the same.
e2e_join_package "$E2E_WORK/update.pack1" "$download/plain.exe"
e2e_start_package "$download/plain.exe" /S '/?'
e2e_answer_confirmation No
e2e_wait_package 20
e2e_expect_eq "exit code of a declined package without a manifest" 2 "$E2E_EXIT"

e2e_log "unattended: $polls polls of the window list during the silent run"
