#!/usr/bin/env bash
# The floors of the source tree and what each may include:
#   tools -> run -> package -> archive -> platform, and run -> ui -> platform;
# codec/ (the compressed stream) stands on platform/ alone, and package/ and
# run/ above it may take it; stub/ (the program image) takes every floor but
# tools/, tools/ every one.
# A file includes by its path from the source root ("run/mdl_main.h"); each
# #include "..." of a floor that its own may not see fails, named as
# file:line.
#   layers.sh SOURCE_DIR          checks the tree
#   layers.sh --prove SOURCE_DIR  checks that includes planted in a copy of
#                                 the tree are caught, each by its line
set -u

FLOORS="archive codec package platform ui run stub tools"

allowed() { # FLOOR: the floors it may include
  case $1 in
  platform) echo "platform" ;;
  codec) echo "codec platform" ;;
  archive) echo "archive platform" ;;
  ui) echo "ui platform" ;;
  package) echo "package codec archive platform" ;;
  run) echo "run package codec archive ui platform" ;;
  stub) echo "stub run package codec archive ui platform" ;;
  tools) echo "$FLOORS" ;;
  esac
}

# Prints file:line: what is wrong, for every include out of its floor.
check() { # ROOT
  local file line text target floor wanted
  (cd "$1" && grep -rnE --include='*.h' --include='*.cpp' \
    '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' $FLOORS 2>/dev/null) |
    while IFS=: read -r file line text; do
      floor=${file%%/*}
      target=${text#*\"}
      target=${target%%\"*}
      wanted=${target%%/*}
      if [ "$wanted" = "$target" ]; then
        echo "$file:$line: \"$target\": include by the path from the source root"
      elif [[ " $(allowed "$floor") " != *" $wanted "* ]]; then
        echo "$file:$line: \"$target\": $floor/ may include only $(allowed "$floor" | sed 's|\([a-z]*\)|\1/|g')"
      fi
    done
}

if [ "${1:-}" = --prove ]; then
  src=${2:?usage: layers.sh --prove SOURCE_DIR}
  work=$(mktemp -d "${TMPDIR:-/tmp}/layers.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  for floor in $FLOORS; do cp -r "$src/$floor" "$work/"; done
  # FILE|INCLUDE: one planted include each, at the end of the file.
  planted="package/checksums.h|run/mdl_main.h
package/texts.cpp|ui/Setup.h
ui/Setup.cpp|package/texts.h
ui/Setup.h|run/run_texts.h
archive/catalog.h|package/trailer.h
platform/files.h|archive/cls_arch.h
run/container.cpp|tools/cli.h
stub/winmain.cpp|tools/stub.h
run/mdl_main.cpp|mdl_main.h
codec/lzma_stream.h|archive/catalog.h"
  expected=
  while IFS='|' read -r file include; do
    [ -f "$work/$file" ] || { echo "no $file to plant into" >&2; exit 1; }
    printf '#include "%s"\n' "$include" >>"$work/$file"
    expected+="$file:$(wc -l <"$work/$file")"$'\n'
  done <<<"$planted"
  found=$(check "$work" | cut -d: -f1,2 | sort)
  if [ "$found" != "$(printf '%s' "$expected" | sort)" ]; then
    echo "the planted includes were not caught, each by its line:" >&2
    diff <(printf '%s' "$expected" | sort) <(printf '%s\n' "$found") >&2
    exit 1
  fi
  echo "every planted include caught"
  exit 0
fi

src=${1:?usage: layers.sh SOURCE_DIR}
faults=$(check "$src")
if [ -n "$faults" ]; then
  printf '%s\n' "$faults" >&2
  exit 1
fi
echo "every include stays on its floor or below"
