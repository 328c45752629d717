# Random OLD/NEW pairs (tests/cli/diff_pairs.py says what they hold and
# what NEW exactly means): the package `diff --build` writes turns a copy of
# OLD (some files read-only) into NEW, a second run finds it up to date and
# changes nothing, and a folder that is neither (one file the update
# touches changed) is refused with exit 4, untouched. A pair Windows cannot
# hold is refused by diff, naming why. DIFF_ROUNDTRIP_SEED (default 1)
# draws other pairs, DIFF_ROUNDTRIP_COUNT (default 40) more; a failure
# names its pair.
PAIRS=$(cd "$(dirname "$0")" && pwd)/diff_pairs.py
. "$(dirname "$0")/common.bash"

export TMPDIR=$WORK/scratch # the tool's scratch folders, checked below
mkdir "$TMPDIR"
make_stub stub.exe 4096

python3 "$PAIRS" native "$UPDPACK" \
  "${DIFF_ROUNDTRIP_SEED:-1}" "${DIFF_ROUNDTRIP_COUNT:-40}" ||
  fail "round trips of seed ${DIFF_ROUNDTRIP_SEED:-1}"
[ -z "$(ls -A "$TMPDIR")" ] || fail "scratch folders are removed: $(ls -A "$TMPDIR")"

finish
