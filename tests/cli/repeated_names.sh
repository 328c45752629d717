# verify of a catalog that repeats one name, or gives many names one short
# name, lists the first 20 of each and counts the rest: a catalog of a
# few bytes an entry took a line of a hundred bytes for each.
. "$(dirname "$0")/common.bash"

{
  printf 'PACK1\x00\x01'
  for _ in $(seq 26); do printf 'a.txt?1?1\x02'; done
  printf 'longname.txt?1?1\x02'
  for k in $(seq 23); do printf 'LONGNA~%d.TXT?1?1\x02' "$k"; done
  printf '\x01'
} >names.pack

run_tool verify names.pack
expect_rc 1 "verify of short-name clashes"
[ "$(grep -c 'the later entry is the file' "$OUT")" = 20 ] ||
  fail "verify lists other than 20 repeated names"
expect_contains "$OUT" "note:        5 more entries repeat an earlier name" \
  "verify counts the other repeats"
[ "$(grep -c 'one overwrites the other' "$OUT")" = 20 ] ||
  fail "verify lists other than 20 short-name clashes"
expect_contains "$OUT" "FAULT:       3 more entries could be another's short name" \
  "verify counts the other clashes"

finish
