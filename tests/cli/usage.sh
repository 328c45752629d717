# Usage errors exit 64 with the usage on stderr; --help exits 0 with the
# usage on stdout.
. "$(dirname "$0")/common.bash"

# Help of the tool and of every command.
for args in "--help" "-h" "help"; do
  run_tool $args
  expect_rc 0 "updpack $args"
  expect_contains "$OUT" "usage: updpack <command> [arguments]" "updpack $args"
  expect_empty "$ERR" "updpack $args stderr"
done
for command in pack extract list build run script diff; do
  for flag in --help -h; do
    run_tool "$command" "$flag"
    expect_rc 0 "$command $flag"
    expect_contains "$OUT" "usage: updpack $command " "$command $flag"
    expect_empty "$ERR" "$command $flag stderr"
  done
  run_tool help "$command"
  expect_rc 0 "help $command"
  expect_contains "$OUT" "usage: updpack $command " "help $command"
done
# Every option a command takes is in its help, every option its help names
# is taken (whatever else then goes wrong), and no other is.
# COMMAND|ITS OPTIONS
package_options="--stub --product --version --company --copyright --texts --icon --codepage --lang --for-version --store --level"
while IFS='|' read -r command options; do
  "$UPDPACK" help "$command" >help.txt
  # The usage lines up to the first blank one, and the option lines.
  listed=$(awk '!blank && /^$/ { blank = 1 } !blank || /^ +-/' help.txt |
    grep -oE -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ')
  # shellcheck disable=SC2086
  [ "$listed" = "$(printf '%s\n' $options --help | sort -u | tr '\n' ' ')" ] ||
    fail "help $command lists $listed, the command takes $options --help"
  for option in $options; do
    run_tool "$command" "$option" x
    grep -q "unknown option" "$ERR" && fail "$command refuses $option"
  done
  # An unknown option ends with the status that the command's help (when it
  # gives exit statuses) or the tool's help gives for a usage error.
  grep -q "^Exit status" help.txt || "$UPDPACK" help >help.txt
  documented=$(grep -oE '[0-9]+ (a )?usage error' help.txt | head -n 1)
  run_tool "$command" --frobnicate
  expect_rc "${documented%% *}" "$command --frobnicate, as help $command says"
  expect_contains "$ERR" "updpack $command: unknown option --frobnicate" "$command --frobnicate"
done <<TABLE
pack|--compression --exclude
extract|
list|
build|--from --payload --archive --script --output --exclude --expect --unchecked $package_options
diff|--output --build $package_options
script|--raw
run|--yes --silent --log --target
verify|--json
TABLE

run_tool --version
expect_rc 0 "--version"
grep -qE '^updpack [0-9]+\.[0-9]+\.[0-9]+$' "$OUT" || fail "--version: $(cat "$OUT")"
run_tool help frobnicate
expect_rc 64 "help of an unknown command"
expect_contains "$ERR" "updpack: no help for frobnicate" "help of an unknown command"
run_tool help pack extra
expect_rc 64 "help of two words"
expect_contains "$ERR" "updpack: help: unexpected argument extra" "help of two words"
run_tool --version extra
expect_rc 64 "--version with an argument"
expect_contains "$ERR" "updpack: --version: unexpected argument extra" "--version with an argument"

# Help wins over missing arguments, and nothing is done.
mkdir src
run_tool pack src out.pack --help
expect_rc 0 "pack with --help"
[ ! -e out.pack ] || fail "--help packs nothing"

# check_usage WHAT ARGS...: exit 64, the usage on stderr, nothing on stdout.
check_usage() {
  local what=$1
  shift
  run_tool "$@"
  expect_rc 64 "$what"
  expect_contains "$ERR" "usage: updpack" "$what"
  expect_empty "$OUT" "$what stdout"
}

check_usage "no command"
check_usage "unknown command" frobnicate
expect_contains "$ERR" "updpack: unknown command frobnicate" "unknown command"
check_usage "pack without arguments" pack
expect_text "$ERR" "updpack pack: missing arguments FOLDER ARCHIVE

$("$UPDPACK" pack --help)" "exact usage error of pack"
# The error names the arguments missing, as the usage names them, or the
# first one too many. ARGUMENTS|ERROR
while IFS='|' read -r words error; do
  read -ra words <<<"$words"
  check_usage "${words[*]}" "${words[@]}"
  expect_contains "$ERR" "$error"$'\n' "${words[*]}"
done <<'TABLE'
pack src|updpack pack: missing argument ARCHIVE
pack src a.pack extra|updpack pack: unexpected argument extra
extract a.pack|updpack extract: missing argument FOLDER
list|updpack list: missing argument ARCHIVE_OR_PACKAGE
verify|updpack verify: missing argument PACKAGE_OR_ARCHIVE
diff a|updpack diff: missing argument NEW_DIR
diff|updpack diff: missing arguments OLD_DIR NEW_DIR
script compile a.txt|updpack script: missing argument SCRIPT
script show|updpack script: missing argument SCRIPT_OR_PACKAGE
run|updpack run: missing argument PACKAGE.exe
TABLE
check_usage "unknown option" pack src a.pack --fast
expect_contains "$ERR" "updpack pack: unknown option --fast" "unknown option"
check_usage "-o=FILE" build --archive a -o=p.exe
expect_contains "$ERR" "updpack build: option -o takes its value as the next argument, not after =" "-o=FILE"
for n in 256 -1 abc "" 1000 " 5" 0x10; do
  check_usage "--compression '$n'" pack src a.pack --compression "$n"
done
check_usage "--compression without value" pack src a.pack --compression
check_usage "--compression twice" pack src a.pack --compression 1 --compression 2
check_usage "list with two archives" list a b
check_usage "build without -o" build --stub s --archive a
check_usage "build without a source" build -o p.exe
check_usage "build with two sources" build --from a --payload b -o p.exe
check_usage "build --from without --script" build --from a -o p.exe
check_usage "build --archive with --script" build --archive a --script s -o p.exe
check_usage "build with a positional argument" build --stub s --archive a -o p.exe x
check_usage "build --from with --exclude" build --from a --script s --exclude x -o p.exe
check_usage "build --from --unchecked" build --from a --script s --unchecked -o p.exe
check_usage "build --payload --script --unchecked" build --payload a --script s --unchecked -o p.exe
check_usage "pack --exclude without value" pack src a.pack --exclude
check_usage "script without an action" script
check_usage "script with an unknown action" script run x
check_usage "script compile --raw" script compile --raw a.txt b
check_usage "diff --stub without --build" diff a b --stub s
check_usage "run with an unknown option" run p.exe --no
check_usage "run --yes=1" run p.exe --yes=1
[ ! -e "$TMP/VLSFX_QUORIX" ] || fail "a usage error runs nothing"
[ ! -e a.pack ] || fail "a usage error writes nothing"

# A path of this machine that Windows would read as another one (a name
# ending in a dot or a blank, a backslash) is refused, never misread: here
# "target." would be the link "target", which leads outside.
mkdir -p outside 'target.'
ln -s outside target
printf 'PACK1\x00\x01a?1?2\x02\x01x' >one.pack
check_usage "extract into a folder ending in a dot" extract one.pack target.
expect_contains "$ERR" "cannot take the path target. as written" "the path is named"
check_usage "extract into a folder with a backslash" extract one.pack 'tgt\sub'
check_usage "list of a file ending in a blank" list 'one.pack '
check_usage "pack into a folder ending in a dot" pack outside 'target./a.pack'
check_usage "build --stub ending in a dot" build --archive one.pack --stub 'x.' -o p.exe
# A name Windows never opens would be a file the tool writes and cannot read
# back: refused too.
check_usage "pack into a folder with a |" pack outside 'x|y/a.pack'
check_usage "list of a file with a *" list 'one*.pack'
check_usage "build --stub with a control character" build --archive one.pack --stub $'s\x01' -o p.exe
[ -z "$(ls -A outside)" ] || fail "written through the link beside the folder named"
run_tool extract one.pack ./outside/../target.
expect_rc 64 "a dot-ending name after . and .."

# An empty path names nothing: not the current folder for run --target.
check_usage "run --target of an empty path" run one.exe --silent --target ''
expect_contains "$ERR" "an empty path names no file or folder" "the empty path is refused"
check_usage "extract into an empty path" extract one.pack ''
check_usage "pack into an empty path" pack outside ''

# "--" ends the options: a file may be called -x.
printf 'PACK1\x00\x01\x01' >-x
run_tool list -- -x
expect_rc 0 "list -- -x"

finish
