#!/usr/bin/env bash
# A pack file of an earlier run marked hidden and system is removed before
# the new one is created as a new file: the run succeeds, and the pack file
# is gone at its end.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin hidden_pack

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
e2e_data "$payload/app.dll" 100000
e2e_script_record 0 '\000\\app.dll' '\001\\app.dll' >"$payload/script"
e2e_make_package "$payload" "$program/update.exe"

head -c 300000 /dev/zero | tr '\0' 'p' >"$E2E_PACK_FILE"
pack_windows="$E2E_TMP_WINDOWS\\VLSFX_QUORIX.PACK"
for mark in +h +s; do # cmd's attrib takes one mark at a time
  e2e_wine cmd /c attrib "$mark" "$pack_windows" >/dev/null 2>&1
done
marks=$(e2e_wine cmd /c attrib "$pack_windows" 2>/dev/null | tr -d '\r')
marks=${marks%%"$E2E_TMP_WINDOWS"*}
case "$marks" in
*S*H*) ;;
*) e2e_skip "Wine keeps no hidden or system mark here (attrib: '$marks')" ;;
esac

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code after success" 0
e2e_expect_same_file "$payload/app.dll" "$program/app.dll"
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "the pack file is still there"
