#!/bin/bash
# The fuzz replays' confinement: inside fuzz_confine only its TMPDIR and the
# folders given with -w take a write, and a replay started outside it runs
# no input. Exits 77 (skip) where no confinement can be had.
#   confine_test.sh CONFINE REPLAY
set -u
confine=$1 replay=$2
outside=$(mktemp -d) given=$(mktemp -d)
trap 'rm -rf "$outside" "$given"' EXIT
failures=0

# Each folder that takes a file, by name ("TMPDIR" for the confined one).
written=$("$confine" -w "$given" sh -c 'for d in "$@" "$TMPDIR"; do
    touch "$d/.probe" 2>/dev/null && rm "$d/.probe" &&
      { [ "$d" = "$TMPDIR" ] && echo TMPDIR || echo "$d"; }
  done' sh "$outside" / /dev/shm "$given")
rc=$?
[ $rc = 77 ] && exit 77
[ $rc = 0 ] && [ "$written" = "$given"$'\n'TMPDIR ] ||
  { echo "FAIL: confined writes (rc $rc) went to: [$written]"; failures=1; }

: >"$outside/input"
log=$(env -u UPD_FUZZ_CONFINED "$replay" "$outside/input" 2>&1)
rc=$?
[ $rc != 0 ] && [[ $log == *"not confined"* ]] && [[ $log != *passed* ]] ||
  { echo "FAIL: an unconfined replay ran (rc $rc): $log"; failures=1; }
exit $failures
