#!/usr/bin/env bash
# A package branded with `updpack build --icon` (one red icon in four sizes
# and depths, a PNG among them) runs to success, and its window shows the
# author's icon, which the program loads from the package's resources: the
# small icon in the caption is red. The program's own icon has no red.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin icon

CONVERT=$(e2e_find_convert)
payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'branded' >"$payload/readme.txt"
printf 'copy {temp}\\readme.txt {app}\\readme.txt\n' >"$E2E_WORK/update.txt"
/usr/bin/python3 "$(dirname "$0")/../stub/brand_icon.py" "$E2E_WORK/red.ico" FF0000 ||
  e2e_skip "cannot write the test icon"

# run_with_icon NAME: runs program/NAME.exe to success; RED is the number of
# red pixels in the caption left of the client area's first 24 columns,
# where the small icon is drawn. The window is looked at behind the success
# box, moved aside: a payload this small is unpacked far faster than any
# poll could catch the run in that phase.
run_with_icon() {
  local shot _ cx cy wx wy
  e2e_start_package "$program/$1.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$E2E_MSG_SUCCESS" 60000
  e2e_wintool move "$E2E_BOX_TITLE" 0 0 || e2e_fail "cannot move the success box"
  e2e_wintool paint "$E2E_FORM_TITLE" || e2e_fail "the window behind the box was not painted"
  read -r _ cx cy _ _ <<<"$(e2e_wintool rect "$E2E_FORM_TITLE" | grep '^client')"
  read -r _ wx wy _ _ <<<"$(e2e_wintool rect "$E2E_FORM_TITLE" | grep '^window')"
  shot=$(e2e_screenshot "$1") || e2e_fail "no screenshot"
  RED=$("$CONVERT" "$shot" -crop "$((cx - wx + 24))x$((cy - wy))+$wx+$wy" +repage txt:- |
    grep -c '#FF0000')
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "$1: exit code" 0 "$E2E_EXIT"
  e2e_expect_same_file "$payload/readme.txt" "$program/readme.txt"
  rm -f "$program/readme.txt"
}

for icon in red plain; do
  options=()
  [ "$icon" = red ] && options=(--icon "$E2E_WORK/red.ico")
  "$UPDPACK_TOOL" build --payload "$payload" --script "$E2E_WORK/update.txt" \
    --stub "$UPDPACK_STUB" "${options[@]}" -o "$program/$icon.exe" \
    >"$E2E_WORK/build.log" 2>&1 || e2e_fail "updpack build: $(cat "$E2E_WORK/build.log")"
  run_with_icon "$icon"
  e2e_log "$icon: $RED red pixels in the caption's icon"
  case $icon in
  red) [ "$RED" -ge 200 ] || e2e_fail "the caption does not show the author's icon ($RED red pixels)" ;;
  plain) e2e_expect_eq "red pixels in the program's own icon" 0 "$RED" ;;
  esac
done
