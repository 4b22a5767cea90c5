"""Installs a payload of 2,000 files of 4 KiB and 20 files of 20 MiB with the native
program's BinCopy, and copies the same payload with `cp -r` in the same run (goal: the
native install in no more time than cp -r). When SETUP_BENCH_SKIP_WINE is not set and
Setup.exe is built and Wine is present, installs it with Setup.exe under Wine too, and,
when makensis is present, with an NSIS installer that stores the same payload
(uncompressed, NSIS's other settings as they come) run with /S. Prints the times and
their ratios; each figure is the best of three runs taken in turns, so that the
machine's load counts less. Goal: Setup.exe in at most 0.70 times the time of the NSIS
installer; exits 1 when a goal is missed."""
import os
import shutil
import subprocess
import sys
import time

work = os.environ["SETUP_BENCH_WORK"]
setup = os.environ["SETUP_BENCH_SETUP"]
win32_exe = os.environ.get("SETUP_BENCH_WIN32_EXE", "")
SMALL, LARGE = 2000, 20
prog = os.path.join(work, "prog")
payload = os.path.join(prog, "p")
prefix = os.path.join(work, "prefix")


def make_payload():
    os.makedirs(payload)
    block = os.urandom(4096)
    for i in range(SMALL):
        with open(os.path.join(payload, "s%04d" % i), "wb") as f:
            f.write(block)
    big = os.urandom(1 << 20) * 20
    for i in range(LARGE):
        with open(os.path.join(payload, "L%02d" % i), "wb") as f:
            f.write(big)
    names = sorted(os.listdir(payload))
    # Short lines through macros: the whole script must fit the 64 KiB store.
    lines = ["SetupDir C:\\Target ", "#define _S_ $$FD$$\\p", "#define _D_ $$SETUPDIR$$", "MakeDir _D_"]
    lines += ["BinCopy _S_\\%s _D_\\%s" % (n, n) for n in names]
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    os.makedirs(os.path.join(prefix, "drive_c", "windows", "system32"))
    os.makedirs(os.path.join(prefix, "dosdevices"))
    os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))


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


def make_nsis_installer(work_dir):
    script = os.path.join(work_dir, "bench.nsi")
    installer = os.path.join(work_dir, "nsis-setup.exe")
    with open(script, "w") as f:
        f.write('Name "bench"\nOutFile "%s"\nInstallDir "C:\\NsisTarget"\n' % installer)
        f.write("SetCompress off\nRequestExecutionLevel user\n")
        f.write('Section\n  SetOutPath "$INSTDIR"\n  File "%s/*"\nSectionEnd\n' % payload)
    r = subprocess.run(["makensis", "-V1", script], stdout=subprocess.DEVNULL)
    return installer if r.returncode == 0 else None


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
      % (SMALL + LARGE, size, ours, cp, ours / cp))
print("PASS" if ours <= cp else "FAIL")
status = 0 if ours <= cp else 1
wine_wanted = not os.environ.get("SETUP_BENCH_SKIP_WINE")
if wine_wanted and win32_exe and os.path.exists(win32_exe) and shutil.which("wine"):
    wine_prefix = os.path.join(work, "wineprefix")
    wenv = dict(os.environ, SETUP_UI="batch", WINEPREFIX=wine_prefix, WINEDEBUG="-all",
                LANG="ja_JP.UTF-8",
                LC_ALL="ja_JP.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
    wenv.pop("SETUP_TRANSCRIPT", None)
    subprocess.run(["wineboot", "-i"], env=wenv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=wenv)
    shutil.copyfile(win32_exe, os.path.join(prog, "Setup.exe"))
    wine_target = os.path.join(wine_prefix, "drive_c", "Target")
    contenders = [("Setup.exe", lambda: run_once(["wine", os.path.join(prog, "Setup.exe")],
                                                 env=wenv, cleanup=wine_target))]
    installer = make_nsis_installer(work) if shutil.which("makensis") else None
    if installer:
        nsis_target = os.path.join(wine_prefix, "drive_c", "NsisTarget")
        contenders.append(("NSIS", lambda: run_once(["wine", installer, "/S"], env=wenv,
                                                    cleanup=nsis_target)))
    best = best_in_turns(contenders)
    subprocess.run(["wineserver", "-k"], env=wenv)
    wine = best["Setup.exe"]
    print("Setup.exe under Wine %.2f s, ratio to cp -r %.2f" % (wine, wine / cp))
    if installer:
        ratio = wine / best["NSIS"]
        print("NSIS installer /S under Wine %.2f s" % best["NSIS"])
        print("time ratio Setup.exe/NSIS %.3f (goal <= 0.70)" % ratio)
        print("PASS" if ratio <= 0.70 else "FAIL")
        status |= 0 if ratio <= 0.70 else 1
    else:
        print("makensis is missing: no NSIS comparison (make bench installs nsis)")
sys.exit(status)
