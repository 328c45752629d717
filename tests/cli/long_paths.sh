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


# Paths past Linux's PATH_MAX (4,096 bytes), which Windows takes up to
# 32,767 UTF-16 units: chains of 250-character folders. The shell's tools
# take no such path whole, so trees.py works from open folders:
#   mk DIR... [FILE=TEXT]...  makes each folder DIR (ending in "/"), each
#                             FILE with TEXT, and the folders on their way
#   put PACKAGE DIR      empties DIR, copies old/ and then PACKAGE into it
#   add PACKAGE DIR      copies PACKAGE into DIR
#   show DIR             lists a tree, each file with its text (no packages)
#   has DIR NAME         whether DIR holds NAME
cat >trees.py <<'PY2'
import os, stat, sys
def reach(path, make=False):
    fd = os.open("/", os.O_RDONLY)
    for p in os.path.abspath(path).split("/")[1:]:
        if make:
            try:
                os.mkdir(p, dir_fd=fd)
            except FileExistsError:
                pass
        n = os.open(p, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = n
    return fd
def entries(fd):
    for e in sorted(os.listdir(fd)):
        if stat.S_ISDIR(os.stat(e, dir_fd=fd, follow_symlinks=False).st_mode):
            sub = os.open(e, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            yield e, sub
            os.close(sub)
        else:
            yield e, None
def read(fd, name):
    f = os.open(name, os.O_RDONLY, dir_fd=fd)
    data = os.read(f, 1 << 20)
    os.close(f)
    return data
def write(fd, name, data):
    f = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=fd)
    os.write(f, data)
    os.close(f)
def show(fd, rel=""):
    for e, sub in entries(fd):
        if sub is not None:
            print(rel.replace("e" * 250, "E") + e.replace("e" * 250, "E") + "/")
            show(sub, rel + e + "/")
        elif not e.endswith(".exe"):
            print(rel.replace("e" * 250, "E") + e, read(fd, e))
def copy(src, dst):
    for e, sub in entries(src):
        if sub is None:
            write(dst, e, read(src, e))
            continue
        os.mkdir(e, dir_fd=dst)
        to = os.open(e, os.O_RDONLY | os.O_DIRECTORY, dir_fd=dst)
        copy(sub, to)
        os.close(to)
def clear(fd):
    for e, sub in entries(fd):
        if sub is None:
            os.unlink(e, dir_fd=fd)
        else:
            clear(sub)
            os.rmdir(e, dir_fd=fd)
verb, where = sys.argv[1], sys.argv[2]
if verb == "mk":
    for spec in sys.argv[2:]:
        path, _, text = spec.partition("=")
        folder, _, name = path.rpartition("/")
        fd = reach(folder, True)
        if name:
            write(fd, name, text.encode())
        os.close(fd)
elif verb in ("put", "add"):
    fd = reach(sys.argv[3])
    if verb == "put":
        clear(fd)
        copy(reach("old"), fd)
    write(fd, where, open(where, "rb").read())
elif verb == "show":
    show(reach(where))
elif verb == "has":
    try:
        os.stat(sys.argv[3], dir_fd=reach(where), follow_symlinks=False)
    except FileNotFoundError:
        sys.exit(1)
PY2
trees() { python3 -S "$WORK/trees.py" "$@"; }
n250=$(printf 'e%.0s' {1..250})
chain=$(printf "$n250/%.0s" {1..17})
chain=${chain%/} # 4,266 characters
wchain=${chain//\//\\}
mkdir payload && printf 'made' >payload/made.txt && printf 'bb' >payload/chg.txt
{
  printf 'rmdir   {app}\\gone\n'
  printf 'delete  "{app}\\keep\\%s\\del.txt"\n' "$wchain"
  folder='{app}\new'
  printf 'mkdir   "%s"\n' "$folder"
  for _ in {1..17}; do
    folder="$folder\\$n250"
    printf 'mkdir   "%s"\n' "$folder"
  done
  printf 'copy    {temp}\\made.txt "%s\\made.txt"\n' "$folder"
  printf 'copy    {temp}\\chg.txt "{app}\\keep\\%s\\chg.txt"\n' "$wchain"
} >deep.txt
run_tool build --payload payload --script deep.txt -o deep.exe --stub stub.exe
expect_rc 0 "build of a script past PATH_MAX"
deeptmp="$WORK/deeptmp/$chain" program="$WORK/deepprog/$chain"
trees mk "old/gone/$chain/old.txt=old" "old/keep/$chain/del.txt=del" "old/keep/$chain/chg.txt=a" \
  "want/keep/$chain/chg.txt=bb" "want/new/$chain/made.txt=made" "$deeptmp/" "$program/" shallow/
old=$(trees show old) want=$(trees show want)
# same DIR TREE WHAT: DIR holds the tree listed in TREE (packages aside).
same() {
  local now
  now=$(trees show "$1")
  [ "$now" = "$2" ] || fail "$3: $(diff <(echo "$now") <(echo "$2") | head -5)"
}

# Each row: the program folder, the TMP the run unpacks in.
for row in "$WORK/shallow:$TMP" "$WORK/shallow:$deeptmp" "$program:$TMP"; do
  dest=${row%%:*} tmp=${row#*:} what="run past PATH_MAX, row ...${row: -20}"
  trees put deep.exe "$dest"
  TMP=$tmp run_tool run "$dest/deep.exe" --yes
  expect_rc 0 "$what"
  same "$dest" "$want" "$what"
  [ -z "$(trees show "$tmp")" ] || fail "$what: TMP is left dirty"
done

# The pre-flight past PATH_MAX finds a record that would fail (no folder
# "none", a file the package lacks) and changes nothing.
for row in "none\\x.txt:{temp}\\made.txt" "x.txt:{temp}\\lacking.txt"; do
  IFS=: read -r target source <<<"$row"
  { cat deep.txt && printf 'copy    %s "{app}\\keep\\%s\\%s"\n' "$source" "$wchain" "$target"; } >failing.txt
  run_tool build --payload payload --script failing.txt -o failing.exe --stub stub.exe
  trees put failing.exe "$program"
  run_tool run "$program/failing.exe" --yes
  expect_rc 4 "the pre-flight past PATH_MAX, $target"
  expect_contains "$ERR" "$target» не соответствует этой версии." "the pre-flight past PATH_MAX names $target"
  same "$program" "$old" "the pre-flight past PATH_MAX, $target"
done

# base_exe NAME RECORD: NAME.exe, a package of the base format whose
# payload is NAME/ (made if missing) and whose script is the one RECORD.
base_exe() {
  mkdir -p "$1" && printf '%s\n' "$2" >"$1.txt"
  run_tool script compile "$1.txt" "$1/script"
  run_tool pack "$1" "$1.pack"
  { cat stub.exe "$1.pack"; trailer 4097; } >"$1.exe"
}

# A package of the base format (65-byte records) in a program folder and
# with a TMP past PATH_MAX: its temporary folder stays after success.
mkdir plain && printf 'p' >plain/p.txt
base_exe plain 'copy    {temp}\p.txt {app}\p.txt'
trees put plain.exe "$program"
TMP=$deeptmp run_tool run "$program/plain.exe" --yes
expect_rc 0 "a package of the base format past PATH_MAX"
grep -qx "p.txt b'p'" <<<"$(trees show "$program")" || fail "the base format's copy past PATH_MAX"
grep -qx "VLSFX_QUORIX/p.txt b'p'" <<<"$(trees show "$deeptmp")" ||
  fail "the base format's temporary folder past PATH_MAX stays"

# A file missing from a folder past PATH_MAX is a file not found, as on
# Windows, not a path not found.
base_exe lacking 'copy    {temp}\none.txt {app}\none.txt'
trees add lacking.exe "$program"
TMP=$deeptmp run_tool run "$program/lacking.exe" --yes
expect_rc 1 "a file missing past PATH_MAX"
expect_contains "$ERR" "Файл не найден: $deeptmp\\VLSFX_QUORIX\\none.txt (" "a file missing past PATH_MAX"

# The running package's own file past PATH_MAX, which Windows holds while
# the program runs, is not deleted: the record fails.
base_exe self 'delete  {app}\self.exe'
trees add self.exe "$program"
run_tool run "$program/self.exe" --yes
expect_rc 1 "a deletion of the running package past PATH_MAX"
trees has "$program" self.exe ||
  fail "the running package past PATH_MAX was deleted"

# run_in DIR ARGS...: run_tool with DIR, past PATH_MAX, as the current folder.
run_in() {
  python3 -c 'import os, sys
for p in sys.argv[1].split("/"):
    os.chdir(p or "/")
os.execv(sys.argv[2], sys.argv[2:])' "$1" "$UPDPACK" "${@:2}" >"$OUT" 2>"$ERR"
  # shellcheck disable=SC2034 # expect_rc reads it
  RC=$?
}

# A relative package name in a current folder past PATH_MAX.
trees put deep.exe "$program"
run_in "$program" run deep.exe --yes
same "$program" "$want" "a run in a current folder past PATH_MAX"

# Past what Windows takes: a folder whose \\?\ path would be over 32,767
# units fails as on Windows (a bad file name, naming it), and the records
# before it (a folder removed, a file replaced, folders made) are rolled
# back.
far="$WORK/far"
for _ in {1..129}; do far="$far/$n250"; done # some 32,410 characters
trees mk "$far/gone/$n250/old.txt=old" "$far/chg.txt=a"
{
  printf 'rmdir   {app}\\gone\n'
  printf 'copy    {temp}\\chg.txt {app}\\chg.txt\n'
  printf 'mkdir   {app}\\before\n'
  printf 'mkdir   "{app}\\before\\%s"\n' "$n250"
  printf 'mkdir   "{app}\\before\\%s\\%s"\n' "$n250" "$n250"
} >far.txt
run_tool build --payload payload --script far.txt -o far.exe --stub stub.exe
expect_rc 0 "build of the package past 32,767"
before=$(trees show "$far")
trees add far.exe "$far"
run_tool run "$far/far.exe" --yes
expect_rc 1 "a path past 32,767 units"
grep -qF "Недопустимое имя файла: $far\\before\\$n250\\$n250 (Слишком длинное имя файла, код 206)" "$ERR" ||
  fail "the error names the folder past 32,767 units: $(tail -c 200 "$ERR")"
same "$far" "$before" "the rollback of the records before the one past 32,767"

# A relative path is made full from the current folder, as Windows makes
# it, before it is held to 32,767 units: in a current folder of some
# 32,730 characters a folder of one is made, one of 40 is a bad file name.
# NAME:exit of a package of the base format run by its relative name.
cwd=$far room=$((32730 - ${#far}))
while [ "$room" -gt 1 ]; do
  part=$((room > 251 ? 250 : room - 1))
  cwd="$cwd/$(printf 'p%.0s' $(seq "$part"))"
  room=$((room - part - 1))
done
trees mk "$cwd/"
for row in "x:0" "$(printf 'r%.0s' {1..40}):1"; do
  name=${row%:*} rc=${row#*:}
  base_exe "rel$rc" "mkdir   $name"
  trees add "rel$rc.exe" "$cwd"
  run_in "$cwd" run "rel$rc.exe" --yes
  expect_rc "$rc" "a relative folder of ${#name} characters in a current folder of 32,730"
  if [ "$rc" = 0 ]; then
    trees has "$cwd" "$name" || fail "the relative folder $name was not made"
  else
    expect_contains "$ERR" "Недопустимое имя файла: $name (Слишком длинное имя файла, код 206)" \
      "the relative folder of ${#name} characters past 32,767 units"
    ! trees has "$cwd" "$name" || fail "a relative folder past 32,767 units was made"
  fi
done

# The tool reads trees past PATH_MAX as the run does, a folder at a time:
# diff, and the package it builds (the expected state read from old/),
# which the run then turns into the new version.
run_tool diff old want -o deepdiff.txt --build deepdiff.exe --stub stub.exe
expect_rc 0 "diff past PATH_MAX"
expect_contains deepdiff.txt "delete  {app}\\keep\\$wchain\\del.txt" "diff past PATH_MAX"
trees put deepdiff.exe "$program"
run_tool run "$program/deepdiff.exe" --yes
expect_rc 0 "the run of a diff past PATH_MAX"
same "$program" "$want" "the run of a diff past PATH_MAX"

# The cost of a chain of new folders, each made by its own record below the
# last and a file copied to the bottom: each record's path is as many names
# long as it is deep. A look at every folder on the way of every record
# (and at every folder above each one missing) made twice the depth cost
# eight times the CPU and more; what is left grows with the script's size,
# four times. The CPU time (user and system, the best of two runs) of 400
# levels against that of 200.
chain_exe() {
  local folder='{app}'
  for _ in $(seq "$1"); do
    folder="$folder\\a"
    printf 'mkdir   "%s"\n' "$folder"
  done >"chain$1.txt"
  printf 'copy    {temp}\\made.txt "%s\\made.txt"\n' "$folder" >>"chain$1.txt"
  run_tool build --payload payload --script "chain$1.txt" -o "chain$1.exe" --stub stub.exe
  expect_rc 0 "build of a chain of $1 folders"
}
# chain_cpu DEPTH: CHAIN_MS, the CPU time of the best of two runs in ms.
chain_cpu() {
  local run ms TIMEFORMAT='%3U %3S'
  for run in 1 2; do
    rm -rf "chainprog$run" && mkdir "chainprog$run" && cp "chain$1.exe" "chainprog$run/"
    { time run_tool run "chainprog$run/chain$1.exe" --yes; } 2>chaintime.txt
    expect_rc 0 "the run of a chain of $1 folders"
    [ -f "chainprog$run/$(printf 'a/%.0s' $(seq "$1"))made.txt" ] ||
      fail "the chain of $1 folders was not made"
    ms=$(awk '{ printf "%d", ($1 + $2) * 1000 }' chaintime.txt)
    [ "$run" = 1 ] || [ "$ms" -lt "$CHAIN_MS" ] && CHAIN_MS=$ms
  done
  rm -rf chainprog1 chainprog2
}
# Timed in the plain build only: under the sanitizers the ratio measures
# their cost per call more than the run's, and the four runs took 14 s.
if [ "${UPDPACK_TIME_FACTOR:-1}" = 1 ]; then
  chain_exe 200 && chain_exe 400
  chain_cpu 200 && short=$CHAIN_MS
  chain_cpu 400 && long=$CHAIN_MS
  [ "$long" -le $((5 * short + 200)) ] ||
    fail "a chain of 400 new folders took $long ms of CPU, 200 took $short ms"
fi

# 3,000 levels of one-letter folders, within the descriptors a shell allows
# by default and a stack of an eighth of the usual 8 MB (a walk by calls
# overflowed 8 MB at 16,000 levels, about as deep as Windows goes): a file
# changed at the bottom, and one beside the chain's top, compared after the
# walk came back from the bottom. Deep trees are slow to remove: kept few.
ulimit -Sn 1024
ulimit -Ss 1024
letters=$(printf 'a/%.0s' {1..3000})
trees mk "l1/${letters}f.txt=1" l1/a/z.txt=z "l2/${letters}f.txt=22" l2/a/z.txt=y
run_tool diff l1 l2 -o letters.txt --build letters.exe --stub stub.exe
expect_rc 0 "diff of 3,000 levels"
expect_contains letters.txt "install a/z.txt  {app}\\a\\z.txt" "the file beside the chain"
expect_contains letters.txt "${letters}f.txt  " "the file at the bottom"

# build --payload, pack and extract with folders past PATH_MAX.
trees mk "deeppay/$chain/one.txt=1" "deeppay/$chain/two.txt=22" "deepout/$chain/"
run_tool build --payload "deeppay/$chain" -o deeppay.exe --stub stub.exe
expect_rc 0 "build --payload past PATH_MAX"
run_tool pack "deeppay/$chain" deeppay.pack
expect_rc 0 "pack past PATH_MAX"
run_tool list deeppay.pack
expect_contains "$OUT" "two.txt" "pack past PATH_MAX"
run_tool build --payload "deeppay/$chain" -o "deepout/$chain/deeppay.exe" --stub stub.exe
expect_rc 1 "an output past PATH_MAX"
expect_contains "$ERR" "the output path is longer than Linux takes whole (PATH_MAX, 4096 bytes): deepout/" \
  "an output past PATH_MAX"
run_tool extract deeppay.exe "deepout/$chain"
expect_rc 0 "extract past PATH_MAX"
[ "$(trees show deepout | grep -v '~updpack')" = "$(trees show deeppay)" ] ||
  fail "extract past PATH_MAX: $(trees show deepout | tail -c 300)"

# A path longer than a script's field (32,767 bytes, as Windows' paths;
# "{app}" is one byte there) is an error of diff naming it.
toolong=$(printf "$n250/%.0s" {1..131})
trees mk "long2/${toolong}x.txt=x" long1/
run_tool diff long1 long2 -o toolong.txt
expect_rc 1 "diff of a path past 32,767"
expect_contains "$ERR" "$n250/x.txt: the target is $((2 + ${#toolong} + 5)) bytes; a path holds at most 32767" \
  "diff of a path past 32,767"

finish
