#!/usr/bin/env bash
# A whole update under Wine: confirmation, progress window, install script,
# success message. The script installs into the package's own folder; the
# pack file and the temporary folder are removed.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin success

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program/oldver/inner"

printf 'Quorix 1.1\r\nReadme\r\n' >"$payload/readme.txt"
e2e_data "$payload/app.dll" 300000
: >"$payload/empty.dat"
# Every byte value, the catalog's markers 0x01 and 0x02 among them.
format=''
for ((i = 0; i < 256; i++)); do printf -v format '%s\\%03o' "$format" "$i"; done
# shellcheck disable=SC2059
printf "$format" >"$payload/bytes.bin"
cyrillic_name="данные.txt" # д а н н ы е in Windows-1251: E4 E0 ED ED FB E5
cyrillic_1251='\344\340\355\355\373\345.txt'
# The package's manifest declares 1251: the name installs whatever Wine's
# ANSI code page (the suite runs this test under 1251 and 1252).
printf 'Кириллица\r\n' >"$payload/$cyrillic_name"

# What the program folder holds before the update.
printf 'old' >"$program/old1.tmp"
printf 'old' >"$program/old2.tmp"
printf 'keep' >"$program/keep.txt"
printf 'x' >"$program/oldver/a.txt"
printf 'y' >"$program/oldver/inner/b.txt"

{
  e2e_script_record 2 '' '\001\\sub'
  e2e_script_record 0 '\000\\app.dll' '\001\\sub\\app.dll'
  e2e_script_record 0 '  \000\\readme.txt' '\001\\readme.txt  '
  e2e_script_record 0 '\000\\bytes.bin' '\001\\bytes.bin'
  e2e_script_record 0 '\000\\empty.dat' '\001\\empty.dat'
  e2e_script_record 7 '\000\\app.dll' '\001\\unknown.op'
  e2e_script_record 1 '' '\001\\*.tmp'
  e2e_script_record 3 '' '\001\\oldver'
  e2e_script_record 0 "\\000\\\\$cyrillic_1251" "\\001\\\\$cyrillic_1251"
  # 64 bytes of a record that would delete everything: not a whole record,
  # so never carried out.
  e2e_script_record 1 '' '\001\\*' | head -c 64
} >"$payload/script"

e2e_make_package "$payload" "$program/update.exe"
e2e_start_package "$program/update.exe"

e2e_wait_box "$E2E_MSG_CONFIRM"
e2e_screenshot confirmation >/dev/null
[ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "the temporary folder exists before the answer"
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "the pack file exists before the answer"
e2e_answer_confirmation Yes

e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_screenshot success >/dev/null
e2e_expect_eq "the success box's text" "$E2E_MSG_SUCCESS" "$(e2e_texts "$E2E_BOX_TITLE")"
e2e_expect_eq "the success box's buttons" "OK*" "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
e2e_expect_icon information
e2e_expect_eq "the status line behind the success box" "$E2E_STATUS_INSTALL" "$(e2e_status_line)"
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "the pack file is still there at the success message"

e2e_close_box "exit code after success" 0
e2e_wintool wait-gone "$E2E_FORM_TITLE" 2000 || e2e_fail "the progress window outlived the program"

# Installed into the package's folder.
e2e_expect_same_file "$payload/app.dll" "$program/sub/app.dll"
e2e_expect_same_file "$payload/readme.txt" "$program/readme.txt"
e2e_expect_same_file "$payload/bytes.bin" "$program/bytes.bin"
e2e_expect_same_file "$payload/empty.dat" "$program/empty.dat"
e2e_expect_same_file "$payload/$cyrillic_name" "$program/$cyrillic_name"
[ ! -e "$program/unknown.op" ] || e2e_fail "operation 7 did something"
[ ! -e "$program/old1.tmp" ] && [ ! -e "$program/old2.tmp" ] || e2e_fail "*.tmp not deleted"
[ ! -e "$program/oldver" ] || e2e_fail "the folder oldver was not deleted"
[ "$(cat "$program/keep.txt" 2>/dev/null)" = keep ] || e2e_fail "keep.txt was touched"
[ -f "$program/update.exe" ] || e2e_fail "the partial last record was carried out"

# The pack file is gone, and so is the temporary folder: the package has
# a manifest (a package of the base format keeps it, test_preflight.sh).
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "the pack file was not removed"
[ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "the temporary folder was not removed"

e2e_log "success: installed $(find "$program" -type f | wc -l) files"
