#!/usr/bin/env bash
# Fixed records on folders, natively (`updpack run --yes`) and under Wine
# (the Windows program), in a package of the base format and in one of
# ours: both must end alike, with the same exit code, the same tree (read-
# only marks and the folder's own mode included) and the same message.
# A folder marked read-only (mode 0555) stops no deletion, copy, folder
# made or removed inside it, and keeps its mark; the base format deletes
# no read-only file and does not remove the folder itself, a package of
# ours does both. Paths with dot parts: "sub\." is "sub", "sub\..\x" is
# "x", and a folder "..." on the way is read as "..", which no call takes:
# a bad file name, but a folder the base format looks for by its path to
# remove it is not found. A last name of dots and blanks alone goes:
# "sub\..." and "sub\. ." name sub, which a package of ours removes; the
# base format lists what it holds through that path and fails. "{app}\..."
# names the program folder, which one of ours cannot move into its own
# backup; "{app}\...." too, where the base format lists nothing and
# cannot remove the folder the program runs in. A copy onto
# "sub\..\~updpack.new", the name one of ours writes a copy under beside
# its target, moves that file onto itself, which Windows takes for done. A
# deletion of "sub\a.txt \." lists a.txt and fails at "sub\a.txt \a.txt",
# a path not found. A folder made as "sub \" is "sub ", beside sub, and a
# copy into "sub \" without it finds no folder (a package of ours before it
# changes anything); "rmdir sub \" is sub, which the base format lists
# through "sub \" and finds not empty, and "mkdir e ." makes e. A copy into
# a folder a record before removes fails as the install would, and so
# does a mkdir over a file a record before copies ("X." is x); a file
# deleted twice fails the base format's second deletion, where one of ours
# finds it done.
# A package of ours that fails leaves the product as it was, names as
# they were in their case too ("SUB", "SUB.", "SUB\..." and "SUB.\..."
# naming sub put back as sub), and one that succeeds leaves what the base
# format leaves (a file replaced keeps its name's case; a deletion of the
# file a copy onto "x.txt ." makes deletes x.txt, and so does "x*.txt";
# a copy from "n.txt." reads the n.txt a copy before makes; a deletion of
# x.txt deletes the file a copy onto ".\x.txt" makes, and a copy into "d.\"
# goes into the d a record before makes; a file replaced or a folder
# removed through "nosuch\..\" goes into the program folder's backup
# area, which that path reads as). A device name in a
# folder that exists ("ro\nul.txt") is a file no deletion takes: a late
# failure. A copy from a blank source fails at a path not found, with no
# name before the system's text; a removal through "s*b\x*\" fails at
# the bad name, named without the separator that ends it.
# A failure's message ends in the system's text and code that Windows
# gives it, natively too: a file to copy that is missing, a folder made in
# a missing one or over a file, a copy onto a read-only file or the running
# package, its deletion, a name with a wildcard, a path that ends in a
# separator or goes through a file, a folder not empty, a device; a copy
# onto a folder gets none. A deletion of a folder as a file, and a removal
# of a file as a folder, fail or refuse alike.
# Root, who runs these tests, is stopped by no mode on either side; the
# native tests (as_windows.sh, fs_test) run such rows as a user too.
# The 32,767-unit bound of a \\?\ path is not tried here: Wine reaches its
# files through Unix paths and stops at Linux's PATH_MAX (4,096 bytes)
# long before it (test_long_paths.sh), where Windows goes on.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin names_folders

payload="$E2E_WORK/payload"
mkdir -p "$payload"
printf 'one' >"$payload/one.txt"

# The product folder of every row: ro (read-only) holding a.txt and
# sub\x.txt, sub holding a.txt, and a read-only locked.txt.
fresh_program() { # FOLDER PACKAGE
  [ ! -d "$1" ] || chmod -R u+w "$1"
  rm -rf "$1"
  mkdir -p "$1/ro/sub" "$1/sub"
  printf 'ro a' >"$1/ro/a.txt"
  printf 'ro x' >"$1/ro/sub/x.txt"
  printf 'sub a' >"$1/sub/a.txt"
  printf 'locked' >"$1/locked.txt"
  chmod 444 "$1/locked.txt"
  chmod 555 "$1/ro"
  cp "$2" "$1/update.exe"
}

