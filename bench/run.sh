#!/usr/bin/env bash
# Benchmark of updpack: pack against tar -cf and cp -r, extract against
# tar -xf, on a 100 MB folder of mixed file sizes with the page cache warm;
# build and verify of packages with 16,384 and 65,535 entries; then the
# peak memory of pack, extract and run for a 1 MB and a 1 GB input.
#
#   bash bench/run.sh [--skip-1g] [--reps N] [--install-reps N]
#                     [--install-only] [--keep] /path/to/updpack
#
# --install-only runs only the pair "install, strict" / "install, undoable"
# (--install-reps repetitions, 9 by default).
#
# Everything is written under bench/out/ (git-ignored); the figures are also
# saved in bench/out/results.txt. The input data is removed at the end
# unless --keep is given.
set -euo pipefail
export LC_ALL=C

SKIP_1G=0
REPS=5
INSTALL_REPS=9
INSTALL_ONLY=0
KEEP=0
UPDPACK=
while [ $# -gt 0 ]; do
  case $1 in
  --skip-1g) SKIP_1G=1 ;;
  --reps) REPS=$2; shift ;;
  --install-reps) INSTALL_REPS=$2; shift ;;
  --install-only) INSTALL_ONLY=1 ;;
  --keep) KEEP=1 ;;
  -h | --help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  -*) echo "bench: unknown option $1" >&2; exit 64 ;;
  *) UPDPACK=$1 ;;
  esac
  shift
