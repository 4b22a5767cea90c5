"""The native install benchmarks' payload: 2,000 files of 4 KiB and 20 of 20 MiB in one
folder `p` of a program directory, the script that copies them all into C:\\Target, and
a scratch Wine-prefix layout to install into."""
import os
import subprocess
import time

SMALL, LARGE = 2000, 20

# On ext4 without a journal a new file's inode skips every inode of its group freed in the
# last 60 seconds (5 minutes more while the inode table is unwritten), each skip a look at
# the inode table: after a section, or another program, that removed thousands of files,
# every creation pays for them, and more in some groups than in others, so that two
# folders side by side pay unequally. Written back and waited out, no freed inode counts.
SETTLE_SECONDS = int(os.environ.get("SETUP_BENCH_SETTLE", "61"))


def settle():
    """Writes everything back and waits until no inode freed before counts as recent."""
    subprocess.run(["sync"])
    time.sleep(SETTLE_SECONDS)


def make(prog, prefix):
    """Writes the payload under `prog`/p and the prefix layout; answers the script's
    text (CR LF lines) for the caller to store."""
    payload = os.path.join(prog, "p")
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
    os.makedirs(os.path.join(prefix, "drive_c", "windows", "system32"))
    os.makedirs(os.path.join(prefix, "dosdevices"))
    os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))
    return "\r\n".join(lines) + "\r\n"
