#!/usr/bin/env bash
# How live the window stays during a 100 MB run, whose install copies a
# 90 MB file in one record (a copy yields as it goes): the program reports on
# Wine's debug channel how often it pumped its messages and the longest time
# between two pumps. The goal is 10 ms, the timer's period. Measured on the
# 2-core machine: 3 to 10 ms when it is otherwise idle, 4 to 17 ms with one
# core kept busy by another program, 16 to 31 ms with both cores busy, and
# there once 211 ms, when the scheduler let the program wait; with the
# machine loaded further (load average near 10), where the program waited
# on a run queue two to three times as long as it ran, 27 to 92 ms and once
# 440 ms. So the test warns above the goal and fails only above 250 ms
# twice running: a program that stops pumping does so in every run, the
# scheduler seldom twice.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin pump_gap

readonly GOAL_US=10000
readonly LIMIT_US=250000

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
e2e_data "$payload/big.bin" 90000000
for k in $(seq 1 200); do e2e_data "$payload/small$k.dat" 50000; done
e2e_script_record 0 '\000\\big.bin' '\001\\big.bin' >"$payload/script"

archive="$E2E_WORK/update.pack1"
"$UPDPACK_TOOL" pack "$payload" "$archive" >"$E2E_WORK/pack.log" 2>&1 ||
  e2e_fail "updpack pack failed: $(cat "$E2E_WORK/pack.log")"
e2e_build_package "$archive" "$program/update.exe"

E2E_WINE_DEBUG=+debugstr
for try in 1 2; do
  e2e_clear_tmp
  e2e_start_package "$program/update.exe"
  e2e_wait_box "$E2E_MSG_CONFIRM"
  result=$(e2e_wintool press "$E2E_BOX_TITLE" Yes --wait-text "$E2E_MSG_SUCCESS" 120000) ||
    e2e_fail "no success message within 120 s"
  elapsed=$(printf '%s\n' "$result" | sed -n 's/^elapsed_ms \([0-9]*\).*/\1/p')
  # What the program ran and waited for a processor, its threads together.
  waited=$(cat /proc/"$E2E_PACKAGE_PID"/task/*/schedstat 2>/dev/null |
    awk '{ ran += $1; waited += $2 } END { printf "ran %d ms, waited for a processor %d ms", ran / 1e6, waited / 1e6 }')
  e2e_close_box "exit code" 0 30
  e2e_expect_same_file "$payload/big.bin" "$program/big.bin"
  rm "$program/big.bin"

  stats=$(grep -a -o 'updpack-stub: [0-9]* pumps, largest gap [0-9]* us' "$E2E_PACKAGE_LOG" | tail -n 1)
  [ -n "$stats" ] || e2e_fail "the program reported no pump statistics: $(tail -c 2000 "$E2E_PACKAGE_LOG")"
  pumps=$(printf '%s\n' "$stats" | sed 's/.*: \([0-9]*\) pumps.*/\1/')
  gap=$(printf '%s\n' "$stats" | sed 's/.*largest gap \([0-9]*\) us/\1/')
  line="pump_gap: $(stat -c %s "$archive")-byte archive in ${elapsed:-?} ms; $pumps pumps, largest gap between two pumps $((gap / 1000)).$(printf '%03d' $((gap % 1000))) ms (goal $((GOAL_US / 1000)) ms); the program $waited"
  printf '%s\n' "$line" | tee "$E2E_ARTIFACTS/pump_gap.txt"
  [ "$gap" -gt "$LIMIT_US" ] || break
  [ "$try" = 2 ] || e2e_log "note: over $((LIMIT_US / 1000)) ms; measured once more"
done
[ "$pumps" -gt 10 ] || e2e_fail "only $pumps pumps in a 100 MB run"
[ "$gap" -le "$LIMIT_US" ] || e2e_fail "largest gap $gap us, over $LIMIT_US us"
[ "$gap" -le "$GOAL_US" ] || e2e_log "warning: largest gap $gap us, over the goal of $GOAL_US us"
