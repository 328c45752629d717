#!/usr/bin/env bash
# The same packages on the same product folders, natively (`updpack run
# --yes`) and under Wine (the Windows program): both must end alike, with
# the same exit code, the same tree (names in their case, sizes, contents,
# read-only marks) and the same message. The cases are drawn at random from
# a fixed seed: product folders of mixed-case files and folders, some
# read-only, and scripts of copies, deletions by name and by pattern,
# folders made and removed, with paths Windows reads as other names or
# refuses (dots and blanks that end a name, ".", "..", doubled and forward
# separators, devices, a separator after a file, a wildcard in a folder);
# names outside ASCII (Cyrillic, Latin-1, letters without a simple case
# pair) spelled in another case, patterns over them and over names of
# several dots, a file where the script wants a folder and the reverse,
# empty files, read-only copy targets in folders; copies onto a folder, a
# missing name or a file with a separator after it, sources written with
# "." and ".." ({temp} itself, a file of the package through them, a name
# in a folder of {temp}), and records deep in a chain of seven folders;
# paths whose last name ends in dots or blanks that Windows drops only
# after "." and ".." ("new.txt. \.", "Sub \Gone\.."), and folders written
# with dots after them on the way; folders whose names end in blanks and
# dots before a separator ("Sub. \x", "SUB..\x"), made, used and
# removed, names of three dots, on the way and last, the names in another
# case than on the disk.
# Each runs as a package of ours in code page 1251 or 1252 (under Wine with
# /S and its log) and some also as a package of the base format (under
# Wine answered through its boxes), or as the package `diff --build` makes
# of the product folder and a new version of it, started on the old, the
# new, half of the way or something else, so that its check says up to
# date, goes on or refuses.
# DIFF_SEED and DIFF_CASES draw other or more cases, DIFF_ONLY=N runs case
# N alone: a mismatch prints all three.
# Where Wine 8 is not Windows, the cases keep out of its way (see PATTERNS
# and below_copy).
# shellcheck source=harness.sh
. "$(dirname "$0")/harness.sh"
e2e_begin differential

e2e_show_dot_files

# A seed whose cases caught the device names, the separator and the folder
# spelled as written, which the native run once got wrong.
seed=${DIFF_SEED:-10}
count=${DIFF_CASES:-22}
cases="$E2E_WORK/cases"
started=$SECONDS

# --- the cases ------------------------------------------------------------

# Writes COUNT cases under OUT, the same for the same SEED: NNN/program (the
# product folder), NNN/payload (the files to install and the binary script),
# NNN/base (present when the case runs as a base-format package too) and
# NNN/case.txt (the case in words).
cat >"$E2E_WORK/cases.py" <<'PY'
import os, random, shutil, sys

seed, count, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
rng = random.Random(seed)
# The kinds added later draw from their own source, so that a seed keeps
# the cases it drew before them, spelled otherwise at times.
odd = random.Random(seed + 7919)
# Names outside ASCII, kinds of paths the script and the product folder
# disagree on (a file where a folder is wanted and the reverse), and
# packages that carry the state they expect: a source of their own.
uni = random.Random(seed + 104729)
# Copies onto paths that end in a separator, sources written with "." and
# "..", and a deep chain of folders.
wide = random.Random(seed + 1299709)
# Paths whose last name ends in dots or blanks that Windows drops only once
# "." and ".." are read, and names before a separator that lose one dot.
tail = random.Random(seed + 15485863)
# Folders whose names end in blanks and dots before a separator, names of
# three dots, and names on the way in another case than on the disk.
edge = random.Random(seed + 32452843)

FILES = ["Readme.TXT", "app.DLL", "Notes.txt", "a1.log", "B2.Log", "data.BIN",
         "x", "Old.txt.bak", "c3.LOG", "Данные.txt", "ёлка.Log"]
FOLDERS = ["Sub", "LOGS", "Empty", "Cache"]
NESTED = ["Inner", "deep"]
SOURCES = ["new.txt", "App.dll", "NB.log"]
NEW_NAMES = ["new.txt", "Fresh.LOG", "z9.log", "NEW.TXT"]
# Names Windows makes into other names, or never makes.
ODD_NAMES = ["new.txt.", "new.txt ", "Notes.txt..", "NUL.txt"]
# More that Windows reads as other names, or refuses: the dots and blanks
# that end a name, devices (COM0 and LPT0 are none, "nul:" is NUL), a
# separator after a file's name.
MORE_ODD = ["new.txt. .", "com0", "Lpt0.log", "aux.log", "COM1 .txt", "nul:",
            "new.txt/", "Notes.txt/"]
