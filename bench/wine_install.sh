#!/usr/bin/env bash
# The undoable install against the strict one, as the Windows program runs
# them under Wine: the install pair of run.sh (an update that replaces every
# file of the 100 MB tree, as a package with a manifest and as the same
# archive in the base format, both stored and both with the checksum entry),
# each timed from pressing Yes to the success message, as a user meets it.
# The two take turns, and which goes first alternates. Neither counts the
# removal of its temporary folder: the undoable run removes it only after
# the success message is closed, and the strict one leaves it.
#
#   TMPDIR=/dev/shm bash bench/wine_install.sh [--reps N] [--mb N]
#
# The environment names the tools as for the Wine tests (tests/wine/harness.sh):
# UPDPACK_TOOL, UPDPACK_STUB and WINTOOL; TMPDIR holds the Wine prefix, its
# TMP and the products.
set -u
REPS=7
MB=100
while [ $# -gt 0 ]; do
  case $1 in
  --reps) REPS=$2; shift ;;
  --mb) MB=$2; shift ;;
  *) echo "usage: bash bench/wine_install.sh [--reps N] [--mb N]" >&2; exit 64 ;;
  esac
  shift
done
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/wine/harness.sh
. "$HERE/../tests/wine/harness.sh"
e2e_begin bench_install

GEN=$HERE/out/gen_tree
mkdir -p "$HERE/out"
if [ ! -x "$GEN" ] || [ "$HERE/gen_tree.cpp" -nt "$GEN" ]; then
  "${CXX:-c++}" -O2 -std=c++20 -o "$GEN" "$HERE/gen_tree.cpp"
fi
W=$E2E_WORK
mkdir -p "$W/new"
"$GEN" "$W/new" $((MB * 1024 * 1024)) 20240611 >/dev/null
cp -r "$W/new" "$W/old"
for f in "$W/old"/*; do printf 'x' >>"$f"; done
mkdir -p "$W/pkg" "$W/bare" "$W/entries"
"$UPDPACK_TOOL" diff "$W/old" "$W/new" --build "$W/pkg/update.exe" \
  --stub "$UPDPACK_STUB" --store >/dev/null || e2e_fail "cannot build the package"
# The same entries as the base format's archive.
if ! "$UPDPACK_TOOL" extract "$W/pkg/update.exe" "$W/entries" >/dev/null ||
  ! "$UPDPACK_TOOL" pack "$W/entries" "$W/bare.pack" >/dev/null; then
  e2e_fail "cannot repack the entries"
fi
e2e_join_package "$W/bare.pack" "$W/bare/update.exe"
rm -rf "$W/entries" "$W/bare.pack"

# One run of KIND (bare or pkg) on a fresh copy of the old tree: prints the
# milliseconds from Yes to the success message.
run_one() { # KIND
  rm -rf "$W/product" "$E2E_TEMP_FOLDER" "$E2E_PACK_FILE"
  cp -r "$W/old" "$W/product" && cp "$W/$1/update.exe" "$W/product/"
  e2e_start_package "$W/product/update.exe"
  e2e_wait_box "$E2E_MSG_CONFIRM" 60000
  local result
  result=$(e2e_wintool press "$E2E_BOX_TITLE" Yes --wait-text "$E2E_MSG_SUCCESS" \
    600000) || e2e_fail "$1: no success message"
  e2e_wintool press "$E2E_BOX_TITLE" OK >/dev/null || e2e_fail "$1: cannot press OK"
  e2e_wait_package 120
  rm -f "$W/product/update.exe"
  diff -r "$W/new" "$W/product" >/dev/null || e2e_fail "$1: the product differs from the tree"
  printf '%s\n' "$result" | sed -n 's/^elapsed_ms \([0-9]*\).*/\1/p'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$W/bare.ms"
: >"$W/pkg.ms"
for rep in $(seq "$REPS"); do
  if [ $((rep % 2)) = 1 ]; then order="bare pkg"; else order="pkg bare"; fi
  for kind in $order; do
    ms=$(run_one "$kind") || exit 1
    echo "$ms" >>"$W/$kind.ms"
    e2e_log "repetition $rep, $kind: $ms ms"
  done
done
strict=$(median <"$W/bare.ms")
undoable=$(median <"$W/pkg.ms")
files=$(find "$W/new" -type f | wc -l)
echo "Windows program under Wine, $MB MB tree ($files files), $REPS repetitions, Yes to success (medians):"
echo "  strict (base format): $strict ms (min $(sort -n "$W/bare.ms" | head -1))"
echo "  undoable (manifest):  $undoable ms (min $(sort -n "$W/pkg.ms" | head -1))"
awk -v a="$undoable" -v b="$strict" 'BEGIN { printf "  ratio: %.2fx\n", a / b }'
