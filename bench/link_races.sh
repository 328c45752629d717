#!/usr/bin/env bash
# Races that no test makes deterministic: a folder swapped with a link to an
# outside "victim" folder (renameat2 RENAME_EXCHANGE, back and forth) while
# updpack works in it. Prints, for each try, the exit status, the number of
# swaps made, whether the victim folder changed and how many program files
# hold its bytes.
#
#   bash bench/link_races.sh [--reps N] [--files N] /path/to/updpack SCENE
#
# SCENE: temp     the run's temporary folder, from the start of the run
#        install  the run's temporary folder, once the install has made its
#                 backup area (the install reads its sources there)
#        app      a folder of the program folder, once the install has made
#                 its backup area (packages of ours; the base format follows
#                 such a link as Windows does)
#        extract  the target folder of extract, once the first entry is there
# Expected: temp, install and extract never change the victim nor install
# its bytes ("installed" counts program files holding them); app may move
# one of its files into the backup area (the looks before each move go by
# path: README, "Untrusted bytes and the file system"), and then fails the
# run.
set -u
REPS=5 N=100
while [ $# -gt 2 ]; do
  case $1 in
  --reps) REPS=$2; shift 2 ;;
  --files) N=$2; shift 2 ;;
  *) break ;;
  esac
done
U=$(realpath "${1:?updpack}") SCENE=${2:?scene}
HERE=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$HERE/out"
SW=$HERE/out/swapper
cc -O2 -x c -o "$SW" - <<'C' || exit 2
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <linux/fs.h>
/* swapper TARGET OUTSIDE STOP [WAITFOR]: swaps TARGET with a link to OUTSIDE
   for 200 us, then back for 200 us, from when WAITFOR exists until STOP does. */
static int swap(const char *a, const char *b) {
  return syscall(SYS_renameat2, AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
}
int main(int argc, char **argv) {
  char link[4096];
  long swaps = 0;
  struct stat st;
  snprintf(link, sizeof link, "%s.swap", argv[1]);
  unlink(link);
  if (symlink(argv[2], link) != 0) return 1;
  while (argc > 4 && access(argv[4], F_OK) != 0 && access(argv[3], F_OK) != 0)
    usleep(20);
  while (access(argv[3], F_OK) != 0) {
    if (swap(argv[1], link) == 0) {
      ++swaps;
      usleep(200);
      swap(argv[1], link);
    }
    usleep(200);
  }
  if (lstat(argv[1], &st) == 0 && S_ISLNK(st.st_mode)) swap(argv[1], link);
  unlink(link);
  printf("%ld\n", swaps);
  return 0;
}
C
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
cd "$W" || exit 2
. "$HERE/../tests/cli/common.bash" "$U" >/dev/null
cd "$W" || exit 2
make_stub stub.exe
mkdir payload
: >s.txt
for i in $(seq -w 1 "$N"); do
  head -c 20000 /dev/urandom >payload/f$i
  printf 'copy {temp}\\f%s {app}\\sub\\f%s\n' "$i" "$i" >>s.txt
done
"$U" build --store --payload payload --script s.txt --stub stub.exe -o ours.exe >/dev/null 2>&1 &&
  "$U" pack payload plain.pack >/dev/null || exit 2
state() { (cd victim && ls -la --time-style=+%s . | grep -v ' \.\.$' && cat -- *) | sha1sum; }
for rep in $(seq 1 "$REPS"); do
  rm -rf victim T app X stop && mkdir -p victim T app/sub X
  for i in $(seq -w 1 "$N"); do printf old >app/sub/f$i && printf VICTIM >victim/f$i; done
  before=$(state)
  export TMP=$W/T
  case $SCENE in
  temp) target=T/VLSFX_QUORIX wait= cmd=(run ours.exe --yes --target app) ;;
  install) target=T/VLSFX_QUORIX wait=app/~updpack.bak cmd=(run ours.exe --yes --target app) ;;
  app) target=app/sub wait=app/~updpack.bak cmd=(run ours.exe --yes --target app) ;;
  extract) target=X wait=X/f001 cmd=(extract plain.pack X) ;;
  *) echo "unknown scene: $SCENE" >&2; exit 64 ;;
  esac
  "$SW" "$target" "$W/victim" stop ${wait:+"$W/$wait"} >swaps &
  "$U" "${cmd[@]}" </dev/null >out 2>err
  rc=$?
  touch stop && wait
  victim=same
  [ "$(state)" = "$before" ] || victim=CHANGED
  installed=$(grep -l VICTIM app/sub/* 2>/dev/null | wc -l)
  printf '%s try %d: exit %d, %d swaps, victim %s, installed %d\n' "$SCENE" "$rep" "$rc" \
    "$(cat swaps)" "$victim" "$installed"
done
