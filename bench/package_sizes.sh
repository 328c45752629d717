#!/usr/bin/env bash
# Package size, build time and apply time (not a test), side by side on two
# trees: the 100 MB bench tree (gen_tree.cpp, seed 20240611, 70 % random
# bytes) and a product tree of real PE files (the cross compiler's DLLs and
# stripped 64-bit Wine DLLs, about 60 MB) with text and configuration files.
# For each: our package compressed (the default) and stored (--store), both
# made by `diff EMPTY TREE --build`; NSIS installers (makensis, apt-get
# install nsis) with `SetCompressor /SOLID lzma` and with zlib; xz -9e and
# gzip -9 of a tar. Apply time: `updpack run --yes` into an empty folder.
#
#   bash bench/package_sizes.sh UPDPACK STUB [--skip-bench-tree | --skip-product-tree]
#
# STUB is the program image (build/win64/stub/updpack-stub.exe). Figures go
# to bench/out/package_sizes/results.txt as well.
set -euo pipefail
export LC_ALL=C

UPDPACK=${1:?usage: package_sizes.sh UPDPACK STUB [--skip-bench-tree]}
STUB=${2:?usage: package_sizes.sh UPDPACK STUB [--skip-bench-tree]}
SKIP=${3:-}
UPDPACK=$(realpath "$UPDPACK")
STUB=$(realpath "$STUB")
HERE=$(cd "$(dirname "$0")" && pwd)
OUT=$HERE/out/package_sizes
rm -rf "$OUT" && mkdir -p "$OUT"
RESULTS=$OUT/results.txt
say() { printf '%s\n' "$*" | tee -a "$RESULTS"; }
# wall SECONDS_FILE COMMAND...: the command's wall-clock seconds.
wall() {
  local file=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }' >"$file"
}
size() { stat -c %s "$1"; }

# The product tree: real DLLs, flat, and text files beside them.
product_tree() {
  local tree=$1 total=0 f copy
  mkdir -p "$tree"
  for f in /usr/lib/gcc/x86_64-w64-mingw32/*-win32/*.dll \
    $(find /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -name '*.dll' | sort); do
    [ "$total" -lt $((60 * 1000 * 1000)) ] || break
    copy=$tree/$(basename "$f")
    [ -e "$copy" ] && continue
    x86_64-w64-mingw32-strip -s -o "$copy" "$f" 2>/dev/null || continue
    total=$((total + $(size "$copy")))
  done
  for f in $(ls /usr/share/doc/*/copyright | head -n 300); do
    cp "$f" "$tree/$(basename "$(dirname "$f")" | cut -c1-30).txt"
  done
  for k in $(seq 1 40); do
    printf '[section%d]\nkey=value %d\npath=C:\\Program Files\\Orbit\\%d\n' \
      "$k" "$k" "$k" >"$tree/settings$k.ini"
  done
}

nsis() { # FOLDER COMPRESSOR OUTPUT
  {
    echo "OutFile \"$3\""
    echo "SetCompressor $2"
    echo "RequestExecutionLevel user"
    echo "Section"
    echo "SetOutPath \$INSTDIR"
    echo "File /r \"$1/*\""
    echo "SectionEnd"
  } >"$OUT/setup.nsi"
  makensis -V1 "$OUT/setup.nsi"
}

measure() { # NAME TREE
  local name=$1 tree=$2 raw stub ours stored t
  raw=$(du -sb --apparent-size "$tree" | cut -f1)
  stub=$(size "$STUB")
  mkdir -p "$OUT/empty"
  say ""
  say "$name: $(ls "$tree" | wc -l) files, $raw bytes"
  wall "$OUT/t" "$UPDPACK" diff "$OUT/empty" "$tree" --build "$OUT/ours.exe" --stub "$STUB"
  say "  ours (compressed): $(size "$OUT/ours.exe") bytes, without the image $(( $(size "$OUT/ours.exe") - stub )); build $(cat "$OUT/t") s"
  wall "$OUT/t" "$UPDPACK" diff "$OUT/empty" "$tree" --build "$OUT/stored.exe" --stub "$STUB" --store
  say "  ours (--store): $(size "$OUT/stored.exe") bytes; build $(cat "$OUT/t") s"
  for kind in ours stored; do
    rm -rf "$OUT/prog" "$OUT/tmp" && mkdir -p "$OUT/prog" "$OUT/tmp"
    cp "$OUT/$kind.exe" "$OUT/prog/update.exe"
    TMP=$OUT/tmp wall "$OUT/t" "$UPDPACK" run "$OUT/prog/update.exe" --yes
    rm "$OUT/prog/update.exe"
    diff -r "$OUT/prog" "$tree" >/dev/null || say "  APPLY OF $kind DIFFERS"
    say "  apply $kind (run --yes to success): $(cat "$OUT/t") s"
  done
  wall "$OUT/t" nsis "$tree" "/SOLID lzma" "$OUT/nsis_lzma.exe"
  say "  NSIS /SOLID lzma: $(size "$OUT/nsis_lzma.exe") bytes; build $(cat "$OUT/t") s"
  wall "$OUT/t" nsis "$tree" "zlib" "$OUT/nsis_zlib.exe"
  say "  NSIS zlib: $(size "$OUT/nsis_zlib.exe") bytes; build $(cat "$OUT/t") s"
  tar -cf "$OUT/tree.tar" --sort=name -C "$tree" .
  wall "$OUT/t" sh -c "xz -9e -T1 -c '$OUT/tree.tar' >'$OUT/tree.tar.xz'"
  say "  xz -9e of a tar: $(size "$OUT/tree.tar.xz") bytes; $(cat "$OUT/t") s"
  wall "$OUT/t" sh -c "gzip -9 -c '$OUT/tree.tar' >'$OUT/tree.tar.gz'"
  say "  gzip -9 of a tar: $(size "$OUT/tree.tar.gz") bytes; $(cat "$OUT/t") s"
  awk -v o="$(size "$OUT/ours.exe")" -v n="$(size "$OUT/nsis_lzma.exe")" \
    -v i="$stub" -v x="$(size "$OUT/tree.tar.xz")" 'BEGIN {
      printf "  ratios: whole package / NSIS LZMA installer %.4f; package without image / xz -9e %.4f\n", o / n, (o - i) / x }' |
    tee -a "$RESULTS"
  rm -rf "$OUT"/*.exe "$OUT"/tree.tar* "$OUT/prog" "$OUT/tmp"
}

say "package sizes, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) CPUs (shared), image $(size "$STUB") bytes"
if [ "$SKIP" != --skip-product-tree ]; then
  product_tree "$OUT/product"
  measure "product tree (PE files and text)" "$OUT/product"
  rm -rf "$OUT/product"
fi
if [ "$SKIP" != --skip-bench-tree ]; then
  "${CXX:-c++}" -O2 -std=c++20 -o "$OUT/gen_tree" "$HERE/gen_tree.cpp"
  mkdir -p "$OUT/tree"
  "$OUT/gen_tree" "$OUT/tree" $((100 * 1024 * 1024)) 20240611
  measure "100 MB bench tree" "$OUT/tree"
  rm -rf "$OUT/tree"
fi
echo "results saved in $RESULTS"
