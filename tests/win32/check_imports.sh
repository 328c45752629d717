#!/usr/bin/env bash
# The program image may import only DLLs that Windows itself ships and keeps
# in its KnownDLLs list: a DLL of any other name would be looked for beside
# the package, in the user's Downloads folder.
#   bash check_imports.sh PROGRAM.exe
set -euo pipefail
# advapi32: the stack protector's canary is seeded from its random source.
allowed="kernel32.dll user32.dll gdi32.dll ole32.dll oleaut32.dll msvcrt.dll advapi32.dll"
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
dlls=$("$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$dlls" ] || { echo "no import table found in $1" >&2; exit 1; }
bad=0
for dll in $dlls; do
  case " $allowed " in
  *" $dll "*) echo "imports $dll" ;;
  *) echo "imports $dll, which is not a DLL that Windows ships as a known DLL" >&2; bad=1 ;;
  esac
done
# Nothing loaded late by name either, beside the one system call looked up:
# the delay-import directory (entry 13 of the data directories) is empty.
delay=$("$objdump" -p "$1" | sed -n 's/^Entry d [0-9a-fA-F]* \([0-9a-fA-F]*\) Delay Import Directory.*/\1/p')
if [ -z "$delay" ] || [ "$((16#$delay))" -ne 0 ]; then
  echo "$1 has delay-loaded imports" >&2
  bad=1
fi
exit $bad
