#!/usr/bin/env bash
# Where the temporary folder goes when it cannot be what TMP names. A
# package of the base format started without TMP works at the root of the
# current drive: "\VLSFX_QUORIX" and "\VLSFX_QUORIX.PACK" on C:, the folder
# kept after success, the pack file removed; TEMP is not read. A file
# standing at the temporary folder's name stays: the extraction fails at
# its first write, or, with nothing to unpack, the script cannot be opened
# and the critical error says that the path is not found.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin no_tmp

drive_c="$WINEPREFIX/drive_c"
payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program" "$E2E_WORK/empty"
printf 'new' >"$payload/app.txt"
e2e_script_record 0 '\000\\app.txt' '\001\\app.txt' >"$payload/script"
e2e_make_base_package "$payload" "$program/update.exe"
e2e_make_base_package "$E2E_WORK/empty" "$program/nothing.exe"
rm -rf "$drive_c/VLSFX_QUORIX" "$drive_c/VLSFX_QUORIX.PACK"

# 1. Without TMP, started with C:\ as the current folder; cmd waits for it
# and ends with its exit code.
E2E_PACKAGE_LOG="$E2E_WORK/package.log"
e2e_wine_env
(cd "$program" && exec env "${E2E_WINE_ENV[@]}" "$WINE" cmd /c \
  "set TMP=& cd /d C:\\ & $(e2e_windows_path "$program/update.exe")") \
  >"$E2E_PACKAGE_LOG" 2>&1 &
E2E_PACKAGE_PID=$!
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
[ -f "$drive_c/VLSFX_QUORIX/app.txt" ] ||
  e2e_fail "nothing unpacked into C:\\VLSFX_QUORIX: $(ls -A "$drive_c")"
[ ! -e "$drive_c/VLSFX_QUORIX.PACK" ] ||
  e2e_fail "the pack file C:\\VLSFX_QUORIX.PACK is there at the success message"
if [ -e "$E2E_TEMP_FOLDER" ] || [ -e "$E2E_PACK_FILE" ]; then
  e2e_fail "the run worked in the folder TEMP names"
fi
e2e_close_box "exit code without TMP" 0
e2e_expect_eq "what the run left at the root of C:" $'app.txt\nscript' \
  "$(ls -A "$drive_c/VLSFX_QUORIX")"
e2e_expect_eq "the update without TMP" new "$(cat "$program/app.txt" 2>/dev/null)"
rm -rf "$drive_c/VLSFX_QUORIX" "$program/app.txt"

# 2. A file at the temporary folder's name: the extraction's own error box,
# exit code 1, nothing installed; the file and the pack file stay.
printf 'a file' >"$E2E_TEMP_FOLDER"
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_next_box 300
case "$E2E_BOX_TEXT" in
"$E2E_MSG_CRITICAL"*) e2e_fail "a critical error where the extraction fails: $E2E_BOX_TEXT" ;;
*"VLSFX_QUORIX"*) ;;
*) e2e_fail "the extraction's box does not name the temporary folder: $E2E_BOX_TEXT" ;;
esac
e2e_expect_icon error
e2e_close_box "exit code of a failed extraction" 1
e2e_expect_eq "the file at the temporary folder's name" "a file" "$(cat "$E2E_TEMP_FOLDER")"
[ -f "$E2E_PACK_FILE" ] || e2e_fail "the pack file of a failed extraction is gone"
[ ! -e "$program/app.txt" ] || e2e_fail "a failed extraction installed"

# 3. The same with nothing to unpack: the script cannot be opened.
e2e_start_package "$program/nothing.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
case "$E2E_BOX_TEXT" in
*"Путь не найден"*) ;;
*) e2e_fail "the critical error does not say that the path is not found: $E2E_BOX_TEXT" ;;
esac
e2e_close_box "exit code when the script cannot be opened" 1
e2e_expect_eq "the file at the temporary folder's name" "a file" "$(cat "$E2E_TEMP_FOLDER")"
rm -f "$E2E_TEMP_FOLDER"

e2e_log "no_tmp: the root of the current drive without TMP; a file in the folder's place"
