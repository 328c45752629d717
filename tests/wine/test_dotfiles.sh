#!/usr/bin/env bash
# With Wine showing dot-files as ordinary files (ShowDotFiles=Y, as Windows
# has no such mark), a script that deletes a dot-file of the program folder
# succeeds and the file is gone: `updpack run` does the same natively.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin dotfiles

e2e_show_dot_files

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'x' >"$payload/app.txt"
printf 'old settings' >"$program/.settings"
printf 'keep' >"$program/.keep"
{
  e2e_script_record 1 '' '\001\\.settings'
  e2e_script_record 0 '\000\\app.txt' '\001\\app.txt'
} >"$payload/script"
e2e_make_package "$payload" "$program/update.exe"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code after success" 0
[ ! -e "$program/.settings" ] || e2e_fail "the dot-file was not deleted"
e2e_expect_eq "the other dot-file" keep "$(cat "$program/.keep")"
e2e_expect_same_file "$payload/app.txt" "$program/app.txt"
