#!/usr/bin/env bash
# A few random OLD/NEW pairs of tests/cli/diff_pairs.py under the Windows
# program, silent with a log: the package `diff --build` writes turns a
# copy of OLD, some files read-only, into NEW (names in the case and marks
# that file says), a second run is up to date and changes nothing, and a
# folder that is neither is refused with exit code 4, untouched.
# DIFF_ROUNDTRIP_SEED draws other pairs, DIFF_ROUNDTRIP_WINE more (default
# 4), DIFF_ROUNDTRIP_FROM=N begins at pair N.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin diff_roundtrip

pairs_py="$(cd "$(dirname "$0")/../cli" && pwd)/diff_pairs.py"
listing() { python3 "$pairs_py" listing "$1"; }

# Fails naming the lines that differ.
expect_tree() { # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] && return
  e2e_log "$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3"))"
  e2e_fail "$1"
}

# Runs the package copied into FOLDER, silent, and removes it again.
run_in() { # FOLDER
  cp "$E2E_WORK/update.exe" "$1/update.exe"
  e2e_start_package "$1/update.exe" /S "/LOG=$(e2e_windows_path "$E2E_WORK/run.log")"
  e2e_wait_package 60
  rm -f "$1/update.exe"
}

wanted=${DIFF_ROUNDTRIP_WINE:-4}
pair=${DIFF_ROUNDTRIP_FROM:-$((${DIFF_ROUNDTRIP_SEED:-1} * 1000))}
done_pairs=0
while [ "$done_pairs" -lt "$wanted" ]; do
  dir="$E2E_WORK/p$pair"
  kind=$(python3 "$pairs_py" write "$pair" "$dir") || e2e_fail "cannot write pair $pair"
  pair=$((pair + 1))
  # Pairs diff refuses, and those equal but for case (an empty script,
  # never up to date), say nothing here.
  if [ "$kind" != good ] || diff -r "$dir/old" "$dir/want" >/dev/null; then
    continue
  fi
  "$UPDPACK_TOOL" diff "$dir/old" "$dir/new" --build "$E2E_WORK/update.exe" \
    --stub "$UPDPACK_STUB" >"$E2E_WORK/diff.log" 2>&1 ||
    e2e_fail "diff --build of pair $((pair - 1)): $(cat "$E2E_WORK/diff.log")"
  what="pair $((pair - 1))"

  run_in "$dir/inst"
  e2e_expect_eq "exit code of $what" 0 "$E2E_EXIT"
  expect_tree "the folder of $what" "$(listing "$dir/want")" "$(listing "$dir/inst")"
  after=$(listing "$dir/inst")
  run_in "$dir/inst"
  e2e_expect_eq "exit code of the second run of $what" 0 "$E2E_EXIT"
  grep -q 'уже обновлен' "$E2E_WORK/run.log" ||
    e2e_fail "the second run of $what is up to date: $(tr -d '\r' <"$E2E_WORK/run.log")"
  expect_tree "the folder after the second run of $what" "$after" "$(listing "$dir/inst")"

  if [ -d "$dir/other" ]; then
    before=$(listing "$dir/other")
    run_in "$dir/other"
    e2e_expect_eq "exit code in a folder that is neither, $what" 4 "$E2E_EXIT"
    expect_tree "the refused folder of $what" "$before" "$(listing "$dir/other")"
  fi
  done_pairs=$((done_pairs + 1))
done
