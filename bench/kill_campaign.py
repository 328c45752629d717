#!/usr/bin/env python3
"""Crash consistency of the undoable install (not a test): an update built by
`updpack diff OLD NEW --build` (files of 20-45 MB and small ones replaced,
deleted and new, folders made and removed, read-only files, nested folders,
names in mixed case, and files of the user's own beside them) is run and
killed (SIGKILL) at seeded moments, and run once more to completion. The
product must then be exactly what a clean run leaves, with exit code 0: the
user's files byte for byte, names in their case, read-only marks and times,
and no work name (~updpack.bak, ~updpack.new, ~updpack.del) in the product
nor the run's temporary folder in TMP.

    python3 bench/kill_campaign.py [--tool build/native/tools/updpack]
        [--stub FILE] [--seed N] [--points N] [--work DIR] [--keep] [--wine]

The sequences, in turn:
- once: killed once, then the final run;
- twice, thrice: killed inside the install, then the next run (and the one
  after it) killed while it undoes what the first left, then the final run;
- previous, other: killed, then the package of the version before OLD
  (which finds OLD up to date: exit 0) or of another product (exit 4) run
  in the folder, which must leave OLD (or NEW, when the kill came after the
  journal's end), then the final run.
Natively a kill comes after a seeded delay (half uniform over the run's
time, half on a log scale from 1 ms) or as the run enters its N-th call of
a kind (rename, unlink, mkdir, pwrite, utimensat), where strace injects the
signal; the undo's renames and unlinks are a run's first, so the N-th of
them lands in the undo. With --wine (bench/kill_campaign_wine.sh sets up
Wine) the Windows program runs as `wine update.exe /S /LOG=... /D=...`,
killed after a delay, a delay after its journal appears, or a delay after
its undo began, by SIGKILL or `wineserver -k`; its clean run's end is
compared with the native one's.
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import time

WORK_NAMES = ("~updpack.bak", "~updpack.new", "~updpack.del")


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def make_versions(root, rng):
    """OLD, NEW, PREV (the version before OLD), OTHER_OLD/OTHER_NEW (another
    product) and the user's own files, under root."""
    big = lambda n: rng.randbytes(n)
    old, new, prev = (os.path.join(root, n) for n in ("old", "new", "prev"))
    common = {
        "Docs/ReadMe.TXT": b"read me\n" * 100,  # unchanged, mixed case
        "data/Справка/faq.txt": "вопросы\n".encode() * 50,
        "ro/kept.cfg": b"read-only, unchanged\n",
    }
    old_only = {
        "App.exe": big(3 << 20),
        "Big1.dat": big(30 << 20),
        "data/big2.bin": big(45 << 20),
        "lib/core.dll": big(200 << 10),
        "lib/gone.dll": big(50 << 10),  # deleted
        "data/Config.ini": b"[main]\nversion=1\n",
        "ro/locked.cfg": b"old read-only\n",  # read-only, replaced
        "ro/keep.cfg": b"read-only, deleted\n",
        "plugins/a/b/deep.dll": big(100 << 10),  # folder removed whole
        "plugins/a/ro.txt": b"read-only in a removed folder\n",
        "plugins/top.txt": b"x",
        "old.txt": b"deleted\n",
    }
    new_only = {
        "App.exe": big(3 << 20) + b"new",
        "Big1.dat": big(32 << 20),
        "data/big2.bin": big(20 << 20),
        "lib/core.dll": big(210 << 10),
        "data/Config.ini": b"[main]\nversion=2\n",
        "ro/locked.cfg": b"new read-only contents\n",
        "new/deep/er/Nested.bin": big(1 << 20),
        "new/deep/small.txt": b"small\n",
        "lib/extra/plugin.dll": big(64 << 10),
        "NewFile.txt": b"brand new\n",
    }
    for name, data in {**common, **old_only}.items():
        write(os.path.join(old, name), data)
    for name, data in {**common, **new_only}.items():
        write(os.path.join(new, name), data)
    os.makedirs(os.path.join(old, "empty_old"))  # an empty folder removed
    os.makedirs(os.path.join(new, "empty_new/inner"))  # empty folders made
    for version in (old, new):
        for name in ("ro/locked.cfg", "ro/keep.cfg", "ro/kept.cfg"):
            path = os.path.join(version, name)
            if os.path.exists(path):
                os.chmod(path, 0o444)
    os.chmod(os.path.join(old, "plugins/a/ro.txt"), 0o444)
    # PREV -> OLD: the previous version's package.
    shutil.copytree(old, prev, symlinks=True)
    os.chmod(os.path.join(prev, "ro/locked.cfg"), 0o644)
    write(os.path.join(prev, "App.exe"), b"previous app")
    write(os.path.join(prev, "lib/core.dll"), b"previous core")
    os.remove(os.path.join(prev, "old.txt"))
    write(os.path.join(prev, "prev-only.txt"), b"gone in OLD")
    os.chmod(os.path.join(prev, "ro/locked.cfg"), 0o444)
    # Another product.
    for version, text in (("other_old", b"other 1"), ("other_new", b"other 2")):
        write(os.path.join(root, version, "Other.exe"), text)
        write(os.path.join(root, version, "res/other.dat"), text * 1000)
    user = {
        "user.cfg": b"the user's settings\n",
        "data/user notes.txt": b"notes\n" * 1000,
        "lib/user.dll": big(1 << 20),  # in a folder the update changes
        "Docs/Mine.TXT": b"mine\n",
    }
    return old, new, prev, user


