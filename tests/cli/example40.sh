# The 40-byte two-entry example archive, written byte by byte, is listed
# and extracted; bytes after the data region are never read.
. "$(dirname "$0")/common.bash"

printf 'PACK1\x00\x01one.txt?1?6\x02two.dat?6?9\x02\x01HELLOabc' >ex.pack
[ "$(stat -c %s ex.pack)" = 40 ] || fail "example is 40 bytes"

run_tool list ex.pack
expect_rc 0 "list"
expect_text "$OUT" "compression: 0
data start: 33
one.txt	1	6	5
two.dat	6	9	3" "list output"
expect_empty "$ERR" "list stderr"

mkdir out
run_tool extract ex.pack out
expect_rc 0 "extract"
expect_empty "$ERR" "extract stderr"
[ "$(ls out | tr '\n' ' ')" = "one.txt two.dat " ] || fail "two files"
cmp -s out/one.txt <(printf 'HELLO') || fail "one.txt holds positions 33 to 37"
cmp -s out/two.dat <(printf 'abc') || fail "two.dat holds positions 38 to 40"

# The same archive followed by a 0x00 byte and rubbish, as in a package.
cat ex.pack <(printf '\x00garbage') >tail.pack
mkdir out2
run_tool extract tail.pack out2
expect_rc 0 "extract with trailing bytes"
diff -r out out2 >/dev/null || fail "trailing bytes are not read"

# Text after the last 0x02 is no entry; an entry with start = end is empty;
# a name with reserved characters is written without them.
printf 'PACK1\x03\x01a:b.txt?1?3\x02zero?3?3\x02dropped?1?3\x01XY' >odd.pack
run_tool list odd.pack
expect_rc 0 "list odd.pack"
expect_text "$OUT" "compression: 3
data start: 41
ab.txt	1	3	2
zero	3	3	0" "list odd.pack"
mkdir out3
run_tool extract odd.pack out3
expect_rc 0 "extract odd.pack"
[ "$(ls out3 | tr '\n' ' ')" = "ab.txt zero " ] || fail "odd.pack entries"
cmp -s out3/ab.txt <(printf 'XY') || fail "ab.txt"
[ -f out3/zero ] && [ ! -s out3/zero ] || fail "empty entry"

# pack writes the 27 bytes of a folder holding a.txt (3 bytes) and b
# (empty): the header, each entry text and its 0x02, the closing 0x01 and
# the data, with b's start and end both 4.
mkdir tree
printf 'xyz' >tree/a.txt
: >tree/b
run_tool pack tree tree.pack
expect_rc 0 "pack of a.txt and b"
cmp -s tree.pack <(printf 'PACK1\x00\x01a.txt?1?4\x02b?4?4\x02\x01xyz') ||
  fail "the 27 bytes of a.txt and b: $(od -An -tx1 tree.pack)"

# Entries in the order of the NTFS listing: names compared in upper case,
# so "_" and "[" come after the letters, and a shorter name before a longer.
mkdir order
for name in '~t' _u '[x' b0 B a; do : >"order/$name"; done
run_tool pack order order.pack
expect_rc 0 "pack of names that sort differently in upper and lower case"
run_tool list order.pack
expect_text "$OUT" "compression: 0
data start: 49
a	1	1	0
B	1	1	0
b0	1	1	0
[x	1	1	0
_u	1	1	0
~t	1	1	0" "the order of the listing"

finish