PATTERNS = ["*.txt", "*.LOG", "?1.log", "*", "*.*", "b?.log", "*.", "??.log",
            "*.bak", "A*", "nothing.*", "*.lo?", "a?.*", "*1*", "*.tx", "?",
            "д*", "Ё*"]
# No "?" at a pattern's end or before a dot that must match nothing
# ("????" for Sub, "a?.*" for a name "a.b.c", "*.?" for "x"): Wine 8
# matches it as exactly one character, where Windows (FindFirstFileExW's
# DOS wildcards) and the native run let it match nothing.
FOLDER_PATTERNS = ["S*", "*", "?ache", "E*y", "L*", "*s", "L???"]
WORDS = {0: "copy", 1: "delete", 2: "mkdir", 3: "rmdir"}
# Letters Windows folds (Cyrillic, Latin-1), and some it does not: sharp s
# has no single capital, dotless i and capital I with a dot (in no page a
# script is written in) are no case pair of i and I.
UNI_FILES = ["ФАЙЛ.txt", "файл.Log", "Ёж.log", "ёлка.TXT", "Ўзор.txt",
             "ґрунт.dat", "Été.txt", "Straße.txt", "STRASSE.TXT", "ÿes.log",
             "Œuvre.txt", "Ñu.dat", "µ.txt", "v1.2.Ёж.txt", "k.l.m",
             "İndex.txt", "fıle.log", "Пусто.dat", "Ärger..txt"]
UNI_FOLDERS = ["Папка", "Dossier é", "ЁЖИК"]
UNI_PATTERNS = ["ф*", "Ф*.TXT", "*Ж.LOG", "?ж.log", "*.", "*.txt.", "*.txt ",
                "ё*", "É*", "*SS*", "*ß*", "STR*", "*.t?t", "?.txt",
                "k.l.*", "*..*", "*.*.*", "v1.?.*", "Ÿ*", "ÿ*", "*Е*",
                "index.*", "FILE.*", "*ЁЖ*", "µ*", "Μ*", "*.dat", "??*",
                "* .", "*. ", "Ф???.*", "*~*"]


def recase(name):
    return rng.choice([name, name.upper(), name.lower(), name.swapcase()])


def spelled(folder):
    """A folder ("Sub/") as a script may spell it: in any case, at times
    with a dot Windows drops ("Sub./"), "." or ".." on the way, a doubled
    or a forward separator ("\\2" stands for "/"), or a wildcard, which
    makes the path a bad file name."""
    shown = recase(folder)
    roll = odd.random()
    if roll < 0.05:
        return shown[:-1] + "./"
    if roll < 0.09:
        return shown + "./"
    if roll < 0.13:
        return shown + "../" + shown
    if roll < 0.17:
        return shown + "/"
    if roll < 0.21:
        return shown[:-1] + "\2"
    if roll < 0.23:
        return shown[:-2] + "?/"
    return shown


def make_product(root):
    tree = []  # (path with "/", "f" or "d", read-only)
    os.makedirs(root)
    for name in rng.sample(FILES, rng.randint(2, 5)):
        tree.append((name, "f", rng.random() < 0.25))
    if rng.random() < 0.4:
        tree.append((".Settings", "f", False))
    for folder in rng.sample(FOLDERS, rng.randint(1, 3)):
        tree.append((folder, "d", False))
        if folder == "Empty":
            continue
        for name in rng.sample(FILES, rng.randint(0, 3)):
            tree.append((folder + "/" + name, "f", rng.random() < 0.2))
        if rng.random() < 0.4:
            inner = folder + "/" + rng.choice(NESTED)
            tree.append((inner, "d", False))
            for name in rng.sample(FILES, rng.randint(0, 2)):
                tree.append((inner + "/" + name, "f", rng.random() < 0.2))
    for path, kind, _ in tree:
        full = os.path.join(root, path)
        if kind == "d":
            os.makedirs(full, exist_ok=True)
        else:
            with open(full, "w") as f:
                f.write("old %s %d\n" % (path, rng.randrange(1000)))
    for path, kind, readonly in tree:
        if readonly:
            os.chmod(os.path.join(root, path), 0o444)
    # A folder marked read-only: Windows still makes and deletes what it
    # holds (so does posix for root, who runs these tests), but not the
    # folder itself.
    for path, kind, _ in tree:
        if kind == "d" and odd.random() < 0.08:
            os.chmod(os.path.join(root, path), 0o555)
    return tree


