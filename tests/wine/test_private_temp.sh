#!/usr/bin/env bash
# The temporary folder is the user's alone: a run makes it so and succeeds;
# a folder of the user's own that an earlier run left with read-only files is
# cleared and used; one that others may write into and that cannot be
# removed ends the run with the critical-error message naming it, before
# anything is installed, even when it is empty.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin private_temp

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'new' >"$payload/app.txt"
e2e_script_record 0 '\000\\app.txt' '\001\\app.txt' >"$payload/script"
# The base format: its temporary folder stays after success, to be looked at.
"$UPDPACK_TOOL" pack "$payload" "$E2E_WORK/update.pack1" >/dev/null 2>&1 ||
  e2e_fail "updpack pack failed"
e2e_join_package "$E2E_WORK/update.pack1" "$program/update.exe"

run_to_success() { # WHAT
  e2e_start_package "$program/update.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$E2E_MSG_SUCCESS" 60000
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "exit code, $1" 0 "$E2E_EXIT"
  e2e_expect_same_file "$payload/app.txt" "$program/app.txt"
  rm -f "$program/app.txt"
}

# 1. Wine's TMP as it is: the folder is made for the user alone (Wine shows
# an access list that lets nobody else write as a mode without write
# permission for group and others).
run_to_success "a fresh folder"
mode=$(stat -c %a "$E2E_TEMP_FOLDER")
(((8#$mode & 8#022) == 0)) || e2e_fail "others may write into the temporary folder (mode $mode)"

# 2. Read-only files left in the user's own folder.
e2e_clear_tmp
mkdir -p "$E2E_TEMP_FOLDER/sub"
printf 'old' >"$E2E_TEMP_FOLDER/script"
printf 'old' >"$E2E_TEMP_FOLDER/sub/stale"
chmod 700 "$E2E_TEMP_FOLDER"
e2e_wine cmd /c attrib +r "$E2E_TMP_WINDOWS\\VLSFX_QUORIX\\script" >/dev/null 2>&1
e2e_wine cmd /c attrib +r "$E2E_TMP_WINDOWS\\VLSFX_QUORIX\\sub\\stale" >/dev/null 2>&1
run_to_success "read-only files left in the folder"

# 3. An empty folder that others may write into, kept from being removed by
# another program that holds it open.
e2e_clear_tmp
mkdir -p "$E2E_TEMP_FOLDER"
chmod 777 "$E2E_TEMP_FOLDER"
e2e_hold "$E2E_TMP_WINDOWS\\VLSFX_QUORIX" 120000 "the folder"
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
case "$E2E_BOX_TEXT" in
*VLSFX_QUORIX*) ;;
*) e2e_fail "the message does not name the folder: $E2E_BOX_TEXT" ;;
esac
e2e_close_box "exit code after a critical error" 1
[ ! -e "$program/app.txt" ] || e2e_fail "something was installed"
