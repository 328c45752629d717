# A package of ours killed (SIGKILL) at seeded moments of its run, and the
# runs after it killed in turn while they undo what it left, leaves nothing
# that one more run to completion does not put right: exit code 0, the
# product exactly as a clean run leaves it (bytes, names, folders,
# read-only marks, times), the user's own files byte for byte, and no work
# name, journal or temporary folder left. Where each kill lands is not
# asserted; bench/kill_campaign.py runs many more of them.
. "$(dirname "$0")/common.bash"

make_stub stub.exe
# A sanitized run is ten times slower: smaller files leave the kills as
# much of a run to land in.
mib=$((1 << 20))
[ "${UPDPACK_TIME_FACTOR:-1}" = 1 ] || mib=$((1 << 17))
mkdir -p old/lib old/plugins/sub old/ro old/empty new/lib/extra new/ro \
  new/deep/er pkg
for version in old new; do
  printf 'same\n' >$version/Same.TXT
  printf 'read-only, kept\n' >$version/ro/kept.cfg
  head -c $((6 * mib)) /dev/urandom >$version/Big.dat
  head -c $((3 * mib)) /dev/urandom >$version/lib/core.dll
  printf '%s version\n' $version >$version/ro/locked.cfg
done
printf 'deleted\n' >old/old.txt
head -c 65536 /dev/urandom >old/lib/gone.dll
head -c 65536 /dev/urandom >old/plugins/sub/deep.dll
printf 'read-only, in a folder removed\n' >old/plugins/ro.txt
head -c $((2 * mib)) /dev/urandom >new/deep/er/Nested.bin
head -c 4096 /dev/urandom >new/lib/extra/plugin.dll
printf 'new\n' >new/NewFile.txt
chmod a-w old/ro/kept.cfg new/ro/kept.cfg old/ro/locked.cfg old/plugins/ro.txt
run_tool diff old new --build pkg/update.exe --stub stub.exe
expect_rc 0 "diff --build"
# Another product's update.
mkdir -p other/old other/new
printf 'other 1' >other/old/Other.exe
printf 'other 2' >other/new/Other.exe
run_tool diff other/old other/new --build pkg/other.exe --stub stub.exe
expect_rc 0 "diff --build of another product"

# user_files DIR: files the update does not name, one in a folder it changes.
user_files() {
  printf 'settings\n' >"$1/user.cfg"
  head -c 100000 /dev/urandom | od -An >"$1/lib/user notes.txt"
  touch -d @1600000000 "$1/user.cfg" "$1/lib/user notes.txt"
}
user_files old

# state DIR: every entry with its kind and mode; a file's size, time and
# digest too (a folder's time changes with its entries).
state() {
  (cd "$1" && find . -mindepth 1 \( -type d -printf 'd %M %p\n' \) -o \
    \( -type f -printf 'f %M %s %T@ %p ' -exec sha1sum {} \; \) -o \
    -printf '? %p\n' | LC_ALL=C sort)
}

# fresh: the old version with the user's files, as product/.
fresh() {
  chmod -R u+w product 2>/dev/null
  rm -rf product
  cp -a old product
}

# run_package [PACKAGE]: runs the update (or PACKAGE) on product/ and
# leaves its exit code in RC.
run_package() {
  "$UPDPACK" run "${1:-pkg/update.exe}" --yes --silent --target product \
    </dev/null >"$OUT" 2>"$ERR"
  RC=$?
}

# run_killed CONDITION...: starts the update, waits until the command
# CONDITION succeeds (or the run ends, or 20 s pass), then a seeded while
# (up to some milliseconds), and kills it.
run_killed() {
  "$UPDPACK" run pkg/update.exe --yes --silent --target product \
    </dev/null >/dev/null 2>&1 &
  local pid=$! deadline=$((SECONDS + 20)) spin=$((RANDOM % 3000)) k
  until "$@" || [ $SECONDS -ge $deadline ] || ! kill -0 $pid 2>/dev/null; do :; done
  for ((k = 0; k < spin; k++)); do :; done
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
}

journal_made() { [ -e product/~updpack.bak/journal ]; }
old_file_aside() { [ ! -e product/old.txt ]; }
# Undoing what the killed run left: a folder it made gone again, or an old
# file back (the journal itself is not opened: a journal another process
# holds belongs to a run still going, and the run then ends with 6).
new_folder_gone() { [ ! -e product/deep ]; }
old_files_back() { [ -e product/lib/gone.dll ]; }
started() { :; }

fresh
was=$(state product)
run_package
expect_rc 0 "a clean run"
want=$(state product)
diff <(cd new && find . -type f -exec sha1sum {} + | sort) \
  <(cd product && find . -type f ! -name user.cfg ! -name 'user notes.txt' \
    -exec sha1sum {} + | sort) >/dev/null || fail "a clean run gives the new version"

# Kill points: the first run killed once the journal is made, once an old
# file is aside, or right after its start; the second and third while they
# put the old files back.
RANDOM=20240611
points=0
for first in journal_made old_file_aside started journal_made; do
  for later in 0 1 2; do
    fresh
    run_killed $first
    for _ in $(seq $later); do
      if ((RANDOM % 2)); then run_killed new_folder_gone; else run_killed old_files_back; fi
    done
    run_package
    points=$((points + 1))
    what="kill point $points ($first, then $later more)"
    expect_rc 0 "$what"
    [ "$(state product)" = "$want" ] ||
      fail "$what: the product is not the new version: $(diff <(echo "$want") <(state product) | head -5)"
    left=$(find product "$TMP" -iname '~updpack.*' -o -iname 'VLSFX_QUORIX*')
    [ -z "$left" ] || fail "$what: left $left"
  done
done

# Killed, then another product's update started in the folder: what the
# journal lists is undone (none of it when the killed run had ended its
# journal), and the update is not for this folder.
for first in journal_made old_file_aside; do
  fresh
  run_killed $first
  run_package pkg/other.exe
  expect_rc 4 "another product's update after a kill ($first)"
  now=$(state product)
  [ "$now" = "$was" ] || [ "$now" = "$want" ] ||
    fail "another product's update after a kill ($first): neither version: $(diff <(echo "$was") <(echo "$now") | head -5)"
done

finish
