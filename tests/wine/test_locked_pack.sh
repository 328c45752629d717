#!/usr/bin/env bash
# A pack file from an earlier run that another program holds open cannot be
# deleted: the run ends with the critical-error message before the progress
# window is shown, exit code 1, and the held file keeps its bytes.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin locked_pack

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'new' >"$payload/app.txt"
e2e_script_record 0 '\000\\app.txt' '\001\\app.txt' >"$payload/script"
e2e_make_package "$payload" "$program/update.exe"

printf 'old pack' >"$E2E_PACK_FILE"
e2e_hold "$E2E_TMP_WINDOWS\\VLSFX_QUORIX.PACK" 120000 "the pack file"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
e2e_wintool wait-window "$E2E_FORM_TITLE" 200 2>/dev/null &&
  e2e_fail "the progress window is shown before the pack file is deleted"
e2e_close_box "exit code after a critical error" 1
e2e_release
e2e_expect_eq "the held pack file" "old pack" "$(cat "$E2E_PACK_FILE")"
e2e_expect_eq "nothing installed" "update.exe" "$(ls -A "$program")"
