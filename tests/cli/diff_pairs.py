# Random pairs of product trees, OLD and NEW, for round trips of
# `updpack diff --build` (tests/cli/diff_roundtrip.sh natively,
# tests/wine/test_diff_roundtrip.sh under Wine). Pair N is drawn from
# random.Random(N), so a pair is replayed by its number alone.
#
#   diff_pairs.py native TOOL SEED COUNT   pairs SEED*1000 on: every check
#   diff_pairs.py write N DIR              DIR/old, DIR/new, DIR/inst (OLD
#                                          with read-only marks), DIR/want
#                                          and, where there is one, DIR/other
#   diff_pairs.py listing DIR              a tree as text, to compare
#
# NEW exactly means: the same names, contents and empty folders, except
# that a name kept as a file or as a folder and changed only in case keeps
# its old spelling (Windows matches names without regard to case), and
# files equal in both versions are never rewritten: of the installed files
# marked read-only, those keep their mark, and a file written anew has none
# (diff compares contents only).
import hashlib, os, random, shutil, subprocess, sys

failures = 0

def fail(pair, what):
    global failures
    failures += 1
    print(f"FAIL: pair {pair}: {what}", file=sys.stderr)

LATIN = ["a", "B", "lib", "Data", "readme.md", "x y", "app.exe", "z.cfg", "Core.dll", "n1",
         " lead", "a.b.c", "abcdefghij.txt"]
EXTRA = {"cyr": ["Папка", "файл.bin", "Ёж", "отчёт.txt", "Я"],
         "lat1": ["Présentation.txt", "café", "Ñandú", "über.dat", "Øre", "ÿ.txt"]}

def fold(name):
    return name.upper()

def kids(tree, parent):
    n = len(parent)
    return [p for p in tree if len(p) == n + 1 and p[:n] == parent]

def free_name(rng, tree, parent, pool):
    used = {fold(p[-1]) for p in kids(tree, parent)}
    for _ in range(20):
        name = rng.choice(pool)
        if rng.random() < 0.3:
            name += str(rng.randrange(100))
        if fold(name) not in used:
            return name
    return None

def content(rng):
    r = rng.random()
    if r < 0.15:
        return b""
    return rng.randbytes(rng.randrange(1, 600))

def grow(rng, tree, parent, pool, depth, files=4):
    """A few files and folders below PARENT; folders nest up to 4 levels."""
    for _ in range(rng.randrange(files + 1)):
        name = free_name(rng, tree, parent, pool)
        if name is None:
            continue
        path = parent + (name,)
        if depth < 4 and rng.random() < 0.35:
            tree[path] = None
            grow(rng, tree, path, pool, depth + 1, files=3)
        else:
            tree[path] = content(rng)

def remove(tree, path):
    for p in [p for p in tree if p[:len(path)] == path]:
        del tree[p]

def rename(tree, path, new_last):
    moved = {path[:-1] + (new_last,) + p[len(path):]: v
             for p, v in tree.items() if p[:len(path)] == path}
    remove(tree, path)
    tree.update(moved)

def case_changed(rng, name):
    flipped = "".join(c.swapcase() if rng.random() < 0.5 else c for c in name)
    return flipped if flipped != name else name.swapcase()

def mutate(rng, tree, pool):
    for _ in range(rng.randrange(1, 9)):
        files = sorted(p for p, v in tree.items() if v is not None)
        dirs = [()] + sorted(p for p, v in tree.items() if v is None)
        kind = rng.randrange(12)
        if kind == 0 and files:                      # changed content
            p = rng.choice(files)
            tree[p] = content(rng)
        elif kind == 1 and files:                    # deleted
            del tree[rng.choice(files)]
        elif kind == 2 and files:                    # a file becomes a folder
            p = rng.choice(files)
            del tree[p]
            tree[p] = None
            grow(rng, tree, p, pool, len(p))
        elif kind == 3 and len(dirs) > 1:            # a folder becomes a file
            p = rng.choice(dirs[1:])
            remove(tree, p)
            tree[p] = content(rng)
        elif kind == 4 and len(dirs) > 1:            # a folder goes
            remove(tree, rng.choice(dirs[1:]))
        elif kind == 5:                              # new folders, nested
            p = rng.choice(dirs)
            for _ in range(rng.randrange(1, 4)):
                name = free_name(rng, tree, p, pool)
                if name is None:
                    break
                p += (name,)
                tree[p] = None
            if rng.random() < 0.5:
                grow(rng, tree, p, pool, len(p))
        elif kind == 6 and files:                    # moved, same content
            p = rng.choice(files)
            to = rng.choice(dirs)
            name = free_name(rng, tree, to, [p[-1]] + pool)
            if name is not None and p[:len(to) + 1] != to + (p[-1],):
                tree[to + (name,)] = tree.pop(p)
        elif kind == 7 and len(tree):                # renamed by case
            p = rng.choice(sorted(tree))
            other = case_changed(rng, p[-1])
            if fold(other) == fold(p[-1]):
                rename(tree, p, other)
        elif kind == 8 and len(dirs) > 1:            # every file of a folder goes
            d = rng.choice(dirs[1:])
            for p in kids(tree, d):
                if tree[p] is not None:
                    del tree[p]
        elif kind == 9:                              # many files in one folder
            d = rng.choice(dirs)
            for i in range(rng.randrange(40, 120)):
                name = f"f{i:03d}.bin"
                if fold(name) not in {fold(k[-1]) for k in kids(tree, d)}:
                    tree[d + (name,)] = content(rng)
        elif kind == 10:                             # a new empty folder
            d = rng.choice(dirs)
            name = free_name(rng, tree, d, pool)
            if name is not None:
                tree[d + (name,)] = None
        elif kind == 11 and files:                   # emptied file
            tree[rng.choice(files)] = b""

