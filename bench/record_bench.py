"""The install record's cost on the install benchmark's payload (2,000 files of 4 KiB and
20 of 20 MiB, natively): an install with a Product.ini against the same install without
one (goal: at most 1.05 times), the uninstall of it (goal: at most 0.5 times the
install) and the rollback of a run that fails at its last line (goal: at most the
install's time). That run first installs everything and then undoes it, so its
rollback is what it takes beyond the install with a product file of the same files. Each figure is the best of four rounds (SETUP_BENCH_ROUNDS) taken in
turns, each round in another order: every run deletes some 2,000 files, and on an ext4
without a journal a file made soon after many were deleted takes longer to make (its
inode allocator passes over the recently deleted ones), so a fixed order would make
whatever always runs last the slowest (and one unmeasured install comes first, so that
the first measured run does not alone follow no deletion). Exits 1 when a goal is
missed."""
import os
import shutil
import subprocess
import sys
import time

import flat_payload

work = os.environ["SETUP_BENCH_WORK"]
setup = os.environ["SETUP_BENCH_SETUP"]
prog = os.path.join(work, "record-prog")
payload = os.path.join(prog, "p")
prefix = os.path.join(work, "record-prefix")
targets = []  # every run's destination, removed when all are measured
records = os.path.join(prefix, "drive_c", "windows", "SetupRecords")
PRODUCT = "[Product]\r\nId=Bench.Record\r\n"


def make_payload():
    script = flat_payload.make(prog, prefix)
    for name, text in (("Setup.Inf", script), ("Failing.Inf", script + "ErrorExit stopped\r\n")):
        with open(os.path.join(prog, name), "w", newline="") as f:
            f.write(text)


def product(present):
    path = os.path.join(prog, "Product.ini")
    if present:
        with open(path, "w", newline="") as f:
            f.write(PRODUCT)
    elif os.path.exists(path):
        os.remove(path)


def timed(argv, expect):
    subprocess.run(["sync"])
    env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=prefix)
    env.pop("SETUP_TRANSCRIPT", None)
    start = time.monotonic()
    r = subprocess.run(argv, env=env, executable=setup, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    if r.returncode != expect:
        sys.exit("%s ended with %d, not %d" % (" ".join(argv), r.returncode, expect))
    return elapsed


def fresh_dest():
    """A destination of its own for each run, removed only at the end: a run that wrote
    into the folder the run before had just emptied would pay alone for the deletions."""
    name = "Target%03d" % len(targets)
    targets.append(os.path.join(prefix, "drive_c", name))
    shutil.rmtree(records, ignore_errors=True)  # each install a first one, never a merge
    return "--dest=C:\\" + name


def install(with_product):
    product(with_product)
    return timed([os.path.join(prog, "setup"), fresh_dest()], 0)


def uninstall():
    install(True)
    return timed(["setup", "--uninstall=Bench.Record"], 0)


def rollback():
    """The script that fails at its last line stands in for Setup.Inf during the run."""
    product(True)
    os.replace(os.path.join(prog, "Setup.Inf"), os.path.join(prog, "Passing.Inf"))
    shutil.copyfile(os.path.join(prog, "Failing.Inf"), os.path.join(prog, "Setup.Inf"))
    try:
        return timed([os.path.join(prog, "setup"), fresh_dest()], 1)
    finally:
        os.replace(os.path.join(prog, "Passing.Inf"), os.path.join(prog, "Setup.Inf"))


make_payload()
install(False)  # unmeasured: every measured run then follows the deletion of a run's files
kinds = [("plain", lambda: install(False)), ("recorded", lambda: install(True)),
         ("uninstall", uninstall), ("rollback", rollback)]
runs = {name: [] for name, _ in kinds}
for turn in range(int(os.environ.get("SETUP_BENCH_ROUNDS", "4"))):
    for name, measure in kinds[turn % 4:] + kinds[:turn % 4]:
        runs[name].append(measure())
for folder in targets:
    shutil.rmtree(folder, ignore_errors=True)
best = {name: min(t) for name, t in runs.items()}
if os.environ.get("SETUP_BENCH_VERBOSE"):
    for name, times in runs.items():
        print("%s: %s" % (name, " ".join("%.3f" % t for t in times)))
plain, recorded = best["plain"], best["recorded"]
goals = [("install with a product file", recorded / plain, 1.05),
         ("uninstall / install", best["uninstall"] / recorded, 0.5),
         ("rollback (the failed run less the install) / install",
          (best["rollback"] - recorded) / recorded, 1.0)]
print("%d files: install %.2f s, with a product file %.2f s, uninstall %.2f s, failed run rolled back %.2f s"
      % (flat_payload.SMALL + flat_payload.LARGE, plain, recorded, best["uninstall"], best["rollback"]))
status = 0
for name, ratio, goal in goals:
    print("%s: ratio %.2f (goal <= %.2f) %s" % (name, ratio, goal, "PASS" if ratio <= goal else "FAIL"))
    status = status if ratio <= goal else 1
sys.exit(status)
