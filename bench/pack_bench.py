"""The single-file installer against NSIS, on a payload of real files nobody here wrote:
Python 3's top-level modules (/usr/lib/python3.*/*.py), its lib-dynload and encodings
folders, and the fonts of the machine (/usr/share/fonts, links followed), about 360
files and 32 MB. The script copies every file with BinCopy, long folder names through
macros, within the 64 KiB store. The same tree goes into an NSIS installer with
`SetCompressor /SOLID lzma` (File /r). One run of each, side by side:

- size: the packed file at most 1.05 times the NSIS installer;
- packing: `setup --pack` in no more time than `makensis`;
- a silent install under Wine (the packed file's integrity check included) in at most
  0.5 times the time of the NSIS installer's /S (the medians of three interleaved runs;
  the time Wine takes for a program that does nothing is printed beside them);
- memory: the peak resident size of the native install from the package (the reader's
  own need, goal 64 MiB), and of both installers under Wine (Wine's own share included).

Exits 1 when a goal is missed, 0 with a note when a tool is missing. SETUP_BENCH_SETUP
names the native program, SETUP_BENCH_WIN32_EXE the loader."""
import glob
import os
import resource
import shutil
import subprocess
import sys
import time

work = os.environ["SETUP_BENCH_WORK"]
setup = os.environ["SETUP_BENCH_SETUP"]
loader = os.environ["SETUP_BENCH_WIN32_EXE"]
prog = os.path.join(work, "prog")
wine_prefix = os.path.join(work, "wineprefix")
SIZE_GOAL, PACK_GOAL, INSTALL_GOAL, MEMORY_GOAL = 1.05, 1.0, 0.5, 64 << 20
WINE_RUNS = 3


def sources():
    """(folder in the program directory, its macro, [source files])."""
    python = sorted(glob.glob("/usr/lib/python3.*[0-9]"))[-1]
    fonts = []
    for dirpath, _, names in os.walk("/usr/share/fonts", followlinks=True):
        fonts += [os.path.join(dirpath, n) for n in names]
    regular = lambda paths: sorted(p for p in paths if os.path.isfile(p))
    return [
        ("python_standard_library", "%PY%", regular(glob.glob(python + "/*.py"))),
        ("python_standard_library\\lib-dynload", "%DYN%", regular(glob.glob(python + "/lib-dynload/*"))),
        ("python_standard_library\\encodings", "%ENC%", regular(glob.glob(python + "/encodings/*.py"))),
        ("machine_fonts", "%FONT%", regular(fonts)),
    ]


def make_payload():
    lines = ["SetupDir C:\\PackBench ", "MakeDir $$SETUPDIR$$"]
    count = size = 0
    for folder, macro, files in sources():
        target = os.path.join(prog, *folder.split("\\"))
        os.makedirs(target, exist_ok=True)
        lines += ["#define %s_S $$FD$$\\%s" % (macro, folder), "#define %s_D $$SETUPDIR$$\\%s" % (macro, folder),
                  "MakeDir %s_D" % macro]
        for path in files:
            name = os.path.basename(path)
            if os.path.exists(os.path.join(target, name)):
                continue
            shutil.copy2(path, os.path.join(target, name))
            lines.append("BinCopy %s_S\\%s %s_D\\%s" % (macro, name, macro, name))
            count += 1
            size += os.path.getsize(path)
    text = "\r\n".join(lines) + "\r\n"
    if len(text) >= 65536:
        sys.exit("the script does not fit the store: %d bytes" % len(text))
    with open(os.path.join(prog, "Setup.Inf"), "w", newline="") as f:
        f.write(text)
    print("payload: %d files, %d bytes, script %d bytes" % (count, size, len(text)))