def encodable(name, cp):
    try:
        name.encode("cp%d" % cp)
        return True
    except UnicodeEncodeError:
        return False


def add_unicode(root, tree):
    """Files and folders with names outside ASCII beside the drawn ones,
    some empty, some read-only, some in a folder of such a name."""
    extra = []
    for name in uni.sample(UNI_FILES, uni.randint(0, 4)):
        extra.append((name, "f", uni.random() < 0.2))
    folders = [p for p, k, _ in tree if k == "d"]
    if uni.random() < 0.5:
        folders.append(uni.choice(UNI_FOLDERS))
        extra.append((folders[-1], "d", False))
    for folder in uni.sample(folders, min(len(folders), uni.randint(0, 2))):
        for name in uni.sample(UNI_FILES, uni.randint(1, 2)):
            extra.append((folder + "/" + name, "f", uni.random() < 0.3))
    for path, kind, readonly in extra:
        full = os.path.join(root, path)
        if kind == "d":
            os.makedirs(full, exist_ok=True)
            if (path, kind, False) not in tree:
                tree.append((path, kind, False))
            continue
        if any(p.lower() == path.lower() for p, _, _ in tree):
            continue  # not two names of one file
        with open(full, "w") as f:
            if uni.random() < 0.7:
                f.write("old %s %d\n" % (path, uni.randrange(1000)))
        tree.append((path, kind, readonly))
        if readonly:
            os.chmod(full, 0o444)
    return [e for e in extra if e in tree or e[1] == "d"]


def unirecase(name):
    return uni.choice([name, name.upper(), name.lower(), name.swapcase()])


def unicode_record(tree, extra, cp):
    """A record over the names outside ASCII, a file where the script wants
    a folder or the reverse, a read-only copy target in a folder."""
    files = [p for p, k, _ in tree if k == "f" and encodable(p, cp)]
    folders = [p for p, k, _ in tree if k == "d" and encodable(p, cp)]
    named = [p for p, _, _ in extra if encodable(p, cp)] or files or ["x"]
    roll = uni.random()
    if roll < 0.25:
        target = unirecase(uni.choice(named))
        return 0, "\0/" + uni.choice(SOURCES + ["empty.dat"]), target
    if roll < 0.45:
        where = uni.choice([""] + [f + "/" for f in folders])
        return 1, "", recase_uni(where) + uni.choice(
            [p for p in UNI_PATTERNS if encodable(p, cp)])
    if roll < 0.55:
        return 1, "", unirecase(uni.choice(named))
    if roll < 0.62 and folders:
        # Onto a folder's name; a folder deleted as a file.
        return uni.choice([(0, "\0/" + uni.choice(SOURCES), unirecase(uni.choice(folders))),
                           (1, "", unirecase(uni.choice(folders)))])
    if roll < 0.72:
        # A folder made over a file, a file removed as a folder.
        return uni.choice([2, 3]), "", unirecase(uni.choice(named))
    if roll < 0.8:
        readonly = [p for p, k, r in tree if k == "f" and r and "/" in p]
        if readonly:
            return 0, "\0/" + uni.choice(SOURCES), unirecase(uni.choice(readonly))
    if roll < 0.9:
        return 2, "", uni.choice(UNI_FOLDERS + ["Новая/Ёж", "Été"])
    return 3, "", unirecase(uni.choice(UNI_FOLDERS + folders[:1]))


# A chain of folders seven deep, a file at its bottom.
DEEP = "Deep/L1/l2/L3/l4/L5/l6"
# Sources of 16 bytes at most: {temp} itself written otherwise, a file of
# the package through "." or "..", a name in a folder of {temp} (which
# the package never holds), a missing one.
WIDE_SOURCES = ["\0/.", "\0/..", "\0/...", "\0/Sub/..", "\0/./new.txt",
                "\0/./none.txt", "\0/Sub/new.txt", "\0/new.txt.",
                "\0/x/../App.dll", "\0/./NB.LOG", "\0/new.txt/"]


def wrecase(path):
    return wide.choice([path, path.upper(), path.lower(), path.swapcase()])


def add_deep(root):
    """The deep chain in the product folder, at times: its entries, kept
    out of the tree that the other kinds draw from."""
    if wide.random() < 0.7:
        return []
    os.makedirs(os.path.join(root, DEEP))
    parts = DEEP.split("/")
    entries = [("/".join(parts[:k]), "d", False) for k in range(1, len(parts) + 1)]
    path = DEEP + "/Bottom.txt"
    with open(os.path.join(root, path), "w") as f:
        f.write("old deep %d\n" % wide.randrange(1000))
    readonly = wide.random() < 0.3
    if readonly:
        os.chmod(os.path.join(root, path), 0o444)
    return entries + [(path, "f", readonly)]


