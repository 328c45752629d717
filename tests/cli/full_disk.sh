# Full and read-only volumes, as small tmpfs mounts (skipped, with the
# reason, where mounting is not allowed): TMP full during the carve-out of
# a stored and a compressed package and during the extraction; the program
# folder full during the install of a package of ours (undone, byte for
# byte) and read-only; the tool's outputs and extraction on a full volume.
. "$(dirname "$0")/common.bash"

MOUNTS=()
# shellcheck disable=SC2154 # m: set when the trap runs
trap 'for m in "${MOUNTS[@]}"; do umount "$m"; done; rm -rf "$WORK"' EXIT
# mount_small DIR SIZE [OPTIONS]: a fresh tmpfs of SIZE at DIR.
mount_small() {
  mkdir -p "$1" && mount -t tmpfs -o "size=$2${3:+,$3}" tmpfs "$1" 2>/dev/null ||
    return 1
  MOUNTS+=("$1")
}
if ! mount_small "$WORK/probe" 64k; then
  echo "skipped: no tmpfs can be mounted here (needs root)" >&2
  finish
fi

make_stub stub.bin
mkdir old new
printf 'old' >old/app.txt
head -c 100000 /dev/urandom >old/data.bin
printf 'new' >new/app.txt
head -c 3000000 /dev/urandom >new/data.bin
head -c 2000000 /dev/urandom | base64 >new/text.txt # 2.7 MB, compressible
for kind in stored compressed; do
  option=--store
  [ $kind = compressed ] && option="--level 1"
  # shellcheck disable=SC2086 # the option's words
  run_tool diff old new --build $kind.exe --stub stub.bin $option
  expect_rc 0 "build the $kind package"
done

# A run of PACKAGE into a copy of the old version, TMP on a tmpfs of
# TMP_SIZE, the program folder on one of APP_SIZE (ro: read-only).
# TMP_SIZE|APP_SIZE|what stderr says|what it names
while IFS='|' read -r tmp_size app_size says names; do
  for kind in stored compressed; do
    what="$kind package, TMP $tmp_size, program folder $app_size"
    mount_small "$WORK/tmp.$kind.$tmp_size.$app_size" "$tmp_size"
    mount_small "$WORK/app.$kind.$tmp_size.$app_size" "${app_size%,ro}"
    app=$WORK/app.$kind.$tmp_size.$app_size
    cp -r old/. "$app/"
    [ "${app_size#*,}" = ro ] && mount -o remount,ro "$app"
    TMP=$WORK/tmp.$kind.$tmp_size.$app_size run_tool run $kind.exe --yes \
      --target "$app"
    expect_rc 1 "$what"
    expect_contains "$ERR" "$says" "$what: the message"
    expect_contains "$ERR" "$names" "$what: the file named"
    if grep -q 'успешно' "$ERR"; then fail "$what: reported as success"; fi
    diff -r old "$app" >/dev/null || fail "$what: the product changed"
  done
done <<'TABLE'
1m|4m|Произошла критическая ошибка:|VLSFX_QUORIX.PACK
8m|4m|(Диск полностью заполнен, код 112)|VLSFX_QUORIX\
16m|2m|Обновление не выполнено, продукт оставлен в прежнем состоянии.|(Диск полностью заполнен, код 112)
16m|4m,ro|Обновление не выполнено, продукт оставлен в прежнем состоянии.|~updpack.bak
TABLE

# The tool's outputs on a full volume: the command fails naming the output,
# and the file there before keeps its bytes; nothing else is left.
mount_small "$WORK/full" 1m
printf 'older' >"$WORK/full/out"
for command in "diff old new --build $WORK/full/out --stub stub.bin" \
  "build --payload new -o $WORK/full/out --stub stub.bin --store" \
  "pack new $WORK/full/out"; do
  # shellcheck disable=SC2086 # the command's words
  run_tool $command
  expect_rc 1 "$command"
  expect_contains "$ERR" "Disk full: $WORK/full/out" "$command: the output named"
  if [ "$(ls -A "$WORK/full")" != out ] || [ "$(cat "$WORK/full/out")" != older ]; then
    fail "$command: the old output changed or something was left: $(ls -A "$WORK/full")"
  fi
done

# extract over files of the same names on a full volume: it replaces them
# in place, as cp and tar do, and the entry that does not fit ends it with
# exit code 1, the disk named as full, never success.
for kind in stored compressed; do
  rm -rf "${WORK:?}/full/"*
  cp old/* "$WORK/full/"
  run_tool extract $kind.exe "$WORK/full"
  expect_rc 1 "extract the $kind package onto a full volume"
  expect_contains "$ERR" "Disk full" "extract onto a full volume: the message"
  if grep -q 'успешно' "$ERR"; then fail "extract onto a full volume: reported as success"; fi
done

finish
