# diff -> build -> run --yes turns a copy of OLD into NEW byte for byte, on
# generated trees (nested and empty folders, Cyrillic names and blanks,
# files moved between folders, files that become folders and back).
. "$(dirname "$0")/common.bash"

export TMPDIR=$WORK/scratch # the tool's scratch folders, checked below
mkdir "$TMPDIR"
make_stub stub.exe 4096

NAMES=(a b.txt "c d.dat" Папка файл.bin Ёж "x y" lib readme.md Z.cfg)

# gen_tree DIR DEPTH: a few files and folders with names from NAMES.
gen_tree() {
  local dir=$1 depth=$2 i name
  mkdir -p "$dir"
  for ((i = RANDOM % 5; i > 0; i--)); do
    name=${NAMES[RANDOM % ${#NAMES[@]}]}
    [ -e "$dir/$name" ] && continue
    if [ "$depth" -lt 3 ] && [ $((RANDOM % 3)) = 0 ]; then
      gen_tree "$dir/$name" $((depth + 1))
    else
      head -c $((RANDOM % 3000)) /dev/urandom >"$dir/$name"
    fi
  done
}

# mutate DIR: changes, removals, moves, new files and folders.
mutate() {
  local dir=$1 path dirs target name
  mapfile -t dirs < <(find "$dir" -type d)
  while IFS= read -r path; do
    [ -e "$path" ] || continue
    case $((RANDOM % 8)) in
    0) head -c $((RANDOM % 3000)) /dev/urandom >"$path" ;;      # changed
    1) rm "$path" ;;                                             # removed
    2) printf 'same size!' | head -c "$(stat -c %s "$path")" >"$path.n" 2>/dev/null
       [ "$(stat -c %s "$path.n")" = "$(stat -c %s "$path")" ] && mv "$path.n" "$path"
       rm -f "$path.n" ;;                                        # changed in place
    3) target=${dirs[RANDOM % ${#dirs[@]}]}                      # moved
       [ -d "$target" ] && [ ! -e "$target/${path##*/}" ] && mv "$path" "$target/" ;;
    4) rm "$path" && mkdir "$path" && printf 'now a folder' >"$path/in" ;;
    esac
  done < <(find "$dir" -type f)
  for path in "${dirs[@]}"; do
    [ -d "$path" ] && [ "$path" != "$dir" ] || continue
    case $((RANDOM % 6)) in
    0) rm -r "$path" ;;                                          # gone
    1) rm -r "$path" && printf 'now a file' >"$path" ;;
    esac
  done
  for ((i = RANDOM % 4; i >= 0; i--)); do
    mapfile -t dirs < <(find "$dir" -type d)
    target=${dirs[RANDOM % ${#dirs[@]}]}
    name=${NAMES[RANDOM % ${#NAMES[@]}]}
    [ -e "$target/$name" ] && continue
    if [ $((RANDOM % 2)) = 0 ]; then
      mkdir "$target/$name"                                      # new, empty
    else
      head -c $((RANDOM % 3000)) /dev/urandom >"$target/$name"
    fi
  done
}

for seed in 1 2 3 4 5 6 7 8; do
  RANDOM=$seed
  rm -rf old new inst
  gen_tree old 0
  gen_tree old/Вложенная 1
  cp -r old new
  mutate new
  run_tool diff old new --build "update$seed.exe" --stub stub.exe -o "update$seed.txt"
  expect_rc 0 "diff --build, seed $seed"
  cp -r old inst
  mv "update$seed.exe" inst/update.exe
  run_tool run inst/update.exe --yes
  expect_rc 0 "run, seed $seed"
  rm inst/update.exe
  diff -r inst new >/dev/null || {
    fail "seed $seed: the installed folder differs from NEW"
    diff -r inst new | head -5 >&2
    sed 's/^/  script: /' "update$seed.txt" | head -40 >&2
  }
done
[ -z "$(ls -A "$TMPDIR")" ] || fail "scratch folders are removed: $(ls -A "$TMPDIR")"

# The sample product of examples/, as `make package` builds it.
EXAMPLES=$(cd "$(dirname "$0")/../../examples" && pwd)
rm -rf inst
cp -r "$EXAMPLES/v1.0" inst
run_tool diff "$EXAMPLES/v1.0" "$EXAMPLES/v1.1" --build inst/example-update.exe --stub stub.exe
expect_rc 0 "diff --build of the examples"
run_tool run inst/example-update.exe --yes
expect_rc 0 "run of the example update"
rm inst/example-update.exe
diff -r inst "$EXAMPLES/v1.1" >/dev/null || fail "the example update turns v1.0 into v1.1"

# The same in two steps, and an identical pair.
rm -rf old new
mkdir -p old/data new/data/logs
printf 'v1' >old/app.exe
printf 'v2' >new/app.exe
printf 'log' >"new/data/logs/a long name of a log.txt"
run_tool diff old new -o step.txt
expect_rc 0 "diff -o"
expect_text step.txt "# Turns an installed old into new; written by updpack diff.
# Build it: updpack build --from new --script THIS_FILE --expect old -o update.exe

mkdir   {app}\\data\\logs
install app.exe  {app}\\app.exe
install \"data/logs/a long name of a log.txt\"  \"{app}\\data\\logs\\a long name of a log.txt\"" "diff text"
# The command the header suggests works as pasted into a shell, also for
# folders whose names hold a blank or a quote.
cp -r old "old v1" && cp -r new "it's new"
run_tool diff "old v1" "it's new" -o quoted.txt
expect_rc 0 "diff of folders with a blank and a quote"
suggested=$(sed -n 's/^# Build it: updpack //p' quoted.txt)
RC=none
eval "run_tool ${suggested/THIS_FILE/quoted.txt} --stub stub.exe" 2>/dev/null
expect_rc 0 "the suggested build: $suggested"
run_tool build --store --from new --script step.txt -o step.exe --stub stub.exe
expect_rc 0 "build --from"
run_tool list step.exe
expect_rc 0 "list of a package"
expect_text "$OUT" "archive start: $(($(manifest_end step.exe) + 1))
compression: 0
data start: 87
app.exe	1	3	2
f1.txt	3	6	3
script	6	201	195
~updpack.tim	201	262	61
~updpack.sum	262	364	102" "list finds the archive through the trailer"
mkdir unpacked
run_tool extract step.exe unpacked
expect_rc 0 "extract of a package"
[ "$(cat unpacked/f1.txt)" = log ] && [ "$(cat unpacked/app.exe)" = v2 ] || fail "extracted entries"
run_tool diff new new -o same.txt
expect_rc 0 "diff of equal trees"
expect_contains "$ERR" "warning: new and new hold the same files" "nothing to do"

# Errors of diff and build --from name their path or their line.
mkdir -p long/old long/new/data
printf 'x' >"long/new/data/$(printf '%042d' 0)"
run_tool diff long/old long/new -o long.txt
expect_rc 0 "a target of 49 bytes is no error: it goes into the long script"
expect_contains long.txt "{app}\\data\\$(printf '%042d' 0)" "the long target"

printf 'install app.exe {app}\\app.exe\ninstall  missing.bin {app}\\m\ninstall ../old/app.exe {app}\\x\n' >from.txt
run_tool build --from new --script from.txt -o from.exe --stub stub.exe
expect_rc 1 "build --from with missing files"
expect_text "$ERR" "from.txt:2:10: error: no file missing.bin in the product folder new
install  missing.bin {app}\\m
         ^
from.txt:3:9: error: the product file must stay inside the product folder (no ..)
install ../old/app.exe {app}\\x
        ^" "build --from errors"
[ ! -e from.exe ] || fail "nothing built after errors"

# build --payload: the folder as it is, and the script compiled into it.
mkdir payload
printf 'p' >payload/app.exe
printf 'copy {temp}\\app.exe {app}\\app.exe\n' >p.txt
run_tool build --payload payload --script p.txt -o p.exe --stub stub.exe
expect_rc 0 "build --payload"
run_tool script show p.exe
expect_text "$OUT" 'copy    {temp}\app.exe          {app}\app.exe' "script of --payload"
printf 'old' >payload/SCRIPT
run_tool build --payload payload --script p.txt -o p2.exe --stub stub.exe
expect_rc 1 "a payload with a script and --script"
expect_text "$ERR" "updpack: payload/SCRIPT is a script already; give --script or keep the file, not both" "two scripts"
mv payload/SCRIPT payload/~updpack.sum
run_tool build --payload payload -o p2.exe --stub stub.exe
expect_rc 1 "the checksum name is kept"
expect_contains "$ERR" "~updpack.sum is kept for the tool" "reserved name"
[ ! -e p2.exe ] || fail "nothing built"

# The default stub: beside the tool, or in ../share/updpack/.
mkdir -p beside prefix/bin prefix/share/updpack
cp "$UPDPACK" beside/updpack
cp "$UPDPACK" prefix/bin/updpack
make_stub beside/updpack-stub.exe 700
make_stub prefix/share/updpack/updpack-stub.exe 900
# TOOL|STUB: the package begins with the stub taken, its manifest after it.
while IFS='|' read -r tool stub; do
  "$tool" build --from new --script step.txt -o default.exe 2>"$ERR"
  RC=$?
  expect_rc 0 "default stub of $tool"
  cmp -s -n 700 "$stub" default.exe || fail "$tool uses its stub"
  "$tool" list default.exe | head -1 >"$OUT"
  expect_text "$OUT" "archive start: $(($(manifest_end default.exe) + 1))" "$tool puts the archive after the manifest"
done <<'TABLE'
beside/updpack|beside/updpack-stub.exe
prefix/bin/updpack|prefix/share/updpack/updpack-stub.exe
TABLE
rm prefix/share/updpack/updpack-stub.exe
prefix/bin/updpack build --from new --script step.txt -o none.exe 2>"$ERR"
RC=$?
expect_rc 1 "no default stub"
expect_contains "$ERR" "no program image installed with the tool: looked for" "no stub"
[ -z "$(ls -A "$TMPDIR")" ] || fail "scratch folders are removed after failures"

# A name that changes only in case is the same file or folder, as on
# Windows: it keeps its old spelling, a second run is up to date, and what
# the user has put into the folder since stays.
mkdir -p case/old/Lib case/new/lib
printf 'same' >case/old/app.exe
printf 'same' >case/new/App.exe
printf 'l1' >case/old/Lib/x.dll
printf 'l2' >case/new/lib/x.dll
make_stub case/stub.bin
run_tool diff case/old case/new -o case/s.txt --build case/p.exe --stub case/stub.bin
expect_rc 0 "diff of names changed in case"
grep -q '^rmdir\|^delete\|^mkdir' case/s.txt && fail "a case change deletes or makes: $(cat case/s.txt)"
cp -r case/old case/run
cp case/p.exe case/run/update.exe
run_tool run case/run/update.exe --yes
expect_rc 0 "the update of names changed in case"
printf 'mine' >case/run/Lib/user.cfg
run_tool run case/run/update.exe --yes
expect_rc 0 "the second run"
expect_contains "$ERR" "уже обновлен" "the second run is up to date"
[ "$(cat case/run/Lib/x.dll)" = l2 ] && [ "$(cat case/run/Lib/user.cfg)" = mine ] &&
  [ -e case/run/app.exe ] || fail "the folder after the case change: $(ls -R case/run)"

# A link in the old version is skipped with a warning; where the new one
# has a file or folder of that name, the run could never replace it: an
# error naming it.
mkdir -p links/old links/new
printf 't' >links/old/target
ln -s target links/old/x
ln -s target links/old/lonely
printf 'file' >links/new/x
run_tool diff links/old links/new
expect_rc 1 "diff with a link in the old version under a new file"
expect_contains "$ERR" "skipping links/old/lonely: only files and folders are compared" "the old link is named"
expect_contains "$ERR" "error: x: a link or special file in the old version" "the clash is named"

# A package built into either version's folder is no product file of the
# next build there, nor is the script written there: building twice ships
# the same files, deletes none, and applies. FOLDER the package and the
# script go into.
for folder in new old; do
  rm -rf inside && mkdir -p inside/old inside/new
  make_stub inside/stub.bin
  printf 'v1' >inside/old/app.txt
  printf 'v2' >inside/new/app.txt
  for build in first second; do
    run_tool diff inside/old inside/new -o inside/$folder/s.txt --build inside/$folder/update.exe --stub inside/stub.bin
    expect_rc 0 "the $build build into the $folder folder"
  done
  grep -q '^\(install\|delete\).*\(update.exe\|s.txt\)' inside/$folder/s.txt &&
    fail "the earlier package or script in the $folder folder is a product file: $(cat inside/$folder/s.txt)"
  mkdir inside/run && cp inside/old/app.txt inside/$folder/update.exe inside/run/
  run_tool run inside/run/update.exe --yes
  expect_rc 0 "the package built into the $folder folder applies"
done

# A product file is neither: an output over one in either folder is
# refused and the file kept. OPTION|the file it names (under inside/).
while IFS='|' read -r option file; do
  cp "inside/$file" kept.copy
  extra=()
  [ "$option" = -o ] || extra=(--stub inside/stub.bin)
  run_tool diff inside/old inside/new "$option" "inside/$file" "${extra[@]}"
  expect_rc 1 "diff $option over the product file $file"
  expect_contains "$ERR" "the output would overwrite inside/$file, a product file" "diff $option names $file"
  expect_same_bytes kept.copy "inside/$file" "the product file $file is kept"
done <<'TABLE'
--build|new/app.txt
-o|old/app.txt
--build|old/s.txt
-o|old/update.exe
TABLE

# The names the install works under are refused, in any folder and case.
for kept in '~updpack.new' 'sub/~UPDPACK.BAK' '~updpack.del'; do
  rm -rf kept && mkdir -p kept/old "kept/new/$(dirname "$kept")"
  printf 'x' >"kept/new/$kept"
  run_tool diff kept/old kept/new
  expect_rc 1 "diff with $kept"
  expect_contains "$ERR" "is a name the update's run keeps for itself" "$kept is named"
done

# So are they in a hand-written script, wherever a record that the run
# carries out names them on its way, as Windows reads the name; a record
# the run ignores (op 7) may name them. Line and column point at the path.
mkdir -p hand/prod && printf 'x' >hand/prod/a.txt
while IFS='|' read -r mode line column; do
  if [ "$mode" = from ]; then
    verb='install a.txt' source=(--from hand/prod)
  else
    verb='copy {temp}\a.txt' source=(--payload hand/prod)
  fi
  {
    printf 'op 7 {temp}\\x {app}\\~updpack.new\n'
    printf '%s {app}\\ok.txt\n' "$verb"
    printf '%s {app}\\~UpdPack.New.\n' "$verb"
    printf 'mkdir {app}\\d\\~updpack.bak\\e\n'
  } >hand/s.txt
  run_tool build "${source[@]}" --script hand/s.txt -o hand/p.exe --stub inside/stub.bin
  expect_rc 1 "build --$mode with the run's own names"
  expect_contains "$ERR" "s.txt:$line:$column: error: \"~UpdPack.New\" is a name the update's run keeps for itself" "--$mode: the copy's target"
  expect_contains "$ERR" 's.txt:4:7: error: "~updpack.bak" is a name' "--$mode: a folder on the way"
  [ "$(grep -c 'keeps for itself' "$ERR")" = 2 ] || fail "--$mode: op 7 is refused too"
  [ -e hand/p.exe ] && fail "--$mode: a package was written"
done <<'EOF2'
from|3|15
payload|3|19
EOF2

# A copy or mkdir whose new file or folder Windows refuses (a device's
# name, a reserved character) would fail every run too: refused at the
# target's line and column. Deletions pass (a device is found only in a
# folder that exists), as do a trailing dot Windows drops and op 7.
# LINE|COLUMN|REFUSED NAME (none: the build passes)
while IFS='|' read -r line column name; do
  printf '%s\n' "$line" >hand/bad.txt
  run_tool build --payload hand/prod --script hand/bad.txt -o hand/bad.exe --stub inside/stub.bin
  if [ -z "$name" ]; then
    expect_rc 0 "build with: $line"
    continue
  fi
  expect_rc 1 "build with: $line"
  expect_contains "$ERR" "bad.txt:1:$column: error: the record makes a name Windows refuses, and every run fails there: \"$name\"" "$line"
  [ -e hand/bad.exe ] && fail "$line: a package was written"
done <<'EOF2'
copy {temp}\a.txt {app}\a:b|19|a:b
copy {temp}\a.txt {app}\sub\NUL.txt|19|NUL.txt
copy {temp}\a.txt {app}\файл?|19|файл?
mkdir {app}\LPT1|7|LPT1
mkdir {app}\d\com2\|7|com2
delete {app}\CON||
rmdir {app}\Aux||
delete {app}\CON*||
copy {temp}\a.txt {app}\a.txt.||
op 7 {temp}\x {app}\CON||
EOF2
# A copy from a path that ends in a separator names no file (from {temp},
# the payload holds no such file: tests/cli/build_run.sh).
rm -f hand/bad.exe
for source in '{app}\a.txt\' '{app}\sub/ '; do
  printf 'copy %s {app}\\b.txt\n' "$source" >hand/bad.txt
  run_tool build --payload hand/prod --script hand/bad.txt -o hand/bad.exe --stub inside/stub.bin
  expect_rc 1 "build with a copy from $source"
  expect_contains "$ERR" "bad.txt:1:6: error: the record copies a path that ends in a separator, which names no file, and every run fails there" "copy from $source"
  [ -e hand/bad.exe ] && fail "copy from $source: a package was written"
done

# Every record that verify faults in a package fails its build, at the
# path's line and column, in verify's words, an error for each fault of
# the record; a record verify only warns of builds, with verify's warning.
# Each line is built from a script (--from or --payload, stored or
# compressed; "ready": only as below, a text script refuses it in its own
# words). Its compiled records, ready in a payload folder and in an
# archive packed from it, fail those builds so, each fault named by the
# record's number in verify's words, until --unchecked builds the package
# that verify then faults.
# LONG stands for a name of 256 characters, FAR for a path of 32,760 below
# its folder or a drive's root (names of 200), which Windows takes from no
# folder; COLUMNS
# and WHAT hold one entry for each fault, "+" between them.
# MODE|OPTION|LINE|BUILD'S EXIT|COLUMNS|WHAT VERIFY SAYS OF RECORD 1
long=$(printf 'a%.0s' $(seq 256))
far=$(printf "$(printf 'n%.0s' $(seq 200))\\\\%.0s" $(seq 162))$(printf 'n%.0s' $(seq 198))
[ ${#far} = 32760 ] || fail "FAR is ${#far} bytes"
mkdir -p faults/bin
printf 'x' >faults/bin/a.txt
while IFS='|' read -r mode option line rc columns whats; do
  line=${line//LONG/$long}
  line=${line//FAR/$far}
  IFS='+' read -ra columns <<<"$columns"
  IFS='+' read -ra whats <<<"$whats"
  printf '%s\n' "$line" >faults/s.txt
  rm -f faults/p.exe
  if [ "$mode" != ready ]; then
    run_tool build ${option:+"$option"} "--$mode" hand/prod --script faults/s.txt -o faults/p.exe --stub inside/stub.bin
    expect_rc "$rc" "build ${option:+$option }--$mode of: $line"
    if [ "$rc" = 1 ]; then
      for k in "${!whats[@]}"; do
        expect_contains "$ERR" "s.txt:1:${columns[$k]}: error: the record ${whats[$k]}" "build of: $line"
      done
      [ "$(grep -c ': error: ' "$ERR")" = "${#whats[@]}" ] || fail "build of: $line: ${#whats[@]} errors: $(cat "$ERR")"
      [ -e faults/p.exe ] && fail "$line: a package was written"
    else
      expect_contains "$ERR" "updpack: warning: record 1 ${whats[0]}" "build warns of: $line"
      run_tool verify faults/p.exe
      expect_rc 0 "verify of the package built with: $line"
      expect_contains "$OUT" "  warning:     record 1 ${whats[0]}" "verify warns of: $line"
    fi
  fi
  [ "$mode" = from ] && continue
  # The same records as a ready script, the payload folder's and an
  # archive's.
  rm -f faults/bin/script faults/bin/~updpack.scr faults/a.pack
  run_tool script compile faults/s.txt faults/bin/script
  expect_rc 0 "script compile of: $line"
  entry=script
  # A path longer than a record holds goes into the long script's entry.
  if [ "$(head -c 16 faults/bin/script | tr -d '\0')" = 'updpack script 2' ]; then
    entry=~updpack.scr
    mv faults/bin/script "faults/bin/$entry"
  fi
  run_tool pack faults/bin faults/a.pack
  for ready in "--payload faults/bin|faults/bin/$entry" "--archive faults/a.pack|faults/a.pack"; do
    IFS='|' read -r given where <<<"$ready"
    # shellcheck disable=SC2086 # the option and its folder or file
    run_tool build ${option:+"$option"} $given -o faults/v.exe --stub inside/stub.bin
    expect_rc "$rc" "build $given of: $line"
    if [ "$rc" = 1 ]; then
      cp "$ERR" faults/refused.txt
      [ -e faults/v.exe ] && fail "$given: $line: a package was written"
      # shellcheck disable=SC2086
      run_tool build ${option:+"$option"} --unchecked $given -o faults/v.exe --stub inside/stub.bin
      expect_rc 0 "build --unchecked $given of: $line"
      for what in "${whats[@]}"; do
        expect_contains "$ERR" "updpack: warning: record 1 $what" "build --unchecked $given warns of: $line"
      done
    else
      expect_contains "$ERR" "updpack: warning: record 1 ${whats[0]}" "build $given warns of: $line"
    fi
    run_tool verify faults/v.exe
    expect_rc "$rc" "verify of: $line"
    if [ "$rc" = 1 ]; then
      for what in "${whats[@]}"; do
        expect_contains "$OUT" "  FAULT:       record 1 $what" "verify of: $line"
      done
      # The build's errors are verify's faults, one for one.
      sed -n "s|^  FAULT:       |$where: error: |p" "$OUT" >faults/faults.txt
      cmp -s faults/refused.txt faults/faults.txt ||
        fail "build $given of: $line: $(cat faults/refused.txt) is not $(cat faults/faults.txt)"
    else
      expect_contains "$OUT" "  warning:     record 1 ${whats[0]}" "verify of the package built $given with: $line"
    fi
    rm -f faults/v.exe
  done
done <<'TABLE'
payload|--store|copy "" {app}\x.txt|1|7|copies an empty path, which names no file, and every run fails there
payload||copy {temp} {app}\x|1|6|copies {temp} or {app} itself, a folder and no file, and every run fails there
payload|--store|copy {app}\sub\.. {app}\x|1|6|copies {temp} or {app} itself, a folder and no file, and every run fails there
payload||copy {temp}\a.txt {app}|1|19|copies onto {temp} or {app} itself, a folder, and every run fails there
from|--store|install a.txt {temp}\sub\..|1|15|copies onto {temp} or {app} itself, a folder, and every run fails there
payload|--store|copy {app}\a.txt {app}\.\A.TXT.|1|18|copies a file onto itself, and every run fails there
payload||copy {temp}\a.txt {temp}\A.TXT|1|19|copies a file onto itself, and every run fails there
from||install a.txt {temp}\A.TXT|1|15|copies a file onto itself, and every run fails there
payload||copy {app}\LONG\x {app}\x|1|6|copies a path with a name longer than Windows makes one (255 characters), and every run fails there
payload|--store|copy {app}\x\ {app}\y|1|6|copies a path that ends in a separator, which names no file, and every run fails there
payload||copy {temp}\. {app}\x|1|6|copies {temp} or {app} itself, a folder and no file, and every run fails there
ready|--store|copy {temp}\.\y.txt {app}\x|1|0|copies {temp}\y.txt, which the package does not hold
ready||copy {temp}\sub\..\y.txt {app}\x|1|0|copies {temp}\y.txt, which the package does not hold
payload||rmdir {temp}|1|7|removes {temp} or {app} itself, where the run works, and every run fails there
payload||mkdir {app}\...\new|1|7|goes through a folder "...", which Windows reads as ".." and refuses, and every run fails there
payload|--store|rmdir {temp}\.|1|7|removes {temp} or {app} itself, where the run works, and every run fails there
payload||mkdir {app}\d\com2\|1|7|makes a name Windows refuses, and every run fails there
payload|--store|copy {app}\x\ {app}\CON|1|6+15|copies a path that ends in a separator, which names no file, and every run fails there+makes a name Windows refuses, and every run fails there
payload||copy "" {app}|1|7+9|copies an empty path, which names no file, and every run fails there+copies onto {temp} or {app} itself, a folder, and every run fails there
from|--store|install a.txt {app}\a:b|1|15|makes a name Windows refuses, and every run fails there
ready|--store|copy {temp}\a.txt {app}\~UPDPACK.DEL|1|0|names a file or folder as the run names its own work (~updpack.new, ~updpack.bak, ~updpack.del): the run fails there, or a later one takes it for its own
ready||mkdir {app}\d\~updpack.bak.\e|1|0|names a file or folder as the run names its own work (~updpack.new, ~updpack.bak, ~updpack.del): the run fails there, or a later one takes it for its own
ready||copy {temp}\a.txt {temp}\~UpdPack.New|1|0|names a file or folder as the run names its own work (~updpack.new, ~updpack.bak, ~updpack.del): the run fails there, or a later one takes it for its own
ready|--store|delete {app}\~updpack.bak\*|1|0|names a file or folder as the run names its own work (~updpack.new, ~updpack.bak, ~updpack.del): the run fails there, or a later one takes it for its own
ready|--store|mkdir {app}\FAR|1|0|holds a path longer than Windows takes (32,767 UTF-16 units with \\?\ and its NUL, even with {app} at C:\ and {temp} at C:\VLSFX_QUORIX), and every run fails there
ready||copy {temp}\a.txt {temp}\FAR|1|0|holds a path longer than Windows takes (32,767 UTF-16 units with \\?\ and its NUL, even with {app} at C:\ and {temp} at C:\VLSFX_QUORIX), and every run fails there
ready||copy {app}\FAR {app}\x|1|0|holds a path longer than Windows takes (32,767 UTF-16 units with \\?\ and its NUL, even with {app} at C:\ and {temp} at C:\VLSFX_QUORIX), and every run fails there
ready||rmdir \FAR|1|0|holds a path longer than Windows takes (32,767 UTF-16 units with \\?\ and its NUL, even with {app} at C:\ and {temp} at C:\VLSFX_QUORIX), and every run fails there
ready|--store|copy {temp}\a.txt \\s\h\FAR|1|0|holds a path longer than Windows takes (32,767 UTF-16 units with \\?\ and its NUL, even with {app} at C:\ and {temp} at C:\VLSFX_QUORIX), and every run fails there
payload|--store|copy {temp}\a.txt {app}\CON\x.txt|0||goes through a folder named as a device
from||install a.txt C:\x.txt|0||works outside {app} and {temp}
TABLE

finish
