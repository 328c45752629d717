#!/usr/bin/env bash
# Full volumes, as small tmpfs mounts (skipped where mounting is not
# allowed), under /S: TMP full during the carve-out of a compressed package,
# and the program folder full during the install of a package of ours. The
# program ends as the native run of the same package ends: exit code 1,
# the same message but for the OS's own words and the paths, and the
# product as it was.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin full_disk

mounts=()
ending=$(trap -p EXIT | sed "s/^trap -- '\(.*\)' EXIT\$/\1/")
# shellcheck disable=SC2154 # rc and m: set when the trap runs
trap 'rc=$?; for m in "${mounts[@]}"; do umount "$m"; done; (exit $rc); '"$ending" EXIT
mount_small() { # DIR SIZE
  mkdir -p "$1" && mount -t tmpfs -o "size=$2" tmpfs "$1" 2>/dev/null || return 1
  mounts+=("$1")
}
mount_small "$E2E_WORK/probe" 64k ||
  e2e_skip "no tmpfs can be mounted here (needs root)"

old="$E2E_WORK/old"
new="$E2E_WORK/new"
mkdir -p "$old" "$new"
printf 'old' >"$old/app.txt"
e2e_data "$old/data.bin" 100000
printf 'new' >"$new/app.txt"
head -c 2000000 /dev/urandom | base64 >"$new/data.bin" # compressible
"$UPDPACK_TOOL" diff "$old" "$new" --build "$E2E_WORK/update.exe" --level 1 \
  --stub "$UPDPACK_STUB" >"$E2E_WORK/build.log" 2>&1 ||
  e2e_fail "diff --build failed: $(cat "$E2E_WORK/build.log")"

# The message box's text and the ending in a log, the OS's words (the
# parenthesis that ends a line) and the folders before a name taken away.
ending_of() { # LOG
  sed -n '/^message (error)/,$p' "$1" | tr -d '\r' |
    sed -e 's/ ([^()]*)$//' -e 's/: .*[\\/]\([^\\/]*\)$/: \1/'
}

# Wine gives every file of Z: the same volume serial number and its inode
# number as its index: two fresh tmpfs mounts hold different files of the
# same index, which the program then takes for one (a copy "onto itself").
# So TMP stays on the disk (-) where the program folder is a small mount.
# TMP_SIZE|APP_SIZE|what the ending says
while IFS='|' read -r tmp_size app_size says; do
  for side in wine native; do
    tmp="$E2E_WORK/tmp.$side.$tmp_size"
    app="$E2E_WORK/app.$side.$app_size"
    if [ "$tmp_size" = - ]; then
      mkdir -p "$tmp"
    else
      mount_small "$tmp" "$tmp_size" || e2e_fail "cannot mount $tmp"
    fi
    mount_small "$app" "$app_size" || e2e_fail "cannot mount $app"
    cp -r "$old/." "$app/"
    log="$E2E_WORK/$side.$tmp_size.$app_size.log"
    if [ $side = wine ]; then
      E2E_PACKAGE_LOG="$E2E_WORK/package.log"
      e2e_wine_env
      env "${E2E_WINE_ENV[@]}" "$WINE" cmd /c "set TMP=$(e2e_windows_path "$tmp")& \
$(e2e_windows_path "$E2E_WORK/update.exe") /S /LOG=$(e2e_windows_path "$log") \
/D=$(e2e_windows_path "$app")" >"$E2E_PACKAGE_LOG" 2>&1
      code=$?
    else
      code=0
      TMP=$tmp "$UPDPACK_TOOL" run "$E2E_WORK/update.exe" --silent --log "$log" \
        --target "$app" >/dev/null 2>&1 || code=$?
    fi
    e2e_expect_eq "exit code ($side, TMP $tmp_size, program folder $app_size)" 1 "$code"
    diff -r "$old" "$app" >/dev/null ||
      e2e_fail "$side, TMP $tmp_size, program folder $app_size: the product changed"
    case "$(ending_of "$log")" in
    *"$says"*) ;;
    *) e2e_fail "$side, TMP $tmp_size: the ending does not say \"$says\": $(ending_of "$log")" ;;
    esac
  done
  native=$(ending_of "$E2E_WORK/native.$tmp_size.$app_size.log")
  wine=$(ending_of "$E2E_WORK/wine.$tmp_size.$app_size.log")
  [ "$native" = "$wine" ] || {
    e2e_log "its log: $(tr '\r\n' ' |' <"$E2E_WORK/wine.$tmp_size.$app_size.log")"
    e2e_fail "TMP $tmp_size, program folder $app_size: \
the program ends otherwise than the native run: ${wine//$'\n'/|} against ${native//$'\n'/|}"
  }
done <<'TABLE'
1m|4m|Диск заполнен: VLSFX_QUORIX.PACK
-|1m|Обновление не выполнено, продукт оставлен в прежнем состоянии.
TABLE

# A package of the base format, run in its own folder, runs strictly: the
# copy that fills the folder ends the run with the critical error naming the
# file, exit code 1, the records before it done; natively as well.
payload="$E2E_WORK/payload"
mkdir -p "$payload"
printf 'new' >"$payload/app.txt"
e2e_data "$payload/data.bin" 2000000
{
  e2e_script_record 0 '\000\\app.txt' '\001\\app.txt'
  e2e_script_record 0 '\000\\data.bin' '\001\\data.bin'
} >"$payload/script"
e2e_make_base_package "$payload" "$E2E_WORK/base.exe"
for side in wine native; do
  app="$E2E_WORK/base.$side"
  mount_small "$app" 3m || e2e_fail "cannot mount $app"
  cp -r "$old/." "$E2E_WORK/base.exe" "$app/"
  if [ $side = wine ]; then
    e2e_start_package "$app/base.exe"
    e2e_answer_confirmation Yes
    e2e_expect_critical_box
    said=$E2E_BOX_TEXT
    e2e_close_box "exit code of the base format on a full folder" 1
  else
    code=0
    TMP="$E2E_WORK/tmp.native.-" "$UPDPACK_TOOL" run "$app/base.exe" --yes \
      >/dev/null 2>"$E2E_WORK/base.err" || code=$?
    e2e_expect_eq "exit code of the base format on a full folder, natively" 1 "$code"
    said=$(sed -e 's/^Dravell \[error\]: //' -e '/^Dravell/d' "$E2E_WORK/base.err" |
      sed -n '/^Произошла/,$p')
  fi
  said=$(printf '%s' "$said" | tr -d '\r' |
    sed -e 's/ ([^()]*)$//' -e 's/: .*[\\/]\([^\\/]*\)$/: \1/')
  e2e_expect_eq "what the base format says on a full folder ($side)" \
    "$E2E_MSG_CRITICAL"$'\n'"Диск заполнен: data.bin" "$said"
  e2e_expect_eq "the record before the failing one ($side)" new "$(cat "$app/app.txt")"
done

e2e_log "full_disk: TMP and the program folder full end as natively"
