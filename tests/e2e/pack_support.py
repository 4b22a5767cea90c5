"""Shared pieces of the single-file installer's tests: packing a program directory with
the native program, the tampered copies of a package, and a tree's files with their
bytes and modification times."""
import os
import shutil
import struct
import subprocess

import harness

DEMO = os.path.join(harness.SOURCE_DIR, "examples", "demo")
# 表 in code page 932: its second byte is a backslash.
TABLE_NAME = "\u8868"
TRAILER = 80


def pack(ws, source, output, loader=None, extra=()):
    """`setup --pack SOURCE -o OUTPUT` with the 32-bit loader (or `loader`)."""
    loader = loader or dict(harness.WIN_EXES)["win32"]
    argv = [harness.NATIVE, "--pack", source, "-o", output] + list(extra)
    if loader:
        argv.append("--loader=" + loader)
    return subprocess.run(argv, cwd=ws.root, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=300)


def packed_demo(test, loader=None, name="demo"):
    """(demo directory, package) of a copy of the demo packed with `loader`."""
    demo = test.ws.path(name)
    shutil.copytree(DEMO, demo)
    exe = test.ws.path(name + "-setup.exe")
    proc = pack(test.ws, demo, exe, loader=loader)
    test.assertEqual(proc.returncode, 0, proc.stderr)
    return demo, exe


def table_name_prog(ws, folder, extra=""):
    """A program directory whose file and folder names end in a backslash byte in code
    page 932, installing to C:\\`folder`; returns the file's bytes."""
    data = b"table\x5c\x00data"
    os.makedirs(os.path.join(ws.prog, TABLE_NAME))
    ws.write("prog/%s/%s.dat" % (TABLE_NAME, TABLE_NAME), data)
    ws.script("SetupDir C:\\%s \nMakeDir $$SETUPDIR$$\nBinCopy $$FD$$\\%s\\%s.dat $$SETUPDIR$$\\%s.dat\n"
              % ((folder,) + (TABLE_NAME,) * 3) + extra)
    return data


def tree(root):
    """{relative path: bytes} of every file below `root`."""
    files = {}
    for dirpath, _, names in os.walk(root):
        for name in names:
            full = os.path.join(dirpath, name)
            with open(full, "rb") as f:
                files[os.path.relpath(full, root)] = f.read()
    return files


def same_time(a, b):
    """Whether two files have the same modification time, to the second (a byte copy
    keeps its source's; the package keeps nanoseconds, Windows 100 ns)."""
    return int(os.stat(a).st_mtime) == int(os.stat(b).st_mtime)


def trailer(data):
    """(loader size, table offset, table size) of a package without a signature."""
    return struct.unpack_from("<QQQ", data, len(data) - TRAILER + 16)


def tampered(ws, exe):
    """(what, path) of copies of the package `exe` changed in each way a download or an
    attacker changes it, written one after the other to the same file."""
    with open(exe, "rb") as f:
        data = f.read()
    loader, table, table_size = trailer(data)

    def flip(at):
        changed = bytearray(data)
        changed[at] ^= 0x20
        return bytes(changed)

    bad = ws.path("bad.exe")
    for what, changed in (("a payload byte changed", flip((loader + table) // 2)),
                          ("a loader byte changed", flip(loader - 100)),
                          ("the table damaged", flip(table + table_size // 2)),
                          ("truncated", data[:-1000]), ("bytes appended", data + b"appended")):
        with open(bad, "wb") as f:
            f.write(changed)
        yield what, bad
