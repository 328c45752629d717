#!/usr/bin/env bash
# A package built by updpack (it carries a manifest), killed in the middle
# of its install, leaves a backup area with a journal; the next run undoes
# what the journal lists, then installs: exit code 0, the product updated,
# no area and no half-written file left. An area whose journal another
# process holds open belongs to a run still going: the package ends with
# exit code 6 and changes nothing.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin interrupted

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
# Large enough that the copy under its temporary name lasts many polls.
e2e_data "$payload/big.dll" 100000000
printf 'new app' >"$payload/app.txt"
printf 'old app' >"$program/app.txt"
printf 'old big' >"$program/big.dll"
printf 'old' >"$program/old.txt"
{
  e2e_script_record 0 '\000\\app.txt' '\001\\app.txt'
  e2e_script_record 1 '' '\001\\old.txt'
  e2e_script_record 0 '\000\\big.dll' '\001\\big.dll'
} >"$payload/script"
e2e_make_package "$payload" "$program/update.exe" --store

# Every silent run writes its log outside the program folder, so that a
# start Wine fails is told from the run's own endings (e2e_wait_package).
run_log="/LOG=$(e2e_windows_path "$E2E_WORK/run.log")"

# Killed while the large file is written under its temporary name (app.txt
# has one as well, for a moment, before old.txt goes aside). A run that
# ended before its log began never started, and starts again.
for try in 1 2 3; do
  e2e_start_package "$program/update.exe" /S "$run_log"
  for _ in $(seq 1200); do
    [ -e "$program/~updpack.new" ] && [ ! -e "$program/old.txt" ] && break
    kill -0 "$E2E_PACKAGE_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$E2E_PACKAGE_PID" 2>/dev/null || [ -e "$E2E_RUN_LOG" ] || {
    e2e_log "note: Wine ended the silent run before its log (try $try)"
    continue
  }
  break
done
[ -e "$program/~updpack.new" ] || e2e_fail "the install never wrote big.dll"
kill -KILL "$E2E_PACKAGE_PID"
wait "$E2E_PACKAGE_PID" 2>/dev/null || true
E2E_PACKAGE_PID=
[ -f "$program/~updpack.bak/journal" ] || e2e_fail "no journal after the kill"
[ ! -e "$program/old.txt" ] || e2e_fail "killed before old.txt was moved aside"

# Held open by another process: a run still going, left alone.
cp -a "$program" "$E2E_WORK/killed"
e2e_hold "Z:${program//\//\\}\\~updpack.bak\\journal" 60000 "the journal"
e2e_start_package "$program/update.exe" /S "$run_log"
e2e_wait_package 60
e2e_expect_eq "exit code while the journal is held" 6 "$E2E_EXIT"
e2e_release
diff -r "$E2E_WORK/killed" "$program" >"$E2E_WORK/diff.log" 2>&1 ||
  e2e_fail "the program folder changed: $(cat "$E2E_WORK/diff.log")"

# The next run undoes the cut-off one, then installs.
e2e_start_package "$program/update.exe" /S "$run_log"
e2e_wait_package 120
e2e_expect_eq "exit code of the run after the kill" 0 "$E2E_EXIT"
e2e_expect_same_file "$payload/app.txt" "$program/app.txt"
e2e_expect_same_file "$payload/big.dll" "$program/big.dll"
[ ! -e "$program/old.txt" ] || e2e_fail "old.txt was not deleted"
for left in "~updpack.bak" "~updpack.new" "~updpack.del"; do
  [ ! -e "$program/$left" ] || e2e_fail "$left was left in the program folder"
done

# A journal with another name (a hard link to a file outside the folder) is
# not written: the run ends before it changes anything, and the other name
# keeps its bytes.
mkdir -p "$program/~updpack.bak" "$program/made"
printf 'Cmade\n' >"$E2E_WORK/elsewhere"
ln "$E2E_WORK/elsewhere" "$program/~updpack.bak/journal"
e2e_start_package "$program/update.exe" /S "$run_log"
e2e_wait_package 60
e2e_expect_eq "exit code with a hard-linked journal" 1 "$E2E_EXIT"
[ "$(cat "$E2E_WORK/elsewhere")" = Cmade ] || e2e_fail "the journal's other name was written"
[ -d "$program/made" ] || e2e_fail "the journal was undone"
