#!/usr/bin/env bash
# While the install script of a package of the base format runs, nothing
# yields: a request to close the progress window asks nothing, the script
# runs to its end and the success message follows; the request is not
# answered by the abort question then either, and the program ends with 0.
# One of ours yields inside the copy of a large file: the request is
# answered by the question while the new file is written in part, and Yes
# leaves the product byte for byte as it was, the temporary folder gone.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin install_close

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'new' >"$payload/app.txt"
# Enough records that the program is caught inside its install phase: a
# folder made and removed again, many times, then the one file installed.
python3 - "$payload/script" <<'PY'
import sys
def field(holder, text, size):
    data = bytes([holder]) + text.encode("ascii")
    return data + b" " * (size - len(data))
with open(sys.argv[1], "wb") as out:
    for k in range(3000):
        name = "\\d%d" % k
        out.write(bytes([2]) + b" " * 16 + field(1, name, 48))
        out.write(bytes([3]) + b" " * 16 + field(1, name, 48))
    out.write(bytes([0]) + field(0, "\\app.txt", 16) + field(1, "\\app.txt", 48))
PY
e2e_make_base_package "$payload" "$program/update.exe"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes "$E2E_STATUS_INSTALL"
[ ! -e "$program/app.txt" ] || e2e_fail "the install phase was over when the program was caught"
e2e_wintool close "$E2E_FORM_TITLE" || e2e_fail "cannot close the progress window"
e2e_resume_program
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_expect_eq "the status line behind the success box" "$E2E_STATUS_INSTALL" "$(e2e_status_line)"
e2e_close_box "exit code after a close request while installing" 0
e2e_wintool wait-gone "$E2E_FORM_TITLE" 2000 || e2e_fail "the progress window outlived the program"
e2e_expect_eq "the file installed" new "$(cat "$program/app.txt" 2>/dev/null)"
e2e_expect_eq "the folders made and removed" $'app.txt\nupdate.exe' "$(ls -A "$program")"
[ -f "$E2E_TEMP_FOLDER/script" ] || e2e_fail "the base format's temporary folder was not kept"

ours="$E2E_WORK/ours"
mkdir -p "$ours/payload" "$ours/program"
size=$((16 * 1048576))
e2e_data "$ours/payload/big.bin" $size
printf 'old' >"$ours/program/big.bin"
e2e_script_record 0 '\000\\big.bin' '\001\\big.bin' >"$ours/payload/script"
e2e_make_package "$ours/payload" "$ours/program/update.exe"
cp -a "$ours/program" "$ours/before"
e2e_clear_tmp
e2e_start_package "$ours/program/update.exe"
e2e_answer_confirmation Yes "$E2E_STATUS_INSTALL"
e2e_ask_abort install-copy-question
written=$(stat -c %s "$ours/program/~updpack.new" 2>/dev/null) ||
  e2e_fail "the question came after the copy: $(ls -A "$ours/program")"
[ "$written" -lt $size ] || e2e_fail "the question came after the copy's last byte"
e2e_log "install_close: the question came with $written of $size bytes written"
e2e_wintool press "$E2E_BOX_TITLE" Yes || e2e_fail "cannot press Yes"
e2e_wait_package 20
e2e_expect_eq "exit code after an abort inside a copy" 3 "$E2E_EXIT"
diff -r "$ours/before" "$ours/program" >"$E2E_WORK/diff.log" 2>&1 ||
  e2e_fail "the program folder changed: $(cat "$E2E_WORK/diff.log")"
[ ! -e "$E2E_TEMP_FOLDER" ] || e2e_fail "the temporary folder is left: $(ls -A "$E2E_TEMP_FOLDER")"

e2e_log "install_close: a close request while installing changes nothing, or undoes the copy in part"
