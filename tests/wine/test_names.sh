#!/usr/bin/env bash
# A record whose target is no name Windows makes as that name fails with
# the critical error, as `updpack run` fails natively: a copy to "a:b"
# would make a stream of a file "a" on NTFS, and "aux" names the device.
# So does a path that ends in a separator where a file is meant, the
# source of a copy or, in this format, the target of a deletion: it names
# no file. So do a copy from an empty path or from {temp} itself or onto
# its own file (as Windows reads a path: the dots and blanks that end the
# name left last go, "{app}\one.txt. \." is one.txt), an rmdir of {temp}
# (the run holds it) and, in this format,
# a deletion of {app} itself: updpack verify calls each a record every
# run fails at. So does a copy of a file the package lacks behind a dot
# part ({temp}\.\x.txt, read as {temp}\x.txt). A package of ours (KIND
# ours) checks the product before its first record and names the folder
# a copy reads, as this format does, not the file it would install; so it
# names any source that is no file of the package, and a path that ends
# in a separator, which names none: a file of {app} that is missing (a
# record verify calls sound, SOUND), {temp}\. and {temp}\sub\.., which are
# {temp} itself, a path with a folder after {temp}. A copy onto a path
# that ends in a separator fails in both formats as Windows opens it for
# writing: the program folder as a folder, a missing name as a bad file
# name, a name in a missing folder as a path not found, a folder that a
# record before makes (MADE) as a folder and a new name in it as a bad
# file name, as is a folder there before the run that a record before
# removes (MADE -NAME); a package of ours before its first record,
# removing nothing. So does a folder made over the file a record before
# copies, with the system's text as the install gives it.
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin names

payload="$E2E_WORK/payload"
program="$E2E_WORK/program"
mkdir -p "$payload" "$program"
printf 'one' >"$payload/one.txt"
# OPERATION|SOURCE|TARGET|DESCRIPTION|KIND|SOUND|MADE, printf formats (after a
# copy of one.txt) and what the message says, when checked (@: the program
# folder, %: TMP, as the program names them).
for c in '0|\000\\one.txt|\001\\a:b|' '2||\001\\aux|' \
  '1||\001\\one.txt\\|' '0|\001\\one.txt\\|\001\\two.txt|' \
  '0||\001\\x.txt|Путь не найден' \
  '0|\000|\001\\x.txt|Ошибка доступа к пути или файлу' \
  '0|\000|\001\\x.txt|Ошибка доступа к пути или файлу|ours' \
  '0|\001\\one.txt|\001\\.\\ONE.TXT.|файл копируется сам в себя' \
  '0|\001\\one.txt|\001\\one.txt. \\.|файл копируется сам в себя' \
  '0|\001\\one.txt|\001\\one.txt.\\.|файл копируется сам в себя' \
  '0|\001\\x\\..\\one.txt|\001\\one.txt|файл копируется сам в себя' \
  '0|\001\\one.txt|\001\\ONE.TXT \\x\\..|файл копируется сам в себя' \
  '3||\000|Конфликт совместного доступа' '1||\001\\.|Файл не найден' \
  '0|\000\\|\001\\x.txt|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\|' \
  '0|\000\\|\001\\x.txt|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\|ours' \
  '0|\000\\one.txt\\|\001\\x.txt|Недопустимое имя файла: %\VLSFX_QUORIX\one.txt\ (|ours' \
  '0|\000\\.\\x.txt|\001\\x.txt|Файл не найден: %\VLSFX_QUORIX\.\x.txt (' \
  '0|\001\\missing.txt|\001\\x.txt|Файл не найден: @\missing.txt (||sound' \
  '0|\001\\missing.txt|\001\\x.txt|Файл не найден: @\missing.txt (|ours|sound' \
  '0|\000\\.|\001\\x.txt|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\.|' \
  '0|\000\\.|\001\\x.txt|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\.|ours' \
  '0|\000\\sub\\..|\001\\x.txt|Ошибка доступа к пути или файлу: %\VLSFX_QUORIX\sub\..|ours' \
  '0|\000\\.\\none.txt|\001\\x.txt|Файл не найден: %\VLSFX_QUORIX\.\none.txt (|ours' \
  '0|\000\\one.txt|\001\\|Ошибка доступа к пути или файлу: @\|' \
  '0|\000\\one.txt|\001\\|Ошибка доступа к пути или файлу: @\|ours' \
  '0|\000\\one.txt|\001\\new\\|Недопустимое имя файла: @\new\ (|' \
  '0|\000\\one.txt|\001\\new\\|Недопустимое имя файла: @\new\ (|ours' \
  '0|\000\\one.txt|\001\\nosuch\\new\\|Путь не найден: @\nosuch\new\ (|' \
  '0|\000\\one.txt|\001\\nosuch\\new\\|Путь не найден: @\nosuch\new\ (|ours' \
  '0|\000\\one.txt|\001\\made\\|Ошибка доступа к пути или файлу: @\made\|||made' \
  '0|\000\\one.txt|\001\\made\\|Ошибка доступа к пути или файлу: @\made\|ours||made' \
  '0|\000\\one.txt|\001\\made\\new\\|Недопустимое имя файла: @\made\new\ (|ours||made' \
  '0|\000\\one.txt|\001\\gone\\|Недопустимое имя файла: @\gone\ (|ours||-gone' \
  '2||\001\\one.txt\\|Ошибка доступа к пути или файлу: @\one.txt\ (|ours|sound'; do
  IFS='|' read -r op source target description kind sound made <<<"$c"
  description=${description//@/$(e2e_windows_path "$program")}
  description=${description//%/$E2E_TMP_WINDOWS}
  gone=
  [[ $made != -* ]] || { gone=${made#-} && made=; }
  rm -rf "$program/one.txt" "$program/made" "$program/gone"
  [ -z "$gone" ] || mkdir "$program/$gone"
  {
    e2e_script_record 0 '\000\\one.txt' '\001\\one.txt'
    [ -z "$made" ] || e2e_script_record 2 '' "\\001\\\\$made"
    [ -z "$gone" ] || e2e_script_record 3 '' "\\001\\\\$gone"
    e2e_script_record "$op" "$source" "$target"
  } >"$payload/script"
  if [ "$kind" = ours ]; then
    # A package made to fail: build refuses what verify faults.
    e2e_make_package "$payload" "$program/update.exe" --store --unchecked
  else
    e2e_make_base_package "$payload" "$program/update.exe"
  fi
  if "$UPDPACK_TOOL" verify "$program/update.exe" >/dev/null 2>&1; then
    [ -n "$sound" ] || e2e_fail "updpack verify calls the package for $target sound"
  else
    [ -z "$sound" ] || e2e_fail "updpack verify faults the package for $source"
  fi

  e2e_start_package "$program/update.exe"
  e2e_answer_confirmation Yes
  e2e_expect_critical_box
  [[ $E2E_BOX_TEXT == *"$description"* ]] ||
    e2e_fail "the message for $target does not say '$description': $E2E_BOX_TEXT"
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "exit code for $target" 1 "$E2E_EXIT"
  if [ "$kind" = ours ]; then # nothing installed, nothing removed
    e2e_expect_eq "the program folder after $target" \
      "${gone:+$gone }update.exe" "$(cd "$program" && echo *)"
    continue
  fi
  e2e_expect_same_file "$payload/one.txt" "$program/one.txt"
  e2e_expect_eq "the program folder after $target" \
    "${made:+$made }one.txt update.exe" "$(cd "$program" && echo *)"
done