def timed(argv, env=None):
    """(seconds, peak resident bytes of the process tree's largest process)."""
    probe = ("import resource, subprocess, sys\n"
             "r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)\n"
             "print(r.returncode, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    start = time.monotonic()
    out = subprocess.run([sys.executable, "-c", probe] + argv, env=env, stdout=subprocess.PIPE, check=True)
    elapsed = time.monotonic() - start
    status, rss = out.stdout.split()
    if int(status) != 0:
        sys.exit("%s failed with %s" % (argv[0], status.decode()))
    return elapsed, int(rss) * 1024


def subprocess_seconds(argv, env):
    """The wall time of a run whose exit status does not matter."""
    start = time.monotonic()
    subprocess.run(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.monotonic() - start


def make_nsis():
    script = os.path.join(work, "bench.nsi")
    installer = os.path.join(work, "nsis-setup.exe")
    with open(script, "w") as f:
        f.write('Unicode true\nName "bench"\nOutFile "%s"\nSetCompressor /SOLID lzma\n' % installer)
        f.write('InstallDir "C:\\NsisBench"\nRequestExecutionLevel user\n')
        f.write('Section\n  SetOutPath "$INSTDIR"\n  File /r /x Setup.Inf "%s/*"\nSectionEnd\n' % prog)
    seconds, _ = timed(["makensis", "-V1", script])
    return installer, seconds


def main():
    for tool in ("makensis", "wine"):
        if not shutil.which(tool):
            print("%s is missing: no comparison (make bench installs it)" % tool)
            return 0
    make_payload()
    packed = os.path.join(work, "bench-setup.exe")
    pack_s, _ = timed([setup, "--pack", prog, "-o", packed, "--loader=" + loader])
    nsis, nsis_s = make_nsis()
    ok = True

    def goal(label, ratio, limit):
        nonlocal ok
        print("%s ratio %.3f (goal <= %.2f) %s" % (label, ratio, limit, "PASS" if ratio <= limit else "FAIL"))
        ok = ok and ratio <= limit

    ours, theirs = os.path.getsize(packed), os.path.getsize(nsis)
    print("size: packed %d bytes, NSIS /SOLID lzma %d bytes" % (ours, theirs))
    goal("size packed/NSIS", ours / theirs, SIZE_GOAL)
    print("packing: setup --pack %.2f s, makensis %.2f s" % (pack_s, nsis_s))
    goal("packing time setup/makensis", pack_s / nsis_s, PACK_GOAL)

    native_prefix = os.path.join(work, "native-prefix")
    os.makedirs(os.path.join(native_prefix, "drive_c", "windows", "system32"))
    os.makedirs(os.path.join(native_prefix, "dosdevices"))
    os.symlink("../drive_c", os.path.join(native_prefix, "dosdevices", "c:"))
    native_s, native_rss = timed([setup, "--silent", "--log=/dev/null", "--prefix=" + native_prefix, packed])
    print("native install from the package: %.2f s, peak resident %.1f MiB" % (native_s, native_rss / 2**20))
    goal("native install memory/64 MiB", native_rss / MEMORY_GOAL, 1.0)

    env = dict(os.environ, WINEPREFIX=wine_prefix, WINEDEBUG="-all", LANG="ja_JP.UTF-8",
               LC_ALL="ja_JP.UTF-8", WINEDLLOVERRIDES="mscoree,mshtml=")
    for key in ("SETUP_TRANSCRIPT", "SETUP_UI", "SETUP_ANSWERS"):
        env.pop(key, None)
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-p"], env=env)
    # Three installs of each, interleaved, each into a fresh folder; the medians are
    # compared, since one install on a shared machine can take twice another's time.
    drive_c = os.path.join(wine_prefix, "drive_c")
    runs = {"packed": [], "nsis": []}
    for _ in range(WINE_RUNS):
        for label, exe in (("packed", packed), ("nsis", nsis)):
            for folder in ("PackBench", "NsisBench"):
                shutil.rmtree(os.path.join(drive_c, folder), ignore_errors=True)
            subprocess.run(["sync"])
            runs[label].append(timed(["wine", exe, "/S"], env))
    # What Wine itself takes to start and end a program that does nothing: Setup.exe
    # with no script beside it ends at once.
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    shutil.copy(loader, os.path.join(empty, "Setup.exe"))
    start_s = min(subprocess_seconds(["wine", os.path.join(empty, "Setup.exe"), "/S"], env)
                  for _ in range(WINE_RUNS))
    subprocess.run(["wineserver", "-k"], env=env)
    median = lambda values: sorted(values)[len(values) // 2]
    wine_s, wine_rss = median(runs["packed"])
    nsis_run_s, nsis_rss = median(runs["nsis"])
    print("install under Wine (median of %d): packed %.2f s (peak resident %.1f MiB), "
          "NSIS %.2f s (%.1f MiB); runs packed %s, NSIS %s; a program that does nothing %.3f s"
          % (WINE_RUNS, wine_s, wine_rss / 2**20, nsis_run_s, nsis_rss / 2**20,
             " ".join("%.2f" % s for s, _ in runs["packed"]),
             " ".join("%.2f" % s for s, _ in runs["nsis"]), start_s))
    goal("install time packed/NSIS", wine_s / nsis_run_s, INSTALL_GOAL)
    return 0 if ok else 1


sys.exit(main())
