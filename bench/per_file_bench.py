"""The cost of one BinCopy of a small file in the native program, in two figures:

- system calls: `strace -f -c` over a run that copies 500 files of 4 KiB, minus a run of
  the same script without its BinCopy lines, divided by 500 (goal: at most 11);
- time per file into a folder that already holds 0, 5,000 and 20,000 entries: 2,000
  copies (a second install of that many files into a full folder), each figure the
  median of seven rounds that take the folders in turn, each round starting at another
  folder, less the median run without copies (goal: 20,000 entries at most 1.2 times the
  empty folder). The median, not the best run: one lucky run of a folder on a shared
  machine would otherwise decide its figure.

The runs start once the files freed before them no longer count (flat_payload.settle),
and before a timed run the previous run's copies are moved aside, not removed, and the file
system is synced. On ext4 without a journal a new file's inode skips every inode freed
in the last few seconds (minutes while their blocks are unwritten), a scan that grows
with each removal: removing 2,000 files before each run made every later run of a round
slower than the first, whatever it copied into.

Prints the figures and a PASS or FAIL line for each goal; exits 1 when one is missed."""
import os
import shutil
import statistics
import subprocess
import sys
import time

import flat_payload

work = os.environ["SETUP_BENCH_WORK"]
setup = os.environ["SETUP_BENCH_SETUP"]
STRACED_COPIES = 500
COPIES = 2000
FILLS = (0, 5000, 20000)
prog = os.path.join(work, "prog")
prefix = os.path.join(work, "prefix")
drive_c = os.path.join(prefix, "drive_c")


def target(fill):
    return os.path.join(drive_c, "T%d" % fill)


def write_script(copies, fill):
    lines = ["SetupDir C:\\T%d " % fill, "#define _S_ $$FD$$\\p", "#define _D_ $$SETUPDIR$$",
             "MakeDir _D_"]
    lines += ["BinCopy _S_\\s%04d _D_\\s%04d" % (i, i) for i in range(copies)]
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def make_work():
    os.makedirs(os.path.join(prog, "p"))
    block = os.urandom(4096)
    for i in range(COPIES):
        with open(os.path.join(prog, "p", "s%04d" % i), "wb") as f:
            f.write(block)
    os.makedirs(os.path.join(drive_c, "windows", "system32"))
    os.makedirs(os.path.join(prefix, "dosdevices"))
    os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))
    shutil.copy(setup, os.path.join(prog, "setup"))
    for fill in FILLS:
        os.makedirs(target(fill))
        for i in range(fill):
            path = os.path.join(target(fill), "f%05d.dat" % i)
            os.close(os.open(path, os.O_CREAT | os.O_WRONLY, 0o644))


moved_aside = 0


def remove_copies(fill):
    """Moves the copies in the folder of `fill` to a folder of their own, which nothing
    looks into: the folder holds its fill again and no inode is freed."""
    global moved_aside
    moved_aside += 1
    aside = os.path.join(drive_c, "aside", str(moved_aside))
    os.makedirs(aside)
    for i in range(COPIES):
        try:
            os.rename(os.path.join(target(fill), "s%04d" % i), os.path.join(aside, "s%04d" % i))
        except FileNotFoundError:
            pass


def env():
    e = dict(os.environ, SETUP_UI="batch", WINEPREFIX=prefix)
    e.pop("SETUP_TRANSCRIPT", None)
    return e


def run(argv_prefix=()):
    r = subprocess.run(list(argv_prefix) + [os.path.join(prog, "setup")], env=env(),
                       stdout=subprocess.DEVNULL)
    if r.returncode != 0:
        sys.exit("setup failed with %d" % r.returncode)


def syscalls(copies):
    write_script(copies, 0)
    remove_copies(0)
    out = os.path.join(work, "strace.txt")
    run(["strace", "-f", "-c", "-o", out])
    with open(out) as f:
        for line in f:
            fields = line.split()
            if fields and fields[-1] == "total":
                return int(fields[3])
    sys.exit("no total in the strace summary")


def timed(copies, fill):
    write_script(copies, fill)
    remove_copies(fill)
    subprocess.run(["sync"])
    start = time.monotonic()
    run()
    return time.monotonic() - start


make_work()
flat_payload.settle()
status = 0
if shutil.which("strace"):
    per_copy = (syscalls(STRACED_COPIES) - syscalls(0)) / STRACED_COPIES
    ok = per_copy <= 11
    print("system calls per BinCopy of 4 KiB: %.1f (goal <= 11)" % per_copy)
    print("PASS" if ok else "FAIL")
    status |= 0 if ok else 1
else:
    print("strace is missing: no system-call count (make bench installs it)")

# Rounds that take every folder in turn, so that the machine's load weighs on all alike.
ROUNDS = 7
runs = {fill: [] for fill in FILLS}
empty = []
for round_number in range(ROUNDS):
    empty.append(timed(0, 0))
    start = round_number % len(FILLS)
    for fill in FILLS[start:] + FILLS[:start]:
        runs[fill].append(timed(COPIES, fill))
per_file = {fill: (statistics.median(runs[fill]) - statistics.median(empty)) / COPIES
            for fill in FILLS}
for fill in FILLS:
    print("time per file beside %6d entries: %6.1f us, x%.2f of the empty folder"
          % (fill, per_file[fill] * 1e6, per_file[fill] / per_file[0]))
ratio = per_file[FILLS[-1]] / per_file[0]
print("20,000 entries over an empty folder: x%.2f (goal <= 1.2)" % ratio)
print("PASS" if ratio <= 1.2 else "FAIL")
status |= 0 if ratio <= 1.2 else 1
sys.exit(status)