def snapshot(folder):
    """Every entry below folder: kind, write permission, and for a file its
    size, modification time and digest. Folder times change with their
    entries and are left out."""
    tree = {}
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, folder)
            st = os.lstat(path)
            writable = bool(st.st_mode & stat.S_IWUSR)
            if stat.S_ISDIR(st.st_mode):
                tree[rel] = ("dir", writable)
            elif stat.S_ISREG(st.st_mode):
                h = hashlib.sha1()
                with open(path, "rb") as f:
                    for chunk in iter(lambda: f.read(1 << 20), b""):
                        h.update(chunk)
                tree[rel] = ("file", writable, st.st_size, st.st_mtime_ns,
                             h.hexdigest())
            else:
                tree[rel] = ("other",)
    return tree


def differences(actual, expected, limit=8):
    out = []
    for rel in sorted(set(actual) | set(expected)):
        a, e = actual.get(rel), expected.get(rel)
        if a != e:
            out.append(f"{rel}: {a[:4] if a else 'missing'} "
                       f"(expected {e[:4] if e else 'missing'})")
    return out[:limit] + ([f"... {len(out) - limit} more"] if len(out) > limit else [])


def leftovers(folder):
    found = []
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            if name.lower().rstrip(". ") in WORK_NAMES:
                found.append(os.path.relpath(os.path.join(top, name), folder))
    return found


def after_kill(folder):
    """What a killed run left in folder, in a word."""
    journal = os.path.join(folder, "~updpack.bak", "journal")
    if os.path.exists(journal):
        with open(journal, "rb") as f:
            lines = f.read().split(b"\n")
        undone = sum(1 for line in lines if line.startswith(b"-"))
        return f"journal {len(lines) - 1} lines, {undone} undone"
    if os.path.exists(os.path.join(folder, "~updpack.bak")):
        return "area without journal"
    if os.path.exists(os.path.join(folder, "~updpack.del")):
        return "done area"
    return "no area"


def copy_product(source, user, target):
    shutil.rmtree(target, ignore_errors=True)
    force_writable(target)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(source, target, symlinks=True)
    for name, data in user.items():
        path = os.path.join(target, name)
        write(path, data)
        os.utime(path, ns=(1_600_000_000 * 10**9, 1_600_000_000 * 10**9))


def force_writable(folder):
    if not os.path.exists(folder):
        return
    for top, dirs, files in os.walk(folder):
        for name in dirs:
            os.chmod(os.path.join(top, name), 0o755)
    os.chmod(folder, 0o755)


