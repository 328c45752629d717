#!/usr/bin/env bash
# The real mouse and keyboard on the windows of a package of ours (xdotool):
# the X button of the confirmation means No. The progress window's X button
# during the check of the installed program asks to abort, Esc there means
# No and the run goes on; Alt+F4 during the install asks again, Enter means
# Yes: the install is undone, the program folder is byte for byte what it
# was, nothing stays in TMP and the program ends with 3.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin keyboard_close
command -v xdotool >/dev/null || e2e_skip "xdotool is not installed (package xdotool)"

old="$E2E_WORK/old"
new="$E2E_WORK/new"
program="$E2E_WORK/program"
mkdir -p "$old" "$new"
# Enough records that the install yields many times between them.
for i in $(seq 40); do
  printf 'old %d' "$i" >"$old/f$i.txt"
  printf 'new %d, longer' "$i" >"$new/f$i.txt"
done
"$UPDPACK_TOOL" diff "$old" "$new" --build "$E2E_WORK/update.exe" \
  --stub "$UPDPACK_STUB" >"$E2E_WORK/build.log" 2>&1 ||
  e2e_fail "updpack diff --build failed: $(cat "$E2E_WORK/build.log")"
cp -r "$old" "$program"
cp "$E2E_WORK/update.exe" "$program/"
snapshot() { (cd "$program" && find . -type f -exec md5sum {} + | sort; find . | sort); }
before=$(snapshot)

# Clicks the close button at the right end of the caption of the window
# TITLE (Wine draws the frames: no window manager runs).
click_close_button() { # TITLE
  local left top width
  read -r _ left top width _ <<<"$(e2e_wintool rect "$1" | grep '^window')"
  xdotool mousemove $((left + width - 12)) $((top + 12)) click 1
}

expect_tmp_clean() { # WHAT
  if [ -e "$E2E_TEMP_FOLDER" ] || [ -e "$E2E_PACK_FILE" ]; then
    e2e_fail "$1 left files in TMP: $(ls -A "$E2E_TMP")"
  fi
}

# Waits for the abort question, then gives KEY to it.
answer_abort() { # KEY STEP
  e2e_wait_box "$E2E_MSG_ABORT" 10000
  e2e_screenshot "$2" >/dev/null
  xdotool key "$1"
}

# 1. The confirmation's X button: No.
e2e_start_package "$program/update.exe"
e2e_wait_box "$E2E_MSG_CONFIRM"
sleep 0.3 # the box shown by Wine is on the display a moment later
click_close_button "$E2E_BOX_TITLE"
e2e_wait_package 20
e2e_expect_eq "exit code after the confirmation's X button" 2 "$E2E_EXIT"
expect_tmp_clean "the X button of the confirmation"

# 2. X during the check, Esc; Alt+F4 during the install, Enter.
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes "Проверка установленной программы..."
click_close_button "$E2E_FORM_TITLE"
e2e_resume_program
answer_abort Escape check-question
e2e_wintool wait-text "$E2E_FORM_TITLE" "$E2E_STATUS_INSTALL" 20000 --suspend ||
  e2e_fail "the run did not go on to its install after Esc"
e2e_expect_eq "a message box once the run went on after Esc" "" \
  "$(e2e_texts "$E2E_BOX_TITLE" 2>/dev/null)"
xdotool key alt+F4
e2e_resume_program
answer_abort Return install-question
e2e_wait_package 30
e2e_expect_eq "exit code after Enter at the abort question" 3 "$E2E_EXIT"
e2e_expect_eq "the program folder after the abort" "$before" "$(snapshot)"
expect_tmp_clean "the abort"
e2e_wintool wait-gone "$E2E_FORM_TITLE" 2000 || e2e_fail "the progress window outlived the program"

e2e_log "keyboard_close: the X button, Esc, Alt+F4 and Enter end as the native abort"