# Pairs Windows cannot hold in NEW: (what to plant, words of the refusal).
BAD = [(("Lib", "LIB"), "are one file on Windows"),
       (("NUL.txt",), "not a name Windows can hold"),
       (("com1",), "not a name Windows can hold"),
       (("a:b",), "not a name Windows can hold"),
       (("Größe.txt", "Ωμέγα.txt"), "is in no code page that holds"),
       (("Ёж.txt", "café.txt"), "is in no code page that holds"),
       (("abcdefghij.txt", "ABCDEF~1.TXT"), "are one file on Windows")]

def make_pair(rng):
    pool = LATIN + EXTRA[rng.choice(sorted(EXTRA))]
    old = {}
    grow(rng, old, (), pool, 0, files=6)
    new = dict(old)
    mutate(rng, new, pool)
    bad = None
    if rng.random() < 0.12:
        bad = rng.choice(BAD)
        dirs = [()] + sorted(p for p, v in new.items() if v is None)
        d = rng.choice(dirs)
        for name in bad[0]:
            remove(new, d + (name,))
            new[d + (name,)] = b"bad"
    return old, new, bad

def write(tree, root, read_only=()):
    os.makedirs(root)
    for p in sorted(tree, key=len):
        full = os.path.join(root, *p)
        if tree[p] is None:
            os.makedirs(full, exist_ok=True)
        else:
            with open(full, "wb") as f:
                f.write(tree[p])
            if p in read_only:
                os.chmod(full, 0o444)

def marks(rng, old, want):
    """Files of the installed OLD marked read-only, and those of them that
    keep the mark: the ones the update leaves alone. A file written anew
    has the marks a copy gives it, none here."""
    read_only = {p for p in sorted(old) if old[p] is not None and rng.random() < 0.3}
    return read_only, {p for p in read_only if want.get(p) == old[p]}

def marked(tree, read_only):
    return {p: None if v is None else (v, p in read_only) for p, v in tree.items()}

def expected(old, new):
    """NEW with the old spelling of names kept as the same kind."""
    out, spelled = {}, {(): ()}
    for p in sorted(new, key=len):
        parent = spelled[p[:-1]]
        name = p[-1]
        same = [q for q in old if len(q) == len(parent) + 1 and q[:-1] == parent
                and fold(q[-1]) == fold(name) and (old[q] is None) == (new[p] is None)]
        spelled[p] = parent + ((same[0][-1],) if same else (name,))
        out[spelled[p]] = new[p]
    return out

def snapshot(root):
    """path -> (None or bytes, read-only, inode, mtime) of everything below
    ROOT; read-only is the lack of the owner's write permission, as the
    native run and Wine read it."""
    out = {}
    for dirpath, dirnames, filenames in os.walk(root):
        rel = tuple(os.path.relpath(dirpath, root).split(os.sep))
        rel = () if rel == (".",) else rel
        for d in dirnames:
            out[rel + (d,)] = (None, False, 0, 0)
        for f in filenames:
            st = os.stat(os.path.join(dirpath, f))
            with open(os.path.join(dirpath, f), "rb") as h:
                out[rel + (f,)] = (h.read(), not st.st_mode & 0o200, st.st_ino,
                                   st.st_mtime_ns)
    return out

def contents(snap):
    return {p: None if v[0] is None else v[:2] for p, v in snap.items()}

def differences(got, want):
    lines = [f"missing {'/'.join(p)}" for p in sorted(set(want) - set(got))]
    lines += [f"extra {'/'.join(p)}" for p in sorted(set(got) - set(want))]
    lines += [f"differs {'/'.join(p)}" for p in sorted(set(got) & set(want))
              if got[p] != want[p]]
    return "; ".join(lines[:6])