class Runner:
    def __init__(self, tool, tmp):
        self.tool = tool
        self.env = dict(os.environ, TMP=tmp, LC_ALL="C.UTF-8")

    def command(self, package, target, log):
        return [self.tool, "run", package, "--yes", "--silent", "--target",
                target, "--log", log]

    def run(self, package, target, log):
        done = subprocess.run(self.command(package, target, log),
                              env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
        return done.returncode, done.stderr.decode(errors="replace")

    def run_killed_after(self, package, target, log, delay):
        """Starts the run and kills it after delay seconds; the exit code,
        or None when it was killed."""
        p = subprocess.Popen(self.command(package, target, log),
                             env=self.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + delay
        while time.monotonic() < deadline:
            if p.poll() is not None:
                return p.returncode
            time.sleep(min(0.002, max(0.0, deadline - time.monotonic())))
        p.send_signal(signal.SIGKILL)
        code = p.wait()
        return None if code == -signal.SIGKILL else code

    def run_killed_at_call(self, package, target, log, calls, n):
        """Runs under strace, which kills the run as it enters its n-th
        call of calls (the counter runs per call name)."""
        cmd = ["strace", "-f", "-qq", "-o", "/dev/null", "-e",
               f"trace={calls}", "-e",
               f"inject={calls}:signal=KILL:when={n}"] + \
            self.command(package, target, log)
        done = subprocess.run(cmd, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
        # strace exits as its tracee did: 128+9 when it was killed.
        return None if done.returncode in (137, -9) else done.returncode


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class WineRunner(Runner):
    """The Windows program of the package under Wine (the environment of
    tests/wine/harness.sh: WINE, WINEPREFIX, DISPLAY), silent, with its log
    and the program folder given as switches. Killed as SIGKILL to the
    Wine process of the package, or every so often by `wineserver -k`."""

    def __init__(self, tool, env):
        super().__init__(tool, os.environ.get("TMP", "/tmp"))
        self.env = env
        self.restarts = 0

    def command(self, package, target, log):
        return [os.environ["WINE"], package, "/S",
                "/LOG=" + windows_path(log), "/D=" + windows_path(target)]

    def start(self, package, target, log):
        if os.path.exists(log):
            os.remove(log)
        return subprocess.Popen(self.command(package, target, log),
                                cwd=os.path.dirname(package), env=self.env,
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run(self, package, target, log):
        # Wine now and then ends a program with 1 before it begins (see
        # harness.sh): no log then, and the run starts again.
        for _ in range(3):
            p = self.start(package, target, log)
            code = p.wait()
            if code != 1 or os.path.exists(log):
                break
            self.restarts += 1
        return code, read_text(log)

    def run_killed_after(self, package, target, log, delay, server=False,
                         when=None):
        """Kills the run delay seconds after its start, or after the
        function when first holds (it must not open the journal: one held
        open is a run still going)."""
        p = self.start(package, target, log)
        if when is not None:
            while not when() and p.poll() is None:
                time.sleep(0.002)
        deadline = time.monotonic() + delay
        while time.monotonic() < deadline:
            if p.poll() is not None:
                return p.returncode
            time.sleep(0.005)
        if server:
            subprocess.run([os.environ["WINESERVER"], "-k"], env=self.env)
        else:
            p.send_signal(signal.SIGKILL)
        code = p.wait()
        # wineserver -k ends the program with 0 as it kills it: a run it
        # ended is told by its log, which has no end line then.
        if server and "end: " not in read_text(log):
            return None
        return None if code < 0 else code


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", errors="replace")
    except OSError:
        return ""


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--tool", default=os.path.join(
        here, "..", "build/native/tools/updpack"))
    ap.add_argument("--stub", default=os.path.join(
        here, "..", "build/win64/stub/updpack-stub.exe"))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--points", type=int, default=60)
    ap.add_argument("--work", default="/tmp/updpack-kill-campaign")
    ap.add_argument("--keep", action="store_true")
    ap.add_argument("--wine", action="store_true",
                    help="run the Windows program under Wine (in the "
                    "environment of tests/wine/harness.sh)")
    args = ap.parse_args()
    tool = os.path.abspath(args.tool)
    rng = random.Random(args.seed)
    work = args.work
    force_writable(work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    old, new, prev, user = make_versions(os.path.join(work, "v"), rng)
    pkg = os.path.join(work, "pkg")
    os.makedirs(pkg)
    packages = {}
    for name, a, b in (("update", old, new), ("previous", prev, old),
                       ("other", os.path.join(work, "v/other_old"),
                        os.path.join(work, "v/other_new"))):
        exe = os.path.join(pkg, name + ".exe")
        subprocess.run([tool, "diff", a, b, "--build", exe, "--stub",
                        args.stub], check=True, stdout=subprocess.DEVNULL)
        packages[name] = exe
    tmp = os.path.join(work, "tmp")
    os.makedirs(tmp)
    runner = Runner(tool, tmp)
    tmp_of_run = tmp
    native_new = None
    if args.wine:
        # The native run's end, to compare with the Windows program's.
        product = os.path.join(work, "native")
        copy_product(old, user, product)
        code, err = runner.run(packages["update"], product,
                               os.path.join(work, "native.log"))
        native_new = snapshot(product)
        env = dict(os.environ, WINEDEBUG="-all")
        runner = WineRunner(tool, env)
        tmp_of_run = os.environ["TMP"]
    product = os.path.join(work, "product")
    log = os.path.join(work, "run.log")

    # The references: the old version with the user's files, and what a
    # clean run makes of it.
    copy_product(old, user, product)
    want_old = snapshot(product)
    started = time.monotonic()
    code, err = runner.run(packages["update"], product, log)
    clean_time = time.monotonic() - started
    if code != 0:
        sys.exit(f"the clean run failed ({code}): {err}")
    want_new = snapshot(product)
    check_new = snapshot(new)
    for rel, entry in check_new.items():
        got = want_new.get(rel)
        if not got or got[0] != entry[0] or (entry[0] == "file" and
                                              got[4] != entry[4]):
            sys.exit(f"the clean run does not give NEW: {rel}")
    for name in user:
        if name not in want_new:
            sys.exit(f"the clean run lost the user's {name}")
    if native_new is not None:
        # Read-only marks and contents, not times nor modes.
        shape = lambda t: {k: v[:2] + v[4:] for k, v in t.items()}
        for line in differences(shape(want_new), shape(native_new)):
            print("native and Wine end differently:", line)
    print(f"clean run: {clean_time:.2f} s; {args.points} kill points, "
          f"seed {args.seed}", flush=True)

    # The machine's load changes the run's time: the estimate follows the
    # last complete runs.
    timings = [clean_time]

    def delay():
        estimate = sorted(timings[-5:])[len(timings[-5:]) // 2]
        if rng.random() < 0.5:
            return rng.uniform(0.0, estimate * 1.05)
        return 0.001 * (estimate * 1000) ** rng.random()

    def journal_made():
        return os.path.exists(os.path.join(product, "~updpack.bak",
                                           "journal"))

    def undo_begun():
        return (not os.path.exists(os.path.join(product, "new")) or
                os.path.exists(os.path.join(product, "lib/gone.dll")))

    # The calls a run is killed at, and how many of each it makes at most
    # where the kill still lands in the install or the undo.
    kill_calls = (("renameat2", 30), ("unlink,unlinkat,rmdir", 35),
                  ("mkdir", 10), ("pwrite64", 500), ("fchmod,utimensat", 20))

    def kill_call():
        calls, most = rng.choice(kill_calls)
        return calls, rng.randint(1, most)

    faults = 0
    kills = 0
    cases = ("once", "twice", "thrice", "previous", "other")
    for point in range(args.points):
        case = cases[point % len(cases)]
        copy_product(old, user, product)
        steps = []
        d1 = delay()
        if not args.wine and (case in ("twice", "thrice") or point % 2):
            # Killed inside the install, so that the runs after it undo.
            calls, n = kill_call()
            if case in ("twice", "thrice"):
                calls, n = "renameat2", rng.randint(2, 22)
            code = runner.run_killed_at_call(packages["update"], product,
                                             log, calls, n)
            steps.append(f"run killed at {calls} #{n} -> {code} "
                         f"({after_kill(product)})")
        elif args.wine and point % 2 == 1:
            # Once the journal is made: the install, which takes a small
            # part of the run under Wine.
            d1 = rng.uniform(0, 1.5)
            server = point % 4 == 3
            code = runner.run_killed_after(packages["update"], product, log,
                                           d1, server=server,
                                           when=journal_made)
            steps.append(f"{'wineserver -k' if server else 'killed'} "
                         f"{d1 * 1000:.1f} ms after the journal -> {code} "
                         f"({after_kill(product)})")
        else:
            code = runner.run_killed_after(packages["update"], product, log,
                                           d1)
            steps.append(f"run killed after {d1 * 1000:.1f} ms -> {code} "
                         f"({after_kill(product)})")
        kills += code is None
        if case in ("twice", "thrice"):
            for _ in range(1 if case == "twice" else 2):
                if args.wine:
                    # Once the undo has begun: a folder the cut-off run
                    # made is gone, or a file it deleted is back.
                    d = rng.uniform(0, 0.3)
                    code = runner.run_killed_after(packages["update"],
                                                   product, log, d,
                                                   when=undo_begun)
                    steps.append(f"run killed {d * 1000:.1f} ms into its "
                                 f"undo -> {code} ({after_kill(product)})")
                else:
                    # The undo's renames and removals come before any other
                    # of the run: the n-th lands in the undo when the
                    # journal lists that many.
                    calls = rng.choice(["renameat2", "unlink"])
                    n = rng.randint(1, 12)
                    code = runner.run_killed_at_call(packages["update"],
                                                     product, log, calls, n)
                    steps.append(f"run killed at {calls} #{n} -> {code} "
                                 f"({after_kill(product)})")
                kills += code is None
        expect, codes = want_new, (0,)
        if case in ("previous", "other"):
            name = "previous" if case == "previous" else "other"
            code, err = runner.run(packages[name], product, log)
            steps.append(f"{name} package -> {code}")
            state = snapshot(product)
            left = leftovers(product)
            # The cut-off run is undone: the old version, which the
            # previous package finds up to date and the other one not its
            # product; a cut after the journal's end leaves NEW.
            okay = {"previous": ((want_old, 0), (want_new, 4)),
                    "other": ((want_old, 4), (want_new, 4))}[name]
            if not any(state == s and code == c for s, c in okay) or left:
                faults += 1
                print(f"FAULT point {point} ({case}): {'; '.join(steps)}")
                for line in differences(state, want_old)[:4]:
                    print("   vs OLD:", line)
                for line in differences(state, want_new)[:4]:
                    print("   vs NEW:", line)
                if left:
                    print("   left:", left)
                if args.keep:
                    break
        started = time.monotonic()
        code, err = runner.run(packages["update"], product, log)
        if case == "once" and "killed" in steps[0] and "None (j" in steps[0]:
            timings.append(time.monotonic() - started)
        steps.append(f"final run -> {code}")
        state = snapshot(product)
        left = leftovers(product)
        left += [os.path.join("TMP", name) for name in os.listdir(tmp_of_run)
                 if name.upper().startswith("VLSFX_QUORIX")]
        if code not in codes or state != expect or left:
            faults += 1
            print(f"FAULT point {point} ({case}): {'; '.join(steps)}")
            print("  ", err.strip().replace("\n", "\n   "))
            for line in differences(state, expect):
                print("   ", line)
            if left:
                print("   left:", left)
            if args.keep:
                break
        else:
            print(f"ok {point} ({case}): {'; '.join(steps)}", flush=True)
    print(f"{args.points} sequences, {kills} kills, {faults} faults")
    if not args.keep:
        force_writable(work)
        shutil.rmtree(work, ignore_errors=True)
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