def wide_record(tree):
    """A copy onto a path that ends in a separator (a folder, a missing
    one, a file, a name in a missing folder or below a file), a copy from
    a source written with "." and "..", or a record deep in the chain."""
    folders = existing(tree, "d")
    files = [p for p in existing(tree, "f") if "/" not in p]
    roll = wide.random()
    if roll < 0.35:
        target = wide.choice([wrecase(f) for f in folders] + files[:1] +
                             ["New", "Missing/New", "x/../" + (files or ["x"])[0],
                              (files or ["x"])[0] + "/New"])
        return 0, "\0/" + wide.choice(SOURCES), target + wide.choice(["/", "\2", "//"])
    if roll < 0.65:
        return 0, wide.choice(WIDE_SOURCES), wide.choice(NEW_NAMES + files[:1])
    deep = wrecase(DEEP)
    cut = wide.randint(2, 6)
    above = "/".join(deep.split("/")[:cut])
    return wide.choice([
        (0, "\0/" + wide.choice(SOURCES), deep + "/" + wide.choice(["Bottom.txt", "BOTTOM.TXT", "new.txt"])),
        (0, "\0/new.txt", above + "/Gone/new.txt"),
        (0, "\0/new.txt", above + "/../" + deep.split("/")[cut - 1] + "/new.txt"),
        (1, "", deep + wide.choice(["/*.txt", "/Bottom.txt", "/*"])),
        (2, "", deep + "/M7"),
        (2, "", above + "/Gone/M"),
        (3, "", above),
        (3, "", deep + "/..")])


# What follows a name: Windows reads "new.txt. \\." as new.txt, "Sub \\x\\.."
# as Sub, "Sub..\\new.txt" as Sub.\\new.txt.
TAIL_ENDINGS = [". /.", " /.", "../.", ". /x/..", " /Gone/..", "./.", "./Gone/../"]


def tail_record(tree):
    """A record whose path ends in one of TAIL_ENDINGS: a copy onto a file
    of the product (from itself at times), a new one, a deletion, a folder
    made or removed; or a copy through a folder written with dots after
    it."""
    files = [p for p in existing(tree, "f") if len(p) < 14]
    folders = existing(tree, "d")
    ending = tail.choice(TAIL_ENDINGS)
    name = tail.choice(files + NEW_NAMES[:2])
    shown = tail.choice([name, name.upper(), name.swapcase()])
    roll = tail.random()
    if roll < 0.3:
        return 0, "\0/" + tail.choice(SOURCES), shown + ending
    if roll < 0.45 and files:
        return 0, "\1/" + name, shown + ending
    if roll < 0.6:
        return 1, "", shown + ending
    if roll < 0.75:
        return 2, "", tail.choice(folders + ["New"]) + ending
    if roll < 0.85:
        return 3, "", tail.choice(folders + ["Gone"]) + ending
    folder = tail.choice(folders + ["Gone"])
    return 0, "\0/" + tail.choice(SOURCES), folder + tail.choice([".", "..", ". "]) + "/" + shown


# What ends a folder's name before a separator: Windows keeps the blanks
# and all but one dot, so "Sub. \\x" lies in a folder "Sub. " and
# "Sub..\\x" in "Sub.", neither of them Sub.
EDGE_ENDINGS = [" ", "  ", ". ", " .", "..", ". .", " . ", ".. "]


def edge_records(tree):
    """A folder written with an EDGE_ENDINGS (made, then copied into,
    deleted in, made below or removed; or one of the product's so
    written), or a name of three dots on the way or last; the names in any
    case."""
    folders = [p for p in existing(tree, "d") if len(p) < 12]
    files = [p.rsplit("/", 1)[-1] for p in existing(tree, "f") if len(p) < 14]
    name = edge.choice(folders + ["Gone", "New"])
    shown = edge.choice([name, name.upper(), name.lower(), name.swapcase()])
    leaf = edge.choice(NEW_NAMES[:2] + files)
    leaf = edge.choice([leaf, leaf.upper(), leaf.swapcase()])
    source = "\0/" + edge.choice(SOURCES)
    roll = edge.random()
    if roll < 0.7:
        folder = shown + edge.choice(EDGE_ENDINGS)
        use = edge.choice([(0, source, folder + "/" + leaf),
                           (1, "", folder + "/" + edge.choice(["*", leaf])),
                           (2, "", folder + "/M"), (3, "", folder + "/"),
                           (0, source, shown + "/../" + folder + "/" + leaf)])
        if roll < 0.45:
            return [(2, "", folder + edge.choice(["/", "\2"])), use]
        return [use]
    dots = edge.choice(["...", "... ", "...."])
    return [edge.choice([(2, "", dots), (2, "", shown + "/" + dots),
                         (0, source, dots + "/" + leaf),
                         (0, source, shown + "/" + dots + "/" + leaf),
                         (0, source, dots), (1, "", dots + "/*"),
                         (3, "", dots)])]


