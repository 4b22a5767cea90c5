"""Faults around the native program's copies: what stands at a destination (planted
links, devices, FIFOs; the modes are held by the unit tests), signals part-way through a
copy, a killed run's leftovers, and Ctrl-C at the terminal during a registration. Each
case asserts the exit status, the old file or the link's target, and the leftovers."""
import os
import resource
import signal
import stat
import subprocess
import unittest

import harness
from harness import E2ETest, require_native

try:
    import pexpect
except ImportError:  # tools/deps.sh installs python3-pexpect
    pexpect = None

TEMP_PREFIX, TEMP_SUFFIX = ".~stp", ".tmp"


def temp_files(directory):
    return [n for n in os.listdir(directory) if n.startswith(TEMP_PREFIX) and n.endswith(TEMP_SUFFIX)]


def make_link(dest, outside):
    os.symlink(os.path.join(outside, "target.txt"), dest)


def make_read_only_link(dest, outside):
    os.symlink(os.path.join(outside, "read-only.txt"), dest)


def make_fifo(dest, outside):
    os.mkfifo(dest)


def make_device(dest, outside):
    os.mknod(dest, stat.S_IFCHR | 0o666, os.makedev(1, 3))


# (what stands at C:\App\dest, how it is made, whether a copy replaces it).
DESTINATIONS = [
    ("a link to a file outside the prefix", make_link, True),
    ("a link to a read-only file", make_read_only_link, True),
    ("a FIFO", make_fifo, False),
    ("a character device", make_device, False),
]


class NativeFaultsTest(E2ETest):
    def setUp(self):
        super().setUp()
        require_native(self)
        self.app = os.path.join(self.ws.drive_c, "App")
        os.makedirs(self.app)
        self.outside = self.ws.path("outside")
        os.makedirs(self.outside)

    def run_script(self, *lines):
        self.ws.script("SetupDir C:\\App \n" + "".join(line + "\n" for line in lines))
        return self.ws.run_native()

    def test_what_stands_at_the_destination(self):
        self.ws.write("prog/payload.bin", b"payload\n")
        dest = os.path.join(self.app, "dest")
        copies = [("BinCopy", "It failed in the copy form %s\\payload.bin to C:\\App\\dest" % self.ws.prog),
                  ("TextCopy", "Can't Create C:\\App\\dest file")]
        for what, make, replaced in DESTINATIONS:
            for command, message in copies:
                with self.subTest(what=what, command=command):
                    for name, mode in (("target.txt", 0o644), ("read-only.txt", 0o444)):
                        path = os.path.join(self.outside, name)
                        if os.path.exists(path):
                            os.chmod(path, 0o644)
                        self.ws.write("outside/" + name, b"target")
                        os.chmod(path, mode)
                    if os.path.lexists(dest):
                        os.remove(dest)
                    make(dest, self.outside)
                    kind = stat.S_IFMT(os.lstat(dest).st_mode)
                    r = self.run_script("%s $$FD$$\\payload.bin C:\\App\\dest" % command, "Message after")
                    self.assertEqual(r.status, 0 if replaced else 1, r.events)
                    self.assertEqual(r.messages(), ["after"] if replaced else [message])
                    if replaced:
                        self.assertTrue(stat.S_ISREG(os.lstat(dest).st_mode))
                        self.assertIn(self.ws.read("prefix/drive_c/App/dest"),
                                      (b"payload\n", b"payload\r\n"))
                    else:
                        self.assertEqual(stat.S_IFMT(os.lstat(dest).st_mode), kind)
                    for name in ("target.txt", "read-only.txt"):
                        self.assertEqual(self.ws.read("outside/" + name), b"target")
                    self.assertEqual(sorted(os.listdir(self.app)), ["dest"])

    def start_endless_copy(self, preexec=None):
        """Starts a text copy over C:\\App\\out.txt (holding "old") from a FIFO that never
        ends; returns the process once its temporary file exists."""
        self.ws.write("prefix/drive_c/App/out.txt", b"old")
        fifo = self.ws.path("endless")
        if not os.path.exists(fifo):
            os.mkfifo(fifo)
        writer = os.open(fifo, os.O_RDWR)  # a writer that never closes: no end of file
        self.addCleanup(os.close, writer)
        os.write(writer, b"line\n" * 1000)
        self.ws.script("SetupDir C:\\App \nTextCopy %s C:\\App\\out.txt\n" % self.ws.winpath(fifo))
        env = dict(os.environ, SETUP_UI="batch", WINEPREFIX=self.ws.prefix, SETUP_TRANSCRIPT="/dev/null")
        env.pop("SETUP_ANSWERS", None)
        proc = subprocess.Popen([os.path.join(self.ws.prog, "setup")], executable=harness.NATIVE, env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=preexec)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        self.assertTrue(harness.wait_for(lambda: temp_files(self.app), 60), os.listdir(self.app))
        return proc

    def test_signals_part_way_through_a_copy_leave_no_temporary_file(self):
        def no_core_and_ignore(ignored):
            def preexec():
                resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
                if ignored:
                    signal.signal(ignored, signal.SIG_IGN)
            return preexec

        # (signal the run was started ignoring, signals sent, the signal that ends it).
        cases = [(None, [s], s) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT)]
        cases.append((signal.SIGHUP, [signal.SIGHUP, signal.SIGTERM], signal.SIGTERM))
        for ignored, sent, ending in cases:
            with self.subTest(sent=[s.name for s in sent], ignored=ignored):
                proc = self.start_endless_copy(no_core_and_ignore(ignored))
                for s in sent:
                    proc.send_signal(s)
                self.assertEqual(proc.wait(timeout=60), -ending)
                self.assertEqual(os.listdir(self.app), ["out.txt"])
                self.assertEqual(self.ws.read("prefix/drive_c/App/out.txt"), b"old")

    def test_a_killed_runs_leftover_goes_with_the_next_run_there(self):
        proc = self.start_endless_copy()
        leftover = temp_files(self.app)
        proc.kill()
        proc.wait(timeout=60)
        self.assertEqual(temp_files(self.app), leftover)
        self.ws.write("prefix/drive_c/App/.~stpOTHER1.tmp.keep", b"not of the pattern")
        self.ws.write("prog/payload.bin", b"payload")
        r = self.run_script("BinCopy $$FD$$\\payload.bin C:\\App\\copy.bin")
        self.assertEqual(r.status, 0, r.events)
        self.assertEqual(sorted(os.listdir(self.app)), [".~stpOTHER1.tmp.keep", "copy.bin", "out.txt"])


