# Ctrl-C during a run asks "Прервать обновление?": Yes removes the
# temporary folder and the pack file and exits 3; No lets the run finish.
# Ctrl-C during pack and extract cancels them through the archive's flag.
. "$(dirname "$0")/common.bash"

mkdir src
head -c $((48 * 1024 * 1024)) /dev/urandom >src/big.bin # long enough to interrupt
: >src/script
run_tool pack src big.pack
expect_rc 0 "pack"
make_stub stub.bin
mkdir pkg
run_tool build --stub stub.bin --archive big.pack -o pkg/big.exe
expect_rc 0 "build"
rm big.pack

# stop_and_interrupt PID FILE: as soon as a file matches the pattern FILE,
# freezes the process, queues SIGINT and lets it go on, so the signal is
# taken at once however fast the work is; then waits for it and leaves its
# status in RC.
stop_and_interrupt() {
  local pid=$1 file=$2 deadline=$((SECONDS + 20))
  while ! compgen -G "$file" >/dev/null && [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
    :
  done
  if kill -STOP "$pid" 2>/dev/null; then
    kill -INT "$pid"
    kill -CONT "$pid"
  else
    fail "the process ended before it could be interrupted"
  fi
  wait "$pid"
  RC=$?
}

# interrupt ANSWER: runs the package and interrupts it while the pack file
# is being written; ANSWER answers the abort question.
interrupt() {
  printf '%s\n' "$1" >answer.txt
  "$UPDPACK" run pkg/big.exe --yes <answer.txt >"$OUT" 2>"$ERR" &
  stop_and_interrupt $! "$TMP/VLSFX_QUORIX.PACK"
}

interrupt y
expect_rc 3 "abort confirmed"
expect_contains "$ERR" "Dravell [warning]: Прервать обновление?
[Y/n] yes" "abort question"
[ ! -e "$TMP/VLSFX_QUORIX" ] || fail "the temporary folder is removed"
[ ! -e "$TMP/VLSFX_QUORIX.PACK" ] || fail "the pack file is removed"
if grep -qF "прошло успешно" "$ERR"; then fail "no success message after an abort"; fi

interrupt n
expect_rc 0 "abort declined"
expect_contains "$ERR" "[Y/n] no" "abort declined"
expect_contains "$ERR" "Dravell [information]: Обновление до версии 1.1 прошло успешно!" \
  "the run goes on after No"
expect_same_bytes src/big.bin "$TMP/VLSFX_QUORIX/big.bin" "complete after No"

# signal_when_exists FILE COMMAND...: runs updpack COMMAND in the
# background and interrupts it once FILE exists.
signal_when_exists() {
  local file=$1
  shift
  "$UPDPACK" "$@" </dev/null >"$OUT" 2>"$ERR" &
  stop_and_interrupt $! "$file"
}

# pack writes under a temporary name beside the archive.
signal_when_exists '.cancelled.pack.updpack-*' pack src cancelled.pack
expect_rc 1 "pack interrupted"
expect_text "$ERR" "updpack: Запаковка архива отменена пользователем! (-1234013)" "pack cancel"
[ ! -e cancelled.pack ] || fail "a cancelled pack leaves no half-written archive"
! compgen -G '.cancelled.pack*' >/dev/null || fail "a cancelled pack removes its temporary file"

# kill_while_packing ARCHIVE: kills `pack src ARCHIVE` outright once its
# temporary file is there.
kill_while_packing() {
  local dir name deadline=$((SECONDS + 20))
  dir=$(dirname "$1")
  name=$(basename "$1")
  "$UPDPACK" pack src "$1" </dev/null >/dev/null 2>&1 &
  local pid=$!
  until compgen -G "$dir/.$name.updpack-*" >/dev/null || [ $SECONDS -ge $deadline ]; do :; done
  kill -KILL $pid
  wait $pid 2>/dev/null
}

# Killed outright, pack leaves the older archive whole (or, packing into its
# own folder, none), never a truncated one.
printf 'older archive' >killed.pack
kill_while_packing killed.pack
[ "$(cat killed.pack)" = "older archive" ] || fail "a killed pack leaves the older archive"
cp killed.pack src/killed.pack
kill_while_packing src/killed.pack
[ ! -e src/killed.pack ] || [ "$(cat src/killed.pack)" = "older archive" ] ||
  fail "a killed pack into its own folder leaves the older archive or none"
rm -f src/killed.pack src/.killed.pack.*

printf 'second\n' >src/z_second.txt # an entry after big.bin
run_tool pack src two.pack
expect_rc 0 "pack of two entries"
mkdir out
signal_when_exists out/big.bin extract two.pack out
expect_rc 1 "extract interrupted"
expect_text "$ERR" "Dravell [error]: Распаковка архива отменена пользователем!" "extract cancel"
expect_same_bytes src/big.bin out/big.bin "the entry in progress is completed"
[ ! -e out/z_second.txt ] || fail "no entry after the cancel"

finish
