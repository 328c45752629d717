#!/usr/bin/env bash
# build --lang en: the version resource follows the package (English
# description, language 0x0409 in the string table, Translation and
# resource tree, numbers 4.3.0.0 from "4.3 beta 2"; diff --build the same),
# and the run under Wine shows English boxes and window.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin branding

PYTHON=/usr/bin/python3
"$PYTHON" -c 'import pefile' 2>/dev/null || e2e_skip "python3-pefile is not installed"

mkdir -p "$E2E_WORK/v1" "$E2E_WORK/v2" "$E2E_WORK/program"
printf 'old' >"$E2E_WORK/v1/app.txt"
printf 'new' >"$E2E_WORK/v2/app.txt"
"$UPDPACK_TOOL" diff "$E2E_WORK/v1" "$E2E_WORK/v2" --build "$E2E_WORK/program/update.exe" \
  --stub "$UPDPACK_STUB" --lang en --product Orbit --version "4.3 beta 2" \
  >"$E2E_WORK/build.log" 2>&1 || e2e_fail "diff --build: $(cat "$E2E_WORK/build.log")"
cp "$E2E_WORK/v1/app.txt" "$E2E_WORK/program/"

properties() { # FILE
  "$PYTHON" - "$1" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
for info in pe.FileInfo[0]:
    if info.Key == b'StringFileInfo':
        for table in info.StringTable:
            print('table=' + table.LangID.decode())
            print('description=' + table.entries[b'FileDescription'].decode())
            print('version=' + table.entries[b'FileVersion'].decode())
    if info.Key == b'VarFileInfo':
        for var in info.Var:
            print('translation=' + ' '.join(var.entry.values()))
fixed = pe.VS_FIXEDFILEINFO[0]
print('numbers=%d.%d.%d.%d' % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                               fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF))
for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if entry.id == 16:
        print('language=' + hex(entry.directory.entries[0].directory.entries[0].id))
PY
}
e2e_expect_eq "the English package's file properties" "table=040904B0
description=Orbit update
version=4.3 beta 2
translation=0x0409 0x04b0
numbers=4.3.0.0
language=0x409" "$(properties "$E2E_WORK/program/update.exe")"

# Under Wine: every box and the window in English.
e2e_start_package "$E2E_WORK/program/update.exe"
confirm=$(e2e_crlf "The update of Orbit to version 4.3 beta 2 will now be installed." "Continue?")
e2e_wintool wait-text "Orbit" "$confirm" 20000 || e2e_fail "no English confirmation"
e2e_wintool press "Orbit" Yes || e2e_fail "cannot press Yes"
e2e_wintool wait-text "Orbit" "The update to version 4.3 beta 2 was installed successfully!" 60000 ||
  e2e_fail "no English success message"
e2e_wintool press "Orbit" OK || e2e_fail "cannot press OK"
e2e_wait_package 20
e2e_expect_eq "exit code" 0 "$E2E_EXIT"
e2e_expect_same_file "$E2E_WORK/v2/app.txt" "$E2E_WORK/program/app.txt"
