# Paths longer than a 65-byte record's fields: diff writes them, build puts
# the whole script into the long script entry that the manifest declares,
# verify and script show read it, and the run creates, replaces and
# deletes a file at a 200-byte path. A script that fits stays in "script".
. "$(dirname "$0")/common.bash"

make_stub stub.exe 4096
# A relative path of exactly 200 bytes: folders of 49 bytes, then a file.
deep=$(printf 'x%.0s' {1..48})
dir="docs/$deep/$deep/$deep"
name=$(printf 'n%.0s' $(seq $((200 - ${#dir} - 1 - 4))))".txt"
long="$dir/$name"
[ ${#long} = 200 ] || fail "the path is ${#long} bytes"
mkdir -p "v1/$dir" "v2/$dir" "v2/new/$deep/$deep"
printf 'old' >"v1/$long"
printf 'gone' >"v1/$dir/Release notes and known issues for the 4.x series.txt"
printf 'new' >"v2/$long"
printf 'made' >"v2/new/$deep/$deep/$name"
printf 'same' >v1/app.exe && printf 'same' >v2/app.exe

run_tool diff v1 v2 -o update.txt --build update.exe --stub stub.exe
expect_rc 0 "diff of long paths"
expect_contains update.txt "delete  \"{app}\\docs\\$deep\\$deep\\$deep\\Release notes" \
  "the long deletion is written"
run_tool list update.exe
expect_contains "$OUT" "~updpack.scr" "the long script entry"
run_tool verify update.exe
expect_rc 0 "verify of a long script"
expect_contains "$OUT" "keys product version lang sums expect codepage" "manifest keys"
expect_contains "$OUT" "longscript" "the manifest declares the long script"
expect_contains "$OUT" "target 202 bytes" "the record of the 200-byte path"

# show, then compile what it shows: the same bytes as the entry.
run_tool script show update.exe
expect_rc 0 "script show"
cp "$OUT" shown.txt
expect_contains shown.txt "{app}\\docs\\$deep" "show prints the long records"
run_tool script compile shown.txt long.scr
expect_rc 0 "compile of the long records"
mkdir unpacked && run_tool extract update.exe unpacked
expect_same_bytes long.scr unpacked/~updpack.scr "compile(show) gives the entry back"
[ ! -s unpacked/script ] || fail "script stays empty beside a long script"

cp -r v1 program && cp update.exe program/
run_tool run program/update.exe --yes
expect_rc 0 "run of a long script"
rm program/update.exe
diff -r program v2 >/dev/null || fail "the long paths were not installed: $(diff -r program v2)"

# Short paths: "script" alone, no long entry, no declaration.
mkdir -p s1 s2 && printf 'a' >s1/a.txt && printf 'b' >s2/a.txt
run_tool diff s1 s2 --build short.exe --stub stub.exe
run_tool list short.exe
grep -q '~updpack.scr' "$OUT" && fail "a long script entry for short paths"
run_tool verify short.exe
grep -q 'longscript' "$OUT" && fail "a short script declares a long one"


finish
