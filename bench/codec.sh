#!/usr/bin/env bash
# Measurements of the compressed stream's codec (not a test):
#   1. what the decoder adds to a Windows program: bench/codec_image_probe.cpp
#      cross-built with the program image's flags, with and without it;
#   2. ratio and time of our encoder at each level on the 100 MB bench tree
#      (gen_tree.cpp, as run.sh makes it) as one tar, against xz -9e and
#      NSIS's solid LZMA (makensis, when installed: apt-get install nsis);
#   3. the x86 branch filter on real PE files (the cross compiler's DLLs and
#      Wine's 64-bit DLLs, stripped, about 40 MB, as a tar), against xz -9e
#      with and without its own x86 filter.
# Every stream is decoded again and compared with its input.
#
#   bash bench/codec.sh [--levels "5 6 7 8 9"] [--skip-size] [--skip-tree]
#                       [--skip-pe] [NATIVE_BUILD]
#
# NATIVE_BUILD is the native build folder (build/native); the figures go to
# bench/out/codec/results.txt as well.
set -euo pipefail
export LC_ALL=C

LEVELS="5 6 7 8 9"
SKIP_SIZE=0
SKIP_TREE=0
SKIP_PE=0
BUILD=build/native
while [ $# -gt 0 ]; do
  case $1 in
  --levels) LEVELS=$2; shift ;;
  --skip-size) SKIP_SIZE=1 ;;
  --skip-tree) SKIP_TREE=1 ;;
  --skip-pe) SKIP_PE=1 ;;
  -h | --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  -*) echo "codec.sh: unknown option $1" >&2; exit 64 ;;
  *) BUILD=$1 ;;
  esac
  shift
