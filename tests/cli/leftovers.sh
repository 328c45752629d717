# A killed build leaves no half package beside its output, and the scratch
# folder it leaves goes at the next start of a command that makes one; so
# do the hidden temporary outputs of killed commands. Only what is provably
# a leftover goes: ours by name, of a process that no longer exists, owned
# by the running user, a real file or folder, locked by nobody.
. "$(dirname "$0")/common.bash"

export TMPDIR=$WORK/scratch
mkdir "$TMPDIR" payload pkg outside
make_stub stub.exe
head -c $((64 * 1024 * 1024)) /dev/zero >payload/big.bin
printf 'keep' >outside/file
dead=$(sh -c 'echo $$') # a process that has ended
live=$$

# Planted: WHAT|PATH|FATE (stays: not provably a leftover)
PLANTED="folder|$TMPDIR/updpack-build-$dead-AAAAAA|goes
folder|$TMPDIR/updpack-build-$live-BBBBBB|stays
link|$TMPDIR/updpack-build-$dead-CCCCCC|stays
folder|$TMPDIR/updpack-build-$dead-DDD|stays
file|pkg/.u.exe.updpack-$dead-0.tmp|goes
file|pkg/.other.pack.updpack-$dead-3.tmp|goes
file|pkg/.u.exe.updpack-$live-0.tmp|stays
link|pkg/.v.exe.updpack-$dead-0.tmp|stays"
if [ "$(id -u)" = 0 ]; then # another user's
  PLANTED+=$'\n'"alien|$TMPDIR/updpack-build-$dead-EEEEEE|stays"
fi
while IFS='|' read -r what path fate; do
  case $what in
  folder | alien) mkdir "$path" && printf x >"$path/x" ;;
  file) printf x >"$path" ;;
  link) ln -s "$WORK/outside" "$path" ;;
  esac
  [ "$what" = alien ] && chown -R 65534 "$path"
done <<<"$PLANTED"

"$UPDPACK" build --payload payload --stub stub.exe -o pkg/u.exe </dev/null >/dev/null 2>&1 &
pid=$!
until compgen -G "$TMPDIR/updpack-build-$pid-*" >/dev/null || ! kill -0 $pid 2>/dev/null; do :; done
kill -KILL $pid
wait $pid 2>/dev/null
compgen -G "$TMPDIR/updpack-build-$pid-*" >/dev/null || fail "the killed build had its scratch folder"
[ ! -e pkg/u.exe ] || fail "a killed build leaves no package"
[ "$(ls -A pkg | wc -l)" = 4 ] || fail "a killed build leaves nothing beside its output: $(ls -A pkg)"

# Stored: the clean-up comes first either way, and compressing 64 MB would
# take most of a minute in a sanitized build.
run_tool build --store --payload payload --stub stub.exe -o pkg/u.exe
expect_rc 0 "build after a killed one"
[ -f pkg/u.exe ] || fail "the package is built"
! compgen -G "$TMPDIR/updpack-build-$pid-*" >/dev/null || fail "the killed build's scratch folder goes"
while IFS='|' read -r what path fate; do
  if [ "$fate" = stays ]; then
    [ -e "$path" ] || [ -L "$path" ] || fail "$path stays"
  else
    [ ! -e "$path" ] || fail "$path goes"
  fi
done <<<"$PLANTED"
[ "$(cat outside/file)" = keep ] || fail "nothing is removed through a link"

finish
