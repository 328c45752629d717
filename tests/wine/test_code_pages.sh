#!/usr/bin/env bash
# A package's names are read in the code page its manifest declares,
# whatever Wine's ANSI code page: the same Cyrillic package and the same
# French/German one install correctly with the ANSI code page 1251 and
# with 1252 (the locale of the started program chooses it).
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin code_pages

# Makes the locale NAME.UTF-8 (from Debian's sources when the system has
# no compiled copy) the one of every program started from now on.
use_locale() { # NAME
  local folder="$E2E_ROOT/locale"
  mkdir -p "$folder"
  [ -f "$folder/$1.UTF-8/LC_CTYPE" ] ||
    localedef -i "$1" -f UTF-8 "$folder/$1.UTF-8" >/dev/null 2>&1 ||
    [ -f "$folder/$1.UTF-8/LC_CTYPE" ] || e2e_skip "cannot make the locale $1.UTF-8"
  E2E_LOCPATH=$folder
  E2E_LC_ALL=$1.UTF-8
}

# v1 -> v2 of a tree whose changed files carry the names given; the
# package is built by diff --build.
make_update() { # NAME FILE...
  local name=$1
  shift
  mkdir -p "$E2E_WORK/$name/v1" "$E2E_WORK/$name/v2/$1.d"
  for file; do
    printf 'old' >"$E2E_WORK/$name/v1/$file"
    printf 'new %s' "$file" >"$E2E_WORK/$name/v2/$file"
    printf 'deep %s' "$file" >"$E2E_WORK/$name/v2/$1.d/$file"
  done
  "$UPDPACK_TOOL" diff "$E2E_WORK/$name/v1" "$E2E_WORK/$name/v2" \
    --build "$E2E_WORK/$name/update.exe" --stub "$UPDPACK_STUB" \
    >"$E2E_WORK/build.log" 2>&1 || e2e_fail "diff --build $name: $(cat "$E2E_WORK/build.log")"
}

install_update() { # NAME PAGE
  local program="$E2E_WORK/$1-$2"
  rm -rf "$program"
  cp -r "$E2E_WORK/$1/v1" "$program"
  cp "$E2E_WORK/$1/update.exe" "$program/"
  e2e_clear_tmp
  e2e_start_package "$program/update.exe"
  e2e_answer_confirmation Yes
  e2e_wait_box "$E2E_MSG_SUCCESS" 60000
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
  e2e_expect_eq "$1 under code page $2: exit code" 0 "$E2E_EXIT"
  rm "$program/update.exe"
  diff -r "$program" "$E2E_WORK/$1/v2" >"$E2E_WORK/diff.log" 2>&1 ||
    e2e_fail "$1 under code page $2 installed otherwise: $(cat "$E2E_WORK/diff.log")"
}

make_update cyrillic 'Что нового в 4.3.txt' 'сообщения.po'
make_update western 'Présentation.txt' 'Größe.txt'
for pair in ru_RU:1251 de_DE:1252; do
  use_locale "${pair%:*}"
  acp=$(e2e_wintool acp 2>/dev/null | tr -dc '0-9')
  e2e_expect_eq "Wine's ANSI code page in ${pair%:*}" "${pair#*:}" "$acp"
  install_update cyrillic "$acp"
  install_update western "$acp"
done
e2e_log "code pages: both packages installed under 1251 and 1252"
