"""Helpers of the checker's end-to-end tests, native and under Wine, and a small table of
program directories: (name, files under prog/, script, [(line, severity)], exit status)."""
import hashlib
import os
import re
import shutil
import subprocess

import harness

CASES = [
    ("source found without regard to case", {"Data/App.DAT": b"a"},
     "SetupDir C:\\App \nMakeDir \"$$SETUPDIR$$\"\nBinCopy $$FD$$\\data\\app.dat \"$$SETUPDIR$$\\app.dat\"\n",
     [], 0),
    ("warnings only", {}, "SetupDir C:\\App\n", [(1, "warning")], 0),
    ("errors and warnings in line order", {}, "Bogus\nSetupDir x\nRegsvr \"$$FD$$\\gone.dll\"\n",
     [(1, "error"), (2, "warning"), (3, "error")], 1),
]

FINDING = re.compile(r"^(.*):(\d+): (error|warning): .+$")


def write_case(ws, files, script):
    for rel, data in files.items():
        ws.write("prog/" + rel, data)
    ws.script(script)


def parse(output):
    """(path, line, severity) per line of a check's output; any other line fails."""
    matches = [FINDING.match(line) for line in output.decode("utf-8").splitlines()]
    if not all(matches):
        raise ValueError("not a finding in %r" % output)
    return [(m[1], int(m[2]), m[3]) for m in matches]


def snapshot(root):
    """Every path below `root` with its mtime and, for files, a digest of its content."""
    state = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            p = os.path.join(dirpath, name)
            digest = ""
            if name in filenames and os.path.isfile(p):
                with open(p, "rb") as fh:
                    digest = hashlib.sha256(fh.read()).hexdigest()
            state[os.path.relpath(p, root)] = (os.lstat(p).st_mtime_ns, digest)
    return state


def _run(cmd, env, ws, **kw):
    env = {k: v for k, v in env.items() if not k.startswith("SETUP_")}
    proc = subprocess.run(cmd, env=env, cwd=ws.root, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    return proc.returncode, proc.stdout, proc.stderr


def run_native_check(ws, *args):
    """`setup --check ARGS` started as prog/setup, with no Wine prefix at all."""
    env = dict(os.environ, WINEPREFIX=ws.path("no-prefix"))
    return _run([os.path.join(ws.prog, "setup"), "--check", *args], env, ws, executable=harness.NATIVE, timeout=60)


def run_wine_check(ws, exe, *args, place=True):
    """`Setup.exe /CHECK ARGS` run under Wine from prog/, where it is copied first if `place`."""
    target = os.path.join(ws.prog, "Setup.exe")
    if place:
        shutil.copyfile(exe, target)
    return _run(["wine", target, "/CHECK", *args], dict(os.environ, **harness.wine_env()), ws, timeout=120)


def copy_demo(ws):
    shutil.copytree(os.path.join(harness.SOURCE_DIR, "examples", "demo"), ws.prog, dirs_exist_ok=True)
