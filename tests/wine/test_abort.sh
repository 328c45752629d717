#!/usr/bin/env bash
# Closing the progress window asks "Прервать обновление?". No lets the run go
# on; Yes removes the temporary folder and the pack file, which the program
# still holds open, and ends it with exit code 3. Once during the carve-out,
# once during the extraction, when the program holds an entry open as well.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin abort

program="$E2E_WORK/program"
mkdir -p "$program"
# The carve-out copies 64 MB; the extraction writes 32 MB ten times over,
# into five entries in turn. The program is suspended in the phase under
# test before each close request, so the test does not depend on its speed.
archive="$E2E_WORK/update.pack1"
e2e_overlapping_archive "$archive" $((32 * 1048576)) 10 $((64 * 1048576))
# Entries that share bytes: a package of the base format (one of ours
# refuses them).
e2e_join_package "$archive" "$program/update.exe"

expect_cleaned_up() { # WHEN
  e2e_wait_package 20
  e2e_expect_eq "exit code after an abort $1" 3 "$E2E_EXIT"
  [ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "the temporary folder is left after an abort $1: $(ls -A "$E2E_TEMP_FOLDER")"
  [ ! -e "$E2E_PACK_FILE" ] || e2e_fail "the pack file is left after an abort $1"
  e2e_expect_eq "nothing installed after an abort $1" "update.exe" "$(ls -A "$program")"
}

# 1. During the carve-out: No, then, during the extraction, Yes.
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes "$E2E_STATUS_PREPARE"
e2e_ask_abort carve-question
e2e_expect_eq "the status line during the carve-out" "$E2E_STATUS_PREPARE" "$(e2e_status_line)"
[ -n "$(e2e_percent "$(e2e_progress_line)")" ] ||
  e2e_fail "the progress line shows no percentage: '$(e2e_progress_line)'"
[ -f "$E2E_PACK_FILE" ] || e2e_fail "no pack file during the carve-out"
# The run waits while the question is open.
before=$(e2e_form_state)
sleep 0.5
e2e_expect_eq "the run stands still during the question" "$before" "$(e2e_form_state)"
# No: the copy goes on to its end and the extraction starts.
e2e_press_and_suspend No part1.bin
e2e_wintool wait-gone "$E2E_BOX_TITLE" 1000 || e2e_fail "the question stays after No"
e2e_carved "$program/update.exe" "$E2E_WORK/carved"
e2e_expect_same_file "$E2E_WORK/carved" "$E2E_PACK_FILE"
e2e_ask_abort unpack-question
e2e_expect_eq "the status line during the extraction" "$E2E_STATUS_UNPACK" "$(e2e_status_line)"
e2e_wintool press "$E2E_BOX_TITLE" Yes || e2e_fail "cannot press Yes"
expect_cleaned_up "after No once"

# 2. During the extraction, while the second entry is being written: the
# first is complete, the second open.
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes part2.bin
e2e_ask_abort unpack-question-2
e2e_expect_eq "the status line during the extraction" "$E2E_STATUS_UNPACK" "$(e2e_status_line)"
progress=$(e2e_progress_line)
case "$progress" in
part[2-5].bin) ;;
*) e2e_fail "the progress line does not show the entry being written: '$progress'" ;;
esac
e2e_expect_same_file "$archive.data" "$E2E_TEMP_FOLDER/part1.bin"
e2e_wintool press "$E2E_BOX_TITLE" Yes || e2e_fail "cannot press Yes"
expect_cleaned_up "during the extraction"