def recase_uni(folder):
    return unirecase(folder[:-1]) + "/" if folder else ""


def make_versions(where, tree, cp):
    """The drawn product folder as the old version, a new one made of it,
    and the product folder drawn as the old, the new, half of the way or
    something else: the package that diff builds of them expects the old."""
    old, new, program = (os.path.join(where, n) for n in ("old", "new", "program"))
    shutil.copytree(program, old, symlinks=True)
    shutil.copytree(program, new, symlinks=True)
    for folder, dirs, _ in os.walk(new):
        for name in dirs:
            os.chmod(os.path.join(folder, name), 0o755)
    files = [p for p, k, _ in tree if k == "f" and encodable(p, cp)]
    folders = [p for p, k, _ in tree if k == "d" and encodable(p, cp)]
    names = [n for n in UNI_FILES + NEW_NAMES[:3] if encodable(n, cp)]
    changes = []
    for _ in range(uni.randint(1, 4)):
        roll = uni.random()
        if roll < 0.3 and files:
            changes.append(("write", uni.choice(files), "new %d\n" % uni.randrange(1000)))
        elif roll < 0.5 and files:
            changes.append(("delete", uni.choice(files), ""))
        elif roll < 0.8:
            at = uni.choice([""] + [f + "/" for f in folders])
            changes.append(("write", at + uni.choice(names), "added %d\n" % uni.randrange(1000)))
        elif roll < 0.9 and folders:
            # Only a folder whose names all fit the page: the expected
            # state names what it holds.
            folder = uni.choice(folders)
            if all(encodable(p, cp) for p, _, _ in tree if p.startswith(folder + "/")):
                changes.append(("rmdir", folder, ""))
        else:
            changes.append(("write", uni.choice(["Новая", "Neu", "Été"]) + "/" +
                            uni.choice(names), "added\n"))
    changes = [c for c in changes if encodable(c[1], cp)]
    if not changes:
        shutil.rmtree(old)
        shutil.rmtree(new)
        return ""

    def apply(root, change):
        kind, path, text = change
        full = os.path.join(root, path)
        if kind == "delete" and os.path.isfile(full):
            os.chmod(full, 0o644)
            os.remove(full)
        elif kind == "rmdir" and os.path.isdir(full):
            for folder, dirs, names in os.walk(full):
                os.chmod(folder, 0o755)
            shutil.rmtree(full)
        elif kind == "write" and not os.path.isdir(full):
            os.makedirs(os.path.dirname(full), exist_ok=True)
            if os.path.exists(full):
                os.chmod(full, 0o644)
            with open(full, "w") as f:
                f.write(text)

    for change in changes:
        apply(new, change)
    shown = uni.choice(["old", "new", "half", "other"])
    if shown == "new":
        for folder, dirs, names in os.walk(program):
            os.chmod(folder, 0o755)
        shutil.rmtree(program)
        shutil.copytree(new, program, symlinks=True)
    elif shown == "half":
        for change in uni.sample(changes, uni.randint(1, len(changes))):
            apply(program, change)
    elif shown == "other":
        kind, path, _ = uni.choice(changes)
        if kind == "write":
            apply(program, ("write", path, "the user's own\n"))
        elif kind == "delete" and files:
            apply(program, ("write", uni.choice(files), "changed\n"))
        else:
            apply(program, ("delete", uni.choice(files or [path]), ""))
    return shown


def plain(path):
    """A path as the folders it names, roughly: one case, "/" between."""
    names = path.replace("\2", "/").lower().split("/")
    return "/".join(n.rstrip(". ") for n in names if n not in ("", "."))


