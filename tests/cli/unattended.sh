# run --silent --log --target: nothing shown, a log of every step, the
# update installed into another folder; a log behind a link is not written
# and changes nothing; help run lists every exit code.
. "$(dirname "$0")/common.bash"

mkdir src pkg other
printf 'new app\n' >src/app.txt
{
  script_record 0 T '\app.txt' P '\app.txt'
  script_record 1 - "" P '\old.txt'
} >src/script
run_tool pack src update.pack
make_stub stub.bin 4096
run_tool build --stub stub.bin --archive update.pack -o pkg/update.exe
expect_rc 0 "build"
printf 'old' >other/old.txt
printf 'old' >pkg/old.txt

run_tool run pkg/update.exe --silent --log run.log --target other/
expect_rc 0 "silent run"
expect_empty "$ERR" "silent run's stderr"
expect_same_bytes src/app.txt other/app.txt "installed into --target"
[ ! -e other/old.txt ] && [ -e pkg/old.txt ] || fail "old.txt deleted in the wrong folder"
for line in "program folder: $WORK/other" "record 2: delete $WORK/other\\old.txt" \
  "answer: Yes" "end: success (exit code 0)"; do
  tr -d '\r' <run.log | grep -qxF -- "$line" || fail "the log lacks: $line"
done

# A link at the log's name is refused; what it points to keeps its bytes.
printf 'precious' >precious.txt
ln -s precious.txt link.log
printf 'old' >other/old.txt
run_tool run pkg/update.exe --silent --log link.log --target other
expect_rc 0 "silent run with a log behind a link"
[ "$(cat precious.txt)" = precious ] || fail "the log was written through a link"
[ ! -e other/old.txt ] || fail "the run did not go on without its log"

# A package of the base format heeds none of the three: the run warns
# before it asks, in the package's own folder.
rm -f other/app.txt
{ cat stub.bin update.pack; trailer 4097; } >pkg/base.exe
run_tool run pkg/base.exe --silent --target other
expect_rc 2 "a base-format run asks, and no input declines"
expect_contains "$ERR" "pkg/base.exe carries no manifest: its run heeds none of --silent, --log and --target" \
  "the base format's run warns of the switches it ignores"
[ ! -e other/app.txt ] || fail "the base format installed into --target"

run_tool help run
for code in "4 not the expected version" "5 a file in use" "6 another update already running"; do
  grep -qF "$code" "$OUT" || fail "help run lacks: $code"
done
finish
