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

# stop_and_interrupt PID CHECK...: as soon as the command CHECK succeeds,
# freezes the process, queues SIGINT and lets it go on, so the signal is
# taken at once however fast the work is; then waits for it and leaves its
# status in RC.
stop_and_interrupt() {
  local pid=$1 deadline=$((SECONDS + 20))
  shift
  while ! "$@" && [ $SECONDS -lt $deadline ] && kill -0 "$pid" 2>/dev/null; do
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

exists() { compgen -G "$1" >/dev/null; }

# catching PID: the tool has a handler for SIGINT (/proc/PID/status lists
# the signals it catches); `pack` installs it before it opens any file.
catching() {
  local key value
  [ "/proc/$1/exe" -ef "$UPDPACK" ] || return 1
  while read -r key value; do
    [ "$key" = SigCgt: ] && return $((16#$value & 2 ? 0 : 1))
  done <"/proc/$1/status"
  return 1
} 2>/dev/null

# interrupt ANSWER: runs the package and interrupts it while the pack file
# is being written; ANSWER answers the abort question.
interrupt() {
  printf '%s\n' "$1" >answer.txt
  "$UPDPACK" run pkg/big.exe --yes <answer.txt >"$OUT" 2>"$ERR" &
  stop_and_interrupt $! exists "$TMP/VLSFX_QUORIX.PACK"
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
# A package with a manifest leaves nothing in TMP once it has succeeded.
[ ! -e "$TMP/VLSFX_QUORIX" ] || fail "the temporary folder is removed after success"

# signal_when_writing COMMAND...: runs updpack COMMAND in the background and
# interrupts it once it catches Ctrl-C.
signal_when_writing() {
  "$UPDPACK" "$@" </dev/null >"$OUT" 2>"$ERR" &
  stop_and_interrupt $! catching $!
}

signal_when_writing pack src cancelled.pack
expect_rc 1 "pack interrupted"
expect_text "$ERR" "updpack: Packing was cancelled by the user! (-1234013)" "pack cancel"
[ ! -e cancelled.pack ] || fail "a cancelled pack leaves no half-written archive"
[ -z "$(ls -A | grep '^\.')" ] || fail "a cancelled pack leaves no temporary file"

# kill_while_packing ARCHIVE: kills `pack src ARCHIVE` outright while it
# works.
kill_while_packing() {
  local deadline=$((SECONDS + 20))
  "$UPDPACK" pack src "$1" </dev/null >/dev/null 2>&1 &
  local pid=$!
  until catching $pid || [ $SECONDS -ge $deadline ]; do :; done
  kill -KILL $pid
  wait $pid 2>/dev/null
}

# Killed outright, pack leaves the older archive whole, and nothing else.
printf 'PACK1\x00\x01' >killed.pack # an empty archive
cp killed.pack older.pack
kill_while_packing killed.pack
cmp -s killed.pack older.pack || fail "a killed pack leaves the older archive"
cp killed.pack src/killed.pack
kill_while_packing src/killed.pack
cmp -s src/killed.pack older.pack ||
  fail "a killed pack into its own folder leaves the older archive"
[ -z "$(ls -A | grep '^\.')$(ls -A src | grep '^\.')" ] || fail "killed packs leave no temporary file"
rm src/killed.pack

printf 'second\n' >src/z_second.txt # an entry after big.bin
run_tool pack src two.pack
expect_rc 0 "pack of two entries"
mkdir out
"$UPDPACK" extract two.pack out </dev/null >"$OUT" 2>"$ERR" &
stop_and_interrupt $! exists out/big.bin
expect_rc 1 "extract interrupted"
expect_text "$ERR" "updpack: two.pack: Unpacking was cancelled by the user!" "extract cancel"
expect_same_bytes src/big.bin out/big.bin "the entry in progress is completed"
[ ! -e out/z_second.txt ] || fail "no entry after the cancel"

# Ctrl-C while build compresses cancels it as while it packs: no package,
# and no scratch folder left.
mkdir numbers scratch
seq 1 1000000 >numbers/numbers.txt
compressing() { exists "scratch/updpack-compress-*" && catching "$1"; }
TMPDIR=$PWD/scratch "$UPDPACK" build --payload numbers --stub stub.bin \
  -o numbers.exe </dev/null >"$OUT" 2>"$ERR" &
stop_and_interrupt $! compressing $!
expect_rc 1 "build interrupted while compressing"
expect_contains "$ERR" "updpack: Packing was cancelled by the user! (-1234013)" \
  "build cancel"
[ ! -e numbers.exe ] || fail "a cancelled build writes no package"
[ -z "$(ls -A scratch)" ] || fail "a cancelled build leaves no scratch folder"

finish
