#!/usr/bin/env bash
# The program image may import only DLLs that Windows itself ships and keeps
# in its KnownDLLs list: a DLL of any other name would be looked for beside
# the package, in the user's Downloads folder. The image's loader and the
# program it unpacks are checked alike, and the image must import each of
# the program's functions from the program's DLL: the loader hands the
# program what the system bound for the image.
#   bash check_imports.sh IMAGE.exe [PROGRAM.exe]
set -euo pipefail
# advapi32: the stack protector's canary is seeded from its random source.
allowed="kernel32.dll user32.dll gdi32.dll ole32.dll oleaut32.dll msvcrt.dll advapi32.dll"
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
bad=0
for image in "$@"; do
  dlls=$("$objdump" -p "$image" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  [ -n "$dlls" ] || { echo "no import table found in $image" >&2; bad=1; continue; }
  for dll in $dlls; do
    case " $allowed " in
    *" $dll "*) echo "$(basename "$image") imports $dll" ;;
    *) echo "$image imports $dll, which is not a DLL that Windows ships as a known DLL" >&2; bad=1 ;;
    esac
  done
  # Nothing loaded late by name either, beside the one system call looked
  # up: the delay-import directory (entry 13 of the data directories) is
  # empty.
  delay=$("$objdump" -p "$image" | sed -n 's/^Entry d [0-9a-fA-F]* \([0-9a-fA-F]*\) Delay Import Directory.*/\1/p')
  if [ -z "$delay" ] || [ "$((16#$delay))" -ne 0 ]; then
    echo "$image has delay-loaded imports" >&2
    bad=1
  fi
done
# Every function a PE image imports, as "dll function" lines.
imported() { # IMAGE
  "$objdump" -p "$1" | awk '
    /^[[:space:]]*DLL Name: / { dll = tolower($3); next }
    /^[[:space:]]*$/ { dll = "" }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }' | sort -u
}
if [ $# -eq 2 ]; then
  missing=$(comm -13 <(imported "$1") <(imported "$2"))
  [ -z "$(imported "$2")" ] && { echo "no imported function found in $2" >&2; bad=1; }
  if [ -n "$missing" ]; then
    printf '%s does not import, from the same DLL, what %s imports:\n%s\n' "$1" "$2" "$missing" >&2
    bad=1
  fi
fi
exit $bad
