#!/usr/bin/env bash
# The program image is the head of every package a user downloads: it must
# stay small. Prints its size and fails above the limit.
#   bash check_size.sh PROGRAM.exe LIMIT_BYTES
set -euo pipefail
size=$(stat -c %s "$1")
echo "$(basename "$1"): $size bytes (limit $2)"
if [ "$size" -gt "$2" ]; then
  echo "$1 is $((size - $2)) bytes over the limit of $2 bytes" >&2
  exit 1
fi