def run(*args):
    r = subprocess.run([sys.argv[2], *args], capture_output=True)
    return r.returncode, r.stderr.decode(errors="replace")

def install(pkg, folder):
    shutil.copy(pkg, os.path.join(folder, "update.exe"))
    rc, err = run("run", os.path.join(folder, "update.exe"), "--yes")
    os.remove(os.path.join(folder, "update.exe"))
    return rc, err

def neither(rng, old, want):
    """A path of OLD to change so that the folder is neither OLD nor NEW: a
    file the update replaces or deletes, else a new file's path in a folder
    OLD has. (A file in a folder the update removes is no path of the
    expected state: the folder goes whole.)"""
    folded = {tuple(map(fold, p)) for p in old}
    touched = sorted(p for p in old if old[p] is not None and want.get(p) != old[p]
                     and (len(p) == 1 or (p[:-1] in want and want[p[:-1]] is None)))
    stray = sorted(p for p in want if want[p] is not None and tuple(map(fold, p)) not in folded
                   and (len(p) == 1 or old.get(p[:-1], b"") is None))
    return rng.choice(touched or stray) if touched or stray else None

def make_other(old, read_only, p, root):
    write(old, root, read_only)
    with open(os.path.join(root, *p), "wb") as f:
        f.write((old.get(p) or b"") + b"\0changed by the user")

def check(pair):
    """Every check of one pair, natively; a failure is named and counted."""
    rng = random.Random(pair)
    old, new, bad = make_pair(rng)
    base = f"p{pair}"
    write(old, f"{base}/old")
    write(new, f"{base}/new")
    pkg = f"{base}/update.exe"
    rc, err = run("diff", f"{base}/old", f"{base}/new", "--build", pkg,
                  "--stub", "stub.exe")
    if bad:
        named = any(name in err for name in bad[0])
        if rc != 1 or bad[1] not in err or not named or os.path.exists(pkg):
            fail(pair, f"diff of a NEW holding {bad[0]}: exit {rc}, {err.strip()!r}")
        return
    if rc != 0:
        fail(pair, f"diff --build: exit {rc}: {err.strip()}")
        return
    want = expected(old, new)
    read_only, kept = marks(rng, old, want)
    inst = f"{base}/inst"
    write(old, inst, read_only)
    before = snapshot(inst)
    rc, err = install(pkg, inst)
    after = snapshot(inst)
    if rc != 0:
        fail(pair, f"run: exit {rc}: {err.strip()}")
    elif contents(after) != marked(want, kept):
        fail(pair, f"the folder is not NEW: {differences(contents(after), marked(want, kept))}")
    rewritten = [p for p, v in before.items() if v[0] is not None
                 and old.get(p) == want.get(p) and after.get(p) != v]
    if rewritten:
        fail(pair, f"files equal in both versions rewritten: {rewritten[:3]}")
    # The second run; an update of equal trees has nothing to find done.
    rc, err = install(pkg, inst)
    if rc != 0 or ("уже обновлен" not in err and old != want):
        fail(pair, f"second run: exit {rc}: {err.strip()}")
    if snapshot(inst) != after:
        fail(pair, f"second run changed the folder: {differences(contents(snapshot(inst)), contents(after))}")
    p = neither(rng, old, want)
    if p:
        make_other(old, read_only, p, f"{base}/other")
        before = snapshot(f"{base}/other")
        rc, err = install(pkg, f"{base}/other")
        if rc != 4:
            fail(pair, f"a folder with {'/'.join(p)} changed: exit {rc}, expected 4: {err.strip()}")
        if snapshot(f"{base}/other") != before:
            fail(pair, "the refused run changed the folder")

def listing(root):
    for p, (data, read_only, _, _) in sorted(snapshot(root).items()):
        name = "/".join(p)
        mark = "\tread-only" if read_only else ""
        print(name + "/" if data is None else f"{name}\t{hashlib.sha1(data).hexdigest()}{mark}")

if sys.argv[1] == "native":
    seed, count = int(sys.argv[3]), int(sys.argv[4])
    for pair in range(seed * 1000, seed * 1000 + count):
        check(pair)
    sys.exit(1 if failures else 0)
elif sys.argv[1] == "write":
    pair, root = int(sys.argv[2]), sys.argv[3]
    rng = random.Random(pair)
    old, new, bad = make_pair(rng)
    want = expected(old, new)
    read_only, kept = marks(rng, old, want)
    write(old, f"{root}/old")
    write(new, f"{root}/new")
    write(old, f"{root}/inst", read_only)
    write(want, f"{root}/want", kept)
    p = neither(rng, old, want)
    if p:
        make_other(old, read_only, p, f"{root}/other")
    print("bad" if bad else "good")
elif sys.argv[1] == "listing":
    listing(sys.argv[2])
