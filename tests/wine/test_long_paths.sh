#!/usr/bin/env bash
# A file at a path of 200 bytes below the program folder, created, replaced
# and deleted by one package whose script goes into the long script entry,
# in a program folder whose own path is over 300 characters: the full paths
# pass MAX_PATH. The files installed keep the times they were built with.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin long_paths

deep=$(printf 'x%.0s' {1..48})
dir="docs/$deep/$deep/$deep"
name=$(printf 'n%.0s' $(seq $((200 - ${#dir} - 1 - 4)))).txt
[ $((${#dir} + 1 + ${#name})) = 200 ] || e2e_fail "the path is not 200 bytes"
v1="$E2E_WORK/v1" v2="$E2E_WORK/v2"
program="$E2E_WORK/p/$(printf 'f%.0s' {1..100})/$(printf 'g%.0s' {1..100})/$(printf 'h%.0s' {1..100})"
[ ${#program} -gt 300 ] || e2e_fail "the program folder's path is not over 300 characters"
mkdir -p "$v1/$dir" "$v2/$dir" "$v2/new/$deep/$deep/$deep"
printf 'old' >"$v1/$dir/$name"
printf 'gone' >"$v1/$dir/${name%.txt}.old"
printf 'new' >"$v2/$dir/$name"
printf 'made' >"$v2/new/$deep/$deep/$deep/$name"
touch -d @1600000000.123456700 "$v2/$dir/$name"
touch -d @1500000000 "$v2/new/$deep/$deep/$deep/$name"
"$UPDPACK_TOOL" diff "$v1" "$v2" --build "$E2E_WORK/update.exe" --stub "$UPDPACK_STUB" \
  >"$E2E_WORK/build.log" 2>&1 || e2e_fail "diff --build: $(cat "$E2E_WORK/build.log")"
mkdir -p "$(dirname "$program")" && cp -r "$v1" "$program" && cp "$E2E_WORK/update.exe" "$program/"

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code" 0
rm "$program/update.exe"
diff -r "$program" "$v2" >"$E2E_WORK/diff.log" 2>&1 ||
  e2e_fail "the long paths were not installed: $(cat "$E2E_WORK/diff.log")"
for f in "$dir/$name" "new/$deep/$deep/$deep/$name"; do
  e2e_expect_eq "the time of $f" "$(stat -c %.9Y "$v2/$f")" "$(stat -c %.9Y "$program/$f")"
done

# A program folder some 3,000 characters deep, given with /D= to a silent
# run: the Windows program reaches it through \\?\ paths, far past
# MAX_PATH (and below Linux's PATH_MAX, which Wine itself hits).
n250=$(printf 'e%.0s' {1..250})
far="$E2E_WORK/far"
for _ in {1..12}; do far="$far/$n250"; done
mkdir -p "$far" && cp -r "$v1/." "$far/"
e2e_start_package "$E2E_WORK/update.exe" /S "/LOG=$(e2e_windows_path "$E2E_WORK/far.log")" \
  "/D=$(e2e_windows_path "$far")"
e2e_wait_package 60
e2e_expect_eq "exit code of a run in a folder of ${#far} characters" 0 "$E2E_EXIT"
diff -r "$far" "$v2" >"$E2E_WORK/diff.log" 2>&1 ||
  e2e_fail "the run in a folder of ${#far} characters: $(head -c 300 "$E2E_WORK/diff.log")"