done

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
OUT=$HERE/out/codec
mkdir -p "$OUT"
RESULTS=$OUT/results.txt
: >"$RESULTS"
say() { printf '%s\n' "$*" | tee -a "$RESULTS"; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f%%", 100 * a / b }'; }
mbps() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.2f MB/s", n / s / 1e6 }'; }
# Times are processor seconds (user and system), as codec_cli reports them:
# on a machine that other work shares they vary less than the clock's.
[ -x /usr/bin/time ] || { echo "codec.sh: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
# cpu_seconds FILE COMMAND...: runs COMMAND, leaves its processor seconds in
# FILE.
cpu_seconds() {
  local file=$1
  shift
  /usr/bin/time -f '%U %S' -o "$file.time" "$@"
  awk '{ printf "%.1f", $1 + $2 }' "$file.time" >"$file"
  rm -f "$file.time"
}

say "codec benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs"

# ---------------------------------------------------------------- 1. size
if [ "$SKIP_SIZE" = 0 ]; then
  CXX_W=x86_64-w64-mingw32-g++-win32
  CC_W=x86_64-w64-mingw32-gcc-win32
  if command -v "$CXX_W" >/dev/null; then
    # The program image's flags: MinSizeRel, link-time optimisation in one
    # partition, stack canaries, static, stripped, unreached sections gone.
    FLAGS="-Os -DNDEBUG -flto -flto-partition=one -fstack-protector-strong"
    P=$OUT/probe
    mkdir -p "$P"
    "$CXX_W" -std=c++20 $FLAGS -I"$ROOT" "$HERE/codec_image_probe.cpp" \
      -static -s -Wl,--gc-sections -o "$P/without.exe"
    "$CC_W" $FLAGS -w -c /usr/include/lzma/LzmaDec.c -o "$P/LzmaDec.o"
    "$CXX_W" -std=c++20 $FLAGS -DWITH_DECODER -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
      -I"$ROOT" -isystem /usr/include/lzma "$HERE/codec_image_probe.cpp" \
      "$ROOT/codec/lzma_decoder.cpp" "$ROOT/codec/x86_filter.cpp" \
      "$ROOT/codec/range_filter.cpp" "$P/LzmaDec.o" \
      -static -s -Wl,--gc-sections -o "$P/with.exe"
    without=$(stat -c %s "$P/without.exe")
    with=$(stat -c %s "$P/with.exe")
    sections() { x86_64-w64-mingw32-size "$1" | awk 'NR == 2 { print $1 + $2 }'; }
    say "program image growth (decoder and x86 filter): file $without -> $with bytes (+$((with - without))), sections +$(($(sections "$P/with.exe") - $(sections "$P/without.exe"))) bytes"
  else
    say "program image growth: skipped ($CXX_W missing)"
  fi
fi

# ------------------------------------------------------- the encoder's CLI
cmake --build "$BUILD" --target codec_cli >/dev/null
CLI=$BUILD/bench/codec_cli
DEFAULT=$(sed -n 's/.*kDefaultLevel = \([0-9]\);.*/\1/p' "$ROOT/codec/lzma_encoder.h")
run_cli() { # LEVEL FILTER [--order] FILE
  local line
  line=$("$CLI" "$@") || { echo "codec.sh: codec_cli $* failed" >&2; exit 1; }
  say "  ours $line"
}

# xz_row NAME OPTIONS... FILE: size and time of xz with OPTIONS, one thread.
xz_row() {
  local name=$1 size raw cpu
  shift
  local file=${*: -1}
  raw=$(stat -c %s "$file")
  cpu_seconds "$OUT/cpu" xz -T1 -c "$@" >"$OUT/xz.out"
  size=$(stat -c %s "$OUT/xz.out")
  cpu=$(cat "$OUT/cpu")
  rm -f "$OUT/xz.out" "$OUT/cpu"
  say "  $name: $raw -> $size bytes ($(percent "$size" "$raw")), $cpu s CPU ($(mbps "$raw" "$cpu"))"
}

# nsis_row FOLDER: the payload of an NSIS installer with solid LZMA (the
# installer's size less that of one without files) and makensis's time.
nsis_row() {
  local folder=$1 n=$OUT/nsis full empty raw cpu
  command -v makensis >/dev/null || { say "  NSIS: skipped (makensis missing: apt-get install nsis)"; return; }
  mkdir -p "$n"
  for kind in empty full; do
    {
      echo "OutFile \"$n/$kind.exe\""
      echo "SetCompressor /SOLID lzma"
      echo "RequestExecutionLevel user"
      echo "Section"
      echo "SetOutPath \$INSTDIR"
      [ "$kind" = full ] && echo "File /r \"$folder/*\""
      echo "SectionEnd"
    } >"$n/$kind.nsi"
  done
  makensis -V1 "$n/empty.nsi" >/dev/null
  cpu_seconds "$n/cpu" makensis -V1 "$n/full.nsi" >/dev/null
  cpu=$(cat "$n/cpu")
  empty=$(stat -c %s "$n/empty.exe")
  full=$(stat -c %s "$n/full.exe")
  raw=$(du -sb --apparent-size "$folder" | cut -f1)
  say "  NSIS /SOLID lzma (8 MB dictionary): $raw -> $((full - empty)) bytes ($(percent $((full - empty)) "$raw")), $cpu s CPU ($(mbps "$raw" "$cpu"))"
  rm -rf "$n"
}

# ---------------------------------------------------------------- 2. tree
if [ "$SKIP_TREE" = 0 ]; then
  GEN=$OUT/gen_tree
  "${CXX:-c++}" -O2 -std=c++20 -o "$GEN" "$HERE/gen_tree.cpp"
  T=$OUT/tree
  rm -rf "$T" && mkdir -p "$T"
  "$GEN" "$T" $((100 * 1024 * 1024)) 20240611
  tar -cf "$OUT/tree.tar" --sort=name -C "$T" .
  say ""
  say "100 MB bench tree as one tar ($(stat -c %s "$OUT/tree.tar") bytes, $(ls "$T" | wc -l) files)"
  for level in $LEVELS; do
    run_cli "$level" tar "$OUT/tree.tar"
  done
  run_cli "$DEFAULT" tar --order "$OUT/tree.tar"
  xz_row "xz -9e" -9e "$OUT/tree.tar"
  nsis_row "$T"
  rm -rf "$T" "$OUT/tree.tar"
fi

# ---------------------------------------------------------------- 3. PE
if [ "$SKIP_PE" = 0 ]; then
  P=$OUT/pe
  rm -rf "$P" && mkdir -p "$P"
  STRIP=x86_64-w64-mingw32-strip
  command -v "$STRIP" >/dev/null || STRIP=strip
  total=0
  for f in /usr/lib/gcc/x86_64-w64-mingw32/*/*.dll \
    $(find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -name '*.dll' 2>/dev/null | sort); do
    [ "$total" -lt $((40 * 1000 * 1000)) ] || break
    copy=$P/$(basename "$(dirname "$f")")_$(basename "$f")
    # Stripped, as programs ship (their debug sections would be most of it).
    "$STRIP" -s -o "$copy" "$f" 2>/dev/null || continue
    total=$((total + $(stat -c %s "$copy")))
  done
  if [ "$total" = 0 ]; then
    say "PE files: skipped (no mingw-w64 or Wine DLLs found)"
  else
    tar -cf "$OUT/pe.tar" --sort=name -C "$P" .
    say ""
    say "PE files as one tar ($(stat -c %s "$OUT/pe.tar") bytes, $(ls "$P" | wc -l) DLLs)"
    for level in $LEVELS; do
      run_cli "$level" none "$OUT/pe.tar"
      run_cli "$level" tar "$OUT/pe.tar"
    done
    xz_row "xz -9e" -9e "$OUT/pe.tar"
    xz_row "xz --x86 -9e" --x86 --lzma2=preset=9e "$OUT/pe.tar"
    rm -f "$OUT/pe.tar"
    say "the two largest DLLs alone, level $DEFAULT, without and with the filter"
    for f in $(ls -S "$P" | head -n 2); do
      run_cli "$DEFAULT" none "$P/$f"
      run_cli "$DEFAULT" all "$P/$f"
    done
  fi
  rm -rf "$P"
fi

echo "results saved in $RESULTS"