done
[ -n "$UPDPACK" ] || { echo "usage: bash bench/run.sh [--skip-1g] [--reps N] [--install-reps N] [--install-only] [--keep] UPDPACK" >&2; exit 64; }
case $UPDPACK in /*) ;; *) UPDPACK=$PWD/$UPDPACK ;; esac
[ -x "$UPDPACK" ] || { echo "bench: not executable: $UPDPACK" >&2; exit 1; }

HERE=$(cd "$(dirname "$0")" && pwd)
OUT=$HERE/out
mkdir -p "$OUT"
RESULTS=$OUT/results.txt
: >"$RESULTS"
say() { printf '%s\n' "$*" | tee -a "$RESULTS"; }

GEN=$OUT/gen_tree
if [ ! -x "$GEN" ] || [ "$HERE/gen_tree.cpp" -nt "$GEN" ]; then
  "${CXX:-c++}" -O2 -std=c++20 -o "$GEN" "$HERE/gen_tree.cpp"
fi

TIME_BIN=/usr/bin/time
if [ ! -x "$TIME_BIN" ]; then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "bench: installing the package time" >&2
    apt-get install -y time >/dev/null 2>&1 || { apt-get update >/dev/null && apt-get install -y time >/dev/null; }
  fi
fi
[ -x "$TIME_BIN" ] || { echo "bench: /usr/bin/time is missing (apt-get install time); memory figures skipped" >&2; TIME_BIN=; }

now_ns() { date +%s%N; }

# measure NAME PREPARE COMMAND: runs PREPARE (untimed) and COMMAND once to
# warm up, then REPS times; leaves the median and the minimum (seconds) in
# MEDIAN[NAME] and MIN[NAME].
declare -A MEDIAN MIN
measure() {
  local name=$1 prepare=$2 command=$3 t0 t1 i
  local -a times=()
  eval "$prepare"
  eval "$command" >/dev/null 2>&1
  for ((i = 0; i < REPS; i++)); do
    eval "$prepare"
    sync # dirty pages of the last repetition are not charged to this one
    t0=$(now_ns)
    eval "$command" >/dev/null 2>&1
    t1=$(now_ns)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
  done
  local sorted
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  MIN[$name]=$(head -n 1 <<<"$sorted")
  MEDIAN[$name]=$(sed -n "$(((REPS + 1) / 2))p" <<<"$sorted")
}

# measure_pair NAME1 COMMAND1 NAME2 COMMAND2 PREPARE [REPETITIONS]: as
# measure, the two commands taking turns within every repetition, the one
# first in one repetition second in the next, so that both meet the same
# state of the disk's write-back and neither always follows the other.
measure_pair() {
  local name1=$1 command1=$2 name2=$3 command2=$4 prepare=$5 reps=${6:-$REPS} t0 t1 i k
  local -a times1=() times2=()
  for ((i = 0; i <= reps; i++)); do
    local order="1 2"
    [ $((i % 2)) = 1 ] && order="2 1"
    for k in $order; do
      eval "$prepare"
      sync
      local command=command$k
      t0=$(now_ns)
      eval "${!command}" >/dev/null 2>&1
      t1=$(now_ns)
      [ "$i" -eq 0 ] && continue # the warm-up
      if [ "$k" = 1 ]; then
        times1+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
      else
        times2+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
      fi
    done
  done
  local sorted
  sorted=$(printf '%s\n' "${times1[@]}" | sort -n)
  MIN[$name1]=$(head -n 1 <<<"$sorted")
  MEDIAN[$name1]=$(sed -n "$(((reps + 1) / 2))p" <<<"$sorted")
  sorted=$(printf '%s\n' "${times2[@]}" | sort -n)
  MIN[$name2]=$(head -n 1 <<<"$sorted")
  MEDIAN[$name2]=$(sed -n "$(((reps + 1) / 2))p" <<<"$sorted")
}

# pe_stub FILE: 45056 bytes that pass for a program image whose headers say
# where it ends ("MZ", e_lfanew at 0x3C pointing at "PE\0\0", a COFF header
# without sections and a PE32+ optional header whose SizeOfHeaders is the
# whole file), so build puts the manifest at 45056 and a package joined
# without one has its archive at 45057.
pe_stub() {
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00PE\x00\x00'
    printf '\x64\x86'; head -c 14 /dev/zero; printf '\xf0\x00\x22\x00'
    printf '\x0b\x02'; head -c 58 /dev/zero; printf '\x00\xb0\x00\x00'
    head -c $((45056 - 152)) /dev/zero; } >"$1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1fx", a / b; else print "-" }'; }
ratio2() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }
mbps() { awk -v bytes="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.0f MB/s", bytes / s / 1048576; else print "-" }'; }

# ---------------------------------------------------------------- speed
DATA=$OUT/data100
rm -rf "$DATA" "$OUT/work"
mkdir -p "$DATA" "$OUT/work"
"$GEN" "$DATA" $((100 * 1024 * 1024)) 20240611
FILES=$(ls "$DATA" | wc -l)
BYTES=$(du -sb "$DATA" | cut -f1)
W=$OUT/work
cat "$DATA"/* >/dev/null # page cache warm

# The install phase: an update that replaces every file of the tree, as a
# package with a manifest (pre-flight: each installed file's CRC-32 against
# the expected state and the in-use check; each old file renamed into the
# backup area, each new one written under a temporary name and renamed into
# place; the backup area and the temporary folder removed) and as the same
# archive in the base format (each file copied over the old one). Both are
# stored, not compressed, and both carry the checksum entry, so that both
# unpack and check the same bytes; the strict run is charged the removal of
# the temporary folder it leaves, which the undoable run does itself. The
# trees of one repetition are moved aside, not deleted, before the next:
# on a file system that avoids reusing freshly freed inodes (ext4 without a
# journal) thousands of deletions just before a run make its every new file
# dearer, which is no cost of either run.
install_pair() {
  local stub=$W/stub.bin
  pe_stub "$stub"
  mkdir -p "$W/pkg" "$W/bare" "$W/tmp" "$W/trash"
  OLDT=$W/old
  cp -r "$DATA" "$OLDT"
  for f in "$OLDT"/*; do printf 'x' >>"$f"; done
  "$UPDPACK" diff "$OLDT" "$DATA" --build "$W/pkg/full.exe" --stub "$stub" --store >/dev/null
  mkdir -p "$W/entries"
  "$UPDPACK" extract "$W/pkg/full.exe" "$W/entries" >/dev/null
  "$UPDPACK" pack "$W/entries" "$W/full.pack" >/dev/null
  { cat "$stub" "$W/full.pack"; printf '\x01\xb0\x00\x00'; } >"$W/bare/full.exe"
  rm -rf "$W/entries" "$W/full.pack"
  TRASH=0
  fresh_products() {
    TRASH=$((TRASH + 1))
    mkdir "$W/trash/$TRASH"
    for p in tmp pa pb; do [ -e "$W/$p" ] && mv "$W/$p" "$W/trash/$TRASH/"; done
    mkdir "$W/tmp"
    cp -r "$OLDT" "$W/pa" && cp "$W/bare/full.exe" "$W/pa/update.exe"
    cp -r "$OLDT" "$W/pb" && cp "$W/pkg/full.exe" "$W/pb/update.exe"
  }
  fresh_products # both updates must give the tree before they are timed
  TMP=$W/tmp "$UPDPACK" run "$W/pa/update.exe" --yes </dev/null >/dev/null 2>&1
  TMP=$W/tmp "$UPDPACK" run "$W/pb/update.exe" --yes </dev/null >/dev/null 2>&1
  for p in pa pb; do
    rm -f "$W/$p/update.exe"
    diff -r "$DATA" "$W/$p" >/dev/null || { echo "bench: the update of $p differs from the tree" >&2; exit 1; }
  done
  measure_pair "install, strict" "TMP=$W/tmp '$UPDPACK' run $W/pa/update.exe --yes </dev/null; rm -rf $W/tmp/*" \
    "install, undoable" "TMP=$W/tmp '$UPDPACK' run $W/pb/update.exe --yes </dev/null" fresh_products "$INSTALL_REPS"
  rm -rf "$W/trash"
}

install_summary() {
  say "the undoable install is $(ratio2 "${MEDIAN[install, undoable]}" "${MEDIAN[install, strict]}") the time of the strict one (medians), $(ratio2 "${MIN[install, undoable]}" "${MIN[install, strict]}") (minima)."
}

if [ "$INSTALL_ONLY" = 1 ]; then
  say "updpack benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, the install pair only"
  say "input: $FILES files, $BYTES bytes"
  install_pair
  say "$(printf '  %-17s %8s %8s' "" "median s" "min s")"
  for name in "install, strict" "install, undoable"; do
    say "$(printf '  %-17s %8s %8s' "$name" "${MEDIAN[$name]}" "${MIN[$name]}")"
  done
  install_summary
  rm -rf "$W"
  [ "$KEEP" = 1 ] || rm -rf "$DATA"
  echo "results saved in $RESULTS"
  exit 0
fi

say "updpack benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs, $REPS repetitions after one warm-up"
say "input: $FILES files, $BYTES bytes (flat folder; small, medium and large files)"
say ""

# pack and tar take turns in every repetition: both meet the same load.
measure_pair "updpack pack" "'$UPDPACK' pack '$DATA' $W/a.pack" \
  "tar -cf" "tar -cf $W/a.tar -C '$DATA' ." "rm -f $W/a.pack $W/a.tar"
"$UPDPACK" pack "$DATA" $W/a.pack # for the extraction
tar -cf $W/a.tar -C "$DATA" .
measure "cp -r" "rm -rf $W/copy" "cp -r '$DATA' $W/copy"
measure "updpack extract" "rm -rf $W/x && mkdir $W/x" "'$UPDPACK' extract $W/a.pack $W/x"
measure "tar -xf" "rm -rf $W/t && mkdir $W/t" "tar -xf $W/a.tar -C $W/t"
diff -r "$DATA" "$W/x" >/dev/null || { echo "bench: extracted files differ from the input" >&2; exit 1; }

# The whole update run of a package made from the same folder.
: >"$DATA/script"
"$UPDPACK" pack "$DATA" "$W/run.pack"
pe_stub "$W/stub.bin"
mkdir -p "$W/pkg" "$W/bare" "$W/tmp"
"$UPDPACK" build --stub "$W/stub.bin" --archive "$W/run.pack" -o "$W/pkg/update.exe"
# The same archive joined without the checksum entry that build adds: the
# run as it was before it checked every file.
{ cat "$W/stub.bin" "$W/run.pack"; printf '\x01\xb0\x00\x00'; } >"$W/bare/update.exe"
measure_pair "run, no checksums" "TMP=$W/tmp '$UPDPACK' run $W/bare/update.exe --yes </dev/null" \
  "updpack run" "TMP=$W/tmp '$UPDPACK' run $W/pkg/update.exe --yes </dev/null" "rm -rf $W/tmp/*"
rm -f "$DATA/script"

install_pair

row() { # NAME BASELINE
  printf '  %-17s %8s %8s %12s %10s\n' "$1" "${MEDIAN[$1]}" "${MIN[$1]}" \
    "$(mbps "$BYTES" "${MEDIAN[$1]}")" "$(ratio "${MEDIAN[$1]}" "${MEDIAN[$2]}")" | tee -a "$RESULTS"
}
say "$(printf '  %-17s %8s %8s %12s %10s' "" "median s" "min s" "throughput" "÷ updpack")"
say "packing"
row "updpack pack" "updpack pack"
row "tar -cf" "updpack pack"
row "cp -r" "updpack pack"
say "extracting"
row "updpack extract" "updpack extract"
row "tar -xf" "updpack extract"
say "whole run (carve-out + extraction + checksum check, empty script)"
row "run, no checksums" "run, no checksums"
row "updpack run" "run, no checksums"
say "update replacing every file (whole run, stored, checksums in both; $INSTALL_REPS repetitions)"
row "install, strict" "install, strict"
row "install, undoable" "install, strict"
say ""
say "updpack pack is $(ratio "${MEDIAN[updpack pack]}" "${MEDIAN[tar -cf]}") the time of tar -cf and $(ratio "${MEDIAN[updpack pack]}" "${MEDIAN[cp -r]}") the time of cp -r;"
say "updpack extract is $(ratio "${MEDIAN[updpack extract]}" "${MEDIAN[tar -xf]}") the time of tar -xf."
install_summary
rm -rf "$W"
say ""

# ---------------------------------------------------------------- scale
# build --payload and verify of a package with N tiny entries: both take
# time in proportion to N.
say "many entries (tiny files; build --payload, then verify of its package)"
say "$(printf '  %-8s %12s %12s' entries "build s" "verify s")"
pe_stub "$OUT/stub.bin"
for entries in 16384 65535; do
  S=$OUT/scale
  rm -rf "$S" && mkdir -p "$S/payload"
  (cd "$S/payload" && seq 1 "$entries" | split -l 1 -a 4 - f)
  measure "build $entries" "rm -f $S/u.exe" \
    "'$UPDPACK' build --payload $S/payload --stub $OUT/stub.bin -o $S/u.exe"
  measure "verify $entries" ":" "'$UPDPACK' verify $S/u.exe"
  printf '  %-8s %12s %12s\n' "$entries" "${MEDIAN[build $entries]}" \
    "${MEDIAN[verify $entries]}" | tee -a "$RESULTS"
  rm -rf "$S"
done
rm -f "$OUT/stub.bin"
say ""

# ---------------------------------------------------------------- memory
# peak KEY COMMAND: maximum resident set size (KB) of COMMAND.
peak() {
  "$TIME_BIN" -f %M -o "$OUT/peak.txt" bash -c "$1" >/dev/null 2>&1 </dev/null ||
    { echo "bench: failed: $1" >&2; exit 1; }
  tail -n 1 "$OUT/peak.txt"
}

memory_for() { # LABEL BYTES
  local label=$1 bytes=$2 M=$OUT/mem_$1
  rm -rf "$M"
  mkdir -p "$M/in" "$M/x" "$M/pkg" "$M/tmp"
  "$GEN" "$M/in" "$bytes" 7
  : >"$M/in/script"
  local files pack extract run
  files=$(ls "$M/in" | wc -l)
  pack=$(peak "'$UPDPACK' pack '$M/in' '$M/a.pack'")
  extract=$(peak "'$UPDPACK' extract '$M/a.pack' '$M/x'")
  rm -rf "$M/x" "$M/in"
  pe_stub "$M/stub.bin"
  "$UPDPACK" build --stub "$M/stub.bin" --archive "$M/a.pack" -o "$M/pkg/update.exe"
  rm -f "$M/a.pack"
  run=$(peak "TMP='$M/tmp' '$UPDPACK' run '$M/pkg/update.exe' --yes")
  printf '  %-8s %7s %12s %12s %12s\n' "$label" "$files" "$pack" "$extract" "$run" | tee -a "$RESULTS"
  rm -rf "$M"
}

if [ -n "$TIME_BIN" ]; then
  say "peak memory (maximum resident set, KB)"
  say "$(printf '  %-8s %7s %12s %12s %12s' input files pack extract run)"
  memory_for 1MB $((1024 * 1024))
  if [ "$SKIP_1G" = 0 ]; then
    memory_for 1GB $((1024 * 1024 * 1024))
  else
    say "  1GB      skipped (--skip-1g)"
  fi
fi

[ "$KEEP" = 1 ] || rm -rf "$DATA"
rm -f "$OUT/peak.txt"
echo "results saved in $RESULTS"