def below_copy(before, record):
    """True for a deletion below a name that a copy before it may have made
    a file. Wine 8 fails the listing below a file with ERROR_INVALID_NAME,
    where Windows answers ERROR_DIRECTORY and the program finds nothing
    there, as the native run does."""
    op, _, target = record
    if op != 1 or "/" not in target.replace("\2", "/").rstrip("/"):
        return False
    folder = plain(target.replace("\2", "/").rstrip("/").rsplit("/", 1)[0])
    return any(o == 0 and (plain(t) == folder or folder.startswith(plain(t) + "/"))
               for o, _, t in before)


def existing(tree, kind):
    return [p for p, k, _ in tree if k == kind]


def folder_of(tree):
    """The product folder, one of its folders (spelled in any case) or a
    missing one: the folder as made and as the script spells it."""
    roll = rng.random()
    folders = existing(tree, "d")
    if roll < 0.5 or not folders:
        return "", ""
    if roll < 0.93:
        folder = rng.choice(folders) + "/"
        return folder, spelled(folder)
    return "Missing/", "Missing/"


def target_name(tree, folder):
    """A name the folder holds (in any case), a new one or an odd one."""
    roll = rng.random()
    here = [p[len(folder):] for p in existing(tree, "f")
            if p.startswith(folder) and "/" not in p[len(folder):]]
    if roll < 0.6 and here:
        return recase(rng.choice(here))
    if roll < 0.92:
        return rng.choice(NEW_NAMES)
    name = rng.choice(ODD_NAMES)
    return odd.choice(MORE_ODD) if odd.random() < 0.5 else name


def record(tree):
    op = rng.choice([0, 0, 1, 1, 1, 2, 3])
    if op == 0:
        folder, shown = folder_of(tree)
        roll = rng.random()
        if roll < 0.08 and existing(tree, "d"):
            # Onto a folder.
            return op, "\0/" + rng.choice(SOURCES), recase(rng.choice(existing(tree, "d")))
        if roll < 0.18:
            # From the product folder: onto itself in another case, or aside.
            top = [p for p in existing(tree, "f") if "/" not in p and len(p) < 14]
            if top:
                name = rng.choice(top)
                return op, "\1/" + name, rng.choice([recase(name), "copy.txt"])
        source = rng.choice(SOURCES + ["none.txt", "NEW.TXT"])
        return op, "\0/" + source, shown + target_name(tree, folder)
    if op == 1:
        folder, shown = folder_of(tree)
        roll = rng.random()
        if roll < 0.45:
            return op, "", shown + rng.choice(PATTERNS)
        if roll < 0.52 and existing(tree, "d"):
            # A folder's name, or a name with a separator after it.
            return op, "", recase(rng.choice(existing(tree, "d"))) + rng.choice(["", "/"])
        return op, "", shown + target_name(tree, folder)
    folders = existing(tree, "d")
    roll = rng.random()
    if op == 2:
        if roll < 0.3 and folders:
            return op, "", recase(rng.choice(folders))
        if roll < 0.5:
            return op, "", rng.choice(["New/Nested", "Sub/", "Новая"])
        if roll < 0.6:
            return op, "", recase(rng.choice(existing(tree, "f")))
        return op, "", rng.choice(["New", "Plugins", "Sub/Extra", "new "])
    if roll < 0.5 and folders:
        # "Sub ." names Sub, whose entries Windows lists through "Sub ".
        ending = rng.choice(["", "", "/", ".", " "])
        if odd.random() < 0.2:
            ending = odd.choice([" .", "..", ". ."])
        return op, "", recase(rng.choice(folders)) + ending
    if roll < 0.7:
        return op, "", rng.choice(FOLDER_PATTERNS)
    if roll < 0.8:
        return op, "", recase(rng.choice(existing(tree, "f")))
    return op, "", rng.choice(["Gone", "Sub/Gone", "New"])


def field(path, size, cp=1251):
    """A path as the record holds it, in the code page cp, "\\0" and "\\1"
    the temporary and the product folder, padded with blanks."""
    data = path.replace("/", "\\").replace("\2", "/").encode("cp%d" % cp)
    assert len(data) <= size, path
    return data + b" " * (size - len(data))


def words(path):
    return path.replace("\0", "{temp}").replace("\1", "{app}").replace(
        "/", "\\").replace("\2", "/")