tree_of() { # FOLDER
  (cd "$1" && find . -mindepth 1 ! -name update.exe -printf '%p %y %m %s\n' | LC_ALL=C sort)
}

# TEXT with the program and temporary folders of either side written alike.
alike() { # PROGRAM TEMP <TEXT
  local program temp
  program=$(printf '%s' "$1" | sed 's/[][\\.*^$|/]/\\&/g')
  temp=$(printf '%s' "$2" | sed 's/[][\\.*^$|/]/\\&/g')
  tr -d '\r' | sed -e "s|$program|{app}|g" -e "s|$temp|{temp}|g"
}

native_run() { # PACKAGE KIND
  local folder="$E2E_WORK/native"
  rm -rf "$folder/tmp" && mkdir -p "$folder/tmp"
  fresh_program "$folder/program" "$1"
  rm -f "$folder/run.log"
  TMP="$folder/tmp" "$UPDPACK_TOOL" run "$folder/program/update.exe" --yes \
    --log "$folder/run.log" >"$folder/stdout" 2>"$folder/stderr"
  native_exit=$?
  native_tree=$(tree_of "$folder/program")
  if [ "$2" = ours ]; then
    native_text=$(sed -n '/^checked: script/,$p' "$folder/run.log" |
      alike "$folder/program" "$folder/tmp")
  else
    native_text=$(awk '/^Dravell \[[a-z]*\]: /{text=""; sub(/^Dravell \[[a-z]*\]: /, "")} {text=text $0 "\n"} END{printf "%s", text}' \
      "$folder/stderr" | alike "$folder/program" "$folder/tmp")
  fi
}

wine_run() { # PACKAGE KIND
  local folder="$E2E_WORK/wine" program
  fresh_program "$folder/program" "$1"
  program=$(e2e_windows_path "$folder/program")
  e2e_run_to_end "$folder/program/update.exe" "$2" "$folder/run.log"
  if [ "$2" = ours ]; then
    wine_text=$(sed -n '/^checked: script/,$p' "$folder/run.log" | tr -d '\r' |
      alike "$program" "$E2E_TMP_WINDOWS")
  else
    wine_text=$(printf '%s\n' "$E2E_BOX_TEXT" | alike "$program" "$E2E_TMP_WINDOWS")
  fi
  wine_exit=$E2E_EXIT
  wine_tree=$(tree_of "$folder/program")
}

# Records (OP|SOURCE|TARGET, printf formats, ";" between them; \000 is
# {temp}, \001 {app}) and the exit code both sides must give in the base
# format and in a package of ours.
fresh_program "$E2E_WORK/fresh" /dev/null
fresh_tree=$(tree_of "$E2E_WORK/fresh")
mismatches=0
while IFS='#' read -r records base_rc ours_rc; do
  [ -n "$records" ] || continue
  rm -f "$payload/script"
  IFS=';' read -ra list <<<"$records"
  for record in "${list[@]}"; do
    IFS='|' read -r op source target <<<"$record"
    e2e_script_record "$op" "$source" "$target" >>"$payload/script"
  done
  for kind in base ours; do
    rc=$base_rc
    [ "$kind" = base ] || rc=$ours_rc
    package="$E2E_WORK/update_$kind.exe"
    if [ "$kind" = ours ]; then
      e2e_make_package "$payload" "$package" --store --unchecked
    else
      e2e_make_base_package "$payload" "$package"
    fi
    native_run "$package" "$kind"
    wine_run "$package" "$kind"
    if [ "$native_exit" != "$rc" ] || [ "$wine_exit" != "$rc" ] ||
      [ "$native_tree" != "$wine_tree" ] || [ "$native_text" != "$wine_text" ]; then
      mismatches=$((mismatches + 1))
      e2e_log "MISMATCH in $kind package, $records (exit $rc wanted)"
      e2e_log "--- native: exit $native_exit"$'\n'"$native_tree"$'\n'"$native_text"
      e2e_log "--- Wine: exit $wine_exit"$'\n'"$wine_tree"$'\n'"$wine_text"
    fi
    if [ "$kind" = base ]; then
      base_tree=$native_tree
    elif { [ "$rc" = 1 ] && [ "$native_tree" != "$fresh_tree" ]; } ||
      { [ "$rc$base_rc" = 00 ] && [ "$native_tree" != "$base_tree" ]; }; then
      mismatches=$((mismatches + 1))
      e2e_log "a package of ours failing or not as the base format, $records"$'\n'"$native_tree"
    fi
  done
