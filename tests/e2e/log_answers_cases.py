"""Shared pieces of the install-log and answers-file tests, native and under Wine: the
script, a full disk, bad answers files and the texts the programs say."""
import os

import harness

SCRIPT = "SetupDir $$FD$$\\..\\App \nMakeDir \"$$SETUPDIR$$\"\n"
ANSWERS_LIMIT = 1 << 20  # bytes an answers file may hold


def refusal(destination):
    return "The destination '%s' has characters that this system's code page cannot hold" % destination


def cannot_write(program, path, reason=None):
    """The program's line for a log it cannot write; the native one gives the reason."""
    return "%s: cannot write the transcript %s%s\n" % (program, path, ": " + reason if reason else "")


def cannot_read(program, path, reason=None):
    return "%s: cannot read the answers file %s%s\n" % (program, path, ": " + reason if reason else "")


# Why the native program refuses each of bad_answers_files.
NATIVE_REASONS = {"a folder": "not a regular file", "a FIFO nobody writes": "not a regular file",
                  "an endless device": "not a regular file", "an empty device": "not a regular file",
                  "one byte over the limit": "larger than 1 MiB"}
NO_SPACE = "No space left on device"


def full_disk(test, ws):
    """A 64 KiB tmpfs under the workspace, filled to the last byte."""
    return harness.small_disk(test, ws, fill=True)


def bad_answers_files(ws):
    """Names that are no answers file: (name of the case, path)."""
    folder = ws.path("folder")
    os.makedirs(folder, exist_ok=True)
    fifo = ws.path("fifo")
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    long = ws.write("long.txt", b"OK\r\n" + b"x" * (ANSWERS_LIMIT - 4) + b"\n")
    return [("a folder", folder), ("a FIFO nobody writes", fifo), ("an endless device", "/dev/zero"),
            ("an empty device", "/dev/null"), ("one byte over the limit", long)]


def limit_file(ws):
    """An answers file of exactly the limit whose first line cancels SetupDialog."""
    return ws.write("limit.txt", b"CANCEL\r\n" + b"x" * (ANSWERS_LIMIT - 10) + b"\r\n")