for case in range(1, count + 1):
    where = os.path.join(out, "%03d" % case)
    tree = make_product(os.path.join(where, "program"))
    payload = os.path.join(where, "payload")
    os.makedirs(payload)
    for name in SOURCES:
        with open(os.path.join(payload, name), "w") as f:
            f.write("new %s %d\n" % (name, rng.randrange(1000)))
    records = [record(tree) for _ in range(rng.randint(1, 8))]
    base = rng.random() < 0.4
    # The draws of the later kinds.
    open(os.path.join(payload, "empty.dat"), "w").close()
    extra = add_unicode(os.path.join(where, "program"), tree)
    deep = add_deep(os.path.join(where, "program"))
    cp = uni.choice([1251, 1252])
    if not all(encodable(s + t, 1252) for _, s, t in records):
        cp = 1251
    for _ in range(uni.randint(0, 3)):
        records.insert(uni.randint(0, len(records)), unicode_record(tree, extra, cp))
    for _ in range(wide.randint(0, 2)):
        records.insert(wide.randint(0, len(records)), wide_record(tree))
    for _ in range(tail.randint(0, 2)):
        records.insert(tail.randint(0, len(records)), tail_record(tree))
    for _ in range(edge.randint(0, 2)):
        at = edge.randint(0, len(records))
        records[at:at] = edge_records(tree)
    records = [r for r in records if encodable(r[1] + r[2], cp)]
    records = [r for i, r in enumerate(records) if not below_copy(records[:i], r)]
    expect = uni.random() < 0.2 and make_versions(where, tree, cp)
    tree += deep
    with open(os.path.join(where, "codepage"), "w") as f:
        f.write("%d\n" % cp)
    with open(os.path.join(payload, "script"), "wb") as f:
        for op, source, target in records:
            f.write(bytes([op]) + field(source, 16, cp) +
                    field("\1/" + target, 48, cp))
    if base and not expect:
        open(os.path.join(where, "base"), "w").close()
    with open(os.path.join(where, "case.txt"), "w") as f:
        f.write("case %d of seed %d, code page %d%s\n" %
                (case, seed, cp, " (also base format)" if base and not expect
                 else " (the product folder %s, the script diff's)" % expect
                 if expect else ""))
        for path, kind, readonly in tree:
            f.write("  %s %s%s\n" % (kind, path, " (read-only)" if readonly else ""))
        for op, source, target in [] if expect else records:
            f.write("  %s %s%s|\n" % (WORDS[op], words(source) + " " if source else "",
                                     words("\1/" + target)))
PY

# The tree under ROOT, one line an entry in name order: the path, the type,
# and for a file its size, whether the owner may write it (Wine maps the
# read-only mark to that bit) and a checksum of its bytes.
cat >"$E2E_WORK/tree.py" <<'PY'
import hashlib, os, stat, sys
root = sys.argv[1]
lines = []
for folder, dirs, files in os.walk(root):
    for name in dirs + files:
        full = os.path.join(folder, name)
        st = os.lstat(full)
        rel = os.path.relpath(full, root)
        if stat.S_ISDIR(st.st_mode):
            lines.append("%s d" % rel)
            continue
        with open(full, "rb") as f:
            digest = hashlib.md5(f.read()).hexdigest()[:8]
        lines.append("%s f %d %s %s" % (rel, st.st_size,
                     "w" if st.st_mode & 0o200 else "r", digest))
print("\n".join(sorted(lines)))
PY

python3 "$E2E_WORK/cases.py" "$seed" "$count" "$cases" ||
  e2e_fail "cannot write the cases of seed $seed"

# --- one run on each side -------------------------------------------------

# A copy of the case's product folder with the package in it, as FOLDER.
fresh_program() { # CASE PACKAGE FOLDER
  chmod -R u+w "$3" 2>/dev/null
  rm -rf "$3"
  mkdir -p "$(dirname "$3")"
  cp -a "$1/program" "$3" && cp "$2" "$3/update.exe" || e2e_fail "cannot copy $1"
}

# The messages of a log, its record lines and its ending, with the product
# and temporary folders of either side written alike.
log_view() { # LOG PROGRAM TEMP
  tr -d '\r' <"$1" | sed -n '/^installed product:/,$p' | alike "$2" "$3"
}

# TEXT with the product and temporary folders of either side written alike.
# The system's text after a path ("(Доступ запрещён, код 5)") stays: the
# native run gives Windows' own.
alike() { # PROGRAM TEMP <TEXT
  sed -e "s|$(sed_escape "$1")|{app}|g" -e "s|$(sed_escape "$2")|{temp}|g"
}

# Text for the left side of a sed s||| command.
sed_escape() { printf '%s' "$1" | sed 's/[][\\.*^$|/]/\\&/g'; }

