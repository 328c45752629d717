#!/usr/bin/env bash
# The packed program image's start against the program unpacked: one small
# update (`diff --build`, one changed file) built on each, run silently
# under Wine in turn (the display and prefix of tests/wine/harness.sh), the
# folder put back between runs. Wall-clock times of whole runs, from the
# start of `wine` to its end; medians and minimums and their ratios. Not a
# test.
#
#   UPDPACK_TOOL=build/native/tools/updpack \
#   UPDPACK_STUB=build/win64/stub/updpack-stub.exe \
#   WINTOOL=build/win64/tests/wine/wintool.exe \
#     bash bench/image_start.sh [REPS]
#
# The unpacked program is updpack-program.exe beside the image.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/wine/harness.sh
. "$HERE/../tests/wine/harness.sh"
e2e_begin image_start
reps=${1:-15}
program=$(dirname "$UPDPACK_STUB")/updpack-program.exe
[ -f "$program" ] || e2e_fail "no $program beside the image"

mkdir -p "$E2E_WORK/v1" "$E2E_WORK/v2"
printf 'old' >"$E2E_WORK/v1/app.txt"
printf 'new' >"$E2E_WORK/v2/app.txt"
for kind in packed unpacked; do
  stub=$UPDPACK_STUB
  [ "$kind" = packed ] || stub=$program
  "$UPDPACK_TOOL" diff "$E2E_WORK/v1" "$E2E_WORK/v2" --build "$E2E_WORK/$kind.exe" \
    --stub "$stub" >"$E2E_WORK/build.log" 2>&1 ||
    e2e_fail "diff --build on $stub: $(cat "$E2E_WORK/build.log")"
done

# One silent run of KIND's package into a fresh copy of v1; prints its
# milliseconds.
run() { # KIND
  local start end target="$E2E_WORK/target"
  rm -rf "$target"
  cp -r "$E2E_WORK/v1" "$target"
  e2e_clear_tmp
  start=$(date +%s%N)
  e2e_wine "$E2E_WORK/$1.exe" /S "/D=$(e2e_windows_path "$target")" || e2e_fail "$1: exit code $?"
  end=$(date +%s%N)
  [ "$(cat "$target/app.txt")" = new ] || e2e_fail "$1: the update was not installed"
  echo $(((end - start) / 1000000))
}

for kind in packed unpacked; do run "$kind" >/dev/null; done # warm up
for ((i = 0; i < reps; i++)); do
  for kind in packed unpacked; do run "$kind" >>"$E2E_WORK/$kind.ms"; done
done
stats() { sort -n "$E2E_WORK/$1.ms" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[1] }'; }
read -r packed_median packed_min < <(stats packed)
read -r unpacked_median unpacked_min < <(stats unpacked)
printf '%-10s %8s %8s\n' "" "median ms" "min ms"
printf '%-10s %8d %8d\n' packed "$packed_median" "$packed_min" unpacked "$unpacked_median" "$unpacked_min"
awk -v a="$packed_median" -v b="$unpacked_median" -v c="$packed_min" -v d="$unpacked_min" \
  'BEGIN { printf "packed / unpacked: median %.3f, min %.3f\n", a / b, c / d }'
