#!/usr/bin/env bash
# A package signed with Authenticode (a self-signed code-signing
# certificate, osslsigncode) verifies, runs natively and under Wine to the
# success message; signed and then cut, or with its security directory
# pointing elsewhere, it is read as an unsigned file and fails. A package
# with one byte changed in an entry ends with the critical-error box and
# leaves the program folder as it was. A package of the base format signed
# installs too, whatever its length.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin signed

for tool in openssl osslsigncode; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
native="$E2E_WORK/native"
mkdir -p "$payload" "$program" "$native"
e2e_data "$payload/app.dll" 300000
printf 'Quorix 1.1\r\n' >"$payload/readme.txt"
cat >"$E2E_WORK/update.txt" <<'EOF'
copy {temp}\app.dll    {app}\app.dll
copy {temp}\readme.txt {app}\readme.txt
delete {app}\old.txt
EOF
# Stored: the damage below is put into app.dll's bytes in place.
"$UPDPACK_TOOL" build --payload "$payload" --script "$E2E_WORK/update.txt" \
  --stub "$UPDPACK_STUB" --store -o "$E2E_WORK/unsigned.exe" >"$E2E_WORK/build.log" 2>&1 ||
  e2e_fail "updpack build failed: $(cat "$E2E_WORK/build.log")"

# A self-signed code-signing certificate, made here.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=updpack test" \
  -addext "extendedKeyUsage=codeSigning" -keyout "$E2E_WORK/key.pem" \
  -out "$E2E_WORK/cert.pem" >"$E2E_WORK/openssl.log" 2>&1 ||
  e2e_fail "openssl: $(cat "$E2E_WORK/openssl.log")"
osslsigncode sign -certs "$E2E_WORK/cert.pem" -key "$E2E_WORK/key.pem" \
  -in "$E2E_WORK/unsigned.exe" -out "$program/update.exe" >"$E2E_WORK/sign.log" 2>&1 ||
  e2e_fail "osslsigncode sign: $(cat "$E2E_WORK/sign.log")"
osslsigncode verify -CAfile "$E2E_WORK/cert.pem" "$program/update.exe" \
  >"$E2E_WORK/verify.log" 2>&1 || e2e_fail "osslsigncode verify: $(cat "$E2E_WORK/verify.log")"
e2e_expect_eq "the package is a multiple of 8 bytes" 0 \
  $(($(stat -c %s "$E2E_WORK/unsigned.exe") % 8))

# updpack sees the table and the package before it.
"$UPDPACK_TOOL" verify "$program/update.exe" >"$E2E_WORK/report.txt" 2>&1 ||
  e2e_fail "updpack verify of the signed package: $(cat "$E2E_WORK/report.txt")"
grep -q "certificate table present" "$E2E_WORK/report.txt" ||
  e2e_fail "verify does not report the certificate table"

# natively: run PACKAGE.exe in a folder of its own; exit status in RC.
native_run() {
  rm -rf "$native" && mkdir -p "$native/tmp"
  printf 'old' >"$native/old.txt"
  cp "$1" "$native/update.exe"
  TMP="$native/tmp" "$UPDPACK_TOOL" run "$native/update.exe" --yes \
    >"$E2E_WORK/native.log" 2>&1 </dev/null
  RC=$?
}
native_run "$program/update.exe"
e2e_expect_eq "native run of the signed package" 0 "$RC"
e2e_expect_same_file "$payload/app.dll" "$native/app.dll"

# Signed, then cut: the table no longer ends the file.
head -c -100 "$program/update.exe" >"$E2E_WORK/cut.exe"
native_run "$E2E_WORK/cut.exe"
e2e_expect_eq "native run of a signed package cut short" 1 "$RC"
grep -q "$E2E_MSG_DAMAGED" "$E2E_WORK/native.log" ||
  e2e_fail "the cut package does not say it is damaged: $(cat "$E2E_WORK/native.log")"
