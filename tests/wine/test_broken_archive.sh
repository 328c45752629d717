#!/usr/bin/env bash
# A package whose archive is not a PACK1 archive: the extraction shows its
# error box, and after OK the program ends with exit code 1 and no success
# message. The pack file (an exact copy of the appended bytes) and the
# temporary folder stay, as after a critical error. A package made to the
# base format shows the archive's message alone; one that build wrote, with
# its manifest, says after it that the package is damaged.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin broken_archive

program="$E2E_WORK/program"
mkdir -p "$program"

# A package made to the base format of ARCHIVE-FORMAT's bytes.
join_broken() { # NAME ARCHIVE-FORMAT
  # shellcheck disable=SC2059
  printf "$2" >"$E2E_WORK/$1.bin"
  e2e_join_package "$E2E_WORK/$1.bin" "$program/$1.exe"
}

run_broken() { # NAME MESSAGE
  e2e_clear_tmp
  e2e_start_package "$program/$1.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$2" 60000
  e2e_screenshot "$1" >/dev/null
  e2e_expect_eq "$1: the error box's text" "$2" "$(e2e_texts "$E2E_BOX_TITLE")"
  e2e_expect_eq "$1: the error box's buttons" "OK*" "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon error
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  # A further message (a success box above all) would keep the program
  # alive: it must end on its own.
  e2e_wait_package 20
  e2e_expect_eq "$1: exit code after a failed extraction" 1 "$E2E_EXIT"
  e2e_carved "$program/$1.exe" "$E2E_WORK/$1.carved"
  e2e_expect_same_file "$E2E_WORK/$1.carved" "$E2E_PACK_FILE"
  [ -d "$E2E_TEMP_FOLDER" ] || e2e_fail "$1: the temporary folder is gone"
  e2e_expect_eq "$1: nothing unpacked" "" "$(ls -A "$E2E_TEMP_FOLDER")"
  e2e_expect_eq "$1: nothing installed" "$1.exe" "$(ls -A "$program")"
  rm -f "$program/$1.exe"
}

# The signature in lower case, with a catalog and a script behind it.
join_broken lowercase 'pack1\000\001script?1?66\002\001\001\001\\*'
run_broken lowercase "$E2E_MSG_NOT_ARCHIVE"
# A package that build wrote, its archive's signature changed in place:
# the manifest is intact and the package as long as it declares; its
# message names no archive format.
printf 'PACK1\000\001\001' >"$E2E_WORK/empty.pack1"
e2e_build_package "$E2E_WORK/empty.pack1" "$program/built.exe"
start=$(tail -c 4 "$program/built.exe" | od -An -tu4 | tr -d ' ')
printf 'p' | dd of="$program/built.exe" bs=1 seek=$((start - 1)) conv=notrunc 2>/dev/null
run_broken built "$(e2e_crlf "Пакет обновления не содержит архива своих файлов." "$E2E_MSG_DAMAGED")"
# The right signature, but no catalog marker after the method byte.
join_broken no_catalog 'PACK1\000\002a?1?2\002\001x'
run_broken no_catalog "$E2E_MSG_NO_CATALOG"

# A package whose program image is damaged where it carries the program
# compressed (its read-only data): the image ends with exit code 1 before
# any of the program runs. No window (a confirmation would keep it alive),
# nothing carved, nothing installed.
damaged_stub="$E2E_WORK/damaged-stub.exe"
cp "$UPDPACK_STUB" "$damaged_stub"
read -r rdata_size rdata_at < <("${OBJDUMP:-x86_64-w64-mingw32-objdump}" -h "$damaged_stub" |
  awk '$2 == ".rdata" { print $3, $6 }')
[ -n "$rdata_at" ] || e2e_fail "no .rdata section in $UPDPACK_STUB"
flip=$((16#$rdata_at + 16#$rdata_size / 2))
byte=$(od -An -tu1 -j "$flip" -N1 "$damaged_stub" | tr -d ' ')
# shellcheck disable=SC2059
printf "$(printf '\\%03o' $((byte ^ 0xFF)))" |
  dd of="$damaged_stub" bs=1 seek="$flip" conv=notrunc 2>/dev/null
e2e_join_package "$E2E_WORK/empty.pack1" "$program/damaged_image.exe" "$damaged_stub"
e2e_clear_tmp
e2e_start_package "$program/damaged_image.exe"
e2e_wait_package 20
e2e_expect_eq "a damaged image's exit code" 1 "$E2E_EXIT"
[ ! -e "$E2E_PACK_FILE" ] || e2e_fail "a damaged image carved its archive"
e2e_expect_eq "a damaged image installs nothing" "damaged_image.exe" "$(ls -A "$program")"
