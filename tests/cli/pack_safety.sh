# pack takes the ordinary files of one folder, dot-files included, and says
# what it skips: links (never followed), subfolders, special files, names
# Windows cannot hold as they are, and what --exclude names. run keeps its
# temporary folder under TMPDIR when TMP is not set.
. "$(dirname "$0")/common.bash"

mkdir src outside src/sub
printf 'a' >src/a.txt
printf 'secret' >outside/secret.txt
ln -s ../outside/secret.txt src/leak.txt # a link out of the folder
ln -s a.txt src/alias.txt
ln -s ../outside src/dirlink
ln -s nowhere src/dangling
printf 'h' >src/.settings
mkfifo src/fifo
printf 'd' >'src/dot.'
mkdir src/.git
printf 'x' >src/.git/HEAD
printf 'b' >src/backup.BAK

run_tool pack src a.pack --exclude .git --exclude '*.bak'
expect_rc 0 "pack with links"
expect_text "$ERR" "updpack: warning: skipping subfolder src/.git: excluded by --exclude .git
updpack: warning: skipping link src/alias.txt: links are not packed
updpack: warning: skipping file src/backup.BAK: excluded by --exclude *.bak
updpack: warning: skipping link src/dangling: links are not packed
updpack: warning: skipping link src/dirlink: links are not packed
updpack: warning: skipping file src/dot.: its name ends in a dot or a blank, which Windows drops
updpack: warning: skipping special file src/fifo: only ordinary files are packed
updpack: warning: skipping link src/leak.txt: links are not packed
updpack: warning: skipping subfolder src/sub: an archive holds the files of one folder only" \
  "one warning for each entry skipped"
run_tool list a.pack
expect_text "$OUT" "compression: 0
data start: 33
.settings	1	2	1
a.txt	2	3	1" "only the ordinary files are packed"
if grep -q secret a.pack; then fail "a link's target reached the archive"; fi

# An older archive inside the folder is replaced, not packed, with links
# there or not.
rm -r src/.git src/backup.BAK 'src/dot.'
run_tool pack src src/self.pack
expect_rc 0 "pack into its own folder, the first time"
run_tool pack src src/self.pack
expect_rc 0 "pack into its own folder, links present"
run_tool list src/self.pack
expect_text "$OUT" "compression: 0
data start: 33
.settings	1	2	1
a.txt	2	3	1" "the older archive is not an entry"
rm src/leak.txt src/alias.txt src/dirlink src/dangling
run_tool pack src src/self.pack
expect_rc 0 "pack into its own folder"
run_tool list src/self.pack
expect_text "$OUT" "compression: 0
data start: 33
.settings	1	2	1
a.txt	2	3	1" "the older archive is not an entry, no links"
[ "$(ls -A src | grep '^\.')" = .settings ] || fail "no temporary file stays"

# run with TMP unset works under TMPDIR.
rm -r src/sub src/fifo src/self.pack src/.settings
printf 'mkdir {app}\\made\n' >s.txt
make_stub stub.exe
mkdir pkg
run_tool build --payload src --script s.txt --stub stub.exe -o pkg/u.exe
expect_rc 0 "build"
mkdir tmpdir
env -u TMP TMPDIR="$WORK/tmpdir" "$UPDPACK" run pkg/u.exe --yes --log run.log >"$OUT" 2>"$ERR"
RC=$?
expect_rc 0 "run without TMP"
# The temporary folder was under TMPDIR, and went after success.
grep -qF "temporary folder: $WORK/tmpdir\\VLSFX_QUORIX" run.log && [ -z "$(ls -A tmpdir)" ] ||
  fail "the temporary folder is under TMPDIR"
[ -d pkg/made ] || fail "the script ran"

finish