done <<'ROWS'
1||\001\\ro\\a.txt;0|\000\\one.txt|\001\\ro\\b.txt;2||\001\\ro\\new;3||\001\\ro\\sub#0#0
1||\001\\ro\\a.txt;0|\000\\one.txt|\001\\ro\\b.txt;3||\001\\ro\\sub;1||\001\\locked.txt#1#0
1||\001\\ro\\a.txt;3||\001\\ro\\sub;3||\001\\ro#1#0
2||\001\\sub\\.#1#0
2||\001\\new\\.#0#4
3||\001\\sub\\.#1#1
1||\001\\sub\\.\\a.txt#0#0
1||\001\\sub\\..\\sub\\a.txt#0#0
0|\000\\one.txt|\001\\sub\\.#1#4
0|\000\\one.txt|\001\\sub\\.\\b.txt#0#0
0|\000\\one.txt|\001\\sub\\..\\b.txt#0#0
0|\000\\one.txt|\001\\...\\y.txt#1#1
0|\000\\...\\one.txt|\001\\y.txt#1#1
2||\001\\sub\\...\\new#1#1
3||\001\\...\\sub#1#1
1||\001\\sub\\...\\*.txt#1#1
3||\001\\sub\\...#1#0
3||\001\\...#1#1
3||\001\\....#1#1
3||\001\\sub\\. .#1#0
0|\000\\one.txt|\001\\sub\\..\\~updpack.new#0#0
1||\001\\sub\\a.txt \\.#1#1
2||\001\\sub \\;0|\000\\one.txt|\001\\sub \\b.txt#0#0
0|\000\\one.txt|\001\\sub \\b.txt#1#4
3||\001\\sub \\#1#0
2||\001\\e;3||\001\\e \\#0#0
2||\001\\e .;0|\000\\one.txt|\001\\e\\b.txt#0#0
3||\001\\sub;0|\000\\one.txt|\001\\sub\\b.txt#1#1
3||\001\\SUB;1||\001\\ro\\nul.txt#1#1
3||\001\\SUB.;1||\001\\ro\\nul.txt#1#1
3||\001\\SUB\\...;1||\001\\ro\\nul.txt#1#1
3||\001\\SUB.\\...;1||\001\\ro\\nul.txt#1#1
0|\000\\one.txt|\001\\SUB\\A.TXT;1||\001\\LOCKED.TXT;1||\001\\ro\\nul.txt#1#1
0|\000\\one.txt|\001\\SUB\\A.TXT#0#0
0|\000\\one.txt|\001\\x;2||\001\\X.#1#1
1||\001\\sub\\a.txt;1||\001\\SUB\\A.TXT#1#0
0|\000\\one.txt|\001\\x.txt .;1||\001\\x.txt#0#0
0|\000\\one.txt|\001\\sub\\x.txt.;1||\001\\sub\\x*.txt#0#0
0|\000\\one.txt|\001\\n.txt;0|\001\\n.txt.|\001\\m.txt#0#0
0|\000\\missing.txt|\001\\b.txt#1#1
2||\001\\nosuch\\new#1#4
0|\000\\one.txt|\001\\locked.txt#1#0
0|\000\\one.txt|\001\\update.exe#1#5
1||\001\\update.exe#1#5
1||\001\\sub#1#4
3||\001\\locked.txt#1#4
2||\001\\a*b#1#1
0|\001\\a*b|\001\\x.txt#1#1
0|\000\\one.txt|\001\\new\\#1#1
0|\000\\one.txt|\001\\sub\\a.txt\\x#1#4
0|\000\\one.txt|\001\\.\\x.txt;1||\001\\x.txt#0#0
2||\001\\d;0|\000\\one.txt|\001\\d.\\b.txt#0#0
0|\000\\one.txt|\001\\x.txt;0|\000\\one.txt|\001\\nosuch\\..\\x.txt#0#0
3||\001\\nosuch\\..\\sub#0#0
0||\001\\out.txt#1#1
3||\001\\s*b\\x*\\#1#1
ROWS
[ "$mismatches" = 0 ] || e2e_fail "$mismatches rows end otherwise natively than under Wine"
