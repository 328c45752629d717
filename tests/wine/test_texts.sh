#!/usr/bin/env bash
# Texts and file properties set at build time: the product, version,
# company and copyright in the version resource (read back with a PE
# reader), the run's texts under Wine and natively, and verify's report. A
# package built without them keeps the shipped texts and properties. The
# same package cut short says so before its question, in its own texts.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin texts

PYTHON=/usr/bin/python3
"$PYTHON" -c 'import pefile' 2>/dev/null || e2e_skip "python3-pefile is not installed"

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'Orbit 2.0' >"$payload/readme.txt"
printf 'copy {temp}\\readme.txt {app}\\readme.txt\n' >"$E2E_WORK/update.txt"
cat >"$E2E_WORK/texts.txt" <<'EOF'
# The window's own title and a caption for every box.
title   = Орбита: обновление
caption = Орбита
success = Орбита 2.0 установлена.\nСпасибо!
EOF
build() { # PACKAGE.exe [OPTION ...]
  local out=$1
  shift
  "$UPDPACK_TOOL" build --payload "$payload" --script "$E2E_WORK/update.txt" \
    --stub "$UPDPACK_STUB" -o "$out" "$@" >"$E2E_WORK/build.log" 2>&1 ||
    e2e_fail "updpack build $*: $(cat "$E2E_WORK/build.log")"
}
build "$program/update.exe" --product Orbit --version 2.0.3 --company "Acme Ltd" \
  --copyright "© 2026 Acme Ltd" --texts "$E2E_WORK/texts.txt"
build "$E2E_WORK/plain.exe"

# properties FILE: the version resource's strings and numbers, a line each.
properties() {
  "$PYTHON" - "$1" <<'EOF'
import sys, pefile
pe = pefile.PE(sys.argv[1])
for info in pe.FileInfo[0]:
    if info.Key == b'StringFileInfo':
        for table in info.StringTable:
            for key, value in sorted(table.entries.items()):
                print(key.decode() + '=' + value.decode('utf-8'))
fixed = pe.VS_FIXEDFILEINFO[0]
print('numbers=%d.%d.%d.%d' % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF))
EOF
}
e2e_expect_eq "the package's file properties" "CompanyName=Acme Ltd
FileDescription=Обновление Orbit
FileVersion=2.0.3
LegalCopyright=© 2026 Acme Ltd
ProductName=Orbit
ProductVersion=2.0.3
numbers=2.0.3.0" "$(properties "$program/update.exe")"
e2e_expect_eq "a plain package's file properties" "CompanyName=
FileDescription=Обновление Quorix
FileVersion=1.1
LegalCopyright=
ProductName=Quorix
ProductVersion=1.1
numbers=1.1.0.0" "$(properties "$E2E_WORK/plain.exe")"

"$UPDPACK_TOOL" verify "$program/update.exe" >"$E2E_WORK/verify.txt" 2>&1 ||
  e2e_fail "verify: $(cat "$E2E_WORK/verify.txt")"
grep -q "product:     Orbit, version 2.0.3" "$E2E_WORK/verify.txt" &&
  grep -q "text caption: Орбита" "$E2E_WORK/verify.txt" ||
  e2e_fail "verify does not report the product and texts: $(cat "$E2E_WORK/verify.txt")"

# Natively: the package's own texts.
confirm=$(e2e_crlf "Сейчас будет произведено обновление Orbit до версии 2.0.3." "Продолжить?")
success=$(e2e_crlf "Орбита 2.0 установлена." "Спасибо!")
mkdir -p "$E2E_WORK/native/tmp"
cp "$program/update.exe" "$E2E_WORK/native/update.exe"
TMP="$E2E_WORK/native/tmp" "$UPDPACK_TOOL" run "$E2E_WORK/native/update.exe" --yes \
  </dev/null >"$E2E_WORK/native.log" 2>&1 || e2e_fail "native run: $(cat "$E2E_WORK/native.log")"
grep -q "Орбита \[question\]: Сейчас будет произведено обновление Orbit до версии 2.0.3." \
  "$E2E_WORK/native.log" || e2e_fail "the native run's confirmation: $(cat "$E2E_WORK/native.log")"

# Under Wine: the boxes' caption, the texts and the window's title.
e2e_start_package "$program/update.exe"
e2e_wintool wait-text "Орбита" "$confirm" 20000 || e2e_fail "no confirmation: $confirm"
e2e_wintool press "Орбита" Yes || e2e_fail "cannot press Yes"
e2e_wintool wait-text "Орбита" "$success" 60000 || e2e_fail "no success message: $success"
# The progress window, behind the success box, under its own title.
e2e_expect_eq "the status line of the window titled 'Орбита: обновление'" \
  "$E2E_STATUS_INSTALL" "$(e2e_texts "Орбита: обновление" | sed -n 1p)"
e2e_wintool press "Орбита" OK || e2e_fail "cannot press OK"
e2e_wait_package 20
e2e_expect_eq "exit code" 0 "$E2E_EXIT"
e2e_expect_same_file "$payload/readme.txt" "$program/readme.txt"

# Cut short, as a download that broke off: the package's own caption, the
# critical-error message with both sizes and the damaged sentence, before
# any question; nothing is made.
size=$(stat -c %s "$program/update.exe")
head -c $((size - 10)) "$program/update.exe" >"$program/cut.exe"
e2e_clear_tmp
e2e_start_package "$program/cut.exe"
cut_message="$E2E_MSG_CRITICAL"$'\r\n'"Размер пакета обновления $((size - 10)) байт вместо $size байт."$'\r\n'"$E2E_MSG_DAMAGED"
e2e_wintool wait-text "Орбита" "$cut_message" 20000 || e2e_fail "no damaged-download message: $cut_message"
e2e_screenshot cut >/dev/null
e2e_expect_eq "the cut package's buttons" "OK*" "$(e2e_wintool buttons "Орбита")"
e2e_wintool press "Орбита" OK || e2e_fail "cannot press OK"
e2e_wait_package 20
e2e_expect_eq "exit code of a cut package" 1 "$E2E_EXIT"
[ ! -e "$E2E_TEMP_FOLDER" ] && [ ! -e "$E2E_PACK_FILE" ] ||
  e2e_fail "a cut package made its temporary folder or pack file"
