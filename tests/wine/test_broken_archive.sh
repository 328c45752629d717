#!/usr/bin/env bash
# A package whose archive is not a PACK1 archive: the extraction shows its
# error box, and after OK the program ends with exit code 1 and no success
# message. The pack file (an exact copy of the appended bytes) and the
# temporary folder stay, as after a critical error. A package made to the
# base format shows the archive's message alone; one with the texts that
# build writes says after it that the package is damaged.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin broken_archive

program="$E2E_WORK/program"
mkdir -p "$program"

run_broken() { # NAME ARCHIVE-FORMAT MESSAGE [IMAGE]
  local archive="$E2E_WORK/$1.bin"
  # shellcheck disable=SC2059
  printf "$2" >"$archive"
  e2e_join_package "$archive" "$program/$1.exe" "${4:-}"
  e2e_clear_tmp
  e2e_start_package "$program/$1.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$3" 60000
  e2e_screenshot "$1" >/dev/null
  e2e_expect_eq "$1: the error box's text" "$3" "$(e2e_texts "$E2E_BOX_TITLE")"
  e2e_expect_eq "$1: the error box's buttons" "OK*" "$(e2e_wintool buttons "$E2E_BOX_TITLE")"
  e2e_expect_icon error
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  # A further message (a success box above all) would keep the program
  # alive: it must end on its own.
  e2e_wait_package 20
  e2e_expect_eq "$1: exit code after a failed extraction" 1 "$E2E_EXIT"
  e2e_expect_same_file "$archive" "$E2E_PACK_FILE"
  [ -d "$E2E_TEMP_FOLDER" ] || e2e_fail "$1: the temporary folder is gone"
  e2e_expect_eq "$1: nothing unpacked" "" "$(ls -A "$E2E_TEMP_FOLDER")"
  e2e_expect_eq "$1: nothing installed" "$1.exe" "$(ls -A "$program")"
  rm -f "$program/$1.exe"
}

# The signature in lower case, with a catalog and a script behind it.
run_broken lowercase 'pack1\000\001script?1?66\002\001\001\001\\*' "$E2E_MSG_NOT_ARCHIVE"
# Shorter than a signature, in a package with build's texts.
printf 'PACK1\000\001\001' >"$E2E_WORK/empty.pack1"
e2e_build_package "$E2E_WORK/empty.pack1" "$E2E_WORK/built.exe"
e2e_image_of "$E2E_WORK/built.exe" "$E2E_WORK/image_with_texts"
run_broken short 'PAC' "$(e2e_crlf "$E2E_MSG_NOT_ARCHIVE" "$E2E_MSG_DAMAGED")" \
  "$E2E_WORK/image_with_texts"
# The right signature, but no catalog marker after the method byte.
run_broken no_catalog 'PACK1\000\002a?1?2\002\001x' "$E2E_MSG_NO_CATALOG"
