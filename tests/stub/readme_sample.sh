#!/usr/bin/env bash
# The README's sample session ("Writing an update") is what the tool prints:
# its diff script and its listing of the package built from examples/ with
# this program image. Spacing may differ (the listing is tab-separated).
# usage: readme_sample.sh UPDPACK STUB
set -u
export LC_ALL=C.UTF-8
tool=${1:?usage: readme_sample.sh UPDPACK STUB}
stub=${2:?usage: readme_sample.sh UPDPACK STUB}
case $tool in /*) ;; *) tool=$PWD/$tool ;; esac
case $stub in /*) ;; *) stub=$PWD/$stub ;; esac
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/readme_sample.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$root/examples" "$work/examples"
# The package records its files' times: one time for all, so that the
# compressed size does not depend on when the tree was checked out.
find "$work/examples" -exec touch -h -d @1767225600 {} +
cd "$work" || exit 2

# shown COMMAND: the indented lines the README shows after "    $ COMMAND",
# up to the next command or unindented text, with spacing squeezed.
shown() {
  awk -v cmd="    \$ $1" '
    found && (/^    \$ / || /^[^ ]/) { exit }
    found { sub(/^    /, ""); print }
    index($0, cmd) == 1 { found = 1 }
  ' "$root/README.md" | squeeze
}
squeeze() { tr -s ' \t' '  ' | sed -e 's/ *$//' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }

failures=0
compare() { # WHAT SHOWN ACTUAL
  if [ -z "$2" ] || [ "$2" != "$3" ]; then
    echo "FAIL: the README's $1 differs from the tool's:" >&2
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2
    failures=$((failures + 1))
  fi
}

"$tool" diff examples/v1.0 examples/v1.1 -o update.txt || exit 1
compare "diff script" "$(shown 'cat update.txt')" "$(squeeze <update.txt)"
"$tool" build --from examples/v1.1 --script update.txt \
  --expect examples/v1.0 -o update.exe \
  --stub "$stub" >/dev/null || exit 1
compare "listing" "$(shown 'updpack list update.exe')" \
  "$("$tool" list update.exe | squeeze)"
exit $((failures > 0))
