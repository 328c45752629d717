# build and verify take time in proportion to the number of entries: an
# archive of 65,535 one-byte entries is built into a package and verified
# well within a minute (both were quadratic: 157 s and 236 s).
. "$(dirname "$0")/common.bash"

# A sanitized build (its time factor above 1) checks the memory of a
# quarter of them; the time is the native build's to check.
entries=65535
[ "${UPDPACK_TIME_FACTOR:-1}" = 1 ] || entries=16383

make_stub stub.exe
awk -v n="$entries" 'BEGIN {
  printf "PACK1%c%c", 0, 1
  for (i = 1; i <= n; i++) printf "f%d?%d?%d%c", i, i, i + 1, 2
  printf "%c", 1
  for (i = 1; i <= n; i++) printf "%c", 65 + i % 26
}' >big.pack

start=$SECONDS
run_tool build --archive big.pack --stub stub.exe -o big.exe
expect_rc 0 "build of $entries entries"
run_tool verify big.exe
expect_rc 0 "verify of $entries entries"
expect_contains "$OUT" "$entries entries match their length and CRC-32" "verify reads every entry"
[ $((SECONDS - start)) -le $((60 * ${UPDPACK_TIME_FACTOR:-1})) ] || fail "build and verify took $((SECONDS - start)) s"

finish