# The last message box the native run shows, as its text.
native_box() { # STDERR PROGRAM TEMP
  awk '/^Dravell \[[a-z]*\]: /{text=""; sub(/^Dravell \[[a-z]*\]: /, "")} {text=text $0 "\n"} END{printf "%s", text}' "$1" |
    alike "$2" "$3"
}

native_run() { # PACKAGE KIND
  local folder="$E2E_WORK/native"
  mkdir -p "$folder/tmp"
  rm -rf "$folder/tmp"/*
  fresh_program "$case_dir" "$1" "$folder/program"
  rm -f "$folder/run.log"
  TMP="$folder/tmp" "$UPDPACK_TOOL" run "$folder/program/update.exe" --yes \
    --log "$folder/run.log" >"$folder/stdout" 2>"$folder/stderr"
  native_exit=$?
  native_tree=$(python3 "$E2E_WORK/tree.py" "$folder/program")
  if [ "$2" = ours ]; then
    native_text=$(log_view "$folder/run.log" "$folder/program" "$folder/tmp")
  else
    native_text=$(native_box "$folder/stderr" "$folder/program" "$folder/tmp")
  fi
}

wine_run() { # PACKAGE KIND
  local folder="$E2E_WORK/wine" program
  fresh_program "$case_dir" "$1" "$folder/program"
  program=$(e2e_windows_path "$folder/program")
  # The box that ends the base format's run: success or the critical error.
  e2e_run_to_end "$folder/program/update.exe" "$2" "$folder/run.log"
  if [ "$2" = ours ]; then
    wine_text=$(log_view "$folder/run.log" "$program" "$E2E_TMP_WINDOWS")
  else
    wine_text=$(printf '%s\n' "$E2E_BOX_TEXT" | alike "$program" "$E2E_TMP_WINDOWS")
  fi
  wine_exit=$E2E_EXIT
  wine_tree=$(python3 "$E2E_WORK/tree.py" "$folder/program")
}

# --- the comparison -------------------------------------------------------

mismatches=0
report() { # WHAT NATIVE WINE
  mismatches=$((mismatches + 1))
  e2e_log "MISMATCH in $kind package, $1 (replay: DIFF_SEED=$seed DIFF_CASES=$count DIFF_ONLY=$((10#${case_dir##*/})))"
  e2e_log "$(cat "$case_dir/case.txt")"
  [ ! -d "$case_dir/new" ] || e2e_log "$("$UPDPACK_TOOL" script show "$package")"
  e2e_log "--- native:"
  e2e_log "$2"
  e2e_log "--- Windows program under Wine:"
  e2e_log "$3"
}

runs=0
for case_dir in "$cases"/*; do
  [ -z "${DIFF_ONLY:-}" ] || [ "$((10#${case_dir##*/}))" = "$DIFF_ONLY" ] || continue
  kinds=(ours)
  [ ! -e "$case_dir/base" ] || kinds+=(base)
  # A wide run says where it is, so that a case that stops it is found.
  [ "$count" -le 22 ] || e2e_log "case $((10#${case_dir##*/}))"
  for kind in "${kinds[@]}"; do
    package="$E2E_WORK/$kind.exe"
    codepage=$(cat "$case_dir/codepage")
    if [ -d "$case_dir/new" ]; then
      "$UPDPACK_TOOL" diff "$case_dir/old" "$case_dir/new" --build "$package" \
        --stub "$UPDPACK_STUB" --store --codepage "$codepage" >"$E2E_WORK/diff.log" 2>&1 ||
        e2e_fail "updpack diff failed: $(cat "$E2E_WORK/diff.log")"
    elif [ "$kind" = ours ]; then
      # A case may fail on purpose: both runs must fail alike.
      e2e_make_package "$case_dir/payload" "$package" --store --unchecked \
        --codepage "$codepage"
    else
      e2e_make_base_package "$case_dir/payload" "$package"
    fi
    native_run "$package" "$kind"
    wine_run "$package" "$kind"
    runs=$((runs + 1))
    [ "$native_exit" = "$wine_exit" ] ||
      report "exit code" "$native_exit" "$wine_exit"
    [ "$native_tree" = "$wine_tree" ] ||
      report "tree" "$native_tree" "$wine_tree"
    [ "$native_text" = "$wine_text" ] ||
      report "messages" "$native_text" "$wine_text"
  done
done

e2e_log "differential: $runs runs of $count cases (seed $seed) in $((SECONDS - started)) s"
[ "$mismatches" -eq 0 ] || e2e_fail "$mismatches mismatches between the native run and Windows"
