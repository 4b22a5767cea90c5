"""Installs a tree of 20 folders, each holding 100 files of 4 KiB and one file of 20 MiB
(2,000 small files and 20 large ones in all), with Setup.exe under Wine, and the same
tree with an NSIS installer (Unicode true, File /r of the tree, stored, CRC check on) run
with /S under Wine, in turns. Prints the medians of the runs and their ratio. Goal:
Setup.exe in at most 0.60 times the time of the NSIS installer; exits 1 when it is
missed, 0 with a note when Wine, Setup.exe or makensis is missing.

SETUP_BENCH_WIN32_EXE names Setup.exe; SETUP_BENCH_WIN32_EXE_BEFORE, when set, names an
earlier build that runs in the same turns, so that a change is measured against it
under the same load. SETUP_BENCH_RUNS sets the number of turns (default 5)."""
import os
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
runs = int(os.environ.get("SETUP_BENCH_RUNS", "5"))
prog = os.path.join(work, "prog")
payload = os.path.join(prog, "p")
wine_prefix = os.path.join(work, "wineprefix")


def folder_name(i):
    return "f%02d" % i


def make_payload():
    """The tree and a script that copies it; short lines through macros, so that the
    script fits the 64 KiB store. Each folder has macros of its own: a second #define of
    a name would not redefine it."""
    block = os.urandom(4096)
    big = os.urandom(1 << 20) * 20
    lines = ["SetupDir C:\\Target ", "MakeDir $$SETUPDIR$$"]
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


def run_once(argv, env, cleanup):
    shutil.rmtree(cleanup, ignore_errors=True)
    subprocess.run(["sync"])
    start = time.monotonic()
    r = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL)
    elapsed = time.monotonic() - start
    if r.returncode != 0:
        sys.exit("%s failed with %d" % (argv[1], r.returncode))
    return elapsed


def medians_in_turns(contenders):
    """The median of `runs` runs of each (name, run) pair, the pairs taken in turns."""
    times = {name: [] for name, _ in contenders}
    for _ in range(runs):
        for name, run in contenders:
            times[name].append(run())
    for name, t in times.items():
        print("  %-18s %s" % (name, " ".join("%.2f" % x for x in t)))
    return {name: statistics.median(t) for name, t in times.items()}


def main():
    if not (win32_exe and os.path.exists(win32_exe) and shutil.which("wine")):
        print("Setup.exe or Wine is missing: no Wine install")
        return 0
    if not shutil.which("makensis"):
        print("makensis is missing: no NSIS comparison (make bench installs nsis)")
        return 0
    make_payload()
    installer = make_nsis_installer()
    if not installer:
        sys.exit("makensis failed")
    env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=wine_prefix, WINEDEBUG="-all",
               LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("SETUP_TRANSCRIPT", None)
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=env)
    target = os.path.join(wine_prefix, "drive_c", "Target")
    nsis_target = os.path.join(wine_prefix, "drive_c", "NsisTarget")
    contenders = []
    for name, exe in (("Setup.exe", win32_exe), ("Setup.exe (before)", before_exe)):
        if not exe:
            continue
        copy = os.path.join(prog, "Setup.exe" if name == "Setup.exe" else "SetupB.exe")
        shutil.copyfile(exe, copy)
        contenders.append((name, lambda c=copy: run_once(["wine", c], env, target)))
    contenders.append(("NSIS", lambda: run_once(["wine", installer, "/S"], env, nsis_target)))
    print("%d folders, %d files of 4 KiB and %d of 20 MiB; seconds per run:"
          % (FOLDERS, FOLDERS * SMALL_PER_FOLDER, FOLDERS))
    med = medians_in_turns(contenders)
    subprocess.run(["wineserver", "-k"], env=env)
    for name, t in med.items():
        print("median %-18s %.2f s" % (name, t))
    if before_exe:
        print("ratio Setup.exe (before)/NSIS %.3f" % (med["Setup.exe (before)"] / med["NSIS"]))
    ratio = med["Setup.exe"] / med["NSIS"]
    print("time ratio Setup.exe/NSIS, 20 folders %.3f (goal <= %.2f)" % (ratio, GOAL))
    print("PASS" if ratio <= GOAL else "FAIL")
    return 0 if ratio <= GOAL else 1


sys.exit(main())
