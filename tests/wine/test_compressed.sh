#!/usr/bin/env bash
# A compressed package under Wine, its stream large enough to be made in two
# parts at once: it installs to success; a byte flipped in its stream or in
# its stored bytes, a stream cut short that the manifest declares so, or the
# package cut short, is refused with the damaged sentence and nothing is
# installed, as the native run ends with the same exit code and text.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin compressed

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
seq 1 700000 >"$payload/numbers.txt" # 4.8 MB: a stream in two parts
e2e_data "$payload/app.dll" 100000
{
  e2e_script_record 0 '\000\\numbers.txt' '\001\\numbers.txt'
  e2e_script_record 0 '\000\\app.dll' '\001\\app.dll'
} >"$payload/script"
e2e_make_package "$payload" "$E2E_WORK/good.exe" --level 6
grep -qa restart "$E2E_WORK/good.exe" || e2e_fail "the stream is in one part"

cp "$E2E_WORK/good.exe" "$program/update.exe"
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code after success" 0
e2e_expect_same_file "$payload/numbers.txt" "$program/numbers.txt"
e2e_expect_same_file "$payload/app.dll" "$program/app.dll"

# A cut package is told by its length before the question; a damaged
# stream once the carve-out has read it.
refused() { # NAME DESCRIPTION-PATTERN [ask]
  rm -rf "$program" && mkdir -p "$program"
  cp "$E2E_WORK/$1.exe" "$program/update.exe"
  e2e_clear_tmp
  e2e_start_package "$program/update.exe"
  [ "${3:-}" != ask ] || e2e_answer_confirmation Yes
  e2e_expect_critical_box
  # shellcheck disable=SC2053
  [[ $E2E_BOX_TEXT == "$E2E_MSG_CRITICAL"$'\r\n'$2$'\r\n'"$E2E_MSG_DAMAGED" ]] ||
    e2e_fail "$1: the message names the damage: $E2E_BOX_TEXT"
  local text=${E2E_BOX_TEXT//$'\r'/}
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "$1: exit code" 1 "$E2E_EXIT"
  e2e_expect_eq "$1: nothing installed" "update.exe" "$(ls -A "$program")"
  # Natively: the same exit code and the same text in its last box.
  local native="$E2E_WORK/native"
  rm -rf "$native" "$native.tmp" && mkdir -p "$native" "$native.tmp"
  cp "$E2E_WORK/$1.exe" "$native/update.exe"
  TMP="$native.tmp" "$UPDPACK_TOOL" run "$native/update.exe" --yes \
    >/dev/null 2>"$native.log" </dev/null
  e2e_expect_eq "$1: native exit code" 1 "$?"
  e2e_expect_eq "$1: native text" "$text" "$(awk '/^Dravell \[[a-z]*\]: /{text=sep=""; sub(/^Dravell \[[a-z]*\]: /, "")} {text=text sep $0; sep="\n"} END{printf "%s", text}' "$native.log")"
  e2e_expect_eq "$1: nothing installed natively" "update.exe" "$(ls -A "$native")"
}

start=$(tail -c 4 "$E2E_WORK/good.exe" | od -An -tu4 | tr -d ' ')
cp "$E2E_WORK/good.exe" "$E2E_WORK/flipped.exe"
byte=$(od -An -tu1 -j $((start + 99)) -N 1 "$E2E_WORK/good.exe" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 0x40)))" |
  dd of="$E2E_WORK/flipped.exe" bs=1 seek=$((start + 99)) conv=notrunc 2>/dev/null
refused flipped "Архив пакета обновления поврежден." ask
# The stream decodes, and the stored bytes of app.dll after it differ from
# the CRC-32; the stream's last 5000 bytes gone, the manifest declaring it.
relayout() { python3 "$(dirname "$0")/../support/relayout.py" "$@"; }
at=$((start - 1 + $(relayout "$E2E_WORK/good.exe" stream) + 500))
cp "$E2E_WORK/good.exe" "$E2E_WORK/stored.exe"
byte=$(od -An -tu1 -j $at -N 1 "$E2E_WORK/good.exe" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 0x40)))" |
  dd of="$E2E_WORK/stored.exe" bs=1 seek=$at conv=notrunc 2>/dev/null
refused stored "Архив пакета обновления поврежден." ask
relayout "$E2E_WORK/good.exe" cut=5000 >"$E2E_WORK/truncated.exe"
refused truncated "Архив пакета обновления поврежден." ask
size=$(stat -c %s "$E2E_WORK/good.exe")
head -c $((size - 5000)) "$E2E_WORK/good.exe" >"$E2E_WORK/cut.exe"
refused cut "Размер пакета обновления *"
e2e_log "compressed: installed, and refused when flipped, truncated or cut"
