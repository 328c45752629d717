#!/usr/bin/env bash
# A package that knows the version it updates, under Wine: it installs
# over the old version and removes its temporary folder; a second run says
# the product is up to date; an older version is refused untouched (exit
# 4); a file another program holds open without sharing gives Retry /
# Cancel, and Retry once it is closed installs; so does one inside a
# folder the update removes. A package of the base
# format keeps its strict run: its second run fails at the first record.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin preflight

old="$E2E_WORK/old"
new="$E2E_WORK/new"
mkdir -p "$old/legacy" "$new/data"
printf 'app 1.0' >"$old/app.exe"
printf 'old' >"$old/old.txt"
printf 'plugin' >"$old/legacy/plugin.dll"
printf 'app 1.1, a little longer' >"$new/app.exe"
printf 'readme 1.1' >"$new/data/readme.txt"
"$UPDPACK_TOOL" diff "$old" "$new" --build "$E2E_WORK/update.exe" \
  --stub "$UPDPACK_STUB" --for-version 1.0 >"$E2E_WORK/build.log" 2>&1 ||
  e2e_fail "updpack diff --build failed: $(cat "$E2E_WORK/build.log")"

fresh() { # FOLDER: the old version with the update in it
  rm -rf "$1" && cp -r "$old" "$1" && cp "$E2E_WORK/update.exe" "$1/"
}
snapshot() { (cd "$1" && find . -type f -exec md5sum {} + | sort; find . | sort); }

# Runs the package of FOLDER, answers Yes and waits for the box TEXT,
# presses OK and checks the exit code.
run_to_box() { # FOLDER TEXT EXIT WHAT
  e2e_start_package "$1/update.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$2" 60000
  e2e_screenshot "$4" >/dev/null
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "$4: cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "$4: exit code" "$3" "$E2E_EXIT"
}

# 1. Over the old version, then once more.
program="$E2E_WORK/program"
fresh "$program"
run_to_box "$program" "$E2E_MSG_SUCCESS" 0 installed
rm "$program/update.exe"
diff -r "$program" "$new" >/dev/null || e2e_fail "the update did not turn the old version into the new"
[ ! -e "$E2E_TEMP_FOLDER" ] && [ ! -e "$E2E_PACK_FILE" ] ||
  e2e_fail "the temporary folder or the pack file stays after success"
cp "$E2E_WORK/update.exe" "$program/"
before=$(snapshot "$program")
run_to_box "$program" "Quorix уже обновлен до версии 1.1." 0 up-to-date
e2e_expect_eq "the second run changes nothing" "$before" "$(snapshot "$program")"
[ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "the temporary folder stays after 'up to date'"

# 2. An older version: refused, nothing changed.
older="$E2E_WORK/older"
fresh "$older"
printf 'app 0.9' >"$older/app.exe"
before=$(snapshot "$older")
run_to_box "$older" "$(e2e_crlf "Это обновление предназначено для Quorix 1.0; файл «app.exe» не соответствует этой версии." "Ничего не изменено.")" 4 refused
e2e_expect_eq "the refused run changes nothing" "$before" "$(snapshot "$older")"

# 3. app.exe held open by another program without delete sharing: Retry
# while it is held asks again; Retry once the holder has closed it installs.
busy="$E2E_WORK/busy"
fresh "$busy"
e2e_hold "$(e2e_windows_path "$busy/app.exe")" 60000 app.exe
in_use="Файл «app.exe» используется. Закройте Quorix и нажмите «Повтор»."
e2e_start_package "$busy/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$in_use" 60000
e2e_screenshot in-use >/dev/null
buttons=$(e2e_wintool buttons "$E2E_BOX_TITLE" | tr ' ' '\n' | sort | tr '\n' ' ')
e2e_expect_eq "the in-use box's buttons (Retry is the default)" "Cancel Retry* " "$buttons"
[ "$(cat "$busy/old.txt" 2>/dev/null)" = old ] || e2e_fail "something changed before the box"
# The box asked again is another window of the same text: the one pressed
# may linger a moment, and a wait for the text alone could take it.
e2e_wintool press "$E2E_BOX_TITLE" Retry --wait-text "$in_use" 20000 >/dev/null ||
  e2e_fail "Retry while app.exe is held does not ask again"
e2e_release
e2e_wintool press "$E2E_BOX_TITLE" Retry || e2e_fail "cannot press Retry once closed"
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code after Retry" 0
rm "$busy/update.exe"
diff -r "$busy" "$new" >/dev/null || e2e_fail "Retry did not install the update"

# 3b. A file held inside the folder that rmdir removes is found before the
# install too: its box names it, and Cancel changes nothing (exit 5).
inside="$E2E_WORK/inside"
fresh "$inside"
before=$(snapshot "$inside")
e2e_hold "$(e2e_windows_path "$inside/legacy/plugin.dll")" 60000 legacy/plugin.dll
e2e_start_package "$inside/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "Файл «legacy\\plugin.dll» используется. Закройте Quorix и нажмите «Повтор»." 60000
e2e_wintool press "$E2E_BOX_TITLE" Cancel || e2e_fail "cannot press Cancel"
e2e_wait_package 20
e2e_expect_eq "exit code after Cancel" 5 "$E2E_EXIT"
e2e_release
e2e_expect_eq "Cancel changes nothing" "$before" "$(snapshot "$inside")"

# 4. The base format: the temporary folder stays after success, and the
# second run fails at its first record (the folder to remove is gone).
plain="$E2E_WORK/plain"
fresh "$plain"
"$UPDPACK_TOOL" extract "$E2E_WORK/update.exe" "$E2E_WORK/entries" >/dev/null 2>&1 ||
  { mkdir -p "$E2E_WORK/entries" &&
    "$UPDPACK_TOOL" extract "$E2E_WORK/update.exe" "$E2E_WORK/entries" >/dev/null; } ||
  e2e_fail "cannot extract the package"
rm "$E2E_WORK/entries/~updpack.sum" "$E2E_WORK/entries/~updpack.exp"
"$UPDPACK_TOOL" pack "$E2E_WORK/entries" "$E2E_WORK/plain.pack1" >/dev/null 2>&1 ||
  e2e_fail "cannot pack the entries"
e2e_join_package "$E2E_WORK/plain.pack1" "$plain/update.exe"
run_to_box "$plain" "$E2E_MSG_SUCCESS" 0 plain-installed
[ -f "$E2E_TEMP_FOLDER/script" ] || e2e_fail "the base format's temporary folder was not kept"
e2e_start_package "$plain/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
e2e_close_box "exit code of the base format's second run" 1

e2e_log "preflight: up to date, refused, in use and retried, base format strict"
