"""Installs a payload of 2,000 files of 4 KiB and 20 files of 20 MiB with the native
program's BinCopy, and copies the same payload with `cp -r` in the same run (goal: the
native install in no more time than cp -r; exits 1 when it is missed). Each figure is
the best of three runs taken in turns, so that the machine's load counts less.
Setup.exe under Wine against an NSIS installer is bench/wine_install_bench.py's."""
import os
import shutil
import subprocess
import sys
import time

import flat_payload

work = os.environ["SETUP_BENCH_WORK"]
setup = os.environ["SETUP_BENCH_SETUP"]
prog = os.path.join(work, "prog")
payload = os.path.join(prog, "p")
prefix = os.path.join(work, "prefix")


def make_payload():
    script = flat_payload.make(prog, prefix)
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="") as f:
        f.write(script)


def run_once(argv, env=None, executable=None, cleanup=None):
    if cleanup:
        shutil.rmtree(cleanup, ignore_errors=True)
    subprocess.run(["sync"])
    start = time.monotonic()
    r = subprocess.run(argv, env=env, executable=executable, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("%s failed with %d" % (argv[0], r.returncode))
    return elapsed


def best_in_turns(contenders):
    """The best of three runs of each (name, run) pair, the pairs taken in turns."""
    times = {name: [] for name, _ in contenders}
    for _ in range(3):
        for name, run in contenders:
            times[name].append(run())
    return {name: min(t) for name, t in times.items()}


make_payload()
size = sum(os.path.getsize(os.path.join(payload, n)) for n in os.listdir(payload)) / (1 << 20)
target = os.path.join(prefix, "drive_c", "Target")
env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=prefix)
env.pop("SETUP_TRANSCRIPT", None)
copy_target = os.path.join(work, "cp-target")
best = best_in_turns([
    ("setup", lambda: run_once([os.path.join(prog, "setup")], env=dict(env), executable=setup,
                               cleanup=target)),
    ("cp", lambda: run_once(["cp", "-r", payload, copy_target], cleanup=copy_target)),
])
ours, cp = best["setup"], best["cp"]
print("%d files, %.0f MiB: setup (BinCopy) %.2f s, cp -r %.2f s, ratio %.2f (goal <= 1.00)"
      % (len(os.listdir(payload)), size, ours, cp, ours / cp))
print("PASS" if ours <= cp else "FAIL")
status = 0 if ours <= cp else 1
sys.exit(status)
