#!/usr/bin/env bash
# The progress window as the user sees it, at 96 DPI: a client area of
# 369 x 68 pixels, centred on the screen, the picture at 16,16, the status
# text from 64,16 and the progress text from 64,32. Checked on screenshots,
# which are kept as artefacts.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin screenshot

CONVERT=$(e2e_find_convert)

program="$E2E_WORK/program"
mkdir -p "$program"
archive="$E2E_WORK/update.pack1"
e2e_overlapping_archive "$archive" $((32 * 1048576)) 10 $((64 * 1048576))
# Entries that share bytes: a package of the base format (one of ours
# refuses them).
e2e_join_package "$archive" "$program/update.exe"

# The run is parked in the abort question, which is moved aside so that the
# form, still painted by the question's message loop, shows whole.
park_and_shoot() { # STEP
  e2e_ask_abort "$1-question"
  e2e_wintool move "$E2E_BOX_TITLE" 0 0 || e2e_fail "cannot move the question"
  e2e_wintool paint "$E2E_FORM_TITLE" || e2e_fail "the form behind the question was not painted"
  texts=$(e2e_form_state)
  shot=$(e2e_screenshot "$1") || e2e_fail "no screenshot"
}

e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes "$E2E_STATUS_PREPARE"
park_and_shoot progress
geometry=$(e2e_wintool rect "$E2E_FORM_TITLE")
e2e_log "window: ${geometry//$'\n'/, }; lines: $texts"
case "$texts" in
"$E2E_STATUS_PREPARE|Выполнено "*"%|") ;;
*) e2e_fail "unexpected lines in the progress window: $texts" ;;
esac

read -r _ cx cy cw ch <<<"$(printf '%s\n' "$geometry" | grep '^client')"
read -r _ wx wy ww wh <<<"$(printf '%s\n' "$geometry" | grep '^window')"
dpi=$(printf '%s\n' "$geometry" | sed -n 's/^dpi //p')
e2e_expect_eq "the display's DPI" 96 "$dpi"
e2e_expect_eq "the client area (width height)" "369 68" "$cw $ch"
# A fixed frame with the close button only.
e2e_expect_eq "the window's frame" "caption sysmenu" "$(e2e_wintool style "$E2E_FORM_TITLE")"

# Centred on the 1024 x 768 screen, to the pixel or so.
dx=$((wx + ww / 2 - 512))
dy=$((wy + wh / 2 - 384))
[ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] ||
  e2e_fail "the window is not centred: $ww x $wh at $wx,$wy"

# The client area of the last screenshot, kept as an artefact.
crop_client() { # STEP
  client="$E2E_ARTIFACTS/$E2E_TEST-$1-client.png"
  "$CONVERT" "$shot" -crop "${cw}x${ch}+${cx}+${cy}" +repage "$client" ||
    e2e_fail "cannot crop the client area"
}
crop_client progress

# Bounding box "left top right bottom" of the dark pixels of a region of the
# client area, in client coordinates; empty when it has none.
dark_box() { # LEFT TOP WIDTH HEIGHT
  local box
  box=$("$CONVERT" "$client" -crop "$3x$4+$1+$2" +repage -colorspace Gray \
    -threshold 50% -negate -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
  # %@ is WxH+X+Y of the non-border pixels; an all-black region gives 0x0.
  local w h x y
  IFS='x+' read -r w h x y <<<"$box"
  [ "$w" -gt 0 ] && [ "$h" -gt 0 ] && [ "$box" != "$(($3 + 2))x$(($4 + 2))+0+0" ] || return 0
  printf '%d %d %d %d\n' $(($1 + x - 1)) $(($2 + y - 1)) $(($1 + x - 1 + w - 1)) $(($2 + y - 1 + h - 1))
}

# Text of a line: starts within a few pixels right of and below the label's
# corner and stays inside the label.
check_line() { # NAME LABEL_TOP BAND_TOP BAND_HEIGHT
  local box left top right bottom
  box=$(dark_box 50 "$3" $((cw - 50)) "$4")
  [ -n "$box" ] || e2e_fail "$1: no text in the screenshot"
  read -r left top right bottom <<<"$box"
  e2e_log "$1 text: x $left..$right, y $top..$bottom"
  [ "$left" -ge 64 ] && [ "$left" -le 68 ] || e2e_fail "$1 text starts at x=$left, not near 64"
  [ "$top" -ge "$2" ] && [ "$top" -le $(($2 + 7)) ] || e2e_fail "$1 text starts at y=$top, not near $2"
  [ "$right" -le $((64 + 297)) ] || e2e_fail "$1 text runs past its label: x=$right"
}
check_line status 16 10 22
check_line progress 32 32 $((ch - 32))

# The picture: drawn at 16,16 (not a blank square) and nothing left of it.
colours=$("$CONVERT" "$client" -crop 32x32+16+16 +repage -format '%k' info:)
[ "$colours" -gt 1 ] || e2e_fail "the picture at 16,16 is blank"
margin=$("$CONVERT" "$client" -crop 14x60+0+4 +repage -format '%k' info:)
[ "$margin" -eq 1 ] || e2e_fail "something is drawn left of the picture"

# The same during the extraction: the entry name in the progress line.
e2e_press_and_suspend No part1.bin
park_and_shoot unpacking
e2e_expect_eq "lines during the extraction" "$E2E_STATUS_UNPACK|part1.bin|" "$texts"
crop_client unpacking
check_line status 16 10 22
check_line progress 32 32 $((ch - 32))

e2e_wintool press "$E2E_BOX_TITLE" Yes || e2e_fail "cannot press Yes"
e2e_wait_package 20
e2e_expect_eq "exit code after the abort" 3 "$E2E_EXIT"
e2e_log "screenshots: $E2E_ARTIFACTS/$E2E_TEST-*.png"
