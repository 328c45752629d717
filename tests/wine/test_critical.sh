#!/usr/bin/env bash
# A failing install-script operation of a package made to the base format
# (no manifest) ends the run with the critical-error message and exit code
# 1; the records before it stay carried out, the ones after it are not, and
# the pack file and the temporary folder stay. The package is joined as the
# shipped ones were: the archive's first byte in the place of the image's
# last (a padding byte), one 0x00 before the trailer, which the pack file
# receives too.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin critical

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'one' >"$payload/one.txt"
printf 'two' >"$payload/two.txt"
{
  e2e_script_record 0 '\000\\one.txt' '\001\\one.txt'
  e2e_script_record 1 '' '\001\\missing.txt'
  e2e_script_record 0 '\000\\two.txt' '\001\\two.txt'
} >"$payload/script"
"$UPDPACK_TOOL" pack "$payload" "$E2E_WORK/update.pack1" >/dev/null ||
  e2e_fail "updpack pack failed"
head -c -1 "$UPDPACK_STUB" >"$E2E_WORK/image"
{ cat "$E2E_WORK/update.pack1"; printf '\0'; } >"$E2E_WORK/archive"
e2e_join_package "$E2E_WORK/archive" "$program/update.exe" "$E2E_WORK/image"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
e2e_close_box "exit code after a critical error" 1

e2e_expect_same_file "$payload/one.txt" "$program/one.txt"
[ ! -e "$program/two.txt" ] || e2e_fail "a record after the failing one was carried out"
e2e_carved "$program/update.exe" "$E2E_WORK/carved"
e2e_expect_same_file "$E2E_WORK/carved" "$E2E_PACK_FILE"
e2e_expect_same_file "$payload/script" "$E2E_TEMP_FOLDER/script"
