# Entries whose ranges share bytes, and a checksum list that names a file
# more than once: a package of ours of a few kilobytes could make its run
# write or read the same bytes gigabytes of times. Its run ends as on a
# damaged package, extract and verify say so and build refuses such an
# archive; a package of the base format extracts as it always has.
. "$(dirname "$0")/common.bash"

make_stub stub.exe 4096

# archive DATA_FILE ENTRY...: a PACK1 archive, each ENTRY name?start?end.
archive() {
  local data=$1
  shift
  printf 'PACK1\x00\x01'
  local entry
  for entry in "$@"; do printf '%s\x02' "$entry"; done
  printf '\x01'
  cat "$data"
}

# package NAME ARCHIVE [PAYLOAD]: a package in prog_NAME/update.exe, with
# a manifest of the payload file unless none is given (the base format).
package() {
  local image=stub.exe
  if [ -n "${3:-}" ]; then
    { cat stub.exe; manifest "$3"; } >image_$1
    image=image_$1
  fi
  mkdir "prog_$1"
  { cat "$image" "$2"; trailer $(($(stat -c %s "$image") + 1)); } \
    >"prog_$1/update.exe"
}

: >payload.txt
printf 'sums\0001\000' >sums_payload.txt

# Three entries over the same four bytes.
printf abcd >abcd
archive abcd 'a.txt?1?5' 'b.txt?1?5' 'c.txt?1?5' >shared.pack
package ours shared.pack payload.txt
package base shared.pack

run_tool verify prog_ours/update.exe
expect_rc 1 "verify of shared ranges"
expect_contains "$OUT" "FAULT:       the entries hold 12 bytes together, more than the 4 of the data region" \
  "verify names the overlap"
run_tool run prog_ours/update.exe --yes
expect_rc 1 "run of shared ranges"
expect_contains "$ERR" 'Данные файла выходят за пределы архива Kestrova PACK: архив поврежден: «b.txt»' \
  "the run stops at the entry past the data region"
mkdir out_ours
run_tool extract prog_ours/update.exe out_ours
expect_rc 1 "extract of shared ranges"

# The base format allows any ranges.
run_tool run prog_base/update.exe --yes
expect_rc 0 "run of the base format"
mkdir out_base
run_tool extract prog_base/update.exe out_base
expect_rc 0 "extract of the base format"
[ "$(cat out_base/a.txt out_base/b.txt out_base/c.txt)" = abcdabcdabcd ] ||
  fail "the base format's entries differ"

run_tool build --archive shared.pack --stub stub.exe -o built.exe
expect_rc 1 "build of shared ranges"
expect_contains "$ERR" "its entries hold 12 bytes together, more than the 4 of its data region" \
  "build names the overlap"

# listing NAME TIMES [SIZE]: prog_NAME/update.exe, a package of ours holding
# a file of SIZE bytes (1,000 unless told) and a checksum list that names it
# TIMES times.
listing() {
  local size=${3:-1000}
  head -c "$size" /dev/zero | tr '\0' x >big
  local crc
  crc=$(python3 -c 'import zlib; print("%08X" % zlib.crc32(open("big", "rb").read()))')
  {
    printf 'updpack sums 1\r\n'
    for _ in $(seq "$2"); do printf '%s %s big\r\n' "$crc" "$size"; done
  } >sums
  cat big sums >data
  archive data "big?1?$((size + 1))" \
    "~updpack.sum?$((size + 1))?$((size + 1 + $(stat -c %s sums)))" >"$1.pack"
  package "$1" "$1.pack" sums_payload.txt
}

listing repeated 100
run_tool verify prog_repeated/update.exe
expect_rc 1 "verify of a repeated checksum line"
expect_contains "$OUT" "FAULT:       the entry ~updpack.sum lists more bytes than the 2916 the entries hold" \
  "verify names the list"
run_tool run prog_repeated/update.exe --yes
expect_rc 1 "run of a repeated checksum line"
expect_contains "$ERR" 'Файл «~updpack.sum» в пакете обновления поврежден.' \
  "the run says the list is damaged"

# 120 bytes listed, 110 extracted (the file and the list), 147 in the
# archive with its header and catalog: the run counts what was extracted,
# and so must verify.
listing twice 2 60
run_tool verify prog_twice/update.exe
expect_rc 1 "verify of a list past the extracted bytes"
expect_contains "$OUT" "FAULT:       the entry ~updpack.sum lists more bytes than the 110 the entries hold" \
  "verify counts the entries' bytes"
run_tool run prog_twice/update.exe --yes
expect_rc 1 "run of a list past the extracted bytes"

# Listed once, the same file checks.
listing once 1
run_tool verify prog_once/update.exe
expect_rc 0 "verify of a list naming each file once"
run_tool run prog_once/update.exe --yes
expect_rc 0 "run of a list naming each file once"

finish
