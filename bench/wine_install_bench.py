"""Installs a tree of 20 folders, each holding 100 files of 4 KiB and one file of 20 MiB
(2,000 small files and 20 large ones in all), with Setup.exe under Wine, and the same
tree with an NSIS installer (Unicode true, File /r of the tree, stored, CRC check on) run
with /S under Wine, in turns. Prints the medians of the runs and their ratio. Goal:
Setup.exe in at most 0.60 times the time of the NSIS installer; exits 1 when it is
missed, 0 with a note when Wine, Setup.exe or makensis is missing.

Every run installs into a folder of its own that no run has used, and the folders are
removed only after the last run (about 0.4 GiB a run on disk meanwhile): ext4 without a
journal, as on this machine, skips for every new file each inode freed in the last
minute, so a run that follows the removal of the previous run's 2,020 files pays for
that removal, and single runs ranged from 1.5 to 15 s. Before each run the dirty pages
of the runs before it are written out (sync, not timed), so that no run pays for
another's writes. Beside the times, the CPU each run took (the Wine process and the
prefix's wineserver; not the mount manager's process) shows what load on the machine
hides; the goal is the time.

SETUP_BENCH_WIN32_EXE names Setup.exe; SETUP_BENCH_WIN32_EXE_BEFORE, when set, names an
earlier build that runs in the same turns, so that a change is measured against it
under the same load. SETUP_BENCH_RUNS sets the number of turns (default 9)."""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

GOAL = 0.60
FOLDERS, SMALL_PER_FOLDER = 20, 100
work = os.environ["SETUP_BENCH_WORK"]
win32_exe = os.environ.get("SETUP_BENCH_WIN32_EXE", "")
before_exe = os.environ.get("SETUP_BENCH_WIN32_EXE_BEFORE", "")
runs = int(os.environ.get("SETUP_BENCH_RUNS", "9"))
prog = os.path.join(work, "prog")
payload = os.path.join(prog, "p")
wine_prefix = os.path.join(work, "wineprefix")


def folder_name(i):
    return "f%02d" % i


def target_line(n):
    """The script's first line: the folder that run `n` installs into. Always as long, so
    that rewriting it changes nothing else in the script."""
    return "SetupDir C:\\Target%03d " % n


def set_target(n):
    script = os.path.join(prog, "Setup.Inf")
    with open(script, "rb") as f:
        text = f.read()
    first = text.index(b"\r\n")
    with open(script, "wb") as f:
        f.write(target_line(n).encode() + text[first:])


def make_payload():
    """The tree and a script that copies it; short lines through macros, so that the
    script fits the 64 KiB store. Each folder has macros of its own: a second #define of
    a name would not redefine it."""
    block = os.urandom(4096)
    big = os.urandom(1 << 20) * 20
    lines = [target_line(0), "MakeDir $$SETUPDIR$$"]
    for i in range(FOLDERS):
        folder = os.path.join(payload, folder_name(i))
        os.makedirs(folder)
        names = ["s%02d" % j for j in range(SMALL_PER_FOLDER)] + ["L"]
        for name in names[:-1]:
            with open(os.path.join(folder, name), "wb") as f:
                f.write(block)
        with open(os.path.join(folder, "L"), "wb") as f:
            f.write(big)
        source, dest = "_S%02d_" % i, "_D%02d_" % i
        lines += ["#define %s $$FD$$\\p\\%s" % (source, folder_name(i)),
                  "#define %s $$SETUPDIR$$\\%s" % (dest, folder_name(i)), "MakeDir " + dest]
        lines += ["BinCopy %s\\%s %s\\%s" % (source, n, dest, n) for n in names]
    text = "\r\n".join(lines) + "\r\n"
    if len(text) >= 65536:
        sys.exit("the script does not fit the store: %d bytes" % len(text))
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="") as f:
        f.write(text)


def make_nsis_installer():
    script = os.path.join(work, "bench.nsi")
    installer = os.path.join(work, "nsis-setup.exe")
    with open(script, "w") as f:
        f.write('Unicode true\nName "bench"\nOutFile "%s"\n' % installer)
        f.write('InstallDir "C:\\NsisTarget"\nSetCompress off\nCRCCheck on\n')
        f.write("RequestExecutionLevel user\n")
        f.write('Section\n  SetOutPath "$INSTDIR"\n  File /r "%s/*"\nSectionEnd\n' % payload)
    r = subprocess.run(["makensis", "-V1", script], stdout=subprocess.DEVNULL)
    return installer if r.returncode == 0 else None


