#!/usr/bin/env bash
# A package built by updpack (it carries a manifest) applies completely or
# not at all: a folder in the way of the name the last new file is written
# under before it takes its place (a leftover the check before the install
# does not look for) is met only by the install phase, at the end of the
# script; every step before it is undone, the message says the product was
# left as it was, exit code 1, and the program folder is byte for byte what
# it was, without a backup area left.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin rollback

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program/old" "$program/in/~updpack.new/x"
for name in app.txt data.txt held.txt; do
  printf 'new %s' "$name" >"$payload/$name"
  printf 'old %s' "$name" >"$program/$name"
done
printf 'old plugin' >"$program/old/plugin.dll"
{
  e2e_script_record 3 '' '\001\\old'
  e2e_script_record 2 '' '\001\\lib'
  e2e_script_record 0 '\000\\app.txt' '\001\\app.txt'
  e2e_script_record 0 '\000\\data.txt' '\001\\lib\\data.txt'
  e2e_script_record 1 '' '\001\\data.txt'
  e2e_script_record 0 '\000\\held.txt' '\001\\held.txt'
  e2e_script_record 0 '\000\\held.txt' '\001\\in\\held.txt'
} >"$payload/script"
e2e_make_package "$payload" "$program/update.exe"
before="$E2E_WORK/before"
cp -a "$program" "$before"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
case "$E2E_BOX_TEXT" in
*"Обновление не выполнено, продукт оставлен в прежнем состоянии."$'\r\n'*) ;;
*) e2e_fail "not the rollback message: ${E2E_BOX_TEXT//$'\r\n'/ | }" ;;
esac
e2e_close_box "exit code after a rolled-back install" 1
diff -r "$before" "$program" >"$E2E_WORK/diff.log" 2>&1 ||
  e2e_fail "the program folder changed: $(cat "$E2E_WORK/diff.log")"