# A table after the directory's: the package is read as an unsigned file.
cat "$program/update.exe" "$E2E_WORK/cert.pem" >"$E2E_WORK/longer.exe"
native_run "$E2E_WORK/longer.exe"
e2e_expect_eq "native run with a table that does not end the file" 1 "$RC"

# Under Wine, the signed package to the success message.
printf 'old' >"$program/old.txt"
e2e_start_package "$program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code of the signed package" 0
e2e_expect_same_file "$payload/app.dll" "$program/app.dll"
[ ! -e "$program/old.txt" ] || e2e_fail "the script did not run"

# One byte changed inside app.dll: the critical error, and nothing installed.
damaged="$E2E_WORK/damaged"
mkdir -p "$damaged"
cp "$E2E_WORK/unsigned.exe" "$damaged/update.exe"
at=$(($(grep -a -b -o -F 'updpack sums 1' "$damaged/update.exe" | tail -1 | cut -d: -f1) - 100000))
# Flipped, not overwritten: app.dll is random, and a byte written over it
# is the one already there once in 256 runs.
byte=$(od -An -tu1 -j "$at" -N 1 "$damaged/update.exe" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 0x40)))" |
  dd of="$damaged/update.exe" bs=1 seek="$at" conv=notrunc 2>/dev/null
cmp -s "$E2E_WORK/unsigned.exe" "$damaged/update.exe" && e2e_fail "the byte was not changed"
printf 'old' >"$damaged/old.txt"
e2e_clear_tmp
e2e_start_package "$damaged/update.exe"
e2e_answer_confirmation Yes
e2e_expect_critical_box
case "$E2E_BOX_TEXT" in
*"$E2E_MSG_DAMAGED") ;;
*) e2e_fail "the critical error does not say the package is damaged: $E2E_BOX_TEXT" ;;
esac
e2e_close_box "exit code of the damaged package" 1
e2e_expect_eq "the program folder of the damaged package" "old.txt|update.exe" \
  "$(ls -A "$damaged" | tr '\n' '|' | sed 's/|$//')"

# A package of the base format, 3 bytes past a multiple of 8: the signing
# tool puts 5 zero bytes before its table, and the trailer before them
# still finds the archive, natively and under Wine.
plain="$E2E_WORK/plain"
mkdir -p "$plain/payload" "$plain/program"
printf 'Quorix 1.1\r\n' >"$plain/payload/readme.txt"
e2e_script_record 0 '\000\\readme.txt' '\001\\readme.txt' >"$plain/payload/script"
for pad in 0 1 2 3 4 5 6 7; do
  printf '%*s' "$pad" '' >"$plain/payload/pad.txt"
  e2e_make_base_package "$plain/payload" "$plain/unsigned.exe"
  [ $(($(stat -c %s "$plain/unsigned.exe") % 8)) != 3 ] || break
done
e2e_expect_eq "the base-format package's length past a multiple of 8" 3 \
  $(($(stat -c %s "$plain/unsigned.exe") % 8))
osslsigncode sign -certs "$E2E_WORK/cert.pem" -key "$E2E_WORK/key.pem" \
  -in "$plain/unsigned.exe" -out "$plain/program/update.exe" >"$E2E_WORK/sign.log" 2>&1 ||
  e2e_fail "osslsigncode sign: $(cat "$E2E_WORK/sign.log")"
native_run "$plain/program/update.exe"
e2e_expect_eq "native run of the signed base-format package" 0 "$RC"
e2e_expect_same_file "$plain/payload/readme.txt" "$native/readme.txt"
e2e_start_package "$plain/program/update.exe"
e2e_answer_confirmation Yes
e2e_wait_box "$E2E_MSG_SUCCESS" 60000
e2e_close_box "exit code of the signed base-format package" 0
e2e_expect_same_file "$plain/payload/readme.txt" "$plain/program/readme.txt"
