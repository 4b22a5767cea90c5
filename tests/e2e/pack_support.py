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


def copy_demo(ws, name="demo"):
    target = ws.path(name)
    shutil.copytree(DEMO, target)
    return target


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


def tampered(data):
    """(what, bytes): a package changed in each way a download or an attacker changes it."""
    loader, table, table_size = trailer(data)

    def flip(at):
        changed = bytearray(data)
        changed[at] ^= 0x20
        return bytes(changed)

    return [
        ("a payload byte changed", flip((loader + table) // 2)),
        ("a loader byte changed", flip(loader - 100)),
        ("the table damaged", flip(table + table_size // 2)),
        ("truncated", data[:-1000]),
        ("bytes appended", data + b"appended"),
    ]
