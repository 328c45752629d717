#!/usr/bin/env bash
# No at the confirmation ends the program at once: exit code 2, no window,
# no temporary folder, no pack file; what an earlier run left stays as it is.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin decline

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'new' >"$payload/app.txt"
e2e_script_record 0 '\000\\app.txt' '\001\\app.txt' >"$payload/script"
e2e_make_package "$payload" "$program/update.exe"

# 1. A clean TMP stays clean.
e2e_start_package "$program/update.exe"
e2e_answer_confirmation No
e2e_wait_package 20
e2e_expect_eq "exit code after No" 2 "$E2E_EXIT"
[ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "No created the temporary folder"
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "No created the pack file"
e2e_expect_eq "the program folder after No" "update.exe" "$(ls -A "$program")"

# 2. A temporary folder and a pack file from an earlier run are untouched.
mkdir -p "$E2E_TEMP_FOLDER"
printf 'left over' >"$E2E_TEMP_FOLDER/old.txt"
printf 'old pack' >"$E2E_PACK_FILE"
e2e_start_package "$program/update.exe"
e2e_wait_box "$E2E_MSG_CONFIRM"
e2e_wintool wait-window "$E2E_FORM_TITLE" 300 2>/dev/null &&
  e2e_fail "the progress window is visible before the answer"
e2e_answer_confirmation No
e2e_wait_package 20
e2e_expect_eq "exit code after No" 2 "$E2E_EXIT"
e2e_expect_eq "the old temporary folder" "old.txt" "$(ls -A "$E2E_TEMP_FOLDER")"
e2e_expect_eq "the old file in it" "left over" "$(cat "$E2E_TEMP_FOLDER/old.txt")"
e2e_expect_eq "the old pack file" "old pack" "$(cat "$E2E_PACK_FILE")"
