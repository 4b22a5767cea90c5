"""Installs a payload of 2,000 files of 4 KiB and 20 files of 20 MiB with the native
program's BinCopy, and copies the same payload with `cp -r` in the same run (goal: the
native install in no more time than cp -r; exits 1 when it is missed). Each figure is
the median of seven runs taken in turns, the side that goes first alternating from one
round to the next, so that neither is always the one to run on a machine that has just
settled: a run's time varies by a factor of two or more on a shared machine, most of it
in the kernel's copying of the large files, which both sides do alike
(copy_file_range). The best run of each side is printed beside it.

The timed runs start once the files freed before them no longer count
(flat_payload.settle). Each run writes into a folder of its own, all of them in the prefix's drive_c and
removed at the end, and starts after a sync. On ext4 without a journal a new file's
inode skips every inode freed in the last few seconds (minutes while their blocks are
unwritten) in its folder's group: removing the last run's 2,020 files just before a run
made its every file creation scan past them, and a cp -r into a folder elsewhere met
another group, so that either side could pay for it alone.

Setup.exe under Wine against an NSIS installer is bench/wine_install_bench.py's."""
import os
import resource
import shutil
import statistics
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
    return flat_payload.make(prog, prefix)


def write_script(script, run):
    """The payload's script, installing into C:\\Target<run>."""
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="") as f:
        f.write(script.replace("SetupDir C:\\Target ", "SetupDir C:\\Target%d " % run, 1))


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


cpu = {}  # the processor time of each run, by side: steadier than the time on a busy machine


def run_once(argv, env=None, executable=None):
    subprocess.run(["sync"])
    start, start_cpu = time.monotonic(), children_cpu()
    r = subprocess.run(argv, env=env, executable=executable, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("%s failed with %d" % (argv[0], r.returncode))
    cpu.setdefault(os.path.basename(argv[0]), []).append(children_cpu() - start_cpu)
    return elapsed


ROUNDS = 7


def in_turns(contenders):
    """The times of ROUNDS runs of each (name, run) pair, the pairs taken in turns, each
    round starting with the next pair."""
    times = {name: [] for name, _ in contenders}
    for round_number in range(ROUNDS):
        start = round_number % len(contenders)
        for name, run in contenders[start:] + contenders[:start]:
            times[name].append(run())
    return times


script = make_payload()
flat_payload.settle()
size = sum(os.path.getsize(os.path.join(payload, n)) for n in os.listdir(payload)) / (1 << 20)
env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=prefix)
env.pop("SETUP_TRANSCRIPT", None)
drive_c = os.path.join(prefix, "drive_c")
runs = {"setup": 0, "cp": 0}


def run_setup():
    runs["setup"] += 1
    write_script(script, runs["setup"])
    return run_once([os.path.join(prog, "setup")], env=dict(env), executable=setup)


def run_cp():
    runs["cp"] += 1
    return run_once(["cp", "-r", payload, os.path.join(drive_c, "cp-target%d" % runs["cp"])])


times = in_turns([("setup", run_setup), ("cp", run_cp)])
for n in range(1, runs["setup"] + 1):
    shutil.rmtree(os.path.join(drive_c, "Target%d" % n), ignore_errors=True)
for n in range(1, runs["cp"] + 1):
    shutil.rmtree(os.path.join(drive_c, "cp-target%d" % n), ignore_errors=True)
ours, cp = statistics.median(times["setup"]), statistics.median(times["cp"])
print("%d files, %.0f MiB: setup (BinCopy) %.3f s, cp -r %.3f s (medians; best %.3f s, %.3f s), "
      "ratio %.2f (goal <= 1.00)" % (len(os.listdir(payload)), size, ours, cp,
                                     min(times["setup"]), min(times["cp"]), ours / cp))
print("processor time (user and system, medians): setup %.3f s, cp -r %.3f s, ratio %.2f"
      % (statistics.median(cpu["setup"]), statistics.median(cpu["cp"]),
         statistics.median(cpu["setup"]) / statistics.median(cpu["cp"])))
print("PASS" if ours <= cp else "FAIL")
status = 0 if ours <= cp else 1
sys.exit(status)