@unittest.skipIf(pexpect is None, "pexpect is not installed")
class TerminalFaultsTest(E2ETest):
    """At a terminal: Ctrl-C during a registration reaches only setup, and a signal that
    ends a run removes its temporary file there too."""

    def setUp(self):
        super().setUp()
        require_native(self)
        self.app = os.path.join(self.ws.drive_c, "App")
        self.program = os.path.join(self.ws.prog, "setup")
        os.symlink(harness.NATIVE, self.program)

    def start(self, script):
        self.ws.script(script)
        env = dict(os.environ, WINEPREFIX=self.ws.prefix, TERM="xterm-256color", LANG="C.UTF-8")
        for name in ("SETUP_UI", "SETUP_ANSWERS", "SETUP_TRANSCRIPT", "NO_COLOR", "LC_ALL"):
            env.pop(name, None)
        child = pexpect.spawn(self.program, [], env=env, encoding="utf-8", timeout=60,
                              dimensions=(24, 80), cwd=self.ws.root)
        self.addCleanup(child.close, force=True)
        child.expect(r"Setup Directory: (\x1b\[0m)?C:\\App")
        child.send("\r")
        return child

    def test_ctrl_c_does_not_reach_the_registration_program(self):
        slow = self.ws.write("prog/slow.exe", "#!/bin/sh\necho started > \"$0.log\"\nsleep 2\n"
                             "echo registered >> \"$0.log\"\n")
        os.chmod(slow, 0o755)
        child = self.start("SetupDir C:\\App \nRegsvr \"$$FD$$\\slow.exe\"\nMakeDir $$SETUPDIR$$\n")
        child.expect(r"line +2 of 3")
        self.assertTrue(harness.wait_for(lambda: harness.read_record(slow, "utf-8"), 60))
        child.sendintr()
        child.expect("Ctrl-C is ignored")
        child.expect("It succeeded in the making a setup")
        child.send("\r")
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.exitstatus, 0)
        self.assertEqual(harness.read_record(slow, "utf-8"), ["started", "registered"])

    def test_a_signal_that_ends_the_run_removes_the_temporary_file(self):
        os.makedirs(self.app)
        fifo = self.ws.path("endless")
        os.mkfifo(fifo)
        writer = os.open(fifo, os.O_RDWR)
        self.addCleanup(os.close, writer)
        child = self.start("SetupDir C:\\App \nTextCopy %s C:\\App\\out.txt\n" % self.ws.winpath(fifo))
        self.assertTrue(harness.wait_for(lambda: temp_files(self.app), 60), os.listdir(self.app))
        child.kill(signal.SIGTERM)
        child.expect(pexpect.EOF)
        child.close()
        self.assertEqual(child.signalstatus, signal.SIGTERM)
        self.assertEqual(os.listdir(self.app), [])


if __name__ == "__main__":
    unittest.main()
