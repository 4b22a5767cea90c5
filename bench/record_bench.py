"""The install record's cost on the install benchmark's payload (2,000 files of 4 KiB and
20 of 20 MiB, natively): an install with a Product.ini against the same install without
one (goal: at most 1.05 times), the uninstall of it (goal: at most 0.5 times the
install) and the rollback of a run that fails at its last line (goal: at most the
install's time). That run first installs everything and then undoes it, so its
rollback is what it takes beyond the install with a product file of the same files.

The two installs are compared first, in pairs (SETUP_BENCH_ROUNDS, default 7), each pair
in the other order than the one before, each run into a folder of its own and nothing
deleted until all are measured; each side's figure is the median of its runs. On an
ext4 without a journal a file made within some 30 s of many deletions takes longer to
make (its inode allocator passes over the recently deleted inodes of its group): an
uninstall or a rollback between two installs made whichever came after it pay that alone,
by up to a third of its time (several times it, on a machine where others delete too), so
they are measured afterwards: the uninstall against the median install with a product
file, the rollback, which follows an uninstall's deletions, against installs with a
product file that each follow a rollback's (one unmeasured install comes first, so that
the payload is read once before anything is measured). Exits 1 when a goal is missed."""
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


def make_registry():
    """A machine hive the size of a fresh Wine prefix's (some 15,000 keys, 2.9 MB), where
    the install with a product file writes its uninstall entry, as it would in a real
    prefix: without one the entry would fail and that install skip the work.
    SETUP_BENCH_NO_HIVE=1 leaves it out, to tell the record's own cost from the entry's."""
    if os.environ.get("SETUP_BENCH_NO_HIVE") == "1":
        return
    keys = ["WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n"]
    for i in range(14700):
        guid = "{%08X-%04X-11D0-9B7A-00A0C91E%04X}" % (0x2A4F0000 + i * 7919, i % 65536, i)
        keys.append('\n[Software\\\\Classes\\\\CLSID\\\\%s] 1796665238\n#time=1dd8672123550d6\n'
                    '@="Component %d"\n"InprocServer32"="C:\\\\windows\\\\system32\\\\lib%05d.dll"\n'
                    '"ThreadingModel"="Both"\n' % (guid, i, i))
    with open(os.path.join(prefix, "system.reg"), "w", newline="") as f:
        f.write("".join(keys))


def make_payload():
    script = flat_payload.make(prog, prefix)
    make_registry()
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


def median(times):
    times = sorted(times)
    middle = len(times) // 2
    return times[middle] if len(times) % 2 else (times[middle - 1] + times[middle]) / 2


make_payload()
install(False)  # unmeasured: the payload read once, into the page cache
rounds = int(os.environ.get("SETUP_BENCH_ROUNDS", "7"))
runs = {"plain": [], "recorded": [], "uninstall": [], "rollback": []}
pair = [("plain", lambda: install(False)), ("recorded", lambda: install(True))]
for turn in range(rounds):
    for name, measure in (pair if turn % 2 == 0 else pair[::-1]):
        runs[name].append(measure())
# Each uninstall and rollback deletes 2,020 files, after the installs: the rollback (an
# install, then its undoing) follows an uninstall's deletions, and is compared with an
# install with a product file that follows its own, so that both pay for them alike.
runs["recorded after deletions"] = []
for turn in range(max(1, (rounds + 1) // 2)):
    runs["uninstall"].append(uninstall())
    runs["rollback"].append(rollback())
    runs["recorded after deletions"].append(install(True))
for folder in targets:
    shutil.rmtree(folder, ignore_errors=True)
middle = {name: median(t) for name, t in runs.items()}
if os.environ.get("SETUP_BENCH_VERBOSE"):
    for name, times in runs.items():
        print("%s: %s" % (name, " ".join("%.3f" % t for t in times)))
plain, recorded = middle["plain"], middle["recorded"]
goals = [("install with a product file", recorded / plain, 1.05),
         ("uninstall / install", middle["uninstall"] / recorded, 0.5),
         ("rollback (the failed run less the install) / install",
          (middle["rollback"] - middle["recorded after deletions"])
          / middle["recorded after deletions"], 1.0)]
print("%d files (medians): install %.3f s, with a product file %.3f s, uninstall %.3f s, "
      "failed run rolled back %.3f s"
      % (flat_payload.SMALL + flat_payload.LARGE, plain, recorded, middle["uninstall"],
         middle["rollback"]))
status = 0
for name, ratio, goal in goals:
    print("%s: ratio %.2f (goal <= %.2f) %s" % (name, ratio, goal, "PASS" if ratio <= goal else "FAIL"))
    status = status if ratio <= goal else 1
sys.exit(status)
