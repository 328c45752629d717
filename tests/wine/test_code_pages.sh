#!/usr/bin/env bash
# A package's names are read in the code page its manifest declares,
# whatever Wine's ANSI code page: the same Cyrillic package and the same
# French/German one install correctly with the ANSI code page 1251 and
# with 1252 (the locale of the started program chooses it).
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin code_pages

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

# Answers Yes and OK; E2E_EXIT holds the package's exit code.
run_to_success() { # PACKAGE.exe
  e2e_clear_tmp
  e2e_start_package "$1"
  e2e_answer_confirmation Yes
  e2e_wait_box "$E2E_MSG_SUCCESS" 60000
  e2e_wintool press "$E2E_BOX_TITLE" OK || e2e_fail "cannot press OK"
  e2e_wait_package 20
}

install_update() { # NAME PAGE [EXPECTED]
  local program="$E2E_WORK/$1-$2" expected=${3:-v2}
  rm -rf "$program"
  cp -r "$E2E_WORK/$1/v1" "$program"
  cp "$E2E_WORK/$1/update.exe" "$program/"
  run_to_success "$program/update.exe"
  e2e_expect_eq "$1 under code page $2: exit code" 0 "$E2E_EXIT"
  rm "$program/update.exe"
  diff -r "$program" "$E2E_WORK/$1/$expected" >"$E2E_WORK/diff.log" 2>&1 ||
    e2e_fail "$1 under code page $2 installed otherwise: $(cat "$E2E_WORK/diff.log")"
}

# A package of the base format (no manifest) names its files in the
# system's code page: the same bytes E4 E0 ED ED FB E5 are "данные" under
# 1251 and "äàííûå" under 1252.
make_plain() {
  mkdir -p "$E2E_WORK/plain/payload"
  printf 'plain' >"$E2E_WORK/plain/payload/данные"
  e2e_script_record 0 '\000\\\344\340\355\355\373\345' \
    '\001\\\344\340\355\355\373\345.txt' >"$E2E_WORK/plain/payload/script"
  "$UPDPACK_TOOL" pack "$E2E_WORK/plain/payload" "$E2E_WORK/plain/update.pack1" \
    >"$E2E_WORK/build.log" 2>&1 || e2e_fail "pack: $(cat "$E2E_WORK/build.log")"
  e2e_join_package "$E2E_WORK/plain/update.pack1" "$E2E_WORK/plain/update.exe"
}

install_plain() { # PAGE NAME
  local program="$E2E_WORK/plain-$1"
  mkdir -p "$program"
  cp "$E2E_WORK/plain/update.exe" "$program/"
  run_to_success "$program/update.exe"
  e2e_expect_eq "base format under code page $1: exit code" 0 "$E2E_EXIT"
  e2e_expect_eq "base format under code page $1: installed" "$2" \
    "$(cd "$program" && ls -- *.txt)"
}

# A new version whose files differ only in case from the installed ones
# (É, Œ and Ÿ, whose small letters 1252 holds too): each copy replaces the
# installed file, which keeps its name.
make_recased() {
  local old new
  mkdir -p "$E2E_WORK/recased/v1" "$E2E_WORK/recased/v2" "$E2E_WORK/recased/want"
  for pair in Été.txt:ÉTÉ.txt œuvre.txt:Œuvre.txt ÿes.txt:Ÿes.txt; do
    old=${pair%%:*} new=${pair#*:}
    printf 'old' >"$E2E_WORK/recased/v1/$old"
    printf 'new %s' "$new" | tee "$E2E_WORK/recased/v2/$new" >"$E2E_WORK/recased/want/$old"
  done
  "$UPDPACK_TOOL" diff "$E2E_WORK/recased/v1" "$E2E_WORK/recased/v2" \
    --build "$E2E_WORK/recased/update.exe" --stub "$UPDPACK_STUB" \
    >"$E2E_WORK/build.log" 2>&1 || e2e_fail "diff --build recased: $(cat "$E2E_WORK/build.log")"
}

make_update cyrillic 'Что нового в 4.3.txt' 'сообщения.po'
make_update western 'Présentation.txt' 'Größe.txt'
make_recased
make_plain
for pair in ru_RU:1251:данные.txt de_DE:1252:äàííûå.txt; do
  locale=${pair%%:*} rest=${pair#*:}
  e2e_use_locale "$locale"
  acp=$(e2e_wintool acp 2>/dev/null | tr -dc '0-9')
  e2e_expect_eq "Wine's ANSI code page in $locale" "${rest%%:*}" "$acp"
  install_update cyrillic "$acp"
  install_update western "$acp"
  install_update recased "$acp" want
  install_plain "$acp" "${rest#*:}"
done
e2e_log "code pages: both packages installed under 1251 and 1252; the base format in the system's page"
