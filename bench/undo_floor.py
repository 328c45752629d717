#!/usr/bin/env python3
"""The least an undoable install of a tree must do beyond a strict one.

    python3 bench/undo_floor.py OLD_TREE [--reps N]

On a copy of OLD_TREE (made beside it, so on the same file system), times
the three pieces of work that the undoable install adds and that no
implementation can leave out: reading every installed file once for its
CRC-32 (the check of the installed product), two renames a file (into the
backup area, and the new file from its temporary name into place; here the
old file aside and back), and removing the backup area's copy of the tree.
Each is the median of N repetitions; the copy is made afresh for each and
is not timed. Set against the strict run's own time, their sum is the
lowest ratio the undoable install can reach on that file system.
"""

import argparse
import os
import shutil
import statistics
import time
import zlib


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def read_all(tree, names):
    crc = 0
    for name in names:
        with open(os.path.join(tree, name), "rb") as f:
            crc = zlib.crc32(f.read())
    return crc


def renames(tree, names):
    area = os.path.join(tree, "~updpack.bak")
    os.mkdir(area)
    for number, name in enumerate(names, 1):
        os.rename(os.path.join(tree, name), os.path.join(area, str(number)))
    for number, name in enumerate(names, 1):
        os.rename(os.path.join(area, str(number)), os.path.join(tree, name))
    os.rmdir(area)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tree")
    parser.add_argument("--reps", type=int, default=5)
    args = parser.parse_args()
    tree = os.path.abspath(args.tree)
    names = sorted(n for n in os.listdir(tree)
                   if os.path.isfile(os.path.join(tree, n)))
    copy = tree.rstrip("/") + ".floor"
    pieces = {"read and CRC-32": [], "two renames a file": [],
              "remove the old files": []}
    for _ in range(args.reps):
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(tree, copy)
        os.sync()
        pieces["read and CRC-32"].append(timed(lambda: read_all(copy, names)))
        pieces["two renames a file"].append(timed(lambda: renames(copy, names)))
        pieces["remove the old files"].append(
            timed(lambda: shutil.rmtree(copy)))
    total = 0.0
    for piece, times in pieces.items():
        median = statistics.median(times)
        total += median
        print(f"{piece:24} {median:.3f} s")
    print(f"{'sum':24} {total:.3f} s ({len(names)} files)")


if __name__ == "__main__":
    main()