def wineserver_cpu():
    """CPU seconds the prefix's wineserver has used; its working directory is named by
    the prefix's device and inode. 0 when it is not running."""
    info = os.stat(wine_prefix)
    tag = "/server-%x-%x" % (info.st_dev, info.st_ino)
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if not os.readlink("/proc/%s/cwd" % pid).endswith(tag):
                continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            continue
    return 0.0


def run_once(argv, env):
    """Seconds and CPU seconds (the program and the wineserver) of one run."""
    subprocess.run(["sync"])
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    server = wineserver_cpu()
    start = time.monotonic()
    r = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("%s failed with %d" % (argv[1], r.returncode))
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - children.ru_utime) + (after.ru_stime - children.ru_stime)
    return elapsed, cpu + wineserver_cpu() - server


def medians_in_turns(contenders):
    """The medians of `runs` runs of each (name, run) pair, the pairs taken in turns after
    one turn that is not counted: of the times and of the CPU seconds."""
    for _, run in contenders:
        run()  # a turn not counted: Wine's services and caches warm for all alike
    times = {name: [] for name, _ in contenders}
    cpu = {name: [] for name, _ in contenders}
    for _ in range(runs):
        for name, run in contenders:
            elapsed, used = run()
            times[name].append(elapsed)
            cpu[name].append(used)
    for name, t in times.items():
        print("  %-18s %s" % (name, " ".join("%.2f" % x for x in t)))
    print("CPU seconds per run:")
    for name, t in cpu.items():
        print("  %-18s %s" % (name, " ".join("%.2f" % x for x in t)))
    return ({name: statistics.median(t) for name, t in times.items()},
            {name: statistics.median(t) for name, t in cpu.items()})


def main():
    if not (win32_exe and os.path.exists(win32_exe) and shutil.which("wine")):
        print("Setup.exe or Wine is missing: no Wine install")
        return 0
    if not shutil.which("makensis"):
        print("makensis is missing: no NSIS comparison (make bench installs nsis)")
        return 0
    env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=wine_prefix, WINEDEBUG="-all",
               LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("SETUP_TRANSCRIPT", None)
    # The prefix first: the files its start-up makes and removes are then long gone when
    # the runs begin.
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=env)
    make_payload()
    installer = make_nsis_installer()
    if not installer:
        sys.exit("makensis failed")
    drive_c = os.path.join(wine_prefix, "drive_c")
    used = [0]

    def fresh_target():
        used[0] += 1
        return used[0]

    def setup_run(exe):
        set_target(fresh_target())
        return run_once(["wine", exe], env)

    def nsis_run():
        return run_once(["wine", installer, "/S", "/D=C:\\Target%03d" % fresh_target()], env)

    contenders = []
    for name, exe in (("Setup.exe", win32_exe), ("Setup.exe (before)", before_exe)):
        if not exe:
            continue
        copy = os.path.join(prog, "Setup.exe" if name == "Setup.exe" else "SetupB.exe")
        shutil.copyfile(exe, copy)
        contenders.append((name, lambda c=copy: setup_run(c)))
    contenders.append(("NSIS", nsis_run))
    print("%d folders, %d files of 4 KiB and %d of 20 MiB; seconds per run:"
          % (FOLDERS, FOLDERS * SMALL_PER_FOLDER, FOLDERS))
    try:
        med, med_cpu = medians_in_turns(contenders)
    finally:
        subprocess.run(["wineserver", "-k"], env=env)
        for n in range(1, used[0] + 1):
            shutil.rmtree(os.path.join(drive_c, "Target%03d" % n), ignore_errors=True)
    for name, t in med.items():
        print("median %-18s %.2f s, CPU %.2f s" % (name, t, med_cpu[name]))
    if before_exe:
        print("ratio Setup.exe (before)/NSIS %.3f" % (med["Setup.exe (before)"] / med["NSIS"]))
    print("CPU ratio Setup.exe/NSIS %.3f (not a goal)" % (med_cpu["Setup.exe"] / med_cpu["NSIS"]))
    ratio = med["Setup.exe"] / med["NSIS"]
    print("time ratio Setup.exe/NSIS, 20 folders %.3f (goal <= %.2f)" % (ratio, GOAL))
    print("PASS" if ratio <= GOAL else "FAIL")
    return 0 if ratio <= GOAL else 1


sys.exit(main())
